#pragma once
// The whole link against the simulated controller, through a line that a test can disturb on
// purpose: the fault matrix's rig, and the soak's.

#include "sim/SimBootLoader.h"
#include "sim/SimBridge.h"
#include "tests/support/Rig.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kestrun::stress {

using namespace kestrun::test;

/// The simulated bridge with a line that can be disturbed: it can drop everything the
/// controller sends (a dead receive line), put bytes of its own at the head of the next read,
/// or right after a chosen byte when that byte arrives.
class FaultyBridge : public sim::SimBridge {
public:
    bool silent = false;               ///< reads bring nothing from now on
    std::vector<uint8_t> garbageNext;  ///< bytes that come first in the next read
    std::vector<uint8_t> garbageAfter; ///< bytes that follow `garbageTrigger` (once)
    std::optional<uint8_t> garbageTrigger;

    BridgeStatus HidUart_Read(BridgeHandle device, uint8_t* buffer, uint32_t numBytesToRead,
                              uint32_t* numBytesRead) override {
        // The controller's bytes leave room for ours, so nothing has to wait for the next read.
        const uint32_t room = std::min<uint32_t>(numBytesToRead, ReadBufferSize);
        const std::size_t own = garbageNext.size() + (garbageTrigger ? garbageAfter.size() : 0);
        std::vector<uint8_t> line(room);
        uint32_t got = 0;
        const BridgeStatus status = SimBridge::HidUart_Read(
            device, line.data(), room - static_cast<uint32_t>(std::min<std::size_t>(own, room)),
            &got);
        *numBytesRead = 0;
        if (status != BridgeStatusCode::Success && status != BridgeStatusCode::ReadTimedOut) {
            return status;
        }
        if (silent) {
            return BridgeStatusCode::ReadTimedOut;
        }
        line.resize(std::min(got, room));
        line.insert(line.begin(), garbageNext.begin(), garbageNext.end());
        garbageNext.clear();
        const auto trigger =
            garbageTrigger ? std::find(line.begin(), line.end(), *garbageTrigger) : line.end();
        if (trigger != line.end()) {
            line.insert(trigger + 1, garbageAfter.begin(), garbageAfter.end());
            garbageTrigger.reset();
        }
        std::copy(line.begin(), line.end(), buffer);
        *numBytesRead = static_cast<uint32_t>(line.size());
        return line.size() == numBytesToRead ? BridgeStatusCode::Success
                                             : BridgeStatusCode::ReadTimedOut;
    }
};

using StressRig = Rig<FaultyBridge>;

} // namespace kestrun::stress
