// The command-line tool's tick loop: the pacing on absolute deadlines, shared by both
// platforms. The wait between ticks, and how a stop request reaches it, are the platform's
// (TickLoop_unix.cpp, TickLoop_win.cpp).

#include "cli/TickLoop.h"

#include "link/platform/TimerResolution.h"

namespace kestrun::cli {

TickLoop::TickLoop(LinkEngine& engine, DeviceMonitor* monitor, std::chrono::nanoseconds period)
    : engine_(engine), monitor_(monitor), period_(period) {}

TickLoop::Outcome TickLoop::runUntil(const std::function<bool()>& done) {
    using Clock = std::chrono::steady_clock;
    const FineTimerResolution fineTimer; // for as long as the loop runs
    Clock::time_point deadline = Clock::now();
    while (!done()) {
        if (interruptSignal() != 0) {
            return Outcome::Interrupted;
        }
        deadline += period_;
        const Clock::time_point now = Clock::now();
        // A tool that was stopped (a suspended terminal, a loaded machine) goes on at the normal
        // pace instead of running the missed ticks in a burst, as a window timer would.
        if (now > deadline + period_) {
            deadline = now;
        }
        waitUntil(deadline);
        if (interruptSignal() != 0) {
            return Outcome::Interrupted;
        }
        engine_.LinkTick();
        ++ticks_;
    }
    return Outcome::Done;
}

void TickLoop::deliverNotices() {
    for (const DeviceChange& change : monitor_->receive()) {
        engine_.HandleDeviceChange(change.eventType, &change.notice);
    }
}

} // namespace kestrun::cli
