// The upgrade end to end through the simulated controller's boot loader: a generated image
// reaches the simulated flash byte for byte, at one tick a line when the boot loader answers at
// once; and each way the boot loader can misbehave ends the upgrade as the user should see it.

#include "sim/SimBootLoader.h"
#include "link/SettingsExchange.h"
#include "sim/SimBridge.h"
#include "tests/upgrade/UploadRig.h"

#include "upgrade/IntelHex.h"
#include <cstdio>
#include <functional>
#include <random>

namespace kestrun::test {
namespace {

std::string record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    return formatHexRecord(type, address, data) + "\r\n";
}

// `image` at `base`, 16 data bytes a line, an extended linear address record wherever the upper
// half of the address changes, and the end record.
std::string hexFile(const std::vector<uint8_t>& image, uint32_t base, std::size_t* lines) {
    std::string file;
    *lines = 0;
    uint32_t upper = UINT32_MAX;
    for (std::size_t at = 0; at < image.size(); at += 16) {
        const uint32_t address = base + static_cast<uint32_t>(at);
        if (address >> 16 != upper) {
            upper = address >> 16;
            file += record(4, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)});
            ++*lines;
        }
        const auto from = image.begin() + static_cast<std::ptrdiff_t>(at);
        file += record(0, static_cast<uint16_t>(address), {from, from + 16});
        ++*lines;
    }
    ++*lines;
    return file + ":00000001FF\r\n";
}

std::vector<uint8_t> pseudoRandomImage(std::size_t size) {
    std::mt19937 generator(0x4B657374);
    std::vector<uint8_t> image(size);
    for (uint8_t& b : image) {
        b = static_cast<uint8_t>(generator());
    }
    return image;
}

constexpr uint32_t ImageBase = 0x8000; // so the image crosses a 64 KiB boundary

struct SimRig {
    sim::SimBridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    CodeUpload upload{engine};
    SettingsExchange exchange{engine, host.record};
    ScratchFolder folder;

    SimRig() { engine.ConnectBridge(); }
    sim::SimBootLoader& loader() { return bridge.controller().bootLoader(); }
    int state() const { return static_cast<int>(engine.linkState()); }
    /// Ticks until `done` holds, at most `limit` ticks; answers the ticks taken.
    int runUntil(const std::function<bool()>& done, int limit = 100000) {
        int ticks = 0;
        while (!done() && ticks < limit) {
            engine.LinkTick();
            ++ticks;
        }
        return ticks;
    }
    void choose(const std::string& content) {
        upload.SelectUpgradeFile(folder.write("image.hex", content));
    }
};

TEST(SimulatedUpgrade, ImageReachesTheFlashAtOneTickALineWhenAnsweredAtOnce) {
    const std::vector<uint8_t> image = pseudoRandomImage(64 * 1024);
    std::size_t lines = 0;
    const std::string file = hexFile(image, ImageBase, &lines);
    ASSERT_EQ(lines, 4096u + 2 + 1);

    for (uint32_t delay : {0u, 1u}) {
        SimRig rig;
        rig.loader().options().answerDelayTicks = delay;
        rig.choose(file);
        rig.upload.StartUpgrade();
        rig.runUntil([&] { return rig.state() == 12; });
        const int uploadTicks = rig.runUntil([&] { return rig.state() != 12; });
        EXPECT_EQ(rig.host.upgradeFinishedNotices, 1);
        rig.runUntil([&] { return rig.state() == 0; }, 2);
        EXPECT_EQ(rig.state(), 0);
        EXPECT_TRUE(rig.host.messages.empty());
        EXPECT_EQ(rig.host.upgradeStatusText, "");
        EXPECT_EQ(rig.host.progress, 0);

        const auto& flash = rig.loader().flash();
        ASSERT_GE(flash.size(), ImageBase + image.size());
        EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + ImageBase));
        EXPECT_EQ(flash[ImageBase - 1], 0xFF);
        EXPECT_EQ(rig.loader().linesTaken(), lines - 1);
        EXPECT_EQ(rig.loader().programmingsClosed(), 1u);
        EXPECT_FALSE(rig.loader().awake());
        // The erase progress moved the bar before the upload began.
        const auto& bar = rig.host.progressHistory;
        EXPECT_NE(std::find(bar.begin(), bar.end(), 0xC0), bar.end());

        const double ticksPerLine = static_cast<double>(uploadTicks) / static_cast<double>(lines);
        std::printf("[ measure  ] answer delay %u: %d ticks for %zu lines, %.3f ticks a line\n",
                    delay, uploadTicks, lines, ticksPerLine);
        EXPECT_LE(static_cast<std::size_t>(uploadTicks), lines * (delay + 1));

        // The boot loader has handed the UART back: the settings protocol answers again.
        rig.exchange.GetData();
        rig.runUntil([&] { return rig.state() == 0; });
        EXPECT_EQ(rig.host.statusText, "Data Received");
    }
}

TEST(SimulatedUpgrade, EachBootLoaderFaultEndsAsTheUserShouldSeeIt) {
    const std::string good = record(0, 0x0000, {1, 2, 3, 4}) + record(0, 0x0004, {5, 6, 7, 8}) +
                             record(0, 0x0008, {9, 10, 11, 12}) + ":00000001FF\r\n";
    struct Case {
        const char* what;
        std::function<void(sim::BootLoaderOptions&)> setup;
        std::string file;
        const char* text; // the upgrade's last status; "" for success
    };
    const Case cases[] = {
        {"two wake-ups ignored", [](auto& o) { o.ignoreWakeUps = 2; }, good, ""},
        {"erase stalls at once", [](auto& o) { o.eraseStallsAfter = 0; }, good,
         "No Response from Device"},
        {"erase stalls midway", [](auto& o) { o.eraseStallsAfter = 2; }, good,
         "No Response from Device"},
        {"silent after two lines", [](auto& o) { o.silentAfterLines = 2; }, good,
         "No Response from Device"},
        {"second line refused", [](auto& o) { o.badLine = 2; }, good, "Communications Error"},
        {"bad checksum in the file", [](auto&) {}, ":0400000001020304F3\r\n:00000001FF\r\n",
         "Communications Error"},
        {"data beyond the flash", [](auto& o) { o.flashSize = 4; }, good, "Communications Error"},
    };
    for (const Case& c : cases) {
        SimRig rig;
        c.setup(rig.loader().options());
        rig.choose(c.file);
        rig.upload.StartUpgrade();
        const int ticks = rig.runUntil([&] { return rig.state() == 0; });
        EXPECT_LT(ticks, 100000) << c.what;
        EXPECT_EQ(rig.host.upgradeFinishedNotices, c.text[0] == '\0' ? 1 : 0) << c.what;
        if (c.text[0] != '\0') {
            EXPECT_EQ(rig.host.upgradeStatusText, c.text) << c.what;
        }
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.what;
    }
}

TEST(SimulatedUpgrade, SettingsFramesNeverWakeTheBootLoader) {
    sim::SimBridge bridge;
    SettingsRecord stored = StartRecord;
    stored[0] = 0x1B; // ESC 'P' inside a record
    stored[1] = 'P';
    std::vector<uint8_t> frame = {0xA5, 0x5A};
    frame.insert(frame.end(), stored.begin(), stored.end());
    frame.push_back(recordSum(stored));
    bridge.controller().receive(frame);
    EXPECT_FALSE(bridge.controller().bootLoader().awake());
    EXPECT_EQ(bridge.controller().record(), stored);
}

} // namespace
} // namespace kestrun::test
