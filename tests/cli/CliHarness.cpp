#include "tests/cli/CliHarness.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <numeric>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrun::clitest {
using Clock = std::chrono::steady_clock;

bool underWine() {
    const char* exe = std::getenv("KESTRUN_CLI_EXE");
    return exe != nullptr && *exe != '\0';
}

std::string toolPort(const std::string& terminal) {
    if (!underWine()) {
        return terminal;
    }
    const char* prefix = std::getenv("WINEPREFIX");
    const std::filesystem::path link =
        std::filesystem::path(prefix != nullptr ? prefix : "") / "dosdevices" / "com5";
    std::error_code ignored;
    std::filesystem::remove(link, ignored);
    std::filesystem::create_symlink(terminal, link);
    return "COM5";
}

CliProcess::CliProcess(const std::vector<std::string>& args, const Environment& env,
                       bool errOnTerminal) {
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || (!errOnTerminal && ::pipe2(errPipe, O_CLOEXEC) != 0)) {
        throw std::runtime_error("pipe");
    }
    if (errOnTerminal) { // a terminal too narrow for a full progress bar
        errPipe[0] = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (errPipe[0] < 0 || ::grantpt(errPipe[0]) != 0 || ::unlockpt(errPipe[0]) != 0) {
            throw std::runtime_error("pseudo-terminal");
        }
        const winsize narrow = {1, 30, 0, 0};
        ::ioctl(errPipe[0], TIOCSWINSZ, &narrow);
        errPipe[1] = ::open(::ptsname(errPipe[0]), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    // Under Wine a Linux path is reached through drive Z:. Words such as ">FILE" are the shell's.
    const char* windowsCli = std::getenv("KESTRUN_CLI_EXE");
    std::vector<std::string> command = {KESTRUN_CLI_PATH};
    if (underWine()) {
        const char* wine = std::getenv("KESTRUN_WINE");
        command = {wine != nullptr && *wine != '\0' ? wine : "/usr/lib/wine/wine64", windowsCli};
    }
    std::vector<std::string> redirections;
    for (const std::string& arg : args) {
        if (arg.starts_with(">") || arg.starts_with("2>")) {
            redirections.push_back(arg);
        } else {
            command.push_back(underWine() && arg.starts_with('/') ? "Z:" + arg : arg);
        }
    }
    // execv does not change the strings it is given.
    std::vector<char*> argv;
    for (std::string& word : command) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    // The tools of each test process keep their port locks to themselves: a run elsewhere on the
    // machine on a port of the same name never makes it look taken.
    static const TempDir lockFolder;
    const std::string locks = lockFolder.path();
    pid_ = ::fork();
    if (pid_ == 0) { // the test runs one thread: the child may use the heap before exec
        ::setenv("XDG_RUNTIME_DIR", locks.c_str(), 1);
        for (const auto& [name, value] : env) {
            value.empty() ? ::unsetenv(name.c_str()) : ::setenv(name.c_str(), value.c_str(), 1);
        }
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        for (const std::string& to : redirections) { // ">FILE", ">&-", "2>&-", "2>|" (no reader)
            const int stream = to.starts_with("2") ? STDERR_FILENO : STDOUT_FILENO;
            int fd[2] = {-1, -1};
            if (to == "2>|" && ::pipe(fd) == 0) {
                ::close(fd[0]);
            } else if (!to.ends_with("&-")) {
                fd[1] = ::open(to.c_str() + 1, O_WRONLY | O_TRUNC);
            }
            fd[1] < 0 ? ::close(stream) : ::dup2(fd[1], stream);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    for (int fd : fds_) {
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : fds_) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void CliProcess::pump(int waitMs) {
    pollfd watch[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    ::poll(watch, 2, waitMs);
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        ssize_t n = 0;
        while (fds_[i] >= 0 && (n = ::read(fds_[i], buffer, sizeof buffer)) > 0) {
            (i == 0 ? result_.out : result_.err).append(buffer, static_cast<std::size_t>(n));
        }
        // At end of file, or EIO from a terminal whose other side has gone, the stream is done.
        if (fds_[i] >= 0 && (n == 0 || (errno != EAGAIN && errno != EINTR))) {
            ::close(fds_[i]);
            fds_[i] = -1;
        }
    }
}

void CliProcess::waitForErr(const std::string& text) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (result_.err.find(text) == std::string::npos && Clock::now() < deadline) {
        pump(5);
    }
}

CliResult CliProcess::finish() {
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) != pid_) {
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        pump(10);
    }
    pid_ = -1;
    while (fds_[0] >= 0 || fds_[1] >= 0) { // the child has gone; its last words are waiting
        pump(10);
    }
    result_.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (underWine()) { // a Windows console program ends its lines with CR LF
        for (std::string* text : {&result_.out, &result_.err}) {
            std::erase(*text, '\r');
        }
    }
    return result_;
}

CliResult runCli(const std::vector<std::string>& args, const Environment& env) {
    return CliProcess(args, env).finish();
}

Environment simulated(const std::string& faults, const std::string& record) {
    return {{"KESTRUN_SIM_TICK_MS", "0"},
            {"KESTRUN_SIM_FAULT", faults},
            {"KESTRUN_SIM_RECORD", record}};
}

unsigned long ticksTaken(const std::string& err) {
    const std::size_t end = err.rfind(" ticks, ");
    const std::size_t start = err.find_last_of('\n', end) + 1;
    return end == std::string::npos ? 0 : std::stoul(err.substr(start, end - start));
}

std::string fromHex(std::string digits) {
    std::erase(digits, ' ');
    std::string out;
    for (std::size_t at = 0; at + 1 < digits.size(); at += 2) {
        out += static_cast<char>(std::stoi(digits.substr(at, 2), nullptr, 16));
    }
    return out;
}

std::vector<std::string> hexImageLines(std::size_t size) {
    // ':', then the length, address, type and data as hex digits, then the checksum.
    const auto hexRecord = [](std::vector<uint8_t> fields) {
        fields.push_back(static_cast<uint8_t>(-std::accumulate(fields.begin(), fields.end(), 0)));
        std::string line = ":" + test::hexText(fields);
        std::erase(line, ' ');
        return line;
    };
    std::vector<std::string> lines = {hexRecord({2, 0, 0, 4, 0, 0})};
    for (std::size_t at = 0; at < size; at += 16) {
        const std::size_t count = std::min<std::size_t>(16, size - at);
        std::vector<uint8_t> fields = {uint8_t(count), uint8_t(at >> 8), uint8_t(at), 0};
        for (std::size_t i = 0; i < count; ++i) {
            fields.push_back(uint8_t((at + i) * 37 + 11));
        }
        lines.push_back(hexRecord(fields));
    }
    lines.push_back(hexRecord({0, 0, 0, 1}));
    return lines;
}

std::string hexFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

} // namespace kestrun::clitest
