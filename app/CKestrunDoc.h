#pragma once
// The document: the one settings record of the program and the file it was last opened from or
// saved to. It is never marked modified, so nothing ever asks whether to save it.

#include "app/DocumentView.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <QByteArray>
#include <QString>

namespace kestrun {

class CKestrunDoc {
public:
    CKestrunDoc() = default;
    CKestrunDoc(const CKestrunDoc&) = delete;
    CKestrunDoc& operator=(const CKestrunDoc&) = delete;

    SettingsRecord& record() { return record_; }
    const SettingsRecord& record() const { return record_; }

    /// The view that shows the record; may be null until the frame has one.
    void setView(DocumentView* view) { view_ = view; }

    /// The file of the document; empty for a new document.
    const QString& pathName() const { return pathName_; }
    /// The file's name, or "Untitled" for a new document.
    QString title() const;
    bool isModified() const { return false; }

    /// File New: the document forgets its file; the record stays as it was.
    void OnNewDocument();
    /// File Open: loads `path`. Only a full record reaches the record, and only then is the
    /// view's settings notice posted; an empty file loads nothing and still succeeds. On
    /// success the document takes the file's path; on failure nothing changes. `systemPath`,
    /// when given, is the name as the system spells it (a name that is not valid UTF-8 has no
    /// exact QString); the file is opened, and saved back later, by those bytes.
    SettingsFileResult OnOpenDocument(const QString& path, const QByteArray& systemPath = {});
    /// Save: the controls are read into the record first, then it is written atomically. On
    /// success the document takes the path; on failure the old file is untouched.
    SettingsFileResult OnSaveDocument(const QString& path);

private:
    SettingsRecord record_ = StartRecord;
    DocumentView* view_ = nullptr;
    QString pathName_;
    QByteArray systemPath_; ///< the document's file as the system names it
};

} // namespace kestrun
