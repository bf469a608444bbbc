// The settings file and the upgrade file on Windows, run under Wine: names outside any ANSI code
// page open, save and load (UTF-8 inside, UTF-16 at the system), and a save that cannot replace
// its target leaves the old file byte for byte and no temporary file behind.

#include "settings/SettingsFile.h"
#include "upgrade/ReadOnlyFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace kestrun {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct Scratch {
    fs::path root =
        fs::temp_directory_path() / ("kestrun-win-" + std::to_string(::GetCurrentProcessId()));
    Scratch() { fs::create_directories(root); }
    ~Scratch() {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove_all(root, ignored);
    }
};

TEST(WindowsFiles, UnicodeNamesSaveLoadAndOpen) {
    Scratch scratch;
    SettingsRecord other = StartRecord;
    other[2] = 0x42;
    const fs::path names[] = {u8"plain.set", u8"J\u00f6rg/K\u00f6pfe/\u65e5\u672c.set"};
    for (const fs::path& name : names) {
        const fs::path file = scratch.root / name;
        fs::create_directories(file.parent_path());
        ASSERT_TRUE(saveSettingsFile(utf8(file), StartRecord).ok()) << utf8(file);
        ASSERT_TRUE(saveSettingsFile(utf8(file), other).ok()) << "replacing it";
        EXPECT_EQ(bytesOf(file), std::string(other.begin(), other.end()));
        EXPECT_EQ(entries(file.parent_path()), 1u) << "no temporary file stays";
        SettingsRecord loaded{};
        const SettingsFileResult result = loadSettingsFile(utf8(file), loaded);
        EXPECT_TRUE(result.ok() && result.loaded);
        EXPECT_EQ(loaded, other);
        uint64_t length = 0;
        EXPECT_NE(openRegularFile(utf8(file), &length), nullptr);
        EXPECT_EQ(length, RecordSize);
    }
    EXPECT_EQ(openRegularFile(utf8(scratch.root)), nullptr) << "a folder is no upgrade file";
}

TEST(WindowsFiles, AFailedSaveLeavesTheOldFileAndNoTemporaryFile) {
    Scratch scratch;
    const fs::path readOnly = scratch.root / "read-only.set";
    std::ofstream(readOnly, std::ios::binary) << std::string(30, 'x');
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    fs::create_directory(scratch.root / "folder.set");
    const struct {
        fs::path target;
        SettingsFileError saveError;
        SettingsFileError loadError;
    } cases[] = {
        {readOnly, SettingsFileError::AccessDenied, SettingsFileError::None},
        {scratch.root / "folder.set", SettingsFileError::FailedToSave,
         SettingsFileError::FailedToOpen},
        {scratch.root / "missing" / "x.set", SettingsFileError::FailedToSave,
         SettingsFileError::NotFound},
    };
    for (const auto& c : cases) {
        const SettingsFileResult saved = saveSettingsFile(utf8(c.target), StartRecord);
        EXPECT_EQ(saved.error, c.saveError) << utf8(c.target);
        EXPECT_FALSE(saved.reason.empty()) << "the system's reason, for kestrun-cli's message";
        SettingsRecord record{};
        EXPECT_EQ(loadSettingsFile(utf8(c.target), record).error, c.loadError) << utf8(c.target);
    }
    EXPECT_EQ(bytesOf(readOnly), std::string(30, 'x'));
    EXPECT_TRUE(fs::is_empty(scratch.root / "folder.set"));
    EXPECT_EQ(entries(scratch.root), 2u) << "no temporary file stays";
}

} // namespace
} // namespace kestrun
