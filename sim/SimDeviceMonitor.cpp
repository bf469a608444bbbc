#include "sim/SimDeviceMonitor.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace kestrun::sim {

SimDeviceMonitor::SimDeviceMonitor(SimBridge& bridge)
    : bridge_(bridge), eventFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    bridge_.setNoticeListener([this] {
        if (eventFd_ >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t n = write(eventFd_, &one, sizeof one);
        }
    });
}

SimDeviceMonitor::~SimDeviceMonitor() {
    bridge_.setNoticeListener({});
    if (eventFd_ >= 0) {
        close(eventFd_);
    }
}

std::vector<DeviceChange> SimDeviceMonitor::receive() {
    if (eventFd_ >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = read(eventFd_, &count, sizeof count);
    }
    return bridge_.takeNotices();
}

} // namespace kestrun::sim
