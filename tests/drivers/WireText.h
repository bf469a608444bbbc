#pragma once
// Small helpers that let the driver tests read like wire transcripts.

#include "settings/SettingsRecord.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrun::test {

/// {0xA5, 0x5A} -> "A5 5A".
inline std::string hex(std::span<const uint8_t> bytes) {
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

/// A5 5A, the record, and the sum of the record bytes modulo 256: a get reply or a send frame.
inline std::vector<uint8_t> settingsFrame(const SettingsRecord& record) {
    std::vector<uint8_t> frame{0xA5, 0x5A};
    uint8_t sum = 0;
    for (uint8_t b : record) {
        frame.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    frame.push_back(sum);
    return frame;
}

/// A record unlike the start record in every field, with the header bytes A5 and 5A among its
/// data to show they are ordinary bytes once the header is complete.
inline constexpr SettingsRecord BenchRecord = {0x2A, 0x5A, 0x01, 0xA5, 0x02, 0x01,
                                               0x03, 0x01, 0x00, 0x52, 0x0F, 0xFF,
                                               0x01, 0x9A, 0x07, 0xFF, 0x0A, 0x3D};

} // namespace kestrun::test
