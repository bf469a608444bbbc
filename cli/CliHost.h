#pragma once
// The link host of the command-line tool: what the window would put in its status lines and
// message boxes goes to standard error in the same words, the upgrade's bar becomes a progress
// line, and the "controls" are the shown settings that the window's binding would hold.

#include "cli/ProgressView.h"
#include "link/LinkHost.h"
#include "settings/SettingsFields.h"
#include "settings/SettingsRecord.h"

#include <cstdio>
#include <string>

namespace kestrun::cli {

class CliHost : public LinkHost {
public:
    /// Writes to `out` (standard error); `terminal` draws a live progress bar as wide as
    /// `columns` allows. `record` is the document's record that the exchanges read and overwrite.
    CliHost(std::FILE* out, bool terminal, SettingsRecord& record,
            std::function<int()> columns = {});

    void setStatusText(const std::string& text) override;
    void setUpgradeStatusText(const std::string& text) override;
    void setConnectionText(const std::string& text) override;
    void setUpgradeProgress(int position) override;
    void setUpgradeFileText(const std::string& text) override;
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void recordToControls() override;
    void controlsToRecord() override;
    void postUpgradeFinished() override;

    /// From now on connection changes are told (the first connection at start-up is not).
    void announceConnectionChanges() { announceConnection_ = true; }
    /// Writes one line of the tool's own, after ending a progress line.
    void printLine(const std::string& text);

    /// What the window's settings controls would hold: Send Data sends these.
    ShownSettings& controls() { return controls_; }
    const std::string& statusText() const { return statusText_; }
    const std::string& connectionText() const { return connectionText_; }
    bool upgradeFinished() const { return upgradeFinished_; }

private:
    std::FILE* out_;
    ProgressView progress_;
    SettingsRecord& record_;
    ShownSettings controls_ = startSettings();
    std::string statusText_;
    std::string connectionText_;
    bool announceConnection_ = false;
    bool upgradeFinished_ = false;
};

} // namespace kestrun::cli
