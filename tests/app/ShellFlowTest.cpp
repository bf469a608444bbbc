// The single-document sequences with a recording view in place of the setup window: what start,
// New, Open, Save and the recent files ask of the view and of the user, in order.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CKestrunApp.h"

#include <QAction>
#include <QSettings>
#include <QTest>

namespace kestrun::test {

class ShellFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startUp_data();
    void startUp();
    void newAndOpenNeverAskToSave();
    void saveAsksForANameOnlyWhileTheDocumentHasNone();
    void recentFilesKeepTheLastEightAndDropVanishedOnes();

private:
    bool start(const QString& settingsFile = QString());
    void trigger(CommandId id) { app_->frame()->commandAction(id)->trigger(); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ShellScript> script_;
    std::unique_ptr<CKestrunApp> app_;
    FakeView* view_ = nullptr;
};

void ShellFlowTest::init() {
    QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
        .clear();
    dir_ = std::make_unique<QTemporaryDir>();
    script_ = std::make_unique<ShellScript>();
}

void ShellFlowTest::cleanup() {
    app_.reset();
    script_.reset();
}

bool ShellFlowTest::start(const QString& settingsFile) {
    CommandLine options;
    options.settingsFile = settingsFile;
    app_ = std::make_unique<CKestrunApp>(options, [this](SettingsRecord& record, QString&) {
        auto view = std::make_unique<FakeView>(record);
        view_ = view.get();
        return view;
    });
    return app_->InitInstance();
}

void ShellFlowTest::startUp_data() {
    QTest::addColumn<QString>("file"); // "": none named; "missing": named but absent
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("message");
    const QStringList update{"initial update"};
    QTest::newRow("no file") << "" << QByteArray() << true << update << "";
    // The load's notice is queued first; the window handles it after its first build.
    QTest::newRow("18 bytes") << "f" << recordBytes(SampleRecord) << true
                              << QStringList{"notify 3", "initial update"} << "";
    QTest::newRow("empty") << "f" << QByteArray() << true << update << "";
    QTest::newRow("missing") << "missing" << QByteArray() << false << QStringList{}
                             << "%1 was not found.";
    QTest::newRow("17 bytes") << "f" << QByteArray(17, 'x') << false << QStringList{}
                              << "Unexpected file format.";
}

void ShellFlowTest::startUp() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(bool, starts);
    QFETCH(QStringList, calls);
    QFETCH(QString, message);
    QString path;
    if (!file.isEmpty()) {
        path = file == "missing" ? dir_->filePath(file) : writeFile(*dir_, file, content);
    }
    QCOMPARE(start(path), starts);
    QCOMPARE(view_->calls, calls); // a failed start never builds the window
    QCOMPARE(app_->document().pathName(), starts ? path : QString());
    QCOMPARE(app_->recentFiles().entries(),
             starts && !path.isEmpty() ? QStringList{path} : QStringList{});
    if (message.isEmpty()) {
        QVERIFY(script_->messages.empty());
    } else {
        QCOMPARE(script_->messages.size(), std::size_t{1});
        QCOMPARE(script_->messages[0].text, message.contains("%1") ? message.arg(path) : message);
        QCOMPARE(script_->messages[0].caption, QStringLiteral("Kestrun"));
    }
    QVERIFY(!app_->frame()->isVisible());
}

void ShellFlowTest::newAndOpenNeverAskToSave() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start());
    view_->shown[0] = 7; // the user edits a control
    view_->calls.clear();
    trigger(CommandId::FileNew);
    script_->answer(path);
    trigger(CommandId::FileOpen);
    trigger(CommandId::FileNew);

    // Only the open dialog appeared; nothing asked, nothing saved. New keeps the record.
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QVERIFY(script_->messages.empty());
    QCOMPARE(view_->calls,
             (QStringList{"initial update", "notify 3", "initial update", "initial update"}));
    QCOMPARE(app_->document().record(), SampleRecord);
    QVERIFY(app_->document().pathName().isEmpty());
}

void ShellFlowTest::saveAsksForANameOnlyWhileTheDocumentHasNone() {
    QVERIFY(start());
    view_->shown = SampleRecord;
    const QString typed = dir_->filePath("studio"); // no extension, and none is added
    script_->answer(typed);
    trigger(CommandId::FileSave);
    QCOMPARE(script_->dialogs.at(0).kind, FileDialogKind::Save);
    QCOMPARE(script_->dialogs.at(0).proposed, QStringLiteral("Untitled"));
    QCOMPARE(readFile(typed), recordBytes(SampleRecord));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{"studio"});

    // Named now: Save writes there without asking, reading the controls again first.
    view_->shown[0] = 99;
    view_->calls.clear();
    trigger(CommandId::FileSave);
    QCOMPARE(script_->dialogs.size(), std::size_t{1});
    QCOMPARE(view_->calls, QStringList{"controls to record"});
    QCOMPARE(readFile(typed).at(0), char(99));

    // Save As proposes the current file. Onto a folder it fails: message, nothing changed.
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    script_->answer(dir_->filePath("folder"));
    trigger(CommandId::FileSaveAs);
    QCOMPARE(script_->dialogs.back().proposed, typed);
    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, QStringLiteral("Failed to save document."));
    QCOMPARE(app_->document().pathName(), typed);
    QCOMPARE(app_->recentFiles().entries(), QStringList{typed});
    QCOMPARE(readFile(typed).at(0), char(99));
}

void ShellFlowTest::recentFilesKeepTheLastEightAndDropVanishedOnes() {
    QVERIFY(start());
    QStringList opened;
    for (int i = 1; i <= 9; ++i) {
        opened.prepend(
            writeFile(*dir_, QStringLiteral("head%1").arg(i), recordBytes(SampleRecord)));
        script_->answer(opened.front());
        trigger(CommandId::FileOpen);
    }
    opened.removeLast();
    const QList<QAction*>& entries = app_->frame()->recentFileActions();
    QCOMPARE(entries.size(), 8);
    for (int i = 0; i < 8; ++i) {
        QCOMPARE(entries[i]->text(), RecentFileList::menuText(i, opened[i]));
    }
    QVERIFY(!app_->frame()->commandAction(CommandId::FileRecentFirst)->isVisible());
    QSettings store(QString::fromLatin1(AppText::CompanyKey),
                    QString::fromLatin1(AppText::AppName));
    store.beginGroup(QStringLiteral("Recent File List"));
    QCOMPARE(store.childKeys().size(), 8);
    QCOMPARE(store.value("File1").toString(), opened[0]);
    QCOMPARE(store.value("File8").toString(), opened[7]);
    store.endGroup();

    // Choosing an entry opens it without a dialog and moves it to the front.
    view_->calls.clear();
    entries[3]->trigger();
    QCOMPARE(view_->calls, (QStringList{"notify 3", "initial update"}));
    QCOMPARE(app_->recentFiles().entries().front(), opened[3]);
    QCOMPARE(script_->dialogs.size(), std::size_t{9});

    // A file gone since: the not-found message, and it leaves the menu and the store.
    const QString gone = opened[5];
    QVERIFY(QFile::remove(gone));
    view_->calls.clear();
    app_->frame()->recentFileActions()[5]->trigger();
    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, QStringLiteral("%1 was not found.").arg(gone));
    QVERIFY(view_->calls.isEmpty());
    QCOMPARE(app_->frame()->recentFileActions().size(), 7);
    RecentFileList stored;
    stored.load();
    QVERIFY(!stored.entries().contains(gone));
    QCOMPARE(stored.entries().size(), 7);
}

int runShellFlowTests(int argc, char** argv) {
    ShellFlowTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ShellFlowTest.moc"
