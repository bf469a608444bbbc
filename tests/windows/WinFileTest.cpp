// The settings file and the upgrade file on Windows, run under Wine: names outside any ANSI code
// page open, save and load (UTF-8 inside, UTF-16 at the system), and a save that cannot replace
// its target leaves the old file byte for byte and no temporary file behind.

#include "settings/SettingsFile.h"
#include "tests/support/Rig.h"
#include "upgrade/ReadOnlyFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <iterator>

namespace kestrun {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TEST(WindowsFiles, UnicodeNamesSaveLoadAndOpenAndAFailedSaveLeavesTheOldFile) {
    test::ScratchFolder scratch;
    for (const fs::path name : {u8"plain.set", u8"J\u00f6rg/K\u00f6pfe/\u65e5\u672c.set"}) {
        const fs::path file = scratch.path() / name;
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(saveSettingsFile(utf8(file), StartRecord).ok()) << utf8(file);
        ASSERT_TRUE(saveSettingsFile(utf8(file), test::OtherRecord).ok()) << "replacing it";
        EXPECT_EQ(test::fileBytes(file),
                  std::string(test::OtherRecord.begin(), test::OtherRecord.end()));
        EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1)
            << "no temporary file stays";
        SettingsRecord loaded{};
        const SettingsFileResult result = loadSettingsFile(utf8(file), loaded);
        EXPECT_TRUE(result.ok() && result.loaded);
        EXPECT_EQ(loaded, test::OtherRecord);
        uint64_t length = 0;
        EXPECT_NE(openRegularFile(utf8(file), &length), nullptr);
        EXPECT_EQ(length, RecordSize);
    }
    EXPECT_EQ(openRegularFile(utf8(scratch.path())), nullptr) << "a folder is no upgrade file";

    const std::string readOnly = scratch.write("read-only.set", std::string(30, 'x'));
    ::SetFileAttributesW(fs::path(readOnly).c_str(), FILE_ATTRIBUTE_READONLY);
    fs::create_directory(scratch.path() / "folder.set");
    const std::tuple<fs::path, SettingsFileError, SettingsFileError> cases[] = {
        // the target, the save's error, the load's error
        {readOnly, SettingsFileError::AccessDenied, SettingsFileError::None},
        {scratch.path() / "folder.set", SettingsFileError::FailedToSave,
         SettingsFileError::FailedToOpen},
        {scratch.path() / "missing" / "x.set", SettingsFileError::FailedToSave,
         SettingsFileError::NotFound},
    };
    for (const auto& [target, saveError, loadError] : cases) {
        const SettingsFileResult saved = saveSettingsFile(utf8(target), StartRecord);
        EXPECT_EQ(saved.error, saveError) << utf8(target);
        EXPECT_FALSE(saved.reason.empty()) << "the system's reason, for kestrun-cli's message";
        SettingsRecord record{};
        EXPECT_EQ(loadSettingsFile(utf8(target), record).error, loadError) << utf8(target);
    }
    EXPECT_EQ(test::fileBytes(readOnly), std::string(30, 'x'));
    EXPECT_TRUE(fs::is_empty(scratch.path() / "folder.set"));
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.path()), {}), 4)
        << "no temporary file stays";
}

} // namespace
} // namespace kestrun
