// A long run of Get Data and Send Data exchanges and full upgrades against the simulated
// controller, with replies split at random, random latency and stray noise bytes on the line
// between exchanges (about 1 % of the controller's traffic). Every exchange must end with what
// its bytes call for, and the heap in use at the end must equal that after the first hundred
// exchanges.
//
// KESTRUN_SOAK_EXCHANGES (default 1000) and KESTRUN_SOAK_UPGRADES (default 2) set the length;
// KESTRUN_SOAK_SEED repeats a run (the seed is printed).

#include "tests/stress/LiveAllocations.h"
#include "tests/stress/StressRig.h"

#include "settings/SettingsFields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace kestrun::stress {
namespace {

uint64_t fromEnvironment(const char* name, uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return *end == '\0' ? value : fallback;
}

// A host that keeps only what the user sees now: nothing in it grows with the run.
class SoakHost : public LinkHost {
public:
    SoakHost() {
        status.reserve(64);
        upgradeStatus.reserve(64);
        connection.reserve(64);
        fileName.reserve(64);
    }
    void setStatusText(const std::string& text) override { status = text; }
    void setUpgradeStatusText(const std::string& text) override { upgradeStatus = text; }
    void setConnectionText(const std::string& text) override { connection = text; }
    void setUpgradeProgress(int position) override { progress = position; }
    void setUpgradeFileText(const std::string& text) override { fileName = text; }
    void showMessage(const std::string&, const std::string&, MessageIcon) override { ++boxes; }
    void recordToControls() override { controls = shownFromRecord(record); }
    void controlsToRecord() override { record = recordFromShown(controls); }
    void postUpgradeFinished() override { ++finished; }

    SettingsRecord record = StartRecord;
    ShownSettings controls = startSettings();
    std::string status, upgradeStatus, connection, fileName;
    int progress = 0;
    int boxes = 0;
    int finished = 0;
};

// What the link must make of the bytes it received while an exchange was pending, worked out
// from the bytes alone.
struct Expected {
    const char* text = LinkText::NoResponse;
    std::optional<SettingsRecord> received;
};

Expected expectGetReply(std::span<const uint8_t> bytes) {
    enum { Header1, Header2, Record } phase = Header1;
    SettingsRecord record{};
    std::size_t have = 0;
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        if (phase == Header1) {
            phase = b == 0xA5 ? Header2 : Header1;
        } else if (phase == Header2) {
            if (b == 0x5A) {
                phase = Record;
            }
        } else if (have < RecordSize) {
            record[have++] = b;
            sum = static_cast<uint8_t>(sum + b);
        } else if (b == sum) {
            return {ExchangeText::DataReceived, record};
        } else {
            return {ExchangeText::DataReceiveError, std::nullopt};
        }
    }
    return {};
}

Expected expectAcknowledgement(std::span<const uint8_t> bytes) {
    if (bytes.empty()) {
        return {};
    }
    return {bytes[0] == 0x01 ? ExchangeText::DataSent : ExchangeText::TransmitError, std::nullopt};
}

enum class Kind { Get, Send, CorruptGet, CutGet, RefusedSend, Silent, Cancelled };

struct Tally {
    uint64_t clean = 0, noisy = 0, faulted = 0, upgrades = 0, noiseBytes = 0;
};

class Soak {
public:
    explicit Soak(uint64_t seed) : rng_(seed) {
        tapped_.reserve(4096);
        bridge.tap = [this](std::span<const uint8_t> bytes) {
            if (tapping_) {
                tapped_.insert(tapped_.end(), bytes.begin(), bytes.end());
            }
        };
        engine.reset();
        engine.ConnectBridge();
        hexPath_ = folder_.path() / "soak.hex";
        // A burst of line noise on the idle link, as much as one read can bring: the receive
        // buffers on the way reach their largest size now, so nothing later grows them and the
        // heap can be compared byte for byte.
        std::array<uint8_t, ReadRequestLength> burst{};
        for (uint8_t& b : burst) {
            b = static_cast<uint8_t>(below(256));
        }
        sim.controller().send(burst);
        engine.LinkTick();
        engine.LinkTick();
    }

    bool exchange(uint64_t index);
    bool upgrade(uint64_t index);
    const Tally& tally() const { return tally_; }

    sim::SimBridge sim;
    FaultyBridge bridge{sim};
    SoakHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange settings{engine, host.record};
    CodeUpload upload{engine};

private:
    uint32_t below(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(rng_); }
    SettingsRecord randomRecord() {
        SettingsRecord r{};
        for (uint8_t& b : r) {
            b = static_cast<uint8_t>(below(256));
        }
        return r;
    }
    Kind pickKind();
    void shapeReplies();
    void sendNoise();
    void settle();
    bool tickUntilIdle(int limit) {
        for (int i = 0; i < limit && !engine.isIdle(); ++i) {
            engine.LinkTick();
        }
        return engine.isIdle();
    }

    std::mt19937_64 rng_;
    ScratchFolder folder_;
    std::filesystem::path hexPath_;
    std::vector<uint8_t> tapped_;
    bool tapping_ = false;
    Tally tally_;
};

Kind Soak::pickKind() {
    const uint32_t roll = below(100);
    if (roll < 46) {
        return Kind::Get;
    }
    if (roll < 92) {
        return Kind::Send;
    }
    constexpr Kind rare[] = {Kind::CorruptGet,  Kind::CorruptGet, Kind::CutGet,    Kind::CutGet,
                             Kind::RefusedSend, Kind::Silent,     Kind::Cancelled, Kind::Cancelled};
    return rare[roll - 92];
}

void Soak::shapeReplies() {
    sim::ControllerOptions& o = sim.controller().options();
    o.shaping.maxBytesPerTick = below(22); // 0: the whole reply in one read
    o.shaping.ticksBetweenChunks = below(4);
    o.replyDelayTicks = below(21);
}

void Soak::sendNoise() {
    // Each of a reply's 21 byte times carries a stray byte with a chance of 1 %.
    std::array<uint8_t, 21> noise{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < noise.size(); ++i) {
        if (below(100) == 0) {
            noise[count++] = static_cast<uint8_t>(below(256));
        }
    }
    if (count > 0) {
        sim.controller().send(std::span<const uint8_t>(noise.data(), count), below(3));
        tally_.noiseBytes += count;
    }
}

// Back to a healthy controller, and whatever is still on its way arrives on an idle link.
void Soak::settle() {
    sim::ControllerOptions& o = sim.controller().options();
    o.corruptCheckByte = false;
    o.cutReplyAfter.reset();
    o.silent = false;
    o.refuseSends = false;
    for (int i = 0; i < 200 && sim.controller().outputPending(); ++i) {
        engine.LinkTick();
    }
    engine.LinkTick();
    sim.clearHostBytes();
}

bool Soak::exchange(uint64_t index) {
    const Kind kind = pickKind();
    const bool get = kind == Kind::Get || kind == Kind::CorruptGet || kind == Kind::CutGet ||
                     ((kind == Kind::Silent || kind == Kind::Cancelled) && below(2) == 0);
    shapeReplies();
    sim::ControllerOptions& o = sim.controller().options();
    o.corruptCheckByte = kind == Kind::CorruptGet;
    if (kind == Kind::CutGet) {
        o.cutReplyAfter = 1 + below(20);
    }
    o.silent = kind == Kind::Silent;
    o.refuseSends = kind == Kind::RefusedSend;
    sendNoise();
    for (uint32_t i = below(4); i > 0; --i) {
        engine.LinkTick(); // noise due now falls on the idle link
    }

    const SettingsRecord before = host.record;
    SettingsRecord sent{};
    SettingsRecord controllerRecord = sim.controller().record();
    tapped_.clear();
    tapping_ = true;
    host.status = LinkText::StatusIdle; // the click clears the status line first
    if (get) {
        controllerRecord = randomRecord();
        sim.controller().setRecord(controllerRecord);
        settings.GetData();
    } else {
        host.controls = shownFromRecord(randomRecord());
        sent = recordFromShown(host.controls);
        settings.SendData();
    }
    if (kind == Kind::Cancelled) {
        for (uint32_t i = below(5); i > 0; --i) {
            engine.LinkTick();
        }
        tapping_ = false;
        upload.CancelExchange();
    }
    const bool ended = tickUntilIdle(3000);
    tapping_ = false;

    Expected expected = get ? expectGetReply(tapped_) : expectAcknowledgement(tapped_);
    if (kind == Kind::Cancelled) {
        expected.text = LinkText::StatusIdle;
    }
    const SettingsRecord record = get ? expected.received.value_or(before) : sent;
    // An exchange no noise reached and no fault touched must simply succeed.
    std::vector<uint8_t> clean = {0x01};
    if (get) {
        clean = {0xA5, 0x5A};
        clean.insert(clean.end(), controllerRecord.begin(), controllerRecord.end());
        clean.push_back(recordSum(controllerRecord));
    }
    const bool undisturbed = (kind == Kind::Get || kind == Kind::Send) && tapped_ == clean;
    if (undisturbed) {
        ++tally_.clean;
    } else if (kind == Kind::Get || kind == Kind::Send) {
        ++tally_.noisy;
    } else {
        ++tally_.faulted;
    }

    bool ok = true;
    auto check = [&](bool holds, const char* what) {
        if (!holds) {
            ADD_FAILURE() << "exchange " << index << " (" << (get ? "Get" : "Send") << ", kind "
                          << static_cast<int>(kind) << "): " << what << "; status \"" << host.status
                          << "\"";
            ok = false;
        }
    };
    check(ended, "the link did not return to idle");
    check(host.status == expected.text, "wrong status text");
    check(host.record == record, "wrong document record");
    check(host.boxes == 0 && host.progress == 0 && host.upgradeStatus.empty(),
          "a box, the bar or the upgrade line moved");
    if (undisturbed && get) {
        check(host.status == ExchangeText::DataReceived && host.record == controllerRecord,
              "a clean reply was not taken");
    }
    if (undisturbed && !get) {
        check(host.status == ExchangeText::DataSent && sim.controller().record() == sent,
              "a clean send did not reach the controller");
    }
    settle();
    return ok;
}

bool Soak::upgrade(uint64_t index) {
    settle();
    sim::BootLoaderOptions& b = sim.controller().bootLoader().options();
    b.answerDelayTicks = below(4);
    b.eraseStepTicks = 1 + below(3);
    shapeReplies();
    const HexImage hex = makeHexImage(128, static_cast<uint32_t>(rng_()));
    folder_.write("soak.hex", hex.text);
    upload.SelectUpgradeFile(hexPath_.string());
    const int finishedBefore = host.finished;
    upload.StartUpgrade();
    const bool ended = tickUntilIdle(20000);
    const std::vector<uint8_t>& flash = sim.controller().bootLoader().flash();
    const bool programmed = flash.size() >= hex.image.size() &&
                            std::equal(hex.image.begin(), hex.image.end(), flash.begin());
    ++tally_.upgrades;
    const bool ok = ended && programmed && host.finished == finishedBefore + 1 &&
                    host.upgradeStatus.empty() && host.progress == 0 && !upload.upgradeFileOpen() &&
                    host.boxes == 0;
    if (!ok) {
        ADD_FAILURE() << "upgrade before exchange " << index << ": ended " << ended << ", flash "
                      << programmed << ", status \"" << host.upgradeStatus << "\", bar "
                      << host.progress << ", file open " << upload.upgradeFileOpen();
    }
    settle();
    return ok;
}

TEST(Soak, ExchangesAndUpgradesEndRightAndTheHeapDoesNotGrow) {
    const uint64_t exchanges =
        std::max<uint64_t>(fromEnvironment("KESTRUN_SOAK_EXCHANGES", 1000), 101);
    const uint64_t upgrades = fromEnvironment("KESTRUN_SOAK_UPGRADES", 2);
    const uint64_t seed = fromEnvironment("KESTRUN_SOAK_SEED", std::random_device{}());
    std::printf("soak seed %llu: %llu exchanges, %llu upgrades\n",
                static_cast<unsigned long long>(seed), static_cast<unsigned long long>(exchanges),
                static_cast<unsigned long long>(upgrades));
    // The first upgrade comes early, so that what an upgrade keeps for good (the simulated
    // flash) is in place before the heap is first measured; the others are spread out.
    std::vector<uint64_t> upgradeAt;
    for (uint64_t k = 0; k < upgrades; ++k) {
        upgradeAt.push_back(k == 0 ? 50 : 50 + k * (exchanges - 50) / upgrades);
    }

    Soak soak(seed);
    LiveMemory afterHundred;
    int failures = 0;
    std::size_t nextUpgrade = 0;
    for (uint64_t i = 1; i <= exchanges && failures < 5; ++i) {
        while (nextUpgrade < upgradeAt.size() && upgradeAt[nextUpgrade] == i) {
            failures += soak.upgrade(i) ? 0 : 1;
            ++nextUpgrade;
        }
        failures += soak.exchange(i) ? 0 : 1;
        if (i == 100) {
            afterHundred = liveMemory();
        }
    }
    const LiveMemory atEnd = liveMemory();
    const Tally& t = soak.tally();
    std::printf("soak: %llu clean, %llu disturbed by noise, %llu with a controller fault, "
                "%llu upgrades, %llu noise bytes; heap after 100: %ld blocks %ld bytes, "
                "at the end: %ld blocks %ld bytes\n",
                static_cast<unsigned long long>(t.clean), static_cast<unsigned long long>(t.noisy),
                static_cast<unsigned long long>(t.faulted),
                static_cast<unsigned long long>(t.upgrades),
                static_cast<unsigned long long>(t.noiseBytes), afterHundred.allocations,
                afterHundred.bytes, atEnd.allocations, atEnd.bytes);
    EXPECT_EQ(failures, 0) << "seed " << seed;
    EXPECT_EQ(t.upgrades, upgrades);
    EXPECT_EQ(atEnd.allocations, afterHundred.allocations) << "seed " << seed;
    EXPECT_EQ(atEnd.bytes, afterHundred.bytes) << "seed " << seed;
}

} // namespace
} // namespace kestrun::stress
