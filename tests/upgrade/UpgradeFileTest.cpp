// The checks an upgrade file meets: the quick sniff and dot rule when it is chosen (and that a
// refusal or a busy link never loses the earlier choice), and the full Intel HEX check that
// stands between a damaged file and a freshly erased controller.

#include "tests/support/Rig.h"

#include "upgrade/IntelHex.h"
#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

TEST(IsHexFile, SniffsTheFirstThreeBytesAndTheDotRule) {
    ScratchFolder folder;
    const struct {
        const char* name;
        std::string content;
        bool accepted;
    } cases[] = {
        {"late.hex", "10:", false},
        {"letters.hex", ":GZ", true}, // any letter passes, not only A-F
        {"three.hex", ":00", true},
        {"two.hex", ":0", false},
        {"bom.hex", "\xEF\xBB\xBF:10", false},
        {"utf16.hex", std::string(":\0001\0000\0", 6), false},
        {"high.hex", ":\xC3\xA9", false},
        {"fw.new/firmware", ":10", true}, // the first '.' may lie in a folder name
        {"firmware", ":10", false},       // no '.' anywhere in the path
    };
    const int before = openDescriptors();
    for (const auto& c : cases) {
        EXPECT_EQ(IsHexFile(folder.write(c.name, c.content)), c.accepted) << c.name;
    }
    EXPECT_FALSE(IsHexFile((folder.path() / "missing.hex").string()));
    std::filesystem::create_directories(folder.path() / "folder.hex");
    EXPECT_FALSE(IsHexFile((folder.path() / "folder.hex").string()));
    // The path's first '.' must have two characters before it, whatever follows.
    folder.write("fw.hex", ":10");
    folder.write("a.hex", ":10");
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    EXPECT_TRUE(IsHexFile("fw.hex"));
    EXPECT_FALSE(IsHexFile("a.hex"));
    EXPECT_FALSE(IsHexFile("./fw.hex"));
    std::filesystem::current_path(home);
    EXPECT_EQ(openDescriptors(), before) << "every checked file is closed again";
}

TEST(SelectUpgradeFile, AcceptsRefusesAndNeverLosesTheEarlierChoice) {
    Rig<> rig;
    const std::string good = rig.folder.write("fw.new/ctrl.hex", ":00000001FF\r\n");
    rig.upload.SelectUpgradeFile(good);
    rig.upload.SelectUpgradeFile(""); // the dialog was cancelled
    EXPECT_EQ(rig.upload.upgradeFileName(), "ctrl.hex");
    EXPECT_EQ(rig.host.upgradeFileText, "ctrl.hex");
    EXPECT_EQ(rig.upload.dialogFolder(), (rig.folder.path() / "fw.new").string());

    rig.upload.SelectUpgradeFile(rig.folder.write("work/image.txt", "not hex"));
    rig.upload.SelectUpgradeFile("D:\\work\\image.txt"); // named after its last backslash too
    const Message refusal{"image.txt is not a valid hex file.", "Programming File Not Valid",
                          MessageIcon::None};
    EXPECT_EQ(rig.host.messages, (std::vector<Message>{refusal, refusal}));
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

TEST(CheckHexImage, SummarisesAGoodFileAndNamesTheFirstBadLineAndItsProblem) {
    ScratchFolder folder;
    const auto check = [&](const std::string& content) {
        return readUpgradeImage(folder.write("f.hex", content)).check;
    };
    const HexCheckResult ok = check(":020000040001F9\r\n"         // linear base 0x10000
                                    ":04fff0000102030403\r\n"     // 0x0001FFF0-3, either case
                                    "\r\n"                        // a blank line
                                    ":02000002100EDE\n"           // segment base 0x100E0
                                    ":020010001122BB ; comment\r" // 0x000100F0-1
                                    ":00000001FF\r\n\r\n \t\r\n; built 2026\r\n"); // a trailer
    EXPECT_TRUE(ok.ok) << ok.problem;
    EXPECT_EQ(ok.records, 5u);
    EXPECT_EQ(ok.dataBytes, 6u);
    EXPECT_EQ(ok.lowAddress, 0x000100F0u);
    EXPECT_EQ(ok.highAddress, 0x0001FFF3u);
    // Each kind of bad record is named, with the first bad line.
    const std::string good = ":0300300002337A1E\r\n";
    const std::string end = ":00000001FF\r\n";
    const struct {
        std::string content;
        std::size_t line;
        const char* problem;
    } cases[] = {
        {good + ":03003000G2337A1E\r\n" + end, 2, "'G' is not a hex digit"},
        {good + ":0300300002337A1\r\n" + end, 2, "the record has an odd number of hex digits"},
        {":0400300002337A1D\r\n" + end, 1,
         "the length byte gives 4 data bytes but the record holds 3"},
        {":0300300002337A1F\r\n" + end, 1, "the checksum is 1F but should be 1E"},
        {":00000006FA\r\n" + end, 1, "unknown record type 06"},
        {":0100000100FE\r\n" + end, 1, "a record of type 01 must hold 0 data bytes"},
        {":0100000401FA\r\n" + end, 1, "a record of type 04 must hold 2 data bytes"},
        {good + good, 2, "the file has no end-of-file record"}, // the last line, not past it
        {good + end + "\r\n " + good, 4, "something follows the end-of-file record"},
        {good + " " + good + end, 2, "the line does not begin with a record"},
        {good + "\r\n:" + std::string(256, '0') + "\r\n" + end, 3,
         "the record is longer than 255 characters"},
    };
    for (const auto& c : cases) {
        const HexCheckResult result = check(c.content);
        EXPECT_FALSE(result.ok) << c.content;
        EXPECT_EQ(result.line, c.line) << c.content;
        EXPECT_EQ(result.problem, c.problem) << c.content;
    }
    EXPECT_EQ(readUpgradeImage(folder.path().string()).check.problem, "the file cannot be opened");
    std::filesystem::resize_file(folder.write("huge.hex", ""), MaxUpgradeFileBytes + 1);
    const UpgradeImage huge = readUpgradeImage((folder.path() / "huge.hex").string());
    EXPECT_EQ(huge.check.problem, "the file is larger than 64 MiB, which no firmware is");
    EXPECT_TRUE(huge.bytes.empty());
}

} // namespace
} // namespace kestrun::test
