// The shell around the real setup window over the simulated controller (or a pseudo-terminal with
// --port): start, New, Open, Save, the recent files, the keys, Exit and About as the user meets
// them. What the controls show is read back through the window's own ControlsToRecord, so each
// check sees exactly what a save would write. Then the command line as read, and the built
// `kestrun` run as a process, as a desktop or a script starts it: exit codes, messages on standard
// error (KESTRUN_MESSAGES_TO_STDERR stands in for the boxes nobody could close there), and the
// screenshot mode.

#include "app/AppText.h"
#include "app/CKestrunApp.h"
#include "app/CommandLine.h"
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
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <cstdio>

namespace kestrun::test {

namespace Button = ui::ButtonRowOf;
namespace Label = ui::LabelRowOf;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return file.fileName();
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray recordBytes(const SettingsRecord& record) {
    return QByteArray(reinterpret_cast<const char*>(record.data()),
                      static_cast<qsizetype>(record.size()));
}

/// A record unlike the start record in every byte, all within the window's ranges:
/// Speed 50, Smoothing 60, Pan 70, Tilt 80, "Canon", One Way on, "Level Low", Pressure on,
/// the five ranges 1.00, 2.00, 3.00, 4.00, 9.00 (as the smallest counts showing them).
constexpr SettingsRecord SampleRecord = {0x32, 0x3C, 0x46, 0x50, 0x02, 0x01, 0x02, 0x01, 0x01,
                                         0x9A, 0x03, 0x34, 0x04, 0xCD, 0x06, 0x67, 0x0E, 0x67};

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
        // A settings store of the run's own, empty: the user's recent files stay untouched.
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, store_.path());
        QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
            .clear();
        dir_ = std::make_unique<QTemporaryDir>();
        answers_ = dialogs_ = folders_ = messages_ = QStringList();
    }
    void cleanup() { app_.reset(); }

    void startShowsTheNamedFileAndGetsData() {
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

        PtyPeer controller; // with --port a pseudo-terminal plays the controller's UART
        QVERIFY(start({}, QString::fromStdString(controller.path())));
        QCOMPARE(label(Label::ConnectionText), QStringLiteral("Connected"));
        click(Button::GetData);
        QCOMPARE(controller.expect(2), std::string(";G"));
    }

    void saveOpenNewAndExit() {
        QVERIFY(start());
        // Unnamed, Save asks, proposing "Untitled", and takes the name as typed, adding no
        // extension.
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

        // Open shows what the loader took, or says why not and keeps what it showed. Like New and
        // Exit, it never asks to save an edit.
        click(Button::OneWayCommunication);
        const std::pair<const char*, QByteArray> opened[] = {
            {"18 bytes", recordBytes(SampleRecord)},
            {"17 bytes", recordBytes(StartRecord).left(17)}, // "Unexpected file format."
            {"0 bytes", QByteArray()},
        };
        for (const auto& [name, content] : opened) {
            const SettingsRecord before = app_->document().record();
            messages_.clear();
            answers_.append(writeFile(*dir_, name, content));
            trigger(CommandId::FileOpen);
            QVERIFY2(shown() == SampleRecord, name);
            const bool refused = content.size() == 17;
            QCOMPARE(messages_.join(""), refused ? "Kestrun: Unexpected file format." : "");
            if (refused) {
                QCOMPARE(app_->document().record(), before); // nothing half-loaded
            }
        }
        QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));

        // New keeps what the controls show and forgets the name; the frame keeps its one window.
        QWidget* window = app_->frame()->centralWidget();
        app_->frame()->show();
        click(Button::OneWayCommunication);
        trigger(CommandId::FileNew);
        SettingsRecord renewed = SampleRecord;
        renewed[OneWayCommunication] = 0;
        QCOMPARE(shown(), renewed);
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
        QCOMPARE(asked, QStringList(2, "An upgrade is in progress. Stop it and quit?"));
        QCOMPARE(label(Label::UpgradeStatusText), QStringLiteral("Boot loader awaits upgrade"));
        QCOMPARE(readFile(dir_->filePath("18 bytes")), recordBytes(SampleRecord));
        QCOMPARE(dialogs_.size(), 6); // the three saves' and the three opens': nothing else asked
        QVERIFY(messages_.isEmpty());
    }

    void recentFilesKeepTheLastEightAndDropVanishedOnes() {
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

        // At most 30 characters: leading folders give way to "...", a name too long on its own
        // (with folders or without) keeps its ends, and a '&' is doubled so the menu shows it
        // instead of taking it as a mnemonic. Twenty thousand folders cost no more than reading
        // them.
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

    void fileDialogsOfferAllFilesInTheFolderLastUsed() {
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

    void frameKeysSizeAndAbout() {
        QVERIFY(start());
        CMainFrame* frame = app_->frame();
        frame->show();
        QApplication::setActiveWindow(frame);
        QVERIFY(QTest::qWaitForWindowActive(frame));
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

        // Every Edit command is disabled, and its keys, main and alternate, trigger no action at
        // all.
        const std::pair<CommandId, QList<QKeySequence>> editKeys[] = {
            {CommandId::EditUndo, {Qt::CTRL | Qt::Key_Z, Qt::ALT | Qt::Key_Backspace}},
            {CommandId::EditCut, {Qt::CTRL | Qt::Key_X, Qt::SHIFT | Qt::Key_Delete}},
            {CommandId::EditCopy, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert}},
            {CommandId::EditPaste, {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}},
        };
        for (const auto& [id, keys] : editKeys) {
            QVERIFY(!frame->commandAction(id)->isEnabled());
            QCOMPARE(frame->commandAction(id)->shortcuts(), keys);
            for (const QKeySequence& key : keys) {
                QTest::keySequence(frame, key);
            }
        }
        QCOMPARE(triggered, 3);
        QCOMPARE(dialogs_.size(), 2);
        QVERIFY(messages_.isEmpty());
        frame->showMaximized();
        QTRY_COMPARE(shell_->view()->canvas()->geometry().center().x(),
                     shell_->view()->viewport()->rect().center().x());

        // About: every text of the box is whole, and Licences shows Kestrun's notice first, then
        // offers the third-party notices and each licence text.
        QString about, notices;
        QStringList cut;
        QTimer::singleShot(0, this, [&] {
            QWidget* box = QApplication::activeModalWidget();
            about = box->windowTitle() + " / " +
                    box->findChild<QLabel*>(QStringLiteral("aboutProduct"))->text();
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
        QCOMPARE(about, QStringLiteral("About Kestrun / Kestrun    Version 1.3"));
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(", ")));
        QVERIFY2(notices.contains("Copyright 2026 the Kestrun authors. All rights reserved.") &&
                     notices.contains("|THIRD-PARTY-NOTICES|texts"),
                 qPrintable(notices.right(80)));
    }

    void commandLine() {
        // The options read from each command line, or "error".
        const std::pair<QStringList, const char*> rows[] = {
            {{}, "file= sim=0 port= baud=115200 shot="},
            {{"--simulate", "a"}, "file=a sim=1 port= baud=115200 shot="},
            {{"--port=/dev/pts/4", "--baud", "9600"},
             "file= sim=0 port=/dev/pts/4 baud=9600 shot="},
            {{"--", "--simulate"}, "file=--simulate sim=0 port= baud=115200 shot="},
            {{"--baud", "9600"}, "file= sim=0 port= baud=9600 shot="}, // for the USB bridge
            {{"a", "b"}, "error"},
            {{"--simulated"}, "error"},
            {{"--port"}, "error"},
            {{"--simulate", "--baud", "9600"}, "error"},
            {{"--port", "p", "--baud", "fast"}, "error"},
            {{"--port", "p", "--baud", "0"}, "error"},
            {{"--simulate", "--port", "p"}, "error"}};
        for (const auto& [arguments, expected] : rows) {
            const CommandLineResult result = parseCommandLine(QStringList{"kestrun"} + arguments);
            QCOMPARE(result.error.isEmpty(), result.options.has_value());
            const auto& o = result.options;
            const QString read = !o ? "error"
                                    : QString("file=%1 sim=%2 port=%3 baud=%4 shot=%5")
                                          .arg(o->settingsFile, QString::number(o->simulate),
                                               o->port, QString::number(o->baud), o->screenshot);
            QCOMPARE(arguments.join(' ') + ": " + read, arguments.join(' ') + ": " + expected);
        }
    }

    void endsWithoutAWindow() {
        // FILE: a 17-byte file, GONE: a missing one. The text is looked for on standard output when
        // the run succeeds, on standard error when it fails. --simulate keeps the runs off the
        // machine's real USB devices.
        // clang-format off
        const std::tuple<QStringList, bool, int, QString> rows[] = { // without display, exit code
            {{"--help"}, true, 0, "--screenshot"},
            {{"--simulate", "--version"}, true, 0,
             "kestrun " KESTRUN_VERSION "\nCopyright (C) 2026"},
            {{"--frobnicate"}, true, 2, "unknown option --frobnicate"},
            {{"--simulate", "GONE"}, false, 1, "Kestrun: GONE was not found."},
            {{"--simulate", "FILE"}, false, 1, "Kestrun: Unexpected file format."},
            {{"--port", "/dev/null", "--baud", "12345"}, false, 2, "12345"}, // a baud it can't take
            {{"--simulate", "--screenshot", "GONE/x.png"}, false, 1,
             "kestrun: cannot write the screenshot GONE/x.png: No such file or directory"}};
        // clang-format on
        const QString gone = dir_->filePath("gone");
        const QString file = writeFile(*dir_, "short", QByteArray(17, '\0'));
        for (auto [arguments, withoutDisplay, exitCode, text] : rows) {
            arguments.replaceInStrings("FILE", file).replaceInStrings("GONE", gone);
            const Run result = run(arguments, withoutDisplay);
            QCOMPARE(result.exitCode, exitCode);
            const QString& stream = exitCode == 0 ? result.out : result.err;
            QVERIFY2(stream.contains(text.replace("GONE", gone)), qPrintable(stream));
        }
    }

    void screenshotShowsTheWindowAfterStartUp() {
        // Rendered with no display at all, the whole canvas on the window's background.
        const QString fresh = dir_->filePath("fresh.png");
        QCOMPARE(run({"--simulate", "--screenshot=" + fresh}, true).exitCode, 0);
        const QImage image(fresh);
        QCOMPARE(image.size(), QSize(624, 782));
        QCOMPARE(image.pixelColor(2, 2), QColor(230, 220, 190));

        // A settings file named too is loaded before the picture is taken.
        const QString loaded = dir_->filePath("loaded.png");
        const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
        QCOMPARE(run({"--simulate", "--screenshot", loaded, path}, false).exitCode, 0);
        QVERIFY(QImage(loaded) != image);
        QVERIFY(!QFile::exists(dir_->filePath("config"))); // the user's settings left alone

        // A file whose name is not valid UTF-8 opens by the name the system gave (such names exist
        // where the system's names are bytes; a shell passes them on).
        if (!QFile::exists("/bin/sh")) {
            QSKIP("no shell to pass a name that is not valid UTF-8");
        }
        const QByteArray oddName = QFile::encodeName(dir_->path()) + "/bad\xff\xfe.set";
        std::FILE* odd = std::fopen(oddName.constData(), "wb");
        QVERIFY(odd != nullptr &&
                std::fwrite(recordBytes(SampleRecord).constData(), 1, 18, odd) == 18);
        QCOMPARE(std::fclose(odd), 0);
        const QString script = R"sh(cd "$1" && exec "$KESTRUN_PROGRAM" --simulate --screenshot )sh"
                               R"sh(odd.png "$(printf 'bad\377\376.set')")sh";
        QCOMPARE(run({"-c", script, "sh", dir_->path()}, false, "/bin/sh").exitCode, 0);
        QCOMPARE(QImage(dir_->filePath("odd.png")), QImage(loaded));
    }

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

    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    /// Runs the program offscreen or, `withoutDisplay`, with no platform chosen and no display
    /// to find, as over a remote shell.
    Run run(const QStringList& arguments, bool withoutDisplay, const QString& program = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
            environment.remove(QString::fromLatin1(name));
        }
        if (!withoutDisplay) {
            environment.insert("QT_QPA_PLATFORM", "offscreen");
        }
        environment.insert(QString::fromLatin1(AppText::MessagesToStderrVariable), "1");
        environment.insert("XDG_CONFIG_HOME", dir_->filePath("config")); // the run's recent files
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program.isEmpty() ? qEnvironmentVariable("KESTRUN_PROGRAM") : program,
                      arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            return {}; // hung or crashed
        }
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    QTemporaryDir store_;
    std::unique_ptr<QTemporaryDir> dir_;
    QStringList answers_;
    QStringList dialogs_;
    QStringList folders_; ///< the folder each file dialog started in
    QStringList messages_;
    std::unique_ptr<CKestrunApp> app_;
    KestrunViewShell* shell_ = nullptr;
};

} // namespace kestrun::test

QTEST_MAIN(kestrun::test::ShellTest)
#include "ShellTest.moc"
