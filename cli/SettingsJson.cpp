#include "cli/SettingsJson.h"

#include "cli/CliText.h"
#include "cli/Commands.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <set>

namespace kestrun::cli {
namespace {

// Kept in the order written, so files and output list the settings in record order.
using Json = nlohmann::ordered_json;

constexpr const char* RawName = "raw";
constexpr int Indent = 2;

std::string folded(std::string_view name) {
    std::string out(name);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

Json settingValue(const Setting& setting, const ShownSettings& shown) {
    switch (setting.kind) {
    case SettingKind::Value: {
        const auto index = static_cast<std::size_t>(setting.field);
        if (ValueFields[index].decimalMode) {
            return shownText(setting, shown);
        }
        return shown.values[index];
    }
    case SettingKind::Radio: {
        const char* caption = radioCaption(*setting.options, shown.*setting.radio);
        return caption != nullptr ? Json(caption) : Json(nullptr);
    }
    case SettingKind::Toggle:
        return shown.*setting.toggle;
    }
    return nullptr;
}

// Takes one value of the JSON form into `shown`; false when the window could not show it.
bool readSettingValue(const Setting& setting, const Json& value, ShownSettings& shown) {
    switch (setting.kind) {
    case SettingKind::Value: {
        const bool decimal = ValueFields[static_cast<std::size_t>(setting.field)].decimalMode;
        // A range may be written as the window shows it ("2.50") or as a plain number (2.5).
        if (decimal && value.is_string()) {
            return readShownText(setting, value.get<std::string>(), shown);
        }
        return (value.is_number_integer() || (decimal && value.is_number_float())) &&
               readShownText(setting, value.dump(), shown);
    }
    case SettingKind::Radio:
        if (value.is_null()) {
            shown.*setting.radio = std::nullopt;
            return true;
        }
        return value.is_string() && readShownText(setting, value.get<std::string>(), shown);
    case SettingKind::Toggle:
        if (value.is_boolean()) {
            shown.*setting.toggle = value.get<bool>();
            return true;
        }
        return false;
    }
    return false;
}

bool isRawRecord(const Json& value) {
    if (!value.is_string()) {
        return false;
    }
    const std::string& digits = value.get_ref<const std::string&>();
    return digits.size() == 2 * RecordSize && std::all_of(digits.begin(), digits.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
           });
}

JsonSettings refused(std::string problem) {
    return JsonSettings{std::nullopt, std::move(problem)};
}

// The library's message without its "[json.exception.parse_error.101] " tag.
std::string parseProblem(const std::string& what) {
    const std::size_t tagEnd = what.find("] ");
    return tagEnd == std::string::npos ? what : what.substr(tagEnd + 2);
}

} // namespace

std::string settingsJson(const SettingsRecord& raw, const ShownSettings& shown) {
    std::string digits;
    for (uint8_t byte : raw) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        digits += hex;
    }
    Json object = Json::object();
    object[RawName] = digits;
    for (const Setting& setting : SettingsInRecordOrder) {
        object[setting.recordName] = settingValue(setting, shown);
    }
    return object.dump(Indent) + "\n";
}

std::string recordJson(const SettingsRecord& record) {
    return settingsJson(record, shownFromRecord(record));
}

JsonSettings readSettingsJson(std::string_view text) {
    // The parsed object keeps only the last of two equal names; catch the first repeat here.
    std::set<std::string> seen;
    std::string repeated;
    const Json::parser_callback_t noteNames = [&](int depth, Json::parse_event_t event,
                                                  Json& parsed) {
        if (depth == 1 && event == Json::parse_event_t::key && parsed.is_string() &&
            !seen.insert(folded(parsed.get<std::string>())).second && repeated.empty()) {
            repeated = parsed.get<std::string>();
        }
        return true;
    };
    Json document;
    try {
        document = Json::parse(text.begin(), text.end(), noteNames);
    } catch (const Json::exception& error) { // a syntax error, or a number beyond any range
        return refused(fillIn(CliText::NotSettings, {parseProblem(error.what())}));
    }
    if (!document.is_object()) {
        return refused(fillIn(CliText::NotSettings, {CliText::NoJsonObject}));
    }
    if (!repeated.empty()) {
        return refused(fillIn(CliText::FieldTwice, {repeated}));
    }

    ShownSettings shown = startSettings();
    for (const auto& [name, value] : document.items()) {
        if (folded(name) == RawName) {
            if (!isRawRecord(value)) {
                return refused(
                    fillIn(CliText::FieldRefused, {name, value.dump(), CliText::RawDigits}));
            }
            continue;
        }
        const Setting* setting = findSetting(name);
        if (setting == nullptr) {
            return refused(fillIn(CliText::UnknownField, {name}));
        }
        if (!readSettingValue(*setting, value, shown)) {
            const std::string allowed = setting->kind == SettingKind::Toggle
                                            ? CliText::TrueOrFalse
                                            : allowedValues(*setting);
            return refused(fillIn(CliText::FieldRefused, {name, value.dump(), allowed}));
        }
    }
    for (const Setting& setting : SettingsInRecordOrder) {
        if (!seen.contains(folded(setting.recordName))) {
            return refused(fillIn(CliText::MissingField, {setting.recordName}));
        }
    }
    return JsonSettings{shown, {}};
}

std::string differencesJson(const std::vector<const Setting*>& differing, const ShownSettings& a,
                            const char* aName, const ShownSettings& b, const char* bName) {
    Json object = Json::object();
    for (const Setting* setting : differing) {
        Json pair = Json::object();
        pair[aName] = settingValue(*setting, a);
        pair[bName] = settingValue(*setting, b);
        object[setting->recordName] = pair;
    }
    return object.dump(Indent) + "\n";
}

} // namespace kestrun::cli
