// The shell's pieces on their own: the command line, the recent-file list and its store, the
// file dialogs' set-up and the About box.

#include "AppTestSupport.h"

#include "app/AppText.h"
#include "app/CAboutDlg.h"
#include "app/CommandLine.h"
#include "app/RecentFileList.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>

namespace kestrun::test {

class ShellPiecesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { clearStore(); }

    void commandLine_data();
    void commandLine();
    void recentListKeepsTheLastEightMostRecentFirst();
    void recentListSurvivesInTheStoreUnderItsNames();
    void recentListMenuTextIsShortenedToThirtyCharacters_data();
    void recentListMenuTextIsShortenedToThirtyCharacters();
    void fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot();
    void aboutBoxShowsProductVersionAndRights();

private:
    static void clearStore() {
        QSettings(QString::fromLatin1(AppText::CompanyKey), QString::fromLatin1(AppText::AppName))
            .clear();
    }
};

void ShellPiecesTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("simulate");
    QTest::addColumn<QString>("port");
    QTest::addColumn<uint>("baud");
    QTest::addColumn<QString>("screenshot");

    const uint usual = DefaultBaudRate;
    QTest::newRow("nothing") << QStringList{} << true << "" << false << "" << usual << "";
    QTest::newRow("a settings file")
        << QStringList{"/tmp/head.set"} << true << "/tmp/head.set" << false << "" << usual << "";
    QTest::newRow("simulate and file")
        << QStringList{"--simulate", "a"} << true << "a" << true << "" << usual << "";
    QTest::newRow("port, usual speed") << QStringList{"--port", "/dev/ttyUSB0"} << true << ""
                                       << false << "/dev/ttyUSB0" << usual << "";
    QTest::newRow("port and baud") << QStringList{"--port=/dev/pts/4", "--baud", "9600"} << true
                                   << "" << false << "/dev/pts/4" << 9600u << "";
    QTest::newRow("screenshot") << QStringList{"--screenshot", "x.png"} << true << "" << false << ""
                                << usual << "x.png";
    QTest::newRow("a file named like an option after --")
        << QStringList{"--", "--simulate"} << true << "--simulate" << false << "" << usual << "";
    QTest::newRow("two files") << QStringList{"a", "b"} << false << "" << false << "" << usual
                               << "";
    QTest::newRow("unknown option")
        << QStringList{"--simulated"} << false << "" << false << "" << usual << "";
    QTest::newRow("port without device")
        << QStringList{"--port"} << false << "" << false << "" << usual << "";
    QTest::newRow("baud without port")
        << QStringList{"--baud", "9600"} << false << "" << false << "" << usual << "";
    QTest::newRow("baud not a number") << QStringList{"--port", "p", "--baud", "fast"} << false
                                       << "" << false << "" << usual << "";
    QTest::newRow("baud zero") << QStringList{"--port", "p", "--baud", "0"} << false << "" << false
                               << "" << usual << "";
    QTest::newRow("simulate and port")
        << QStringList{"--simulate", "--port", "p"} << false << "" << false << "" << usual << "";
    QTest::newRow("screenshot without file")
        << QStringList{"--screenshot"} << false << "" << false << "" << usual << "";
}

void ShellPiecesTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    arguments.prepend(QStringLiteral("kestrun"));
    const CommandLineResult result = parseCommandLine(arguments);
    QCOMPARE(result.options.has_value(), ok);
    QCOMPARE(result.error.isEmpty(), ok);
    if (!ok) {
        return;
    }
    QTEST(result.options->settingsFile, "file");
    QTEST(result.options->simulate, "simulate");
    QTEST(result.options->port, "port");
    QTEST(static_cast<uint>(result.options->baud), "baud");
    QTEST(result.options->screenshot, "screenshot");
}

void ShellPiecesTest::recentListKeepsTheLastEightMostRecentFirst() {
    RecentFileList list;
    for (int i = 1; i <= 9; ++i) {
        list.add(QStringLiteral("/data/heads/head%1.set").arg(i));
    }
    QStringList expected;
    for (int i = 9; i >= 2; --i) {
        expected << QStringLiteral("/data/heads/head%1.set").arg(i);
    }
    QCOMPARE(list.entries(), expected);

    // Opening one again moves it to the front instead of listing it twice.
    list.add(QStringLiteral("/data/heads/head5.set"));
    QCOMPARE(list.entries().size(), 8);
    QCOMPARE(list.entries().front(), QStringLiteral("/data/heads/head5.set"));
    QCOMPARE(list.entries().count(QStringLiteral("/data/heads/head5.set")), 1);

    // A relative name is kept as the absolute path it stands for.
    list.add(QStringLiteral("relative.set"));
    QCOMPARE(list.entries().front(), QDir::current().absoluteFilePath("relative.set"));

    list.remove(0);
    list.remove(99); // out of range: nothing
    list.remove(-1);
    QCOMPARE(list.entries().front(), QStringLiteral("/data/heads/head5.set"));
    QCOMPARE(list.entries().size(), 7);
}

void ShellPiecesTest::recentListSurvivesInTheStoreUnderItsNames() {
    {
        RecentFileList list;
        for (int i = 1; i <= 9; ++i) {
            list.add(QStringLiteral("/h/%1").arg(i));
        }
    }
    QSettings store(QString::fromLatin1(AppText::CompanyKey),
                    QString::fromLatin1(AppText::AppName));
    store.beginGroup(QStringLiteral("Recent File List"));
    QCOMPARE(store.childKeys().size(), 8);
    QCOMPARE(store.value("File1").toString(), QStringLiteral("/h/9"));
    QCOMPARE(store.value("File8").toString(), QStringLiteral("/h/2"));
    QVERIFY(!store.contains("File9"));
    store.endGroup();

    RecentFileList reloaded;
    reloaded.load();
    QCOMPARE(reloaded.entries().size(), 8);
    QCOMPARE(reloaded.entries().front(), QStringLiteral("/h/9"));

    // Shrinking the list drops the keys it no longer uses.
    for (int i = 0; i < 6; ++i) {
        reloaded.remove(0);
    }
    store.sync();
    store.beginGroup(QStringLiteral("Recent File List"));
    QCOMPARE(store.childKeys().size(), 2);
    QCOMPARE(store.value("File2").toString(), QStringLiteral("/h/2"));
    QVERIFY(!store.contains("File3"));
}

void ShellPiecesTest::recentListMenuTextIsShortenedToThirtyCharacters_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("shown");
    QTest::newRow("fits") << "/home/ann/heads/studio.set"
                          << "/home/ann/heads/studio.set";
    QTest::newRow("exactly thirty") << "/home/ann/heads/studio-two.set"
                                    << "/home/ann/heads/studio-two.set";
    QTest::newRow("leading folders give way") << "/home/ann/projects/broadcast/heads/studio.set"
                                              << "/.../heads/studio.set";
    QTest::newRow("keeps as many folders as fit") << "/home/ann/projects/a/b/c/d/studio.set"
                                                  << "/.../a/b/c/d/studio.set";
    QTest::newRow("only the name fits") << "/srv/a-very-long-folder-name/studio-settings.set"
                                        << "/.../studio-settings.set";
    QTest::newRow("a name longer than thirty is shown whole")
        << "/srv/x/camera-head-settings-for-the-studio.set"
        << "camera-head-settings-for-the-studio.set";
}

void ShellPiecesTest::recentListMenuTextIsShortenedToThirtyCharacters() {
    QFETCH(QString, path);
    QFETCH(QString, shown);
    QCOMPARE(RecentFileList::displayName(path), shown);
    QCOMPARE(RecentFileList::menuText(2, path), QStringLiteral("&3 ") + shown);
    // An ampersand in a name is shown, not taken as the entry's mnemonic.
    QCOMPARE(RecentFileList::menuText(0, QStringLiteral("/a&b.set")),
             QStringLiteral("&1 /a&&b.set"));
}

void ShellPiecesTest::fileDialogsOfferOnlyAllFilesAndListNamesWithoutADot() {
    QTemporaryDir dir;
    writeFile(dir, QStringLiteral("studio"), QByteArray(18, '\0'));
    writeFile(dir, QStringLiteral("field.set"), QByteArray(18, '\0'));

    for (FileDialogKind kind : {FileDialogKind::Open, FileDialogKind::Save}) {
        QFileDialog dialog;
        dialog.setDirectory(dir.path());
        configureFileDialog(dialog, kind,
                            kind == FileDialogKind::Save ? QStringLiteral("Untitled") : QString());
        QCOMPARE(dialog.nameFilters(), QStringList{QStringLiteral("All Files (*.*)")});
        QVERIFY(dialog.defaultSuffix().isEmpty());
        QCOMPARE(dialog.acceptMode(),
                 kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        if (kind == FileDialogKind::Save) {
            auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            QCOMPARE(name->text(), QStringLiteral("Untitled"));
        }
        // Both files are listed: "*.*" must not hide the one without an extension.
        auto* model = dialog.findChild<QFileSystemModel*>();
        QVERIFY(model != nullptr);
        const QModelIndex root = model->index(dir.path());
        QTRY_COMPARE(model->rowCount(root), 2);
    }
}

void ShellPiecesTest::aboutBoxShowsProductVersionAndRights() {
    CAboutDlg about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About Kestrun"));
    QVERIFY(about.isModal());
    const auto* product = about.findChild<QLabel*>(QStringLiteral("aboutProduct"));
    const auto* rights = about.findChild<QLabel*>(QStringLiteral("aboutRights"));
    const auto* icon = about.findChild<QLabel*>(QStringLiteral("aboutIcon"));
    QVERIFY(product && rights && icon);
    QCOMPARE(product->text(), QStringLiteral("Kestrun    Version 1.3"));
    QVERIFY(rights->text().contains(QStringLiteral("Copyright")));
    QVERIFY(rights->text().contains(QRegularExpression(QStringLiteral("\\b20\\d\\d\\b"))));
    QVERIFY(!icon->pixmap().isNull()); // the icon is compiled in

    // OK is the one button, the default one, and closes the box.
    const QList<QPushButton*> buttons = about.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.front()->text(), QStringLiteral("OK"));
    QVERIFY(buttons.front()->isDefault());
    about.show();
    QTest::keyClick(&about, Qt::Key_Return);
    QCOMPARE(about.result(), int(QDialog::Accepted));
    QVERIFY(!about.isVisible());
}

int runShellPiecesTests(int argc, char** argv) {
    ShellPiecesTest test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace kestrun::test

#include "ShellPiecesTest.moc"
