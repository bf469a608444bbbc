// The single-document sequences of the shell, with a recording view in place of the setup
// window: what New, Open, Save and the recent files ask of the view and of the user, in order.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CKestrunApp.h"

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QTest>

namespace kestrun::test {

class ShellFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startWithoutFileIsANewDocument();
    void startWithFileLoadsBeforeTheFirstInitialUpdate();
    void startWithUnreadableFileFails_data();
    void startWithUnreadableFileFails();
    void openBySize_data();
    void openBySize();
    void newAndOpenNeverAskToSave();
    void cancelledDialogsChangeNothing();
    void saveAsksForANameOnlyWhileTheDocumentHasNone();
    void failedSaveKeepsTheOldFileAndThePath();
    void nineOpensLeaveTheLastEightInTheMenuAndStore();
    void vanishedRecentFileIsDroppedWithTheNotFoundMessage();

private:
    /// Starts the shell with `arguments` (a settings file or nothing) over a FakeView.
    bool start(const QString& settingsFile = QString());
    FakeView& view() { return *fakeView_; }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ShellScript> script_;
    std::unique_ptr<CKestrunApp> app_;
    FakeView* fakeView_ = nullptr;
};

void ShellFlowTest::init() {
    QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
        .clear();
    dir_ = std::make_unique<QTemporaryDir>();
    script_ = std::make_unique<ShellScript>();
}

void ShellFlowTest::cleanup() {
    app_.reset();
    fakeView_ = nullptr;
    script_.reset();
    dir_.reset();
}

bool ShellFlowTest::start(const QString& settingsFile) {
    CommandLine options;
    options.settingsFile = settingsFile;
    app_ = std::make_unique<CKestrunApp>(options, [this](SettingsRecord& record, QString&) {
        auto view = std::make_unique<FakeView>(record);
        fakeView_ = view.get();
        return view;
    });
    return app_->InitInstance();
}

void ShellFlowTest::startWithoutFileIsANewDocument() {
    QVERIFY(start());
    QCOMPARE(view().calls, QStringList{"initial update"});
    QVERIFY(app_->document().pathName().isEmpty());
    QCOMPARE(app_->document().title(), QStringLiteral("Untitled"));
    QCOMPARE(app_->frame()->centralWidget(), view().widget());
    QVERIFY(script_->messages.empty());
}

void ShellFlowTest::startWithFileLoadsBeforeTheFirstInitialUpdate() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start(path));
    // The notice is queued by the load; the window handles it after its first build.
    QCOMPARE(view().calls, (QStringList{"notify 3", "initial update"}));
    QCOMPARE(app_->document().record(), SampleRecord);
    QCOMPARE(app_->document().pathName(), path);
    QCOMPARE(app_->recentFiles().entries(), QStringList{path});
}

void ShellFlowTest::startWithUnreadableFileFails_data() {
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "%1 was not found.";
    QTest::newRow("17 bytes") << QByteArray(17, 'x') << "Unexpected file format.";
}

void ShellFlowTest::startWithUnreadableFileFails() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path =
        content.isEmpty() ? dir_->filePath("gone") : writeFile(*dir_, "short", content);
    QVERIFY(!start(path));
    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, message.contains("%1") ? message.arg(path) : message);
    QCOMPARE(script_->messages[0].caption, QStringLiteral("Kestrun"));
    QVERIFY(view().calls.isEmpty()); // never built, never shown
    QVERIFY(!app_->frame()->isVisible());
    QVERIFY(app_->recentFiles().entries().isEmpty());
}

void ShellFlowTest::openBySize_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("recordLoaded");
    QTest::newRow("0 bytes: opens, loads nothing") << 0 << true << false;
    QTest::newRow("17 bytes: refused") << 17 << false << false;
    QTest::newRow("18 bytes") << 18 << true << true;
    QTest::newRow("20 bytes: the first 18") << 20 << true << true;
}

void ShellFlowTest::openBySize() {
    QFETCH(int, size);
    QFETCH(bool, opens);
    QFETCH(bool, recordLoaded);
    QByteArray content = recordBytes(SampleRecord) + QByteArray("\xEE\xEE", 2);
    content.truncate(size);
    const QString earlier = writeFile(*dir_, "earlier", recordBytes(StartRecord));
    const QString path = writeFile(*dir_, "opened", content);
    QVERIFY(start(earlier));
    view().calls.clear();

    script_->answer(path);
    app_->frame()->commandAction(CommandId::FileOpen)->trigger();

    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QCOMPARE(script_->dialogs[0].kind, FileDialogKind::Open);
    QStringList expectedCalls;
    if (recordLoaded) {
        expectedCalls << "notify 3";
    }
    if (opens) {
        expectedCalls << "initial update";
    }
    QCOMPARE(view().calls, expectedCalls);
    QCOMPARE(app_->document().record(), recordLoaded ? SampleRecord : StartRecord);
    QCOMPARE(app_->document().pathName(), opens ? path : earlier);
    QCOMPARE(app_->recentFiles().entries().front(), opens ? path : earlier);
    if (opens) {
        QVERIFY(script_->messages.empty());
    } else {
        QCOMPARE(script_->messages.size(), std::size_t{1});
        QCOMPARE(script_->messages[0].text, QStringLiteral("Unexpected file format."));
        QCOMPARE(script_->messages[0].caption, QStringLiteral("Kestrun"));
    }
}

void ShellFlowTest::newAndOpenNeverAskToSave() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start());
    view().shown[0] = 7; // the user edits a control
    view().calls.clear();

    app_->frame()->commandAction(CommandId::FileNew)->trigger();
    script_->answer(path);
    app_->frame()->commandAction(CommandId::FileOpen)->trigger();
    app_->frame()->commandAction(CommandId::FileNew)->trigger();

    // Only the open dialog was shown; no question, no save, no message. New keeps the record.
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QVERIFY(script_->messages.empty());
    QCOMPARE(view().calls,
             (QStringList{"initial update", "notify 3", "initial update", "initial update"}));
    QCOMPARE(app_->document().record(), SampleRecord);
    QVERIFY(app_->document().pathName().isEmpty());
    QVERIFY(!app_->document().isModified());
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void ShellFlowTest::cancelledDialogsChangeNothing() {
    QVERIFY(start());
    view().calls.clear();
    script_->answer(std::nullopt);
    script_->answer(std::nullopt);
    app_->frame()->commandAction(CommandId::FileOpen)->trigger();
    app_->frame()->commandAction(CommandId::FileSaveAs)->trigger();
    QCOMPARE(script_->dialogs.size(), std::size_t{2});
    QVERIFY(view().calls.isEmpty());
    QVERIFY(app_->document().pathName().isEmpty());
    QVERIFY(app_->recentFiles().entries().isEmpty());
    QVERIFY(QDir(dir_->path()).isEmpty());
}

void ShellFlowTest::saveAsksForANameOnlyWhileTheDocumentHasNone() {
    QVERIFY(start());
    view().shown = SampleRecord;
    const QString typed = dir_->filePath("studio"); // no extension, and none is added
    script_->answer(typed);
    app_->frame()->commandAction(CommandId::FileSave)->trigger();
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QCOMPARE(script_->dialogs[0].kind, FileDialogKind::Save);
    QCOMPARE(script_->dialogs[0].proposed, QStringLiteral("Untitled"));
    QCOMPARE(readFile(typed), recordBytes(SampleRecord));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"studio"});
    QCOMPARE(app_->document().pathName(), typed);
    QCOMPARE(app_->recentFiles().entries(), QStringList{typed});

    // Now the document has a name: Save writes there, reading the controls again first.
    view().shown[0] = 99;
    view().calls.clear();
    app_->frame()->commandAction(CommandId::FileSave)->trigger();
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QCOMPARE(view().calls, QStringList{"controls to record"});
    QCOMPARE(static_cast<uint8_t>(readFile(typed).at(0)), uint8_t{99});

    // Save As proposes the current file and moves the document to the new one.
    const QString copy = dir_->filePath("copy.set");
    script_->answer(copy);
    app_->frame()->commandAction(CommandId::FileSaveAs)->trigger();
    QCOMPARE(script_->dialogs.back().proposed, typed);
    QCOMPARE(readFile(copy), readFile(typed));
    QCOMPARE(app_->document().pathName(), copy);
    QCOMPARE(app_->recentFiles().entries(), (QStringList{copy, typed}));
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
    QVERIFY(script_->messages.empty());
}

void ShellFlowTest::failedSaveKeepsTheOldFileAndThePath() {
    const QString path = writeFile(*dir_, "studio", recordBytes(StartRecord));
    QVERIFY(start(path));
    view().shown = SampleRecord;
    // A folder cannot be replaced by a settings file.
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    const QString folder = dir_->filePath("folder");
    script_->answer(folder);
    app_->frame()->commandAction(CommandId::FileSaveAs)->trigger();

    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, QStringLiteral("Failed to save document."));
    QCOMPARE(script_->messages[0].caption, QStringLiteral("Kestrun"));
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(app_->document().pathName(), path);
    QCOMPARE(app_->recentFiles().entries(), QStringList{path});
    QCOMPARE(readFile(path), recordBytes(StartRecord));
}

void ShellFlowTest::nineOpensLeaveTheLastEightInTheMenuAndStore() {
    QVERIFY(start());
    QStringList opened;
    for (int i = 1; i <= 9; ++i) {
        opened.prepend(
            writeFile(*dir_, QStringLiteral("head%1.set").arg(i), recordBytes(SampleRecord)));
        script_->answer(opened.front());
        app_->frame()->commandAction(CommandId::FileOpen)->trigger();
    }
    opened.removeLast();

    const QList<QAction*>& entries = app_->frame()->recentFileActions();
    QCOMPARE(entries.size(), 8);
    QVERIFY(!app_->frame()->commandAction(CommandId::FileRecentFirst)->isVisible());
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(entries[i]->text(), RecentFileList::menuText(i, opened[i]));
        QVERIFY(entries[i]->isEnabled());
    }
    RecentFileList stored;
    stored.load();
    QCOMPARE(stored.entries(), opened);

    // Choosing an entry opens it and moves it to the front.
    view().calls.clear();
    app_->frame()->recentFileActions()[3]->trigger();
    QCOMPARE(view().calls, (QStringList{"notify 3", "initial update"}));
    QCOMPARE(app_->document().pathName(), opened[3]);
    QCOMPARE(app_->recentFiles().entries().front(), opened[3]);
    QVERIFY(script_->dialogs.size() == 9); // no dialog for a recent file
}

void ShellFlowTest::vanishedRecentFileIsDroppedWithTheNotFoundMessage() {
    const QString kept = writeFile(*dir_, "kept", recordBytes(SampleRecord));
    const QString vanished = writeFile(*dir_, "vanished", recordBytes(StartRecord));
    QVERIFY(start(kept));
    QVERIFY(app_->OpenDocumentFile(vanished));
    QVERIFY(QFile::remove(vanished));
    view().calls.clear();

    app_->frame()->recentFileActions()[0]->trigger();

    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, QStringLiteral("%1 was not found.").arg(vanished));
    QVERIFY(view().calls.isEmpty());
    QCOMPARE(app_->recentFiles().entries(), QStringList{kept});
    QCOMPARE(app_->frame()->recentFileActions().size(), 1);
    RecentFileList stored;
    stored.load();
    QCOMPARE(stored.entries(), QStringList{kept});
    // The document is still the one that was open.
    QCOMPARE(app_->document().pathName(), vanished);
}

int runShellFlowTests(int argc, char** argv) {
    ShellFlowTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ShellFlowTest.moc"
