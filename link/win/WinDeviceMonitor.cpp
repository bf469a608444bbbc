#include "link/win/WinDeviceMonitor.h"

#include "link/platform/NoticeSignal.h"
#include "settings/WidePath_win.h"

#include <windows.h>

#include <dbt.h>

#include <algorithm>
#include <cstddef>
#include <cwchar>
#include <type_traits>
#include <utility>

namespace kestrun {
namespace {

// The interface classes' GUIDs, as the device installation headers define them.
constexpr GUID HidInterfaceGuid = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr GUID ComPortInterfaceGuid = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

constexpr const wchar_t* WindowClassName = L"KestrunDeviceNotices";

// The name at `offset` of a record of `size` bytes: up to its zero, never past the record.
std::string nameInRecord(const void* record, std::size_t size, std::size_t offset) {
    if (size <= offset) {
        return {};
    }
    const auto* name = reinterpret_cast<const wchar_t*>(static_cast<const char*>(record) + offset);
    const std::size_t units = (size - offset) / sizeof(wchar_t);
    return utf8Path(std::wstring_view(name, std::find(name, name + units, L'\0') - name));
}

struct WindowDestroy {
    void operator()(HWND window) const { DestroyWindow(window); }
};
struct NotifyUnregister {
    void operator()(HDEVNOTIFY registration) const { UnregisterDeviceNotification(registration); }
};

} // namespace

std::optional<DeviceChange> deviceChangeFromBroadcast(uintptr_t eventType, const void* record) {
    if ((eventType != DBT_DEVICEARRIVAL && eventType != DBT_DEVICEREMOVECOMPLETE) ||
        record == nullptr) {
        return std::nullopt;
    }
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(record);
    const std::size_t size = header->dbch_size;
    if (size < sizeof(DEV_BROADCAST_HDR)) {
        return std::nullopt;
    }
    const auto event = static_cast<uint32_t>(eventType);
    switch (header->dbch_devicetype) {
    case DBT_DEVTYP_DEVICEINTERFACE:
        return DeviceChange{
            event,
            DeviceNotice{
                DBT_DEVTYP_DEVICEINTERFACE,
                nameInRecord(record, size, offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name))}};
    case DBT_DEVTYP_PORT:
        return DeviceChange{
            event,
            DeviceNotice{DBT_DEVTYP_PORT,
                         nameInRecord(record, size, offsetof(DEV_BROADCAST_PORT_W, dbcp_name))}};
    default:
        return std::nullopt;
    }
}

struct WinDeviceMonitor::Window {
    NoticeSignal signal;
    std::unique_ptr<HWND__, WindowDestroy> window;
    std::unique_ptr<std::remove_pointer_t<HDEVNOTIFY>, NotifyUnregister> registration;
    std::vector<DeviceChange> waiting;

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != WM_DEVICECHANGE) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr) {
            if (auto change = deviceChangeFromBroadcast(wParam, reinterpret_cast<void*>(lParam))) {
                self->waiting.push_back(std::move(*change));
                self->signal.raise();
            }
        }
        return TRUE; // every notice counts as handled
    }

    static bool registerClass() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &Window::procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = WindowClassName;
        // A second monitor in the same process finds the class already there.
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
};

WinDeviceMonitor::WinDeviceMonitor(NoticeClass watched) : window_(std::make_unique<Window>()) {
    if (!Window::registerClass()) {
        return;
    }
    window_->window.reset(CreateWindowExW(0, WindowClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, GetModuleHandleW(nullptr), nullptr));
    if (!window_->window) {
        return;
    }
    SetWindowLongPtrW(window_->window.get(), GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(window_.get()));
    DEV_BROADCAST_DEVICEINTERFACE_W filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = watched == NoticeClass::Hid ? HidInterfaceGuid : ComPortInterfaceGuid;
    window_->registration.reset(
        RegisterDeviceNotificationW(window_->window.get(), &filter, DEVICE_NOTIFY_WINDOW_HANDLE));
}

std::unique_ptr<DeviceMonitor> makeBridgeMonitor() {
    return std::make_unique<WinDeviceMonitor>(NoticeClass::Hid);
}

WinDeviceMonitor::~WinDeviceMonitor() {
    if (window_->window) {
        // No notice reaches a monitor that is going away.
        SetWindowLongPtrW(window_->window.get(), GWLP_USERDATA, 0);
    }
    window_->registration.reset();
    window_->window.reset();
}

NoticeHandle WinDeviceMonitor::noticeHandle() const {
    return window_->signal.handle();
}

std::vector<DeviceChange> WinDeviceMonitor::receive() {
    window_->signal.clear();
    return std::exchange(window_->waiting, {});
}

void WinDeviceMonitor::raise() {
    window_->signal.raise();
}

void* WinDeviceMonitor::window() const {
    return window_->window.get();
}

} // namespace kestrun
