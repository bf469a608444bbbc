#pragma once
// The recent-file list: the last eight settings files opened or saved, most recent first, kept
// per user in the settings store so the next run offers them again. Beside it the store keeps
// the folders the file dialogs last used, one for settings files and one for upgrade files.

#include <QString>
#include <QStringList>

namespace kestrun {

class RecentFileList {
public:
    enum class Folder { Settings, Upgrade };

    static constexpr int MaxEntries = 8;
    /// Longest text of an entry in the File menu (the number in front not counted).
    static constexpr int DisplayLength = 30;

    /// Reads the list from the settings store (group "Recent File List", keys "File1".."File8");
    /// empty keys and duplicates are skipped.
    void load();
    /// Writes the list back, dropping the keys of entries that no longer exist; nothing when the
    /// list is not persistent.
    void save() const;
    /// Whether changes reach the settings store (a screenshot run changes nothing there).
    void setPersistent(bool persistent) { persistent_ = persistent; }

    /// Puts `path` (made absolute) at the front; an entry already present moves there, and the
    /// ninth entry falls off. Saves at once, so a crash loses nothing.
    void add(const QString& path);
    /// Drops entry `index` (0 is the most recent) and saves; out-of-range indexes do nothing.
    void remove(int index);

    const QStringList& entries() const { return entries_; }

    /// The folder a dialog of `kind` starts in: where such a file was last used; empty at first.
    QString folder(Folder kind) const;
    /// Remembers `folder` for the dialogs of `kind` (in this run only when not persistent).
    void rememberFolder(Folder kind, const QString& folder);

    /// `path` shortened to at most `maxChars` characters for the menu: the whole path when it
    /// fits, else the root, "..." and as many trailing folders as fit before the file's name,
    /// else the file's name alone, and a name longer than that its beginning, "..." and its
    /// end. Linear in the path's length.
    static QString displayName(const QString& path, int maxChars = DisplayLength);
    /// The menu text of entry `index`: "&1 " and the display name, '&' in names doubled so the
    /// menu shows it rather than taking it as a mnemonic.
    static QString menuText(int index, const QString& path);

private:
    QStringList entries_;
    QString folders_[2];
    bool persistent_ = true;
};

} // namespace kestrun
