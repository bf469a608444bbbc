// The boot-loader dialogue on the wire, tick by tick: the requests, each state's reaction to each
// kind of byte, the line rules of the upload, the bar, the time limits and the finish; then how
// an upgrade is refused, cancelled or fails, and what each end leaves behind: the state, the
// texts, the bar, what went out afterwards, and the upgrade file closed (never left held open).

#include "tests/support/Rig.h"

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
    EXPECT_EQ(rig.writes(), Writes{"\x1bP"});
    EXPECT_EQ(rig.host.upgradeStatusText, "Waiting for Controller...");
    EXPECT_EQ(rig.state(), 9);
    rig.tick("78 3B"); // noise before ';' is ignored
    EXPECT_EQ(rig.host.upgradeStatusText, "Erasing Flash Memory..");
    EXPECT_EQ(rig.state(), 10);
    rig.tick("40 FF");
    EXPECT_EQ(rig.host.progress, 0xFF);
    // The file was read and checked at "Start": from then on the upload sends that copy only.
    std::filesystem::remove(rig.upload.upgradePath());

    // Each line in one write, its LF CR in a second; the bar at the bytes read so far. 0x01 is
    // not the end while records remain; once only blank lines follow, the file is consumed.
    const struct {
        std::string read;
        Writes sent;
        int bar;
    } steps[] = {{Ack, {Line1, "\n\r"}, 17 * 256 / 55},
                 {Done, {}, 17 * 256 / 55},
                 {Ack, {Line2, "\n\r"}, 38 * 256 / 55},
                 {Ack, {EndRecord, "\n\r"}, 255}};
    for (const auto& step : steps) {
        rig.tick(step.read);
        const auto at = &step - steps;
        EXPECT_EQ(rig.writes(), step.sent) << "step " << at;
        EXPECT_EQ(rig.host.progress, step.bar) << "step " << at;
        EXPECT_EQ(rig.state(), 12) << "step " << at;
    }
    EXPECT_EQ(rig.host.upgradeStatusText, "Uploading new code..");
    EXPECT_EQ(rig.host.upgradeFinishedNotices, 0);

    rig.tick(Done);
    EXPECT_EQ(rig.writes(), Writes{"Z\n\r"});
    EXPECT_EQ(rig.host.upgradeFinishedNotices, 1);
    EXPECT_EQ(rig.host.upgradeStatusText, "");
    EXPECT_EQ(rig.host.progress, 0);
    EXPECT_FALSE(rig.upload.upgradeFileOpen());
    EXPECT_EQ(rig.state(), 14); // 13 became 14 on the tick step of the same tick
    rig.tick(Ack);              // bytes in the finishing states are dropped
    EXPECT_EQ(rig.state(), 0);
    EXPECT_TRUE(rig.writes().empty());
    EXPECT_TRUE(rig.host.messages.empty());
}

// How lines leave the file. Every acknowledgement is 0x00 until nothing more goes out.
TEST(UploadDialogue, LineRules) {
    const struct {
        const char* what;
        std::string file;
        Writes sent;
    } cases[] = {
        {"blank lines cost no acknowledgement",
         "\r\n\r\n:01\r\n\r\n:02\r\n",
         {":01", "\n\r", ":02", "\n\r"}},
        {"a trailing blank ends the line", ":01 rest\r\n:02\r\n", {":01", "\n\r", ":02", "\n\r"}},
        {"a ';' comment is dropped", ":01;note\r\n:02\r\n", {":01", "\n\r", ":02", "\n\r"}},
        {"a leading blank sends only the line end", " :01\r\n:02\r\n", {"\n\r", ":02", "\n\r"}},
        {"lone LF line ends", ":01\n:02\n:03\n", {":01", "\n\r", ":02", "\n\r", ":03", "\n\r"}},
        {"lone CR line ends", ":01\r:02\r", {":01", "\n\r", ":02", "\n\r"}},
        {"a last line without its end still goes", ":01\r\n:02", {":01", "\n\r", ":02", "\n\r"}},
        {"letters beyond F and mid-line colons pass", ":GZ:x\r\n", {":GZ:x", "\n\r"}},
        {"blank and comment lines after the last record go with it",
         ":01\r\n:02 ; end\r\n\r\n ; note\r\n\t\r\n",
         {":01", "\n\r", ":02", "\n\r"}},
    };
    for (const auto& c : cases) {
        Rig<> rig;
        rig.upload.StartUpgrade(std::vector<uint8_t>(c.file.begin(), c.file.end())); // unchecked
        rig.tick(Ready);
        rig.writes(); // ESC 'P'
        Writes sent;
        for (int i = 0; i < 8; ++i) { // the erase's end, then one per line, then idle ones
            rig.tick(Ack);
            for (auto& w : rig.writes()) {
                sent.push_back(w);
            }
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
        {":0400000001020304F2\r\n:0400040005060708DF\r\n:00000001FF\r\n",
         true,
         {notValid + "Line 2: the checksum is DF but should be DE.", caption, MessageIcon::Error}},
        {":" + std::string(256, 'A') + "\r\n",
         true,
         {notValid + "Line 1: the record is longer than 255 characters.", caption,
          MessageIcon::Error}},
        {":0400000001020304F2\r\n",
         true,
         {notValid + "Line 1: the file has no end-of-file record.", caption, MessageIcon::Error}},
        {"", true, {notValid + "The file cannot be opened.", caption, MessageIcon::Error}},
    };
    for (const auto& c : cases) {
        Rig<> rig;
        if (c.file) {
            rig.choose(*c.file);
        }
        if (c.file && c.file->empty()) {
            std::filesystem::remove(rig.upload.upgradePath());
        }
        if (!c.bridge) {
            rig.engine.shutdown();
        }
        rig.upload.StartUpgrade();
        EXPECT_EQ(rig.host.messages, std::vector<Message>{c.box});
        EXPECT_TRUE(rig.writes().empty()) << c.box.text;
        EXPECT_EQ(rig.state(), 0) << c.box.text;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.box.text;
    }
}

TEST(CancelExchange, EndsEveryStateAndLateBytesAreDropped) {
    const struct {
        Writes reads; // after "Start"
        int state;
    } cases[] = {{{}, 9},
                 {{Ready}, 10},
                 {{Ready, "30"}, 10},
                 {{Ready, Ack}, 12},
                 {{Ready, Ack, Ack}, 12},
                 {{Ready, Ack, Ack, Ack, Done}, 14}}; // 13 becomes 14 within its tick
    for (const auto& c : cases) {
        Rig<> rig;
        rig.choose(GoodFile);
        rig.start(c.reads);
        ASSERT_EQ(rig.state(), c.state);
        rig.writes();
        rig.upload.CancelExchange();
        EXPECT_EQ(rig.state(), 0) << c.state;
        EXPECT_EQ(rig.host.upgradeStatusText, "") << c.state;
        EXPECT_EQ(rig.host.progress, 0) << c.state;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.state;
        EXPECT_EQ(rig.host.upgradeFinishedNotices, c.state == 14 ? 1 : 0) << "a finish stands";
        EXPECT_EQ(rig.upload.upgradePath(), (rig.folder.path() / "fw.hex").string()) << c.state;
        // A late ';', erase end, acknowledgements and the silence after them change nothing.
        for (const std::string& late : {Ready, Ack, Done}) {
            rig.tick(late);
        }
        rig.idleTicks(2500);
        EXPECT_TRUE(rig.writes().empty()) << c.state;
        EXPECT_EQ(rig.state(), 0) << c.state;
        // The same file can be chosen again, and a new start reads it from its beginning.
        rig.choose(GoodFile);
        rig.start({Ready, Ack});
        EXPECT_EQ(rig.writes(), (Writes{"\x1bP", ":0400000001020304F2", "\n\r"})) << c.state;
    }
}

// Every failure of the upload ends idle with its text on the upgrade's status line only, the bar
// at 0, the file's copy let go, nothing of a bad line on the wire and nothing sent afterwards.
// Silence ends on exactly its last tick: 2000 ticks for the erase, then 1000 after each byte.
TEST(UploadFailures, EachEndsIdleWithItsTextAndTheFileClosed) {
    const char* const NoResponse = "No Response from Device";
    const struct {
        const char* what;
        Writes reads; // after "Start", one per tick
        int silence;  // idle ticks to the text, counting the last; 0: the reads bring it
        const char* text;
        std::size_t linesSent;
        std::string file = GoodFile;
    } cases[] = {
        {"line refused", {Ready, Ack, "15"}, 0, "Communications Error", 1},
        {"forced line over 255", {Ready, Ack}, 0, "File Error", 0, ":" + std::string(256, 'A')},
        {"forced empty file", {Ready, Ack}, 0, "File Error", 0, ""},
        {"erase silent", {Ready}, 1999, NoResponse, 0}, // the ';' tick counted the first
        {"erase silent after progress", {Ready, "10"}, 999, NoResponse, 0},
        {"upload silent", {Ready, Ack, Ack}, 999, NoResponse, 2},
    };
    for (const auto& c : cases) {
        Rig<> rig;
        rig.upload.StartUpgrade(std::vector<uint8_t>(c.file.begin(), c.file.end()));
        for (const std::string& read : c.reads) {
            rig.tick(read);
        }
        if (c.silence > 0) {
            rig.idleTicks(c.silence - 1);
            EXPECT_NE(rig.state(), 0) << c.what << ": ended a tick early";
            rig.idleTicks(1);
        }
        EXPECT_EQ(rig.writes().size(), 1 + 2 * c.linesSent) << c.what << ": no bad line goes out";
        EXPECT_EQ(rig.host.upgradeStatusText, c.text) << c.what;
        EXPECT_EQ(rig.host.statusText, "---") << c.what;
        EXPECT_EQ(rig.state(), 0) << c.what;
        EXPECT_EQ(rig.host.progress, 0) << c.what;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.what;
        rig.idleTicks(2100);
        EXPECT_TRUE(rig.writes().empty()) << c.what;
    }
}

} // namespace
} // namespace kestrun::test
