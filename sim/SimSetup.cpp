#include "sim/SimSetup.h"

#include "sim/SimBootLoader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <string_view>

namespace kestrun::sim {
namespace {

BootLoaderOptions& bootLoader(SimBridge& bridge) {
    return bridge.controller().bootLoader().options();
}

struct Fault {
    const char* name;
    const char* help;
    bool takesNumber;
    uint32_t defaultNumber;
    void (*apply)(SimBridge& bridge, uint32_t number);
};

// A get reply cut short keeps its header and ten record bytes.
constexpr std::size_t CutReplyBytes = 12;

constexpr std::array<Fault, 16> Faults = {{
    {"silence", "the controller answers nothing", false, 0,
     [](SimBridge& b, uint32_t) { b.controller().options().silent = true; }},
    {"bad-check", "the get reply's check byte is wrong", false, 0,
     [](SimBridge& b, uint32_t) { b.controller().options().corruptCheckByte = true; }},
    {"cut-reply", "the get reply stops after ten record bytes", false, 0,
     [](SimBridge& b, uint32_t) { b.controller().options().cutReplyAfter = CutReplyBytes; }},
    {"refuse-send", "every send frame is answered with 0x00", false, 0,
     [](SimBridge& b, uint32_t) { b.controller().options().refuseSends = true; }},
    {"junk", "line noise before each get reply", false, 0,
     [](SimBridge& b, uint32_t) {
         b.controller().options().junkBeforeReply = {0x00, 0x3B, 0xFF, 0xA5, 0x00};
     }},
    {"split=N", "the controller sends at most N bytes a tick (default 1)", true, 1,
     [](SimBridge& b, uint32_t n) { b.controller().options().shaping.maxBytesPerTick = n; }},
    {"delay=N", "each settings answer starts N ticks late (default 100)", true, 100,
     [](SimBridge& b, uint32_t n) { b.controller().options().replyDelayTicks = n; }},
    {"write-fail", "every write to the bridge fails (\"Write error\")", false, 0,
     [](SimBridge& b, uint32_t) { b.options().writeFailure = BridgeStatusCode::WriteError; }},
    {"read-fail", "every read from the bridge fails", false, 0,
     [](SimBridge& b, uint32_t) { b.options().readFailure = BridgeStatusCode::ReadError; }},
    {"no-access", "the bridge is listed but refuses to open (\"Device access error\")", false, 0,
     [](SimBridge& b, uint32_t) { b.options().openFailure = BridgeStatusCode::DeviceAccessError; }},
    {"unplugged", "no bridge is attached", false, 0, [](SimBridge& b, uint32_t) { b.remove(); }},
    {"wake-ignored=N", "the boot loader sleeps through N wake-up requests (default 1)", true, 1,
     [](SimBridge& b, uint32_t n) { bootLoader(b).ignoreWakeUps = n; }},
    {"erase-stall", "the erase stops after its first progress byte", false, 0,
     [](SimBridge& b, uint32_t) { bootLoader(b).eraseStallsAfter = 1; }},
    {"bad-line=N", "the boot loader refuses line N of the upload (default 1)", true, 1,
     [](SimBridge& b, uint32_t n) { bootLoader(b).badLine = n; }},
    {"silent-after=N", "the boot loader falls silent after N lines (default 1)", true, 1,
     [](SimBridge& b, uint32_t n) { bootLoader(b).silentAfterLines = n; }},
    {"line-delay=N", "the boot loader answers each line N ticks late (default 1)", true, 1,
     [](SimBridge& b, uint32_t n) { bootLoader(b).answerDelayTicks = n; }},
}};

std::string_view faultWord(const Fault& fault) {
    std::string_view name = fault.name;
    return name.substr(0, name.find('='));
}

std::optional<uint32_t> parseNumber(std::string_view text, uint32_t max) {
    uint32_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<SettingsRecord> parseRecord(std::string_view hex) {
    if (hex.size() != RecordSize * 2) {
        return std::nullopt;
    }
    SettingsRecord record{};
    for (std::size_t i = 0; i < RecordSize; ++i) {
        auto [end, ec] = std::from_chars(hex.data() + 2 * i, hex.data() + 2 * i + 2, record[i], 16);
        if (ec != std::errc() || end != hex.data() + 2 * i + 2) {
            return std::nullopt;
        }
    }
    return record;
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace

SimSetup simSetupFromEnvironment() {
    return SimSetup{environment("KESTRUN_SIM_FAULT").value_or(""),
                    environment("KESTRUN_SIM_RECORD"), environment("KESTRUN_SIM_TICK_MS")};
}

std::string applySimSetup(const SimSetup& setup, SimBridge& bridge,
                          std::chrono::nanoseconds& tickPeriod) {
    // A controller that keeps up with the upload answers each line on the next tick: one line a
    // tick, the pace a bench wants to see. line-delay=N slows it down.
    bootLoader(bridge).answerDelayTicks = 0;
    if (setup.record) {
        auto record = parseRecord(*setup.record);
        if (!record) {
            return "KESTRUN_SIM_RECORD: '" + *setup.record + "' is not 36 hex digits";
        }
        bridge.controller().setRecord(*record);
    }
    if (setup.tickPeriodMs) {
        auto ms = parseNumber(*setup.tickPeriodMs, 1000);
        if (!ms) {
            return "KESTRUN_SIM_TICK_MS: '" + *setup.tickPeriodMs + "' is not 0 to 1000";
        }
        tickPeriod = std::chrono::milliseconds(*ms);
    }
    std::string_view list = setup.faults;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        if (item.empty()) {
            continue;
        }
        const std::size_t eq = item.find('=');
        const std::string_view word = item.substr(0, eq);
        const Fault* fault = nullptr;
        for (const Fault& candidate : Faults) {
            if (faultWord(candidate) == word) {
                fault = &candidate;
            }
        }
        if (fault == nullptr) {
            return "KESTRUN_SIM_FAULT: unknown fault '" + std::string(word) + "'";
        }
        uint32_t number = fault->defaultNumber;
        if (eq != std::string_view::npos) {
            auto given =
                fault->takesNumber ? parseNumber(item.substr(eq + 1), 1000000) : std::nullopt;
            if (!given) {
                return "KESTRUN_SIM_FAULT: '" + std::string(item) + "' takes " +
                       (fault->takesNumber ? "a number" : "no number");
            }
            number = *given;
        }
        fault->apply(bridge, number);
    }
    return {};
}

std::string simFaultHelp() {
    std::string text;
    for (const Fault& fault : Faults) {
        std::string name = fault.name;
        name.resize(std::max<std::size_t>(name.size() + 2, 16), ' ');
        text += "      " + name + fault.help + "\n";
    }
    return text;
}

} // namespace kestrun::sim
