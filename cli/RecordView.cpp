#include "cli/RecordView.h"

#include "settings/SettingsFields.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

namespace kestrun::cli {
namespace {

/// How a toggle and an empty radio group read in the text form.
namespace ShownWord {
constexpr const char* On = "on";
constexpr const char* Off = "off";
constexpr const char* NoneChecked = "none";
} // namespace ShownWord

enum class Kind { Value, DigitalConnection, CameraTrigger, OneWay, Pressure };

struct Item {
    Kind kind;
    std::size_t offset;     ///< first record byte
    int field;              ///< FieldIndex for Kind::Value
    const char* group;      ///< group box caption
    const char* label;      ///< caption inside the group, or nullptr when the group says it all
    const char* recordName; ///< the record field's name (the JSON key)
};

constexpr Item valueItem(int field) {
    const ValueField& f = ValueFields[static_cast<std::size_t>(field)];
    return {Kind::Value, f.offset, field, f.group, f.label, f.recordName};
}

// The window's order, top to bottom and left to right: the "Lens Control" box, then "Zoom Setup",
// "Joystick Deadband", "Misc Controls" and "Camera Trigger".
constexpr std::array<Item, 13> WindowOrder = {{
    {Kind::DigitalConnection, DigitalConnection, -1, SettingsCaption::LensControl,
     SettingsCaption::DigitalConnection, "DigitalConnection"},
    valueItem(2),
    valueItem(3),
    valueItem(4),
    valueItem(5),
    valueItem(6),
    valueItem(0),
    valueItem(1),
    valueItem(7),
    valueItem(8),
    {Kind::OneWay, OneWayCommunication, -1, SettingsCaption::MiscControls,
     SettingsCaption::OneWayCommunication, "OneWayCommunication"},
    {Kind::Pressure, PressureJoystick, -1, SettingsCaption::MiscControls,
     SettingsCaption::PressureJoystick, "PressureJoystick"},
    {Kind::CameraTrigger, CameraTrigger, -1, SettingsCaption::CameraTrigger, nullptr,
     "CameraTrigger"},
}};

// The record's order, for the JSON object: by the offset each field starts at.
constexpr std::array<Item, 13> RecordOrder = [] {
    std::array<Item, 13> items = WindowOrder;
    std::sort(items.begin(), items.end(),
              [](const Item& a, const Item& b) { return a.offset < b.offset; });
    return items;
}();

// What one item shows. Exactly one of the members is meaningful, by kind.
struct Shown {
    std::optional<std::string> number; ///< a value field's text, as its numeric field shows it
    bool decimal = false;              ///< the value field is a range in hundredths
    const char* caption = nullptr;     ///< a radio group's checked button, nullptr for none
    bool toggle = false;
};

Shown shownItem(const Item& item, const ShownSettings& shown) {
    Shown out;
    switch (item.kind) {
    case Kind::Value: {
        const ValueField& field = ValueFields[static_cast<std::size_t>(item.field)];
        out.number = formatFieldValue(field, shown.values[static_cast<std::size_t>(item.field)]);
        out.decimal = field.decimalMode;
        break;
    }
    case Kind::DigitalConnection:
        out.caption = radioCaption(DigitalConnectionOptions, shown.digitalConnection);
        break;
    case Kind::CameraTrigger:
        out.caption = radioCaption(CameraTriggerOptions, shown.cameraTrigger);
        break;
    case Kind::OneWay:
        out.toggle = shown.oneWayCommunication;
        break;
    case Kind::Pressure:
        out.toggle = shown.pressureJoystick;
        break;
    }
    return out;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

std::string recordText(const SettingsRecord& record) {
    const ShownSettings shown = shownFromRecord(record);
    std::string out;
    for (const Item& item : WindowOrder) {
        out += item.group;
        if (item.label != nullptr) {
            out += " / ";
            out += item.label;
        }
        out += ": ";
        const Shown value = shownItem(item, shown);
        if (value.number) {
            out += *value.number;
        } else if (item.kind == Kind::OneWay || item.kind == Kind::Pressure) {
            out += value.toggle ? ShownWord::On : ShownWord::Off;
        } else {
            out += value.caption != nullptr ? value.caption : ShownWord::NoneChecked;
        }
        out += '\n';
    }
    return out;
}

std::string recordJson(const SettingsRecord& record) {
    const ShownSettings shown = shownFromRecord(record);
    std::string out = "{\"raw\": \"";
    for (uint8_t byte : record) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        out += hex;
    }
    out += '"';
    for (const Item& item : RecordOrder) {
        out += ", ";
        appendJsonString(out, item.recordName);
        out += ": ";
        const Shown value = shownItem(item, shown);
        if (value.number) {
            if (value.decimal) {
                appendJsonString(out, *value.number);
            } else {
                out += *value.number;
            }
        } else if (item.kind == Kind::OneWay || item.kind == Kind::Pressure) {
            out += value.toggle ? "true" : "false";
        } else if (value.caption != nullptr) {
            appendJsonString(out, value.caption);
        } else {
            out += "null";
        }
    }
    out += "}\n";
    return out;
}

} // namespace kestrun::cli
