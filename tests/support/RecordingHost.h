#pragma once
// A link host that records everything the link shows, in order, so a test can read what the
// user would have seen. Messages are recorded, never shown; one that a tick tried to open is
// counted, since a box must never open inside a tick.

#include "link/LinkEngine.h"
#include "link/LinkHost.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsRecord.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrun::test {

struct Message {
    std::string text;
    std::string caption;
    MessageIcon icon;
    bool operator==(const Message&) const = default;
};

class RecordingHost : public LinkHost {
public:
    void setStatusText(const std::string& text) override {
        statusText = text;
        events.push_back("status \"" + text + "\"");
    }
    void setUpgradeStatusText(const std::string& text) override {
        upgradeStatusText = text;
        events.push_back("upgrade status \"" + text + "\"");
    }
    void setConnectionText(const std::string& text) override {
        connectionText = text;
        events.push_back("connection \"" + text + "\"");
    }
    void setUpgradeProgress(int position) override { progress = position; }
    void setUpgradeFileText(const std::string& text) override { upgradeFileText = text; }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        boxesInTick += engine != nullptr && engine->inTick();
        messages.push_back({text, caption, icon});
        events.push_back("message \"" + text + "\"");
    }
    // The controls are modelled as the window's shown settings, through the same functions
    // the window's binding uses.
    void recordToControls() override {
        controls = shownFromRecord(record);
        ++recordToControlsCalls;
    }
    void controlsToRecord() override { record = recordFromShown(controls); }
    void postUpgradeFinished() override {
        ++upgradeFinishedNotices;
        if (onUpgradeFinished) {
            onUpgradeFinished();
        }
    }

    SettingsRecord record = StartRecord; ///< the document's record
    ShownSettings controls = startSettings();
    std::string statusText = "---";
    std::string upgradeStatusText;
    std::string connectionText = "Disconnected";
    std::string upgradeFileText;
    int progress = 0;
    std::vector<Message> messages;
    std::vector<std::string> events;
    int recordToControlsCalls = 0;
    int upgradeFinishedNotices = 0;
    std::function<void()> onUpgradeFinished; ///< runs where the notice is posted
    const LinkEngine* engine = nullptr;      ///< set: boxes opened inside its tick are counted
    int boxesInTick = 0;
};

} // namespace kestrun::test
