// Device notices on Windows: WM_DEVICECHANGE sent to the monitor's message-only window, as Windows
// sends it, reaches the link with the event code, device type and path it carried. Windows spells
// one HID path in different letter case in hidapi's list and in its notices.

#include "link/serial/SerialBridge.h"
#include "link/win/WinDeviceMonitor.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstring>

namespace kestrun {
namespace {

constexpr std::size_t NameAt = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);

// A notice record as Windows lays it out: the header, then the zero-terminated name (a port's at
// its own place). `size` other than 0 claims that size in the header instead of the true one.
std::vector<uint8_t> noticeRecord(DWORD deviceType, const std::wstring& name, DWORD size = 0) {
    const std::size_t at =
        deviceType == DBT_DEVTYP_PORT ? offsetof(DEV_BROADCAST_PORT_W, dbcp_name) : NameAt;
    std::vector<uint8_t> bytes(at + (name.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data() + at, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(bytes.data());
    header->dbch_size = size != 0 ? size : static_cast<DWORD>(bytes.size());
    header->dbch_devicetype = deviceType;
    return bytes;
}

TEST(WinDeviceNotices, EachNoticeBecomesTheLinksNoticeOrNone) {
    constexpr DWORD Interface = DBT_DEVTYP_DEVICEINTERFACE;
    const struct {
        WPARAM event;
        DWORD type;
        std::wstring name;
        DWORD size;
        const char* expected; ///< the notice's name; nullptr: no notice
    } cases[] = {
        {DBT_DEVICEARRIVAL, Interface, L"\\\\?\\hid#a", 0, "\\\\?\\hid#a"},
        {DBT_DEVICEREMOVECOMPLETE, Interface, L"\\\\?\\HID#K\u00f6pfe\u65e5", 0,
         "\\\\?\\HID#K\xC3\xB6pfe\xE6\x97\xA5"},
        {DBT_DEVICEREMOVECOMPLETE, DBT_DEVTYP_PORT, L"COM5", 0, "COM5"},
        // A name that runs to the record's end without its zero is cut there, never read past.
        {DBT_DEVICEARRIVAL, Interface, L"abcdef", NameAt + 3 * sizeof(wchar_t), "abc"},
        {DBT_DEVICEQUERYREMOVE, Interface, L"x", 0, nullptr},
        {DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME, L"", 0, nullptr},
        {DBT_DEVICEARRIVAL, Interface, L"x", 4, nullptr},
    };
    for (const auto& c : cases) {
        const auto change =
            deviceChangeFromBroadcast(c.event, noticeRecord(c.type, c.name, c.size).data());
        ASSERT_EQ(change.has_value(), c.expected != nullptr) << c.event << " " << c.expected;
        if (change) {
            EXPECT_EQ(change->eventType, c.event);
            EXPECT_EQ(change->notice.deviceType, c.type);
            EXPECT_EQ(change->notice.name, c.expected);
        }
    }
    EXPECT_FALSE(deviceChangeFromBroadcast(DBT_DEVICEARRIVAL, nullptr));
}

// The bridge opened under hidapi's spelling is closed by a removal spelt in lower case, and opened
// again by the next arrival; the monitor's handle wakes its watcher each time.
TEST(WinDeviceNotices, RemovalInOtherLetterCaseAndArrivalReachTheLink) {
    test::Rig<> rig(false);
    rig.bridge.devices[0].path = "\\\\?\\HID#VID_10C4&PID_EA80#7&2B1F0C3A&0&0000";
    rig.engine.ConnectBridge();
    ASSERT_EQ(rig.host.connectionText, "Connected");
    WinDeviceMonitor monitor;
    const auto handle = reinterpret_cast<HANDLE>(monitor.noticeHandle());
    for (const auto& [event, connection] : {std::pair{DBT_DEVICEREMOVECOMPLETE, "Disconnected"},
                                            std::pair{DBT_DEVICEARRIVAL, "Connected"}}) {
        std::vector<uint8_t> record = noticeRecord(
            DBT_DEVTYP_DEVICEINTERFACE, L"\\\\?\\hid#vid_10c4&pid_ea80#7&2b1f0c3a&0&0000");
        SendMessageW(static_cast<HWND>(monitor.window()), WM_DEVICECHANGE, event,
                     reinterpret_cast<LPARAM>(record.data()));
        EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_OBJECT_0}) << connection;
        for (const DeviceChange& change : monitor.receive()) {
            rig.engine.HandleDeviceChange(change.eventType, &change.notice);
        }
        EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_TIMEOUT})
            << "received, so quiet again";
        EXPECT_EQ(rig.host.connectionText, connection);
    }
}

// A USB-UART cable plugged in again: the COM port's interface arrives, and the serial bridge
// (closed since its port went) hands the link an arrival naming its own port, so the link opens
// it anew. A port missing at start is named with Windows' reason.
TEST(WinDeviceNotices, AComPortArrivalLetsTheLinkOpenTheSerialPortAgain) {
    test::Rig<SerialBridge> rig(true, "COM199");
    EXPECT_EQ(rig.host.connectionText, "Disconnected");
    EXPECT_EQ(rig.bridge.lastOpenProblem().text.rfind("COM199: ", 0), 0u);
    // The bridge's own window is the only notice window of this process.
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KestrunDeviceNotices", nullptr);
    std::vector<uint8_t> record =
        noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"\\\\?\\FTDIBUS#VID_0403+PID_6001#0000");
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                 reinterpret_cast<LPARAM>(record.data()));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(rig.bridge.noticeHandle()), 0),
              DWORD{WAIT_OBJECT_0});
    const std::vector<DeviceChange> changes = rig.bridge.receive();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].eventType, DeviceArrival);
    EXPECT_EQ(changes[0].notice.deviceType, DeviceTypeInterface);
    EXPECT_EQ(changes[0].notice.name, "COM199");
}

} // namespace
} // namespace kestrun
