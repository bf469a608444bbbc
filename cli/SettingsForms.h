#pragma once
// The two forms of a settings file: the 18-byte record the window reads and writes, and the
// readable JSON form. A file is read in the form its content has, whatever its name; a file is
// written in the JSON form when its name ends in ".json".

#include "settings/SettingsFields.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <cstdio>
#include <optional>
#include <string>

namespace kestrun::cli {

struct LoadedSettings {
    /// The 18-byte file's bytes as they are, or the record the JSON form's settings make.
    SettingsRecord record{};
    /// What the window shows after opening the file.
    ShownSettings shown;
};

/// Loads a settings file of either form. The 18-byte form keeps the window's rules exactly
/// (the first 18 bytes, no value checked, an empty or short file refused); a file that begins
/// with '{' and is not 18 bytes long is the JSON form, read strictly. A problem is written to
/// `err` as one line naming the file (and, in the JSON form, the field).
std::optional<LoadedSettings> loadSettings(const std::string& path, std::FILE* err);

/// A name ending in ".json", in any case: such a file is written in the JSON form.
bool namesJsonFile(const std::string& path);

/// Saves `record` to `path` in the form its name asks for, replacing an old file only once the
/// new one is complete: the 18 bytes, or the JSON form of the record and of `shown`.
SettingsFileResult saveSettings(const std::string& path, const SettingsRecord& record,
                                const ShownSettings& shown);

} // namespace kestrun::cli
