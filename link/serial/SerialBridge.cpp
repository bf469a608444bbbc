#include "link/serial/SerialBridge.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace kestrun {
namespace {

struct BaudRate {
    uint32_t rate;
    speed_t code;
};

constexpr std::array<BaudRate, 24> BaudRates{{
    {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
    {38400, B38400},     {57600, B57600},     {115200, B115200},   {230400, B230400},
    {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
    {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
}};

constexpr uint32_t DefaultWriteTimeout = 1000;

const BaudRate* findBaud(uint32_t baud) {
    const auto it = std::find_if(BaudRates.begin(), BaudRates.end(),
                                 [&](const BaudRate& entry) { return entry.rate == baud; });
    return it == BaudRates.end() ? nullptr : &*it;
}

void copyString(char* buffer, const std::string& text) {
    const std::size_t n = std::min(text.size(), DeviceStringLength - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

using SteadyClock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, as poll() takes them.
int remainingMs(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
            .count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, INT_MAX));
}

} // namespace

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

struct SerialBridge::Port {
    UniqueFd fd;
    uint32_t readTimeout = 0;
    uint32_t writeTimeout = DefaultWriteTimeout;
    bool gone = false;
};

bool SerialBridge::isSupportedBaud(uint32_t baud) {
    return findBaud(baud) != nullptr;
}

std::string SerialBridge::baudProblem(uint32_t baud) {
    std::string text = "Unsupported baud rate " + std::to_string(baud) + "; use one of";
    for (std::size_t i = 0; i < BaudRates.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(BaudRates[i].rate);
    }
    return text;
}

SerialBridge::SerialBridge(std::string device, uint32_t baud)
    : device_(std::move(device)), baud_(baud), eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!isSupportedBaud(baud)) {
        throw std::invalid_argument(baudProblem(baud));
    }
}

SerialBridge::~SerialBridge() = default;

SerialBridge::Port* SerialBridge::find(BridgeHandle handle) const {
    for (const auto& port : open_) {
        if (port.get() == handle) {
            return port.get();
        }
    }
    return nullptr;
}

void SerialBridge::markHungUp(Port& port) {
    port.gone = true;
    if (hungUp_) {
        return;
    }
    hungUp_ = true;
    removalPending_ = true;
    if (eventFd_.get() >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(eventFd_.get(), &one, sizeof one);
    }
}

BridgeStatus SerialBridge::HidUart_GetNumDevices(uint32_t* numDevices, uint16_t, uint16_t) {
    if (numDevices == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numDevices = 1;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_GetString(uint32_t deviceNum, uint16_t, uint16_t,
                                             char* deviceString, uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    if (deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    return copyDeviceString(deviceString, options);
}

BridgeStatus SerialBridge::copyDeviceString(char* deviceString, uint32_t options) const {
    switch (options) {
    case BridgeStringOption::Path:
        copyString(deviceString, device_);
        return BridgeStatusCode::Success;
    case BridgeStringOption::Product:
        copyString(deviceString, SerialProductString);
        return BridgeStatusCode::Success;
    default:
        return BridgeStatusCode::InvalidParameter;
    }
}

BridgeStatus SerialBridge::HidUart_Open(BridgeHandle* device, uint32_t deviceNum, uint16_t,
                                        uint16_t) {
    if (device == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    *device = nullptr;
    if (deviceNum != 0) {
        return BridgeStatusCode::DeviceNotFound;
    }
    UniqueFd fd(::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        switch (errno) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return BridgeStatusCode::DeviceNotFound;
        case EACCES:
        case EPERM:
            return BridgeStatusCode::DeviceAccessError;
        default:
            return BridgeStatusCode::DeviceIoFailed;
        }
    }
    termios tio{};
    if (::tcgetattr(fd.get(), &tio) != 0) {
        return errno == ENOTTY ? BridgeStatusCode::DeviceNotSupported
                               : BridgeStatusCode::DeviceIoFailed;
    }
    // Raw bytes both ways: no echo, no line editing, no CR/LF translation, no XON/XOFF (the
    // boot loader's data may hold any byte), 8N1, modem lines ignored, reads never block.
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    const speed_t speed = findBaud(baud_)->code;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        return BridgeStatusCode::DeviceNotSupported;
    }
    // As the USB bridge purges its FIFOs on open: nothing stale reaches the first exchange.
    ::tcflush(fd.get(), TCIOFLUSH);

    auto port = std::make_unique<Port>();
    port->fd = std::move(fd);
    *device = port.get();
    open_.push_back(std::move(port));
    hungUp_ = false;
    removalPending_ = false;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_SetTimeouts(BridgeHandle device, uint32_t readTimeout,
                                               uint32_t writeTimeout) {
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    port->readTimeout = readTimeout;
    port->writeTimeout = writeTimeout;
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_Read(BridgeHandle device, uint8_t* buffer,
                                        uint32_t numBytesToRead, uint32_t* numBytesRead) {
    if (numBytesRead == nullptr || (buffer == nullptr && numBytesToRead > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesRead = 0;
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (port->gone) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port->readTimeout);
    uint32_t got = 0;
    while (got < numBytesToRead) {
        pollfd pfd{port->fd.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            markHungUp(*port);
            break;
        }
        if (ready == 0) {
            break; // nothing more within the read timeout
        }
        if ((pfd.revents & POLLIN) != 0) {
            const ssize_t n = ::read(port->fd.get(), buffer + got, numBytesToRead - got);
            if (n > 0) {
                got += static_cast<uint32_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            }
            // End of file with the line hung up, or a read error (EIO after an unplug).
            if (n < 0 || (pfd.revents & POLLHUP) != 0) {
                markHungUp(*port);
            }
            break;
        }
        if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            markHungUp(*port);
        }
        break;
    }
    *numBytesRead = got;
    // Bytes that came before the hang-up are handed over; the failure shows on the next read.
    if (port->gone && got == 0) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    return got == numBytesToRead ? BridgeStatusCode::Success : BridgeStatusCode::ReadTimedOut;
}

BridgeStatus SerialBridge::HidUart_Write(BridgeHandle device, const uint8_t* buffer,
                                         uint32_t numBytesToWrite, uint32_t* numBytesWritten) {
    if (numBytesWritten == nullptr || (buffer == nullptr && numBytesToWrite > 0)) {
        return BridgeStatusCode::InvalidParameter;
    }
    *numBytesWritten = 0;
    Port* port = find(device);
    if (port == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (port->gone) {
        return BridgeStatusCode::DeviceIoFailed;
    }
    // The port is non-blocking: a full output queue is waited out with poll() for at most the
    // write timeout, so a stalled line never holds the GUI thread longer than that.
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port->writeTimeout);
    uint32_t sent = 0;
    while (sent < numBytesToWrite) {
        const ssize_t n = ::write(port->fd.get(), buffer + sent, numBytesToWrite - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            *numBytesWritten = sent;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int wait = remainingMs(deadline);
            if (wait == 0) {
                return BridgeStatusCode::WriteTimedOut;
            }
            pollfd pfd{port->fd.get(), POLLOUT, 0};
            if (::poll(&pfd, 1, wait) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
                markHungUp(*port);
                return BridgeStatusCode::DeviceIoFailed;
            }
            continue;
        }
        if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) {
            markHungUp(*port);
            return BridgeStatusCode::DeviceIoFailed;
        }
        return BridgeStatusCode::WriteError;
    }
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_GetOpenedString(BridgeHandle device, char* deviceString,
                                                   uint32_t options) {
    if (deviceString == nullptr) {
        return BridgeStatusCode::InvalidParameter;
    }
    deviceString[0] = '\0';
    if (find(device) == nullptr) {
        return BridgeStatusCode::InvalidHandle;
    }
    return copyDeviceString(deviceString, options);
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

int SerialBridge::fd() const {
    return eventFd_.get();
}

std::vector<DeviceChange> SerialBridge::receive() {
    if (eventFd_.get() >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(eventFd_.get(), &count, sizeof count);
    }
    std::vector<DeviceChange> changes;
    if (removalPending_) {
        removalPending_ = false;
        changes.push_back(
            DeviceChange{DeviceRemoveComplete, DeviceNotice{DeviceTypeInterface, device_}});
    }
    return changes;
}

} // namespace kestrun
