#pragma once
// The command line of kestrun-cli: which bridge to use, which command to run and its operands.
// Parsing is pure: it reads the words and answers what they ask for, or why they make no sense.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrun::cli {

/// What the process answers to its caller.
enum class ExitCode : int {
    Success = 0,
    LinkFailed = 1,   ///< the controller or the link failed (not connected, no response, ...)
    Usage = 2,        ///< the command line makes no sense
    FileProblem = 3,  ///< a file cannot be read, is not a settings file or not a valid hex file
    Differ = 4,       ///< diff: the controller and the file, or the two files, show differently
    Interrupted = 130 ///< stopped by SIGINT or SIGTERM; the exchange was cancelled
};

/// Where the controller is reached.
enum class BridgeChoice {
    Usb,      ///< the USB bridge, found by its product string, with hot-plug notices
    Simulate, ///< the simulated controller (settings memory and boot loader)
    Port,     ///< a serial port: a USB-UART cable or a firmware emulator's pseudo-terminal
};

enum class Command {
    Help,
    Version,
    Devices,
    Get,
    Send,
    Show,
    Upgrade,
    CheckHex,
    Diff,
    Set,
    Convert,
    Loopback
};

inline constexpr uint32_t DefaultBaud = 115200;

struct CliOptions {
    BridgeChoice bridge = BridgeChoice::Usb;
    std::string port;            ///< the serial device, with BridgeChoice::Port
    uint32_t count = 16;         ///< loopback --count N: the blocks sent
    uint32_t baud = DefaultBaud; ///< the serial port's rate, with BridgeChoice::Port
    Command command = Command::Help;
    std::string file;       ///< the operand of send, show, upgrade and check-hex; diff's first
    std::string secondFile; ///< diff FILE1 FILE2 (empty: diff against the controller), convert OUT
    std::vector<std::string> assignments; ///< set NAME=VALUE...
    std::string outputFile;               ///< get -o FILE
    bool json = false;                    ///< get, show and diff: one JSON object instead of lines
    bool dryRun = false;                  ///< set: print what would be sent, send nothing
    bool force = false;                   ///< upgrade: go on with a file that fails the full check
    bool verbose = false; ///< tell the connection and, at the end, the ticks and time taken
};

/// The outcome of parsing: options, or the reason the words make no sense.
struct ParseResult {
    std::optional<CliOptions> options;
    std::string error; ///< set when options is empty
};

/// Parses the words after the program's name.
ParseResult parseCommandLine(const std::vector<std::string>& args);

/// The whole --help text.
std::string usageText();

/// What --version prints: the program, its version and the notice of rights.
std::string versionText();

} // namespace kestrun::cli
