#pragma once
// The readable form of the settings: one JSON object, written by --json and by a settings file
// named *.json, read back strictly. Both directions go through the settings table (ShownText),
// so a file written here always reads back as the same settings.

#include "settings/SettingsRecord.h"
#include "settings/ShownText.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun::cli {

/// "raw", the record as 36 upper-case hex digits, then every setting under its record name in
/// record order: whole numbers as numbers, ranges as strings with two decimals ("2.50"), radio
/// groups as the checked button's caption or null, toggles as true or false. One member a line,
/// so that version control shows a changed setting as one changed line. Ends in '\n'.
std::string settingsJson(const SettingsRecord& raw, const ShownSettings& shown);

/// settingsJson of a record and what the window shows of it.
std::string recordJson(const SettingsRecord& record);

/// The outcome of reading the JSON form: the settings, or why the text holds none.
struct JsonSettings {
    std::optional<ShownSettings> shown;
    std::string problem; ///< set when shown is empty: names the field at fault
};

/// Reads the JSON form. Every setting must be there exactly once (names ignoring case, as
/// `set` takes them), nothing else but "raw" (36 hex digits, kept for reference only), and every
/// value must be one the window can show: nothing is clamped or rounded. A radio group may be
/// null (no button checked), as the JSON form writes it.
JsonSettings readSettingsJson(std::string_view text);

/// The settings that show differently in `a` and `b`, as one JSON object: each under its record
/// name, an object with the value of `a` under `aName` and of `b` under `bName`. "{}" when alike.
std::string differencesJson(const std::vector<const Setting*>& differing, const ShownSettings& a,
                            const char* aName, const ShownSettings& b, const char* bName);

} // namespace kestrun::cli
