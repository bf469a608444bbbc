#pragma once
// Runs the built kestrun-cli as a child process, as a script or a person would: with its own
// arguments and environment, standard output and standard error captured separately (standard
// error optionally on a pseudo-terminal, to see what a person at a terminal sees).

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace kestrun::clitest {

/// Path of the built kestrun-cli, given by the build.
const char* cliPath();

using Environment = std::vector<std::pair<std::string, std::string>>;

struct CliResult {
    int exitCode = -1; ///< the exit status, or 128 + signal when a signal ended it
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{0};
};

class CliProcess {
public:
    /// Starts kestrun-cli with `args` and `env` added to the environment (each name set, or
    /// removed from the environment when its value is empty). With `errOnTerminal`, standard
    /// error is a pseudo-terminal.
    CliProcess(const std::vector<std::string>& args, const Environment& env = {},
               bool errOnTerminal = false);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    /// Reads what the child has written so far, waiting at most `wait`.
    void pump(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
    /// Standard error so far.
    const std::string& err() const { return err_; }
    void signal(int signalNumber);
    /// Waits for the child to end (killing it after `timeout`) and collects the rest.
    CliResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(60));

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    std::string err_;
    std::chrono::steady_clock::time_point started_;
};

/// Runs kestrun-cli to the end.
CliResult runCli(const std::vector<std::string>& args, const Environment& env = {});

/// A folder of its own for one test, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string write(const std::string& name, const std::string& bytes) const;
    static std::string read(const std::string& path);

private:
    std::string dir_;
};

/// Bytes from a list of values, for readable test data.
std::string bytes(std::initializer_list<int> values);

} // namespace kestrun::clitest
