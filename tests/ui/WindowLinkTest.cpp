// The window driving the link against the simulated controller: choosing an upgrade file and
// upgrading through the simulated boot loader, hot-plug through the device monitor, and the
// screenshot of a fresh start. (Get Data through the window is the shell's test.)
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"
#include "ui/ViewStyle.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::test::writeFile;
using kestrun::uitest::ViewHarness;

namespace {

// Two data lines of 16 bytes (0x00-0x1F from address 0) and the end record, CR LF line ends.
const char* const SmallHex = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                             ":00000001FF\r\n";

class WindowLinkTest : public QObject {
    Q_OBJECT

private slots:
    // Choosing the file (a rejected file and a cancelled dialog keep the earlier choice), then
    // the upgrade through the simulated boot loader, with no dialog while the link is busy.
    void chooseAndUpgradeThroughTheBootLoader() {
        sim::SimBridge bridge;
        sim::SimBootLoader bootLoader(bridge.controller());
        bridge.controller().attach(bootLoader);
        ViewHarness h(bridge);
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.click(ButtonRowOf::SelectFile);
        h.nextDialogPath = writeFile(dir, "notes.txt", "hello\r\n");
        h.click(ButtonRowOf::SelectFile);
        h.nextDialogPath.clear();
        h.click(ButtonRowOf::SelectFile);
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        QCOMPARE(h.messages,
                 QStringList("notes.txt is not a valid hex file. / Programming File Not Valid"));
        QCOMPARE(h.dialogFolders.size(), 3);
        QVERIFY(h.dialogFolders.at(1).startsWith(dir.path())); // where the accepted file lies
        // One bad checksum: "Start" refuses the file before the controller hears anything.
        writeFile(dir, "ctrl.hex", QByteArray(SmallHex).replace("78\r\n", "79\r\n"));
        h.messages.clear();
        h.click(ButtonRowOf::Start);
        QCOMPARE(h.messages,
                 QStringList("ctrl.hex cannot be programmed: nothing was sent.\nLine 1: "
                             "the checksum is 79 but should be 78. / Programming File "
                             "Not Valid / error"));
        QVERIFY(h.ticksUntil([&] { return bootLoader.wakeUps() > 0; }, 5) < 0);
        QVERIFY(h.view().link().isIdle());
        writeFile(dir, "ctrl.hex", SmallHex);
        h.messages.clear();
        h.click(ButtonRowOf::Start);
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString("Waiting for Controller..."));
        h.click(ButtonRowOf::SelectFile);
        QCOMPARE(h.dialogFolders.size(), 3);
        int topOfBar = 0;
        const auto boxShown = [&] {
            topOfBar = std::max(topOfBar, h.view().upgradeProgress()->value());
            return !h.messages.empty();
        };
        QVERIFY(h.ticksUntil(boxShown, 200) > 0);
        QCOMPARE(h.messages, QStringList("Upgrade complete!     / Tavrel"));
        QCOMPARE(topOfBar, 255);
        QCOMPARE(h.view().upgradeProgress()->value(), 0);
        QCOMPARE(h.line(LabelRowOf::UpgradeStatusText), QString());
        // The tick that brought 0x01 ran state 13's step already; the next one ends state 14.
        QCOMPARE(h.ticksUntil([&] { return h.view().link().isIdle(); }, 2), 1);
        QCOMPARE(bootLoader.programmingsClosed(), 1u);
        for (std::size_t i = 0; i < 32; ++i) { // 0x00-0x1F from address 0
            QCOMPARE(int(bootLoader.flash().at(i)), int(i));
        }
    }

    // Removal and arrival reach the window through the device monitor; unplugged, Get Data
    // is refused with a box.
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
        h.click(ButtonRowOf::GetData); // refused with a box
        QCOMPARE(h.messages, QStringList("Please connect the USB cable,\n and provide power to the "
                                         "head controller. / Controller is not connected / error"));
        QVERIFY(h.view().link().isIdle());
        bridge.arrive();
        QVERIFY(waitFor("Connected"));
        QVERIFY(bridge.isOpen());
    }

    // The canvas of a fresh start, pixel by pixel where a wrong colour or an off-by-one shows.
    void screenshotOfAFreshStart() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge, false);
        QTemporaryDir dir;
        QCOMPARE(saveScreenshot(h.view(), dir.filePath("start.png")), QString());
        const QImage shot(dir.filePath("start.png"));
        QCOMPARE(shot.size(), QSize(624, 782));
        QCOMPARE(h.view().sliderPosition(1), 80); // the start notices were handled first
        const QColor black(0, 0, 0), window = WindowColor, bar = BarColor;
        const QRect field0 = h.view().field(0)->geometry();
        const QRect fileBox = h.view().upgradeFileText()->geometry();
        // clang-format off
        std::vector<std::tuple<int, int, QColor>> expected = {
            {5, 5, window}, {554, 503, window}, // inside a frame: no shading
            {field0.left() + 3, field0.top() + 3, ValueColor},
            {fileBox.left() + 3, fileBox.center().y(), FileTextColor},
            // The glyphs from x 532 to 576: Pulse High's low line (y 503) with its pulse up to
            // 493 at x 552-556, then Pulse Low, Level High and Level Low.
            {531, 503, window}, {532, 503, black}, {551, 503, black}, {552, 493, black},
            {556, 498, black}, {576, 503, black}, {577, 503, window}, {540, 518, black},
            {554, 528, black}, {540, 553, black}, {560, 543, black}, {540, 568, black},
            {560, 578, black}};
        for (int top : {130, 604}) { // a black frame from x 1 to 623 around BarColor
            expected.insert(expected.end(), {
                {0, top + 2, window}, {1, top + 2, black}, {623, top + 2, black},
                {300, top, black}, {300, top + 4, black}, {2, top + 1, bar}, {622, top + 3, bar},
                {300, top + 2, bar}, {300, top - 1, window}, {300, top + 5, window}});
        }
        // clang-format on
        for (const auto& [x, y, colour] : expected) {
            const auto at = [&](const QColor& c) {
                return QStringLiteral("%1,%2 %3").arg(x).arg(y).arg(c.name());
            };
            QCOMPARE(at(shot.pixelColor(x, y)), at(colour));
        }
    }
};

} // namespace

QTEST_MAIN(WindowLinkTest)
#include "WindowLinkTest.moc"
