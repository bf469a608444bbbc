// The whole program working with files and a controller: the real setup window over the
// simulated controller (or a pseudo-terminal with --port). What the controls show is read back
// through the window's own ControlsToRecord, so each check sees exactly what a save would write.

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

    void startShowsInitialValuesOrTheNamedFile();
    void openOfEachFileSizeAsTheControlsShowIt();
    void saveWritesWhatTheControlsShow();
    void simulatedControllerAnswersGetData();
    void portOptionTalksThroughTheSerialPort();

private:
    bool start(CommandLine options);
    bool startSimulated(const QString& settingsFile = QString()) {
        CommandLine options;
        options.simulate = true;
        options.settingsFile = settingsFile;
        return start(options);
    }
    static void settle() {
        for (int pass = 0; pass < 4; ++pass) {
            QCoreApplication::sendPostedEvents();
        }
    }
    /// What the controls hold now; the document's record is left as it was.
    SettingsRecord shown();
    CKestrunView& view() { return *shell_->view(); }
    QString label(std::size_t row) { return view().label(row)->text(); }
    void click(std::size_t row) { qobject_cast<QAbstractButton*>(view().button(row))->click(); }
    void trigger(CommandId id) { app_->frame()->commandAction(id)->trigger(); }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<ShellScript> script_;
    std::unique_ptr<CKestrunApp> app_;
    KestrunViewShell* shell_ = nullptr;
    QStringList viewMessages_;
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
    script_.reset();
}

bool StartupTest::start(CommandLine options) {
    app_ = std::make_unique<CKestrunApp>(
        options, [this, options](SettingsRecord& record, QString& error) {
            auto shell = makeKestrunViewShell(options, record, error);
            shell_ = dynamic_cast<KestrunViewShell*>(shell.get());
            shell_->view()->setMessageHook(
                [this](const std::string& text, const std::string&, MessageIcon) {
                    viewMessages_.append(QString::fromStdString(text));
                });
            return shell;
        });
    const bool started = app_->InitInstance();
    settle();
    return started;
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

void StartupTest::startShowsInitialValuesOrTheNamedFile() {
    QVERIFY(startSimulated());
    QCOMPARE(shown(), StartRecord);
    QVERIFY(view().checkButton(ui::ButtonRowOf::Default)->isChecked());
    QVERIFY(view().checkButton(ui::ButtonRowOf::PulseHigh)->isChecked());
    QCOMPARE(label(ui::LabelRowOf::ConnectionText), QStringLiteral("Connected"));
    QVERIFY(app_->frame()->centralWidget() == &view());

    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    QVERIFY(startSimulated(path));
    QCOMPARE(shown(), SampleRecord);
    QVERIFY(view().checkButton(ui::ButtonRowOf::Canon)->isChecked());
    QVERIFY(view().checkButton(ui::ButtonRowOf::LevelLow)->isChecked());
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
    QVERIFY(script_->messages.empty() && viewMessages_.isEmpty());
}

void StartupTest::openOfEachFileSizeAsTheControlsShowIt() {
    QVERIFY(startSimulated());
    struct Step {
        const char* name;
        QByteArray content;
        SettingsRecord shownAfter;
        const char* message;
    };
    const std::vector<Step> steps = {
        {"18 bytes", recordBytes(SampleRecord), SampleRecord, nullptr},
        {"17 bytes", recordBytes(StartRecord).left(17), SampleRecord, "Unexpected file format."},
        {"0 bytes", QByteArray(), SampleRecord, nullptr},
        {"20 bytes", recordBytes(StartRecord) + "\x07\x07", StartRecord, nullptr},
    };
    for (const Step& step : steps) {
        const SettingsRecord before = app_->document().record();
        script_->messages.clear();
        script_->answer(writeFile(*dir_, QString::fromLatin1(step.name), step.content));
        trigger(CommandId::FileOpen);
        settle();
        QVERIFY2(shown() == step.shownAfter, step.name);
        if (step.message == nullptr) {
            QVERIFY2(script_->messages.empty(), step.name);
        } else {
            QCOMPARE(script_->messages.size(), std::size_t{1});
            QCOMPARE(script_->messages[0].text, QString::fromLatin1(step.message));
            QCOMPARE(app_->document().record(), before); // nothing half-loaded
        }
    }
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void StartupTest::saveWritesWhatTheControlsShow() {
    QVERIFY(startSimulated());
    const QString fresh = dir_->filePath("fresh");
    script_->answer(fresh);
    trigger(CommandId::FileSave);
    QCOMPARE(readFile(fresh),
             QByteArray::fromHex("64 14 05 05 00 00 01 00 04 00 0C 00 04 00 08 00 0C 00"));

    // After edits, Save As writes them and leaves the first file as it was.
    click(ui::ButtonRowOf::OneWayCommunication);
    click(ui::ButtonRowOf::Preston);
    const QString copy = dir_->filePath("copy");
    script_->answer(copy);
    trigger(CommandId::FileSaveAs);
    SettingsRecord expected = StartRecord;
    expected[OneWayCommunication] = 1;
    expected[DigitalConnection] = 3;
    QCOMPARE(readFile(copy), recordBytes(expected));
    QCOMPARE(readFile(fresh), recordBytes(StartRecord));
    QCOMPARE(app_->recentFiles().entries(), (QStringList{copy, fresh}));
    QCOMPARE(app_->frame()->windowTitle(), QStringLiteral("Tavrel"));
}

void StartupTest::simulatedControllerAnswersGetData() {
    QVERIFY(startSimulated());
    dynamic_cast<sim::SimBridge&>(shell_->bridge()).controller().setRecord(SampleRecord);
    click(ui::ButtonRowOf::GetData);
    // The window's own 5 ms timer drives the exchange.
    QTRY_COMPARE(label(ui::LabelRowOf::StatusText), QStringLiteral("Data Received"));
    settle();
    const QString path = dir_->filePath("from-controller");
    script_->answer(path);
    trigger(CommandId::FileSave);
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
    QVERIFY(start(options));
    QCOMPARE(label(ui::LabelRowOf::ConnectionText), QStringLiteral("Connected"));

    click(ui::ButtonRowOf::GetData);
    QByteArray wire;
    QTRY_VERIFY([&] {
        char buffer[64];
        const ssize_t got = ::read(controller, buffer, sizeof buffer);
        wire.append(buffer, got > 0 ? got : 0);
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
