#pragma once
// The device monitor seam: arrival and removal notices of bridge devices, with the device path,
// for LinkEngine::HandleDeviceChange. On Linux it is a udev monitor on the hidraw subsystem, on
// Windows a device-notice registration for the HID interface class; the simulator and the tests
// deliver notices by hand.
//
// A monitor owns no thread and no event loop. Its surroundings (the window's event loop, the
// command-line tool's tick loop) wait on its noticeHandle() with the platform's own wait and call
// receive() when it fires:
//   - Linux: the handle is a file descriptor that turns readable while notices wait (watched by
//     a QSocketNotifier in the window, by ppoll() in the command-line tool).
//   - Windows: the handle is an event object (a HANDLE) that is signalled while notices wait
//     (watched by a QWinEventNotifier in the window, by MsgWaitForMultipleObjects in the
//     command-line tool). Windows hands device notices to a window procedure, so a monitor that
//     listens on a message-only window hears them only while the thread that created it pumps
//     its messages: Qt's event loop does so in the window; the command-line tool's loop wakes for
//     every message and dispatches it. The window procedure queues the notice and signals the
//     handle; nothing reaches the link from inside it.
// Either way receive() is called on the thread that created the monitor, never blocks, and takes
// every notice queued so far (clearing the handle before it takes them, so a notice queued while
// it runs signals again).

#include "link/LinkEngine.h"

#include <cstdint>
#include <vector>

namespace kestrun {

/// One notice: DeviceArrival or DeviceRemoveComplete, and the device it names.
struct DeviceChange {
    uint32_t eventType = DeviceArrival;
    DeviceNotice notice;
};

/// What a monitor's surroundings wait on: a file descriptor on Linux, an event HANDLE on
/// Windows, carried as an integer so that the seam names no system header.
using NoticeHandle = std::intptr_t;
/// No handle: the monitor has nothing to wait on (no udev in a container), so hot-plug is lost;
/// the surroundings may still call receive() now and then.
inline constexpr NoticeHandle NoNoticeHandle = -1;

class DeviceMonitor {
public:
    virtual ~DeviceMonitor() = default;
    /// The handle that fires while notices are waiting (see above), or NoNoticeHandle. It stays
    /// the same for the monitor's whole life.
    virtual NoticeHandle noticeHandle() const = 0;
    /// Takes the notices waiting now, in the order they came, without blocking; empty when there
    /// are none.
    virtual std::vector<DeviceChange> receive() = 0;
};

} // namespace kestrun
