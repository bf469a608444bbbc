#include "settings/SettingsFile.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

const std::string Start(StartRecord.begin(), StartRecord.end());

// How much of a file a load takes (nothing of 1 to 17 bytes, the first 18 of more, an empty file
// accepted) is the settings file fuzz target's, whose seeds hold each of those sizes.
TEST(SettingsFile, LoadErrorsNameTheFile) {
    ScratchFolder dir;
    SettingsRecord record = StartRecord;
    std::string missing = (dir.path() / "missing.set").string();
    auto r = loadSettingsFile(missing, record);
    EXPECT_EQ(r.error, SettingsFileError::NotFound);
    EXPECT_EQ(settingsFileMessage(r.error, missing), missing + " was not found.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::AccessDenied, "a"), "Access to a was denied.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::UnexpectedFormat, "a"),
              "Unexpected file format.");
    EXPECT_EQ(loadSettingsFile(dir.path().string(), record).error, SettingsFileError::FailedToOpen);
    EXPECT_EQ(record, StartRecord);
}

// A failed save leaves the old file byte for byte and no temporary file; a folder without the
// write right and a full disk are the fault matrix's.
TEST(SettingsFile, SaveReplacesTheFileOrLeavesItAsItWas) {
    ScratchFolder dir;
    const std::string path = dir.write("s.set", std::string(30, 'x'));
    ASSERT_TRUE(saveSettingsFile(path, StartRecord).ok());
    EXPECT_EQ(fileBytes(path), Start);
    // A target that is a folder is never replaced; nor is anything in a folder that is not there.
    fs::create_directory(dir.path() / "folder");
    auto r = saveSettingsFile((dir.path() / "folder").string(), OtherRecord);
    EXPECT_EQ(r.error, SettingsFileError::FailedToSave);
    EXPECT_EQ(settingsFileMessage(r.error, "x"), "Failed to save document.");
    EXPECT_TRUE(fs::is_empty(dir.path() / "folder"));
    EXPECT_FALSE(saveSettingsFile((dir.path() / "no" / "such.set").string(), OtherRecord).ok());
    EXPECT_EQ(fileBytes(path), Start);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    // Through a symbolic link the link stays and its target takes the record.
    fs::create_symlink(path, dir.path() / "link.set");
    ASSERT_TRUE(saveSettingsFile((dir.path() / "link.set").string(), OtherRecord).ok());
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.set"));
    EXPECT_EQ(fileBytes(path), std::string(OtherRecord.begin(), OtherRecord.end()));
}

} // namespace
} // namespace kestrun::test
