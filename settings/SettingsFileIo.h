#pragma once
// The settings file's two system operations, one implementation per platform
// (SettingsFileIo_unix.cpp, SettingsFileIo_win.cpp). Paths are UTF-8 on Windows and the system's
// bytes on Linux.

#include "settings/SettingsFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrun {

/// Reads up to `want` bytes from the start of the file at `path` into `buffer` and sets `got`
/// to the count read (fewer at the end of the file). Only a regular file is read, and nothing
/// waits: a folder, a pipe, a terminal or a device fails at once. None on success; NotFound,
/// AccessDenied or FailedToOpen (also for a read error) otherwise, with `got` 0.
SettingsFileError readFileStart(const std::string& path, uint8_t* buffer, std::size_t want,
                                std::size_t& got);

/// Makes the file at `path` hold exactly `count` bytes, as saveFileAtomically describes: what a
/// write in place may do and no more, through a replacement by a temporary file where that keeps
/// what an in-place write keeps, else in place. On failure the error (AccessDenied where the
/// user may not write the file or make it, else FailedToSave) and the system's reason.
SettingsFileResult saveFileBytes(const std::string& path, const uint8_t* bytes, std::size_t count);

} // namespace kestrun
