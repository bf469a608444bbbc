#include "cli/SettingsForms.h"

#include "cli/CliText.h"
#include "cli/Commands.h"
#include "cli/SettingsJson.h"

#include <algorithm>

namespace kestrun::cli {
namespace {

// A settings file in the JSON form is a few hundred bytes; anything far longer is not one.
constexpr std::size_t MaxJsonBytes = 64 * 1024;

// The file's first MaxJsonBytes + 1 bytes; nothing when it cannot be read (the 18-byte loader
// then says why, in the window's words). A pipe or a terminal is never waited on.
std::optional<std::string> readHead(const std::string& path) {
    std::string head;
    if (readSettingsFileStart(path, MaxJsonBytes + 1, head) != SettingsFileError::None) {
        return std::nullopt;
    }
    return head;
}

// An 18-byte file is always a record, even one whose first byte happens to be '{' (123); the
// JSON form of a record is far longer.
bool isJsonForm(std::string_view content) {
    if (content.size() == RecordSize) {
        return false;
    }
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3); // the byte-order mark some editors put first
    }
    const std::size_t first = content.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && content[first] == '{';
}

} // namespace

std::optional<LoadedSettings> loadSettings(const std::string& path, std::FILE* err) {
    const std::optional<std::string> head = readHead(path);
    if (head && isJsonForm(*head)) {
        if (head->size() > MaxJsonBytes) {
            printLine(err, path + ": " + fillIn(CliText::NotSettings, {CliText::TooLong}));
            return std::nullopt;
        }
        const JsonSettings read = readSettingsJson(*head);
        if (!read.shown) {
            printLine(err, path + ": " + read.problem);
            return std::nullopt;
        }
        return LoadedSettings{recordFromShown(*read.shown), *read.shown};
    }
    LoadedSettings loaded;
    const SettingsFileResult result = loadSettingsFile(path, loaded.record);
    if (!result.ok()) {
        printLine(err, settingsFileMessage(result.error, path));
        return std::nullopt;
    }
    if (!result.loaded) {
        // The window opens an empty file and changes nothing; a command given an empty file
        // has no record to show or send, so it says so rather than use the start values.
        printLine(err, fillIn(CliText::EmptySettingsFile, {path}));
        return std::nullopt;
    }
    loaded.shown = shownFromRecord(loaded.record);
    return loaded;
}

bool namesJsonFile(const std::string& path) {
    constexpr std::string_view Suffix = ".json";
    return path.size() >= Suffix.size() &&
           std::equal(Suffix.begin(), Suffix.end(), path.end() - Suffix.size(), [](char s, char c) {
               return s == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
           });
}

SettingsFileResult saveSettings(const std::string& path, const SettingsRecord& record,
                                const ShownSettings& shown) {
    if (!namesJsonFile(path)) {
        return saveSettingsFile(path, record);
    }
    const std::string text = settingsJson(record, shown);
    return saveFileAtomically(
        path, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

} // namespace kestrun::cli
