// A long run of Get Data and Send Data exchanges and full upgrades against the simulated
// controller, with replies split at random, random latency and, now and then, a controller
// fault. Every exchange must end as its kind calls for, and the heap in use at the end must
// equal that after the first hundred exchanges. (Stray bytes at any moment, checked against a
// model of the exchange, are the link fuzz target's.)
//
// KESTRUN_SOAK_EXCHANGES (default 1000) and KESTRUN_SOAK_UPGRADES (default 2) set the length;
// KESTRUN_SOAK_SEED repeats a run (the seed is printed).

#include "tests/stress/StressRig.h"

#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

#if defined(__SANITIZE_ADDRESS__) // gcc
#define KESTRUN_HEAP_FROM_SANITIZER 1
#elif defined(__has_feature) // clang
#if __has_feature(address_sanitizer)
#define KESTRUN_HEAP_FROM_SANITIZER 1
#endif
#endif

// The heap in use, in bytes, as the address sanitizer's allocator counts it (declared here: not
// every compiler ships its header). `make test` and `make soak` both build under it; a build
// without it cannot weigh the heap and says so.
#if KESTRUN_HEAP_FROM_SANITIZER
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
constexpr bool HeapWeighed = true;
std::size_t heapInUse() {
    return __sanitizer_get_current_allocated_bytes();
}
#else
constexpr bool HeapWeighed = false;
std::size_t heapInUse() {
    return 0;
}
#endif

namespace kestrun::stress {
namespace {

using Count = unsigned long long;

Count fromEnvironment(const char* name, Count fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

class Soak {
public:
    explicit Soak(uint64_t seed) : rng_(seed) {
        // Only what the user sees now is kept; its texts never need more room than this.
        for (std::string* text : {&rig.host.statusText, &rig.host.upgradeStatusText,
                                  &rig.host.connectionText, &rig.host.upgradeFileText}) {
            text->reserve(64);
        }
        // A burst of line noise on the idle link, as much as one read can bring: the receive
        // buffers on the way reach their largest size now, so nothing later grows them and the
        // heap can be compared byte for byte.
        std::array<uint8_t, ReadRequestLength> burst{};
        for (uint8_t& b : burst) {
            b = static_cast<uint8_t>(below(256));
        }
        controller().send(burst);
        rig.idleTicks(2);
    }

    bool exchange(Count index);
    bool upgrade(Count index);

    StressRig rig;

private:
    sim::SimController& controller() { return rig.bridge.controller(); }
    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
    SettingsRecord randomRecord() {
        SettingsRecord r{};
        for (uint8_t& b : r) {
            b = static_cast<uint8_t>(below(256));
        }
        return r;
    }
    void shapeReplies() {
        sim::ControllerOptions& o = controller().options();
        o.shaping.maxBytesPerTick = below(22); // 0: the whole reply in one read
        o.shaping.ticksBetweenChunks = below(4);
        o.replyDelayTicks = below(21);
    }
    void settle();

    std::mt19937_64 rng_;
};

// Back to a healthy controller; whatever is still on its way arrives on an idle link, and the
// host forgets its history.
void Soak::settle() {
    sim::ControllerOptions& o = controller().options();
    o.corruptCheckByte = o.silent = o.refuseSends = false;
    o.cutReplyAfter.reset();
    for (int i = 0; i < 200 && controller().outputPending(); ++i) {
        rig.tick();
    }
    rig.tick();
    rig.bridge.clearHostBytes();
    rig.host.events = {};
    rig.host.progressHistory = {};
    rig.host.messages = {};
}

bool Soak::exchange(Count index) {
    // Each kind with its share in a hundred and the status it must end with.
    const struct {
        bool get;
        uint32_t share;
        const char* status;
    } kinds[] = {{true, 47, ExchangeText::DataReceived},    {false, 47, ExchangeText::DataSent},
                 {true, 2, ExchangeText::DataReceiveError}, // corrupted check byte
                 {true, 2, LinkText::NoResponse},           // reply cut short
                 {false, 1, ExchangeText::TransmitError},   // frame refused
                 {below(2) == 0, 1, LinkText::NoResponse}}; // silent controller
    std::size_t kind = 0;
    for (uint32_t roll = below(100); roll >= kinds[kind].share; ++kind) {
        roll -= kinds[kind].share;
    }
    const bool get = kinds[kind].get;
    shapeReplies();
    sim::ControllerOptions& o = controller().options();
    o.corruptCheckByte = kind == 2;
    if (kind == 3) {
        o.cutReplyAfter = 1 + below(20);
    }
    o.refuseSends = kind == 4;
    o.silent = kind == 5;

    RecordingHost& host = rig.host;
    SettingsRecord record = host.record;
    host.statusText = LinkText::StatusIdle; // the click clears the status line first
    if (get) {
        const SettingsRecord held = randomRecord();
        controller().setRecord(held);
        record = kind == 0 ? held : record;
        rig.exchange.GetData();
    } else {
        host.controls = shownFromRecord(randomRecord());
        record = recordFromShown(host.controls);
        rig.exchange.SendData();
    }
    const bool ended = rig.runExchange(3000) < 3000;

    bool ok = true;
    auto check = [&](bool holds, const char* what) {
        if (!holds) {
            ADD_FAILURE() << "exchange " << index << " (" << (get ? "Get" : "Send") << ", kind "
                          << kind << "): " << what << "; status \"" << host.statusText << "\"";
            ok = false;
        }
    };
    check(ended, "the link did not return to idle");
    check(host.statusText == kinds[kind].status, "wrong status text");
    check(host.record == record, "wrong document record");
    check(host.messages.empty() && host.progress == 0 && host.upgradeStatusText.empty(),
          "a box, the bar or the upgrade line moved");
    check(kind != 1 || controller().record() == record, "a send did not reach the controller");
    settle();
    return ok;
}

bool Soak::upgrade(Count index) {
    settle();
    sim::BootLoaderOptions& b = controller().bootLoader().options();
    b.answerDelayTicks = below(4);
    b.eraseStepTicks = 1 + below(3);
    shapeReplies();
    const HexImage hex = makeHexImage(128, static_cast<uint32_t>(rng_()));
    rig.upload.SelectUpgradeFile(rig.folder.write("soak.hex", hex.text));
    const int finishedBefore = rig.host.upgradeFinishedNotices;
    rig.upload.StartUpgrade();
    const bool ended = rig.runExchange(20000) < 20000;
    const std::vector<uint8_t>& flash = controller().bootLoader().flash();
    const bool programmed = flash.size() >= hex.image.size() &&
                            std::equal(hex.image.begin(), hex.image.end(), flash.begin());
    const RecordingHost& host = rig.host;
    const bool ok = ended && programmed && host.upgradeFinishedNotices == finishedBefore + 1 &&
                    host.upgradeStatusText.empty() && host.progress == 0 &&
                    !rig.upload.upgradeFileOpen() && host.messages.empty();
    if (!ok) {
        ADD_FAILURE() << "upgrade before exchange " << index << ": ended " << ended << ", flash "
                      << programmed << ", status \"" << host.upgradeStatusText << "\", bar "
                      << host.progress << ", file open " << rig.upload.upgradeFileOpen();
    }
    settle();
    return ok;
}

TEST(Soak, ExchangesAndUpgradesEndRightAndTheHeapDoesNotGrow) {
    const Count exchanges = std::max<Count>(fromEnvironment("KESTRUN_SOAK_EXCHANGES", 1000), 101);
    const Count upgrades = fromEnvironment("KESTRUN_SOAK_UPGRADES", 2);
    const Count seed = fromEnvironment("KESTRUN_SOAK_SEED", std::random_device{}());
    std::printf("soak seed %llu: %llu exchanges, %llu upgrades\n", seed, exchanges, upgrades);
    // The first upgrade comes early, so that what an upgrade keeps for good (the simulated
    // flash) is in place before the heap is first measured; the others are spread out.
    Soak soak(seed);
    std::size_t afterHundred = 0;
    int failures = 0;
    Count upgraded = 0;
    for (Count i = 1; i <= exchanges && failures < 5; ++i) {
        for (; upgraded < upgrades && 50 + upgraded * (exchanges - 50) / upgrades == i;
             ++upgraded) {
            failures += soak.upgrade(i) ? 0 : 1;
        }
        failures += soak.exchange(i) ? 0 : 1;
        if (i == 100) {
            afterHundred = heapInUse();
        }
    }
    const std::size_t atEnd = heapInUse();
    std::printf("soak: %llu upgrades; heap after 100 exchanges: %zu bytes, at the end: %zu\n",
                upgraded, afterHundred, atEnd);
    EXPECT_EQ(failures, 0) << "seed " << seed;
    EXPECT_EQ(upgraded, upgrades);
    if (HeapWeighed) {
        EXPECT_EQ(atEnd, afterHundred) << "seed " << seed;
    } else {
        std::printf("soak: the heap is not weighed without the address sanitizer\n");
    }
}

} // namespace
} // namespace kestrun::stress
