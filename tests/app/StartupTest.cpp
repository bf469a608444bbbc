// The whole program as it starts and works with files: the real setup window, attached to the
// simulated controller. What the controls show is read back through the window's own
// ControlsToRecord into a scratch record, so each check sees exactly what a save would write.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CKestrunApp.h"
#include "app/KestrunViewShell.h"
#include "sim/SimBridge.h"
#include "ui/CKestrunView.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSettings>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace kestrun::test {

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startWithoutArgumentShowsTheInitialValues();
    void startWithSettingsFileShowsItsValues();
    void startWithUnreadableFileShowsTheMessageAndNoWindow();
    void openOfEachFileSizeAsTheControlsShowIt();
    void saveRightAfterStartWritesTheStartRecord();
    void saveAsWritesWhatTheControlsShowAfterEdits();
    void newAndOpenStartTheLinkOnlyOnce();
    void simulatedControllerAnswersGetData();
    void portOptionTalksThroughTheSerialPort();

private:
    bool start(const QString& settingsFile = QString());
    bool startWith(const CommandLine& options);
    /// Lets the queued settings notices and the fields' commits land.
    static void settle();
    /// What the controls hold now, as ControlsToRecord reads them (the document's record is
    /// left as it was).
    SettingsRecord shown();
    CKestrunView& view() { return *shell_->view(); }
    QString labelText(std::size_t row) { return view().label(row)->text(); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ShellScript> script_;
    std::unique_ptr<CKestrunApp> app_;
    KestrunViewShell* shell_ = nullptr;
    std::vector<QString> viewMessages_;
};

void StartupTest::init() {
    QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
        .clear();
    dir_ = std::make_unique<QTemporaryDir>();
    script_ = std::make_unique<ShellScript>();
    viewMessages_.clear();
}

void StartupTest::cleanup() {
    app_.reset();
    shell_ = nullptr;
    script_.reset();
    dir_.reset();
}

bool StartupTest::start(const QString& settingsFile) {
    CommandLine options;
    options.simulate = true;
    options.settingsFile = settingsFile;
    return startWith(options);
}

bool StartupTest::startWith(const CommandLine& options) {
    app_ = std::make_unique<CKestrunApp>(
        options, [this, options](SettingsRecord& record, QString& error) {
            auto shell = makeKestrunViewShell(options, record, error);
            shell_ = dynamic_cast<KestrunViewShell*>(shell.get());
            shell_->view()->setMessageHook(
                [this](const std::string& text, const std::string&, MessageIcon) {
                    viewMessages_.push_back(QString::fromStdString(text));
                });
            return shell;
        });
    const bool started = app_->InitInstance();
    settle();
    return started;
}

void StartupTest::settle() {
    for (int pass = 0; pass < 4; ++pass) {
        QCoreApplication::sendPostedEvents();
    }
}

SettingsRecord StartupTest::shown() {
    SettingsRecord& record = app_->document().record();
    const SettingsRecord kept = record;
    record.fill(0xEE);
    view().ControlsToRecord();
    const SettingsRecord fromControls = record;
    record = kept;
    return fromControls;
}

void StartupTest::startWithoutArgumentShowsTheInitialValues() {
    QVERIFY(start());
    QVERIFY(view().isBuilt());
    QCOMPARE(shown(), StartRecord);
    QVERIFY(view().checkButton(ui::ButtonRowOf::Default)->isChecked());
    QVERIFY(view().checkButton(ui::ButtonRowOf::PulseHigh)->isChecked());
    // --simulate: the simulated bridge is found and opened at start.
    QCOMPARE(labelText(ui::LabelRowOf::ConnectionText), QStringLiteral("Connected"));
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
    QVERIFY(app_->frame()->centralWidget() == &view());
    QVERIFY(script_->messages.empty() && viewMessages_.empty());
}

void StartupTest::startWithSettingsFileShowsItsValues() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start(path));
    QCOMPARE(shown(), SampleRecord);
    QVERIFY(view().checkButton(ui::ButtonRowOf::Canon)->isChecked());
    QVERIFY(view().checkButton(ui::ButtonRowOf::LevelLow)->isChecked());
    QCOMPARE(app_->document().pathName(), path);
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void StartupTest::startWithUnreadableFileShowsTheMessageAndNoWindow() {
    const QString path = writeFile(*dir_, "short", QByteArray(5, '\x01'));
    QVERIFY(!start(path));
    QCOMPARE(script_->messages.size(), std::size_t{1});
    QCOMPARE(script_->messages[0].text, QStringLiteral("Unexpected file format."));
    QCOMPARE(script_->messages[0].caption, QStringLiteral("Kestrun"));
    QVERIFY(!app_->frame()->isVisible());
    QVERIFY(!view().isBuilt()); // the link was never started
    QVERIFY(!view().linkTimerActive());
}

void StartupTest::openOfEachFileSizeAsTheControlsShowIt() {
    QVERIFY(start());
    struct Step {
        const char* name;
        QByteArray content;
        SettingsRecord shownAfter;
        const char* message;
    };
    const QByteArray sample = recordBytes(SampleRecord);
    const std::vector<Step> steps = {
        {"18 bytes", sample, SampleRecord, nullptr},
        {"17 bytes: refused, controls kept", recordBytes(StartRecord).left(17), SampleRecord,
         "Unexpected file format."},
        {"0 bytes: accepted, nothing loaded", QByteArray(), SampleRecord, nullptr},
        {"20 bytes: the first 18", recordBytes(StartRecord) + "\x07\x07", StartRecord, nullptr},
    };
    for (const Step& step : steps) {
        const QString path = writeFile(*dir_, QString::fromLatin1(step.name), step.content);
        const SettingsRecord before = app_->document().record();
        script_->messages.clear();
        script_->answer(path);
        app_->frame()->commandAction(CommandId::FileOpen)->trigger();
        settle();
        QVERIFY2(shown() == step.shownAfter, step.name);
        if (step.message != nullptr) {
            QCOMPARE(script_->messages.size(), std::size_t{1});
            QCOMPARE(script_->messages[0].text, QString::fromLatin1(step.message));
            QCOMPARE(app_->document().record(), before); // nothing half-loaded
        } else {
            QVERIFY2(script_->messages.empty(), step.name);
        }
    }
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void StartupTest::saveRightAfterStartWritesTheStartRecord() {
    QVERIFY(start());
    const QString path = dir_->filePath("fresh");
    script_->answer(path);
    app_->frame()->commandAction(CommandId::FileSave)->trigger();
    QCOMPARE(readFile(path),
             QByteArray::fromHex("64 14 05 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00"));
    QCOMPARE(script_->dialogs.at(0).proposed, QStringLiteral("Untitled"));
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void StartupTest::saveAsWritesWhatTheControlsShowAfterEdits() {
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(start(path));
    // The user flips "One Way Communication" off and picks "Preston".
    view().checkButton(ui::ButtonRowOf::OneWayCommunication)->click();
    view().checkButton(ui::ButtonRowOf::Preston)->click();
    settle();
    const QString copy = dir_->filePath("copy");
    script_->answer(copy);
    app_->frame()->commandAction(CommandId::FileSaveAs)->trigger();

    SettingsRecord expected = SampleRecord;
    expected[OneWayCommunication] = 0;
    expected[DigitalConnection] = 3;
    QCOMPARE(readFile(copy), recordBytes(expected));
    QCOMPARE(readFile(path), recordBytes(SampleRecord)); // the opened file is untouched
    QCOMPARE(app_->document().pathName(), copy);
    QCOMPARE(app_->recentFiles().entries(), (QStringList{copy, path}));
    QVERIFY(script_->messages.empty());
}

void StartupTest::newAndOpenStartTheLinkOnlyOnce() {
    QVERIFY(start());
    auto& bridge = dynamic_cast<sim::SimBridge&>(shell_->bridge());
    QVERIFY(bridge.isOpen());
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    const QObjectList childrenBefore = view().widget()->children();

    app_->frame()->commandAction(CommandId::FileNew)->trigger();
    script_->answer(path);
    app_->frame()->commandAction(CommandId::FileOpen)->trigger();
    app_->frame()->commandAction(CommandId::FileNew)->trigger();
    settle();

    // Nothing was built a second time, the link still runs on its one bridge handle, and New
    // left the loaded values in place.
    QCOMPARE(view().widget()->children().size(), childrenBefore.size());
    QVERIFY(view().linkTimerActive());
    QVERIFY(bridge.isOpen());
    QCOMPARE(labelText(ui::LabelRowOf::ConnectionText), QStringLiteral("Connected"));
    QCOMPARE(shown(), SampleRecord);
    QVERIFY(script_->messages.empty() && viewMessages_.empty());
}

void StartupTest::simulatedControllerAnswersGetData() {
    QVERIFY(start());
    auto& bridge = dynamic_cast<sim::SimBridge&>(shell_->bridge());
    bridge.controller().setRecord(SampleRecord);
    qobject_cast<QAbstractButton*>(view().button(ui::ButtonRowOf::GetData))->click();
    // The window's own 5 ms timer drives the exchange.
    QTRY_COMPARE(labelText(ui::LabelRowOf::StatusText), QStringLiteral("Data Received"));
    settle();
    QCOMPARE(app_->document().record(), SampleRecord);
    QCOMPARE(shown(), SampleRecord);

    // And what came from the controller is what Save writes.
    const QString path = dir_->filePath("from-controller");
    script_->answer(path);
    app_->frame()->commandAction(CommandId::FileSave)->trigger();
    QCOMPARE(readFile(path), recordBytes(SampleRecord));
}

void StartupTest::portOptionTalksThroughTheSerialPort() {
    // A pseudo-terminal plays the controller's UART.
    const int controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(controller >= 0);
    const auto closeController = qScopeGuard([controller] { ::close(controller); });
    QVERIFY(::grantpt(controller) == 0 && ::unlockpt(controller) == 0);
    CommandLine options;
    options.port = QString::fromLocal8Bit(::ptsname(controller));
    options.baud = 9600;
    QVERIFY(startWith(options));
    QCOMPARE(labelText(ui::LabelRowOf::ConnectionText), QStringLiteral("Connected"));

    qobject_cast<QAbstractButton*>(view().button(ui::ButtonRowOf::GetData))->click();
    QByteArray wire;
    QTRY_VERIFY([&] {
        char buffer[64];
        const ssize_t got = ::read(controller, buffer, sizeof buffer);
        if (got > 0) {
            wire.append(buffer, got);
        }
        return wire.size() >= 2;
    }());
    QCOMPARE(wire, QByteArray(";G"));
}

int runStartupTests(int argc, char** argv) {
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "StartupTest.moc"
