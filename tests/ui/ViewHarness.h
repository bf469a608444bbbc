#pragma once
// A setup window on the offscreen platform with its messages captured, its file dialog
// scripted and its link stepped by hand, so a test reads what the user would see.

#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"
#include "link/LinkHost.h"
#include "settings/SettingsRecord.h"
#include "ui/CKestrunView.h"

#include <QPoint>
#include <QString>
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
    /// A window on `bridge`, built (first initial update) unless `build` is false, and shown at
    /// the canvas's full size so nothing scrolls.
    explicit ViewHarness(BridgeLibrary& bridge, bool build = true,
                         DeviceMonitor* monitor = nullptr);
    ~ViewHarness();

    CKestrunView& view() { return *view_; }

    /// Handles the queued notices, as the window does once the current handler returns.
    void settle();
    /// Steps the link `count` ticks, handling queued notices after each.
    void ticks(int count);
    /// Steps ticks until `done` holds; answers the ticks taken, or -1 after `limit` ticks.
    int ticksUntil(const std::function<bool()>& done, int limit);

    QString statusText() const;
    QString upgradeStatusText() const;
    QString connectionText() const;

    /// A left click as the user makes it: through the window, so whatever widget lies at that
    /// point (after the labels and frames let presses through) receives it. `local` is in
    /// `widget`'s coordinates; the default is its centre.
    void click(QWidget* widget, QPoint local = QPoint(-1, -1));
    void press(QWidget* widget, QPoint local = QPoint(-1, -1));
    void release(QWidget* widget, QPoint local = QPoint(-1, -1));
    void moveTo(QWidget* widget, QPoint local);

    SettingsRecord record = StartRecord; ///< the document's record
    std::vector<CapturedMessage> messages;
    QStringList dialogFolders; ///< the folders the file dialog was opened in
    QString nextDialogPath;    ///< what the file dialog answers (empty: cancelled)

private:
    QPoint windowPoint(QWidget* widget, QPoint local) const;

    std::unique_ptr<CKestrunView> view_;
};

} // namespace kestrun::uitest
