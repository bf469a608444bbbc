#include "cli/Connection.h"

#include "cli/CliText.h"

#include "link/BridgeMonitor.h"
#include "link/cp2110/Cp2110Bridge.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "sim/SimSetup.h"
#include <cstdio>

namespace kestrun::cli {

struct Connection::Parts {
    std::unique_ptr<sim::SimBridge> simBridge;
    std::unique_ptr<sim::SimDeviceMonitor> simMonitor;
    std::unique_ptr<SerialBridge> serial;
    std::unique_ptr<Cp2110Bridge> usb;
    std::unique_ptr<DeviceMonitor> usbMonitor;
};

Connection::~Connection() = default;

std::unique_ptr<Connection> Connection::open(const CliOptions& options, std::string& problem) {
    std::unique_ptr<Connection> connection(new Connection());
    connection->parts_ = std::make_unique<Parts>();
    Parts& parts = *connection->parts_;
    switch (options.bridge) {
    case BridgeChoice::Simulate: {
        parts.simBridge = std::make_unique<sim::SimBridge>();
        problem = sim::applySimSetup(sim::simSetupFromEnvironment(), *parts.simBridge,
                                     connection->tickPeriod_);
        if (!problem.empty()) {
            return nullptr;
        }
        parts.simMonitor = std::make_unique<sim::SimDeviceMonitor>(*parts.simBridge);
        connection->bridge_ = parts.simBridge.get();
        connection->monitor_ = parts.simMonitor.get();
        break;
    }
    case BridgeChoice::Port:
        if (!SerialBridge::isSupportedBaud(options.baud)) {
            problem = SerialBridge::baudProblem(options.baud);
            return nullptr;
        }
        // The port is its own device monitor: a hang-up arrives as its removal.
        parts.serial = std::make_unique<SerialBridge>(options.port, options.baud);
        connection->bridge_ = parts.serial.get();
        connection->monitor_ = parts.serial.get();
        break;
    case BridgeChoice::Usb:
        if (!Cp2110Bridge::isSupportedBaud(options.baud)) {
            problem = Cp2110Bridge::baudProblem(options.baud);
            return nullptr;
        }
        parts.usb = std::make_unique<Cp2110Bridge>();
        parts.usb->setBaud(options.baud);
        parts.usbMonitor = makeBridgeMonitor();
        connection->bridge_ = parts.usb.get();
        connection->monitor_ = parts.usbMonitor.get();
        break;
    }
    return connection;
}

Cp2110Bridge* Connection::usbBridge() {
    return parts_->usb.get();
}

LinkRun::LinkRun(Connection& connection, CliHost& host, bool verbose)
    : engine_(connection.bridge(), host),
      loop_(engine_, connection.monitor(), connection.tickPeriod()), host_(host), verbose_(verbose),
      started_(std::chrono::steady_clock::now()) {
    engine_.reset();
    // From here on Ctrl-C cancels the exchange instead of killing the tool mid-frame; before,
    // there is nothing to cancel.
    installInterruptHandlers();
}

void LinkRun::connect() {
    engine_.ConnectBridge();
    if (verbose_) {
        host_.printLine(host_.connectionText());
    }
    host_.announceConnectionChanges();
}

LinkRun::~LinkRun() {
    if (verbose_) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started_;
        char text[64];
        std::snprintf(text, sizeof text, CliText::TicksTaken,
                      static_cast<unsigned long long>(loop_.ticks()), elapsed.count());
        host_.printLine(text);
    }
    engine_.shutdown();
}

TickLoop::Outcome LinkRun::runUntilIdle() {
    return loop_.runUntil([this] { return engine_.isIdle(); });
}

} // namespace kestrun::cli
