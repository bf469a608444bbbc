// A long run of Get Data and Send Data exchanges and full upgrades against the simulated
// controller, with replies split at random, random latency and, now and then, a controller
// fault. Every exchange must end as its kind calls for, and the heap in use at the end must
// equal that after the first hundred exchanges. (Stray bytes at any moment, checked against a
// model of the exchange, are the link fuzz target's.)
//
// KESTRUN_SOAK_EXCHANGES (default 1000) and KESTRUN_SOAK_UPGRADES (default 2) set the length;
// KESTRUN_SOAK_SEED repeats a run (the seed is printed).

#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// The heap in use, as the address sanitizer's allocator counts it (declared here: not every
// compiler ships its header). `make test` and `make soak` both build under it; a build without
// it cannot weigh the heap and prints 0 for it.
#ifdef KESTRUN_HEAP_FROM_SANITIZER
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#define KESTRUN_HEAP_IN_USE() __sanitizer_get_current_allocated_bytes()
#else
#define KESTRUN_HEAP_IN_USE() std::size_t(0)
#endif

namespace kestrun::test {
namespace {

using Count = unsigned long long;

Count fromEnvironment(const char* name, Count fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

// Each kind of exchange with its share in a hundred and the status it must end with; the
// controller's fault for each kind is set in the loop below.
const struct {
    int get; // 1: Get Data, 0: Send Data, -1: either
    uint32_t share;
    const char* status;
} Kinds[] = {{1, 47, ExchangeText::DataReceived},    {0, 47, ExchangeText::DataSent},
             {1, 2, ExchangeText::DataReceiveError}, // corrupted check byte
             {1, 2, LinkText::NoResponse},           // reply cut short
             {0, 1, ExchangeText::TransmitError},    // frame refused
             {-1, 1, LinkText::NoResponse}};         // silent controller

TEST(Soak, ExchangesAndUpgradesEndRightAndTheHeapDoesNotGrow) {
    const Count exchanges = std::max<Count>(fromEnvironment("KESTRUN_SOAK_EXCHANGES", 1000), 101);
    const Count upgrades = fromEnvironment("KESTRUN_SOAK_UPGRADES", 2);
    const Count seed = fromEnvironment("KESTRUN_SOAK_SEED", std::random_device{}());
    std::printf("soak seed %llu: %llu exchanges, %llu upgrades\n", seed, exchanges, upgrades);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937_64 rng(seed);
    const auto below = [&](uint32_t n) {
        return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng);
    };
    const auto randomBytes = [&](auto bytes) {
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(below(256));
        }
        return bytes;
    };
    Rig<sim::SimBridge> rig;
    RecordingHost& host = rig.host;
    sim::SimController& controller = rig.bridge.controller();
    sim::ControllerOptions& o = controller.options();
    // Only what the user sees now is kept; its texts never need more room than this.
    for (std::string* text :
         {&host.statusText, &host.upgradeStatusText, &host.connectionText, &host.upgradeFileText}) {
        text->reserve(64);
    }
    // A burst of line noise on the idle link, as much as one read can bring: the receive buffers
    // on the way reach their largest size now, so nothing later grows them and the heap can be
    // compared byte for byte.
    controller.send(randomBytes(std::array<uint8_t, ReadRequestLength>{}));
    rig.idleTicks(2);

    const auto shapeReplies = [&] {
        o.shaping.maxBytesPerTick = below(22); // 0: the whole reply in one read
        o.shaping.ticksBetweenChunks = below(4);
        o.replyDelayTicks = below(21);
    };
    // Back to a healthy controller; whatever is still on its way arrives on an idle link, and the
    // host forgets its history.
    const auto settle = [&] {
        o.corruptCheckByte = o.silent = o.refuseSends = false;
        o.cutReplyAfter.reset();
        for (int i = 0; i < 200 && controller.outputPending(); ++i) {
            rig.tick();
        }
        rig.tick();
        rig.bridge.clearHostBytes();
        host.events = {};
        host.messages = {};
    };
    const auto upgrade = [&](Count index) {
        SCOPED_TRACE("upgrade before exchange " + std::to_string(index));
        settle();
        controller.bootLoader().options().answerDelayTicks = below(4);
        controller.bootLoader().options().eraseStepTicks = 1 + below(3);
        shapeReplies();
        // Each image goes to a 64 KiB page of its own, named by an extended linear address.
        const HexImage hex = makeHexImage(128, static_cast<uint32_t>(rng()));
        const uint8_t page = static_cast<uint8_t>(1 + below(3));
        const std::array<uint8_t, 2> linear = {0, page};
        const std::string text = formatHexRecord(0x04, 0, linear) + "\r\n" + hex.text;
        rig.upload.SelectUpgradeFile(rig.folder.write("soak.hex", text));
        const int finishedBefore = host.upgradeFinishedNotices;
        rig.upload.StartUpgrade();
        EXPECT_GE(rig.runExchange(20000), 0) << "the upgrade did not end";
        std::vector<uint8_t> expected(controller.bootLoader().flash().size(), 0xFF);
        std::copy(hex.image.begin(), hex.image.end(), expected.begin() + page * 0x10000);
        EXPECT_TRUE(controller.bootLoader().flash() == expected)
            << "the flash is not the image on an erased page " << int(page);
        EXPECT_EQ(host.upgradeFinishedNotices, finishedBefore + 1);
        EXPECT_TRUE(host.upgradeStatusText.empty() && host.progress == 0 && host.messages.empty())
            << "a box, the bar or the upgrade line was left";
        EXPECT_FALSE(rig.upload.upgradeFileOpen());
        settle();
    };
    const auto exchange = [&](Count index) {
        std::size_t kind = 0;
        for (uint32_t roll = below(100); roll >= Kinds[kind].share; ++kind) {
            roll -= Kinds[kind].share;
        }
        const bool get = Kinds[kind].get < 0 ? below(2) == 0 : Kinds[kind].get == 1;
        shapeReplies();
        o.corruptCheckByte = kind == 2;
        if (kind == 3) {
            o.cutReplyAfter = 1 + below(20);
        }
        o.refuseSends = kind == 4;
        o.silent = kind == 5;
        SettingsRecord record = host.record;
        host.statusText = LinkText::StatusIdle; // the click clears the status line first
        if (get) {
            const SettingsRecord held = randomBytes(SettingsRecord{});
            controller.setRecord(held);
            record = kind == 0 ? held : record;
            rig.exchange.GetData();
        } else {
            host.controls = shownFromRecord(randomBytes(SettingsRecord{}));
            record = recordFromShown(host.controls);
            rig.exchange.SendData();
        }
        SCOPED_TRACE("exchange " + std::to_string(index) + (get ? " (Get" : " (Send") + ", kind " +
                     std::to_string(kind) + ")");
        EXPECT_GE(rig.runExchange(3000), 0) << "the link did not return to idle";
        EXPECT_EQ(host.statusText, Kinds[kind].status);
        EXPECT_EQ(host.record, record);
        EXPECT_TRUE(host.messages.empty() && host.progress == 0 && host.upgradeStatusText.empty())
            << "a box, the bar or the upgrade line moved";
        EXPECT_TRUE(kind != 1 || controller.record() == record) << "the send did not arrive";
        settle();
    };

    // The first upgrade comes early, so that what an upgrade keeps for good (the simulated
    // flash) is in place before the heap is first weighed; the others are spread out.
    std::size_t afterHundred = 0;
    Count upgraded = 0;
    for (Count i = 1; i <= exchanges && !HasFailure(); ++i) {
        for (; upgraded < upgrades && 50 + upgraded * (exchanges - 50) / upgrades == i;
             ++upgraded) {
            upgrade(i);
        }
        exchange(i);
        afterHundred = i == 100 ? KESTRUN_HEAP_IN_USE() : afterHundred;
    }
    const std::size_t atEnd = KESTRUN_HEAP_IN_USE();
    std::printf("soak: %llu upgrades; heap after 100 exchanges: %zu bytes, at the end: %zu\n",
                upgraded, afterHundred, atEnd);
    EXPECT_EQ(upgraded, upgrades);
    EXPECT_EQ(atEnd, afterHundred);
}

} // namespace
} // namespace kestrun::test
