#include "app/RecentFileList.h"

#include "app/AppText.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace kestrun {

namespace {

QSettings settingsStore() {
    // The names come from the application object (set in main and by the tests), so a test
    // can point the store at a folder of its own through QSettings::setPath.
    return QSettings(QString::fromLatin1(AppText::CompanyKey),
                     QString::fromLatin1(AppText::AppName));
}

QString entryKey(int number) {
    return QString::fromLatin1(AppText::RecentFileKey).arg(number);
}

QString folderKey(RecentFileList::Folder kind) {
    return QStringLiteral("%1/%2").arg(QString::fromLatin1(AppText::LastFolderGroup),
                                       QString::fromLatin1(kind == RecentFileList::Folder::Settings
                                                               ? AppText::SettingsFolderKey
                                                               : AppText::UpgradeFolderKey));
}

} // namespace

void RecentFileList::load() {
    entries_.clear();
    QSettings store = settingsStore();
    store.beginGroup(QString::fromLatin1(AppText::RecentFileGroup));
    for (int number = 1; number <= MaxEntries; ++number) {
        // Kept with the system's separators (on Windows "C:\...", as the list has always been
        // written there), handled with '/' inside, so an old entry and a new one of the same
        // file are one entry.
        const QString path = QDir::fromNativeSeparators(store.value(entryKey(number)).toString());
        if (!path.isEmpty() && !entries_.contains(path)) {
            entries_.append(path);
        }
    }
    store.endGroup();
    for (Folder kind : {Folder::Settings, Folder::Upgrade}) {
        folders_[static_cast<int>(kind)] = store.value(folderKey(kind)).toString();
    }
}

QString RecentFileList::folder(Folder kind) const {
    return folders_[static_cast<int>(kind)];
}

void RecentFileList::rememberFolder(Folder kind, const QString& folder) {
    folders_[static_cast<int>(kind)] = folder;
    if (persistent_ && !folder.isEmpty()) {
        QSettings store = settingsStore();
        store.setValue(folderKey(kind), folder);
    }
}

void RecentFileList::save() const {
    if (!persistent_) {
        return;
    }
    QSettings store = settingsStore();
    store.beginGroup(QString::fromLatin1(AppText::RecentFileGroup));
    for (int number = 1; number <= MaxEntries; ++number) {
        if (number <= entries_.size()) {
            store.setValue(entryKey(number), QDir::toNativeSeparators(entries_[number - 1]));
        } else {
            store.remove(entryKey(number));
        }
    }
    store.endGroup();
    store.sync();
}

void RecentFileList::add(const QString& path) {
    if (path.isEmpty()) {
        return;
    }
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    entries_.removeAll(absolute);
    entries_.prepend(absolute);
    while (entries_.size() > MaxEntries) {
        entries_.removeLast();
    }
    save();
}

void RecentFileList::remove(int index) {
    if (index < 0 || index >= entries_.size()) {
        return;
    }
    entries_.removeAt(index);
    save();
}

QString RecentFileList::displayName(const QString& path, int maxChars) {
    if (path.size() <= maxChars) {
        return path;
    }
    const qsizetype lastSlash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(lastSlash + 1);
    const QString lead =
        path.startsWith(QLatin1Char('/')) ? QStringLiteral("/.../") : QStringLiteral(".../");
    if (lastSlash > 0 && lead.size() + name.size() <= maxChars) {
        // Walk back one folder at a time while the tail still fits: each step looks only at the
        // folder it adds, so a path of thousands of folders costs no more than reading it.
        qsizetype kept = lastSlash; // the tail shown starts after this slash
        while (kept > 0) {
            const qsizetype previous = path.lastIndexOf(QLatin1Char('/'), kept - 1);
            if (previous <= 0 || lead.size() + path.size() - previous - 1 > maxChars) {
                break;
            }
            kept = previous;
        }
        return lead + path.mid(kept + 1);
    }
    if (name.size() <= maxChars) {
        return name;
    }
    // A name too long on its own keeps its beginning and its end (the extension).
    const qsizetype head = (maxChars - 3) / 2;
    return name.left(head) + QStringLiteral("...") + name.right(maxChars - 3 - head);
}

QString RecentFileList::menuText(int index, const QString& path) {
    QString shown = displayName(path);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(QString::number(index + 1), shown);
}

} // namespace kestrun
