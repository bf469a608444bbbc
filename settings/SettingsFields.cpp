#include "settings/SettingsFields.h"

#include <algorithm>
#include <cstdio>

namespace kestrun {

int32_t clampToField(const ValueField& field, int64_t value) {
    if (value > field.maximum) {
        return field.maximum;
    }
    if (value < field.minimum) {
        return field.minimum;
    }
    return static_cast<int32_t>(value);
}

std::string formatFieldValue(const ValueField& field, int32_t value) {
    char text[32];
    if (field.decimalMode) {
        std::snprintf(text, sizeof text, "%.2f", value / 100.0);
    } else {
        std::snprintf(text, sizeof text, "%d", value);
    }
    return text;
}

ShownSettings startSettings() {
    ShownSettings shown;
    for (const ValueField& field : ValueFields) {
        shown.values.at(field.index) = field.startValue;
    }
    shown.digitalConnection = static_cast<uint8_t>(DigitalConnectionCode::Default);
    shown.cameraTrigger = static_cast<uint8_t>(CameraTriggerCode::PulseHigh);
    return shown;
}

ShownSettings shownFromRecord(const SettingsRecord& record) {
    ShownSettings shown;
    for (const ValueField& field : ValueFields) {
        int64_t raw = field.width == 2 ? CountsToRange(readCount(record, field.offset))
                                       : record.at(field.offset);
        shown.values.at(field.index) = clampToField(field, raw);
    }
    auto radio = [](uint8_t code) -> std::optional<uint8_t> {
        return code <= 3 ? std::optional<uint8_t>(code) : std::nullopt;
    };
    shown.digitalConnection = radio(record[DigitalConnection]);
    shown.cameraTrigger = radio(record[CameraTrigger]);
    shown.oneWayCommunication = record[OneWayCommunication] != 0;
    shown.pressureJoystick = record[PressureJoystick] != 0;
    return shown;
}

SettingsRecord recordFromShown(const ShownSettings& shown) {
    SettingsRecord record{};
    for (const ValueField& field : ValueFields) {
        int32_t value = clampToField(field, shown.values.at(field.index));
        if (field.width == 2) {
            writeCount(record, field.offset, RangeToCounts(static_cast<uint16_t>(value)));
        } else {
            record.at(field.offset) = static_cast<uint8_t>(value);
        }
    }
    auto code = [](std::optional<uint8_t> c) -> uint8_t { return c && *c <= 3 ? *c : 0; };
    record[DigitalConnection] = code(shown.digitalConnection);
    record[CameraTrigger] = code(shown.cameraTrigger);
    record[OneWayCommunication] = shown.oneWayCommunication ? 1 : 0;
    record[PressureJoystick] = shown.pressureJoystick ? 1 : 0;
    return record;
}

const char* radioCaption(const std::array<RadioOption, 4>& options, std::optional<uint8_t> code) {
    if (!code) {
        return nullptr;
    }
    auto it = std::find_if(options.begin(), options.end(),
                           [&](const RadioOption& o) { return o.code == *code; });
    return it == options.end() ? nullptr : it->caption;
}

} // namespace kestrun
