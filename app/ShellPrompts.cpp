#include "app/ShellPrompts.h"

#include "app/AppText.h"
#include "ui/CorePath.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>

#include <cstdio>

namespace kestrun {

namespace {

FileDialogHook& fileDialogHook() {
    static FileDialogHook hook;
    return hook;
}

MessageHook& messageHook() {
    static MessageHook hook;
    return hook;
}

} // namespace

void setFileDialogHook(FileDialogHook hook) {
    fileDialogHook() = std::move(hook);
}

void setMessageHook(MessageHook hook) {
    messageHook() = std::move(hook);
}

MessageHook stderrMessageHook() {
    return [](QWidget*, const QString& text, const QString& caption) {
        std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
        std::fflush(stderr);
    };
}

void configureFileDialog(QFileDialog& dialog, FileDialogKind kind, const QString& proposed) {
    // The toolkit's own dialog everywhere: the desktop's dialogs would read "*.*" as "names
    // with a dot" and hide settings files saved without an extension.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QString::fromLatin1(AppText::FileFilter));
    dialog.setDefaultSuffix(QString());
    if (kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!proposed.isEmpty()) {
        dialog.selectFile(proposed);
    }
    // "All Files" means all files: keep the filter's text, list every name.
    if (auto* model = dialog.findChild<QFileSystemModel*>()) {
        model->setNameFilters({});
    }
}

std::optional<QString> promptFileName(QWidget* parent, FileDialogKind kind, const QString& proposed,
                                      const QString& folder) {
    if (fileDialogHook()) {
        return fileDialogHook()(parent, kind, proposed, folder);
    }
    QFileDialog dialog(parent, QString(), folder);
    configureFileDialog(dialog, kind, proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

void showShellMessage(QWidget* parent, const QString& text, const QString& caption) {
    if (messageHook()) {
        messageHook()(parent, text, caption);
        return;
    }
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void reportFileError(QWidget* parent, const SettingsFileResult& result, const QString& path) {
    if (result.ok()) {
        return;
    }
    const std::string message = settingsFileMessage(result.error, path.toStdString());
    showShellMessage(parent, QString::fromStdString(message),
                     QString::fromLatin1(AppText::AppName));
}

std::string localPath(const QString& path) {
    return ui::corePath(path);
}

} // namespace kestrun
