// The serial bridge on Windows: the communications API on a COM port, opened exclusively (as
// Windows opens every COM port), raw 8N1 without flow control, reads that never wait. A port that
// fails under a read or write is taken as gone, as an unplugged USB-UART cable is; COM-port
// interface notices on a message-only window tell when a port comes back.

#include "link/serial/SerialBridge.h"

#include "link/owner/OwnerLock.h"
#include "link/win/WinDeviceMonitor.h"
#include "settings/WidePath_win.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace kestrun {
namespace {

/// After the port's name, when another program has the port open.
constexpr const char* PortBusyText = " is in use by another program";

struct HandleClose {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

// "COM3" and "com12" become "\\.\COM3" and "\\.\com12": without the prefix Windows knows only COM1
// to COM9. Any other name ("\\.\COM12", a device path) is used as given.
std::string systemName(const std::string& device) {
    const bool bareCom =
        device.size() > 3 && (device[0] == 'C' || device[0] == 'c') &&
        (device[1] == 'O' || device[1] == 'o') && (device[2] == 'M' || device[2] == 'm') &&
        std::all_of(device.begin() + 3, device.end(),
                    [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
    return bareCom ? "\\\\.\\" + device : device;
}

// Reads hand over at once what has arrived, or wait up to `readWait` ms for the first byte; writes
// wait at most `writeTimeout` ms (0 would mean no limit to Windows, so at least 1).
bool setCommTimeouts(HANDLE port, uint32_t readWait, uint32_t writeTimeout) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = readWait == 0 ? 0 : MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = readWait;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = std::max<uint32_t>(writeTimeout, 1);
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// What Windows says of `error`, in its own words without the closing period and line end.
std::string systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? utf8Path(std::wstring_view(text, length)) : "";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return message.empty() ? "system error " + std::to_string(error) : message;
}

using SteadyClock = std::chrono::steady_clock;

uint32_t remainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left <= 0 ? 0 : static_cast<uint32_t>(std::min<long long>(left, MAXDWORD - 1));
}

} // namespace

// The hang-up and the COM-port notices reach the surroundings through one monitor.
struct SerialBridge::Watch {
    WinDeviceMonitor ports{NoticeClass::ComPort};
};

struct SerialBridge::System {
    UniqueHandle handle;
    uint32_t readWait = 0; ///< the read wait the port is set to now
};

SerialBridge::Port::Port() = default;
SerialBridge::Port::~Port() = default;

SerialBridge::SerialBridge(std::string device, uint32_t baud)
    : device_(std::move(device)), baud_(baud), watch_(std::make_unique<Watch>()) {
    if (!isSupportedBaud(baud)) {
        throw std::invalid_argument(baudProblem(baud));
    }
}

SerialBridge::~SerialBridge() = default;

void SerialBridge::markHungUp(Port& port) {
    port.gone = true;
    if (hungUp_) {
        return;
    }
    hungUp_ = true;
    removalPending_ = true;
    watch_->ports.raise();
}

BridgeStatus SerialBridge::openPort(Port& port) {
    UniqueHandle handle(CreateFileW(widePath(systemName(device_)).c_str(),
                                    GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (handle.get() == INVALID_HANDLE_VALUE) {
        handle.release();
        const DWORD error = GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            problem_.text = device_ + ": " + systemMessage(error);
            return BridgeStatusCode::DeviceNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            // Windows opens a COM port for one program at a time, and does not say which.
            problem_.inUse = true;
            problem_.text = device_ + PortBusyText;
            return BridgeStatusCode::DeviceAccessError;
        default:
            problem_.text = device_ + ": " + systemMessage(error);
            return BridgeStatusCode::DeviceIoFailed;
        }
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(handle.get(), &dcb) == FALSE) {
        // A file or another device, not a port.
        problem_.text = device_ + ": " + systemMessage(GetLastError());
        return BridgeStatusCode::DeviceNotSupported;
    }
    // Raw bytes both ways: 8N1, no flow control of either kind (the boot loader's data may hold any
    // byte), no byte replaced or dropped, a line error never stops the port; DTR and RTS raised as
    // an open raises them on Linux.
    dcb.BaudRate = baud_;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fAbortOnError = FALSE;
    if (SetCommState(handle.get(), &dcb) == FALSE ||
        !setCommTimeouts(handle.get(), 0, port.writeTimeout)) {
        problem_.text = device_ + ": " + systemMessage(GetLastError());
        return BridgeStatusCode::DeviceNotSupported;
    }
    // As the USB bridge purges its FIFOs on open: nothing stale reaches the first exchange.
    PurgeComm(handle.get(), PURGE_RXCLEAR | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_TXABORT);

    port.system = std::make_unique<System>();
    port.system->handle = std::move(handle);
    return BridgeStatusCode::Success;
}

// Each read asks for no wait; readSome lengthens it while it waits out the read timeout.
bool SerialBridge::applyTimeouts(Port& port, uint32_t, uint32_t writeTimeout) {
    if (!setCommTimeouts(port.system->handle.get(), 0, writeTimeout)) {
        return false;
    }
    port.system->readWait = 0;
    return true;
}

uint32_t SerialBridge::readSome(Port& port, uint8_t* buffer, uint32_t count) {
    System& system = *port.system;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port.readTimeout);
    uint32_t got = 0;
    while (got < count) {
        DWORD n = 0;
        if (ReadFile(system.handle.get(), buffer + got, count - got, &n, nullptr) == FALSE) {
            // A port fails a read once its device is gone (an unplugged cable); line errors do not
            // fail it, since the port never aborts on them.
            markHungUp(port);
            break;
        }
        got += n;
        const uint32_t left = remainingMs(deadline);
        if (got == count || left == 0) {
            break;
        }
        // With a read timeout the next read waits for its first byte, at most what is left.
        if (setCommTimeouts(system.handle.get(), left, port.writeTimeout)) {
            system.readWait = left;
        }
    }
    if (system.readWait != 0 && setCommTimeouts(system.handle.get(), 0, port.writeTimeout)) {
        system.readWait = 0;
    }
    return got;
}

BridgeStatus SerialBridge::writeSome(Port& port, const uint8_t* buffer, uint32_t count,
                                     uint32_t& written) {
    // The port's write timeout bounds the whole write, so a stalled line never holds the GUI thread
    // longer than that.
    DWORD n = 0;
    const BOOL ok = WriteFile(port.system->handle.get(), buffer, count, &n, nullptr);
    written = n;
    if (ok == FALSE) {
        markHungUp(port);
        return BridgeStatusCode::DeviceIoFailed;
    }
    return n == count ? BridgeStatusCode::Success : BridgeStatusCode::WriteTimedOut;
}

BridgeStatus SerialBridge::HidUart_Close(BridgeHandle device) {
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const auto& port) { return port.get() == device; });
    if (it == open_.end()) {
        return BridgeStatusCode::InvalidHandle;
    }
    open_.erase(it);
    return BridgeStatusCode::Success;
}

NoticeHandle SerialBridge::noticeHandle() const {
    return watch_->ports.noticeHandle();
}

std::vector<DeviceChange> SerialBridge::receive() {
    std::vector<DeviceChange> changes;
    for (const DeviceChange& notice : watch_->ports.receive()) {
        if (notice.eventType == DeviceArrival && open_.empty()) {
            // A COM port came: perhaps this one, back again. The link tries to open it.
            changes.push_back(
                DeviceChange{DeviceArrival, DeviceNotice{DeviceTypeInterface, device_}});
        } else if (notice.eventType == DeviceRemoveComplete) {
            // A COM port went: this one if its handle no longer works.
            for (const auto& port : open_) {
                DWORD errors = 0;
                if (!port->gone &&
                    ClearCommError(port->system->handle.get(), &errors, nullptr) == FALSE) {
                    markHungUp(*port);
                }
            }
        }
    }
    if (removalPending_) {
        removalPending_ = false;
        changes.push_back(
            DeviceChange{DeviceRemoveComplete, DeviceNotice{DeviceTypeInterface, device_}});
    }
    return changes;
}

} // namespace kestrun
