#include "settings/ShownText.h"

#include <algorithm>
#include <charconv>

namespace kestrun {
namespace {

/// How a toggle and a radio group with no button checked read.
namespace ShownWord {
constexpr const char* On = "on";
constexpr const char* Off = "off";
constexpr const char* NoneChecked = "none";
} // namespace ShownWord

/// The values a setting takes, for a refusal; %1 and %2 are filled in.
namespace AllowedText {
constexpr const char* Whole = "a whole number from %1 to %2";
constexpr const char* Range = "a value from %1 to %2 with at most two decimals";
constexpr const char* OneOf = "one of %1";
constexpr const char* Either = "%1 or %2";
} // namespace AllowedText

std::string fill(std::string_view pattern, std::string_view first, std::string_view second) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() &&
            (pattern[i + 1] == '1' || pattern[i + 1] == '2')) {
            out += pattern[i + 1] == '1' ? first : second;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

constexpr Setting valueSetting(int field) {
    const ValueField& f = ValueFields[static_cast<std::size_t>(field)];
    return {SettingKind::Value,
            f.recordName,
            f.offset,
            f.group,
            f.label,
            field,
            nullptr,
            nullptr,
            nullptr};
}

constexpr Setting radioSetting(const char* name, std::size_t offset, const char* group,
                               const char* label, const std::array<RadioOption, 4>& options,
                               std::optional<uint8_t> ShownSettings::*radio) {
    return {SettingKind::Radio, name, offset, group, label, -1, &options, radio, nullptr};
}

constexpr Setting toggleSetting(const char* name, std::size_t offset, const char* label,
                                bool ShownSettings::*toggle) {
    return {SettingKind::Toggle,
            name,
            offset,
            SettingsCaption::MiscControls,
            label,
            -1,
            nullptr,
            nullptr,
            toggle};
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A whole number written in plain decimal digits, nothing before or after them.
std::optional<int64_t> readWhole(std::string_view text) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || !isDigit(text.front()) || ec != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// "2.50", "2.5", "10", ".75" in hundredths; a third decimal or anything else is not a value.
std::optional<int64_t> readHundredths(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view decimals =
        point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    const bool digitsOnly = std::all_of(whole.begin(), whole.end(), isDigit) &&
                            std::all_of(decimals.begin(), decimals.end(), isDigit);
    if (!digitsOnly || whole.size() + decimals.size() == 0 || whole.size() > 6 ||
        decimals.size() > 2) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (char c : whole) {
        value = value * 10 + (c - '0');
    }
    value *= 100;
    if (!decimals.empty()) {
        value += (decimals[0] - '0') * 10;
    }
    if (decimals.size() == 2) {
        value += decimals[1] - '0';
    }
    return value;
}

} // namespace

constexpr std::array<Setting, 13> SettingsInWindowOrder = {{
    radioSetting("DigitalConnection", DigitalConnection, SettingsCaption::LensControl,
                 SettingsCaption::DigitalConnection, DigitalConnectionOptions,
                 &ShownSettings::digitalConnection),
    valueSetting(2),
    valueSetting(3),
    valueSetting(4),
    valueSetting(5),
    valueSetting(6),
    valueSetting(0),
    valueSetting(1),
    valueSetting(7),
    valueSetting(8),
    toggleSetting("OneWayCommunication", OneWayCommunication, SettingsCaption::OneWayCommunication,
                  &ShownSettings::oneWayCommunication),
    toggleSetting("PressureJoystick", PressureJoystick, SettingsCaption::PressureJoystick,
                  &ShownSettings::pressureJoystick),
    radioSetting("CameraTrigger", CameraTrigger, SettingsCaption::CameraTrigger, nullptr,
                 CameraTriggerOptions, &ShownSettings::cameraTrigger),
}};

constexpr std::array<Setting, 13> SettingsInRecordOrder = [] {
    std::array<Setting, 13> settings = SettingsInWindowOrder;
    std::sort(settings.begin(), settings.end(),
              [](const Setting& a, const Setting& b) { return a.offset < b.offset; });
    return settings;
}();

const Setting* findSetting(std::string_view name) {
    for (const Setting& setting : SettingsInRecordOrder) {
        if (sameIgnoringCase(name, setting.recordName)) {
            return &setting;
        }
    }
    return nullptr;
}

std::string settingTitle(const Setting& setting) {
    std::string title = setting.group;
    if (setting.label != nullptr) {
        title += " / ";
        title += setting.label;
    }
    return title;
}

std::string shownText(const Setting& setting, const ShownSettings& shown) {
    switch (setting.kind) {
    case SettingKind::Value: {
        const auto field = static_cast<std::size_t>(setting.field);
        return formatFieldValue(ValueFields[field], shown.values[field]);
    }
    case SettingKind::Radio: {
        const char* caption = radioCaption(*setting.options, shown.*setting.radio);
        return caption != nullptr ? caption : ShownWord::NoneChecked;
    }
    case SettingKind::Toggle:
        return shown.*setting.toggle ? ShownWord::On : ShownWord::Off;
    }
    return {};
}

bool readShownText(const Setting& setting, std::string_view text, ShownSettings& shown) {
    switch (setting.kind) {
    case SettingKind::Value: {
        const auto index = static_cast<std::size_t>(setting.field);
        const ValueField& field = ValueFields[index];
        const std::optional<int64_t> value =
            field.decimalMode ? readHundredths(text) : readWhole(text);
        if (!value || *value < field.minimum || *value > field.maximum) {
            return false;
        }
        shown.values[index] = static_cast<int32_t>(*value);
        return true;
    }
    case SettingKind::Radio:
        for (const RadioOption& option : *setting.options) {
            if (sameIgnoringCase(text, option.caption)) {
                shown.*setting.radio = option.code;
                return true;
            }
        }
        return false;
    case SettingKind::Toggle:
        if (sameIgnoringCase(text, ShownWord::On) || sameIgnoringCase(text, ShownWord::Off)) {
            shown.*setting.toggle = sameIgnoringCase(text, ShownWord::On);
            return true;
        }
        return false;
    }
    return false;
}

std::string allowedValues(const Setting& setting) {
    switch (setting.kind) {
    case SettingKind::Value: {
        const ValueField& field = ValueFields[static_cast<std::size_t>(setting.field)];
        const std::string lowest = formatFieldValue(field, field.minimum);
        const std::string highest = formatFieldValue(field, field.maximum);
        return fill(field.decimalMode ? AllowedText::Range : AllowedText::Whole, lowest, highest);
    }
    case SettingKind::Radio: {
        std::string captions;
        for (const RadioOption& option : *setting.options) {
            captions += captions.empty() ? "" : ", ";
            captions += option.caption;
        }
        return fill(AllowedText::OneOf, captions, "");
    }
    case SettingKind::Toggle:
        return fill(AllowedText::Either, ShownWord::On, ShownWord::Off);
    }
    return {};
}

} // namespace kestrun
