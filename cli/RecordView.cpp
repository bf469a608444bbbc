#include "cli/RecordView.h"

#include "settings/ShownText.h"

namespace kestrun::cli {

std::string recordText(const SettingsRecord& record) {
    return settingsText(shownFromRecord(record));
}

std::string settingsText(const ShownSettings& shown) {
    std::string out;
    for (const Setting& setting : SettingsInWindowOrder) {
        out += settingTitle(setting) + ": " + shownText(setting, shown) + "\n";
    }
    return out;
}

} // namespace kestrun::cli
