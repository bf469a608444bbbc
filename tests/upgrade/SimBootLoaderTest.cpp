// The upgrade end to end through the simulated controller's boot loader: a generated image
// reaches the simulated flash byte for byte, at one tick a line when the boot loader answers at
// once.

#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace kestrun::test {
namespace {

std::string record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    return formatHexRecord(type, address, data) + "\r\n";
}

TEST(SimulatedUpgrade, ImageReachesTheFlashAtOneTickALineWhenAnsweredAtOnce) {
    // A 64 KiB pseudo-random image from 0x8000, so it crosses a 64 KiB boundary: 16 data bytes a
    // line, an extended linear address record wherever the upper half changes, the end record.
    constexpr uint32_t Base = 0x8000;
    std::mt19937 generator(0x4B657374);
    std::vector<uint8_t> image(64 * 1024);
    for (uint8_t& b : image) {
        b = static_cast<uint8_t>(generator());
    }
    std::string file;
    std::size_t lines = 1;
    for (uint32_t at = 0, upper = UINT32_MAX; at < image.size(); at += 16, ++lines) {
        if ((Base + at) >> 16 != upper) {
            upper = (Base + at) >> 16;
            file += record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
            ++lines;
        }
        file += record(0, static_cast<uint16_t>(Base + at), {&image[at], &image[at] + 16});
    }
    file += ":00000001FF\r\n";
    ASSERT_EQ(lines, 4096u + 2 + 1);

    Rig<sim::SimBridge> rig;
    sim::SimBootLoader& loader = rig.bridge.controller().bootLoader();
    loader.options().answerDelayTicks = 0;
    loader.options().ignoreWakeUps = 2; // ESC 'P' and the first "033P" go unheard
    rig.choose(file);
    rig.upload.StartUpgrade();
    rig.ticksUntil([&] { return rig.state() == 12; }, 2000);
    const int uploadTicks = rig.ticksUntil([&] { return rig.state() == 14; }, 100000);
    EXPECT_EQ(rig.host.upgradeFinishedNotices, 1);
    rig.runExchange(2);
    EXPECT_EQ(rig.state(), 0);
    EXPECT_TRUE(rig.host.messages.empty());
    EXPECT_EQ(rig.host.upgradeStatusText, "");
    EXPECT_EQ(rig.host.progress, 0);

    const auto& flash = loader.flash();
    ASSERT_GE(flash.size(), Base + image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + Base));
    EXPECT_EQ(flash[Base - 1], 0xFF);
    EXPECT_EQ(loader.linesTaken(), lines - 1); // the end record is answered 0x01
    EXPECT_EQ(loader.wakeUps(), 3u) << "ESC 'P', then \"033P\" until one is answered";
    EXPECT_EQ(loader.programmingsClosed(), 1u);
    std::printf("[ measure  ] %d ticks for %zu lines\n", uploadTicks, lines);
    EXPECT_LE(static_cast<std::size_t>(uploadTicks), lines);
}

} // namespace
} // namespace kestrun::test
