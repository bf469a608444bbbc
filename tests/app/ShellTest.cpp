// The shell around the real setup window over the simulated controller (or a pseudo-terminal with
// --port): start, New, Open, Save, the recent files, the keys, Exit and About as the user meets
// them. What the controls show is read back through the window's own ControlsToRecord, so each
// check sees exactly what a save would write.

#include "AppTestSupport.h"

#include "app/CKestrunApp.h"
#include "app/KestrunViewShell.h"
#include "app/RecentFileList.h"
#include "app/ShellPrompts.h"
#include "sim/SimBridge.h"
#include "tests/support/PtyPeer.h"
#include "ui/CKestrunView.h"
#include "ui/KestrunCanvas.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace kestrun::test {

namespace Button = ui::ButtonRowOf;
namespace Label = ui::LabelRowOf;

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    /// The file dialogs answer from `answers_` (nothing left: Cancel) and the message boxes,
    /// the shell's and the window's, are written down as "caption: text".
    void initTestCase() {
        setFileDialogHook(
            [this](QWidget*, FileDialogKind kind, const QString& proposed, const QString& folder) {
                dialogs_.append((kind == FileDialogKind::Save ? "save " : "open ") + proposed);
                folders_.append(folder);
                return answers_.isEmpty() ? std::nullopt : std::optional(answers_.takeFirst());
            });
        setMessageHook([this](QWidget*, const QString& text, const QString& caption) {
            messages_.append(caption + ": " + text);
        });
    }
    void init() {
        useOwnSettingsStore();
        dir_ = std::make_unique<QTemporaryDir>();
        answers_.clear();
        dialogs_.clear();
        folders_.clear();
        messages_.clear();
    }
    void cleanup() { app_.reset(); }

    void startShowsTheStartRecordOrTheNamedFileAndGetsData();
    void openOfEachFileSizeAsTheControlsShowIt();
    void saveAndSaveAsWriteWhatTheControlsShow();
    void newOpenAndExitNeverAskToSave();
    void recentFilesKeepTheLastEightAndDropVanishedOnes();
    void recentFileMenuNames();
    void fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot();
    void fileDialogsStartInTheFolderLastUsed();
    void frameKeysReachTheirCommandsAndEditKeysNothing();
    void aboutShowsTheBox();
    void portOptionTalksThroughTheSerialPort();

private:
    /// Starts over the simulated controller, or over `port` when one is named.
    bool start(const QString& settingsFile = {}, const QString& port = {}) {
        CommandLine options;
        options.simulate = port.isEmpty();
        options.port = port;
        options.settingsFile = settingsFile;
        app_ = std::make_unique<CKestrunApp>(
            options, [this, options](SettingsRecord& record, QString& error) {
                auto shell = makeKestrunViewShell(options, record, error);
                shell_ = dynamic_cast<KestrunViewShell*>(shell.get());
                shell_->view()->setMessageHook(
                    [this](const std::string& text, const std::string& caption, MessageIcon) {
                        messages_.append(QString::fromStdString(caption + ": " + text));
                    });
                return shell;
            });
        const bool started = app_->InitInstance();
        settle();
        return started;
    }
    static void settle() {
        for (int pass = 0; pass < 4; ++pass) {
            QCoreApplication::sendPostedEvents();
        }
    }
    /// What the controls hold now; the document's record is left as it was.
    SettingsRecord shown() {
        SettingsRecord& record = app_->document().record();
        const SettingsRecord kept = std::exchange(record, SettingsRecord{});
        shell_->view()->ControlsToRecord();
        return std::exchange(record, kept);
    }
    QString label(std::size_t row) { return shell_->view()->label(row)->text(); }
    void click(std::size_t row) {
        qobject_cast<QAbstractButton*>(shell_->view()->button(row))->click();
    }
    void trigger(CommandId id) {
        app_->frame()->commandAction(id)->trigger();
        settle();
    }

    std::unique_ptr<QTemporaryDir> dir_;
    QStringList answers_;
    QStringList dialogs_;
    QStringList folders_; ///< the folder each file dialog started in
    QStringList messages_;
    std::unique_ptr<CKestrunApp> app_;
    KestrunViewShell* shell_ = nullptr;
};

void ShellTest::startShowsTheStartRecordOrTheNamedFileAndGetsData() {
    QVERIFY(start());
    QCOMPARE(shown(), StartRecord);
    QCOMPARE(label(Label::ConnectionText), QStringLiteral("Connected"));

    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start(path));
    QCOMPARE(shown(), SampleRecord);
    QCOMPARE(app_->recentFiles().entries(), QStringList{path});

    // The simulated controller answers: Get Data, driven by the window's own 5 ms timer, brings
    // its record into the controls.
    dynamic_cast<sim::SimBridge&>(shell_->bridge()).controller().setRecord(StartRecord);
    click(Button::GetData);
    QTRY_COMPARE(label(Label::StatusText), QStringLiteral("Data Received"));
    QCOMPARE(shown(), StartRecord);
    QVERIFY(messages_.isEmpty());

    // The simulator's test aids reach the window as they reach the command-line tool.
    qputenv("KESTRUN_SIM_FAULT", "bad-check");
    qputenv("KESTRUN_SIM_TICK_MS", "0");
    const auto unset = qScopeGuard([] {
        qunsetenv("KESTRUN_SIM_FAULT");
        qunsetenv("KESTRUN_SIM_TICK_MS");
    });
    QVERIFY(start());
    click(Button::GetData);
    QTRY_COMPARE(label(Label::StatusText), QStringLiteral("Data Receive Error!"));
}

// The shell shows what the loader took, or says why not and keeps what it showed.
void ShellTest::openOfEachFileSizeAsTheControlsShowIt() {
    QVERIFY(start());
    const struct {
        const char* name;
        QByteArray content;
        SettingsRecord shownAfter;
        const char* message;
    } steps[] = {
        {"18 bytes", recordBytes(SampleRecord), SampleRecord, nullptr},
        {"17 bytes", recordBytes(StartRecord).left(17), SampleRecord, "Unexpected file format."},
        {"0 bytes", QByteArray(), SampleRecord, nullptr},
    };
    for (const auto& step : steps) {
        const SettingsRecord before = app_->document().record();
        messages_.clear();
        answers_.append(writeFile(*dir_, step.name, step.content));
        trigger(CommandId::FileOpen);
        QVERIFY2(shown() == step.shownAfter, step.name);
        QCOMPARE(messages_.join(""), step.message ? QString("Kestrun: ") + step.message : "");
        if (step.message != nullptr) {
            QCOMPARE(app_->document().record(), before); // nothing half-loaded
        }
    }
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void ShellTest::saveAndSaveAsWriteWhatTheControlsShow() {
    QVERIFY(start());
    // Unnamed, Save asks, proposing "Untitled", and takes the name as typed, adding no extension.
    const QString fresh = dir_->filePath("fresh");
    answers_.append(fresh);
    trigger(CommandId::FileSave);
    QCOMPARE(dialogs_, QStringList{"save Untitled"});
    QCOMPARE(readFile(fresh),
             QByteArray::fromHex("64 14 05 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00"));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"fresh"});

    // Named now, Save writes the edits there without asking.
    click(Button::OneWayCommunication);
    trigger(CommandId::FileSave);
    QCOMPARE(dialogs_.size(), 1);
    SettingsRecord edited = StartRecord;
    edited[OneWayCommunication] = 1;
    QCOMPARE(readFile(fresh), recordBytes(edited));

    // Save As proposes the current file. Onto a folder it fails and changes nothing.
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    answers_.append(dir_->filePath("folder"));
    trigger(CommandId::FileSaveAs);
    QCOMPARE(dialogs_.last(), "save " + fresh);
    QCOMPARE(messages_, QStringList{"Kestrun: Failed to save document."});
    QCOMPARE(app_->document().pathName(), fresh);

    // Elsewhere it writes the later edits and leaves the first file as it was.
    click(Button::Preston);
    const QString copy = dir_->filePath("copy");
    answers_.append(copy);
    trigger(CommandId::FileSaveAs);
    SettingsRecord later = edited;
    later[DigitalConnection] = 3;
    QCOMPARE(readFile(copy), recordBytes(later));
    QCOMPARE(readFile(fresh), recordBytes(edited));
    QCOMPARE(app_->recentFiles().entries(), (QStringList{copy, fresh}));
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void ShellTest::newOpenAndExitNeverAskToSave() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start());
    QWidget* window = app_->frame()->centralWidget();
    app_->frame()->show();
    click(Button::OneWayCommunication); // an edit, never saved
    trigger(CommandId::FileNew);
    answers_.append(path);
    trigger(CommandId::FileOpen);
    QCOMPARE(shown(), SampleRecord);
    click(Button::OneWayCommunication);
    trigger(CommandId::FileNew);
    // New keeps what the controls show and forgets the name; the frame keeps its one window.
    SettingsRecord edited = SampleRecord;
    edited[OneWayCommunication] = 0;
    QCOMPARE(shown(), edited);
    QVERIFY(app_->document().pathName().isEmpty());
    QVERIFY(app_->frame()->centralWidget() == window);

    // During an upgrade Exit asks first: No (the default) keeps the window, Yes stops it.
    QStringList asked;
    shell_->view()->setQuestionHook([&asked](const QString& question) {
        asked << question;
        return asked.size() == 2;
    });
    shell_->view()->link().setLinkState(LinkState::Uploading);
    trigger(CommandId::AppExit);
    QVERIFY(app_->frame()->isVisible());
    trigger(CommandId::AppExit);
    QVERIFY(!app_->frame()->isVisible());
    QCOMPARE(asked.join("|"), QStringLiteral("An upgrade is in progress. Stop it and quit?|"
                                             "An upgrade is in progress. Stop it and quit?"));
    QCOMPARE(label(Label::UpgradeStatusText), QStringLiteral("Boot loader awaits upgrade"));
    QCOMPARE(readFile(path), recordBytes(SampleRecord));
    QCOMPARE(dialogs_, QStringList{"open "}); // nothing else asked
    QVERIFY(messages_.isEmpty());
}

void ShellTest::recentFilesKeepTheLastEightAndDropVanishedOnes() {
    QVERIFY(start());
    QStringList opened;
    for (int i = 1; i <= 9; ++i) {
        opened.prepend(writeFile(*dir_, QString("head%1").arg(i), recordBytes(SampleRecord)));
        answers_.append(opened.front());
        trigger(CommandId::FileOpen);
    }
    opened.removeLast();
    const auto menuPaths = [this] {
        QStringList paths;
        for (const QAction* entry : app_->frame()->recentFileActions()) {
            paths.append(entry->toolTip());
        }
        return paths;
    };
    QCOMPARE(menuPaths(), opened);
    QVERIFY(!app_->frame()->commandAction(CommandId::FileRecentFirst)->isVisible());
    QSettings store(QString::fromLatin1(AppText::CompanyKey),
                    QString::fromLatin1(AppText::AppName));
    store.beginGroup("Recent File List");
    QCOMPARE(store.childKeys().size(), 8);
    QCOMPARE(store.value("File1").toString(), opened[0]);
    QCOMPARE(store.value("File8").toString(), opened[7]);

    // Choosing an entry opens it without a dialog and moves it to the front.
    app_->frame()->recentFileActions()[3]->trigger();
    opened.move(3, 0);
    QCOMPARE(menuPaths(), opened);
    QCOMPARE(dialogs_.size(), 9);

    // A file gone since: the not-found message, and it leaves the menu and the store.
    QVERIFY(QFile::remove(opened[5]));
    app_->frame()->recentFileActions()[5]->trigger();
    QCOMPARE(messages_, QStringList{QString("Kestrun: %1 was not found.").arg(opened[5])});
    opened.removeAt(5);
    QCOMPARE(menuPaths(), opened);
    store.sync();
    QCOMPARE(store.childKeys().size(), 7);
}

void ShellTest::recentFileMenuNames() {
    // At most 30 characters: leading folders give way to "...", a name too long on its own (with
    // folders or without) keeps its ends, and a '&' is doubled so the menu shows it instead of
    // taking it as a mnemonic. Twenty thousand folders cost no more than reading them.
    const QString deep = "/" + QString("f/").repeated(20000) + "studio.set";
    const std::pair<QString, const char*> cases[] = {
        {"/home/ann/heads/studio-two.set", "&3 /home/ann/heads/studio-two.set"}, // 30 exactly
        {"/home/ann/projects/a/b/c/d/studio.set", "&3 /.../a/b/c/d/studio.set"},
        {"/srv/x/camera-head-settings-for-the-studio.set", "&3 camera-head-s...the-studio.set"},
        {"camera-head-settings-for-the-studio.set", "&3 camera-head-s...the-studio.set"},
        {deep, "&3 /.../f/f/f/f/f/f/f/studio.set"},
        {"/a&b.set", "&3 /a&&b.set"},
    };
    for (const auto& [path, menuText] : cases) {
        QCOMPARE(RecentFileList::menuText(2, path), QString(menuText));
    }
}

void ShellTest::fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot() {
    writeFile(*dir_, "studio", QByteArray(18, '\0'));
    writeFile(*dir_, "field.set", QByteArray(18, '\0'));
    for (const bool save : {false, true}) {
        QFileDialog dialog;
        dialog.setDirectory(dir_->path());
        configureFileDialog(dialog, save ? FileDialogKind::Save : FileDialogKind::Open,
                            save ? QStringLiteral("Untitled") : QString());
        QCOMPARE(dialog.nameFilters(), QStringList{"All Files (*.*)"});
        QVERIFY(dialog.defaultSuffix().isEmpty());
        QCOMPARE(dialog.acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QCOMPARE(name->text(), save ? QStringLiteral("Untitled") : QString());
        // "*.*" must not hide the file saved without an extension.
        auto* model = dialog.findChild<QFileSystemModel*>();
        QTRY_COMPARE(model->rowCount(model->index(dir_->path())), 2);
    }
}

void ShellTest::fileDialogsStartInTheFolderLastUsed() {
    // Settings files and upgrade files each remember their own folder, within a run (the second
    // open of the first run) and from one run to the next.
    QVERIFY(QDir(dir_->path()).mkpath("heads") && QDir(dir_->path()).mkpath("firmware"));
    QStringList upgradeFolders;
    for (int run = 0; run < 2; ++run) {
        QVERIFY(start());
        answers_ << writeFile(*dir_, "heads/studio", recordBytes(SampleRecord));
        trigger(CommandId::FileOpen);
        if (run == 0) {
            answers_ << writeFile(*dir_, "heads/studio", recordBytes(SampleRecord));
            trigger(CommandId::FileOpen);
        }
        const QString hex = writeFile(*dir_, "firmware/fw.hex", ":00000001FF\r\n");
        shell_->view()->setFileDialogHook([&upgradeFolders, hex](const QString& folder) {
            upgradeFolders << QDir(folder).dirName();
            return hex;
        });
        click(Button::SelectFile);
    }
    QCOMPARE(folders_.replaceInStrings(dir_->path() + "/", ""),
             (QStringList{"", "heads", "heads"}));
    QCOMPARE(upgradeFolders, (QStringList{".", "firmware"}));
}

void ShellTest::frameKeysReachTheirCommandsAndEditKeysNothing() {
    QVERIFY(start());
    CMainFrame* frame = app_->frame();
    frame->show();
    QApplication::setActiveWindow(frame);
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QCOMPARE(frame->windowTitle(), QStringLiteral("Tavrel"));
    // On a 1366 x 768 laptop screen the frame is 644 wide and as high as the screen, and stays
    // on it (the view scrolls); maximised, the canvas stands in the middle of the view's width.
    QCOMPARE(frame->frameGeometry().size(), QSize(644, 768));
    QVERIFY(frame->screen()->availableGeometry().contains(frame->frameGeometry()));
    QVERIFY(frame->findChildren<QToolBar*>().isEmpty());
    QVERIFY(frame->findChild<QStatusBar*>() == nullptr);

    int triggered = 0; // by any of the frame's actions
    for (QAction* action : frame->findChildren<QAction*>()) {
        connect(action, &QAction::triggered, action, [&triggered] { ++triggered; });
    }
    for (const Qt::Key key : {Qt::Key_N, Qt::Key_O, Qt::Key_S}) {
        QTest::keyClick(frame, key, Qt::ControlModifier);
    }
    QCOMPARE(triggered, 3);
    QCOMPARE(dialogs_, (QStringList{"open ", "save Untitled"}));

    // Every Edit command is disabled, and its keys, main and alternate, trigger no action at all.
    const std::pair<CommandId, std::vector<QKeyCombination>> editKeys[] = {
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
    QCOMPARE(triggered, 3);
    QCOMPARE(dialogs_.size(), 2);
    QVERIFY(messages_.isEmpty());
    frame->showMaximized();
    QTRY_COMPARE(shell_->view()->canvas()->geometry().center().x(),
                 shell_->view()->viewport()->rect().center().x());
}

void ShellTest::aboutShowsTheBox() {
    // Every text of the box is whole, and Licences shows Kestrun's notice first, then offers
    // the third-party notices and each licence text.
    QVERIFY(start());
    QString caption;
    QString product;
    QStringList cut;
    QString notices;
    QTimer::singleShot(0, this, [&] {
        QWidget* box = QApplication::activeModalWidget();
        caption = box->windowTitle();
        product = box->findChild<QLabel*>(QStringLiteral("aboutProduct"))->text();
        for (QWidget* item : box->findChildren<QWidget*>()) {
            const bool showsText = item->inherits("QLabel") || item->inherits("QPushButton");
            if (showsText && (!box->rect().contains(item->geometry()) ||
                              item->width() < item->sizeHint().width())) {
                cut.append(item->property("text").toString());
            }
        }
        QTimer::singleShot(0, this, [&] {
            QWidget* shown = QApplication::activeModalWidget();
            notices = shown->findChild<QPlainTextEdit*>()->toPlainText();
            const auto* choice = shown->findChild<QComboBox*>();
            notices += "|" + choice->itemText(1) + (choice->count() > 2 ? "|texts" : "");
            shown->close();
        });
        box->findChild<QAbstractButton*>(QStringLiteral("aboutLicences"))->click();
        QTest::keyClick(box, Qt::Key_Return); // OK is the default button
    });
    trigger(CommandId::AppAbout);
    QCOMPARE(caption + " / " + product, QStringLiteral("About Kestrun / Kestrun    Version 1.3"));
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
    QVERIFY2(notices.contains("Copyright 2026 the Kestrun authors. All rights reserved.") &&
                 notices.contains("|THIRD-PARTY-NOTICES|texts"),
             qPrintable(notices.right(80)));
}

void ShellTest::portOptionTalksThroughTheSerialPort() {
    PtyPeer controller; // a pseudo-terminal plays the controller's UART
    QVERIFY(start({}, QString::fromStdString(controller.path())));
    QCOMPARE(label(Label::ConnectionText), QStringLiteral("Connected"));
    click(Button::GetData);
    QCOMPARE(controller.expect(2), std::string(";G"));
}

} // namespace kestrun::test

QTEST_MAIN(kestrun::test::ShellTest)
#include "ShellTest.moc"
