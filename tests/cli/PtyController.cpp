#include "tests/cli/PtyController.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace kestrun::clitest {

PtyController::PtyController() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        throw std::runtime_error("pseudo-terminal");
    }
    port_ = ::ptsname(master_);
    slave_ = ::open(port_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Raw from the start: no echo of the answers, no line editing, whatever the tool does.
    termios tio{};
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, O_NONBLOCK);
}

PtyController::~PtyController() {
    hangUp();
}

void PtyController::hangUp() {
    for (int* fd : {&slave_, &master_}) {
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
    }
}

std::string PtyController::expect(std::size_t count, CliProcess& tool,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pending_.size() < count && std::chrono::steady_clock::now() < deadline) {
        pollfd watch{master_, POLLIN, 0};
        ::poll(&watch, 1, 5);
        char buffer[512];
        for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        }
        tool.pump();
    }
    const std::string taken = pending_.substr(0, count);
    pending_.erase(0, taken.size());
    return taken;
}

std::string PtyController::rest() {
    char buffer[512];
    for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) {
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
    return std::exchange(pending_, {});
}

void PtyController::answer(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal");
        }
    }
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X ", c);
        out += text;
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}

} // namespace kestrun::clitest
