#pragma once
// The setup window's layout as data: every control's rectangle, caption, kind and control id on
// the fixed 624 x 782 canvas, in the order the window creates them. Nothing looks a control up by
// its id; the ids are kept here because they name the controls (tests find them by row).

#include "settings/SettingsFields.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace kestrun::ui {

inline constexpr int CanvasWidth = 624;
inline constexpr int CanvasHeight = 782;

/// x, y, width, height in canvas pixels; right and bottom edges exclusive.
struct LayoutRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

/// left, top, right, bottom in canvas pixels; right and bottom edges exclusive.
struct EdgeRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

enum class ButtonKind : uint8_t {
    GroupBox,     ///< frame with its caption at the top left; never sends commands
    GroupStart,   ///< as GroupBox; the radio buttons after it, to the next start, are one group
    AutoRadio,    ///< a click selects it and clears the others of its group
    ToggleButton, ///< radio look; the window flips its check on each click
    Push,         ///< caption centred; "\n" starts a second line
};

/// The check a button is given at build; None for kinds that carry no check.
enum class CheckAtBuild : uint8_t { None, Checked, Unchecked };

struct ButtonRow {
    int id;
    const char* caption;
    ButtonKind kind;
    CheckAtBuild check;
    LayoutRect rect;
};

enum class LabelAlign : uint8_t { Centred, Left };
enum class LabelFont : uint8_t { Control, Caption };

struct LabelRow {
    int id;
    const char* caption; ///< the text at build
    LabelAlign align;
    LabelFont font;
    LayoutRect rect;
};

struct SliderRow {
    int id;
    LayoutRect rect;
};

struct FieldRow {
    int id;
    EdgeRect rect;
};

// clang-format off
inline constexpr std::array<ButtonRow, 26> ButtonTable = {{
    {200, "Zoom Setup",                         ButtonKind::GroupBox,     CheckAtBuild::None,      {15, 395, 160, 180}},
    {201, "Joystick Deadband",                  ButtonKind::GroupBox,     CheckAtBuild::None,      {205, 395, 160, 180}},
    {202, SettingsCaption::LensControl,         ButtonKind::GroupBox,     CheckAtBuild::None,      {15, 155, 594, 215}},
    {203, SettingsCaption::DigitalConnection,   ButtonKind::GroupStart,   CheckAtBuild::None,      {30, 197, 135, 130}},
    {204, "Default",                            ButtonKind::AutoRadio,    CheckAtBuild::Checked,   {65, 217, 65, 25}},
    {205, "Fujinon",                            ButtonKind::AutoRadio,    CheckAtBuild::None,      {65, 242, 65, 25}},
    {206, "Canon",                              ButtonKind::AutoRadio,    CheckAtBuild::None,      {65, 267, 58, 25}},
    {207, "Preston",                            ButtonKind::AutoRadio,    CheckAtBuild::None,      {65, 292, 65, 25}},
    {208, "Focus Analog Range",                 ButtonKind::GroupBox,     CheckAtBuild::None,      {180, 175, 160, 180}},
    {209, "Zoom Analog Range",                  ButtonKind::GroupBox,     CheckAtBuild::None,      {355, 175, 236, 180}},
    {210, "Status",                             ButtonKind::GroupBox,     CheckAtBuild::None,      {150, 15, 205, 100}},
    {211, "",                                   ButtonKind::GroupBox,     CheckAtBuild::None,      {150, 60, 205, 55}},
    {212, "Get Data\nFrom Controller",          ButtonKind::Push,         CheckAtBuild::None,      {385, 23, 110, 40}},
    {213, "Send Data\nTo Controller",           ButtonKind::Push,         CheckAtBuild::None,      {385, 75, 110, 40}},
    {214, "System Upgrade",                     ButtonKind::GroupBox,     CheckAtBuild::None,      {150, 624, 340, 144}},
    {215, "Select file",                        ButtonKind::Push,         CheckAtBuild::None,      {170, 649, 80, 24}},
    {216, "Start",                              ButtonKind::Push,         CheckAtBuild::None,      {230, 734, 60, 24}},
    {217, "Cancel",                             ButtonKind::Push,         CheckAtBuild::None,      {350, 734, 60, 24}},
    {218, SettingsCaption::MiscControls,        ButtonKind::GroupBox,     CheckAtBuild::None,      {395, 375, 205, 80}},
    {219, SettingsCaption::OneWayCommunication, ButtonKind::ToggleButton, CheckAtBuild::Unchecked, {410, 395, 170, 25}},
    {220, SettingsCaption::PressureJoystick,    ButtonKind::ToggleButton, CheckAtBuild::Unchecked, {410, 420, 125, 25}},
    {221, SettingsCaption::CameraTrigger,       ButtonKind::GroupStart,   CheckAtBuild::None,      {395, 467, 205, 125}},
    {222, "Pulse High",                         ButtonKind::AutoRadio,    CheckAtBuild::Checked,   {410, 487, 112, 25}},
    {223, "Pulse Low",                          ButtonKind::AutoRadio,    CheckAtBuild::None,      {410, 512, 112, 25}},
    {224, "Level High",                         ButtonKind::AutoRadio,    CheckAtBuild::None,      {410, 537, 112, 25}},
    {225, "Level Low",                          ButtonKind::AutoRadio,    CheckAtBuild::None,      {410, 562, 112, 25}},
}};

inline constexpr std::array<LabelRow, 15> LabelTable = {{
    {226, "Speed",           LabelAlign::Centred, LabelFont::Caption, {30, 425, 50, 15}},
    {227, "Smoothing",       LabelAlign::Centred, LabelFont::Caption, {100, 425, 60, 15}},
    {228, "Pan",             LabelAlign::Centred, LabelFont::Caption, {220, 425, 50, 15}},
    {229, "Tilt",            LabelAlign::Centred, LabelFont::Caption, {290, 425, 60, 15}},
    {230, "Low",             LabelAlign::Centred, LabelFont::Caption, {195, 205, 50, 15}},
    {231, "High",            LabelAlign::Centred, LabelFont::Caption, {272, 205, 50, 15}},
    {232, "Low",             LabelAlign::Centred, LabelFont::Caption, {370, 205, 50, 15}},
    {233, "Center",          LabelAlign::Centred, LabelFont::Caption, {445, 205, 50, 15}},
    {234, "High",            LabelAlign::Centred, LabelFont::Caption, {523, 205, 50, 15}},
    {235, "USB:",            LabelAlign::Centred, LabelFont::Caption, {152, 32, 201, 15}},
    {236, "Disconnected",    LabelAlign::Centred, LabelFont::Control, {152, 49, 201, 15}},
    {237, "Communication:",  LabelAlign::Centred, LabelFont::Caption, {152, 75, 201, 15}},
    {238, "---",             LabelAlign::Centred, LabelFont::Control, {152, 92, 201, 15}},
    {239, "Upgrade Status:", LabelAlign::Left,    LabelFont::Caption, {180, 679, 90, 24}},
    {240, "",                LabelAlign::Left,    LabelFont::Control, {280, 679, 205, 24}},
}};

inline constexpr std::array<SliderRow, 9> SliderTable = {{
    {237, {34, 440, 45, 100}},
    {238, {110, 440, 45, 100}},
    {239, {199, 220, 45, 100}},
    {240, {275, 220, 45, 100}},
    {241, {374, 220, 45, 100}},
    {242, {450, 220, 45, 100}},
    {243, {526, 220, 45, 100}},
    {244, {224, 440, 45, 100}},
    {245, {300, 440, 45, 100}},
}};
// clang-format on

/// Button rows the window acts on.
namespace ButtonRowOf {
inline constexpr std::size_t DigitalConnection = 3; ///< the lens group's frame (group start)
inline constexpr std::size_t Default = 4;
inline constexpr std::size_t Fujinon = 5;
inline constexpr std::size_t Canon = 6;
inline constexpr std::size_t Preston = 7;
inline constexpr std::size_t GetData = 12;
inline constexpr std::size_t SendData = 13;
inline constexpr std::size_t SystemUpgrade = 14;
inline constexpr std::size_t SelectFile = 15;
inline constexpr std::size_t Start = 16;
inline constexpr std::size_t Cancel = 17;
inline constexpr std::size_t OneWayCommunication = 19;
inline constexpr std::size_t PressureJoystick = 20;
inline constexpr std::size_t CameraTrigger = 21; ///< the trigger group's frame (group start)
inline constexpr std::size_t PulseHigh = 22;
inline constexpr std::size_t PulseLow = 23;
inline constexpr std::size_t LevelHigh = 24;
inline constexpr std::size_t LevelLow = 25;
} // namespace ButtonRowOf

/// Label rows that are status lines.
namespace LabelRowOf {
inline constexpr std::size_t ConnectionText = 10;
inline constexpr std::size_t StatusText = 12;
inline constexpr std::size_t UpgradeStatusText = 14;
} // namespace LabelRowOf

/// Each numeric field stands one pixel below its slider and is 23 pixels high; the fields of the
/// narrow groups (rows 0, 1, 7, 8) are 42 wide, those of the analog ranges 57 wide so "10.00"
/// fits.
constexpr EdgeRect fieldRectFor(std::size_t row, const LayoutRect& slider) {
    const bool narrow = row <= 1 || row >= 7;
    const int32_t bottomOfSlider = slider.y + slider.height;
    return narrow ? EdgeRect{slider.x + 1, bottomOfSlider + 1, slider.x + 43, bottomOfSlider + 24}
                  : EdgeRect{slider.x - 6, bottomOfSlider + 1, slider.x + 51, bottomOfSlider + 24};
}

constexpr std::array<FieldRow, 9> deriveFieldRects() {
    std::array<FieldRow, 9> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = FieldRow{247 + static_cast<int>(i), fieldRectFor(i, SliderTable[i].rect)};
    }
    return rows;
}

inline constexpr std::array<FieldRow, 9> FieldRects = deriveFieldRects();

/// UpgradeFileText sits right of "Select file", one pixel inside its height, and ends 10 pixels
/// inside the "System Upgrade" frame.
inline constexpr int UpgradeFileTextId = 258;
inline constexpr EdgeRect UpgradeFileTextRect = {
    ButtonTable[ButtonRowOf::SelectFile].rect.x + ButtonTable[ButtonRowOf::SelectFile].rect.width +
        3,
    ButtonTable[ButtonRowOf::SelectFile].rect.y + 1,
    ButtonTable[ButtonRowOf::SystemUpgrade].rect.x +
        ButtonTable[ButtonRowOf::SystemUpgrade].rect.width - 10,
    ButtonTable[ButtonRowOf::SelectFile].rect.y + ButtonTable[ButtonRowOf::SelectFile].rect.height -
        1};

inline constexpr int UpgradeProgressId = 257;
inline constexpr EdgeRect UpgradeProgressRect = {170, 709, 470, 724};
inline constexpr int UpgradeProgressMaximum = 255;

/// The tables a control of the Tab order comes from.
enum class ControlTable : uint8_t { Button, Slider, Field, UpgradeFileText };
struct ControlRef {
    ControlTable table;
    std::size_t row;
};

/// The order Tab and Shift+Tab move the focus in: reading order, group by group (top to bottom,
/// left to right), and within a group its rows top to bottom, each row left to right. Group
/// boxes, labels and the progress bar take no focus.
// clang-format off
inline constexpr std::array<ControlRef, 34> TabOrder = {{
    {ControlTable::Button, 12}, {ControlTable::Button, 13},                          // Get, Send
    {ControlTable::Button, 4}, {ControlTable::Button, 5}, {ControlTable::Button, 6}, // lens
    {ControlTable::Button, 7},
    {ControlTable::Slider, 2}, {ControlTable::Slider, 3},                            // focus range
    {ControlTable::Field, 2}, {ControlTable::Field, 3},
    {ControlTable::Slider, 4}, {ControlTable::Slider, 5}, {ControlTable::Slider, 6}, // zoom range
    {ControlTable::Field, 4}, {ControlTable::Field, 5}, {ControlTable::Field, 6},
    {ControlTable::Slider, 0}, {ControlTable::Slider, 1},                            // zoom setup
    {ControlTable::Field, 0}, {ControlTable::Field, 1},
    {ControlTable::Slider, 7}, {ControlTable::Slider, 8},                            // deadband
    {ControlTable::Field, 7}, {ControlTable::Field, 8},
    {ControlTable::Button, 19}, {ControlTable::Button, 20},                          // misc
    {ControlTable::Button, 22}, {ControlTable::Button, 23}, {ControlTable::Button, 24}, // trigger
    {ControlTable::Button, 25},
    {ControlTable::Button, 15}, {ControlTable::UpgradeFileText, 0},                  // upgrade
    {ControlTable::Button, 16}, {ControlTable::Button, 17},
}};
// clang-format on

/// The two framed bars across the canvas: the outer rectangle is a one-pixel black frame, the
/// inner one is filled with BarColor.
struct DividerBar {
    EdgeRect outer;
    EdgeRect inner;
};
inline constexpr std::array<DividerBar, 2> DividerBars = {{
    {{1, 130, 624, 135}, {2, 131, 623, 134}},
    {{1, 604, 624, 609}, {2, 605, 623, 608}},
}};

/// A waveform beside each Camera Trigger button: a path of points relative to X (right of the
/// button plus 10) and the high (y + 6) and low (y + 16) lines.
struct GlyphPoint {
    int32_t dx;
    bool high;
};
struct TriggerGlyph {
    std::size_t buttonRow;
    std::array<GlyphPoint, 6> points;
    std::size_t pointCount;
};
inline constexpr std::array<TriggerGlyph, 4> TriggerGlyphs = {{
    {ButtonRowOf::PulseHigh,
     {{{0, false}, {20, false}, {20, true}, {24, true}, {24, false}, {45, false}}},
     6},
    {ButtonRowOf::PulseLow,
     {{{0, true}, {20, true}, {20, false}, {24, false}, {24, true}, {45, true}}},
     6},
    {ButtonRowOf::LevelHigh, {{{0, false}, {22, false}, {22, true}, {45, true}}}, 4},
    {ButtonRowOf::LevelLow, {{{0, true}, {22, true}, {22, false}, {45, false}}}, 4},
}};
inline constexpr int32_t GlyphGap = 10;
inline constexpr int32_t GlyphHighOffset = 6;
inline constexpr int32_t GlyphLowOffset = 16;

/// The ids run on by row in every table; a misplaced row would show here at compile time.
constexpr bool idsRunByRow() {
    for (std::size_t i = 0; i < ButtonTable.size(); ++i) {
        if (ButtonTable[i].id != 200 + static_cast<int>(i)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < LabelTable.size(); ++i) {
        if (LabelTable[i].id != 226 + static_cast<int>(i)) {
            return false;
        }
    }
    for (std::size_t i = 0; i < SliderTable.size(); ++i) {
        if (SliderTable[i].id != 237 + static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}
static_assert(idsRunByRow());

} // namespace kestrun::ui
