#include "settings/SettingsFields.h"
#include "settings/ShownText.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

// Counts show as hundredths, 4095 and above as 10.00; hundredths go back to the smallest count
// that shows them again, 10.00 and above as 4095; a count is stored big-endian. The check byte
// (a sum that wraps) is in every Send Data frame of the link fuzz target and kestrun-cli.
TEST(SettingsRecord, RangesConvertBothWaysAndCountsAreBigEndian) {
    const std::pair<uint16_t, uint16_t> shown[] = {{4, 0},      {5, 1},       {1024, 250},
                                                   {4094, 999}, {4096, 1000}, {0xFFFF, 1000}};
    for (auto [counts, hundredths] : shown) {
        EXPECT_EQ(CountsToRange(counts), hundredths) << counts;
    }
    for (uint32_t v = 0; v <= 1001; ++v) {
        const uint16_t n = RangeToCounts(static_cast<uint16_t>(v));
        EXPECT_EQ(n, v < 1000 ? (v * 4096 + 999) / 1000 : 4095) << v;
        EXPECT_EQ(CountsToRange(n), std::min(v, 1000u)) << v;
    }
    EXPECT_EQ(RangeToCounts(65535), 4095);
    SettingsRecord r{};
    writeCount(r, FocusRangeLow, 0x0ABC);
    EXPECT_EQ(r[8] << 8 | r[9], 0x0ABC);
    EXPECT_EQ(readCount(r, FocusRangeLow), 0x0ABC);
}

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
