#pragma once
// Shared pieces of the shell's tests: a view that records what the shell asks of it, answers for
// the file dialogs, a log of the message boxes, and settings files written byte by byte.

#include "app/DocumentView.h"
#include "app/ShellPrompts.h"
#include "settings/SettingsRecord.h"

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <deque>
#include <memory>
#include <optional>

namespace kestrun::test {

/// A view that writes down each call of the shell, in order ("initial update", "notify 3",
/// "controls to record"), and fills the record from `shown` as the window would from its
/// controls.
class FakeView : public ShellView {
public:
    explicit FakeView(SettingsRecord& record) : record_(record), widget_(new QWidget) {}
    ~FakeView() override {
        if (widget_ && widget_->parent() == nullptr) {
            delete widget_.data();
        }
    }
    QWidget* widget() override { return widget_.data(); }
    void OnInitialUpdate() override { calls.append(QStringLiteral("initial update")); }
    void ControlsToRecord() override {
        calls.append(QStringLiteral("controls to record"));
        record_ = shown;
    }
    void postSettingsNotify(uint32_t code) override {
        calls.append(QStringLiteral("notify %1").arg(code));
    }
    bool saveScreenshot(const QString&) override { return false; }

    QStringList calls;
    SettingsRecord shown = StartRecord; ///< what the "controls" hold

private:
    SettingsRecord& record_;
    QPointer<QWidget> widget_;
};

/// Installs itself as the shell's dialog and message hooks for the life of a test.
class ShellScript {
public:
    struct Dialog {
        FileDialogKind kind;
        QString proposed;
    };
    struct Message {
        QString text;
        QString caption;
    };

    ShellScript() {
        setFileDialogHook([this](QWidget*, FileDialogKind kind, const QString& proposed) {
            dialogs.push_back({kind, proposed});
            std::optional<QString> answer;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            return answer;
        });
        setMessageHook([this](QWidget*, const QString& text, const QString& caption) {
            messages.push_back({text, caption});
        });
    }
    ~ShellScript() {
        setFileDialogHook({});
        setMessageHook({});
    }
    ShellScript(const ShellScript&) = delete;
    ShellScript& operator=(const ShellScript&) = delete;

    /// The next dialog answers `path`; std::nullopt stands for Cancel.
    void answer(std::optional<QString> path) { answers.push_back(std::move(path)); }

    std::deque<std::optional<QString>> answers;
    std::vector<Dialog> dialogs;
    std::vector<Message> messages;
};

/// A file of exactly `bytes` in `dir`, named `name`; answers its path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return path;
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QByteArray recordBytes(const SettingsRecord& record) {
    return QByteArray(reinterpret_cast<const char*>(record.data()),
                      static_cast<qsizetype>(record.size()));
}

/// A record unlike the start record in every byte, all within the window's ranges:
/// Speed 50, Smoothing 60, Pan 70, Tilt 80, "Canon", One Way on, "Level Low", Pressure on,
/// the five ranges 1.00, 2.00, 3.00, 4.00, 9.00 (as the smallest counts showing them).
inline constexpr SettingsRecord SampleRecord = {0x32, 0x3C, 0x46, 0x50, 0x02, 0x01,
                                                0x02, 0x01, 0x01, 0x9A, 0x03, 0x34,
                                                0x04, 0xCD, 0x06, 0x67, 0x0E, 0x67};

} // namespace kestrun::test
