#pragma once
// The commands of kestrun-cli. Each takes the parsed command line and the process's two output
// streams: data (the record, the device list, a summary) goes to `out`, everything the system
// says (status lines, messages, progress) to `err`.

#include "cli/CliOptions.h"

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::cli {

struct Console {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool errTerminal = false;        ///< `err` is a terminal: draw the live progress bar
    std::function<int()> errColumns; ///< the terminal's width now, 0 when unknown
};

/// Runs the tool on the words after the program's name; answers the process's exit status.
/// Output that could not be written in full (a full disk, a closed standard output) turns a
/// success into a failure, told on `err`.
int runCli(const std::vector<std::string>& args, const Console& console);

ExitCode runShow(const CliOptions& options, const Console& console);
ExitCode runGet(const CliOptions& options, const Console& console);
ExitCode runSend(const CliOptions& options, const Console& console);
ExitCode runDevices(const CliOptions& options, const Console& console);
ExitCode runUpgrade(const CliOptions& options, const Console& console);
ExitCode runCheckHex(const CliOptions& options, const Console& console);
ExitCode runLoopback(const CliOptions& options, const Console& console);
ExitCode runDiff(const CliOptions& options, const Console& console);
ExitCode runSet(const CliOptions& options, const Console& console);
ExitCode runConvert(const CliOptions& options, const Console& console);

/// `pattern` with %1, %2, ... replaced by the values in order.
std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> values);
/// Writes one line to `stream`.
void printLine(std::FILE* stream, const std::string& text);
/// Reports that the connection the command line chose cannot be made (a usage error).
ExitCode connectionProblem(const std::string& problem, const Console& console);

} // namespace kestrun::cli
