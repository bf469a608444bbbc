#include "app/LinkChoice.h"

#include "link/BridgeMonitor.h"
#include "link/cp2110/Cp2110Bridge.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBridge.h"
#include "sim/SimDeviceMonitor.h"
#include "sim/SimSetup.h"

namespace kestrun {

QString linkChoiceProblem(const CommandLine& options) {
    if (!options.port.isEmpty() && !SerialBridge::isSupportedBaud(options.baud)) {
        return QString::fromStdString(SerialBridge::baudProblem(options.baud));
    }
    if (options.port.isEmpty() && !options.simulate &&
        !Cp2110Bridge::isSupportedBaud(options.baud)) {
        return QString::fromStdString(Cp2110Bridge::baudProblem(options.baud));
    }
    if (options.simulate) {
        sim::SimBridge trial;
        std::chrono::nanoseconds tickPeriod{};
        return QString::fromStdString(
            sim::applySimSetup(sim::simSetupFromEnvironment(), trial, tickPeriod));
    }
    return {};
}

LinkDevices makeLinkDevices(const CommandLine& options) {
    LinkDevices devices;
    if (options.simulate) {
        auto bridge = std::make_unique<sim::SimBridge>();
        // The same simulated controller as the command-line tool's, with the same test aids.
        sim::applySimSetup(sim::simSetupFromEnvironment(), *bridge, devices.tickPeriod);
        devices.ownMonitor = std::make_unique<sim::SimDeviceMonitor>(*bridge);
        devices.bridge = std::move(bridge);
        devices.monitor = devices.ownMonitor.get();
    } else if (!options.port.isEmpty()) {
        auto bridge = std::make_unique<SerialBridge>(options.port.toStdString(), options.baud);
        devices.monitor = bridge.get();
        devices.bridge = std::move(bridge);
    } else {
        auto bridge = std::make_unique<Cp2110Bridge>();
        bridge->setBaud(options.baud);
        devices.bridge = std::move(bridge);
        devices.ownMonitor = makeBridgeMonitor();
        devices.monitor = devices.ownMonitor.get();
    }
    return devices;
}

} // namespace kestrun
