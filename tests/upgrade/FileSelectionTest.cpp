// Choosing the upgrade file: the three-byte sniff, the dot rule, what the user sees when a file
// is refused, and that a refusal or a busy link never loses the earlier choice.

#include "tests/upgrade/UploadRig.h"

#include <filesystem>

namespace kestrun::test {
namespace {

std::size_t openDescriptors() {
    auto entries = std::filesystem::directory_iterator("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(entries, {}));
}

TEST(IsHexFile, SniffsTheFirstThreeBytesAndTheDotRule) {
    ScratchFolder folder;
    struct Case {
        const char* name;
        std::string content;
        bool accepted;
    };
    const Case cases[] = {
        {"data.hex", ":10010000214601360121470136007EFE09D2190140\r\n", true},
        {"late.hex", "10:", false},
        {"letters.hex", ":GZ", true}, // any letter passes, not only A-F
        {"three.hex", ":00", true},
        {"two.hex", ":0", false},
        {"empty.hex", "", false},
        {"bom.hex", "\xEF\xBB\xBF:10", false},
        {"utf16.hex",
         std::string(":\0"
                     "1\0"
                     "0\0",
                     6),
         false},
        {"high.hex", ":\xC3\xA9", false},
        {"blank.hex", ": 10", false},
        {"fw.new/firmware", ":10", true}, // the first '.' may lie in a folder name
        {"firmware", ":10", false},       // no '.' anywhere in the path
    };
    const std::size_t before = openDescriptors();
    for (const Case& c : cases) {
        EXPECT_EQ(IsHexFile(folder.write(c.name, c.content)), c.accepted) << c.name;
    }
    EXPECT_FALSE(IsHexFile((folder.path() / "missing.hex").string()));
    std::filesystem::create_directories(folder.path() / "folder.hex");
    EXPECT_FALSE(IsHexFile((folder.path() / "folder.hex").string()));
    // Relative paths: the first '.' must have two characters before it, whatever follows.
    folder.write("fw.hex", ":10");
    folder.write("a.hex", ":10");
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    EXPECT_TRUE(IsHexFile("fw.hex"));
    EXPECT_FALSE(IsHexFile("a.hex"));
    EXPECT_FALSE(IsHexFile("./fw.hex"));
    std::filesystem::current_path(home);
    EXPECT_FALSE(IsHexFile(""));
    EXPECT_EQ(openDescriptors(), before) << "every checked file is closed again";
}

TEST(SelectUpgradeFile, AcceptsRefusesAndNeverLosesTheEarlierChoice) {
    UploadRig rig;
    rig.upload.SelectUpgradeFile(""); // the dialog was cancelled
    EXPECT_EQ(rig.upload.dialogFolder(), "");

    const std::string good = rig.folder.write("fw.new/ctrl.hex", ":10");
    rig.upload.SelectUpgradeFile(good);
    EXPECT_EQ(rig.upload.upgradePath(), good);
    EXPECT_EQ(rig.upload.upgradeFileName(), "ctrl.hex");
    EXPECT_EQ(rig.host.upgradeFileText, "ctrl.hex");
    EXPECT_EQ(rig.upload.dialogFolder(), (rig.folder.path() / "fw.new").string());
    EXPECT_TRUE(rig.host.messages.empty());

    rig.upload.SelectUpgradeFile(rig.folder.write("work/image.txt", "not hex"));
    rig.upload.SelectUpgradeFile("D:\\work\\image.txt"); // named after its last backslash too
    ASSERT_EQ(rig.host.messages.size(), 2u);
    for (const Message& m : rig.host.messages) {
        EXPECT_EQ(m.text, "image.txt is not a valid hex file.");
        EXPECT_EQ(m.caption, "Programming File Not Valid");
        EXPECT_EQ(m.icon, MessageIcon::None);
    }
    EXPECT_EQ(rig.upload.upgradePath(), good);
    EXPECT_EQ(rig.host.upgradeFileText, "ctrl.hex");

    // While the upgrade waits for the boot loader, no choice is taken or refused.
    rig.upload.StartUpgrade();
    EXPECT_FALSE(rig.upload.canSelectFile());
    rig.upload.SelectUpgradeFile(rig.folder.write("second.hex", ":10"));
    rig.upload.SelectUpgradeFile(rig.folder.write("bad.hex", "xx"));
    EXPECT_EQ(rig.upload.upgradePath(), good);
    EXPECT_EQ(rig.host.messages.size(), 2u);
}

} // namespace
} // namespace kestrun::test
