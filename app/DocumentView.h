#pragma once
// What the document and the shell need of the one view: the setup window implements it (through
// a thin adapter), and the shell's tests put a recording fake in its place.

#include <cstdint>
#include <functional>

class QString;
class QWidget;

namespace kestrun {

/// Code of the settings notice that shows a freshly loaded record in the controls.
inline constexpr uint32_t SettingsLoadedNotice = 3;

class DocumentView {
public:
    virtual ~DocumentView() = default;
    /// The framework's initial update: the first one builds the window and starts the link;
    /// the ones after New and Open start nothing.
    virtual void OnInitialUpdate() = 0;
    /// Reads the controls into the document's record (before a save).
    virtual void ControlsToRecord() = 0;
    /// Posts a settings notice; it is handled after the current handler has returned.
    virtual void postSettingsNotify(uint32_t code) = 0;
};

/// The view as the shell holds it: the document's view plus the widget the frame shows.
class ShellView : public DocumentView {
public:
    /// The widget to put in the frame; the frame owns it from then on.
    virtual QWidget* widget() = 0;
    /// Renders the window after start-up and the queued notices to a PNG; answers why the file
    /// could not be written, or an empty text.
    virtual QString saveScreenshot(const QString& pngPath) = 0;
    /// Where the upgrade file dialog starts before a file was chosen in this run; `chosen` is
    /// told the folder of each upgrade file chosen.
    virtual void setUpgradeFolder(const QString& /*folder*/,
                                  std::function<void(const QString&)> /*chosen*/) {}
    /// Whether the frame may close now (the view may ask the user first).
    virtual bool queryClose() { return true; }
};

} // namespace kestrun
