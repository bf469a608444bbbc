// The frame as the user meets it: caption, size, shortcuts, the Edit commands that never do
// anything, Exit and About.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CKestrunApp.h"

#include <QAction>
#include <QLabel>
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
    void shortcutsReachTheirCommandsAndEditKeysReachNothing();
    void exitClosesWithoutAsking();
    void aboutShowsTheBox();

private:
    int triggers() const;

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

int FrameTest::triggers() const {
    int count = 0;
    for (const auto& spy : spies_) {
        count += static_cast<int>(spy->count());
    }
    return count;
}

void FrameTest::frameHasItsCaptionSizeAndNoBars() {
    CMainFrame* frame = app_->frame();
    QCOMPARE(frame->windowTitle(), QStringLiteral("Tavrel"));
    // The offscreen platform draws no window frame: all of 644 x 844 is the window.
    QCOMPARE(frame->frameGeometry().size(), QSize(644, 844));
    QVERIFY(frame->findChildren<QToolBar*>().isEmpty());
    QVERIFY(frame->findChild<QStatusBar*>() == nullptr);
}

void FrameTest::shortcutsReachTheirCommandsAndEditKeysReachNothing() {
    CMainFrame* frame = app_->frame();
    script_->answer(std::nullopt);
    script_->answer(std::nullopt);
    QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(frame, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(view_->calls, QStringList{"initial update"});
    QCOMPARE(script_->dialogs.size(), std::size_t{2});
    QCOMPARE(script_->dialogs[0].kind, FileDialogKind::Open);
    QCOMPARE(script_->dialogs[1].kind, FileDialogKind::Save);
    QCOMPARE(triggers(), 3);

    // Every Edit command is disabled; its keys, main and alternate, trigger nothing, and
    // neither do the pane keys of the one-pane frame.
    const std::vector<std::pair<CommandId, std::vector<QKeyCombination>>> editKeys = {
        {CommandId::EditUndo, {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace}},
        {CommandId::EditCut, {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}},
        {CommandId::EditCopy, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert}},
        {CommandId::EditPaste, {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}},
    };
    for (const auto& [id, keys] : editKeys) {
        QAction* action = frame->commandAction(id);
        QVERIFY(!action->isEnabled());
        QCOMPARE(action->shortcuts().size(), qsizetype(keys.size()));
        for (const QKeyCombination& key : keys) {
            QVERIFY(action->shortcuts().contains(QKeySequence(key)));
            QTest::keyClick(frame, key.key(), key.keyboardModifiers());
        }
    }
    QTest::keyClick(frame, Qt::Key_F6);
    QTest::keyClick(frame, Qt::Key_F6, Qt::ShiftModifier);
    QCOMPARE(triggers(), 5); // the two pane keys, which do nothing
    QCOMPARE(view_->calls, QStringList{"initial update"});
    QCOMPARE(script_->dialogs.size(), std::size_t{2});
    QVERIFY(script_->messages.empty());
}

void FrameTest::exitClosesWithoutAsking() {
    view_->shown[0] = 1; // edited, and still nothing asks
    app_->frame()->commandAction(CommandId::AppExit)->trigger();
    QVERIFY(!app_->frame()->isVisible());
    QVERIFY(script_->dialogs.empty() && script_->messages.empty());
    QVERIFY(view_->calls.isEmpty()); // nothing saved on the way out
}

void FrameTest::aboutShowsTheBox() {
    QString caption;
    QString product;
    QTimer::singleShot(0, this, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            caption = box->windowTitle();
            product = box->findChild<QLabel*>(QStringLiteral("aboutProduct"))->text();
            QTest::keyClick(box, Qt::Key_Return); // OK is the default button
        }
    });
    app_->frame()->commandAction(CommandId::AppAbout)->trigger();
    QCOMPARE(caption, QStringLiteral("About Kestrun"));
    QCOMPARE(product, QStringLiteral("Kestrun    Version 1.3"));
    QVERIFY(QApplication::activeModalWidget() == nullptr);
}

int runFrameTests(int argc, char** argv) {
    FrameTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "FrameTest.moc"
