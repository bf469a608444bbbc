#pragma once
// The simulated controller's transmit queue: bytes the controller has put on its UART, each due
// at a tick of the simulated clock, handed to the bridge tick by tick. Shaping options let a test
// spread a reply over several ticks, as a slow or busy controller would.

#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace kestrun::sim {

/// How the controller's bytes are spread over ticks.
struct OutputShaping {
    /// At most this many bytes reach the bridge in one tick; 0 means no limit.
    uint32_t maxBytesPerTick = 0;
    /// Ticks without delivery after each limited chunk (only with maxBytesPerTick).
    uint32_t ticksBetweenChunks = 0;
};

class SimOutput {
public:
    /// Queues `bytes` at tick `now`: they become readable on tick now + 1 + delayTicks at the
    /// earliest, and always after every byte queued before them (one UART, one order).
    void send(uint64_t now, std::span<const uint8_t> bytes, uint32_t delayTicks = 0);

    /// Moves the bytes due at tick `now` into `into`, within the shaping limits.
    void deliver(uint64_t now, const OutputShaping& shaping, std::vector<uint8_t>& into);

    /// Drops everything not yet delivered (a controller reset or a pulled cable).
    void clear();
    bool empty() const { return pending_.empty(); }
    std::size_t size() const { return pending_.size(); }

private:
    struct Pending {
        uint64_t due;
        uint8_t byte;
    };
    std::deque<Pending> pending_;
    uint64_t nextChunkTick_ = 0;
};

} // namespace kestrun::sim
