#pragma once
// Helpers that let the driver tests read like wire transcripts.

#include "settings/SettingsRecord.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace kestrun::test {

/// {0xA5, 0x5A} -> "A5 5A".
inline std::string hex(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, out.empty() ? "%02X" : " %02X", b);
        out += text;
    }
    return out;
}
inline std::string hex(const std::string& bytes) {
    return hex({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

/// A5 5A, the record and the sum of its bytes modulo 256: a get reply or a send frame.
inline std::vector<uint8_t> settingsFrame(const SettingsRecord& record) {
    std::vector<uint8_t> frame{0xA5, 0x5A};
    uint8_t sum = 0; // summed here, not by the product's own function
    for (uint8_t b : record) {
        frame.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    frame.push_back(sum);
    return frame;
}

/// A record unlike the start record in every field, with the header bytes A5 and 5A among its
/// data: once the header is complete they are ordinary bytes.
inline constexpr SettingsRecord BenchRecord = {0x2A, 0x5A, 0x01, 0xA5, 0x02, 0x01,
                                               0x03, 0x01, 0x00, 0x52, 0x0F, 0xFF,
                                               0x01, 0x9A, 0x07, 0xFF, 0x0A, 0x3D};

} // namespace kestrun::test
