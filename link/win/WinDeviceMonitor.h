#pragma once
// Hot-plug on Windows: device-interface notices (WM_DEVICECHANGE) registered with
// RegisterDeviceNotificationW on a message-only window of the thread that builds the monitor. The
// window thread's message loop (Qt's event dispatcher in the window, the tick loop's wait in
// kestrun-cli) delivers them; each arrival or removal of an interface of the watched class becomes
// the link's notice with the event code, device type and path Windows gave, the path converted from
// UTF-16 to UTF-8 ("\\?\HID#VID_10C4&PID_EA80#..." in whatever letter case the system chose: the
// link compares paths ignoring case).
//
// The window procedure only queues the notice and signals noticeHandle(); the surroundings then
// call receive(), so nothing reaches the link from inside a window procedure. Where the window or
// the registration cannot be made the monitor stays silent: the program connects at start-up all
// the same and only hot-plug is lost.

#include "link/BridgeMonitor.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kestrun {

/// The device-interface classes a monitor can watch.
enum class NoticeClass : uint8_t {
    Hid,     ///< HID devices: the USB bridge
    ComPort, ///< serial ports (a USB-UART cable's COM port)
};

/// The link's notice for one WM_DEVICECHANGE: `eventType` its WPARAM, `record` its LPARAM (a
/// DEV_BROADCAST_HDR). Arrival and removal-complete of a device interface keep their codes, type
/// and name; a port's notice (DBT_DEVTYP_PORT) keeps its type and gives the port's name ("COM5").
/// Every other notice, and a record too short for what it claims, gives none.
std::optional<DeviceChange> deviceChangeFromBroadcast(uintptr_t eventType, const void* record);

class WinDeviceMonitor : public DeviceMonitor {
public:
    /// Registers for notices of `watched` interfaces on a new message-only window. Never fails:
    /// without a window the monitor simply delivers nothing.
    explicit WinDeviceMonitor(NoticeClass watched = NoticeClass::Hid);
    ~WinDeviceMonitor() override;
    WinDeviceMonitor(const WinDeviceMonitor&) = delete;
    WinDeviceMonitor& operator=(const WinDeviceMonitor&) = delete;

    /// An event object, signalled while notices wait to be received.
    NoticeHandle noticeHandle() const override;
    /// Every notice the window procedure queued so far, in order; returns at once when there is
    /// none. The thread's messages must have been dispatched (by its message loop) for notices to
    /// be there.
    std::vector<DeviceChange> receive() override;

    /// Makes noticeHandle() fire, for a notice the monitor's owner finds itself (a serial port that
    /// failed under a read) and hands over through its own receive().
    void raise();

    /// The message-only window (an HWND), null when it could not be made. Sending it a
    /// WM_DEVICECHANGE is exactly what Windows does for a notice.
    void* window() const;

private:
    struct Window;
    std::unique_ptr<Window> window_;
};

} // namespace kestrun
