#pragma once
// The command-line tool's LinkTimer: a 5 ms loop on absolute deadlines of the monotonic clock,
// so that 1000 ticks take 5 s however long each tick's work takes. Between ticks it waits on the
// device monitor's handle and hands arrival and removal notices to the link, as the window's
// event loop would. A stop request (SIGINT and SIGTERM on Linux; Ctrl-C, Ctrl-Break and closing
// the console on Windows) ends the wait so the command can cancel its exchange.

#include "link/DeviceMonitor.h"
#include "link/LinkEngine.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace kestrun::cli {

/// The link's tick period.
inline constexpr std::chrono::nanoseconds LinkTickPeriod = std::chrono::milliseconds(5);

/// Makes a stop request set a flag instead of ending the process, and wake a sleeping loop at
/// once: SIGINT and SIGTERM on Linux; Ctrl-C, Ctrl-Break and closing the console on Windows
/// (reported as SIGINT, SIGINT and SIGTERM).
void installInterruptHandlers();
/// The signal that asked the tool to stop, or 0.
int interruptSignal();

class TickLoop {
public:
    /// `monitor` may be null (no hot-plug); a `period` of 0 runs the ticks back to back.
    TickLoop(LinkEngine& engine, DeviceMonitor* monitor, std::chrono::nanoseconds period);

    enum class Outcome { Done, Interrupted };

    /// Runs ticks until `done()` answers true (asked before each tick) or a signal arrives.
    Outcome runUntil(const std::function<bool()>& done);

    /// Ticks run so far.
    uint64_t ticks() const { return ticks_; }

private:
    /// Sleeps until `deadline`, delivering device notices as they come.
    void waitUntil(std::chrono::steady_clock::time_point deadline);
    void deliverNotices();

    LinkEngine& engine_;
    DeviceMonitor* monitor_;
    std::chrono::nanoseconds period_;
    uint64_t ticks_ = 0;
};

} // namespace kestrun::cli
