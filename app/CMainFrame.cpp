#include "app/CMainFrame.h"

#include "app/AppText.h"
#include "app/RecentFileList.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace kestrun {

namespace {

/// How long after the first show the frame keeps correcting its size for the window frame
/// that the window manager adds (the frame's extents arrive after the window is mapped).
constexpr int FrameSettleMilliseconds = 1500;

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QString::fromLatin1(AppText::FrameCaption));
    buildMenus();
    // Without a frame reported yet the client area takes the whole outer size; showEvent and
    // moveEvent take the frame off once the platform tells its extents. Never larger than the
    // screen's free area: the view scrolls.
    resize(QSize(OuterWidth, OuterHeight).boundedTo(screen()->availableGeometry().size()));
}

void CMainFrame::setView(QWidget* view) {
    setCentralWidget(view);
}

void CMainFrame::buildMenus() {
    QMenu* menu = nullptr;
    QString menuTitle;
    for (const MenuLine& line : MenuLines) {
        if (menu == nullptr || menuTitle != QLatin1String(line.menu)) {
            menuTitle = QString::fromLatin1(line.menu);
            menu = menuBar()->addMenu(menuTitle);
        }
        if (line.id == CommandId::None) {
            menu->addSeparator();
            continue;
        }
        QAction* action = makeAction(line.id, QString::fromLatin1(line.text), line.shortcut,
                                     line.alternateShortcut);
        menu->addAction(action);
        if (line.id == CommandId::FileRecentFirst) {
            recentPlaceholder_ = action;
        }
    }
    for (const FrameKey& key : FrameKeys) {
        addAction(makeAction(key.id, QString(), key.shortcut, nullptr));
    }
}

QAction* CMainFrame::makeAction(CommandId id, const QString& text, const char* shortcut,
                                const char* alternateShortcut) {
    auto* action = new QAction(text, this);
    action->setData(static_cast<int>(id));
    QList<QKeySequence> keys;
    for (const char* key : {shortcut, alternateShortcut}) {
        if (key != nullptr) {
            keys.append(QKeySequence(QString::fromLatin1(key), QKeySequence::PortableText));
        }
    }
    action->setShortcuts(keys);
    action->setEnabled(false); // until a handler is registered
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_[id] = action;
    return action;
}

void CMainFrame::setCommandHandler(CommandId id, std::function<void()> handler) {
    QAction* action = commandAction(id);
    if (action == nullptr || id == CommandId::FileRecentFirst) {
        return;
    }
    handlers_[id] = std::move(handler);
    action->setEnabled(static_cast<bool>(handlers_[id]));
}

void CMainFrame::runCommand(CommandId id) {
    const auto found = handlers_.find(id);
    if (found != handlers_.end() && found->second) {
        // A copy: the handler may replace the frame's handlers (or the recent entries) while
        // it runs.
        const std::function<void()> handler = found->second;
        handler();
    }
}

QAction* CMainFrame::commandAction(CommandId id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu* CMainFrame::menuNamed(const QString& title) const {
    for (QAction* action : menuBar()->actions()) {
        if (action->menu() != nullptr && action->text() == title) {
            return action->menu();
        }
    }
    return nullptr;
}

void CMainFrame::setRecentFiles(const QStringList& paths, std::function<void(int)> open) {
    openRecent_ = std::move(open);
    QMenu* fileMenu = menuNamed(QString::fromLatin1(MenuLines[0].menu));
    for (QAction* old : recentActions_) {
        fileMenu->removeAction(old);
        old->deleteLater(); // it may be the entry whose command is running now
    }
    recentActions_.clear();

    // The entries take the placeholder's place, between the two separators.
    const QList<QAction*> lines = fileMenu->actions();
    const qsizetype at = lines.indexOf(recentPlaceholder_);
    QAction* before = at + 1 < lines.size() ? lines[at + 1] : nullptr;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const int index = static_cast<int>(i);
        auto* entry = new QAction(RecentFileList::menuText(index, paths[i]), this);
        entry->setData(static_cast<int>(CommandId::FileRecentFirst) + index);
        entry->setToolTip(paths[i]);
        connect(entry, &QAction::triggered, this, [this, index] {
            if (const std::function<void(int)> open = openRecent_) {
                open(index);
            }
        });
        fileMenu->insertAction(before, entry);
        recentActions_.append(entry);
    }
    recentPlaceholder_->setVisible(paths.isEmpty());
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!outerSizeSettled_) {
        fitOuterSize();
        // Some window managers report the frame without moving the window: look again.
        for (int milliseconds : {100, 400, 1000}) {
            QTimer::singleShot(milliseconds, this, [this] {
                if (!outerSizeSettled_) {
                    fitOuterSize();
                }
            });
        }
        QTimer::singleShot(FrameSettleMilliseconds, this, [this] { outerSizeSettled_ = true; });
    }
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (!outerSizeSettled_) {
        fitOuterSize();
    }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (closeGuard_ && !closeGuard_()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::fitOuterSize() {
    // The outer size is fixed, not the client size: take off whatever frame the window
    // manager put around the window (nothing on platforms without frames). On a screen smaller
    // than that (a laptop, or large scaling) the window takes the screen's free area and stays
    // on it, so Start and Cancel can always be scrolled to.
    const QRect available = screen()->availableGeometry();
    const QSize outer = QSize(OuterWidth, OuterHeight).boundedTo(available.size());
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    if (frameExtra != fittedFrameExtra_ || outer != fittedOuter_) {
        fittedFrameExtra_ = frameExtra;
        fittedOuter_ = outer;
        resize(outer - frameExtra);
    }
    const QRect frame(frameGeometry().topLeft(), outer);
    if (!available.contains(frame)) {
        move(std::clamp(frame.x(), available.left(), available.right() + 1 - outer.width()),
             std::clamp(frame.y(), available.top(), available.bottom() + 1 - outer.height()));
    }
}

} // namespace kestrun
