#include "link/owner/OwnerLock.h"
#include "link/serial/PortWatch.h"
#include "link/serial/SerialBridge.h"
#include "link/serial/UniqueFd.h"

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

// The terminal interface's code for each rate of the common list; B0 (never accepted by the
// port) for anything else.
speed_t speedCode(uint32_t baud) {
    switch (baud) {
    // clang-format off
    case 300: return B300;         case 600: return B600;         case 1200: return B1200;
    case 1800: return B1800;       case 2400: return B2400;       case 4800: return B4800;
    case 9600: return B9600;       case 19200: return B19200;     case 38400: return B38400;
    case 57600: return B57600;     case 115200: return B115200;   case 230400: return B230400;
    case 460800: return B460800;   case 500000: return B500000;   case 576000: return B576000;
    case 921600: return B921600;   case 1000000: return B1000000; case 1152000: return B1152000;
    case 1500000: return B1500000; case 2000000: return B2000000; case 2500000: return B2500000;
    case 3000000: return B3000000; case 3500000: return B3500000; case 4000000: return B4000000;
    // clang-format on
    default:
        return B0;
    }
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

// A hang-up met while reading is told through an eventfd; the port's folder and the open port
// itself are watched beside it (PortWatch), all behind the one descriptor the surroundings
// watch like any device monitor.
struct SerialBridge::Watch {
    explicit Watch(const std::string& device) : ports(device, eventFd.get()) {}
    UniqueFd eventFd{::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)};
    PortWatch ports;
};

struct SerialBridge::System {
    UniqueFd fd;
};

SerialBridge::Port::Port() = default;
SerialBridge::Port::~Port() = default;

SerialBridge::SerialBridge(std::string device, uint32_t baud)
    : device_(std::move(device)), baud_(baud), watch_(std::make_unique<Watch>(device_)) {
    if (!isSupportedBaud(baud)) {
        throw std::invalid_argument(baudProblem(baud));
    }
}

SerialBridge::~SerialBridge() = default;

void SerialBridge::markHungUp(Port& port) {
    port.gone = true;
    watch_->ports.unwatchPort();
    if (hungUp_) {
        return;
    }
    hungUp_ = true;
    removalPending_ = true;
    if (watch_->eventFd.get() >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(watch_->eventFd.get(), &one, sizeof one);
    }
}

BridgeStatus SerialBridge::openPort(Port& port) {
    UniqueFd fd(::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        problem_.text = device_ + ": " + std::strerror(error);
        switch (error) {
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
        const int error = errno;
        problem_.text = device_ + ": " + std::strerror(error);
        return error == ENOTTY ? BridgeStatusCode::DeviceNotSupported
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
    const speed_t speed = speedCode(baud_);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd.get(), TCSANOW, &tio) != 0) {
        return BridgeStatusCode::DeviceNotSupported;
    }
    // As the USB bridge purges its FIFOs on open: nothing stale reaches the first exchange.
    ::tcflush(fd.get(), TCIOFLUSH);

    watch_->ports.watchPort(fd.get());
    port.system = std::make_unique<System>();
    port.system->fd = std::move(fd);
    return BridgeStatusCode::Success;
}

// Reads and writes wait in poll() for the port's own timeouts: nothing to set in the terminal.
bool SerialBridge::applyTimeouts(Port&, uint32_t, uint32_t) {
    return true;
}

uint32_t SerialBridge::readSome(Port& port, uint8_t* buffer, uint32_t count) {
    const int fd = port.system->fd.get();
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port.readTimeout);
    uint32_t got = 0;
    while (got < count) {
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            markHungUp(port);
            break;
        }
        if (ready == 0) {
            break; // nothing more within the read timeout
        }
        if ((pfd.revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd, buffer + got, count - got);
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
                markHungUp(port);
            }
            break;
        }
        if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            markHungUp(port);
        }
        break;
    }
    return got;
}

BridgeStatus SerialBridge::writeSome(Port& port, const uint8_t* buffer, uint32_t count,
                                     uint32_t& written) {
    const int fd = port.system->fd.get();
    // The port is non-blocking: a full output queue is waited out with poll() for at most the
    // write timeout, so a stalled line never holds the GUI thread longer than that.
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(port.writeTimeout);
    uint32_t sent = 0;
    while (sent < count) {
        const ssize_t n = ::write(fd, buffer + sent, count - sent);
        if (n > 0) {
            sent += static_cast<uint32_t>(n);
            written = sent;
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
            pollfd pfd{fd, POLLOUT, 0};
            if (::poll(&pfd, 1, wait) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0) {
                markHungUp(port);
                return BridgeStatusCode::DeviceIoFailed;
            }
            continue;
        }
        if (n < 0 && (errno == EIO || errno == ENXIO || errno == ENODEV)) {
            markHungUp(port);
            return BridgeStatusCode::DeviceIoFailed;
        }
        return BridgeStatusCode::WriteError;
    }
    return BridgeStatusCode::Success;
}

BridgeStatus SerialBridge::HidUart_Close(BridgeHandle device) {
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [&](const auto& port) { return port.get() == device; });
    if (it == open_.end()) {
        return BridgeStatusCode::InvalidHandle;
    }
    if (!(*it)->gone) {
        watch_->ports.unwatchPort();
    }
    open_.erase(it);
    return BridgeStatusCode::Success;
}

NoticeHandle SerialBridge::noticeHandle() const {
    const int fd = watch_->ports.fd();
    return fd >= 0 ? fd : NoNoticeHandle;
}

std::vector<DeviceChange> SerialBridge::receive() {
    if (watch_->eventFd.get() >= 0) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(watch_->eventFd.get(), &count, sizeof count);
    }
    const PortWatch::Events events = watch_->ports.take();
    if (events.hungUp || events.vanished) {
        for (const auto& port : open_) {
            if (!port->gone) {
                markHungUp(*port);
            }
        }
    }
    std::vector<DeviceChange> changes;
    if (removalPending_) {
        removalPending_ = false;
        changes.push_back(
            DeviceChange{DeviceRemoveComplete, DeviceNotice{DeviceTypeInterface, device_}});
    }
    // A port of the same name is back (a cable plugged in again): the link opens it anew.
    if (events.appeared) {
        changes.push_back(DeviceChange{DeviceArrival, DeviceNotice{DeviceTypeInterface, device_}});
    }
    return changes;
}

} // namespace kestrun
