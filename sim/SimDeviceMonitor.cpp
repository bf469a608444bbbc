#include "sim/SimDeviceMonitor.h"

namespace kestrun::sim {

SimDeviceMonitor::SimDeviceMonitor(SimBridge& bridge) : bridge_(bridge) {
    bridge_.setNoticeListener([this] { signal_.raise(); });
}

SimDeviceMonitor::~SimDeviceMonitor() {
    bridge_.setNoticeListener({});
}

std::vector<DeviceChange> SimDeviceMonitor::receive() {
    signal_.clear();
    return bridge_.takeNotices();
}

} // namespace kestrun::sim
