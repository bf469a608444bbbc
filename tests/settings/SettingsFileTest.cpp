#include "settings/SettingsFile.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

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

TEST(SettingsFile, LoadTakesExactlyTheFirst18BytesAndNothingLess) {
    struct Case {
        std::size_t size;
        SettingsFileError error;
        bool loaded;
    };
    ScratchFolder dir;
    for (Case c :
         {Case{0, SettingsFileError::None, false},
          Case{1, SettingsFileError::UnexpectedFormat, false},
          Case{17, SettingsFileError::UnexpectedFormat, false},
          Case{18, SettingsFileError::None, true}, Case{20, SettingsFileError::None, true}}) {
        SettingsRecord record = StartRecord;
        auto path = dir.write("f" + std::to_string(c.size), counting(c.size));
        SettingsFileResult r = loadSettingsFile(path, record);
        EXPECT_EQ(r.error, c.error) << c.size;
        EXPECT_EQ(r.loaded, c.loaded) << c.size;
        if (c.loaded) {
            auto expected = counting(18);
            EXPECT_EQ(std::string(record.begin(), record.end()), expected) << c.size;
        } else {
            // A short file leaves none of its bytes in the record.
            EXPECT_EQ(record, StartRecord) << c.size;
        }
    }
}

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
    const std::string path = dir.write("s.set", counting(30));
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
