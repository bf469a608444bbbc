#include "settings/SettingsFields.h"
#include "settings/ShownText.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

// Elsewhere: the start values making the start record (the window's first test, a fresh window
// shown and written back); a record with bytes out of range shown clamped and written back
// normalised (the window's test and kestrun-cli's, and the settings file fuzz target's limits);
// which radio code each caption stands for (kestrun-cli's shown captions and the frames it sends).
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
