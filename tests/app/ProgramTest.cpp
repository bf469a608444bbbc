// The built `kestrun` run as a process, as a desktop or a script starts it: exit codes, messages
// on standard error (KESTRUN_MESSAGES_TO_STDERR stands in for the boxes nobody could close
// here), and the screenshot mode.

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
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void endsWithoutAWindow_data();
    void endsWithoutAWindow();
    void helpUsageAndScreenshotsNeedNoDisplay();

private:
    struct Run {
        int exitCode = -1;
        QString out;
        QString err;
    };
    /// Runs the program offscreen, or `withoutDisplay`: no platform chosen and no display to
    /// find, as over a remote shell.
    Run run(const QStringList& arguments, bool withoutDisplay = false);

    QString program_;
    std::unique_ptr<QTemporaryDir> dir_;
};

void ProgramTest::initTestCase() {
    program_ = qEnvironmentVariable("KESTRUN_PROGRAM");
    if (program_.isEmpty()) {
        QSKIP("KESTRUN_PROGRAM does not name the built kestrun (run through CTest)");
    }
}

ProgramTest::Run ProgramTest::run(const QStringList& arguments, bool withoutDisplay) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        environment.remove(QString::fromLatin1(name));
    }
    if (!withoutDisplay) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    environment.insert(QString::fromLatin1(AppText::MessagesToStderrVariable), "1");
    // The run's recent files go to the test's own folder, never the user's.
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_->filePath("config"));
    QProcess process;
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

void ProgramTest::endsWithoutAWindow_data() {
    QTest::addColumn<QStringList>("arguments"); // FILE: a 17-byte file, GONE: a missing one
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");
    // --simulate keeps the runs off the machine's real USB devices.
    QTest::newRow("missing file") << QStringList{"--simulate", "GONE"} << 1
                                  << "Kestrun: GONE was not found.";
    QTest::newRow("17-byte file") << QStringList{"--simulate", "FILE"} << 1
                                  << "Kestrun: Unexpected file format.";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << 2 << "Usage: kestrun";
    QTest::newRow("two files") << QStringList{"a", "b"} << 2 << "only one settings file";
    QTest::newRow("baud the port cannot take")
        << QStringList{"--port", "/dev/null", "--baud", "12345"} << 2 << "12345";
}

void ProgramTest::endsWithoutAWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    const QString file = writeFile(*dir_, "short", QByteArray(17, '\0'));
    const QString gone = dir_->filePath("gone");
    arguments.replaceInStrings("FILE", file).replaceInStrings("GONE", gone);
    const Run result = run(arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(result.err.contains(QString(err).replace("GONE", gone)), qPrintable(result.err));
}

void ProgramTest::helpUsageAndScreenshotsNeedNoDisplay() {
    // Help, usage errors and the screenshot work with no display at all, as over a remote
    // shell.
    Run result = run({QStringLiteral("--help")}, true);
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains(QStringLiteral("--screenshot")));
    result = run({QStringLiteral("--frobnicate")}, true);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.err.contains(QStringLiteral("unknown option --frobnicate")));

    const QString fresh = dir_->filePath("fresh.png");
    result = run({QStringLiteral("--simulate"), QStringLiteral("--screenshot=") + fresh}, true);
    QCOMPARE(result.exitCode, 0);
    const QImage image(fresh);
    QCOMPARE(image.size(), QSize(624, 782));
    QCOMPARE(image.pixelColor(2, 2), QColor(230, 220, 190)); // the window's background

    // A settings file named too is loaded before the picture is taken.
    const QString loaded = dir_->filePath("loaded.png");
    const QString path = writeFile(*dir_, "studio", recordBytes(SampleRecord));
    result = run({QStringLiteral("--simulate"), QStringLiteral("--screenshot"), loaded, path});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(QImage(loaded) != image);

    // A picture that cannot be written is a failed run.
    result = run({"--simulate", "--screenshot", dir_->filePath("no/such/folder/x.png")});
    QCOMPARE(result.exitCode, 1);
}

int runProgramTests(int argc, char** argv) {
    ProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ProgramTest.moc"
