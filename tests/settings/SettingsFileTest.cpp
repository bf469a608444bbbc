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

// A settings file's bytes: "0123..." up to `n` characters.
std::string counting(std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += static_cast<char>(0x30 + i);
    }
    return text;
}
const std::string Start(StartRecord.begin(), StartRecord.end());

// What a regular file holds; nothing for anything else.
std::string contents(const fs::path& path) {
    return fs::is_regular_file(path) ? fileBytes(path).value_or("") : "";
}

// How much of a file a load takes (nothing of 1 to 17 bytes, the first 18 of more, an empty file
// accepted) is the settings file fuzz target's, whose seeds hold each of those sizes.
// What is not a regular file is refused at once: a pipe nobody writes to and a terminal
// nobody types into would otherwise hold the window forever.
TEST(SettingsFile, LoadErrorsNameTheFileAndNothingButAFileIsRead) {
    ScratchFolder dir;
    SettingsRecord record = StartRecord;
    std::string missing = (dir.path() / "missing.set").string();
    auto r = loadSettingsFile(missing, record);
    EXPECT_EQ(r.error, SettingsFileError::NotFound);
    EXPECT_EQ(settingsFileMessage(r.error, missing), missing + " was not found.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::AccessDenied, "a"), "Access to a was denied.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::UnexpectedFormat, "a"),
              "Unexpected file format.");
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

// A save does what writing the file in place may do, as an ordinary user: rights are honoured
// whatever the folder allows, owner and group stay, a file in a folder the user may not write
// is rewritten in place, and a failed save leaves the old file and no temporary file. A full
// disk is the fault matrix's.
TEST(SettingsFile, SaveDoesWhatAWriteInPlaceMayAndNoMore) {
    using E = SettingsFileError;
    ScratchFolder dir;
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add); // for 65534
    const bool root = ::geteuid() == 0;
    const auto give = [](const fs::path& p) { giveToUnprivileged(p.c_str()); };
    // The folder's write takes an absolute path as it is.
    const auto file = [&](const fs::path& p, std::size_t n = 18) {
        give(dir.write(p, counting(n)));
    };
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    const struct Case {
        const char* what;
        std::function<void(const fs::path&)> make; // in a folder of its own, the user's
        E error;
        bool saved;
        bool ownedByRoot = false; // the file stays root's
    } cases[] = {
        {"a new file", [](const fs::path&) {}, E::None, true},
        {"a file of 30 bytes", [&](const fs::path& f) { file(f / "target", 30); }, E::None, true},
        {"a read-only file",
         [&](const fs::path& f) {
             file(f / "target");
             fs::permissions(f / "target", fs::perms::owner_read);
         },
         E::AccessDenied, false},
        {"a file in a read-only folder",
         [&](const fs::path& f) {
             file(f / "target");
             fs::permissions(f, readOnly);
         },
         E::None, true},
        {"a new file in a read-only folder",
         [&](const fs::path& f) { fs::permissions(f, readOnly); }, E::AccessDenied, false},
        {"a hard link, seen through both names",
         [&](const fs::path& f) {
             file(f / "other");
             fs::create_hard_link(f / "other", f / "target");
         },
         E::None, true},
        {"a link to a file",
         [&](const fs::path& f) {
             file(f / "other");
             fs::create_symlink("other", f / "target");
         },
         E::None, true},
        {"a dangling link, whose file is made",
         [](const fs::path& f) { fs::create_symlink("other", f / "target"); }, E::None, true},
        {"a folder", [](const fs::path& f) { fs::create_directory(f / "target"); }, E::FailedToSave,
         false},
        {"another user's file the user may write",
         [&](const fs::path& f) {
             dir.write(f / "target", counting(18));
             fs::permissions(f / "target", fs::perms::all);
         },
         E::None, true, true},
    };
    for (const Case& c : cases) {
        if (c.ownedByRoot && !root) {
            continue; // only root can give a file to another user
        }
        const fs::path folder = dir.path() / c.what;
        fs::create_directories(folder);
        give(folder);
        c.make(folder);
        const fs::path target = folder / "target";
        const bool existed = fs::exists(target);
        const std::string before = contents(target);
        const auto error = static_cast<E>(runUnprivileged(
            [&] { return static_cast<int>(saveSettingsFile(target, StartRecord).error); }));
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(contents(target), c.saved ? Start : before) << c.what;
        if (fs::exists(folder / "other")) {
            EXPECT_TRUE(fs::is_symlink(target) || fs::hard_link_count(target) == 2) << c.what;
            EXPECT_EQ(contents(folder / "other"), c.saved ? Start : before) << c.what;
        }
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st) == 0, c.saved || existed) << c.what;
        if (c.saved && root) {
            EXPECT_EQ(st.st_uid, c.ownedByRoot ? 0 : UnprivilegedId) << c.what;
        }
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                  fs::exists(folder / "other") + fs::exists(target))
            << c.what << ": a temporary file stayed";
    }
    const auto missing = saveSettingsFile((dir.path() / "no" / "such.set").string(), StartRecord);
    EXPECT_EQ(settingsFileMessage(missing.error, "x"), "Failed to save document.");
    EXPECT_EQ(missing.reason, "No such file or directory");
}

} // namespace
} // namespace kestrun::test
