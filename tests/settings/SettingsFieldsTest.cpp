#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(ShownRecord, StartValuesMakeTheStartRecord) {
    EXPECT_EQ(recordFromShown(startSettings()), StartRecord);
    ShownSettings shown = shownFromRecord(StartRecord);
    for (const ValueField& f : ValueFields) {
        EXPECT_EQ(shown.values.at(f.index), f.startValue) << f.recordName;
    }
    EXPECT_EQ(shown.digitalConnection, std::optional<uint8_t>(0));
    EXPECT_EQ(shown.cameraTrigger, std::optional<uint8_t>(1));
}

TEST(ShownRecord, OutOfRangeBytesAreShownClampedAndWrittenBackNormalised) {
    SettingsRecord r = StartRecord;
    r[ZoomSpeed] = 200; // above the field's 100
    r[PanDeadband] = 0; // below the field's 1
    r[8] = 0x00;        // FocusRangeLow count 1: shows 0.00
    r[9] = 0x01;
    r[10] = 0xFF; // FocusRangeHigh count 0xFFFF: shows 10.00
    r[11] = 0xFF;
    r[DigitalConnection] = 7;   // no lens button checked
    r[OneWayCommunication] = 2; // any non-zero toggle shows on
    r[CameraTrigger] = 9;       // no trigger button checked

    ShownSettings shown = shownFromRecord(r);
    EXPECT_EQ(shown.values[0], 100);
    EXPECT_EQ(shown.values[7], 1);
    EXPECT_EQ(shown.values[2], 0);
    EXPECT_EQ(shown.values[3], 1000);
    EXPECT_FALSE(shown.digitalConnection.has_value());
    EXPECT_FALSE(shown.cameraTrigger.has_value());
    EXPECT_TRUE(shown.oneWayCommunication);

    SettingsRecord back = recordFromShown(shown);
    EXPECT_EQ(back[ZoomSpeed], 100);
    EXPECT_EQ(back[PanDeadband], 1);
    EXPECT_EQ(readCount(back, FocusRangeLow), 0);
    EXPECT_EQ(readCount(back, FocusRangeHigh), 4095);
    EXPECT_EQ(back[DigitalConnection], 0);
    EXPECT_EQ(back[CameraTrigger], 0);
    EXPECT_EQ(back[OneWayCommunication], 1);
    EXPECT_EQ(back[PressureJoystick], 0);
}

TEST(ShownRecord, WriteBackClampsValuesThatWereNeverCommitted) {
    // 300 typed into "Speed" must not wrap to 44 in the byte.
    ShownSettings shown = startSettings();
    shown.values[0] = 300;
    shown.values[8] = -5;
    shown.values[5] = 70000;
    SettingsRecord back = recordFromShown(shown);
    EXPECT_EQ(back[ZoomSpeed], 100);
    EXPECT_EQ(back[TiltDeadband], 1);
    EXPECT_EQ(readCount(back, ZoomRangeCenter), 4095);
}

TEST(ShownRecord, RadioCodesFollowTheirButtons) {
    for (const RadioOption& o : CameraTriggerOptions) {
        SettingsRecord r = StartRecord;
        r[CameraTrigger] = o.code;
        ShownSettings shown = shownFromRecord(r);
        EXPECT_STREQ(radioCaption(CameraTriggerOptions, shown.cameraTrigger), o.caption);
        EXPECT_EQ(recordFromShown(shown)[CameraTrigger], o.code);
    }
    EXPECT_EQ(radioCaption(DigitalConnectionOptions, std::nullopt), nullptr);
}

TEST(FieldText, WholeNumbersAndHundredths) {
    EXPECT_EQ(formatFieldValue(ValueFields[0], 100), "100");
    EXPECT_EQ(formatFieldValue(ValueFields[2], 250), "2.50");
    EXPECT_EQ(formatFieldValue(ValueFields[2], 1000), "10.00");
    EXPECT_EQ(formatFieldValue(ValueFields[2], 1), "0.01");
}

} // namespace
} // namespace kestrun
