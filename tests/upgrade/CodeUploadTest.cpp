// The boot-loader dialogue on the wire, tick by tick: the requests, each state's reaction to each
// kind of byte, the line rules of the upload, the bar, and the finish.

#include "tests/upgrade/UploadRig.h"

namespace kestrun::test {
namespace {

using Writes = std::vector<std::string>;

const std::string Line1 = ":020000040000FA";
const std::string Line2 = ":0400000001020304F2";
const std::string EndRecord = ":00000001FF";

TEST(UploadDialogue, WholeDialogueForASmallWellFormedFile) {
    UploadRig rig;
    const std::string file = Line1 + "\r\n" + Line2 + "\r\n" + EndRecord + "\r\n"; // 15+2+19+2+11+2
    rig.choose(file);

    rig.upload.StartUpgrade();
    EXPECT_EQ(rig.writes(), Writes{"\x1bP"});
    EXPECT_EQ(rig.host.upgradeStatusText, "Waiting for Controller...");
    EXPECT_EQ(rig.state(), 9);

    rig.tick("x;"); // noise before ';' is ignored
    EXPECT_EQ(rig.host.upgradeStatusText, "Erasing Flash Memory..");
    EXPECT_EQ(rig.state(), 10);
    EXPECT_EQ(rig.engine.responseTimeout(), 1999u); // 2000, counted down by this tick

    rig.tick("\x40\xFF");
    EXPECT_EQ(rig.host.progress, 0xFF);
    EXPECT_FALSE(rig.upload.upgradeFileOpen()) << "opened only when the erase ends";

    rig.tick(Ack);
    EXPECT_EQ(rig.host.upgradeStatusText, "Uploading new code..");
    EXPECT_EQ(rig.state(), 12);
    EXPECT_TRUE(rig.upload.upgradeFileOpen());
    EXPECT_EQ(rig.upload.upgradeFileLength(), 51u);
    EXPECT_EQ(rig.writes(), (Writes{Line1, "\n\r"}));
    EXPECT_EQ(rig.host.progress, 17 * 256 / 51);

    rig.tick(Ack);
    EXPECT_EQ(rig.writes(), (Writes{Line2, "\n\r"}));
    EXPECT_EQ(rig.host.progress, 38 * 256 / 51);
    rig.tick(Ack);
    EXPECT_EQ(rig.writes(), (Writes{EndRecord, "\n\r"}));
    EXPECT_EQ(rig.host.progress, 255);

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
    struct Case {
        const char* what;
        std::string file;
        Writes sent;
    };
    const Case cases[] = {
        {"blank lines cost no acknowledgement",
         "\r\n\r\n:01\r\n\r\n\r\n:02\r\n",
         {":01", "\n\r", ":02", "\n\r"}},
        {"a trailing blank ends the line", ":01 rest\r\n:02\r\n", {":01", "\n\r", ":02", "\n\r"}},
        {"a ';' comment is dropped", ":01;note\r\n:02\r\n", {":01", "\n\r", ":02", "\n\r"}},
        {"a leading blank sends only the line end", " :01\r\n:02\r\n", {"\n\r", ":02", "\n\r"}},
        {"lone LF line ends lose nothing",
         ":01\n:02\n:03\n",
         {":01", "\n\r", ":02", "\n\r", ":03", "\n\r"}},
        {"lone CR line ends lose nothing", ":01\r:02\r", {":01", "\n\r", ":02", "\n\r"}},
        {"a last line without its end still goes", ":01\r\n:02", {":01", "\n\r", ":02", "\n\r"}},
        {"letters beyond F and mid-line colons pass", ":GZ:x\r\n", {":GZ:x", "\n\r"}},
    };
    for (const Case& c : cases) {
        UploadRig rig;
        rig.choose(c.file);
        rig.startThroughErase();
        Writes sent = rig.writes();
        ASSERT_FALSE(sent.empty()) << c.what;
        sent.erase(sent.begin()); // ESC 'P'
        for (int i = 0; i < 10 && rig.state() == 12; ++i) {
            rig.tick(Ack);
            for (auto& w : rig.writes()) {
                sent.push_back(w);
            }
        }
        EXPECT_EQ(sent, c.sent) << c.what;
        EXPECT_EQ(rig.upload.upgradeBytesRead(), c.file.size()) << c.what;
    }
}

TEST(UploadDialogue, AckAfterTheLastLineMovesTheBarToTheTopAndSendsNothing) {
    UploadRig rig;
    rig.choose(EndRecord + "\r");
    rig.startThroughErase();
    rig.writes();
    EXPECT_EQ(rig.host.progress, 0) << "a line ended by the file's last byte leaves the bar";
    rig.tick(Ack);
    EXPECT_TRUE(rig.writes().empty());
    EXPECT_EQ(rig.host.progress, 255);
    EXPECT_EQ(rig.state(), 12);
}

TEST(UploadDialogue, DoneIsIgnoredWhileBytesRemainThenTheCountdownEndsIt) {
    UploadRig rig;
    rig.choose(EndRecord + "\r\n\r\n"); // a blank line after the end record
    rig.startThroughErase();
    rig.writes();
    rig.tick(Done);
    EXPECT_TRUE(rig.writes().empty());
    EXPECT_EQ(rig.state(), 12);
    EXPECT_EQ(rig.host.upgradeFinishedNotices, 0);
    rig.idle(998);
    EXPECT_EQ(rig.state(), 12);
    rig.idle(1);
    EXPECT_EQ(rig.host.upgradeStatusText, "No Response from Device");
    EXPECT_EQ(rig.state(), 0);
}

TEST(UploadDialogue, WakeUpRequestOnThe1001stTickThenEvery201stAndRestartAfterBytes) {
    UploadRig rig;
    rig.choose(EndRecord);
    rig.upload.StartUpgrade();
    rig.writes();
    std::vector<int> requestTicks;
    for (int tick = 1; tick <= 3000; ++tick) {
        rig.tick(tick == 1500 ? "?" : "");
        for (const auto& w : rig.writes()) {
            EXPECT_EQ(w, "033P");
            requestTicks.push_back(tick);
        }
    }
    // 1001, 1202, 1403; the '?' at 1500 restarts the wait: 2500, 2701, 2902.
    EXPECT_EQ(requestTicks, (std::vector<int>{1001, 1202, 1403, 2500, 2701, 2902}));
    EXPECT_EQ(rig.host.upgradeStatusText, "Waiting for Controller...");
    EXPECT_EQ(rig.state(), 9);
}

TEST(UploadTimeouts, EraseGets2000TicksThen1000AfterEachRead) {
    struct Case {
        const char* what;
        std::vector<std::string> before; // reads after "Start", one per tick
        int ticksLeft;                   // idle ticks until the message, counting the last
    };
    const Case cases[] = {
        {"erase, nothing after ';'", {";"}, 1999},
        {"erase, after a progress byte", {";", "\x10"}, 999},
        {"upload, after an acknowledgement", {";", Ack, Ack}, 999},
    };
    for (const Case& c : cases) {
        UploadRig rig;
        rig.choose(Line1 + "\r\n" + Line2 + "\r\n" + EndRecord + "\r\n");
        rig.upload.StartUpgrade();
        for (const auto& bytes : c.before) {
            rig.tick(bytes);
        }
        const int stateBefore = rig.state();
        rig.idle(c.ticksLeft - 1);
        EXPECT_EQ(rig.state(), stateBefore) << c.what;
        EXPECT_NE(rig.host.upgradeStatusText, "No Response from Device") << c.what;
        rig.idle(1);
        EXPECT_EQ(rig.host.upgradeStatusText, "No Response from Device") << c.what;
        EXPECT_EQ(rig.state(), 0) << c.what;
        EXPECT_EQ(rig.host.progress, 0) << c.what;
        EXPECT_EQ(rig.host.statusText, "---") << c.what << ": the settings line is not touched";
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.what;
    }
}

TEST(UploadProgress, BarArithmeticHoldsForFilesOver16MiB) {
    UploadRig rig;
    // A record, 17 MiB of blank lines, a record, 1 MiB of blank lines, the end record.
    std::string file = Line1 + "\r\n";
    file += std::string(17u << 20, '\n');
    file += Line2 + "\r\n";
    const uint64_t afterSecond = file.size();
    file += std::string(1u << 20, '\n');
    file += EndRecord + "\r\n";
    rig.choose(file);
    rig.startThroughErase();
    rig.tick(Ack);
    EXPECT_EQ(rig.writes().back(), "\n\r");
    EXPECT_EQ(rig.host.progress, static_cast<int>(afterSecond * 256 / file.size())); // 241
}

} // namespace
} // namespace kestrun::test
