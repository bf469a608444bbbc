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
/// to the count read (fewer at the end of the file). None on success; NotFound, AccessDenied or
/// FailedToOpen (also for a folder, and for a read error) otherwise, with `got` 0.
SettingsFileError readFileStart(const std::string& path, uint8_t* buffer, std::size_t want,
                                std::size_t& got);

/// Makes the file at `path` hold exactly `count` bytes in one step: they go to a temporary file
/// in the same folder, reach the disk, and only then replace the target (a symbolic link is
/// followed, so it stays a link). A folder or a device at `path` is never replaced. False on any
/// failure: the previous file is then left byte for byte as it was, and no temporary file stays.
bool replaceFileAtomically(const std::string& path, const uint8_t* bytes, std::size_t count);

} // namespace kestrun
