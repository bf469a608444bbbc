#pragma once
// The main frame: the caption "Tavrel", the menu bar and the keyboard shortcuts, the recent-file
// entries, and the setup window as its only view. It has no toolbar and no status bar. The
// frame owns no behaviour of its own: each command runs the handler registered for it, and a
// command without a handler is shown disabled, as the Edit commands always are.

#include "app/Commands.h"

#include <QMainWindow>
#include <QStringList>

#include <functional>
#include <map>

class QAction;
class QMenu;

namespace kestrun {

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    /// The frame's outer size, window frame included where the platform reports one; on a
    /// smaller screen, the screen's free area.
    static constexpr int OuterWidth = 644;
    static constexpr int OuterHeight = 844;

    explicit CMainFrame(QWidget* parent = nullptr);

    /// Makes `view` the frame's only central widget (the frame takes ownership).
    void setView(QWidget* view);

    /// Runs `handler` when `id` is chosen from the menu or by its shortcut, and enables it.
    void setCommandHandler(CommandId id, std::function<void()> handler);
    /// The action of a command of the menu tables, or null.
    QAction* commandAction(CommandId id) const;
    /// The menu of the menu bar with `title` ("&File", "&Edit", "&Help"), or null.
    QMenu* menuNamed(const QString& title) const;

    /// Asked before the frame closes (File > Exit, the close button, Alt+F4); false keeps it open.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

    /// Shows `paths` as the recent-file entries (most recent first) in place of the disabled
    /// placeholder; choosing entry i runs `open(i)`.
    void setRecentFiles(const QStringList& paths, std::function<void(int)> open);
    /// The entries shown now, in menu order.
    const QList<QAction*>& recentFileActions() const { return recentActions_; }

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    QAction* makeAction(CommandId id, const QString& text, const char* shortcut,
                        const char* alternateShortcut);
    void runCommand(CommandId id);
    void fitOuterSize();

    std::map<CommandId, QAction*> actions_;
    std::map<CommandId, std::function<void()>> handlers_;
    QAction* recentPlaceholder_ = nullptr;
    QList<QAction*> recentActions_;
    std::function<void(int)> openRecent_;
    std::function<bool()> closeGuard_;
    QSize fittedFrameExtra_;
    QSize fittedOuter_;
    bool outerSizeSettled_ = false;
};

} // namespace kestrun
