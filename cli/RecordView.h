#pragma once
// A settings record as the setup window would show it, written out for a terminal or a script.
// The text goes through shownFromRecord and the settings table, so a value reads here exactly as
// in the window: clamped whole numbers, ranges in hundredths with two decimals, the checked radio
// button's caption. The JSON form is in SettingsJson.h.

#include "settings/SettingsFields.h"
#include "settings/SettingsRecord.h"

#include <string>

namespace kestrun::cli {

/// One line per setting, in the window's order: "Zoom Setup / Speed: 100",
/// "Focus Analog Range / Low: 2.50", "Lens Control / Digital Connection: Default",
/// "Misc Controls / Pressure Joystick: off", "Camera Trigger: Pulse High". A radio group with no
/// button checked reads "none". Every line ends in '\n'.
std::string recordText(const SettingsRecord& record);
/// The same lines for settings as the window's controls hold them.
std::string settingsText(const ShownSettings& shown);

} // namespace kestrun::cli
