#pragma once
// Shared pieces of the window's and the shell's tests: settings files written and read byte by
// byte.

#include "app/AppText.h"
#include "settings/SettingsRecord.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace kestrun::test {

inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
    return file.fileName();
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
