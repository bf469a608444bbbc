#include "cli/Commands.h"

#include "cli/CliText.h"

#include <cerrno>
#include <cstring>

namespace kestrun::cli {

std::string fillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t n = static_cast<std::size_t>(next - '1');
        if (pattern[i] == '%' && next >= '1' && next <= '9' && n < values.size()) {
            out += *(values.begin() + n);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

void printLine(std::FILE* stream, const std::string& text) {
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
}

ExitCode connectionProblem(const std::string& problem, const Console& console) {
    printLine(console.err, std::string(CliText::Program) + ": " + problem);
    return ExitCode::Usage;
}

int runCli(const std::vector<std::string>& args, const Console& console) {
    ParseResult parsed = parseCommandLine(args);
    if (!parsed.options) {
        printLine(console.err, std::string(CliText::Program) + ": " + parsed.error);
        printLine(console.err, CliText::TryHelp);
        return static_cast<int>(ExitCode::Usage);
    }
    const CliOptions& options = *parsed.options;
    ExitCode code = ExitCode::Success;
    switch (options.command) {
    case Command::Help:
        std::fputs(usageText().c_str(), console.out);
        break;
    case Command::Version:
        std::fputs(versionText().c_str(), console.out);
        break;
    case Command::Show:
        code = runShow(options, console);
        break;
    case Command::Get:
        code = runGet(options, console);
        break;
    case Command::Send:
        code = runSend(options, console);
        break;
    case Command::Devices:
        code = runDevices(options, console);
        break;
    case Command::CheckHex:
        code = runCheckHex(options, console);
        break;
    case Command::Upgrade:
        code = runUpgrade(options, console);
        break;
    case Command::Loopback:
        code = runLoopback(options, console);
        break;
    case Command::Diff:
        code = runDiff(options, console);
        break;
    case Command::Set:
        code = runSet(options, console);
        break;
    case Command::Convert:
        code = runConvert(options, console);
        break;
    }
    // Data that never reached its file is a failure, however well the command went: a script
    // must not take an empty record for the controller's.
    errno = 0;
    if (std::fflush(console.out) != 0 || std::ferror(console.out) != 0) {
        const char* reason = errno != 0 ? std::strerror(errno) : CliText::WriteError;
        printLine(console.err, fillIn(CliText::CannotWriteOutput, {reason}));
        if (code == ExitCode::Success) {
            code = ExitCode::LinkFailed;
        }
    }
    return static_cast<int>(code);
}

} // namespace kestrun::cli
