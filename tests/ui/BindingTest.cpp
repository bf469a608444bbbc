// Controls and record in step: sliders following fields and fields following sliders, records
// shown (out-of-range ones adjusted) and written back, and the queued settings notices.
#include "settings/SettingsRecord.h"
#include "tests/support/ScriptedBridge.h"
#include "tests/ui/UiSuites.h"
#include "tests/ui/ViewHarness.h"
#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"

#include <QAbstractButton>
#include <QSlider>
#include <QTest>

using namespace kestrun;
using namespace kestrun::ui;
using kestrun::uitest::ViewHarness;

namespace {

QByteArray hex(const SettingsRecord& record) {
    return QByteArray(reinterpret_cast<const char*>(record.data()), 18).toHex(' ');
}

class BindingTest : public QObject {
    Q_OBJECT

private slots:
    void startValuesAndSliderPositions() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge, false);
        h.view().OnInitialUpdate();
        QCOMPARE(h.view().sliderPosition(1), 100); // the commit's notice is still queued
        h.settle();
        QCOMPARE(h.shown(), QString("100 20 2.50 7.50 2.50 5.00 7.50 5 5"
                                    " | 0 80 750 250 750 500 250 96 96 | 4 22"));
        h.view().ControlsToRecord();
        QCOMPARE(hex(h.record), hex(StartRecord));
    }

    void fieldsAndSlidersFollowEachOther() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        CFloatEdit* field4 = h.view().field(4);
        field4->selectAll();
        QTest::keyClicks(field4, "3.3");
        QTest::keyClick(field4, Qt::Key_Return);
        h.settle();
        QCOMPARE(field4->text(), QString("3.30"));
        QCOMPARE(h.view().sliderPosition(4), 670);
        QCOMPARE(h.view().sliderValue(4), 330);

        h.view().setStatusText("Data Received");
        h.view().slider(3)->triggerAction(QAbstractSlider::SliderToMaximum); // dragged to the top
        QCOMPARE(h.view().field(3)->text(), QString("10.00"));
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        h.view().slider(3)->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(h.view().field(3)->text(), QString("0.00"));
        QTest::keyClick(h.view().slider(7), Qt::Key_Up); // the thumb moves up: the value rises
        QCOMPARE(h.view().field(7)->text(), QString("6"));
        // Saved after moving sliders: the sliders' values, though no field was committed.
        h.view().ControlsToRecord();
        QCOMPARE(h.record[PanDeadband], uint8_t{6});
        QCOMPARE(readCount(h.record, FocusRangeHigh), uint16_t{0});
        QCOMPARE(readCount(h.record, ZoomRangeLow), RangeToCounts(330));
    }

    void outOfRangeRecordShowsAdjustedAndIsWrittenBackSo() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.record = {200, 20, 0, 5, 7, 2, 9, 3, 0xFF, 0xFF, 0x0F, 0xFF, 0, 0, 0x04, 0, 0x08, 0};
        h.view().postSettingsNotify(3);                      // a settings file was loaded
        QCOMPARE(h.view().field(0)->text(), QString("100")); // not before the notice is handled
        h.settle();
        QCOMPARE(h.shown(), QString("100 20 10.00 10.00 0.00 2.50 5.00 1 5"
                                    " | 0 80 0 0 1000 750 500 100 96 | 19 20"));
        h.view().ControlsToRecord();
        QCOMPARE(hex(h.record),
                 QByteArray("64 14 01 05 00 01 00 01 0f ff 0f ff 00 00 04 00 08 00"));
        // Codes in range set every button of their group explicitly.
        h.record[DigitalConnection] = 2;
        h.record[CameraTrigger] = 0;
        h.view().RecordToControls();
        QVERIFY(h.shown().endsWith("| 6 19 20 23"));
        h.mouse(h.view().button(ButtonRowOf::Fujinon)); // and the group is exclusive again
        QVERIFY(h.shown().endsWith("| 5 19 20 23"));
    }

    void uncommittedTextIsClampedWhenTheRecordIsFilled() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().field(0)->setText("300"); // typed, focus still in the field (Ctrl+S)
        h.view().field(7)->setText("150");
        h.view().field(2)->setText("-5"); // pasted: not filtered
        h.view().field(3)->setText("99999999999");
        h.view().ControlsToRecord();
        QCOMPARE(h.record[ZoomSpeed], uint8_t{100}); // not 300 modulo 256
        QCOMPARE(h.record[PanDeadband], uint8_t{100});
        QCOMPARE(readCount(h.record, FocusRangeLow), uint16_t{0}); // not 65531 taken as 10.00
        QCOMPARE(readCount(h.record, FocusRangeHigh), RangeToCounts(1000));
    }

    void noticesAreHandledInPostingOrder() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().postSettingsNotify((40u << 16) | 0); // slider 0 to 40, then to 70
        h.view().postSettingsNotify((70u << 16) | 0);
        h.view().postSettingsNotify((10u << 16) | (9u << 8)); // there is no slider 9
        h.view().postSettingsNotify(0xFF);                    // nobody posts code 255
        h.view().setStatusText("Data Sent");
        h.view().postSettingsNotify(1);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("Data Sent"));
        h.settle();
        QCOMPARE(h.view().sliderValue(0), 70);
        QCOMPARE(h.line(LabelRowOf::StatusText), QString("---"));
        QVERIFY(h.messages.empty());
    }

    void sendDataSendsWhatTheControlsShow() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().field(1)->setText("33");
        h.mouse(h.view().button(ButtonRowOf::Preston));
        h.mouse(h.view().button(ButtonRowOf::OneWayCommunication));
        h.mouse(h.view().button(ButtonRowOf::SendData));
        SettingsRecord sent = StartRecord;
        sent[ZoomSmoothing] = 33;
        sent[DigitalConnection] = 3;
        sent[OneWayCommunication] = 1;
        std::vector<uint8_t> frame = {0xA5, 0x5A};
        frame.insert(frame.end(), sent.begin(), sent.end());
        frame.push_back(recordSum(sent));
        QVERIFY(bridge.wire() == frame);
        QCOMPARE(bridge.writes.size(), std::size_t{21});
    }
};

} // namespace

QObject* kestrun::uitest::makeBindingTest() {
    return new BindingTest;
}

#include "BindingTest.moc"
