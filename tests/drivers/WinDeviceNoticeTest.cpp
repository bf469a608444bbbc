// Device notices on Windows: WM_DEVICECHANGE sent to the monitor's message-only window, as Windows
// sends it, reaches the link with the event code, device type and path it carried. Windows spells
// one HID path in different letter case in hidapi's list and in its notices.

#include "link/serial/SerialBridge.h"
#include "link/win/WinDeviceMonitor.h"
#include "settings/WidePath_win.h"
#include "tests/support/RecordingHost.h"
#include "tests/support/ScriptedBridge.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstring>
#include <optional>
#include <vector>

namespace kestrun {
namespace {

// A notice record as Windows lays it out: the header, then the zero-terminated name at `at`. `size`
// other than 0 claims that size in the header instead of the true one.
std::vector<uint8_t> noticeRecord(DWORD deviceType, const std::wstring& name, std::size_t at,
                                  DWORD size = 0) {
    std::vector<uint8_t> bytes(at + (name.size() + 1) * sizeof(wchar_t));
    std::memcpy(bytes.data() + at, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    auto* header = reinterpret_cast<DEV_BROADCAST_HDR*>(bytes.data());
    header->dbch_size = size != 0 ? size : static_cast<DWORD>(bytes.size());
    header->dbch_devicetype = deviceType;
    return bytes;
}

constexpr std::size_t NameAt = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name);
constexpr std::size_t PortNameAt = offsetof(DEV_BROADCAST_PORT_W, dbcp_name);

TEST(WinDeviceNotices, EachNoticeBecomesTheLinksNoticeOrNone) {
    struct Case {
        WPARAM event;
        std::vector<uint8_t> record;
        std::optional<DeviceChange> change;
    };
    const Case cases[] = {
        {DBT_DEVICEARRIVAL, noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"\\\\?\\hid#a", NameAt),
         DeviceChange{DeviceArrival, {DeviceTypeInterface, "\\\\?\\hid#a"}}},
        {DBT_DEVICEREMOVECOMPLETE,
         noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"\\\\?\\HID#K\u00f6pfe\u65e5", NameAt),
         DeviceChange{DeviceRemoveComplete,
                      {DeviceTypeInterface, "\\\\?\\HID#K\xC3\xB6pfe\xE6\x97\xA5"}}},
        {DBT_DEVICEREMOVECOMPLETE, noticeRecord(DBT_DEVTYP_PORT, L"COM5", PortNameAt),
         DeviceChange{DeviceRemoveComplete, {DBT_DEVTYP_PORT, "COM5"}}},
        // A name that runs to the record's end without its zero is cut there, never read past.
        {DBT_DEVICEARRIVAL,
         noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"abcdef", NameAt, NameAt + 3 * sizeof(wchar_t)),
         DeviceChange{DeviceArrival, {DeviceTypeInterface, "abc"}}},
        {DBT_DEVICEQUERYREMOVE, noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"x", NameAt), {}},
        {DBT_DEVICEARRIVAL, noticeRecord(DBT_DEVTYP_VOLUME, L"", NameAt), {}},
        {DBT_DEVICEARRIVAL, noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, L"x", NameAt, 4), {}},
    };
    for (const Case& c : cases) {
        const auto change = deviceChangeFromBroadcast(c.event, c.record.data());
        ASSERT_EQ(change.has_value(), c.change.has_value()) << c.event;
        if (change) {
            EXPECT_EQ(change->eventType, c.change->eventType);
            EXPECT_EQ(change->notice.deviceType, c.change->notice.deviceType);
            EXPECT_EQ(change->notice.name, c.change->notice.name);
        }
    }
    EXPECT_FALSE(deviceChangeFromBroadcast(DBT_DEVICEARRIVAL, nullptr));
}

// The bridge opened under hidapi's spelling is closed by a removal spelt in lower case, and opened
// again by the next arrival; the monitor's handle wakes its watcher each time.
TEST(WinDeviceNotices, RemovalInOtherLetterCaseAndArrivalReachTheLink) {
    const std::string path = "\\\\?\\HID#VID_10C4&PID_EA80#7&2B1F0C3A&0&0000#{"
                             "4D1E55B2-F16F-11CF-88CB-001111000030}";
    test::ScriptedBridge bridge;
    bridge.devices[0].path = path;
    test::RecordingHost host;
    LinkEngine engine(bridge, host);
    engine.reset();
    engine.ConnectBridge();
    ASSERT_EQ(host.connectionText, "Connected");

    WinDeviceMonitor monitor;
    ASSERT_NE(monitor.window(), nullptr);
    std::wstring lower = widePath(path);
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(towlower(c));
    }
    for (const auto& [event, connection] : {std::pair{DBT_DEVICEREMOVECOMPLETE, "Disconnected"},
                                            std::pair{DBT_DEVICEARRIVAL, "Connected"}}) {
        std::vector<uint8_t> record = noticeRecord(DBT_DEVTYP_DEVICEINTERFACE, lower, NameAt);
        SendMessageW(static_cast<HWND>(monitor.window()), WM_DEVICECHANGE, event,
                     reinterpret_cast<LPARAM>(record.data()));
        const auto handle = reinterpret_cast<HANDLE>(monitor.noticeHandle());
        EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_OBJECT_0}) << connection;
        for (const DeviceChange& change : monitor.receive()) {
            engine.HandleDeviceChange(change.eventType, &change.notice);
        }
        EXPECT_EQ(WaitForSingleObject(handle, 0), DWORD{WAIT_TIMEOUT})
            << "received, so quiet again";
        EXPECT_EQ(host.connectionText, connection);
    }
}

// A USB-UART cable plugged in again: the COM port's interface arrives, and the serial bridge
// (closed since its port went) hands the link an arrival naming its own port, so the link opens
// it anew. A port missing at start is named with Windows' reason.
TEST(WinDeviceNotices, AComPortArrivalLetsTheLinkOpenTheSerialPortAgain) {
    SerialBridge bridge("COM199");
    test::RecordingHost host;
    LinkEngine engine(bridge, host);
    engine.reset();
    engine.ConnectBridge();
    EXPECT_EQ(host.connectionText, "Disconnected");
    EXPECT_EQ(bridge.lastOpenProblem().text.rfind("COM199: ", 0), 0u);

    // The bridge's own window is the only notice window of this process.
    const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KestrunDeviceNotices", nullptr);
    ASSERT_NE(window, nullptr);
    std::vector<uint8_t> record = noticeRecord(
        DBT_DEVTYP_DEVICEINTERFACE,
        L"\\\\?\\FTDIBUS#VID_0403+PID_6001#{86e0d1e0-8089-11d0-9ce4-08003e301f73}", NameAt);
    SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL,
                 reinterpret_cast<LPARAM>(record.data()));
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(bridge.noticeHandle()), 0),
              DWORD{WAIT_OBJECT_0});
    const std::vector<DeviceChange> changes = bridge.receive();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].eventType, DeviceArrival);
    EXPECT_EQ(changes[0].notice.deviceType, DeviceTypeInterface);
    EXPECT_EQ(changes[0].notice.name, "COM199");
}

} // namespace
} // namespace kestrun
