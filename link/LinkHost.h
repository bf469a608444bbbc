#pragma once
// What the link and the upgrade need from their surroundings. The setup window implements it,
// so do the command-line tool and the tests' recording fake. Message boxes go through here only,
// so no test ever blocks on a modal dialog.

#include <string>

namespace kestrun {

/// Icons of a modal message.
enum class MessageIcon {
    None,        ///< no icon
    Error,       ///< the error icon ("Controller is not connected")
    Exclamation, ///< the exclamation icon ("Failed to transmit : %s")
};

class LinkHost {
public:
    virtual ~LinkHost() = default;

    /// Sets StatusText, the status line of the settings exchange (label row 12).
    virtual void setStatusText(const std::string& text) = 0;
    /// Sets UpgradeStatusText, the status line of the upgrade (label row 14).
    virtual void setUpgradeStatusText(const std::string& text) = 0;
    /// Sets ConnectionText, "Connected" or "Disconnected" (label row 10).
    virtual void setConnectionText(const std::string& text) = 0;
    /// Moves UpgradeProgress, range 0-255.
    virtual void setUpgradeProgress(int position) = 0;
    /// Sets the text of UpgradeFileText, the chosen upgrade file's name.
    virtual void setUpgradeFileText(const std::string& text) = 0;

    /// Shows a modal message with one OK button and returns when the user closed it. Event
    /// processing (ticks, device notices) goes on while it is up. Never called inside a tick.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;

    /// Shows the document's record in the controls (after a good get reply).
    virtual void recordToControls() = 0;
    /// Fills the document's record from the controls (before a send).
    virtual void controlsToRecord() = 0;

    /// Posts the "upgrade finished" notice; the host shows "Upgrade complete!    " once the
    /// current tick has ended, never inside it.
    virtual void postUpgradeFinished() = 0;

    /// An exchange is now pending (true), or the link has gone idle (false). The link needs its
    /// ticks only while one is pending, so the surroundings may stop them in between and sleep
    /// until a command or a device notice: whatever the bridge delivered meanwhile is dropped
    /// before the next exchange's first byte goes out, as idle ticks would have dropped it.
    virtual void setLinkPending(bool pending) { (void)pending; }
};

} // namespace kestrun
