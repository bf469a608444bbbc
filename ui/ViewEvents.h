#pragma once
// The notices that controls and the upload post to the setup window. They are queued events, so
// the window handles each after the handler that posted it has returned, in posting order.

#include <QEvent>

#include <cstdint>

namespace kestrun::ui {

/// Codes in the low byte of a settings notice's word.
namespace SettingsNotifyCode {
inline constexpr uint8_t FieldValue = 0;      ///< bits 15-8 the field, bits 31-16 the value
inline constexpr uint8_t EditStarted = 1;     ///< the user pressed into a numeric field
inline constexpr uint8_t UpgradeFinished = 2; ///< the upload is done: "Upgrade complete!    "
inline constexpr uint8_t RecordLoaded = 3;    ///< a settings file was read into the record
} // namespace SettingsNotifyCode

/// The private settings notice (the window system's message 0x8001).
class SettingsNotifyEvent : public QEvent {
public:
    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit SettingsNotifyEvent(uint32_t wParam) : QEvent(eventType()), wParam_(wParam) {}
    uint32_t wParam() const { return wParam_; }
    uint8_t code() const { return static_cast<uint8_t>(wParam_ & 0xFF); }

private:
    uint32_t wParam_;
};

/// The word of a field's value notice.
constexpr uint32_t fieldValueNotice(int fieldIndex, int32_t clampedValue) {
    return (static_cast<uint32_t>(static_cast<uint16_t>(clampedValue)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(fieldIndex)) << 8) |
           SettingsNotifyCode::FieldValue;
}

/// What a numeric field hands on to its parent besides settings notices: the keys it consumes
/// and its focus changes. The window takes them and does nothing with them; they exist so that
/// a field never lets these keys reach the scroll area, where Up and Down would scroll.
class FieldForwardEvent : public QEvent {
public:
    enum class Kind : uint8_t { KeyDown, KillFocus, SetFocus };
    static QEvent::Type eventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    FieldForwardEvent(Kind kind, uint32_t keyCode)
        : QEvent(eventType()), kind_(kind), keyCode_(keyCode) {}
    Kind kind() const { return kind_; }
    /// For KeyDown: 13 Enter, 27 Esc, 32 Space, 0x26 Up, 0x28 Down.
    uint32_t keyCode() const { return keyCode_; }

private:
    Kind kind_;
    uint32_t keyCode_;
};

/// Key codes a field forwards.
namespace ForwardedKey {
inline constexpr uint32_t Enter = 13;
inline constexpr uint32_t Escape = 27;
inline constexpr uint32_t Space = 32;
inline constexpr uint32_t Up = 0x26;
inline constexpr uint32_t Down = 0x28;
} // namespace ForwardedKey

} // namespace kestrun::ui
