// The boot-loader dialogue on the wire, tick by tick: the requests, each state's reaction to each
// kind of byte, the line rules of the upload, the bar, the time limits and the finish; how an
// upgrade is refused, cancelled or fails, and what each end leaves behind. Then the checks an
// upgrade file meets: the sniff and dot rule when it is chosen (a refusal or a busy link never
// loses the earlier choice), and the full Intel HEX check that stands between a damaged file and
// a freshly erased controller.

#include "tests/support/Rig.h"
#include "upgrade/IntelHex.h"

#include <gtest/gtest.h>

namespace kestrun::test {
namespace {

const std::string Line1 = ":020000040000FA";
const std::string Line2 = ":0400000001020304F2";
const std::string EndRecord = ":00000001FF";

TEST(UploadDialogue, WholeDialogueForASmallWellFormedFile) {
    Rig<> rig;
    // Two blank lines after the end record: 55 bytes.
    rig.choose(Line1 + "\r\n" + Line2 + "\r\n" + EndRecord + "\r\n\r\n\r\n");
    rig.upload.StartUpgrade();
    // The file was read and checked at "Start": from then on the upload sends that copy only.
    std::filesystem::remove(rig.upload.upgradePath());
    const std::string waiting = "Waiting for Controller...", erasing = "Erasing Flash Memory..",
                      uploading = "Uploading new code..";
    // Each line in one write, its LF CR in a second; the bar at the bytes read so far. 0x01 is
    // not the end while records remain; once only blank lines follow, the file is consumed.
    const struct {
        std::string read;
        Writes sent;
        int bar, state;
        std::string status;
        int finished = 0;
    } steps[] = {{"", {"\x1bP"}, 0, 9, waiting},
                 {"78 3B", {}, 0, 10, erasing}, // noise before ';' is ignored
                 {"40 FF", {}, 0xFF, 10, erasing},
                 {Ack, {Line1, "\n\r"}, 17 * 256 / 55, 12, uploading},
                 {Done, {}, 17 * 256 / 55, 12, uploading},
                 {Ack, {Line2, "\n\r"}, 38 * 256 / 55, 12, uploading},
                 {Ack, {EndRecord, "\n\r"}, 255, 12, uploading},
                 {Done, {"Z\n\r"}, 0, 14, "", 1}, // 13 became 14 on the same tick
                 {Ack, {}, 0, 0, "", 1}};         // bytes in the finishing states are dropped
    for (const auto& step : steps) {
        SCOPED_TRACE("step " + std::to_string(&step - steps));
        rig.tick(step.read);
        EXPECT_EQ(rig.writes(), step.sent);
        EXPECT_EQ(rig.host.progress, step.bar);
        EXPECT_EQ(rig.state(), step.state);
        EXPECT_EQ(rig.host.upgradeStatusText, step.status);
        EXPECT_EQ(rig.host.upgradeFinishedNotices, step.finished);
    }
    EXPECT_FALSE(rig.upload.upgradeFileOpen());
    EXPECT_TRUE(rig.host.messages.empty());
}

// How lines leave the file. Every acknowledgement is 0x00 until nothing more goes out.
TEST(UploadDialogue, LineRules) {
    const Writes two = {":01", "\n\r", ":02", "\n\r"};
    const struct {
        const char* what;
        std::string file;
        Writes sent;
    } cases[] = {
        {"blank lines cost no acknowledgement", "\r\n\r\n:01\r\n\r\n:02\r\n", two},
        {"a trailing blank ends the line", ":01 rest\r\n:02\r\n", two},
        {"a ';' comment is dropped", ":01;note\r\n:02\r\n", two},
        {"a leading blank sends only the line end", " :01\r\n:02\r\n", {"\n\r", ":02", "\n\r"}},
        {"lone LF line ends", ":01\n:02\n:03\n", {":01", "\n\r", ":02", "\n\r", ":03", "\n\r"}},
        {"lone CR line ends", ":01\r:02\r", two},
        {"a last line without its end still goes", ":01\r\n:02", two},
        {"letters beyond F and mid-line colons pass", ":GZ:x\r\n", {":GZ:x", "\n\r"}},
        {"the longest line, 255 characters, goes whole",
         ":" + std::string(254, '0') + "\r\n",
         {":" + std::string(254, '0'), "\n\r"}},
        {"blank and comment lines after the last record go with it",
         ":01\r\n:02 ; end\r\n\r\n ; note\r\n\t\r\n", two},
    };
    for (const auto& c : cases) {
        Rig<> rig;
        rig.upload.StartUpgrade(std::vector<uint8_t>(c.file.begin(), c.file.end())); // unchecked
        rig.tick(Ready);
        rig.writes(); // ESC 'P'
        Writes sent;
        for (int i = 0; i < 8; ++i) { // the erase's end, then one per line, then idle ones
            rig.tick(Ack);
            std::ranges::copy(rig.writes(), std::back_inserter(sent));
        }
        EXPECT_EQ(sent, c.sent) << c.what;
        EXPECT_EQ(rig.upload.upgradeBytesRead(), c.file.size()) << c.what;
    }
}

TEST(UploadDialogue, WakeUpRequestOnThe1001stTickThenEvery201stAndRestartAfterBytes) {
    Rig<> rig;
    rig.choose(EndRecord);
    rig.bridge.writeFailure = BridgeStatusCode::WriteError;
    rig.upload.StartUpgrade();
    rig.upload.StartUpgrade(); // a second press while waiting does nothing
    rig.bridge.writeFailure.reset();
    // A failed ESC 'P' shows its box (a command, not a tick) and the wait goes on regardless.
    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].text, "Failed to transmit : Write error");
    std::vector<int> requestTicks;
    for (int tick = 1; tick <= 3000; ++tick) {
        rig.tick(tick == 1500 ? "3F" : "");
        for (const auto& w : rig.writes()) {
            EXPECT_EQ(w, "033P");
            requestTicks.push_back(tick);
        }
    }
    // 1001, 1202, 1403; the '?' at 1500 restarts the wait: 2500, 2701, 2902. No time limit.
    EXPECT_EQ(requestTicks, (std::vector<int>{1001, 1202, 1403, 2500, 2701, 2902}));
    EXPECT_EQ(rig.host.upgradeStatusText, "Waiting for Controller...");
    EXPECT_EQ(rig.state(), 9);
}

TEST(UploadProgress, BarArithmeticHoldsForFilesOver16MiB) {
    Rig<> rig;
    // A record, 17 MiB of blank lines, a record, 1 MiB of blank lines, the end record.
    std::string file = Line1 + "\r\n" + std::string(17u << 20, '\n') + Line2 + "\r\n";
    const uint64_t afterSecond = file.size();
    file += std::string(1u << 20, '\n') + EndRecord + "\r\n";
    rig.choose(file);
    rig.start({Ready, Ack});
    rig.tick(Ack);
    EXPECT_EQ(rig.writes().back(), "\n\r");
    EXPECT_EQ(rig.host.progress, static_cast<int>(afterSecond * 256 / file.size())); // 241
}

const std::string GoodFile = ":0400000001020304F2\r\n:0400040005060708DE\r\n:00000001FF\r\n";

// "Start" refuses with a box and sends nothing: without a bridge (this guard comes first), without
// a file, or with a file the boot loader could not be given, which it reads whole and checks.
TEST(StartUpgrade, RefusesWithABoxAndSendsNothing) {
    const std::string notValid = "fw.hex cannot be programmed: nothing was sent.\n";
    const char* const caption = "Programming File Not Valid";
    const struct {
        std::optional<std::string> file; // none chosen; "": chosen, then gone
        bool bridge;
        Message box;
    } cases[] = {
        {std::nullopt, true, {"Please select an upgrade file", "Kestrun", MessageIcon::None}},
        {GoodFile,
         false,
         {"Please connect the USB cable,\n and provide power to the head controller.",
          "Controller is not connected", MessageIcon::Error}},
        {":" + std::string(256, 'A') + "\r\n",
         true,
         {notValid + "Line 1: the record is longer than 255 characters.", caption,
          MessageIcon::Error}},
        {"", true, {notValid + "The file cannot be opened.", caption, MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        Rig<> rig(c.bridge);
        if (c.file) {
            rig.choose(*c.file);
        }
        if (c.file && c.file->empty()) {
            std::filesystem::remove(rig.upload.upgradePath());
        }
        rig.upload.StartUpgrade();
        EXPECT_EQ(rig.host.messages, std::vector<Message>{c.box});
        EXPECT_TRUE(rig.writes().empty()) << c.box.text;
        EXPECT_EQ(rig.state(), 0) << c.box.text;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.box.text;
    }
}

// Every end short of the finish, cancelled in each state or failed: the link idle, the text on
// the upgrade's status line only, the bar at 0, the file's copy let go, nothing of a bad line on
// the wire and nothing sent afterwards, whatever still arrives; the same file can be chosen again
// and a new start reads it from its beginning. Silence ends on exactly its last tick: 2000 ticks
// for the erase, then 1000 after each byte.
TEST(UploadEnds, CancelledOrFailedEachEndsIdleWithItsTextAndTheFileClosed) {
    const char* const NoResponse = "No Response from Device";
    const struct {
        const char* what;
        Writes reads;     // after "Start", one per tick
        int silence;      // idle ticks to the text, counting the last; 0: the reads bring it
        const char* text; // nullptr: the user cancels
        std::size_t sent; // writes from "Start" on
        std::string file = GoodFile;
    } cases[] = {
        {"cancelled waiting", {}, 0, nullptr, 1},
        {"cancelled erasing", {Ready, "30"}, 0, nullptr, 1},
        {"cancelled uploading", {Ready, Ack, Ack}, 0, nullptr, 5},
        {"cancelled finished", {Ready, Ack, Ack, Ack, Done}, 0, nullptr, 8}, // 13 became 14
        {"line refused", {Ready, Ack, "15"}, 0, "Communications Error", 3},
        {"forced line over 255", {Ready, Ack}, 0, "File Error", 1, ":" + std::string(255, 'A')},
        {"forced empty file", {Ready, Ack}, 0, "File Error", 1, ""},
        {"erase silent", {Ready}, 1999, NoResponse, 1}, // the ';' tick counted the first
        {"erase silent after progress", {Ready, "10"}, 999, NoResponse, 1},
        {"upload silent", {Ready, Ack, Ack}, 999, NoResponse, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig<> rig;
        const std::string path = rig.choose(GoodFile);
        rig.upload.StartUpgrade(std::vector<uint8_t>(c.file.begin(), c.file.end()));
        for (const std::string& read : c.reads) {
            rig.tick(read);
        }
        if (c.silence > 0) {
            rig.idleTicks(c.silence - 1);
            EXPECT_NE(rig.state(), 0) << "ended a tick early";
            rig.idleTicks(1);
        }
        if (c.text == nullptr) {
            rig.upload.CancelExchange();
        }
        EXPECT_EQ(rig.writes().size(), c.sent) << "no bad line goes out";
        EXPECT_EQ(rig.state(), 0);
        EXPECT_EQ(rig.host.upgradeStatusText, c.text ? c.text : "");
        EXPECT_EQ(rig.host.statusText, "---");
        EXPECT_EQ(rig.host.progress, 0);
        EXPECT_FALSE(rig.upload.upgradeFileOpen());
        EXPECT_EQ(rig.host.upgradeFinishedNotices, c.sent == 8 ? 1 : 0) << "a finish stands";
        EXPECT_EQ(rig.upload.upgradePath(), path);
        // A late ';', erase end, acknowledgements and the silence after them change nothing.
        for (const std::string& late : {Ready, Ack, Done}) {
            rig.tick(late);
        }
        rig.idleTicks(2500);
        EXPECT_TRUE(rig.writes().empty());
        EXPECT_EQ(rig.state(), 0);
        rig.choose(GoodFile);
        rig.start({Ready, Ack});
        EXPECT_EQ(rig.writes(), (Writes{"\x1bP", ":0400000001020304F2", "\n\r"}));
    }
}

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
    EXPECT_EQ(std::tuple(ok.records, ok.dataBytes, ok.lowAddress, ok.highAddress),
              std::tuple(5u, 6u, 0x000100F0u, 0x0001FFF3u));
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
        const HexCheckResult r = check(c.content);
        EXPECT_EQ(std::tuple(r.ok, r.line, r.problem), std::tuple(false, c.line, c.problem))
            << c.content;
    }
    EXPECT_EQ(readUpgradeImage(folder.path().string()).check.problem, "the file cannot be opened");
    std::filesystem::resize_file(folder.write("huge.hex", ""), MaxUpgradeFileBytes + 1);
    const UpgradeImage huge = readUpgradeImage((folder.path() / "huge.hex").string());
    EXPECT_EQ(huge.check.problem, "the file is larger than 64 MiB, which no firmware is");
    EXPECT_TRUE(huge.bytes.empty());
}

} // namespace
} // namespace kestrun::test
