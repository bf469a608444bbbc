#pragma once
// Every setting of the window by its record name, in the words the window shows it in: "80",
// "2.50", "Fujinon", "on". A record printed, two records compared, one setting changed from a
// script and a readable settings file all go through this one table and ShownSettings, so they
// cannot disagree about what a record shows as.

#include "settings/SettingsFields.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kestrun {

enum class SettingKind : uint8_t { Value, Radio, Toggle };

/// One setting of the window: a value field, a radio group or a toggle.
struct Setting {
    SettingKind kind;
    const char* recordName; ///< the record field's name, as in the record's table
    std::size_t offset;     ///< first record byte
    const char* group;      ///< group box caption
    const char* label;      ///< caption inside the group; nullptr when the group says it all
    int field;              ///< FieldIndex of a value field; -1 otherwise
    const std::array<RadioOption, 4>* options;    ///< a radio group's buttons
    std::optional<uint8_t> ShownSettings::*radio; ///< a radio group's checked code
    bool ShownSettings::*toggle;                  ///< a toggle's state
};

/// The thirteen settings in the window's order, top to bottom and left to right: the
/// "Lens Control" box, then "Zoom Setup", "Joystick Deadband", "Misc Controls" and
/// "Camera Trigger".
extern const std::array<Setting, 13> SettingsInWindowOrder;
/// The same settings by the record byte each starts at.
extern const std::array<Setting, 13> SettingsInRecordOrder;

/// The setting whose record name is `name`, ignoring case; nullptr when there is none.
const Setting* findSetting(std::string_view name);

/// "Zoom Setup / Speed", or just the group's caption ("Camera Trigger").
std::string settingTitle(const Setting& setting);

/// What the window shows for the setting: "80", "2.50", the checked button's caption or "none",
/// "on" or "off".
std::string shownText(const Setting& setting, const ShownSettings& shown);

/// Reads `text` as the window shows the setting and puts it into `shown`. Strict: a whole number
/// within the field's limits, a range from 0.00 to 10.00 with at most two decimals, a button's
/// caption or "on"/"off" (both ignoring case). Nothing is clamped: a text outside the setting's
/// values answers false and leaves `shown` as it was.
bool readShownText(const Setting& setting, std::string_view text, ShownSettings& shown);

/// The values readShownText takes, for a refusal: "a whole number from 0 to 100", "a value from
/// 0.00 to 10.00 with at most two decimals", "one of Default, Fujinon, Canon, Preston", "on or
/// off".
std::string allowedValues(const Setting& setting);

} // namespace kestrun
