#pragma once
// A link engine with the settings exchange, wired to the scripted bridge and the recording host,
// and the hex helpers that let a test read like a wire transcript:
//   > 3B 47          what the link wrote
//   tick             one LinkTimer tick
//   < A5 5A ...      what the bridge hands over on a tick

#include "link/LinkEngine.h"
#include "link/SettingsExchange.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::test {

/// "A5 5A 01" -> {0xA5, 0x5A, 0x01}.
inline std::vector<uint8_t> hexBytes(std::string_view text) {
    std::vector<uint8_t> out;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        int nibble = c >= '0' && c <= '9'   ? c - '0'
                     : c >= 'A' && c <= 'F' ? c - 'A' + 10
                     : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                            : -1;
        if (nibble < 0) {
            continue;
        }
        value = value * 16 + static_cast<unsigned>(nibble);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

/// {0xA5, 0x5A} -> "A5 5A".
inline std::string hexText(std::span<const uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) {
            out += ' ';
        }
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

/// The record and its check byte as they travel after the header.
inline std::vector<uint8_t> recordAndSum(const SettingsRecord& record) {
    std::vector<uint8_t> out(record.begin(), record.end());
    uint8_t sum = 0;
    for (uint8_t b : record) {
        sum = static_cast<uint8_t>(sum + b);
    }
    out.push_back(sum);
    return out;
}

/// A full get reply: A5 5A, record, sum.
inline std::vector<uint8_t> getReply(const SettingsRecord& record) {
    std::vector<uint8_t> out = {0xA5, 0x5A};
    std::vector<uint8_t> rest = recordAndSum(record);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

/// A record that differs from the start record in every byte that matters.
inline constexpr SettingsRecord OtherRecord = {0x2A, 0x63, 0x01, 0x64, 0x02, 0x01,
                                               0x03, 0x01, 0x00, 0x00, 0x0F, 0xFF,
                                               0x01, 0x99, 0x07, 0xFF, 0x0A, 0x3D};

struct LinkRig {
    ScriptedBridge bridge;
    RecordingHost host;
    LinkEngine engine{bridge, host};
    SettingsExchange exchange{engine, host.record};

    /// Start-up as the window does it: initial state, then the connection.
    explicit LinkRig(bool connect = true) {
        engine.reset();
        if (connect) {
            engine.ConnectBridge();
        }
    }

    /// One tick that brings `bytes` (none: an empty read).
    void tick(std::vector<uint8_t> bytes = {}) {
        if (!bytes.empty()) {
            bridge.queueRead(std::move(bytes));
        }
        engine.LinkTick();
    }
    /// `count` ticks without bytes.
    void idleTicks(int count) {
        for (int i = 0; i < count; ++i) {
            engine.LinkTick();
        }
    }
    uint8_t state() const { return static_cast<uint8_t>(engine.linkState()); }
    std::string wire() const {
        std::vector<uint8_t> all = bridge.wire();
        return hexText(all);
    }
};

} // namespace kestrun::test
