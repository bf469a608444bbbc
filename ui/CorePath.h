#pragma once
// Texts crossing between the window (QString) and the core (std::string): file paths and the
// texts the core builds from them. The core takes a path as the system's own bytes on Linux and
// as UTF-8 on Windows, where it turns it into UTF-16 at each system call (CorePath_unix.cpp,
// CorePath_win.cpp), so any name the user can pick reaches the file.

#include <QString>

#include <string>

namespace kestrun::ui {

/// `path` as the core's file calls take it.
std::string corePath(const QString& path);
/// A text from the core, which may hold a path, for the window.
QString fromCore(const std::string& text);

} // namespace kestrun::ui
