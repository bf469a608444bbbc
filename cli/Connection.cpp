#include "cli/Connection.h"

#include "cli/SimSetup.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"

namespace kestrun::cli {

struct Connection::Parts {
    std::unique_ptr<sim::SimBridge> simBridge;
    std::unique_ptr<sim::SimDeviceMonitor> simMonitor;
};

Connection::~Connection() = default;

std::unique_ptr<Connection> Connection::open(const CliOptions& options, std::string& problem) {
    std::unique_ptr<Connection> connection(new Connection());
    connection->choice_ = options.bridge;
    connection->parts_ = std::make_unique<Parts>();
    Parts& parts = *connection->parts_;
    switch (options.bridge) {
    case BridgeChoice::Simulate: {
        parts.simBridge = std::make_unique<sim::SimBridge>();
        problem =
            applySimSetup(simSetupFromEnvironment(), *parts.simBridge, connection->tickPeriod_);
        if (!problem.empty()) {
            return nullptr;
        }
        parts.simMonitor = std::make_unique<sim::SimDeviceMonitor>(*parts.simBridge);
        connection->bridge_ = parts.simBridge.get();
        connection->monitor_ = parts.simMonitor.get();
        break;
    }
    case BridgeChoice::Port:
    case BridgeChoice::Usb:
        problem = "this build has no driver for the chosen bridge";
        return nullptr;
    }
    return connection;
}

LinkRun::LinkRun(Connection& connection, CliHost& host)
    : engine_(connection.bridge(), host),
      loop_(engine_, connection.monitor(), connection.tickPeriod()) {
    engine_.reset();
    engine_.ConnectBridge();
    host.announceConnectionChanges();
}

LinkRun::~LinkRun() {
    engine_.shutdown();
}

TickLoop::Outcome LinkRun::runUntilIdle() {
    return loop_.runUntil([this] { return engine_.isIdle(); });
}

} // namespace kestrun::cli
