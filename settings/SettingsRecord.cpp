#include "settings/SettingsRecord.h"

namespace kestrun {

uint16_t readCount(const SettingsRecord& record, std::size_t offset) {
    return static_cast<uint16_t>(record.at(offset) << 8 | record.at(offset + 1));
}

void writeCount(SettingsRecord& record, std::size_t offset, uint16_t count) {
    record.at(offset) = static_cast<uint8_t>(count >> 8);
    record.at(offset + 1) = static_cast<uint8_t>(count & 0xFF);
}

uint8_t recordSum(std::span<const uint8_t> bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) {
        sum = static_cast<uint8_t>(sum + b);
    }
    return sum;
}

uint16_t CountsToRange(uint16_t counts) {
    if (counts >= 4095) {
        return 1000;
    }
    return static_cast<uint16_t>(uint32_t{counts} * 1000u / 4096u);
}

uint16_t RangeToCounts(uint16_t hundredths) {
    uint32_t v = hundredths > 1000 ? 1000u : hundredths;
    uint32_t n = v * 4096u / 1000u;
    // Search upwards for the first count that shows v again; at most a step or two.
    for (;;) {
        if (n >= 4096) {
            return 4095;
        }
        if (CountsToRange(static_cast<uint16_t>(n)) >= v) {
            return static_cast<uint16_t>(n);
        }
        ++n;
    }
}

} // namespace kestrun
