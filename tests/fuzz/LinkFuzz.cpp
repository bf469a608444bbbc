// The link driven by a script of user commands, device notices, ticks and received bytes:
// Get Data, Send Data and the upgrade share one engine, as in the window.
//
// Input: a sequence of steps, each an opcode byte and its operands (see Step). After every
// step: the link state is one of those the exchanges use; a box never opens inside a tick; an
// idle link has the upgrade file closed and the bar at 0; no write exceeds the transmit buffer;
// and the settings exchange agrees with the exchange model, tick by tick: same state, same
// outcome, and the document's record changes only through a good get reply or a Send Data,
// whose frame carries the record and its sum.

#include "tests/fuzz/FuzzSupport.h"

#include "settings/SettingsFields.h"

#include <array>
#include <numeric>
#include <vector>

using namespace kestrun;
using namespace kestrun::fuzz;

namespace {

// The settings exchange as the user must see it, worked out from the received bytes alone and
// written apart from the link's own handlers: a get reply is skipped up to A5 (state 1), then
// up to 5A (2), then 18 record bytes and their sum (3); an acknowledgement (5) is decided by its
// first byte.
struct ExchangeModel {
    uint8_t state = 0;
    uint32_t timeout = 0; ///< ticks still waited for a byte
    SettingsRecord reply{};
    std::size_t have = 0;
    SettingsRecord document{}; ///< the document's record as it must be

    void start(uint8_t first) {
        state = first;
        timeout = AnswerTicks;
    }
    /// The bytes one tick read; answers the status text when the exchange ends on this tick.
    std::optional<const char*> tick(const std::vector<uint8_t>& bytes) {
        timeout = bytes.empty() ? timeout : AnswerTicks;
        for (uint8_t b : bytes) {
            if (state == 1 || state == 2) {
                have = 0;
                state = state == 1 ? (b == 0xA5 ? 2 : 1) : (b == 0x5A ? 3 : 2);
            } else if (state == 3 && have < RecordSize) {
                reply[have++] = b;
            } else if (state == 3) {
                state = 0;
                if (b != static_cast<uint8_t>(std::accumulate(reply.begin(), reply.end(), 0))) {
                    return ExchangeText::DataReceiveError;
                }
                document = reply;
                return ExchangeText::DataReceived;
            } else {
                state = 0;
                return b == 0x01 ? ExchangeText::DataSent : ExchangeText::TransmitError;
            }
        }
        if (state != 0 && --timeout == 0) {
            state = 0;
            return LinkText::NoResponse;
        }
        return std::nullopt;
    }
};

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
constexpr std::array<uint8_t, 10> UsedStates = {0, 1, 2, 3, 5, 9, 10, 12, 13, 14};
constexpr uint8_t BootLoaderAnswers[] = {';', 0x00, 0x01, 0x80};
const DeviceNotice Arrived{DeviceTypeInterface, "/dev/hidraw0"};
const DeviceNotice Removed{DeviceTypeInterface, "/dev/HIDRAW0"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    // What "Select file" can be given: a good upgrade file, a file that is not one, and a path
    // where nothing is.
    static const std::array<std::string, 3> files = {
        scratch().write("fw.hex", test::makeHexImage(2, 7).text),
        scratch().write("notes.txt", "not an upgrade file\r\n"),
        (scratch().path() / "gone.hex").string()};
    Script script(data, size);
    test::Rig<> rig;
    test::ScriptedBridge& bridge = rig.bridge;
    test::RecordingHost& host = rig.host;
    LinkEngine& engine = rig.engine;
    ExchangeModel model;
    model.document = host.record;
    int ticks = 0;

    // One tick, reading `bytes` when given. The model is checked on every tick, not only after
    // each step: a timeout must end on its very tick.
    auto tick = [&](std::optional<std::span<const uint8_t>> bytes = std::nullopt) {
        if (bytes) {
            bridge.queueRead({bytes->begin(), bytes->end()});
        }
        ++ticks;
        bridge.lastRead.clear();
        const bool pending = model.state != 0;
        engine.LinkTick();
        if (pending) {
            const std::optional<const char*> outcome = model.tick(bridge.lastRead);
            FUZZ_CHECK(!outcome || host.statusText == *outcome);
            FUZZ_CHECK(static_cast<uint8_t>(engine.linkState()) == model.state);
        }
    };
    auto takeRecord = [&] {
        SettingsRecord record{};
        std::ranges::copy(script.take(RecordSize), record.begin());
        return record;
    };

    while (!script.done() && ticks < TickBudget) {
        const bool ready = engine.isIdle() && engine.bridgeOpen();
        switch (script.byte() % StepCount) {
        case GetData:
            rig.exchange.GetData();
            if (ready) {
                model.start(1);
            }
            break;
        case SendData:
            host.controls = shownFromRecord(takeRecord());
            rig.exchange.SendData();
            if (ready) {
                model.start(5);
                model.document = recordFromShown(host.controls);
                FUZZ_CHECK(bridge.writeFailure ||
                           test::hexText(bridge.wire()) == test::getReply(model.document));
            }
            break;
        case Start:
            rig.upload.StartUpgrade();
            break;
        case Cancel:
            host.setStatusText(LinkText::StatusIdle);
            rig.upload.CancelExchange();
            model.state = 0;
            break;
        case Arrival:
            if (bridge.devices.empty()) {
                bridge.devices.emplace_back();
            }
            engine.HandleDeviceChange(DeviceArrival, &Arrived);
            break;
        case Removal:
            bridge.devices.clear();
            engine.HandleDeviceChange(DeviceRemoveComplete, &Removed);
            FUZZ_CHECK(!engine.bridgeOpen());
            break;
        case Tick:
            tick();
            break;
        case FailedRead:
            bridge.readStatusOverrides.push_back(BridgeStatusCode::DeviceIoFailed);
            [[fallthrough]];
        case TickBytes:
            tick(script.take(script.byte() % 64));
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
        case GoodReply: {
            const std::vector<uint8_t> reply = test::hexBytes(test::getReply(takeRecord()));
            const std::size_t chunk = 1 + script.byte() % reply.size();
            for (std::size_t at = 0; at < reply.size(); at += chunk) {
                tick(std::span(reply).subspan(at, std::min(chunk, reply.size() - at)));
            }
            break;
        }
        case BootLoaderByte:
            tick(std::span(BootLoaderAnswers).subspan(script.byte() % 4, 1));
            break;
        }

        const auto state = static_cast<uint8_t>(engine.linkState());
        FUZZ_CHECK(std::ranges::find(UsedStates, state) != UsedStates.end());
        FUZZ_CHECK(model.state != 0 ? state == model.state : (state == 0 || state >= 9));
        FUZZ_CHECK(host.record == model.document);
        FUZZ_CHECK(host.progress >= 0 && host.progress <= 255 && host.boxesInTick == 0);
        FUZZ_CHECK(state != 0 || (!rig.upload.upgradeFileOpen() && host.progress == 0));
        for (const auto& write : bridge.takeWrites()) {
            FUZZ_CHECK(write.size() <= LinkEngine::MaxTextLength);
        }
    }
    return 0;
}
