// The window driving the link against the simulated controller: Get Data filling every
// control, the refusals the user sees, an upgrade through the simulated boot loader, and the
// screenshot of a fresh start.
#include "settings/SettingsRecord.h"
#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/UiSuites.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"
#include "ui/ViewStyle.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProgressBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;

namespace {

// A small image in Intel HEX: two data lines of 16 bytes and the end record, CR LF line ends.
const char* const SmallHex = ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
                             ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
                             ":00000001FF\r\n";

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

class WindowLinkTest : public QObject {
    Q_OBJECT

private slots:
    void getDataFillsEveryControl() {
        sim::SimBridge bridge;
        SettingsRecord stored = {55, 70, 12, 99, 1, 1, 2, 1};
        const std::array<uint16_t, 5> hundredths = {0, 1000, 400, 125, 750};
        for (std::size_t i = 0; i < hundredths.size(); ++i) {
            writeCount(stored, FocusRangeLow + 2 * i, RangeToCounts(hundredths[i]));
        }
        bridge.controller().setRecord(stored);
        ViewHarness h(bridge);
        QCOMPARE(h.connectionText(), QString("Connected"));
        h.view().setStatusText("Data Sent");
        h.click(h.view().button(ButtonRowOf::GetData));
        QCOMPARE(h.statusText(), QString("---"));
        QVERIFY(h.ticksUntil([&] { return h.statusText() == "Data Received"; }, 10) > 0);
        QVERIFY(h.record == stored);
        QStringList texts;
        QList<int> values;
        for (std::size_t row = 0; row < 9; ++row) {
            texts << h.view().field(row)->text();
            values << h.view().sliderValue(row);
        }
        QCOMPARE(texts,
                 QStringList({"55", "70", "0.00", "10.00", "4.00", "1.25", "7.50", "12", "99"}));
        QCOMPARE(values, QList<int>({55, 70, 0, 1000, 400, 125, 750, 12, 99}));
        QVERIFY(h.view().checkButton(ButtonRowOf::Fujinon)->isChecked());
        QVERIFY(!h.view().checkButton(ButtonRowOf::Default)->isChecked());
        QVERIFY(h.view().checkButton(ButtonRowOf::LevelLow)->isChecked());
        QVERIFY(!h.view().checkButton(ButtonRowOf::PulseHigh)->isChecked());
        QVERIFY(h.view().checkButton(ButtonRowOf::OneWayCommunication)->isChecked());
        QVERIFY(h.view().checkButton(ButtonRowOf::PressureJoystick)->isChecked());
        QVERIFY(h.messages.empty());
    }

    void hotPlugReachesTheWindowThroughTheDeviceMonitor() {
        sim::SimBridge bridge;
        sim::SimDeviceMonitor monitor(bridge);
        QVERIFY(monitor.fd() >= 0);
        ViewHarness h(bridge, true, &monitor);
        QCOMPARE(h.connectionText(), QString("Connected"));
        auto waitFor = [&](const QString& text) {
            for (int i = 0; i < 100 && h.connectionText() != text; ++i) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            }
            return h.connectionText() == text;
        };
        bridge.remove();
        QVERIFY(waitFor("Disconnected"));
        QVERIFY(!bridge.isOpen());
        bridge.arrive();
        QVERIFY(waitFor("Connected"));
        QVERIFY(bridge.isOpen());
    }

    void commandsWithoutAControllerAreRefused() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge);
        h.view().setStatusText("Data Sent");
        h.click(h.view().button(ButtonRowOf::GetData));
        h.click(h.view().button(ButtonRowOf::Start));
        QCOMPARE(h.messages.size(), std::size_t{2});
        for (const auto& m : h.messages) {
            QCOMPARE(QString::fromStdString(m.text),
                     QString("Please connect the USB cable,\n and provide power to the head "
                             "controller."));
            QCOMPARE(QString::fromStdString(m.caption), QString("Controller is not connected"));
            QVERIFY(m.icon == MessageIcon::Error);
        }
        QCOMPARE(h.statusText(), QString("---"));
        QVERIFY(h.view().link().isIdle());
    }

    void startWithoutAFileAsksForOne() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.click(h.view().button(ButtonRowOf::Start));
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(h.messages[0].text),
                 QString("Please select an upgrade file"));
        QCOMPARE(QString::fromStdString(h.messages[0].caption), QString("Kestrun"));
        QVERIFY(bridge.writes.empty());
    }

    void selectingFiles() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        QTemporaryDir dir;
        const QString good = writeFile(dir, "ctrl.hex", SmallHex);
        const QString bad = writeFile(dir, "notes.txt", "hello\r\n");

        h.nextDialogPath = good;
        h.click(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        QCOMPARE(h.dialogFolders.size(), 1);

        h.nextDialogPath = bad;
        h.click(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(h.messages[0].text),
                 QString("notes.txt is not a valid hex file."));
        QCOMPARE(QString::fromStdString(h.messages[0].caption),
                 QString("Programming File Not Valid"));
        QVERIFY(h.messages[0].icon == MessageIcon::None);
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        // The dialog opens where the accepted file lies.
        QVERIFY(h.dialogFolders.at(1).startsWith(dir.path()));

        h.nextDialogPath.clear(); // cancelled: nothing changes
        h.click(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.view().upgradeFileText()->text(), QString("ctrl.hex"));
        QCOMPARE(h.messages.size(), std::size_t{1});

        h.click(h.view().button(ButtonRowOf::GetData)); // an exchange is pending now
        h.click(h.view().button(ButtonRowOf::SelectFile));
        QCOMPARE(h.dialogFolders.size(), 3); // no dialog while the link is busy
    }

    void upgradeThroughTheBootLoader() {
        sim::SimBridge bridge;
        sim::SimBootLoader bootLoader(bridge.controller());
        bridge.controller().attach(bootLoader);
        ViewHarness h(bridge);
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.click(h.view().button(ButtonRowOf::SelectFile));

        h.click(h.view().button(ButtonRowOf::Start));
        QCOMPARE(h.upgradeStatusText(), QString("Waiting for Controller..."));
        QList<int> bar;
        const int taken = h.ticksUntil(
            [&] {
                bar << h.view().upgradeProgress()->value();
                return !h.messages.empty();
            },
            200);
        QVERIFY(taken > 0);
        QCOMPARE(h.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(h.messages[0].text), QString("Upgrade complete!    "));
        QCOMPARE(QString::fromStdString(h.messages[0].caption), QString("Tavrel"));
        QVERIFY(h.messages[0].icon == MessageIcon::None);
        QVERIFY(bar.contains(255)); // the erase's last progress byte, or the last line
        QCOMPARE(h.view().upgradeProgress()->value(), 0);
        QCOMPARE(h.upgradeStatusText(), QString());
        h.ticks(2); // the two closing ticks
        QVERIFY(h.view().link().isIdle());
        QCOMPARE(bootLoader.programmingsClosed(), 1u);
        for (int i = 0; i < 32; ++i) {
            QCOMPARE(int(bootLoader.flash().at(static_cast<std::size_t>(i))), i);
        }
    }

    void cancelDuringTheUpgradeResetsItsLine() {
        sim::SimBridge bridge;
        bridge.controller().options().silent = true;
        ViewHarness h(bridge);
        QTemporaryDir dir;
        h.nextDialogPath = writeFile(dir, "ctrl.hex", SmallHex);
        h.click(h.view().button(ButtonRowOf::SelectFile));
        h.click(h.view().button(ButtonRowOf::Start));
        h.ticks(5);
        h.view().setStatusText("Data Sent");
        h.click(h.view().button(ButtonRowOf::Cancel));
        QCOMPARE(h.upgradeStatusText(), QString());
        QCOMPARE(h.statusText(), QString("---"));
        QVERIFY(h.view().link().isIdle());
    }

    void screenshotOfAFreshStart() {
        test::ScriptedBridge bridge;
        bridge.devices.clear();
        ViewHarness h(bridge, false);
        QTemporaryDir dir;
        const QString path = dir.filePath("start.png");
        QVERIFY(saveScreenshot(h.view(), path));
        QImage shot(path);
        QCOMPARE(shot.size(), QSize(624, 782));
        auto at = [&](int x, int y) { return QColor(shot.pixel(x, y)); };
        const QColor black(0, 0, 0);
        QCOMPARE(at(5, 5), WindowColor);
        QCOMPARE(at(610, 700), WindowColor);
        for (int top : {130, 604}) {
            QCOMPARE(at(0, top + 2), WindowColor); // the bars start at x 1
            QCOMPARE(at(1, top + 2), black);
            QCOMPARE(at(623, top + 2), black);
            QCOMPARE(at(300, top), black);
            QCOMPARE(at(300, top + 4), black);
            QCOMPARE(at(300, top - 1), WindowColor);
            QCOMPARE(at(300, top + 5), WindowColor);
            for (int y = top + 1; y <= top + 3; ++y) {
                QCOMPARE(at(2, y), BarColor);
                QCOMPARE(at(622, y), BarColor);
            }
        }
        // Pulse High (row 22, y 487): low line at 503, pulse up to 493 between x 552 and 556.
        QCOMPARE(at(532, 503), black);
        QCOMPARE(at(551, 503), black);
        QCOMPARE(at(552, 493), black);
        QCOMPARE(at(556, 498), black);
        QCOMPARE(at(554, 503), WindowColor);
        QCOMPARE(at(576, 503), black);
        QCOMPARE(at(577, 503), WindowColor); // the path's last pixel is left out
        QCOMPARE(at(531, 503), WindowColor);
        // Pulse Low (row 23, y 512): high line at 518, pulse down to 528.
        QCOMPARE(at(540, 518), black);
        QCOMPARE(at(554, 528), black);
        // Level High (row 24, y 537): low at 553 up to 543 at x 554; Level Low the other way.
        QCOMPARE(at(540, 553), black);
        QCOMPARE(at(560, 543), black);
        QCOMPARE(at(540, 568), black);
        QCOMPARE(at(560, 578), black);
        // The numeric fields and the file box paint their own backgrounds.
        const QRect field0 = h.view().field(0)->geometry();
        QCOMPARE(at(field0.left() + 3, field0.top() + 3), ValueColor);
        const QRect fileBox = h.view().upgradeFileText()->geometry();
        QCOMPARE(at(fileBox.left() + 3, fileBox.center().y()), FileTextColor);
        // The sliders stood still for the shot: their start notices were handled first.
        QCOMPARE(h.view().sliderPosition(1), 80);
        // Kept for a person to look at.
        h.view().renderCanvas().save(QDir::temp().filePath("kestrun-fresh-start.png"));
    }
};

} // namespace

QObject* kestrun::uitest::makeWindowLinkTest() {
    return new WindowLinkTest;
}

#include "WindowLinkTest.moc"
