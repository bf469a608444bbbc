#pragma once
// The settings file: exactly the 18-byte record, no header. Loading never leaves a partial
// record behind, and saving never destroys the file it replaces.

#include "settings/SettingsRecord.h"

#include <span>
#include <string>

namespace kestrun {

/// Texts of the document's file messages, each written once here.
namespace FileMessage {
inline constexpr const char* FailedToOpen = "Failed to open document.";
inline constexpr const char* FailedToSave = "Failed to save document.";
inline constexpr const char* NotFound = "%1 was not found.";
inline constexpr const char* AccessDenied = "Access to %1 was denied.";
inline constexpr const char* UnexpectedFormat = "Unexpected file format.";
} // namespace FileMessage

enum class SettingsFileError {
    None,
    NotFound,         ///< the file does not exist
    AccessDenied,     ///< no rights to the file or its folder
    FailedToOpen,     ///< opened or read failed otherwise
    UnexpectedFormat, ///< 1 to 17 bytes: too short to hold a record
    FailedToSave,     ///< the new file could not be written in full
};

struct SettingsFileResult {
    SettingsFileError error = SettingsFileError::None;
    /// On a failed save: the system's reason ("Permission denied", "Is a directory", ...), for
    /// messages that name it; the window keeps its own texts.
    std::string reason;
    /// On a load: true only when a full record was read into the record. An empty file is
    /// accepted (error None) but loads nothing, so `loaded` is false.
    bool loaded = false;
    bool ok() const { return error == SettingsFileError::None; }
};

/// Loads the first 18 bytes of `path` into `record`. The record is written only when all 18
/// bytes were read; an empty file changes nothing; a file of 1-17 bytes fails with
/// UnexpectedFormat and leaves the record as it was; bytes after the 18th are ignored. Only a
/// regular file is read: a folder, a pipe, a terminal or a device fails with FailedToOpen at
/// once, without waiting for a writer or for input.
SettingsFileResult loadSettingsFile(const std::string& path, SettingsRecord& record);

/// Reads the first `limit` bytes of the regular file at `path` (fewer when it is shorter) into
/// `bytes`, refusing at once, as loadSettingsFile does, whatever is not a regular file. None,
/// or NotFound, AccessDenied or FailedToOpen with `bytes` empty.
SettingsFileError readSettingsFileStart(const std::string& path, std::size_t limit,
                                        std::string& bytes);

/// Writes `record` as an 18-byte file at `path` through saveFileAtomically.
SettingsFileResult saveSettingsFile(const std::string& path, const SettingsRecord& record);

/// Writes `bytes` as the whole file at `path`, doing what writing the file in place may do,
/// and no more:
/// - a file this user may not write is refused (AccessDenied), whatever the folder allows, and
///   so is a new file in a folder this user may not write;
/// - otherwise the bytes go to a temporary file in the same folder, are flushed to disk, and
///   only then replace the target, which keeps its rights, owner and group; on any failure the
///   previous file is left byte for byte as it was and the temporary file is removed;
/// - where that cannot keep what an in-place write keeps (the folder is not writable, the file
///   has other hard links, or its owner or group cannot be given to a new file), the file is
///   rewritten in place: the complete bytes written and flushed, then the file cut to length;
/// - a symbolic link is followed, also a dangling one (its target is created), and stays a link.
SettingsFileResult saveFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

/// The message for `error`, with %1 filled in with `path`; empty for None.
std::string settingsFileMessage(SettingsFileError error, const std::string& path);

} // namespace kestrun
