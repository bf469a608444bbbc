// diff, set and convert: keeping many heads alike. A head is compared with a settings file, one
// value is changed from a script, and settings files move between the 18-byte form and the
// readable JSON form. All compare and change what the window shows, through the settings table.

#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/ControllerSession.h"
#include "cli/SettingsForms.h"
#include "cli/SettingsJson.h"
#include "settings/ShownText.h"

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace kestrun::cli {
namespace {

// What diff calls the two sides it compares.
namespace Side {
constexpr const char* Controller = "controller";
constexpr const char* File = "file";
constexpr const char* File1 = "file1";
constexpr const char* File2 = "file2";
} // namespace Side

// A refusal before anything is sent: the command line asks for what no setting can hold.
ExitCode refuse(const std::string& problem, const Console& console) {
    printLine(console.err, std::string(CliText::Program) + ": " + problem);
    return ExitCode::Usage;
}

std::string hexBytes(const SettingsRecord& record) {
    std::string out;
    for (uint8_t byte : record) {
        char hex[4];
        std::snprintf(hex, sizeof hex, out.empty() ? "%02X" : " %02X", byte);
        out += hex;
    }
    return out;
}

std::string settingNames() {
    std::string names;
    for (const Setting& setting : SettingsInRecordOrder) {
        names += names.empty() ? "" : ", ";
        names += setting.recordName;
    }
    return names;
}

// The settings that show differently, in the given order.
std::vector<const Setting*> differing(const std::array<Setting, 13>& order, const ShownSettings& a,
                                      const ShownSettings& b) {
    std::vector<const Setting*> out;
    for (const Setting& setting : order) {
        if (shownText(setting, a) != shownText(setting, b)) {
            out.push_back(&setting);
        }
    }
    return out;
}

} // namespace

ExitCode runDiff(const CliOptions& options, const Console& console) {
    const bool twoFiles = !options.secondFile.empty();
    const std::optional<LoadedSettings> first = loadSettings(options.file, console.err);
    if (!first) {
        return ExitCode::FileProblem;
    }
    std::optional<LoadedSettings> second;
    if (twoFiles && !(second = loadSettings(options.secondFile, console.err))) {
        return ExitCode::FileProblem;
    }

    ShownSettings a;
    ShownSettings b;
    if (twoFiles) {
        a = first->shown;
        b = second->shown;
    } else {
        const ExitCode got =
            withReceivedRecord(options, console, [&](ControllerSession& controller) {
                a = shownFromRecord(controller.record());
                return ExitCode::Success;
            });
        if (got != ExitCode::Success) {
            return got;
        }
        b = first->shown;
    }
    const char* aName = twoFiles ? Side::File1 : Side::Controller;
    const char* bName = twoFiles ? Side::File2 : Side::File;

    const std::vector<const Setting*> lines = differing(SettingsInWindowOrder, a, b);
    if (options.json) {
        std::fputs(
            differencesJson(differing(SettingsInRecordOrder, a, b), a, aName, b, bName).c_str(),
            console.out);
    } else {
        for (const Setting* setting : lines) {
            printLine(console.out,
                      fillIn(CliText::Difference, {settingTitle(*setting), shownText(*setting, a),
                                                   aName, shownText(*setting, b), bName}));
        }
    }
    return lines.empty() ? ExitCode::Success : ExitCode::Differ;
}

ExitCode runSet(const CliOptions& options, const Console& console) {
    // Every assignment is checked before the controller is asked for anything.
    std::vector<std::pair<const Setting*, std::string>> changes;
    ShownSettings trial = startSettings();
    for (const std::string& assignment : options.assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            return refuse(fillIn(CliText::NotAssignment, {assignment}), console);
        }
        const std::string name = assignment.substr(0, equals);
        const std::string value = assignment.substr(equals + 1);
        const Setting* setting = findSetting(name);
        if (setting == nullptr) {
            return refuse(fillIn(CliText::UnknownSetting, {name, settingNames()}), console);
        }
        for (const auto& change : changes) {
            if (change.first == setting) {
                return refuse(fillIn(CliText::SettingTwice, {setting->recordName}), console);
            }
        }
        if (!readShownText(*setting, value, trial)) {
            return refuse(fillIn(CliText::ValueRefused,
                                 {setting->recordName, value, allowedValues(*setting)}),
                          console);
        }
        changes.emplace_back(setting, value);
    }

    return withReceivedRecord(options, console, [&](ControllerSession& controller) {
        // As a person at the window would: the received record in the controls, the named ones
        // changed, then Send Data sends what the controls show.
        // The changes are told once they are known to hold, or with what --dry-run would send.
        const ShownSettings before = controller.controls();
        std::string told;
        for (const auto& [setting, value] : changes) {
            readShownText(*setting, value, controller.controls());
            const std::string was = shownText(*setting, before);
            const std::string now = shownText(*setting, controller.controls());
            if (was != now) {
                told += fillIn(CliText::Change, {settingTitle(*setting), was, now}) + "\n";
            }
        }
        const SettingsRecord sent = recordFromShown(controller.controls());
        if (options.dryRun) {
            std::fputs(told.c_str(), console.out);
            printLine(console.out, fillIn(CliText::WouldSend, {hexBytes(sent)}));
            return ExitCode::Success;
        }
        if (const std::optional<ExitCode> failed = controller.send()) {
            return *failed;
        }
        if (const std::optional<ExitCode> failed = controller.get()) {
            return *failed;
        }
        if (controller.record() != sent) {
            printLine(console.err, fillIn(CliText::NotConfirmed,
                                          {hexBytes(sent), hexBytes(controller.record())}));
            return ExitCode::LinkFailed;
        }
        std::fputs(told.c_str(), console.out);
        return ExitCode::Success;
    });
}

ExitCode runConvert(const CliOptions& options, const Console& console) {
    const std::optional<LoadedSettings> in = loadSettings(options.file, console.err);
    if (!in) {
        return ExitCode::FileProblem;
    }
    // The readable form keeps the file's bytes for reference; the 18-byte form holds the record
    // the window would send after opening the file.
    const SettingsRecord record =
        namesJsonFile(options.secondFile) ? in->record : recordFromShown(in->shown);
    const SettingsFileResult saved = saveSettings(options.secondFile, record, in->shown);
    if (!saved.ok()) {
        printLine(console.err, fillIn(CliText::SaveFailed, {options.secondFile, saved.reason}));
        return ExitCode::FileProblem;
    }
    return ExitCode::Success;
}

} // namespace kestrun::cli
