#pragma once
// The device monitor seam: arrival and removal notices of bridge devices, with the device path,
// for LinkEngine::HandleDeviceChange. On Linux it is a udev monitor on the hidraw subsystem;
// the simulator and the tests deliver notices by hand. It owns no thread and no event loop:
// its surroundings watch fd() (a QSocketNotifier in the window, poll() in the command-line tool)
// and call receive() when it is readable.

#include "link/LinkEngine.h"

#include <cstdint>
#include <vector>

namespace kestrun {

/// One notice: DeviceArrival or DeviceRemoveComplete, and the device it names.
struct DeviceChange {
    uint32_t eventType = DeviceArrival;
    DeviceNotice notice;
};

class DeviceMonitor {
public:
    virtual ~DeviceMonitor() = default;
    /// A file descriptor that becomes readable when notices are waiting, or -1 when the monitor
    /// has nothing to watch (no udev in a container: hot-plug is then simply lost).
    virtual int fd() const = 0;
    /// Takes the notices waiting now, without blocking; empty when there are none.
    virtual std::vector<DeviceChange> receive() = 0;
};

} // namespace kestrun
