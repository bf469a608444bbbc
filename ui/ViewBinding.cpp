// The binding between the window's controls and the document's record, and between each
// numeric field and its slider. What a record shows and what is written back are defined once,
// in shownFromRecord and recordFromShown, so the window and the command-line tool agree.

#include "ui/CKestrunView.h"

#include "settings/SettingsFields.h"
#include "ui/CFloatEdit.h"
#include "ui/LayoutTables.h"
#include "ui/ViewEvents.h"
#include "upgrade/CodeUpload.h"

#include <QAbstractButton>
#include <QSlider>

using namespace kestrun;
using namespace kestrun::ui;

namespace {

// Field order of a record's display: the whole numbers, then the analog ranges.
constexpr std::array<std::size_t, 9> DisplayOrder = {0, 1, 7, 8, 2, 3, 4, 5, 6};

constexpr std::size_t LensFirstRow = ButtonRowOf::Default;
constexpr std::size_t TriggerFirstRow = ButtonRowOf::PulseHigh;

// The row offset, within its group, of the button that stands for `code`; -1 for none.
int offsetOfCode(const std::array<RadioOption, 4>& options, std::optional<uint8_t> code) {
    for (std::size_t i = 0; i < options.size(); ++i) {
        if (code && options[i].code == *code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace

void CKestrunView::RecordToControls() {
    if (!built_) {
        return;
    }
    const ShownSettings shown = shownFromRecord(record_);
    for (std::size_t row : DisplayOrder) {
        fields_[row]->ShowValue(shown.values.at(row));
        fields_[row]->CommitValue(); // posts the value notice that moves the slider
    }
    setRadioGroup(LensFirstRow, offsetOfCode(DigitalConnectionOptions, shown.digitalConnection));
    checkButton(ButtonRowOf::OneWayCommunication)->setChecked(shown.oneWayCommunication);
    checkButton(ButtonRowOf::PressureJoystick)->setChecked(shown.pressureJoystick);
    setRadioGroup(TriggerFirstRow, offsetOfCode(CameraTriggerOptions, shown.cameraTrigger));
}

void CKestrunView::ControlsToRecord() {
    if (!built_) {
        return;
    }
    ShownSettings shown;
    // Text typed but not yet committed counts as it stands; recordFromShown clamps it to its
    // field as a commit would, so 300 in "Speed" is stored as 100, never as 300 modulo 256.
    for (std::size_t row = 0; row < fields_.size(); ++row) {
        shown.values.at(row) = fields_[row]->parsedValue();
    }
    auto checkedCode = [this](const std::array<RadioOption, 4>& options,
                              std::size_t firstRow) -> std::optional<uint8_t> {
        for (std::size_t i = 0; i < options.size(); ++i) {
            if (checkButton(firstRow + i)->isChecked()) {
                return options[i].code;
            }
        }
        return std::nullopt;
    };
    shown.digitalConnection = checkedCode(DigitalConnectionOptions, LensFirstRow);
    shown.cameraTrigger = checkedCode(CameraTriggerOptions, TriggerFirstRow);
    shown.oneWayCommunication = checkButton(ButtonRowOf::OneWayCommunication)->isChecked();
    shown.pressureJoystick = checkButton(ButtonRowOf::PressureJoystick)->isChecked();
    record_ = recordFromShown(shown);
}

void CKestrunView::setRadioGroup(std::size_t firstRow, int checkedOffset) {
    // Every button is set explicitly: a code above 3 leaves all four unchecked.
    for (int i = 0; i < 4; ++i) {
        checkButton(firstRow + static_cast<std::size_t>(i))->setChecked(i == checkedOffset);
    }
}

void CKestrunView::checkRadio(std::size_t row) {
    for (std::size_t other = 0; other < radioGroup_.size(); ++other) {
        if (radioGroup_[other] == radioGroup_[row]) {
            checkButton(other)->setChecked(other == row);
        }
    }
}

int32_t CKestrunView::sliderValue(std::size_t row) const {
    return sliders_.at(row)->sliderPosition();
}

int32_t CKestrunView::sliderPosition(std::size_t row) const {
    const QSlider* s = sliders_.at(row);
    return s->minimum() + s->maximum() - s->sliderPosition();
}

void CKestrunView::onSliderAction(std::size_t row) {
    ClearStatus();
    // The position the action has just set, read from the slider itself; the field shows it
    // without a commit (it lies within the field's limits already).
    fields_[row]->ShowValue(sliderValue(row));
}

void CKestrunView::handleSettingsNotify(uint32_t wParam) {
    switch (static_cast<uint8_t>(wParam & 0xFF)) {
    case SettingsNotifyCode::FieldValue: {
        const std::size_t index = (wParam >> 8) & 0xFF;
        const int32_t value = static_cast<int32_t>(wParam >> 16);
        if (built_ && index < sliders_.size()) {
            sliders_[index]->setValue(value); // its top is the maximum: position min + max - value
        }
        break;
    }
    case SettingsNotifyCode::EditStarted:
        ClearStatus();
        break;
    case SettingsNotifyCode::UpgradeFinished:
        showMessage(UpgradeText::Complete, UpgradeText::CompleteCaption, MessageIcon::None);
        break;
    case SettingsNotifyCode::RecordLoaded:
        RecordToControls();
        break;
    default:
        break; // no one posts other codes
    }
}
