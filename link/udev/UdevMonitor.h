#pragma once
// Hot-plug of the bridge on Linux: a libudev monitor on the hidraw subsystem. Each hidraw node
// that appears or goes away becomes an arrival or removal notice whose path is the node
// ("/dev/hidraw3"), the same text hidapi gives, so a removal matches the open bridge's path.
//
// Where no udev runs (a container) the monitor is still built and stays silent: the program
// connects at start-up all the same and only hot-plug is lost. Nothing is ever printed.

#include "link/BridgeMonitor.h"

#include <memory>
#include <optional>
#include <vector>

struct udev;
struct udev_monitor;

namespace kestrun {

/// The notice for one udev event on a hidraw node: "add" is an arrival, "remove" a removal;
/// other actions, and events without a device node, give none.
std::optional<DeviceChange> deviceChangeFromUevent(const char* action, const char* devnode);

class UdevMonitor : public DeviceMonitor {
public:
    /// Never fails: without udev, noticeHandle() is NoNoticeHandle (or never becomes readable).
    UdevMonitor();
    ~UdevMonitor() override;
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    /// The monitor's non-blocking netlink socket, or NoNoticeHandle when there is none.
    NoticeHandle noticeHandle() const override;
    /// Every event waiting now, in order; returns at once when there is none.
    std::vector<DeviceChange> receive() override;

private:
    struct UdevUnref {
        void operator()(udev* context) const;
    };
    struct MonitorUnref {
        void operator()(udev_monitor* monitor) const;
    };

    std::unique_ptr<udev, UdevUnref> udev_;
    std::unique_ptr<udev_monitor, MonitorUnref> monitor_;
};

} // namespace kestrun
