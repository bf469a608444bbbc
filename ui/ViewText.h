#pragma once
// Texts the setup window itself shows, each written once. The link's and the upgrade's texts
// live with them (LinkText, ExchangeText, UpgradeText).

namespace kestrun::ui::ViewText {

/// The upgrade file dialog's filters; the first is selected when it opens.
/// (Split so the two question marks and the parenthesis do not read as a trigraph.)
inline constexpr const char* HexFilesFilter = "Hex Files (*.h?"
                                              "?)";
inline constexpr const char* AllFilesFilter = "All (*.*)";

/// Asked when the window is closed while an upgrade runs.
inline constexpr const char* QuitDuringUpgrade = "An upgrade is in progress. Stop it and quit?";
/// UpgradeStatusText after an upgrade was stopped before the controller had all of it.
inline constexpr const char* StoppedInBootLoader = "Boot loader awaits upgrade";

/// Accessible names of the controls that have no caption in the tables; a slider is named after
/// its field ("Zoom Analog Range, High") with this word added, so no two controls share a name.
inline constexpr const char* UpgradeFileName = "Upgrade file";
inline constexpr const char* UpgradeProgressName = "Upgrade progress";
inline constexpr const char* SliderNameSuffix = " slider";

} // namespace kestrun::ui::ViewText
