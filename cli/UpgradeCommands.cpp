// upgrade and check-hex: the firmware upgrade through the boot loader, and the full check of an
// Intel HEX file that comes before it.

#include "cli/CliHost.h"
#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/Connection.h"
#include "upgrade/CodeUpload.h"
#include "upgrade/IntelHex.h"

#include <cinttypes>
#include <filesystem>

namespace kestrun::cli {
namespace {

// "FILE: line N: problem", or "FILE: problem" when the file could not be read at all.
std::string hexProblemText(const std::string& path, const HexCheckResult& result) {
    if (result.line == 0) {
        return path + ": " + result.problem;
    }
    return fillIn(CliText::HexLineProblem, {path, std::to_string(result.line), result.problem});
}

std::string hexAddress(uint64_t address) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08" PRIX64, address);
    return text;
}

// The path as a file dialog would return it: absolute, so that the quick check's dot rule
// meets the folders' names and not a leading "./".
std::string dialogPath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

// The completion text without the blanks the window's box carries after it.
std::string completeText() {
    std::string text = UpgradeText::Complete;
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

} // namespace

ExitCode runCheckHex(const CliOptions& options, const Console& console) {
    const HexCheckResult result = readUpgradeImage(options.file).check;
    if (!result.ok) {
        printLine(console.err, hexProblemText(options.file, result));
        return ExitCode::FileProblem;
    }
    std::fprintf(console.out, "%s: %s\n", options.file.c_str(), CliText::HexGood);
    std::fprintf(console.out, "%s: %zu\n", CliText::HexRecords, result.records);
    std::fprintf(console.out, "%s: %zu\n", CliText::HexDataBytes, result.dataBytes);
    if (result.dataBytes == 0) {
        std::fprintf(console.out, "%s: %s\n", CliText::HexAddressRange, CliText::HexNoData);
    } else {
        std::fprintf(console.out, "%s: %s-%s\n", CliText::HexAddressRange,
                     hexAddress(result.lowAddress).c_str(), hexAddress(result.highAddress).c_str());
    }
    return ExitCode::Success;
}

ExitCode runUpgrade(const CliOptions& options, const Console& console) {
    std::string problem;
    const std::unique_ptr<Connection> connection = Connection::open(options, problem);
    if (!connection) {
        return connectionProblem(problem, console);
    }
    SettingsRecord record = StartRecord;
    CliHost host(console.err, console.errTerminal, record, console.errColumns);
    LinkRun link(*connection, host, options.verbose);
    CodeUpload upload(link.engine());

    // As "Select file": the quick check and its message, and nothing chosen when it fails.
    upload.SelectUpgradeFile(dialogPath(options.file));
    if (upload.upgradePath().empty()) {
        return ExitCode::FileProblem;
    }
    // The boot loader erases the flash before the first line goes: a file that breaks off
    // half-way leaves a controller without firmware. Read all of it once and check that copy;
    // the copy is what goes out, whatever becomes of the file during the wait.
    UpgradeImage image = readUpgradeImage(upload.upgradePath());
    const HexCheckResult& check = image.check;
    if (!check.ok) {
        host.printLine(hexProblemText(options.file, check));
        // --force sends a damaged file, never one that could not be read (or is over the cap).
        if (!options.force || check.line == 0) {
            host.printLine(CliText::HexRefused);
            return ExitCode::FileProblem;
        }
        host.printLine(CliText::HexForced);
    }

    link.connect();
    upload.StartUpgrade(std::move(image.bytes));
    if (link.runUntilIdle() == TickLoop::Outcome::Interrupted) {
        upload.CancelExchange();
        host.printLine(CliText::Cancelled);
        return ExitCode::Interrupted;
    }
    if (!host.upgradeFinished()) {
        // The failure's text ("No Response from Device", "File Error", "Communications Error")
        // or the refusal's box has been shown already.
        return ExitCode::LinkFailed;
    }
    host.printLine(completeText());
    return ExitCode::Success;
}

} // namespace kestrun::cli
