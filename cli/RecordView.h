#pragma once
// A settings record as the setup window would show it, written out for a terminal or a script.
// Both forms go through shownFromRecord, so a value reads here exactly as in the window: clamped
// whole numbers, ranges in hundredths with two decimals, the checked radio button's caption.

#include "settings/SettingsRecord.h"

#include <string>

namespace kestrun::cli {

/// One line per setting, in the window's order: "Zoom Setup / Speed: 100",
/// "Focus Analog Range / Low: 2.50", "Lens Control / Digital Connection: Default",
/// "Misc Controls / Pressure Joystick: off", "Camera Trigger: Pulse High". A radio group with no
/// button checked reads "none". Every line ends in '\n'.
std::string recordText(const SettingsRecord& record);

/// One JSON object: "raw", the 18 bytes as upper-case hex digits, then every field under its
/// record name in record order: whole numbers as numbers, ranges as strings with two decimals,
/// radio groups as the checked button's caption or null, toggles as booleans. Ends in '\n'.
std::string recordJson(const SettingsRecord& record);

} // namespace kestrun::cli
