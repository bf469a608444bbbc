// The built `kestrun` run as a process, as a desktop or a script starts it: its exit codes, its
// messages on standard error (KESTRUN_MESSAGES_TO_STDERR stands in for the boxes, which nobody
// could close here), and the screenshot mode.

#include "AppTestSupport.h"

#include "app/AppText.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

namespace kestrun::test {

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void unreadableSettingsFileEndsWithoutAWindow_data();
    void unreadableSettingsFileEndsWithoutAWindow();
    void commandLineMistakesAreUsageErrors_data();
    void commandLineMistakesAreUsageErrors();
    void helpPrintsEveryOption();
    void screenshotOfAFreshStartAndOfALoadedFile();

private:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    Run run(const QStringList& arguments);

    QString program_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void ProgramTest::initTestCase() {
    program_ = qEnvironmentVariable("KESTRUN_PROGRAM");
    if (program_.isEmpty()) {
        QSKIP("KESTRUN_PROGRAM does not name the built kestrun (run through CTest)");
    }
}

void ProgramTest::init() {
    dir_ = std::make_unique<QTemporaryDir>();
}

ProgramTest::Run ProgramTest::run(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QString::fromLatin1(AppText::MessagesToStderrVariable), "1");
    // The run's recent files go to the test's own folder, never the user's.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_->filePath("config"));
    process.setProcessEnvironment(environment);
    process.start(program_, arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void ProgramTest::unreadableSettingsFileEndsWithoutAWindow_data() {
    QTest::addColumn<QByteArray>("content"); // empty: the file does not exist
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "Kestrun: %1 was not found.";
    QTest::newRow("17 bytes") << QByteArray(17, '\0') << "Kestrun: Unexpected file format.";
}

void ProgramTest::unreadableSettingsFileEndsWithoutAWindow() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString path =
        content.isEmpty() ? dir_->filePath("nowhere.set") : writeFile(*dir_, "short.set", content);
    // --simulate keeps the run off the machine's real USB devices.
    const Run result = run({QStringLiteral("--simulate"), path});
    QCOMPARE(result.exitCode, 1);
    const QString expected = message.contains("%1") ? message.arg(path) : message;
    QVERIFY2(result.err.contains(expected), qPrintable(result.err));
    QVERIFY(result.out.isEmpty());
}

void ProgramTest::commandLineMistakesAreUsageErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "unknown option";
    QTest::newRow("two files") << QStringList{"a.set", "b.set"} << "only one settings file";
    QTest::newRow("baud the port cannot take")
        << QStringList{"--port", "/dev/null", "--baud", "12345"} << "12345";
}

void ProgramTest::commandLineMistakesAreUsageErrors() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY2(result.err.contains(complaint), qPrintable(result.err));
    QVERIFY(result.err.contains(QStringLiteral("Usage: kestrun")));
}

void ProgramTest::helpPrintsEveryOption() {
    const Run result = run({QStringLiteral("--help")});
    QCOMPARE(result.exitCode, 0);
    for (const char* option : {"--simulate", "--port", "--baud", "--screenshot", "SETTINGS-FILE"}) {
        QVERIFY2(result.out.contains(QLatin1String(option)), option);
    }
}

void ProgramTest::screenshotOfAFreshStartAndOfALoadedFile() {
    const QString fresh = dir_->filePath("fresh.png");
    Run result = run({QStringLiteral("--simulate"), QStringLiteral("--screenshot"), fresh});
    QCOMPARE(result.exitCode, 0);
    const QImage image(fresh);
    QCOMPARE(image.size(), QSize(624, 782));
    // The window's background colour in the top left corner, clear of every control.
    QCOMPARE(image.pixelColor(2, 2), QColor(230, 220, 190));

    // A settings file named with --screenshot is loaded before the picture is taken, so the
    // two pictures differ.
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    const QString loaded = dir_->filePath("loaded.png");
    result = run({QStringLiteral("--simulate"), QStringLiteral("--screenshot"), loaded, path});
    QCOMPARE(result.exitCode, 0);
    const QImage loadedImage(loaded);
    QCOMPARE(loadedImage.size(), QSize(624, 782));
    QVERIFY(loadedImage != image);

    // A picture that cannot be written is a failed run.
    result = run({QStringLiteral("--simulate"), QStringLiteral("--screenshot"),
                  dir_->filePath("no/such/folder/x.png")});
    QCOMPARE(result.exitCode, 1);
}

int runProgramTests(int argc, char** argv) {
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ProgramTest.moc"
