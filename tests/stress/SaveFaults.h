#pragma once
// Saving a settings file where it cannot succeed: on a full disk, and into a folder the user has
// no rights to. Both leave the previous file as it was; these helpers only make the failure
// real on any machine the tests run on.

#include "settings/SettingsFile.h"

#include <filesystem>
#include <set>
#include <string>

namespace kestrun::stress {

struct SaveAttempt {
    SettingsFileResult result;
    std::string how; ///< how the failure was brought about on this machine
};

/// Saves with the disk "full". No test can count on mounting a small file system, so the
/// process's file-size limit is lowered to 8 bytes for the duration of the save: the
/// temporary file takes 8 bytes of the record and the next write fails (EFBIG), the same short
/// write that a full disk gives (ENOSPC).
SaveAttempt saveOnFullDisk(const std::string& path, const SettingsRecord& record);

/// Saves `path`, which lies in `folder`, after taking the write right on `folder` away. Root
/// ignores rights, so when the tests run as root the save runs in a child process that first
/// gives up root for the unprivileged account 65534. Where even that is impossible, the target
/// is moved under a folder that does not exist (no temporary file can be made there) and
/// `how` says so. The rights are given back afterwards.
SaveAttempt saveWithoutRights(const std::filesystem::path& folder, const std::string& path,
                              const SettingsRecord& record);

/// The names in `folder`: a failed save must leave no temporary file behind.
std::set<std::string> entriesOf(const std::filesystem::path& folder);

} // namespace kestrun::stress
