#pragma once
// What tells a serial port's owner, without waking it while idle, that the port went away or
// came back: the port's folder is watched with inotify (a USB-UART cable's node disappears and
// reappears in /dev), the open port itself for a hang-up only (its data is read by the link's
// ticks, so arriving bytes do not wake the watcher), and the owner's own wake-up signal for a
// hang-up it met while reading. All three sit behind one epoll descriptor that the device
// monitor's surroundings watch.

#include <string>

namespace kestrun {

class PortWatch {
public:
    /// Watches the folder of `device` for its name (except in /dev/pts, whose names are
    /// reused by unrelated terminals). Never fails: what cannot be watched is simply not seen
    /// (fd() is -1 when nothing at all can be).
    explicit PortWatch(const std::string& device, int wakeFd);
    ~PortWatch();
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;

    /// Readable when something happened: the one descriptor to watch.
    int fd() const;
    /// Watches an open port for its hang-up (until unwatchPort or the next watchPort).
    void watchPort(int portFd);
    void unwatchPort();

    struct Events {
        bool appeared = false; ///< a node of the port's name was made (or its rights changed)
        bool vanished = false; ///< the node of the port's name was removed
        bool hungUp = false;   ///< the watched open port hung up (it is no longer watched)
    };
    /// Takes what happened since the last call, without blocking.
    Events take();

private:
    int epoll_ = -1;
    int inotify_ = -1;
    int wakeFd_ = -1;
    int portFd_ = -1;
    std::string name_;
};

} // namespace kestrun
