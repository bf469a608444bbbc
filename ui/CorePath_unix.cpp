#include "ui/CorePath.h"

#include <QFile>

namespace kestrun::ui {

std::string corePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fromCore(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

} // namespace kestrun::ui
