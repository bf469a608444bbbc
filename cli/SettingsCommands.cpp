// show, get and send: the settings record from a file or from the controller, and back.

#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/ControllerSession.h"
#include "cli/RecordView.h"
#include "cli/SettingsForms.h"
#include "cli/SettingsJson.h"
#include "settings/SettingsFile.h"

#include <optional>

namespace kestrun::cli {
namespace {

// The record of a settings file of either form, or the message that explains why there is none.
std::optional<SettingsRecord> loadRecord(const std::string& path, const Console& console) {
    const std::optional<LoadedSettings> loaded = loadSettings(path, console.err);
    return loaded ? std::optional<SettingsRecord>(loaded->record) : std::nullopt;
}

void printRecord(const SettingsRecord& record, bool json, const Console& console) {
    const std::string text = json ? recordJson(record) : recordText(record);
    std::fputs(text.c_str(), console.out);
}

} // namespace

ExitCode runShow(const CliOptions& options, const Console& console) {
    // What the file itself shows: a JSON form's unchecked radio group stays unchecked.
    const std::optional<LoadedSettings> loaded = loadSettings(options.file, console.err);
    if (!loaded) {
        return ExitCode::FileProblem;
    }
    const std::string text =
        options.json ? settingsJson(loaded->record, loaded->shown) : settingsText(loaded->shown);
    std::fputs(text.c_str(), console.out);
    return ExitCode::Success;
}

ExitCode runGet(const CliOptions& options, const Console& console) {
    return withReceivedRecord(options, console, [&](ControllerSession& controller) {
        const SettingsRecord& record = controller.record();
        printRecord(record, options.json, console);
        if (!options.outputFile.empty()) {
            const SettingsFileResult saved =
                saveSettings(options.outputFile, record, shownFromRecord(record));
            if (!saved.ok()) {
                // The window's message names no reason; here the file and the system's reason.
                printLine(console.err,
                          fillIn(CliText::SaveFailed, {options.outputFile, saved.reason}));
                return ExitCode::FileProblem;
            }
        }
        return ExitCode::Success;
    });
}

ExitCode runSend(const CliOptions& options, const Console& console) {
    std::optional<SettingsRecord> loaded = loadRecord(options.file, console);
    if (!loaded) {
        return ExitCode::FileProblem;
    }
    std::string problem;
    const std::unique_ptr<Connection> connection = Connection::open(options, problem);
    if (!connection) {
        return connectionProblem(problem, console);
    }
    // As the window after opening the file: the controls show the loaded record, and Send Data
    // sends what they show (clamped, radio codes above 3 as 0, toggles as 0 or 1).
    ControllerSession controller(*connection, options, console, *loaded);
    const std::optional<ExitCode> failed = controller.send();
    return failed ? *failed : ExitCode::Success;
}

} // namespace kestrun::cli
