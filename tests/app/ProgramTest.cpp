// The command line as read, and the built `kestrun` run as a process, as a desktop or a script
// starts it: exit codes, messages on standard error (KESTRUN_MESSAGES_TO_STDERR stands in for the
// boxes nobody could close here), and the screenshot mode.

#include "AppTestSupport.h"

#include "app/CommandLine.h"

#include <QImage>
#include <QProcess>
#include <QTest>

#include <cstdio>

namespace kestrun::test {

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void init() { dir_ = std::make_unique<QTemporaryDir>(); }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected"); // the options read, or "error"
        auto row = [](const char* name, QStringList arguments, const char* expected) {
            QTest::newRow(name) << arguments << QString(expected);
        };
        row("nothing", {}, "file= sim=0 port= baud=115200 shot=");
        row("simulate", {"--simulate", "a"}, "file=a sim=1 port= baud=115200 shot=");
        row("port", {"--port=/dev/pts/4", "--baud", "9600"},
            "file= sim=0 port=/dev/pts/4 baud=9600 shot=");
        row("file after --", {"--", "--simulate"}, "file=--simulate sim=0 port= baud=115200 shot=");
        row("two files", {"a", "b"}, "error");
        row("unknown option", {"--simulated"}, "error");
        row("port without device", {"--port"}, "error");
        row("baud for the USB bridge", {"--baud", "9600"}, "file= sim=0 port= baud=9600 shot=");
        row("baud with simulate", {"--simulate", "--baud", "9600"}, "error");
        row("baud not a number", {"--port", "p", "--baud", "fast"}, "error");
        row("baud zero", {"--port", "p", "--baud", "0"}, "error");
        row("simulate and port", {"--simulate", "--port", "p"}, "error");
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        const CommandLineResult result = parseCommandLine(QStringList{"kestrun"} + arguments);
        QCOMPARE(result.error.isEmpty(), result.options.has_value());
        QString read = QStringLiteral("error");
        if (const auto& o = result.options) {
            read = QString("file=%1 sim=%2 port=%3 baud=%4 shot=%5")
                       .arg(o->settingsFile, QString::number(o->simulate), o->port,
                            QString::number(o->baud), o->screenshot);
        }
        QCOMPARE(read, expected);
    }

    void endsWithoutAWindow_data() {
        // FILE: a 17-byte file, GONE: a missing one. The text is looked for on standard output when
        // the run succeeds, on standard error when it fails.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("withoutDisplay");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("text");
        QTest::newRow("help") << QStringList{"--help"} << true << 0 << "--screenshot";
        QTest::newRow("version") << QStringList{"--simulate", "--version"} << true << 0
                                 << "kestrun " KESTRUN_VERSION "\nCopyright (C) 2026";
        QTest::newRow("usage") << QStringList{"--frobnicate"} << true << 2
                               << "unknown option --frobnicate";
        // --simulate keeps the runs off the machine's real USB devices.
        QTest::newRow("missing file")
            << QStringList{"--simulate", "GONE"} << false << 1 << "Kestrun: GONE was not found.";
        QTest::newRow("17-byte file") << QStringList{"--simulate", "FILE"} << false << 1
                                      << "Kestrun: Unexpected file format.";
        QTest::newRow("baud the port cannot take")
            << QStringList{"--port", "/dev/null", "--baud", "12345"} << false << 2 << "12345";
        QTest::newRow("picture not writable")
            << QStringList{"--simulate", "--screenshot", "GONE/x.png"} << false << 1
            << "kestrun: cannot write the screenshot GONE/x.png: No such file or directory";
    }

    void endsWithoutAWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, withoutDisplay);
        QFETCH(int, exitCode);
        QFETCH(QString, text);
        const QString gone = dir_->filePath("gone");
        arguments.replaceInStrings("FILE", writeFile(*dir_, "short", QByteArray(17, '\0')))
            .replaceInStrings("GONE", gone);
        const Run result = run(arguments, withoutDisplay);
        QCOMPARE(result.exitCode, exitCode);
        const QString& stream = exitCode == 0 ? result.out : result.err;
        QVERIFY2(stream.contains(text.replace("GONE", gone)), qPrintable(stream));
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

    std::unique_ptr<QTemporaryDir> dir_;
};

} // namespace kestrun::test

QTEST_MAIN(kestrun::test::ProgramTest)
#include "ProgramTest.moc"
