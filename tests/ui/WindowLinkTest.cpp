// The window driving the link against the simulated controller: Get Data filling every
// control, refusals, choosing an upgrade file, an upgrade through the simulated boot loader,
// hot-plug through the device monitor, and the screenshot of a fresh start.
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/UiSuites.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"
#include "ui/ViewStyle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;

namespace {

// Two data lines of 16 bytes (0x00-0x1F from address 0) and the end record, CR LF line ends.
const char* const SmallHex = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                             ":00000001FF\r\n";

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return file.fileName();
}

QString messageText(const uitest::CapturedMessage& m) {
    return QString::fromStdString(m.text + " / " + m.caption) +
           (m.icon == MessageIcon::Error  ? " / error"
            : m.icon == MessageIcon::None ? ""
                                          : " / !");
}

class WindowLinkTest : public QObject {
    Q_OBJECT

private slots:
    void getDataFillsEveryControl() {
        sim::SimBridge bridge;
        SettingsRecord stored = {55, 70, 12, 99, 1, 1, 2, 1};
        const uint16_t hundredths[] = {0, 1000, 400, 125, 750};
        for (std::size_t i = 0; i < 5; ++i) {
            writeCount(stored, FocusRangeLow + 2 * i, RangeToCounts(hundredths[i]));
        }
        bridge.controller().setRecord(stored);
        ViewHarness h(bridge);
        QCOMPARE(h.line(LabelRowOf::ConnectionText), QString("Connected"));
        h.view().setStatusText("Data Sent");
        h.mouse(h.view().button(ButtonRowOf::GetData));
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        QVERIFY(h.ticksUntil([&] { return h.line(LabelRowOf::StatusText) == "Data Received"; },
                             10) > 0);
        QVERIFY(h.record == stored);
        QCOMPARE(h.shown(), QString("55 70 0.00 10.00 4.00 1.25 7.50 12 99"
                                    " | 45 30 1000 0 600 875 250 89 2 | 5 19 20 25"));
        QVERIFY(h.messages.empty());
    }

    void refusalsReachTheUser() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge);
        h.view().setStatusText("Data Sent");
        h.mouse(h.view().button(ButtonRowOf::GetData));
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(messageText(h.messages[0]),
                 QString("Please connect the USB cable,\n and provide power to the head "
                         "controller. / Controller is not connected / error"));
        QVERIFY(h.view().link().isIdle());
    }

    void choosingTheUpgradeFile() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.mouse(h.view().button(ButtonRowOf::SelectFile));
        h.nextDialogPath = writeFile(dir, "notes.txt", "hello\r\n");
        h.mouse(h.view().button(ButtonRowOf::SelectFile));
        h.nextDialogPath.clear(); // cancelled
        h.mouse(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(messageText(h.messages[0]),
                 QString("notes.txt is not a valid hex file. / Programming File Not Valid"));
        QCOMPARE(h.dialogFolders.size(), 3);
        QVERIFY(h.dialogFolders.at(1).startsWith(dir.path())); // where the accepted file lies
        h.mouse(h.view().button(ButtonRowOf::GetData));        // an exchange is pending now
        h.mouse(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.dialogFolders.size(), 3); // no dialog while the link is busy
    }

    void upgradeThroughTheBootLoader() {
        sim::SimBridge bridge;
        sim::SimBootLoader bootLoader(bridge.controller());
        bridge.controller().attach(bootLoader);
        ViewHarness h(bridge);
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.mouse(h.view().button(ButtonRowOf::SelectFile));
        h.mouse(h.view().button(ButtonRowOf::Start));
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString("Waiting for Controller..."));
        int topOfBar = 0;
        QVERIFY(h.ticksUntil(
                    [&] {
                        topOfBar = std::max(topOfBar, h.view().upgradeProgress()->value());
                        return !h.messages.empty();
                    },
                    200) > 0);
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(messageText(h.messages[0]), QString("Upgrade complete!     / Tavrel"));
        QCOMPARE(topOfBar, 255);
        QCOMPARE(h.view().upgradeProgress()->value(), 0);
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString());
        // The tick that brought 0x01 ran state 13's step already; the next one ends state 14.
        QCOMPARE(h.ticksUntil([&] { return h.view().link().isIdle(); }, 2), 1);
        QCOMPARE(bootLoader.programmingsClosed(), 1u);
        for (std::size_t i = 0; i < 32; ++i) {
            QCOMPARE(int(bootLoader.flash().at(i)), int(i));
        }
    }

    void hotPlugThroughTheDeviceMonitor() {
        sim::SimBridge bridge;
        sim::SimDeviceMonitor monitor(bridge);
        ViewHarness h(bridge, true, &monitor);
        auto waitFor = [&](const QString& text) {
            for (int i = 0; i < 100 && h.line(LabelRowOf::ConnectionText) != text; ++i) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            return h.line(LabelRowOf::ConnectionText) == text;
        };
        QVERIFY(waitFor("Connected"));
        bridge.remove();
        QVERIFY(waitFor("Disconnected"));
        bridge.arrive();
        QVERIFY(waitFor("Connected"));
        QVERIFY(bridge.isOpen());
    }

    void screenshotOfAFreshStart() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge, false);
        QTemporaryDir dir;
        QVERIFY(saveScreenshot(h.view(), dir.filePath("start.png")));
        const QImage shot(dir.filePath("start.png"));
        QCOMPARE(shot.size(), QSize(624, 782));
        auto at = [&](int x, int y) { return QColor(shot.pixel(x, y)); };
        const QColor black(0, 0, 0);
        QCOMPARE(at(5, 5), WindowColor);
        QCOMPARE(at(554, 503), WindowColor); // inside a frame: no shading
        for (int top : {130, 604}) {
            QCOMPARE(at(0, top + 2), WindowColor); // the bars run from x 1 to 623
            for (QPoint p : {QPoint(1, top + 2), QPoint(623, top + 2), QPoint(300, top),
                             QPoint(300, top + 4)}) {
                QCOMPARE(at(p.x(), p.y()), black);
            }
            for (int y = top + 1; y <= top + 3; ++y) {
                QCOMPARE(at(2, y), BarColor);
                QCOMPARE(at(622, y), BarColor);
            }
            QCOMPARE(at(300, top - 1), WindowColor);
            QCOMPARE(at(300, top + 5), WindowColor);
        }
        // The glyphs: Pulse High's low line (y 503) with its pulse up to 493 at x 552-556, the
        // path's last pixel (577) left out; then Pulse Low, Level High, Level Low.
        for (QPoint p : {QPoint(532, 503), QPoint(551, 503), QPoint(552, 493), QPoint(556, 498),
                         QPoint(576, 503), QPoint(540, 518), QPoint(554, 528), QPoint(540, 553),
                         QPoint(560, 543), QPoint(540, 568), QPoint(560, 578)}) {
            QCOMPARE(at(p.x(), p.y()), black);
        }
        QCOMPARE(at(577, 503), WindowColor);
        QCOMPARE(at(531, 503), WindowColor);
        const QRect field0 = h.view().field(0)->geometry();
        QCOMPARE(at(field0.left() + 3, field0.top() + 3), ValueColor);
        const QRect fileBox = h.view().upgradeFileText()->geometry();
        QCOMPARE(at(fileBox.left() + 3, fileBox.center().y()), FileTextColor);
        QCOMPARE(h.view().sliderPosition(1), 80); // the start notices were handled first
        h.view().renderCanvas().save(QDir::temp().filePath("kestrun-fresh-start.png"));
    }
};

} // namespace

QObject* kestrun::uitest::makeWindowLinkTest() {
    return new WindowLinkTest;
}

#include "WindowLinkTest.moc"
