#pragma once
// Runs the built kestrun-cli as a child process, as a script or a person would. Also the test
// data: an odd settings record and Intel HEX images with their checksums worked out.

#include "tests/support/Rig.h"

#include <csignal>
#include <map>
#include <string>
#include <vector>

namespace kestrun::clitest {

/// Variables set for the child; an empty value removes one.
using Environment = std::map<std::string, std::string>;

struct CliResult {
    int exitCode = -1; ///< 128 + signal when a signal ended it
    std::string out, err;
};

class CliProcess {
public:
    /// Starts kestrun-cli; with `errOnTerminal` its standard error is a pseudo-terminal of 30
    /// columns. Words ">FILE", ">&-", "2>&-" and "2>|" (a pipe nobody reads) among `args`
    /// redirect as a shell would.
    CliProcess(const std::vector<std::string>& args, const Environment& env = {},
               bool errOnTerminal = false);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;
    /// Collects what the child has written so far, waiting at most `waitMs` for something.
    void pump(int waitMs = 0);
    /// Pumps until standard error holds `text` (10 s at most).
    void waitForErr(const std::string& text);
    void signal(int signalNumber) { ::kill(pid_, signalNumber); }
    /// Waits for the end (a kill after 60 s) and collects the rest.
    CliResult finish();

private:
    pid_t pid_ = -1;
    int fds_[2] = {-1, -1}; ///< standard output, standard error
    CliResult result_;
};

CliResult runCli(const std::vector<std::string>& args, const Environment& env = {});
/// KESTRUN_CLI_EXE names kestrun-cli.exe: the tool is then the Windows build, run under Wine
/// (KESTRUN_WINE, else /usr/lib/wine/wine64) in WINEPREFIX, and Linux paths among its
/// arguments are given through drive Z:.
bool underWine();
/// The name the tool opens a terminal by: its path, or under Wine COM5, linked to it in the
/// prefix's dosdevices.
std::string toolPort(const std::string& terminal);
/// The simulated controller with its ticks back to back: a timeout costs no real time.
Environment simulated(const std::string& faults = "", const std::string& record = "");
/// N from the last "N ticks, S s" line of --verbose; 0 when there is none.
unsigned long ticksTaken(const std::string& err);

/// A folder of its own for one test, removed afterwards, with its paths as text.
struct TempDir : test::ScratchFolder {
    std::string path() const { return ScratchFolder::path().string(); }
    std::string path(const std::string& name) const { return path() + "/" + name; }
};

/// The bytes of a file; nothing when it cannot be read.
inline std::string readFile(const std::string& path) {
    return test::fileBytes(path).value_or("");
}
/// Bytes from hex digits, spaces between bytes or not: "3B47" and "3B 47" are 0x3B 0x47.
std::string fromHex(std::string digits);

/// An image of `size` bytes (at most 64 KiB) from address 0, 16 data bytes a line: an extended
/// linear address record first, the end-of-file record last.
std::vector<std::string> hexImageLines(std::size_t size);
/// The lines joined, each ending in CR LF.
std::string hexFile(const std::vector<std::string>& lines);

// A value outside every kind of limit: 200 for Speed (top 100), 0 for Pan (bottom 1), 101 for
// Tilt, radio code 7 (no button), toggle byte 2 (on), counts 0x0FFF and 0xFFFF (both 10.00).
inline const char* OddRecordHex = "C8000065070203000FFFFFFF000008000400";
inline const std::string OddRecord = fromHex(OddRecordHex);

} // namespace kestrun::clitest
