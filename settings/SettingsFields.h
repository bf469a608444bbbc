#pragma once
// The settings as the setup window shows them: the nine value fields, the two radio groups and
// the two toggles, and the one definition of what a received or loaded record becomes on screen
// and what is written back from the screen. The window's binding and the command-line tool both
// go through these, so they can never disagree about a record.

#include "settings/SettingsRecord.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrun {

/// One numeric value of the window: a slider with its numeric field.
struct ValueField {
    int index;              ///< FieldIndex: row of the slider and of its numeric field
    std::size_t offset;     ///< first record byte
    std::size_t width;      ///< 1 (whole number byte) or 2 (big-endian 12-bit count)
    bool decimalMode;       ///< shown in hundredths with two decimals (0.00-10.00)
    int32_t minimum;        ///< in the field's unit (hundredths in decimal mode)
    int32_t maximum;        ///< in the same unit
    int32_t startValue;     ///< what the field shows when the window opens
    const char* group;      ///< caption of the group box
    const char* label;      ///< caption of the label above the slider
    const char* recordName; ///< the record field's name
};

/// The nine value fields in FieldIndex order.
inline constexpr std::array<ValueField, 9> ValueFields = {{
    {0, ZoomSpeed, 1, false, 0, 100, 100, "Zoom Setup", "Speed", "ZoomSpeed"},
    {1, ZoomSmoothing, 1, false, 0, 100, 20, "Zoom Setup", "Smoothing", "ZoomSmoothing"},
    {2, FocusRangeLow, 2, true, 0, 1000, 250, "Focus Analog Range", "Low", "FocusRangeLow"},
    {3, FocusRangeHigh, 2, true, 0, 1000, 750, "Focus Analog Range", "High", "FocusRangeHigh"},
    {4, ZoomRangeLow, 2, true, 0, 1000, 250, "Zoom Analog Range", "Low", "ZoomRangeLow"},
    {5, ZoomRangeCenter, 2, true, 0, 1000, 500, "Zoom Analog Range", "Center", "ZoomRangeCenter"},
    {6, ZoomRangeHigh, 2, true, 0, 1000, 750, "Zoom Analog Range", "High", "ZoomRangeHigh"},
    {7, PanDeadband, 1, false, 1, 100, 5, "Joystick Deadband", "Pan", "PanDeadband"},
    {8, TiltDeadband, 1, false, 1, 100, 5, "Joystick Deadband", "Tilt", "TiltDeadband"},
}};

/// One button of a radio group and the code it stands for.
struct RadioOption {
    uint8_t code;
    const char* caption;
};

/// The "Digital Connection" group in window order (top to bottom).
inline constexpr std::array<RadioOption, 4> DigitalConnectionOptions = {{
    {0, "Default"},
    {1, "Fujinon"},
    {2, "Canon"},
    {3, "Preston"},
}};

/// The "Camera Trigger" group in window order (top to bottom).
inline constexpr std::array<RadioOption, 4> CameraTriggerOptions = {{
    {1, "Pulse High"},
    {0, "Pulse Low"},
    {3, "Level High"},
    {2, "Level Low"},
}};

/// Captions of the window's controls that are not value fields: the group boxes around the two
/// radio groups and the two toggles, and the toggles themselves.
namespace SettingsCaption {
inline constexpr const char* LensControl = "Lens Control";
inline constexpr const char* DigitalConnection = "Digital Connection";
inline constexpr const char* MiscControls = "Misc Controls";
inline constexpr const char* OneWayCommunication = "One Way Communication";
inline constexpr const char* PressureJoystick = "Pressure Joystick";
inline constexpr const char* CameraTrigger = "Camera Trigger";
} // namespace SettingsCaption

/// What the window's settings controls hold.
struct ShownSettings {
    std::array<int32_t, 9> values{};          ///< by FieldIndex, clamped, in field units
    std::optional<uint8_t> digitalConnection; ///< checked code, none when no button is
    std::optional<uint8_t> cameraTrigger;     ///< checked code, none when no button is
    bool oneWayCommunication = false;
    bool pressureJoystick = false;
};

/// The controls as the window opens: start values, "Default", "Pulse High", toggles off.
ShownSettings startSettings();

/// What the window shows for `record`: whole numbers clamped to their field, counts shown as
/// hundredths, a radio code above 3 shows nothing checked, any toggle byte but 0 shows on.
ShownSettings shownFromRecord(const SettingsRecord& record);

/// The record written back from the controls: each value clamped to its field (as a commit
/// would), hundredths through RangeToCounts, an unchecked radio group as 0, toggles as 0 or 1.
SettingsRecord recordFromShown(const ShownSettings& shown);

/// Clamps `value` into [field.minimum, field.maximum].
int32_t clampToField(const ValueField& field, int64_t value);

/// The text a numeric field shows for `value`: "%.2f" of value/100 in decimal mode, else "%d".
std::string formatFieldValue(const ValueField& field, int32_t value);

/// The caption of the checked button of a radio group, or nullptr when none is checked.
const char* radioCaption(const std::array<RadioOption, 4>& options, std::optional<uint8_t> code);

} // namespace kestrun
