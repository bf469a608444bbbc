#pragma once
// The numeric entry field: one of the window's nine value settings, typed as a whole number or
// with two decimals. It has no stored value: its text is its value and every use parses it. It
// keeps typing to numbers (in a range field a decimal comma is the decimal point), shows
// committed values clamped to its limits, and reports each settled value to the window as a
// queued settings notice so the slider beside it follows. Tab and Shift+Tab move the focus on
// before the field sees them, as a dialog's keyboard handling does.

#include "settings/SettingsFields.h"

#include <QLineEdit>
#include <QPointer>

#include <cstdint>

class CFloatEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CFloatEdit(QWidget* parent = nullptr);

    /// Gives the field its FieldIndex, mode and limits (from the value-field table); done once,
    /// right after creation.
    void setField(const kestrun::ValueField& field);
    const kestrun::ValueField& field() const { return field_; }
    int fieldIndex() const { return field_.index; }

    /// Where the field's notices go (the setup window). Null: the notices are dropped.
    void setNoticeTarget(QObject* target) { target_ = target; }

    /// Replaces the text with `value` formatted ("%.2f" of value/100 in decimal mode, else
    /// "%d"), not undoable, caret before the first character. Neither clamps nor notifies.
    void ShowValue(int32_t value);
    /// Parses the text, clamps it to the limits, shows it and posts the value notice.
    void CommitValue();
    /// The text parsed as a commit would, unclamped, low 16 bits.
    uint16_t ReadValue() const;
    /// The text parsed as a commit would, unclamped, all 32 bits.
    int32_t parsedValue() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void postNotice(uint32_t wParam);
    void forwardKey(uint32_t keyCode);
    bool acceptsCharacter(QChar c) const;

    kestrun::ValueField field_;
    QPointer<QObject> target_;
};
