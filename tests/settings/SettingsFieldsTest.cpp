#include "settings/SettingsFields.h"
#include "settings/ShownText.h"

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

// A shown text is taken exactly or refused, never clamped or rounded; what the window shows of
// the value reads back as the same text.
TEST(ShownText, TakesWhatTheWindowShowsAndNothingElse) {
    struct Case {
        const char* name;
        const char* text;
        const char* shown; ///< nullptr: refused
    };
    // clang-format off
    const std::initializer_list<Case> cases = {
        {"ZoomSpeed", "0", "0"}, {"zoomspeed", "100", "100"}, {"ZoomSpeed", "101", nullptr},
        {"ZoomSpeed", "-1", nullptr}, {"ZoomSpeed", "+5", nullptr}, {"ZoomSpeed", " 5", nullptr},
        {"ZoomSpeed", "5x", nullptr}, {"ZoomSpeed", "", nullptr}, {"PanDeadband", "0", nullptr},
        {"FocusRangeLow", "2.5", "2.50"}, {"FocusRangeLow", ".07", "0.07"}, {"FocusRangeLow", "10", "10.00"},
        {"FocusRangeLow", "10.01", nullptr}, {"FocusRangeLow", "2.567", nullptr}, {"FocusRangeLow", "1e1", nullptr},
        {"FocusRangeLow", ".", nullptr}, {"CAMERATRIGGER", "level low", "Level Low"}, {"DigitalConnection", "None", nullptr},
        {"PressureJoystick", "ON", "on"}, {"PressureJoystick", "1", nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "=" + c.text);
        const Setting* setting = findSetting(c.name);
        ASSERT_NE(setting, nullptr);
        ShownSettings shown = startSettings();
        const std::string before = shownText(*setting, shown);
        EXPECT_EQ(readShownText(*setting, c.text, shown), c.shown != nullptr);
        EXPECT_EQ(shownText(*setting, shown), c.shown != nullptr ? c.shown : before);
    }
    EXPECT_EQ(findSetting("Speed"), nullptr);
}

} // namespace
} // namespace kestrun
