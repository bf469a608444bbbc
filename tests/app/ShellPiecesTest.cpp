// The shell's pieces on their own: the command line, the recent files' menu names and the file
// dialogs' set-up.

#include "AppTestSupport.h"

#include "app/CommandLine.h"
#include "app/RecentFileList.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTest>

namespace kestrun::test {

class ShellPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void recentFileMenuNames_data();
    void recentFileMenuNames();
    void fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot();
};

void ShellPiecesTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected"); // the options read, or "error"
    auto row = [](const char* name, QStringList arguments, const char* expected) {
        QTest::newRow(name) << arguments << QString::fromLatin1(expected);
    };
    row("nothing", {}, "file= sim=0 port= baud=115200 shot=");
    row("file", {"/tmp/a.set"}, "file=/tmp/a.set sim=0 port= baud=115200 shot=");
    row("simulate", {"--simulate", "a"}, "file=a sim=1 port= baud=115200 shot=");
    row("port", {"--port=/dev/pts/4", "--baud", "9600"},
        "file= sim=0 port=/dev/pts/4 baud=9600 shot=");
    row("screenshot", {"--screenshot", "x.png"}, "file= sim=0 port= baud=115200 shot=x.png");
    row("file after --", {"--", "--simulate"}, "file=--simulate sim=0 port= baud=115200 shot=");
    row("two files", {"a", "b"}, "error");
    row("unknown option", {"--simulated"}, "error");
    row("port without device", {"--port"}, "error");
    row("baud without port", {"--baud", "9600"}, "error");
    row("baud not a number", {"--port", "p", "--baud", "fast"}, "error");
    row("baud zero", {"--port", "p", "--baud", "0"}, "error");
    row("simulate and port", {"--simulate", "--port", "p"}, "error");
}

void ShellPiecesTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    const CommandLineResult result = parseCommandLine(QStringList{"kestrun"} + arguments);
    QCOMPARE(result.error.isEmpty(), result.options.has_value());
    QString read = QStringLiteral("error");
    if (const auto& o = result.options) {
        read = QStringLiteral("file=%1 sim=%2 port=%3 baud=%4 shot=%5")
                   .arg(o->settingsFile, QString::number(o->simulate), o->port,
                        QString::number(o->baud), o->screenshot);
    }
    QCOMPARE(read, expected);
}

void ShellPiecesTest::recentFileMenuNames_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("menuText");
    QTest::newRow("fits") << "/home/ann/heads/studio.set"
                          << "&3 /home/ann/heads/studio.set";
    QTest::newRow("thirty exactly") << "/home/ann/heads/studio-two.set"
                                    << "&3 /home/ann/heads/studio-two.set";
    QTest::newRow("leading folders give way") << "/home/ann/projects/broadcast/heads/studio.set"
                                              << "&3 /.../heads/studio.set";
    QTest::newRow("as many folders as fit") << "/home/ann/projects/a/b/c/d/studio.set"
                                            << "&3 /.../a/b/c/d/studio.set";
    QTest::newRow("a long name alone, whole") << "/srv/x/camera-head-settings-for-the-studio.set"
                                              << "&3 camera-head-settings-for-the-studio.set";
    QTest::newRow("ampersand shown, not a mnemonic") << "/a&b.set"
                                                     << "&3 /a&&b.set";
}

void ShellPiecesTest::recentFileMenuNames() {
    QFETCH(QString, path);
    QFETCH(QString, menuText);
    QCOMPARE(RecentFileList::menuText(2, path), menuText);
}

void ShellPiecesTest::fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot() {
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("studio"), QByteArray(18, '\0'));
    writeFile(dir, QStringLiteral("field.set"), QByteArray(18, '\0'));
    for (FileDialogKind kind : {FileDialogKind::Open, FileDialogKind::Save}) {
        const bool save = kind == FileDialogKind::Save;
        QFileDialog dialog;
        dialog.setDirectory(dir.path());
        configureFileDialog(dialog, kind, save ? QStringLiteral("Untitled") : QString());
        QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("All Files (*.*)")});
        QVERIFY(dialog.defaultSuffix().isEmpty()); // a name typed is used as typed
        QCOMPARE(dialog.acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (save) {
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            QCOMPARE(name->text(), QStringLiteral("Untitled"));
        }
        // Both files are listed: "*.*" must not hide the one saved without an extension.
        auto* model = dialog.findChild<QFileSystemModel*>();
        QVERIFY(model != nullptr);
        QTRY_COMPARE(model->rowCount(model->index(dir.path())), 2);
    }
}

int runShellPiecesTests(int argc, char** argv) {
    ShellPiecesTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ShellPiecesTest.moc"
