#include "app/CKestrunDoc.h"

#include "app/AppText.h"
#include "app/ShellPrompts.h"
#include "ui/CorePath.h"

#include <QDir>
#include <QFileInfo>

namespace kestrun {

namespace {

// A path as the core's file calls take it (see ui/CorePath.h).
QByteArray systemBytes(const QString& path) {
    return QByteArray::fromStdString(ui::corePath(path));
}

QString absolutePath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// The system's bytes of `path` made absolute: the working folder's bytes put in front.
QByteArray absoluteSystemPath(const QByteArray& path) {
    return QDir::isAbsolutePath(ui::fromCore(path.toStdString()))
               ? path
               : systemBytes(QDir::currentPath()) + '/' + path;
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
    systemPath_.clear();
}

SettingsFileResult CKestrunDoc::OnOpenDocument(const QString& path, const QByteArray& systemPath) {
    const QByteArray bytes = systemPath.isEmpty() ? systemBytes(path) : systemPath;
    const SettingsFileResult result = loadSettingsFile(bytes.toStdString(), record_);
    if (!result.ok()) {
        return result;
    }
    if (result.loaded && view_ != nullptr) {
        view_->postSettingsNotify(SettingsLoadedNotice);
    }
    pathName_ = absolutePath(path);
    systemPath_ = systemPath.isEmpty() ? systemBytes(pathName_) : absoluteSystemPath(bytes);
    return result;
}

SettingsFileResult CKestrunDoc::OnSaveDocument(const QString& path) {
    if (view_ != nullptr) {
        view_->ControlsToRecord();
    }
    // Save to the document's own file goes to it by the system's bytes.
    const bool ownFile = !systemPath_.isEmpty() && absolutePath(path) == pathName_;
    const QByteArray bytes = ownFile ? systemPath_ : systemBytes(path);
    const SettingsFileResult result = saveSettingsFile(bytes.toStdString(), record_);
    if (result.ok()) {
        pathName_ = absolutePath(path);
        systemPath_ = ownFile ? systemPath_ : systemBytes(pathName_);
    }
    return result;
}

} // namespace kestrun
