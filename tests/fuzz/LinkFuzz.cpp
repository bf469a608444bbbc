// The link driven by a script of user commands, device notices, ticks and received bytes:
// Get Data, Send Data and the upgrade share one engine, as in the window.
//
// Input: a sequence of steps, each an opcode byte and its operands (see Step). After every
// step: the link state is one of those the exchanges use; a box never opens inside a tick; an
// idle link has the upgrade file closed and the bar at 0; no write exceeds the transmit buffer;
// and the settings exchange behaves as an independent model of the get reply and the
// acknowledgement says it must: same state, same outcome, and the document's record changes only
// through a good get reply or a Send Data.

#include "tests/fuzz/FuzzSupport.h"

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "settings/SettingsFields.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"
#include "upgrade/CodeUpload.h"

#include <array>
#include <optional>
#include <vector>

namespace kestrun::fuzz {
namespace {

// The bridge fake, remembering what each read handed the link.
class TappedBridge : public test::ScriptedBridge {
public:
    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        const BridgeStatus status =
            ScriptedBridge::HidUart_Read(device, buffer, numBytesToRead, numBytesRead);
        read = true;
        readStatus = status;
        readBytes.assign(buffer, buffer + std::min(*numBytesRead, numBytesToRead));
        return status;
    }
    bool read = false;
    BridgeStatus readStatus = 0;
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

// The settings exchange as the user must see it, worked out from the bytes alone.
class SettingsModel {
public:
    void start(uint8_t state) {
        state_ = state;
        timeout_ = AnswerTicks;
    }
    void stop() { state_ = 0; }
    uint8_t state() const { return state_; }

    /// One tick's read: the outcome text when the exchange ended on it.
    std::optional<const char*> tick(const TappedBridge& bridge) {
        const bool brought = bridge.read &&
                             (bridge.readStatus == BridgeStatusCode::Success ||
                              bridge.readStatus == BridgeStatusCode::ReadTimedOut) &&
                             !bridge.readBytes.empty();
        if (brought) {
            timeout_ = AnswerTicks;
        }
        std::optional<const char*> outcome;
        for (std::size_t i = 0; brought && i < bridge.readBytes.size() && state_ != 0; ++i) {
            outcome = take(bridge.readBytes[i]);
        }
        if (state_ != 0 && timeout_ != 0 && --timeout_ == 0) {
            state_ = 0;
            outcome = LinkText::NoResponse;
        }
        return outcome;
    }
    std::optional<SettingsRecord> received;

private:
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
            if (b == sum_) {
                received = record_;
                return ExchangeText::DataReceived;
            }
            return ExchangeText::DataReceiveError;
        default: // 5: the first byte decides
            state_ = 0;
            return b == 0x01 ? ExchangeText::DataSent : ExchangeText::TransmitError;
        }
    }

    uint8_t state_ = 0;
    uint32_t timeout_ = 0;
    SettingsRecord record_{};
    std::size_t have_ = 0;
    uint8_t sum_ = 0;
};

std::string hexRecord(uint8_t type, uint16_t address, std::initializer_list<uint8_t> data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(0x100 - sum));
    std::string line = ":";
    for (uint8_t b : bytes) {
        static constexpr char digits[] = "0123456789ABCDEF";
        line += digits[b >> 4];
        line += digits[b & 0x0F];
    }
    return line + "\r\n";
}

// The files "Select file" can be given: a small good upgrade file, a file that is not one, and
// a path where nothing is.
const std::array<std::string, 3>& choosableFiles() {
    static const std::array<std::string, 3> paths = [] {
        const std::string good = hexRecord(0x00, 0x0000, {1, 2, 3, 4}) +
                                 hexRecord(0x00, 0x0004, {5, 6, 7, 8}) + hexRecord(0x01, 0, {});
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
    SettingsModel model;
    SettingsRecord expectedRecord = host.record;
    const auto& files = choosableFiles();
    int ticks = 0;
    // KESTRUN_FUZZ_TRACE=1 prints each step: how to read a crash the fuzzer found.
    static const bool trace = std::getenv("KESTRUN_FUZZ_TRACE") != nullptr;

    engine.reset();
    engine.ConnectBridge();

    auto tick = [&] {
        ++ticks;
        bridge.read = false;
        bridge.readBytes.clear();
        const uint8_t before = model.state();
        engine.LinkTick();
        if (before == 0) {
            return;
        }
        if (const auto outcome = model.tick(bridge)) {
            FUZZ_CHECK(host.statusText == *outcome);
            if (model.received) {
                expectedRecord = *model.received;
                model.received.reset();
            }
        }
    };
    auto queue = [&](std::span<const uint8_t> bytes) {
        bridge.queueRead(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    };

    while (!script.done() && ticks < TickBudget) {
        const uint8_t step = script.byte() % StepCount;
        const bool wasIdle = engine.isIdle();
        const bool wasOpen = engine.bridgeOpen();
        switch (step) {
        case GetData:
            exchange.GetData();
            if (wasIdle && wasOpen) {
                model.start(1);
            }
            break;
        case SendData: {
            SettingsRecord shown{};
            const auto bytes = script.take(RecordSize);
            std::copy(bytes.begin(), bytes.end(), shown.begin());
            host.controls = shownFromRecord(shown);
            exchange.SendData();
            if (wasIdle && wasOpen) {
                model.start(5);
                expectedRecord = recordFromShown(host.controls);
            }
            break;
        }
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
            SettingsRecord record{};
            const auto bytes = script.take(RecordSize);
            std::copy(bytes.begin(), bytes.end(), record.begin());
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
            const uint8_t answer = answers[script.byte() % 4];
            queue(std::span(&answer, 1));
            tick();
            break;
        }
        default:
            break;
        }

        const auto state = static_cast<uint8_t>(engine.linkState());
        if (trace) {
            std::fprintf(stderr, "step %u: state %u, status \"%s\", upgrade \"%s\", bar %d\n", step,
                         state, host.statusText.c_str(), host.upgradeStatusText.c_str(),
                         host.progress);
        }
        static constexpr std::array<uint8_t, 10> used = {0, 1, 2, 3, 5, 9, 10, 12, 13, 14};
        FUZZ_CHECK(std::find(used.begin(), used.end(), state) != used.end());
        if (model.state() != 0) {
            FUZZ_CHECK(state == model.state());
        } else {
            FUZZ_CHECK(state == 0 || state >= 9);
        }
        FUZZ_CHECK(host.record == expectedRecord);
        FUZZ_CHECK(host.progress >= 0 && host.progress <= 255);
        if (state == 0) {
            FUZZ_CHECK(!upload.upgradeFileOpen());
            FUZZ_CHECK(host.progress == 0);
        }
        for (const auto& write : bridge.writes) {
            FUZZ_CHECK(write.size() <= LinkEngine::MaxTextLength);
        }
        bridge.writes.clear();
    }
    return 0;
}
