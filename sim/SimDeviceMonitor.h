#pragma once
// The device monitor of the simulated bridge: it delivers the bridge's arrival and removal
// notices through a handle that fires when one is queued, so the window and the command-line
// tool watch it exactly as they watch the platform's own monitor.

#include "link/DeviceMonitor.h"
#include "link/platform/NoticeSignal.h"
#include "sim/SimBridge.h"

namespace kestrun::sim {

class SimDeviceMonitor : public DeviceMonitor {
public:
    /// Watches `bridge`, which must outlive the monitor.
    explicit SimDeviceMonitor(SimBridge& bridge);
    ~SimDeviceMonitor() override;
    SimDeviceMonitor(const SimDeviceMonitor&) = delete;
    SimDeviceMonitor& operator=(const SimDeviceMonitor&) = delete;

    /// Fires while notices wait; NoNoticeHandle if the system gave none (then poll receive()).
    NoticeHandle noticeHandle() const override { return signal_.handle(); }
    std::vector<DeviceChange> receive() override;

private:
    SimBridge& bridge_;
    NoticeSignal signal_;
};

} // namespace kestrun::sim
