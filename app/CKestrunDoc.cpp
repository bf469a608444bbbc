#include "app/CKestrunDoc.h"

#include "app/AppText.h"
#include "app/ShellPrompts.h"

#include <QDir>
#include <QFileInfo>

namespace kestrun {

namespace {

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QString CKestrunDoc::title() const {
    if (pathName_.isEmpty()) {
        return QString::fromLatin1(AppText::UntitledName);
    }
    return QFileInfo(pathName_).fileName();
}

void CKestrunDoc::OnNewDocument() {
    pathName_.clear();
}

SettingsFileResult CKestrunDoc::OnOpenDocument(const QString& path) {
    const SettingsFileResult result = loadSettingsFile(localPath(path), record_);
    if (!result.ok()) {
        return result;
    }
    if (result.loaded && view_ != nullptr) {
        view_->postSettingsNotify(SettingsLoadedNotice);
    }
    pathName_ = absolutePath(path);
    return result;
}

SettingsFileResult CKestrunDoc::OnSaveDocument(const QString& path) {
    if (view_ != nullptr) {
        view_->ControlsToRecord();
    }
    const SettingsFileResult result = saveSettingsFile(localPath(path), record_);
    if (result.ok()) {
        pathName_ = absolutePath(path);
    }
    return result;
}

} // namespace kestrun
