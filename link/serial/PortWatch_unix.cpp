#include "link/serial/PortWatch.h"

#include <array>
#include <climits>
#include <cstring>

#include <sys/epoll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace kestrun {
namespace {

// A node made by udev gets its group and rights a moment later (IN_ATTRIB): the open that
// failed on the bare node is tried again then.
constexpr uint32_t Appeared = IN_CREATE | IN_MOVED_TO | IN_ATTRIB;
constexpr uint32_t Vanished = IN_DELETE | IN_MOVED_FROM;

void add(int epoll, int fd, uint32_t events) {
    if (epoll >= 0 && fd >= 0) {
        epoll_event event{};
        event.events = events;
        event.data.fd = fd;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
    }
}

} // namespace

PortWatch::PortWatch(const std::string& device, int wakeFd)
    : epoll_(::epoll_create1(EPOLL_CLOEXEC)), wakeFd_(wakeFd) {
    const std::size_t slash = device.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : device.substr(0, slash);
    name_ = slash == std::string::npos ? device : device.substr(slash + 1);
    // A pseudo-terminal's number is handed to the next terminal opened anywhere on the machine:
    // one that "comes back" under the same name is somebody else's, never the emulator's again.
    // (An emulator's stable name is a symlink in a folder of its own, and that is watched.)
    if (folder != "/dev/pts") {
        inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    }
    if (inotify_ >= 0 && ::inotify_add_watch(inotify_, folder.c_str(), Appeared | Vanished) < 0) {
        ::close(inotify_);
        inotify_ = -1;
    }
    add(epoll_, inotify_, EPOLLIN);
    add(epoll_, wakeFd_, EPOLLIN);
}

PortWatch::~PortWatch() {
    for (int fd : {epoll_, inotify_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

int PortWatch::fd() const {
    return epoll_ >= 0 ? epoll_ : wakeFd_;
}

void PortWatch::watchPort(int portFd) {
    unwatchPort();
    portFd_ = portFd;
    // No event asked for: a hang-up and an error are always reported, data never is.
    add(epoll_, portFd_, 0);
}

void PortWatch::unwatchPort() {
    if (epoll_ >= 0 && portFd_ >= 0) {
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, portFd_, nullptr);
    }
    portFd_ = -1;
}

PortWatch::Events PortWatch::take() {
    Events events;
    if (epoll_ < 0) {
        return events;
    }
    std::array<epoll_event, 4> ready{};
    const int n = ::epoll_wait(epoll_, ready.data(), static_cast<int>(ready.size()), 0);
    for (int i = 0; i < n; ++i) {
        if (ready[i].data.fd == portFd_ && portFd_ >= 0) {
            // A hang-up stays reported until the port is closed: stop watching it now.
            events.hungUp = true;
            unwatchPort();
        }
    }
    if (inotify_ < 0) {
        return events;
    }
    alignas(inotify_event) std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(inotify_, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            const char* name = buffer.data() + at + sizeof event;
            const std::size_t end = at + sizeof event + event.len;
            if (end > static_cast<std::size_t>(got)) {
                break;
            }
            if (event.len > 0 && name_ == std::string(name, ::strnlen(name, event.len))) {
                events.appeared = events.appeared || (event.mask & Appeared) != 0;
                events.vanished = events.vanished || (event.mask & Vanished) != 0;
            }
            at = end;
        }
    }
    return events;
}

} // namespace kestrun
