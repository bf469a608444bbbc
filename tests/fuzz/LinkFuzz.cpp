// The link driven by a script of user commands, device notices, ticks and received bytes:
// Get Data, Send Data and the upgrade share one engine, as in the window.
//
// Input: a sequence of steps, each an opcode byte and its operands (see Step). After every
// step: the link state is one of those the exchanges use; a box never opens inside a tick; an
// idle link has the upgrade file closed and the bar at 0; no write exceeds the transmit buffer;
// and the settings exchange agrees with the exchange model, tick by tick: same state, same
// outcome, and the document's record changes only through a good get reply or a Send Data.

#include "tests/fuzz/ExchangeModel.h"
#include "tests/fuzz/FuzzSupport.h"

#include "settings/SettingsFields.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"
#include "upgrade/CodeUpload.h"
#include "upgrade/IntelHex.h"

#include <array>
#include <vector>

namespace kestrun::fuzz {
namespace {

// The bridge fake, remembering what the tick's read handed the link.
class TappedBridge : public test::ScriptedBridge {
public:
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        const BridgeStatus status =
            ScriptedBridge::HidUart_Read(device, buffer, numBytesToRead, numBytesRead);
        const bool good =
            status == BridgeStatusCode::Success || status == BridgeStatusCode::ReadTimedOut;
        if (good) {
            readBytes.assign(buffer, buffer + std::min(*numBytesRead, numBytesToRead));
        }
        return status;
    }
    std::vector<uint8_t> readBytes;
};

class CheckingHost : public test::RecordingHost {
public:
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        FUZZ_CHECK(engine == nullptr || !engine->inTick());
        RecordingHost::showMessage(text, caption, icon);
    }
    const LinkEngine* engine = nullptr;
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
        std::array<std::string, 3> p = {scratchFolder() + "/fw.hex", scratchFolder() + "/notes.txt",
                                        scratchFolder() + "/gone.hex"};
        writeFile(p[0], std::span(reinterpret_cast<const uint8_t*>(good.data()), good.size()));
        writeFile(p[1], std::span(reinterpret_cast<const uint8_t*>(bad.data()), bad.size()));
        return p;
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
    TappedBridge bridge;
    CheckingHost host;
    LinkEngine engine(bridge, host);
    SettingsExchange exchange(engine, host.record);
    CodeUpload upload(engine);
    host.engine = &engine;
    model::ExchangeModel model;
    uint32_t modelTimeout = 0; // ticks the model still waits for a byte
    SettingsRecord expectedRecord = host.record;
    const auto& files = choosableFiles();
    int ticks = 0;

    engine.reset();
    engine.ConnectBridge();

    auto start = [&](uint8_t state) {
        model.start(state);
        modelTimeout = AnswerTicks;
    };
    auto tick = [&] {
        ++ticks;
        bridge.readBytes.clear();
        const bool pending = model.state() != 0;
        engine.LinkTick();
        if (!pending) {
            return;
        }
        std::optional<const char*> outcome;
        if (!bridge.readBytes.empty()) {
            modelTimeout = AnswerTicks;
        }
        for (std::size_t i = 0; i < bridge.readBytes.size() && model.state() != 0; ++i) {
            outcome = model.take(bridge.readBytes[i]);
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
            exchange.GetData();
            if (ready) {
                start(1);
            }
            break;
        case SendData:
            host.controls = shownFromRecord(takeRecord());
            exchange.SendData();
            if (ready) {
                start(5);
                expectedRecord = recordFromShown(host.controls);
            }
            break;
        case Start:
            upload.StartUpgrade();
            break;
        case Cancel:
            host.setStatusText(LinkText::StatusIdle);
            upload.CancelExchange();
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
            upload.SelectUpgradeFile(files[script.byte() % files.size()]);
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
            const SettingsRecord record = takeRecord();
            std::vector<uint8_t> reply = {0xA5, 0x5A};
            reply.insert(reply.end(), record.begin(), record.end());
            reply.push_back(recordSum(record));
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
        if (state == 0) {
            FUZZ_CHECK(!upload.upgradeFileOpen() && host.progress == 0);
        }
        for (const auto& write : bridge.writes) {
            FUZZ_CHECK(write.size() <= LinkEngine::MaxTextLength);
        }
        bridge.writes.clear();
    }
    return 0;
}
