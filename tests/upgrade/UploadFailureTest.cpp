// How an upgrade is refused, cancelled or fails, and what each end leaves behind: the state, the
// texts, the bar, what went out afterwards, and the upgrade file closed (never left held open).

#include "tests/upgrade/UploadRig.h"

namespace kestrun::test {
namespace {

const std::string GoodFile = ":0400000001020304F2\r\n:0400040005060708DE\r\n:00000001FF\r\n";

TEST(StartUpgrade, RefusedWithoutABridgeOrAFile) {
    UploadRig<> rig;
    rig.upload.StartUpgrade();
    rig.choose(GoodFile);
    rig.engine.shutdown(); // no bridge open: this guard comes first
    rig.upload.StartUpgrade();
    ASSERT_EQ(rig.host.messages.size(), 2u);
    EXPECT_EQ(rig.host.messages[0],
              (Message{"Please select an upgrade file", "Kestrun", MessageIcon::None}));
    EXPECT_EQ(rig.host.messages[1],
              (Message{"Please connect the USB cable,\n and provide power to the head controller.",
                       "Controller is not connected", MessageIcon::Error}));
    EXPECT_TRUE(rig.writes().empty());
}

TEST(CancelExchange, EndsEveryStateAndLateBytesAreDropped) {
    const struct {
        Writes reads; // after "Start"
        int state;
    } cases[] = {{{}, 9},
                 {{";"}, 10},
                 {{";", "\x30"}, 10},
                 {{";", Ack}, 12},
                 {{";", Ack, Ack}, 12},
                 {{";", Ack, Ack, Ack, Done}, 14}}; // 13 becomes 14 within its tick
    for (const auto& c : cases) {
        UploadRig<> rig;
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
        EXPECT_EQ(rig.upload.upgradePath(), (rig.folder.path / "fw.hex").string()) << c.state;
        // A late ';', erase end, acknowledgements and the silence after them change nothing.
        for (const std::string& late : {std::string(";"), Ack, Done}) {
            rig.tick(late);
        }
        rig.idle(2500);
        EXPECT_TRUE(rig.writes().empty()) << c.state;
        EXPECT_EQ(rig.state(), 0) << c.state;
        // The same file can be chosen again, and a new start reads it from its beginning.
        rig.choose(GoodFile);
        rig.startThroughErase();
        EXPECT_EQ(rig.writes(), (Writes{"\x1bP", ":0400000001020304F2", "\n\r"})) << c.state;
    }
}

// Every failure of the upload ends idle with its text on the upgrade's status line only, the bar
// at 0, the file closed, nothing of a bad line on the wire and nothing sent afterwards. Silence
// ends on exactly its last tick: 2000 ticks for the erase, then 1000 after each byte that came.
TEST(UploadFailures, EachEndsIdleWithItsTextAndTheFileClosed) {
    const char* const NoResponse = "No Response from Device";
    const char* const FileError = "File Error";
    enum Change { Keep, Remove, Empty }; // done to the file while the controller erases
    const struct {
        const char* what;
        Writes reads; // after "Start", one per tick
        Change change;
        int silence; // idle ticks to the text, counting the last; 0: the reads bring it
        const char* text;
        std::size_t linesSent;
        std::string file = GoodFile;
    } cases[] = {
        {"line refused", {";", Ack, "\x15"}, Keep, 0, "Communications Error", 1},
        {"file vanished", {";", Ack}, Remove, 0, FileError, 0},
        {"file emptied", {";", Ack}, Empty, 0, FileError, 0},
        {"line over 255", {";", Ack}, Keep, 0, FileError, 0, ":" + std::string(256, 'A') + "\r\n"},
        {"erase silent", {";"}, Keep, 1999, NoResponse, 0}, // the ';' tick counted the first
        {"erase silent after progress", {";", "\x10"}, Keep, 999, NoResponse, 0},
        {"upload silent", {";", Ack, Ack}, Keep, 999, NoResponse, 2},
    };
    for (const auto& c : cases) {
        UploadRig<> rig;
        rig.choose(c.file);
        rig.upload.StartUpgrade();
        for (std::size_t i = 0; i < c.reads.size(); ++i) {
            rig.tick(c.reads[i]);
            if (i == 0 && c.change == Remove) {
                std::filesystem::remove(rig.upload.upgradePath());
            } else if (i == 0 && c.change == Empty) {
                std::filesystem::resize_file(rig.upload.upgradePath(), 0);
            }
        }
        if (c.silence > 0) {
            rig.idle(c.silence - 1);
            EXPECT_NE(rig.state(), 0) << c.what << ": ended a tick early";
            rig.idle(1);
        }
        EXPECT_EQ(rig.writes().size(), 1 + 2 * c.linesSent) << c.what << ": no bad line goes out";
        EXPECT_EQ(rig.host.upgradeStatusText, c.text) << c.what;
        EXPECT_EQ(rig.host.statusText, "---") << c.what;
        EXPECT_EQ(rig.state(), 0) << c.what;
        EXPECT_EQ(rig.host.progress, 0) << c.what;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.what;
        rig.idle(2100);
        EXPECT_TRUE(rig.writes().empty()) << c.what;
    }
}

} // namespace
} // namespace kestrun::test
