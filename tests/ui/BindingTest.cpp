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

QStringList fieldTexts(CKestrunView& view) {
    QStringList texts;
    for (std::size_t row = 0; row < 9; ++row) {
        texts << view.field(row)->text();
    }
    return texts;
}

QList<int> sliderPositions(CKestrunView& view) {
    QList<int> positions;
    for (std::size_t row = 0; row < 9; ++row) {
        positions << view.sliderPosition(row);
    }
    return positions;
}

QList<int> checkedRows(CKestrunView& view) {
    QList<int> rows;
    for (std::size_t row : {4, 5, 6, 7, 19, 20, 22, 23, 24, 25}) {
        if (view.checkButton(row)->isChecked()) {
            rows << static_cast<int>(row);
        }
    }
    return rows;
}

void typeInto(CFloatEdit* field, const QString& keys, bool enter) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, keys);
    if (enter) {
        QTest::keyClick(field, Qt::Key_Return);
    }
}

class BindingTest : public QObject {
    Q_OBJECT

private slots:
    void startValuesAndSliderPositions() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        QCOMPARE(fieldTexts(h.view()),
                 QStringList({"100", "20", "2.50", "7.50", "2.50", "5.00", "7.50", "5", "5"}));
        // Positions run from the top, where the value is the field's maximum.
        QCOMPARE(sliderPositions(h.view()), QList<int>({0, 80, 750, 250, 750, 500, 250, 96, 96}));
        QCOMPARE(h.view().slider(2)->minimum(), 0);
        QCOMPARE(h.view().slider(2)->maximum(), 1000);
        QCOMPARE(h.view().slider(7)->minimum(), 1);
        // Saving right after start gives the start record.
        h.view().ControlsToRecord();
        QVERIFY(h.record == StartRecord);
    }

    void slidersWaitForTheQueuedNotice() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge, false);
        h.view().OnInitialUpdate();
        QCOMPARE(h.view().sliderPosition(1), 100); // the commit's notice is still queued
        h.settle();
        QCOMPARE(h.view().sliderPosition(1), 80);
    }

    void typingIntoAFieldMovesItsSlider() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        typeInto(h.view().field(4), "3.3", true);
        h.settle();
        QCOMPARE(h.view().field(4)->text(), QString("3.30"));
        QCOMPARE(h.view().sliderPosition(4), 670);
        QCOMPARE(h.view().sliderValue(4), 330);
        typeInto(h.view().field(0), "300", true); // clamped by the commit
        h.settle();
        QCOMPARE(h.view().field(0)->text(), QString("100"));
        QCOMPARE(h.view().sliderPosition(0), 0);
    }

    void movingASliderShowsItsValueWithoutCommitting() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.view().setStatusText("Data Received");
        h.view().slider(3)->triggerAction(QAbstractSlider::SliderToMaximum); // the top
        QCOMPARE(h.view().field(3)->text(), QString("10.00"));
        QCOMPARE(h.view().sliderPosition(3), 0);
        QCOMPARE(h.statusText(), QString("---"));
        h.view().slider(3)->triggerAction(QAbstractSlider::SliderToMinimum); // the bottom
        QCOMPARE(h.view().field(3)->text(), QString("0.00"));
        QCOMPARE(h.view().field(3)->cursorPosition(), 0);
        // Up moves the thumb towards the top: the value rises.
        h.view().slider(7)->setFocus();
        QTest::keyClick(h.view().slider(7), Qt::Key_Up);
        QCOMPARE(h.view().field(7)->text(), QString("6"));
        // A slider moved and then saved stores the slider's value, though no field committed.
        h.view().slider(1)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        h.view().ControlsToRecord();
        QCOMPARE(h.record[ZoomSmoothing], uint8_t{21});
        QCOMPARE(h.record[PanDeadband], uint8_t{6});
        QCOMPARE(readCount(h.record, FocusRangeHigh), RangeToCounts(0));
    }

    void draggingTheThumbFollowsTheMouse() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        QSlider* slider = h.view().slider(0); // Speed, thumb at the top (100)
        h.view().setStatusText("Data Sent");
        const QPoint top(slider->width() / 2, 8);
        h.press(slider, top);
        h.moveTo(slider, QPoint(top.x(), slider->height() - 4));
        QCOMPARE(h.statusText(), QString("---"));
        h.view().setStatusText("Data Sent");
        h.release(slider, QPoint(top.x(), slider->height() - 4));
        QCOMPARE(h.statusText(), QString("---"));
        QCOMPARE(h.view().field(0)->text(), QString("0"));
    }

    void outOfRangeRecordIsShownAdjustedAndWrittenBackSo() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.record = {200,  20,   0,    5,    7,    2,    9,    3,    0xFF,
                    0xFF, 0x0F, 0xFF, 0x00, 0x00, 0x04, 0x00, 0x08, 0x00};
        h.view().postSettingsNotify(3);                      // a settings file was loaded
        QCOMPARE(h.view().field(0)->text(), QString("100")); // still queued until handled
        h.settle();
        QCOMPARE(fieldTexts(h.view()),
                 QStringList({"100", "20", "10.00", "10.00", "0.00", "2.50", "5.00", "1", "5"}));
        QCOMPARE(sliderPositions(h.view()), QList<int>({0, 80, 0, 0, 1000, 750, 500, 100, 96}));
        // Byte 4 = 7 and byte 6 = 9 check nothing; toggles 2 and 3 show on.
        QCOMPARE(checkedRows(h.view()), QList<int>({19, 20}));
        h.view().ControlsToRecord();
        const SettingsRecord expected = {100,  20,   1,    5,    0,    1,    0,    1,    0x0F,
                                         0xFF, 0x0F, 0xFF, 0x00, 0x00, 0x04, 0x00, 0x08, 0x00};
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(h.record.data()), 18).toHex(' '),
                 QByteArray(reinterpret_cast<const char*>(expected.data()), 18).toHex(' '));
    }

    void recordSetsEveryRadioExplicitly() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        h.record = StartRecord;
        h.record[DigitalConnection] = 2; // Canon
        h.record[CameraTrigger] = 3;     // Level High
        h.view().RecordToControls();
        QCOMPARE(checkedRows(h.view()), QList<int>({6, 24}));
        h.record[DigitalConnection] = 0;
        h.record[CameraTrigger] = 0; // Pulse Low
        h.view().RecordToControls();
        QCOMPARE(checkedRows(h.view()), QList<int>({4, 23}));
        // The groups stay exclusive after being set.
        h.click(h.view().button(5));
        QCOMPARE(checkedRows(h.view()), QList<int>({5, 23}));
    }

    void uncommittedTextIsClampedWhenTheRecordIsFilled() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        typeInto(h.view().field(0), "300", false); // focus still in the field, as with Ctrl+S
        typeInto(h.view().field(7), "150", false);
        h.view().field(2)->setText("-5"); // pasted: not filtered
        h.view().field(3)->setText("99999999999");
        h.view().ControlsToRecord();
        QCOMPARE(h.record[ZoomSpeed], uint8_t{100}); // not 300 modulo 256 (44)
        QCOMPARE(h.record[PanDeadband], uint8_t{100});
        QCOMPARE(readCount(h.record, FocusRangeLow), uint16_t{0});
        QCOMPARE(readCount(h.record, FocusRangeHigh), RangeToCounts(1000));
        QCOMPARE(h.view().field(7)->text(), QString("150")); // the text itself is left alone
    }

    void noticesAreHandledInPostingOrder() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        // Two value notices for slider 0, then a load: the last one queued wins.
        h.view().postSettingsNotify((40u << 16) | (0u << 8) | 0u);
        h.view().postSettingsNotify((70u << 16) | (0u << 8) | 0u);
        h.settle();
        QCOMPARE(h.view().sliderValue(0), 70);
        h.view().postSettingsNotify((10u << 16) | (9u << 8) | 0u); // no slider 9: ignored
        h.view().postSettingsNotify(0xFF);                         // unknown code: ignored
        h.view().setStatusText("Data Sent");
        h.view().postSettingsNotify(1);
        QCOMPARE(h.statusText(), QString("Data Sent"));
        h.settle();
        QCOMPARE(h.statusText(), QString("---"));
        QVERIFY(h.messages.empty());
    }

    void sendDataSendsWhatTheControlsShow() {
        test::ScriptedBridge bridge;
        ViewHarness h(bridge);
        typeInto(h.view().field(1), "33", false);
        h.click(h.view().button(7));  // Preston
        h.click(h.view().button(19)); // One Way Communication
        h.click(h.view().button(13)); // Send Data
        SettingsRecord sent = StartRecord;
        sent[ZoomSmoothing] = 33;
        sent[DigitalConnection] = 3;
        sent[OneWayCommunication] = 1;
        std::vector<uint8_t> frame = {0xA5, 0x5A};
        frame.insert(frame.end(), sent.begin(), sent.end());
        frame.push_back(recordSum(sent));
        QCOMPARE(bridge.wire(), frame);
        QCOMPARE(bridge.writes.size(), std::size_t{21});
        QVERIFY(h.record == sent);
    }
};

} // namespace

QObject* kestrun::uitest::makeBindingTest() {
    return new BindingTest;
}

#include "BindingTest.moc"
