#include "sim/SimOutput.h"

#include <algorithm>

namespace kestrun::sim {

void SimOutput::send(uint64_t now, std::span<const uint8_t> bytes, uint32_t delayTicks) {
    uint64_t due = now + 1 + delayTicks;
    // The UART sends in order: nothing may overtake a byte queued earlier.
    if (!pending_.empty()) {
        due = std::max(due, pending_.back().due);
    }
    for (uint8_t byte : bytes) {
        pending_.push_back({due, byte});
    }
}

void SimOutput::deliver(uint64_t now, const OutputShaping& shaping, std::vector<uint8_t>& into) {
    if (now < nextChunkTick_) {
        return;
    }
    uint32_t delivered = 0;
    while (!pending_.empty() && pending_.front().due <= now) {
        if (shaping.maxBytesPerTick != 0 && delivered == shaping.maxBytesPerTick) {
            break;
        }
        into.push_back(pending_.front().byte);
        pending_.pop_front();
        ++delivered;
    }
    if (delivered != 0 && shaping.maxBytesPerTick != 0) {
        nextChunkTick_ = now + 1 + shaping.ticksBetweenChunks;
    }
}

void SimOutput::clear() {
    pending_.clear();
    nextChunkTick_ = 0;
}

} // namespace kestrun::sim
