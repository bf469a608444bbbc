#pragma once
// A link engine with the settings exchange, wired to a bridge and the recording host, and hex
// helpers that let a test read like a wire transcript ("3B 47" is what the link wrote).

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"

#include <numeric>
#include <span>
#include <string>

namespace kestrun::test {

/// "A5 5A 01" -> {0xA5, 0x5A, 0x01}: two digits a byte, one space between bytes.
inline std::vector<uint8_t> hexBytes(std::string_view text) {
    std::vector<uint8_t> out;
    for (std::size_t at = 0; at + 1 < text.size(); at += 3) {
        out.push_back(
            static_cast<uint8_t>(std::stoul(std::string(text.substr(at, 2)), nullptr, 16)));
    }
    return out;
}

/// {0xA5, 0x5A} -> "A5 5A".
inline std::string hexText(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        out += out.empty() ? "" : " ";
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

/// A full get reply as hex text: A5 5A, the record, the sum of its bytes modulo 256.
inline std::string getReply(const SettingsRecord& record) {
    const auto sum = static_cast<uint8_t>(std::accumulate(record.begin(), record.end(), 0));
    return "A5 5A " + hexText(record) + " " + hexText(std::span(&sum, 1));
}

/// A record that differs from the start record in every byte that matters (its sum is EE).
// clang-format off
inline constexpr SettingsRecord OtherRecord = {0x2A, 0x63, 0x01, 0x64, 0x02, 0x01, 0x03, 0x01,
    0x00, 0x00, 0x0F, 0xFF, 0x01, 0x99, 0x07, 0xFF, 0x0A, 0x3D};
// clang-format on

/// Start-up as the window does it (initial state, then the connection) over any bridge.
template <class Bridge>
struct Rig {
    Bridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};

    explicit Rig(bool connect = true) {
        engine.reset();
        if (connect) {
            engine.ConnectBridge();
        }
    }
    void idleTicks(int count) {
        for (int i = 0; i < count; ++i) {
            engine.LinkTick();
        }
    }
    /// Ticks until the link is idle again (at most `limit`); answers the ticks taken.
    int runExchange(int limit = 5000) {
        int ticks = 0;
        for (; !engine.isIdle() && ticks < limit; ++ticks) {
            engine.LinkTick();
        }
        return ticks;
    }
    uint8_t state() const { return static_cast<uint8_t>(engine.linkState()); }
};

struct LinkRig : Rig<ScriptedBridge> {
    using Rig::Rig;
    /// One tick whose read brings these bytes (none: an empty read).
    void tick(std::string_view hex = "") {
        if (!hex.empty()) {
            bridge.queueRead(hexBytes(hex));
        }
        engine.LinkTick();
    }
    std::string wire() const { return hexText(bridge.wire()); }
};

} // namespace kestrun::test
