#include "ui/CorePath.h"

#include <QDir>

namespace kestrun::ui {

std::string corePath(const QString& path) {
    return QDir::toNativeSeparators(path).toUtf8().toStdString();
}

QString fromCore(const std::string& text) {
    return QString::fromUtf8(text);
}

} // namespace kestrun::ui
