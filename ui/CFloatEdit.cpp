#include "ui/CFloatEdit.h"

#include "settings/FieldParse.h"
#include "ui/ViewEvents.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

using kestrun::ui::FieldForwardEvent;
using kestrun::ui::SettingsNotifyEvent;
namespace ForwardedKey = kestrun::ui::ForwardedKey;

CFloatEdit::CFloatEdit(QWidget* parent)
    : QLineEdit(parent), field_(kestrun::ValueFields[0]), target_(parent) {
    setAlignment(Qt::AlignCenter);
    setMaxLength(static_cast<int>(kestrun::FieldTextLimit));
    setFrame(true);
}

void CFloatEdit::setField(const kestrun::ValueField& field) {
    field_ = field;
}

void CFloatEdit::ShowValue(int32_t value) {
    setText(QString::fromStdString(kestrun::formatFieldValue(field_, value)));
    setCursorPosition(0);
}

void CFloatEdit::CommitValue() {
    const int32_t value = kestrun::clampToField(field_, parsedValue());
    ShowValue(value);
    postNotice(kestrun::ui::fieldValueNotice(field_.index, value));
}

int32_t CFloatEdit::parsedValue() const {
    QString shown = text();
    if (field_.decimalMode) {
        shown.replace(u',', u'.'); // a pasted decimal comma, as the typed one
    }
    return kestrun::parseFieldText(field_, shown.toLatin1().toStdString());
}

uint16_t CFloatEdit::ReadValue() const {
    return static_cast<uint16_t>(parsedValue());
}

void CFloatEdit::postNotice(uint32_t wParam) {
    if (target_ != nullptr) {
        QCoreApplication::postEvent(target_, new SettingsNotifyEvent(wParam));
    }
}

void CFloatEdit::forwardKey(uint32_t keyCode) {
    if (target_ != nullptr) {
        QCoreApplication::postEvent(
            target_, new FieldForwardEvent(FieldForwardEvent::Kind::KeyDown, keyCode));
    }
}

bool CFloatEdit::acceptsCharacter(QChar c) const {
    return (c >= u'0' && c <= u'9') || (field_.decimalMode && c == u'.');
}

void CFloatEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Up:
        forwardKey(ForwardedKey::Up);
        event->accept();
        return;
    case Qt::Key_Down:
        forwardKey(ForwardedKey::Down);
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        CommitValue();
        forwardKey(ForwardedKey::Enter);
        event->accept();
        return;
    case Qt::Key_Escape:
        forwardKey(ForwardedKey::Escape);
        event->accept();
        return;
    case Qt::Key_Space:
        forwardKey(ForwardedKey::Space);
        event->accept();
        return;
    default:
        break;
    }
    // Shortcuts (copy, paste, select all, undo) keep the edit box's own handling; pasted text is
    // not filtered, it is parsed and clamped at the next commit.
    const bool shortcut =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const QString text = event->text();
    if (!shortcut && field_.decimalMode && text == QStringLiteral(",")) {
        insert(QStringLiteral(".")); // a decimal comma is the decimal point
        event->accept();
        return;
    }
    if (!shortcut && text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() != 0x7F &&
        !acceptsCharacter(text[0])) {
        event->accept(); // a character the field does not take: no effect at all
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CFloatEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if (target_ != nullptr) {
        QCoreApplication::postEvent(target_,
                                    new FieldForwardEvent(FieldForwardEvent::Kind::SetFocus, 0));
    }
}

void CFloatEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The field's own context menu takes the focus for a moment; the user is still editing.
    if (event->reason() != Qt::PopupFocusReason) {
        CommitValue();
    }
    if (target_ != nullptr) {
        QCoreApplication::postEvent(target_,
                                    new FieldForwardEvent(FieldForwardEvent::Kind::KillFocus, 0));
    }
}

void CFloatEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        postNotice(kestrun::ui::SettingsNotifyCode::EditStarted);
    }
    QLineEdit::mousePressEvent(event);
}
