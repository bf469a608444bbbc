#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kestrun {
namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kestrun-settings-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        fs::path p = dir / name;
        std::ofstream(p, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
    static std::vector<uint8_t> read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    fs::path dir;
};

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = static_cast<uint8_t>(0x30 + i);
    }
    return v;
}

TEST_F(SettingsFileTest, LoadTakesExactlyTheFirst18BytesAndNothingLess) {
    struct Case {
        std::size_t size;
        SettingsFileError error;
        bool loaded;
    };
    for (Case c :
         {Case{0, SettingsFileError::None, false},
          Case{1, SettingsFileError::UnexpectedFormat, false},
          Case{17, SettingsFileError::UnexpectedFormat, false},
          Case{18, SettingsFileError::None, true}, Case{20, SettingsFileError::None, true}}) {
        SettingsRecord record = StartRecord;
        auto path = write("f" + std::to_string(c.size), counting(c.size));
        SettingsFileResult r = loadSettingsFile(path, record);
        EXPECT_EQ(r.error, c.error) << c.size;
        EXPECT_EQ(r.loaded, c.loaded) << c.size;
        if (c.loaded) {
            auto expected = counting(18);
            EXPECT_TRUE(std::equal(record.begin(), record.end(), expected.begin())) << c.size;
        } else {
            // A short file leaves none of its bytes in the record.
            EXPECT_EQ(record, StartRecord) << c.size;
        }
    }
}

TEST_F(SettingsFileTest, LoadErrorsNameTheFile) {
    SettingsRecord record = StartRecord;
    std::string missing = (dir / "missing.set").string();
    auto r = loadSettingsFile(missing, record);
    EXPECT_EQ(r.error, SettingsFileError::NotFound);
    EXPECT_EQ(settingsFileMessage(r.error, missing), missing + " was not found.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::AccessDenied, "a"), "Access to a was denied.");
    EXPECT_EQ(settingsFileMessage(SettingsFileError::UnexpectedFormat, "a"),
              "Unexpected file format.");
    EXPECT_EQ(loadSettingsFile(dir.string(), record).error, SettingsFileError::FailedToOpen);
    EXPECT_EQ(record, StartRecord);
}

TEST_F(SettingsFileTest, SaveWritesTheRecordAndReplacesTheOldFile) {
    std::string path = write("s.set", counting(30));
    ASSERT_TRUE(saveSettingsFile(path, StartRecord).ok());
    EXPECT_EQ(read(path), std::vector<uint8_t>(StartRecord.begin(), StartRecord.end()));
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SettingsFileTest, FailedSaveLeavesTheOldFileByteForByte) {
    std::string path = write("keep.set", counting(18));
    if (::geteuid() != 0) {
        // A folder without write rights: the temporary file cannot be created.
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(saveSettingsFile(path, StartRecord).error, SettingsFileError::FailedToSave);
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        EXPECT_EQ(read(path), counting(18));
    }
    // A target that is a folder is never replaced.
    fs::create_directory(dir / "folder");
    auto r = saveSettingsFile((dir / "folder").string(), StartRecord);
    EXPECT_EQ(r.error, SettingsFileError::FailedToSave);
    EXPECT_EQ(settingsFileMessage(r.error, "x"), "Failed to save document.");
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    // A folder that does not exist.
    EXPECT_FALSE(saveSettingsFile((dir / "no" / "such.set").string(), StartRecord).ok());
    EXPECT_EQ(read(path), counting(18));
}

TEST_F(SettingsFileTest, SaveThroughALinkKeepsTheLink) {
    std::string real = write("real.set", counting(18));
    fs::create_symlink(real, dir / "link.set");
    ASSERT_TRUE(saveSettingsFile((dir / "link.set").string(), StartRecord).ok());
    EXPECT_TRUE(fs::is_symlink(dir / "link.set"));
    EXPECT_EQ(read(real), std::vector<uint8_t>(StartRecord.begin(), StartRecord.end()));
}

} // namespace
} // namespace kestrun
