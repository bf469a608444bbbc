#include "tests/cli/CliProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrun::clitest {
namespace {

std::vector<std::string> childEnvironment(const Environment& changes) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const auto& change : changes) {
            replaced = replaced || change.first == name;
        }
        if (!replaced) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty()) {
            env.push_back(name + "=" + value);
        }
    }
    return env;
}

// Appends what `fd` has now; closes it at end of file (or EIO, a terminal whose other side
// has gone) and answers false then.
bool drain(int& fd, std::string& into) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return true;
        }
        ::close(fd);
        fd = -1;
        return false;
    }
}

} // namespace

const char* cliPath() {
    return KESTRUN_CLI_PATH;
}

CliProcess::CliProcess(const std::vector<std::string>& args, const Environment& env,
                       bool errOnTerminal)
    : started_(std::chrono::steady_clock::now()) {
    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    int errWrite = -1;
    if (errOnTerminal) {
        errFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (errFd_ < 0 || ::grantpt(errFd_) != 0 || ::unlockpt(errFd_) != 0) {
            throw std::runtime_error("pseudo-terminal");
        }
        errWrite = ::open(::ptsname(errFd_), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        int errPipe[2];
        if (::pipe2(errPipe, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        errFd_ = errPipe[0];
        errWrite = errPipe[1];
    }
    outFd_ = outPipe[0];

    std::vector<std::string> argStrings{cliPath()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<char*> envp;
    for (std::string& e : envStrings) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ == 0) {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errWrite, STDERR_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errWrite);
    ::fcntl(outFd_, F_SETFL, O_NONBLOCK);
    ::fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {outFd_, errFd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void CliProcess::pump(std::chrono::milliseconds wait) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    ::poll(fds, 2, static_cast<int>(wait.count()));
    if (outFd_ >= 0) {
        drain(outFd_, out_);
    }
    if (errFd_ >= 0) {
        drain(errFd_, err_);
    }
}

void CliProcess::signal(int signalNumber) {
    if (pid_ > 0) {
        ::kill(pid_, signalNumber);
    }
}

CliResult CliProcess::finish(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    CliResult result;
    int status = 0;
    for (;;) {
        pump(std::chrono::milliseconds(10));
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
    }
    pid_ = -1;
    result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    // The child has gone: whatever it wrote is waiting in the pipes.
    while (outFd_ >= 0 || errFd_ >= 0) {
        pump(std::chrono::milliseconds(10));
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = out_;
    result.err = err_;
    return result;
}

CliResult runCli(const std::vector<std::string>& args, const Environment& env) {
    CliProcess process(args, env);
    return process.finish();
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrun-cli-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const std::string file = path(name);
    std::ofstream(file, std::ios::binary) << content;
    return file;
}

std::string TempDir::read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) {
        out += static_cast<char>(v);
    }
    return out;
}

} // namespace kestrun::clitest
