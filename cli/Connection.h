#pragma once
// What a command talks through: the bridge the command line chose (the USB bridge, a serial
// port or the simulated controller), the device monitor that reports its arrival and removal,
// and the tick period. The link engine, its exchanges and the tick loop run on top of it.

#include "cli/CliHost.h"
#include "cli/CliOptions.h"
#include "cli/TickLoop.h"
#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"
#include "link/LinkEngine.h"

#include <chrono>
#include <memory>
#include <string>

namespace kestrun {
class Cp2110Bridge;
}

namespace kestrun::cli {

class Connection {
public:
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Builds what `options` chose. Answers nullptr when the choice cannot be made, with the
    /// reason in `problem` (a bad test-aid variable or serial rate: a usage error).
    static std::unique_ptr<Connection> open(const CliOptions& options, std::string& problem);

    BridgeLibrary& bridge() { return *bridge_; }
    /// Null when nothing reports arrival and removal.
    DeviceMonitor* monitor() { return monitor_; }
    std::chrono::nanoseconds tickPeriod() const { return tickPeriod_; }
    /// The USB bridge's driver, with BridgeChoice::Usb; else null.
    Cp2110Bridge* usbBridge();

private:
    Connection() = default;
    struct Parts;

    std::unique_ptr<Parts> parts_;
    BridgeLibrary* bridge_ = nullptr;
    DeviceMonitor* monitor_ = nullptr;
    std::chrono::nanoseconds tickPeriod_ = LinkTickPeriod;
};

/// The link engine over a connection, started as the window starts it (the initial state, then
/// ConnectBridge with connect()) and shut down in the window's order when it goes (the ticks
/// have stopped by then; the bridge is closed).
class LinkRun {
public:
    /// With `verbose`, tells the connection's state once connected, and the ticks run and the
    /// time taken when the run ends.
    LinkRun(Connection& connection, CliHost& host, bool verbose = false);
    ~LinkRun();
    LinkRun(const LinkRun&) = delete;
    LinkRun& operator=(const LinkRun&) = delete;

    /// Opens the bridge (ConnectBridge); from now on connection changes are told.
    void connect();
    LinkEngine& engine() { return engine_; }
    /// Ticks until the exchange under way has ended (at once when none started).
    TickLoop::Outcome runUntilIdle();
    uint64_t ticks() const { return loop_.ticks(); }

private:
    LinkEngine engine_;
    TickLoop loop_;
    CliHost& host_;
    bool verbose_;
    std::chrono::steady_clock::time_point started_;
};

} // namespace kestrun::cli
