#include "link/udev/UdevMonitor.h"

#include <libudev.h>

#include <cstring>

#include <fcntl.h>

namespace kestrun {
namespace {

struct DeviceUnref {
    void operator()(udev_device* device) const { udev_device_unref(device); }
};
using DevicePtr = std::unique_ptr<udev_device, DeviceUnref>;

// A burst of events (a hub with many devices) is taken in slices so that one notice of the
// socket never holds the GUI thread for long; the rest comes with the next.
constexpr int MaxEventsPerReceive = 64;

} // namespace

std::optional<DeviceChange> deviceChangeFromUevent(const char* action, const char* devnode) {
    if (action == nullptr || devnode == nullptr || devnode[0] == '\0') {
        return std::nullopt;
    }
    uint32_t eventType = 0;
    if (std::strcmp(action, "add") == 0) {
        eventType = DeviceArrival;
    } else if (std::strcmp(action, "remove") == 0) {
        eventType = DeviceRemoveComplete;
    } else {
        return std::nullopt; // "change", "bind", ...: the node neither came nor went
    }
    return DeviceChange{eventType, DeviceNotice{DeviceTypeInterface, devnode}};
}

void UdevMonitor::UdevUnref::operator()(udev* context) const {
    udev_unref(context);
}

void UdevMonitor::MonitorUnref::operator()(udev_monitor* monitor) const {
    udev_monitor_unref(monitor);
}

UdevMonitor::UdevMonitor() : udev_(udev_new()) {
    if (!udev_) {
        return;
    }
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_) {
        return;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        return;
    }
    // libudev makes the socket non-blocking; say so ourselves rather than rely on it, since a
    // blocking receive would freeze the window.
    const int socket = udev_monitor_get_fd(monitor_.get());
    const int flags = socket >= 0 ? ::fcntl(socket, F_GETFL) : -1;
    if (flags >= 0 && (flags & O_NONBLOCK) == 0) {
        ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
    }
}

UdevMonitor::~UdevMonitor() = default;

std::unique_ptr<DeviceMonitor> makeBridgeMonitor() {
    return std::make_unique<UdevMonitor>();
}

NoticeHandle UdevMonitor::noticeHandle() const {
    const int fd = monitor_ ? udev_monitor_get_fd(monitor_.get()) : -1;
    return fd >= 0 ? fd : NoNoticeHandle;
}

std::vector<DeviceChange> UdevMonitor::receive() {
    std::vector<DeviceChange> changes;
    if (!monitor_) {
        return changes;
    }
    // The socket is non-blocking: receive answers null as soon as nothing is waiting.
    for (int i = 0; i < MaxEventsPerReceive; ++i) {
        const DevicePtr device(udev_monitor_receive_device(monitor_.get()));
        if (!device) {
            break;
        }
        if (auto change = deviceChangeFromUevent(udev_device_get_action(device.get()),
                                                 udev_device_get_devnode(device.get()))) {
            changes.push_back(std::move(*change));
        }
    }
    return changes;
}

} // namespace kestrun
