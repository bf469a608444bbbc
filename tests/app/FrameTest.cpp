// The frame as the user meets it: caption, size, menus, shortcuts, and the Edit commands that
// never do anything.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CKestrunApp.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace kestrun::test {

class FrameTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void frameHasItsCaptionSizeAndNoBars();
    void menusReadAsTheResource();
    void shortcutsReachTheirCommands();
    void editCommandsAndTheirKeysReachNoHandler();
    void exitClosesWithoutAsking();
    void aboutCommandShowsTheBox();

private:
    /// Counts the triggers of every action of the frame.
    int triggersSoFar() const;

    std::unique_ptr<ShellScript> script_;
    std::unique_ptr<CKestrunApp> app_;
    FakeView* view_ = nullptr;
    std::vector<std::unique_ptr<QSignalSpy>> spies_;
};

void FrameTest::init() {
    QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
        .clear();
    script_ = std::make_unique<ShellScript>();
    app_ = std::make_unique<CKestrunApp>(CommandLine{}, [this](SettingsRecord& record, QString&) {
        auto view = std::make_unique<FakeView>(record);
        view_ = view.get();
        return view;
    });
    QVERIFY(app_->InitInstance());
    view_->calls.clear();
    app_->frame()->show();
    QApplication::setActiveWindow(app_->frame());
    QVERIFY(QTest::qWaitForWindowActive(app_->frame()));
    for (QAction* action : app_->frame()->findChildren<QAction*>()) {
        spies_.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
    }
}

void FrameTest::cleanup() {
    spies_.clear();
    app_.reset();
    script_.reset();
}

int FrameTest::triggersSoFar() const {
    int count = 0;
    for (const auto& spy : spies_) {
        count += static_cast<int>(spy->count());
    }
    return count;
}

void FrameTest::frameHasItsCaptionSizeAndNoBars() {
    CMainFrame* frame = app_->frame();
    QCOMPARE(frame->windowTitle(), QStringLiteral("Tavrel"));
    // The offscreen platform draws no window frame: the whole 644 x 844 is the window itself.
    QCOMPARE(frame->frameGeometry().size(), QSize(644, 844));
    QVERIFY(frame->findChildren<QToolBar*>().isEmpty());
    QVERIFY(frame->findChild<QStatusBar*>() == nullptr);
    QVERIFY(frame->centralWidget() == view_->widget());
}

void FrameTest::menusReadAsTheResource() {
    struct Line {
        const char* text; // nullptr: separator
        const char* shortcut;
        bool enabled;
    };
    const std::vector<std::pair<QString, std::vector<Line>>> expected = {
        {"&File",
         {{"&New", "Ctrl+N", true},
          {"&Open...", "Ctrl+O", true},
          {"&Save", "Ctrl+S", true},
          {"Save &As...", "", true},
          {nullptr, "", false},
          {"Recent File", "", false},
          {nullptr, "", false},
          {"E&xit", "", true}}},
        {"&Edit",
         {{"&Undo", "Ctrl+Z", false},
          {nullptr, "", false},
          {"Cu&t", "Ctrl+X", false},
          {"&Copy", "Ctrl+C", false},
          {"&Paste", "Ctrl+V", false}}},
        {"&Help", {{"&About Kestrun...", "", true}}},
    };
    const QList<QAction*> menus = app_->frame()->menuBar()->actions();
    QCOMPARE(menus.size(), qsizetype(expected.size()));
    for (std::size_t m = 0; m < expected.size(); ++m) {
        QCOMPARE(menus[m]->text(), expected[m].first);
        const QList<QAction*> items = menus[m]->menu()->actions();
        QCOMPARE(items.size(), qsizetype(expected[m].second.size()));
        for (qsizetype i = 0; i < items.size(); ++i) {
            const Line& line = expected[m].second[static_cast<std::size_t>(i)];
            QCOMPARE(items[i]->isSeparator(), line.text == nullptr);
            if (line.text == nullptr) {
                continue;
            }
            QCOMPARE(items[i]->text(), QString::fromLatin1(line.text));
            QCOMPARE(items[i]->shortcut().toString(QKeySequence::PortableText),
                     QString::fromLatin1(line.shortcut));
            QCOMPARE(items[i]->isEnabled(), line.enabled);
        }
    }
}

void FrameTest::shortcutsReachTheirCommands() {
    CMainFrame* frame = app_->frame();
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(view_->calls, QStringList{"initial update"});

    script_->answer(std::nullopt);
    QTest::keyClick(frame, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QCOMPARE(script_->dialogs[0].kind, FileDialogKind::Open);

    script_->answer(std::nullopt);
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(script_->dialogs.size(), std::size_t{2});
    QCOMPARE(script_->dialogs[1].kind, FileDialogKind::Save);
    QCOMPARE(triggersSoFar(), 3);

    // The pane keys are taken by the frame and do nothing.
    QTest::keyClick(frame, Qt::Key_F6);
    QTest::keyClick(frame, Qt::Key_F6, Qt::ShiftModifier);
    QCOMPARE(view_->calls, QStringList{"initial update"});
    QCOMPARE(script_->dialogs.size(), std::size_t{2});
}

void FrameTest::editCommandsAndTheirKeysReachNoHandler() {
    CMainFrame* frame = app_->frame();
    const std::vector<std::pair<CommandId, std::vector<QKeyCombination>>> editKeys = {
        {CommandId::EditUndo, {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace}},
        {CommandId::EditCut, {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}},
        {CommandId::EditCopy, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert}},
        {CommandId::EditPaste, {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}},
    };
    for (const auto& [id, keys] : editKeys) {
        QAction* action = frame->commandAction(id);
        QVERIFY(action != nullptr);
        QVERIFY(!action->isEnabled());
        // The keys are the command's own, yet with no handler they reach nothing.
        QCOMPARE(action->shortcuts().size(), qsizetype(keys.size()));
        for (const QKeyCombination& key : keys) {
            QVERIFY(action->shortcuts().contains(QKeySequence(key)));
            QTest::keyClick(frame, key.key(), key.keyboardModifiers());
        }
        // Opening the menu does not enable them either.
        QMenu* edit = frame->menuNamed(QStringLiteral("&Edit"));
        emit edit->aboutToShow();
        QVERIFY(!action->isEnabled());
    }
    QCOMPARE(triggersSoFar(), 0);
    QVERIFY(view_->calls.isEmpty());
    QVERIFY(script_->dialogs.empty());
    QVERIFY(script_->messages.empty());
}

void FrameTest::exitClosesWithoutAsking() {
    view_->shown[0] = 1; // edited, and still nothing asks
    app_->frame()->commandAction(CommandId::AppExit)->trigger();
    QVERIFY(!app_->frame()->isVisible());
    QVERIFY(script_->dialogs.empty());
    QVERIFY(script_->messages.empty());
    QVERIFY(view_->calls.isEmpty()); // nothing saved on the way out
}

void FrameTest::aboutCommandShowsTheBox() {
    QString caption;
    QTimer::singleShot(0, this, [&caption] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            caption = box->windowTitle();
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    app_->frame()->commandAction(CommandId::AppAbout)->trigger();
    QCOMPARE(caption, QStringLiteral("About Kestrun"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

int runFrameTests(int argc, char** argv) {
    FrameTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "FrameTest.moc"
