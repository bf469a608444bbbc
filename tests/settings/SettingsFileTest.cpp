#include "settings/SettingsFile.h"
#include "tests/support/Rig.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrun::test {
namespace {

const std::string Start(StartRecord.begin(), StartRecord.end()), Old(30, 'x');

// What a regular file holds; nothing for anything else.
std::string contents(const fs::path& path) {
    return fs::is_regular_file(path) ? fileBytes(path).value_or("") : "";
}

// How much of a file a load takes (nothing of 1 to 17 bytes, the first 18 of more, an empty file
// accepted) is the settings file fuzz target's, whose seeds hold each of those sizes; a missing
// file and the messages are kestrun-cli's transcripts' and the fault matrix's.
// What is not a regular file is refused at once: a pipe nobody writes to and a terminal
// nobody types into would otherwise hold the window forever.
TEST(SettingsFile, NothingButAFileIsLoaded) {
    ScratchFolder dir;
    SettingsRecord record = StartRecord;
    ASSERT_EQ(::mkfifo((dir.path() / "fifo.set").c_str(), 0600), 0);
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
    ::alarm(10); // a load that blocks ends the test instead of hanging it
    for (const std::string& path : {dir.path().string(), (dir.path() / "fifo.set").string(),
                                    std::string(::ptsname(terminal))}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(loadSettingsFile(path, record).error, SettingsFileError::FailedToOpen) << path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << path;
    }
    ::alarm(0);
    ::close(terminal);
    EXPECT_EQ(record, StartRecord);
}

// A save does what writing the file in place may do, run as an ordinary user: rights count
// whatever the folder allows, owner and group stay, a file in a read-only folder is rewritten in
// place, every name of a hard-linked file sees the record, a link (even a dangling one) stays a
// link, and a failed save leaves the old file and no temporary file. A full disk is the fault
// matrix's.
TEST(SettingsFile, SaveDoesWhatAWriteInPlaceMayAndNoMore) {
    enum Target { Nothing, File, ReadOnly, RootsFile, Folder, HardLink, SymLink, Dangling };
    using E = SettingsFileError;
    const struct {
        Target target;
        bool folderReadOnly;
        E error;
    } cases[] = {{Nothing, false, E::None},          {File, false, E::None},
                 {ReadOnly, false, E::AccessDenied}, {File, true, E::None},
                 {Nothing, true, E::AccessDenied},   {RootsFile, false, E::None},
                 {Folder, false, E::FailedToSave},   {HardLink, false, E::None},
                 {SymLink, false, E::None},          {Dangling, false, E::None}};
    ScratchFolder dir;
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const bool root = ::geteuid() == 0;
    for (const auto& c : cases) {
        const std::string at = "case " + std::to_string(&c - cases);
        if (c.target == RootsFile && !root) {
            continue; // only root can give a file to another user
        }
        const fs::path folder = dir.path() / at, target = folder / "target",
                       other = folder / "other";
        const bool linked = c.target >= HardLink;
        fs::create_directories(folder);
        giveToUnprivileged(folder.c_str());
        if (c.target == Folder) {
            fs::create_directory(target);
        } else if (c.target != Nothing && c.target != Dangling) {
            dir.write(linked ? other : target, Old);
            if (c.target != RootsFile) {
                giveToUnprivileged((linked ? other : target).c_str());
            }
        }
        if (c.target == HardLink) {
            fs::create_hard_link(other, target);
        } else if (c.target == SymLink || c.target == Dangling) {
            fs::create_symlink("other", target);
        }
        if (c.target == ReadOnly || c.target == RootsFile) {
            fs::permissions(target, c.target == ReadOnly ? fs::perms::owner_read : fs::perms::all);
        }
        if (c.folderReadOnly) {
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        }
        const std::string before = contents(target);
        const auto error = static_cast<E>(runUnprivileged(
            [&] { return static_cast<int>(saveSettingsFile(target, StartRecord).error); }));
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(error, c.error) << at;
        EXPECT_EQ(contents(target), c.error == E::None ? Start : before) << at;
        EXPECT_EQ(contents(other), linked ? Start : "") << at;
        EXPECT_EQ(fs::is_symlink(target), c.target == SymLink || c.target == Dangling) << at;
        struct stat st {};
        if (c.error == E::None && root && ::stat(target.c_str(), &st) == 0) {
            EXPECT_EQ(st.st_uid, c.target == RootsFile ? 0 : UnprivilegedId) << at;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                  fs::exists(other) + fs::exists(fs::symlink_status(target)))
            << at << ": a temporary file stayed";
    }
    const auto missing = saveSettingsFile((dir.path() / "no" / "such.set").string(), StartRecord);
    EXPECT_EQ(settingsFileMessage(missing.error, "x"), "Failed to save document.");
    EXPECT_EQ(missing.reason, "No such file or directory");
}

} // namespace
} // namespace kestrun::test
