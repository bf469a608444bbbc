#pragma once
// A pseudo-terminal whose controlling side the test holds, to play the controller (or a loopback
// plug) to a program or a driver that opens path() as its serial port. The port side stays open
// here too, so that the terminal lives between the program's opens; closing both is pulling the
// cable.

#include "tests/support/Rig.h"

#include <chrono>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace kestrun::test {

/// Bytes read from the wire, as "3B 47".
inline std::string hexText(const std::string& bytes) {
    return hexText(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

class PtyPeer {
public:
    /// `raw`: the port side starts without echo or line editing, as a program would set it.
    explicit PtyPeer(bool raw = true) {
        controller_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (controller_ < 0 || ::grantpt(controller_) != 0 || ::unlockpt(controller_) != 0) {
            throw std::runtime_error("no pseudo-terminal");
        }
        path_ = ::ptsname(controller_);
        ::fcntl(controller_, F_SETFL, O_NONBLOCK);
        port_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (raw && ::tcgetattr(port_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(port_, TCSANOW, &tio);
        }
    }
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& path() const { return path_; }
    int controllerFd() const { return controller_; }
    /// The port side's own handle: for its mode, and to see bytes arrive there.
    int portFd() const { return port_; }

    /// The next `count` bytes from the wire (fewer after 20 s); `meanwhile` runs between polls.
    std::string expect(std::size_t count, const std::function<void()>& meanwhile = {}) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pending_.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd watch{controller_, POLLIN, 0};
            ::poll(&watch, 1, 5);
            rest();
            if (meanwhile) {
                meanwhile();
            }
        }
        const std::string taken = pending_.substr(0, count);
        pending_.erase(0, taken.size());
        return taken;
    }
    /// Everything on the wire not taken yet.
    const std::string& rest() {
        char buffer[512];
        for (ssize_t n; (n = ::read(controller_, buffer, sizeof buffer)) > 0;) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
        return pending_;
    }
    /// Writes the controller's bytes; false if the terminal took fewer.
    bool answer(const std::string& bytes) {
        return ::write(controller_, bytes.data(), bytes.size()) ==
               static_cast<ssize_t>(bytes.size());
    }
    /// The cable is pulled: the terminal hangs up for the program.
    void hangUp() {
        for (int fd : {port_, controller_}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
        port_ = controller_ = -1;
    }

private:
    int controller_ = -1;
    int port_ = -1;
    std::string path_;
    std::string pending_;
};

} // namespace kestrun::test
