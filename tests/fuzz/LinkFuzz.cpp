// The link driven by a script of user commands, device notices, ticks and received bytes:
// Get Data, Send Data and the upgrade share one engine, as in the window.
//
// Input: a sequence of steps, each an opcode byte and its operands (see Step). After every
// step: the link state is one of those the exchanges use; a box never opens inside a tick; an
// idle link has the upgrade file closed and the bar at 0; no write exceeds the transmit buffer;
// and the settings exchange agrees with the exchange model, tick by tick: same state, same
// outcome, and the document's record changes only through a good get reply or a Send Data.

#include "tests/fuzz/FuzzSupport.h"

#include "settings/SettingsFields.h"

#include <array>
#include <vector>

namespace kestrun::fuzz {
namespace {

// The settings exchange as the user must see it, worked out from the received bytes alone and
// written apart from the link's own handlers: a get reply is skipped up to A5, then up to 5A,
// then 18 record bytes and their sum; an acknowledgement is decided by its first byte.
class ExchangeModel {
public:
    /// An exchange begins: 1 waits for a get reply, 5 for an acknowledgement.
    void start(uint8_t state) { state_ = state; }
    void stop() { state_ = 0; }
    uint8_t state() const { return state_; }

    /// One received byte; answers the status text when the exchange ends on it. A good get
    /// reply leaves its record in `received`.
    std::optional<const char*> take(uint8_t b) {
        switch (state_) {
        case 1:
            state_ = b == 0xA5 ? 2 : 1;
            return std::nullopt;
        case 2:
            if (b == 0x5A) {
                state_ = 3;
                have_ = 0;
                sum_ = 0;
            }
            return std::nullopt;
        case 3:
            if (have_ < RecordSize) {
                record_[have_++] = b;
                sum_ = static_cast<uint8_t>(sum_ + b);
                return std::nullopt;
            }
            state_ = 0;
            if (b != sum_) {
                return ExchangeText::DataReceiveError;
            }
            received = record_;
            return ExchangeText::DataReceived;
        case 5:
            state_ = 0;
            return b == 0x01 ? ExchangeText::DataSent : ExchangeText::TransmitError;
        default:
            return std::nullopt;
        }
    }

    std::optional<SettingsRecord> received;

private:
    uint8_t state_ = 0;
    SettingsRecord record_{};
    std::size_t have_ = 0;
    uint8_t sum_ = 0;
};

// The files "Select file" can be given: a small good upgrade file, a file that is not one, and
// a path where nothing is.
const std::array<std::string, 3>& choosableFiles() {
    static const std::array<std::string, 3> paths = [] {
        const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};
        const std::string good = formatHexRecord(0x00, 0, std::span(data, 4)) + "\r\n" +
                                 formatHexRecord(0x00, 4, std::span(data + 4, 4)) + "\r\n" +
                                 formatHexRecord(0x01, 0, {}) + "\r\n";
        const std::string bad = "not an upgrade file\r\n";
        return std::array<std::string, 3>{scratch().write("fw.hex", good),
                                          scratch().write("notes.txt", bad),
                                          (scratch().path() / "gone.hex").string()};
    }();
    return paths;
}

enum Step : uint8_t {
    GetData,        // the button
    SendData,       // 18 operand bytes: the record the controls show
    Start,          // the button
    Cancel,         // the button
    Arrival,        // the bridge is plugged in
    Removal,        // the bridge is pulled out
    Tick,           // an empty tick
    TickBytes,      // operand n, then n % 64 bytes received on one tick
    ManyTicks,      // operand k: 16 * k empty ticks
    SelectFile,     // operand: which of the choosable files
    WriteFailure,   // operand: writes fail from now (odd) or succeed again (even)
    ReadFailure,    // operand: reads fail from now (odd) or succeed again (even)
    FailedRead,     // operand n, then n % 64 bytes handed over by a read that reports an error
    GoodReply,      // 18 operand bytes and a chunk size: a correct get reply over several ticks
    BootLoaderByte, // operand: ';', 0x00, 0x01 or a progress byte, received on one tick
    StepCount
};

constexpr int TickBudget = 20000;

} // namespace
} // namespace kestrun::fuzz

using namespace kestrun;
using namespace kestrun::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Script script(data, size);
    test::Rig<> rig;
    test::ScriptedBridge& bridge = rig.bridge;
    test::RecordingHost& host = rig.host;
    LinkEngine& engine = rig.engine;
    ExchangeModel model;
    uint32_t modelTimeout = 0; // ticks the model still waits for a byte
    SettingsRecord expectedRecord = host.record;
    const auto& files = choosableFiles();
    int ticks = 0;

    auto start = [&](uint8_t state) {
        model.start(state);
        modelTimeout = AnswerTicks;
    };
    auto tick = [&] {
        ++ticks;
        bridge.lastRead.clear();
        const bool pending = model.state() != 0;
        engine.LinkTick();
        if (!pending) {
            return;
        }
        std::optional<const char*> outcome;
        if (!bridge.lastRead.empty()) {
            modelTimeout = AnswerTicks;
        }
        for (std::size_t i = 0; i < bridge.lastRead.size() && model.state() != 0; ++i) {
            outcome = model.take(bridge.lastRead[i]);
        }
        if (model.state() != 0 && --modelTimeout == 0) {
            model.stop();
            outcome = LinkText::NoResponse;
        }
        if (outcome) {
            FUZZ_CHECK(host.statusText == *outcome);
        }
        if (model.received) {
            expectedRecord = *model.received;
            model.received.reset();
        }
        // Checked on every tick, not only after each step: a timeout must end on its very tick.
        FUZZ_CHECK(static_cast<uint8_t>(engine.linkState()) == model.state());
    };
    auto queue = [&](std::span<const uint8_t> bytes) {
        bridge.queueRead(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    };
    auto takeRecord = [&] {
        SettingsRecord record{};
        const auto bytes = script.take(RecordSize);
        std::copy(bytes.begin(), bytes.end(), record.begin());
        return record;
    };

    while (!script.done() && ticks < TickBudget) {
        const uint8_t step = script.byte() % StepCount;
        const bool ready = engine.isIdle() && engine.bridgeOpen();
        switch (step) {
        case GetData:
            rig.exchange.GetData();
            if (ready) {
                start(1);
            }
            break;
        case SendData:
            host.controls = shownFromRecord(takeRecord());
            rig.exchange.SendData();
            if (ready) {
                start(5);
                expectedRecord = recordFromShown(host.controls);
            }
            break;
        case Start:
            rig.upload.StartUpgrade();
            break;
        case Cancel:
            host.setStatusText(LinkText::StatusIdle);
            rig.upload.CancelExchange();
            model.stop();
            break;
        case Arrival: {
            if (bridge.devices.empty()) {
                bridge.devices.push_back(test::FakeDevice{});
            }
            const DeviceNotice notice{DeviceTypeInterface, "/dev/hidraw0"};
            engine.HandleDeviceChange(DeviceArrival, &notice);
            break;
        }
        case Removal: {
            bridge.devices.clear();
            const DeviceNotice notice{DeviceTypeInterface, "/dev/HIDRAW0"};
            engine.HandleDeviceChange(DeviceRemoveComplete, &notice);
            FUZZ_CHECK(!engine.bridgeOpen());
            break;
        }
        case Tick:
            tick();
            break;
        case TickBytes:
            queue(script.take(script.byte() % 64));
            tick();
            break;
        case ManyTicks:
            for (int i = 16 * script.byte(); i > 0; --i) {
                tick();
            }
            break;
        case SelectFile:
            rig.upload.SelectUpgradeFile(files[script.byte() % files.size()]);
            break;
        case WriteFailure:
            bridge.writeFailure =
                script.byte() % 2 ? std::optional(BridgeStatusCode::WriteError) : std::nullopt;
            break;
        case ReadFailure:
            bridge.readFailure =
                script.byte() % 2 ? std::optional(BridgeStatusCode::ReadError) : std::nullopt;
            break;
        case FailedRead:
            bridge.readStatusOverrides.push_back(BridgeStatusCode::DeviceIoFailed);
            queue(script.take(script.byte() % 64));
            tick();
            break;
        case GoodReply: {
            const std::vector<uint8_t> reply = test::hexBytes(test::getReply(takeRecord()));
            const std::size_t chunk = 1 + script.byte() % reply.size();
            for (std::size_t at = 0; at < reply.size(); at += chunk) {
                queue(std::span(reply).subspan(at, std::min(chunk, reply.size() - at)));
                tick();
            }
            break;
        }
        case BootLoaderByte: {
            static constexpr uint8_t answers[] = {';', 0x00, 0x01, 0x80};
            queue(std::span(&answers[script.byte() % 4], 1));
            tick();
            break;
        }
        default:
            break;
        }

        const auto state = static_cast<uint8_t>(engine.linkState());
        static constexpr std::array<uint8_t, 10> used = {0, 1, 2, 3, 5, 9, 10, 12, 13, 14};
        FUZZ_CHECK(std::find(used.begin(), used.end(), state) != used.end());
        FUZZ_CHECK(model.state() != 0 ? state == model.state() : (state == 0 || state >= 9));
        FUZZ_CHECK(host.record == expectedRecord);
        FUZZ_CHECK(host.progress >= 0 && host.progress <= 255);
        FUZZ_CHECK(host.boxesInTick == 0);
        if (state == 0) {
            FUZZ_CHECK(!rig.upload.upgradeFileOpen() && host.progress == 0);
        }
        for (const auto& write : bridge.writes) {
            FUZZ_CHECK(write.size() <= LinkEngine::MaxTextLength);
        }
        bridge.writes.clear();
    }
    return 0;
}
