// The window program as a user starts it (`kestrun --simulate`, offscreen): the time from the
// process start to its first painted frame, its peak resident memory, and the processor time
// and wake-ups (voluntary context switches) it takes while it sits idle with the simulated
// controller attached.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Child {
    pid_t pid = -1;
    int frameFd = -1;
    Clock::time_point started;
};

Child startProgram() {
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    Child child;
    child.started = Clock::now();
    child.pid = ::fork();
    if (child.pid == 0) {
        ::close(fds[0]);
        // The toolkit's remarks about the offscreen platform are not figures.
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(quiet, STDERR_FILENO);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("LD_PRELOAD", KESTRUN_FIRST_FRAME_PROBE, 1);
        ::setenv("KESTRUN_FIRST_FRAME_FD", std::to_string(fds[1]).c_str(), 1);
        ::execl(KESTRUN_APP, KESTRUN_APP, "--simulate", static_cast<char*>(nullptr));
        std::perror("exec");
        ::_exit(127);
    }
    ::close(fds[1]);
    child.frameFd = fds[0];
    return child;
}

/// Milliseconds from the start to the first painted frame, or nothing within 10 s.
std::optional<double> firstFrame(const Child& child) {
    pollfd p{child.frameFd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) {
        return std::nullopt;
    }
    char text[64] = {};
    if (::read(child.frameFd, text, sizeof text - 1) <= 0) {
        return std::nullopt;
    }
    const auto started =
        std::chrono::duration_cast<std::chrono::nanoseconds>(child.started.time_since_epoch())
            .count();
    return static_cast<double>(std::atoll(text) - started) / 1e6;
}

/// Ends the program and answers its peak resident memory in MiB.
double stop(Child& child) {
    ::close(child.frameFd);
    ::kill(child.pid, SIGTERM);
    int status = 0;
    rusage usage{};
    ::wait4(child.pid, &status, 0, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

/// User and system processor time of a running process, in seconds.
double processorSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    // The fields after the command name, which is in parentheses and may hold blanks.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> f;
    for (std::string x; fields >> x;) {
        f.push_back(x);
    }
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 after the name.
    const double ticks = std::stod(f.at(11)) + std::stod(f.at(12));
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

/// Voluntary context switches of all the process's threads so far: each is a sleep that ended,
/// a wake-up.
long long wakeUps(pid_t pid) {
    long long total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream in(task.path() / "status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                total += std::atoll(line.c_str() + line.find(':') + 1);
            }
        }
    }
    return total;
}

} // namespace

int main() {
    std::vector<double> starts;
    double peak = 0;
    for (int run = 0; run < 5; ++run) {
        Child child = startProgram();
        const std::optional<double> ms = firstFrame(child);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peak = std::max(peak, stop(child));
        if (!ms) {
            std::printf("start-up: no painted frame within 10 s\n");
            return 1;
        }
        starts.push_back(*ms);
    }
    std::sort(starts.begin(), starts.end());
    std::printf("start-up to the first painted frame, offscreen: median %.0f ms, slowest %.0f ms "
                "of %zu starts (goal under 300 ms)\n",
                starts[starts.size() / 2], starts.back(), starts.size());

    const char* idleText = std::getenv("KESTRUN_IDLE_SECONDS");
    const int idleSeconds = idleText != nullptr ? std::atoi(idleText) : 20;
    Child child = startProgram();
    if (!firstFrame(child)) {
        std::printf("idle cost: the program did not come up\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double before = processorSeconds(child.pid);
    const long long wokenBefore = wakeUps(child.pid);
    const Clock::time_point from = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double used = processorSeconds(child.pid) - before;
    const long long woken = wakeUps(child.pid) - wokenBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - from).count();
    peak = std::max(peak, stop(child));
    std::printf("idle cost with the simulated controller attached: %.2f s of processor time in "
                "%.1f s = %.3f %% of one core (goal under 0.1 %%), %.1f wake-ups a second "
                "(goal under 5)\n",
                used, wall, used / wall * 100.0, static_cast<double>(woken) / wall);
    std::printf("peak resident memory: %.1f MiB (goal under 80 MB)\n", peak);
    return 0;
}
