#pragma once
// A setup window on the offscreen platform with its messages captured, its file dialog
// scripted and its link stepped by hand, so a test reads what the user would see.

#include "link/DeviceMonitor.h"
#include "settings/SettingsRecord.h"
#include "ui/CKestrunView.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrun::uitest {

struct CapturedMessage {
    std::string text;
    std::string caption;
    MessageIcon icon;
};

class ViewHarness {
public:
    /// A window on `bridge`, shown at the canvas's size, built unless `build` is false; once
    /// built, its link timer is stopped: the test steps the link.
    explicit ViewHarness(BridgeLibrary& bridge, bool build = true,
                         DeviceMonitor* monitor = nullptr);
    CKestrunView& view() { return *view_; }

    /// Handles the queued notices, including those posted while notices are handled.
    void settle();
    /// Steps link ticks until `done` holds: the ticks taken, or -1 after `limit`.
    int ticksUntil(const std::function<bool()>& done, int limit);
    /// The text of a label row (ConnectionText 10, StatusText 12, UpgradeStatusText 14).
    QString line(std::size_t labelRow) const;

    /// What the window shows, in one line: the nine fields' texts | their sliders' positions
    /// counted from the top | the checked rows of the radio groups and toggles.
    QString shown();

    enum class Mouse { Click, Press, Release };
    /// A left button event as the user makes it: through the window, so the widget that lies
    /// at that point receives it. `at` is in `widget`'s coordinates; the default its centre.
    void mouse(QWidget* widget, Mouse kind = Mouse::Click, QPoint at = QPoint(-1, -1));

    SettingsRecord record = StartRecord; ///< the document's record
    std::vector<CapturedMessage> messages;
    QStringList dialogFolders; ///< the folders the file dialog was opened in
    QString nextDialogPath;    ///< what the file dialog answers (empty: cancelled)

private:
    std::unique_ptr<CKestrunView> view_;
};

} // namespace kestrun::uitest
