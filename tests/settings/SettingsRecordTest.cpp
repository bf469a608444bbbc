#include "settings/SettingsRecord.h"

#include <gtest/gtest.h>

namespace kestrun {
namespace {

TEST(RangeConversion, CountsToShownHundredths) {
    const std::pair<uint16_t, uint16_t> table[] = {{0, 0},       {4, 0},        {5, 1},
                                                   {1024, 250},  {4094, 999},   {4095, 1000},
                                                   {4096, 1000}, {0xFFFF, 1000}};
    for (auto [counts, hundredths] : table) {
        EXPECT_EQ(CountsToRange(counts), hundredths) << counts;
    }
}

// Hundredths to counts rounds up (250 -> 1024, 999 -> 4092), 10.00 and above are 4095.
TEST(RangeConversion, EveryShownValueSurvivesTheRoundTripAndMatchesTheClosedForm) {
    for (uint32_t v = 0; v <= 1000; ++v) {
        uint16_t n = RangeToCounts(static_cast<uint16_t>(v));
        EXPECT_EQ(CountsToRange(n), v);
        uint32_t closed = v < 1000 ? (v * 4096 + 999) / 1000 : 4095;
        EXPECT_EQ(n, closed) << v;
    }
    EXPECT_EQ(RangeToCounts(1001), 4095);
    EXPECT_EQ(RangeToCounts(65535), 4095);
}

TEST(SettingsRecord, CountsAreBigEndianAndTheSumWraps) {
    SettingsRecord r{};
    writeCount(r, FocusRangeLow, 0x0ABC);
    EXPECT_EQ(r[8], 0x0A);
    EXPECT_EQ(r[9], 0xBC);
    EXPECT_EQ(readCount(r, FocusRangeLow), 0x0ABC);

    SettingsRecord ones;
    ones.fill(0xFF);
    EXPECT_EQ(recordSum(ones), 0xEE);
    EXPECT_EQ(recordSum(SettingsRecord{}), 0x00);
}

} // namespace
} // namespace kestrun
