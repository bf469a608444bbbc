#pragma once
// The device monitor of the simulated bridge: it delivers the bridge's arrival and removal
// notices through a descriptor that becomes readable when one is queued, so the window and the
// command-line tool watch it exactly as they watch the udev monitor.

#include "link/DeviceMonitor.h"
#include "sim/SimBridge.h"

namespace kestrun::sim {

class SimDeviceMonitor : public DeviceMonitor {
public:
    /// Watches `bridge`, which must outlive the monitor.
    explicit SimDeviceMonitor(SimBridge& bridge);
    ~SimDeviceMonitor() override;
    SimDeviceMonitor(const SimDeviceMonitor&) = delete;
    SimDeviceMonitor& operator=(const SimDeviceMonitor&) = delete;

    /// Readable while notices wait; -1 if the descriptor could not be made (then poll
    /// receive() instead).
    int fd() const override { return eventFd_; }
    std::vector<DeviceChange> receive() override;

private:
    SimBridge& bridge_;
    int eventFd_ = -1;
};

} // namespace kestrun::sim
