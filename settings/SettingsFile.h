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
    /// On a load: true only when a full record was read into the record. An empty file is
    /// accepted (error None) but loads nothing, so `loaded` is false.
    bool loaded = false;
    bool ok() const { return error == SettingsFileError::None; }
};

/// Loads the first 18 bytes of `path` into `record`. The record is written only when all 18
/// bytes were read; an empty file changes nothing; a file of 1-17 bytes fails with
/// UnexpectedFormat and leaves the record as it was; bytes after the 18th are ignored.
SettingsFileResult loadSettingsFile(const std::string& path, SettingsRecord& record);

/// Writes `record` as an 18-byte file at `path`, atomically: the bytes go to a temporary file
/// in the same folder, are flushed to disk, and only then replace the target. On any failure the
/// previous file is left byte for byte as it was and the temporary file is removed.
SettingsFileResult saveSettingsFile(const std::string& path, const SettingsRecord& record);

/// Writes `bytes` as the whole file at `path`, with the same atomic replacement as
/// saveSettingsFile (which writes the record's 18 bytes through it).
SettingsFileResult saveFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

/// The message for `error`, with %1 filled in with `path`; empty for None.
std::string settingsFileMessage(SettingsFileError error, const std::string& path);

} // namespace kestrun
