#include "tests/cli/HexFile.h"

#include <cstdio>

namespace kestrun::clitest {

std::string hexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    bytes.push_back(static_cast<uint8_t>(-sum));
    std::string line = ":";
    for (uint8_t b : bytes) {
        char text[3];
        std::snprintf(text, sizeof text, "%02X", b);
        line += text;
    }
    return line;
}

std::vector<std::string> hexImageLines(std::size_t size, uint32_t seed) {
    std::vector<std::string> lines;
    uint32_t state = seed;
    for (std::size_t at = 0; at < size; at += 16) {
        if (at % 0x10000 == 0) {
            const auto upper = static_cast<uint16_t>(at >> 16);
            lines.push_back(hexRecord(
                0x04, 0, {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF)}));
        }
        std::vector<uint8_t> data;
        for (std::size_t i = at; i < size && i < at + 16; ++i) {
            state = state * 1103515245u + 12345u;
            data.push_back(static_cast<uint8_t>(state >> 16));
        }
        lines.push_back(hexRecord(0x00, static_cast<uint16_t>(at & 0xFFFF), data));
    }
    lines.push_back(hexRecord(0x01, 0, {}));
    return lines;
}

std::string hexText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

} // namespace kestrun::clitest
