#pragma once
// What the link talks through, as the command line chose it: the bridge on USB with udev's
// hot-plug notices (the default), a serial port (--port), or the simulated controller with its
// boot loader (--simulate), so every button does something real without hardware.

#include "app/CommandLine.h"
#include "link/BridgeLibrary.h"
#include "link/DeviceMonitor.h"

#include <QString>

#include <chrono>

#include <memory>

namespace kestrun {

struct LinkDevices {
    std::unique_ptr<BridgeLibrary> bridge;
    /// A monitor of its own, destroyed before the bridge it may watch; may be null.
    std::unique_ptr<DeviceMonitor> ownMonitor;
    /// The monitor the view watches: ownMonitor, the bridge itself (a serial port reports its
    /// own hang-up), or null.
    DeviceMonitor* monitor = nullptr;
    /// The link's tick period: 5 ms, or what the simulator's test aids choose.
    std::chrono::nanoseconds tickPeriod = std::chrono::milliseconds(5);
};

/// Why the command line's link cannot be made (an unsupported baud rate, a simulator test aid
/// that makes no sense), or empty.
QString linkChoiceProblem(const CommandLine& options);

/// Makes the bridge and the device monitor the command line asks for. Call only when
/// linkChoiceProblem() is empty.
LinkDevices makeLinkDevices(const CommandLine& options);

} // namespace kestrun
