#pragma once
// The shell's two ways of asking or telling the user something: the file dialogs of Open and
// Save As, and the message boxes of file errors. Each goes through a hook, so a test answers the
// dialog and reads the message instead of a person, and never blocks on a modal window.

#include "settings/SettingsFile.h"

#include <QString>

#include <functional>
#include <optional>

class QFileDialog;
class QWidget;

namespace kestrun {

enum class FileDialogKind { Open, Save };

/// Answers a file dialog: the chosen path, or nothing when the user cancelled. `proposed` is the
/// name the dialog starts with (empty for Open), `folder` the folder it opens in (empty: the
/// working folder).
using FileDialogHook = std::function<std::optional<QString>(
    QWidget* parent, FileDialogKind kind, const QString& proposed, const QString& folder)>;
/// Shows a message with one OK button and returns when it was closed.
using MessageHook =
    std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

/// Replaces the real dialog; an empty hook brings the real one back.
void setFileDialogHook(FileDialogHook hook);
/// Replaces the real message box; an empty hook brings the real one back.
void setMessageHook(MessageHook hook);
/// A hook that prints "caption: text" on standard error instead of showing a box.
MessageHook stderrMessageHook();

/// Asks for a file to open or to save to, starting in `folder` unless `proposed` names one.
std::optional<QString> promptFileName(QWidget* parent, FileDialogKind kind, const QString& proposed,
                                      const QString& folder);
/// Shows `text` in a box with the exclamation icon and `caption`.
void showShellMessage(QWidget* parent, const QString& text, const QString& caption);
/// Shows the message of a failed load or save of `path` with the caption "Kestrun"; does nothing
/// when `result` is a success.
void reportFileError(QWidget* parent, const SettingsFileResult& result, const QString& path);

/// Sets up `dialog` as the shell's open or save dialog: only "All Files (*.*)", which lists
/// every file (names without a dot too), no extension appended, `proposed` preselected.
void configureFileDialog(QFileDialog& dialog, FileDialogKind kind, const QString& proposed);

/// The path as the settings-file functions take it (the file system's own bytes).
std::string localPath(const QString& path);

} // namespace kestrun
