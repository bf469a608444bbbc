// The tick loop's wait on Linux: an absolute-deadline sleep of the monotonic clock, or ppoll()
// on the device monitor's descriptor; SIGINT and SIGTERM end it through a flag.

#include "cli/TickLoop.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>

namespace kestrun::cli {
namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int signal) {
    stopSignal = signal;
}

timespec toTimespec(std::chrono::nanoseconds duration) {
    if (duration.count() < 0) {
        duration = std::chrono::nanoseconds(0);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds.count());
    ts.tv_nsec = static_cast<long>((duration - seconds).count());
    return ts;
}

} // namespace

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a sleeping tick loop must wake up
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int interruptSignal() {
    return stopSignal;
}

void TickLoop::waitUntil(std::chrono::steady_clock::time_point deadline) {
    using Clock = std::chrono::steady_clock;
    const int fd = monitor_ != nullptr ? static_cast<int>(monitor_->noticeHandle()) : -1;
    if (fd < 0) {
        if (period_.count() == 0) {
            return;
        }
        const timespec at = toTimespec(deadline.time_since_epoch());
        // steady_clock is CLOCK_MONOTONIC on Linux, so its time points are the clock's values.
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
            if (interruptSignal() != 0) {
                return;
            }
        }
        return;
    }
    for (;;) {
        const timespec timeout = toTimespec(deadline - Clock::now());
        pollfd watch{fd, POLLIN, 0};
        const int ready = ppoll(&watch, 1, &timeout, nullptr);
        if (ready < 0 && errno == EINTR) {
            if (interruptSignal() != 0) {
                return;
            }
        } else if (ready < 0 || (watch.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            // A monitor that broke down only loses hot-plug; the ticks go on by the clock.
            monitor_ = nullptr;
            waitUntil(deadline);
            return;
        } else if (ready > 0) {
            deliverNotices();
        }
        if (Clock::now() >= deadline) {
            return;
        }
    }
}

} // namespace kestrun::cli
