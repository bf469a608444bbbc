// How an upgrade is refused, cancelled or fails, and what each end leaves behind: the state, the
// texts, the bar, what went out afterwards, and the upgrade file closed (never left held open).

#include "tests/upgrade/UploadRig.h"

#include <filesystem>

namespace kestrun::test {
namespace {

using Writes = std::vector<std::string>;

const std::string GoodFile = ":0400000001020304F2\r\n:0400040005060708DE\r\n:00000001FF\r\n";

TEST(StartUpgrade, GuardsAndAFailedWakeUpWrite) {
    UploadRig rig;
    rig.upload.StartUpgrade();
    rig.choose(GoodFile);
    rig.engine.shutdown(); // no bridge open: this guard comes first
    rig.upload.StartUpgrade();
    ASSERT_EQ(rig.host.messages.size(), 2u);
    EXPECT_EQ(rig.host.messages[0].text, "Please select an upgrade file");
    EXPECT_EQ(rig.host.messages[0].caption, "Kestrun");
    EXPECT_EQ(rig.host.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(rig.host.messages[1].text,
              "Please connect the USB cable,\n and provide power to the head controller.");
    EXPECT_EQ(rig.host.messages[1].caption, "Controller is not connected");
    EXPECT_EQ(rig.host.messages[1].icon, MessageIcon::Error);
    EXPECT_TRUE(rig.writes().empty());

    rig.engine.ConnectBridge();
    rig.bridge.writeFailure = BridgeStatusCode::WriteError;
    rig.upload.StartUpgrade();
    rig.upload.StartUpgrade(); // a second press while waiting does nothing
    ASSERT_EQ(rig.host.messages.size(), 3u);
    EXPECT_EQ(rig.host.messages[2].text, "Failed to transmit : Write error");
    EXPECT_EQ(rig.state(), 9) << "the wake-up request is repeated from state 9";
    rig.bridge.writeFailure.reset();
    rig.idle(1001);
    EXPECT_EQ(rig.writes(), Writes{"033P"});
}

// Cancel in every state of the upgrade, and what it leaves.
TEST(CancelExchange, EndsEveryStateAndLateBytesAreDropped) {
    struct Case {
        std::vector<std::string> reads; // after "Start"
        int state;
    };
    const Case cases[] = {
        {{}, 9}, {{";"}, 10}, {{";", "\x30"}, 10}, {{";", Ack}, 12}, {{";", Ack, Ack}, 12},
    };
    for (const Case& c : cases) {
        UploadRig rig;
        rig.choose(GoodFile);
        rig.upload.StartUpgrade();
        for (const auto& bytes : c.reads) {
            rig.tick(bytes);
        }
        ASSERT_EQ(rig.state(), c.state);
        rig.writes();
        rig.upload.CancelExchange();
        EXPECT_EQ(rig.state(), 0) << c.state;
        EXPECT_EQ(rig.host.upgradeStatusText, "") << c.state;
        EXPECT_EQ(rig.host.progress, 0) << c.state;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.state;
        EXPECT_EQ(rig.upload.upgradePath(), (rig.folder.path() / "fw.hex").string()) << c.state;
        // A late ';', erase end, acknowledgements and the silence after them change nothing.
        rig.tick(";");
        rig.tick(Ack);
        rig.tick(Done);
        rig.idle(2500);
        EXPECT_TRUE(rig.writes().empty()) << c.state;
        EXPECT_EQ(rig.state(), 0) << c.state;
        EXPECT_EQ(rig.host.upgradeStatusText, "") << c.state;
        // The same file can be chosen again and a new start reopens it from its start.
        rig.choose(GoodFile);
        rig.startThroughErase();
        EXPECT_EQ(rig.writes(), (Writes{"\x1bP", ":0400000001020304F2", "\n\r"})) << c.state;
    }
}

TEST(CancelExchange, InTheFinishingStatesTheCompletionStands) {
    UploadRig rig;
    rig.choose(":00000001FF\r\n");
    rig.startThroughErase();
    rig.tick(Done); // state 13 lasts only within this tick: the tick step makes it 14
    ASSERT_EQ(rig.state(), 14);
    rig.upload.CancelExchange();
    EXPECT_EQ(rig.writes().back(), "Z\n\r");
    EXPECT_EQ(rig.host.upgradeFinishedNotices, 1);
    EXPECT_EQ(rig.state(), 0);

    UploadRig idle; // while idle it only resets the texts and the bar
    idle.host.statusText = "Data Received";
    idle.upload.CancelExchange();
    EXPECT_EQ(idle.host.statusText, "---");
    EXPECT_EQ(idle.host.progress, 0);
    EXPECT_TRUE(idle.writes().empty());
}

// Every failure of the upload ends idle with its text, the bar at 0 and the file closed.
TEST(UploadFailures, EachEndsIdleWithItsTextAndTheFileClosed) {
    struct Case {
        const char* what;
        std::string file;
        void (*beforeEraseEnd)(UploadRig&);
        std::vector<std::string> reads; // after the erase end
        const char* text;
        std::size_t linesSent;
    };
    const auto keep = [](UploadRig&) {};
    const Case cases[] = {
        {"controller refuses a line", GoodFile, keep, {"\x15"}, "Communications Error", 1},
        {"refusal ends the read",
         GoodFile,
         keep,
         {std::string("\x80\0", 2)},
         "Communications Error",
         1},
        {"file vanished before the erase end",
         GoodFile,
         [](UploadRig& rig) { std::filesystem::remove(rig.upload.upgradePath()); },
         {},
         "File Error",
         0},
        {"file replaced by a folder",
         GoodFile,
         [](UploadRig& rig) {
             std::filesystem::remove(rig.upload.upgradePath());
             std::filesystem::create_directory(rig.upload.upgradePath());
         },
         {},
         "File Error",
         0},
        {"file emptied before the erase end",
         GoodFile,
         [](UploadRig& rig) { std::filesystem::resize_file(rig.upload.upgradePath(), 0); },
         {},
         "File Error",
         0},
        {"line longer than 255 characters",
         ":" + std::string(256, 'A') + "\r\n",
         keep,
         {},
         "File Error",
         0},
        {"long line after a good one",
         ":01\r\n:" + std::string(300, '0') + "\r\n",
         keep,
         {Ack},
         "File Error",
         1},
    };
    for (const Case& c : cases) {
        UploadRig rig;
        rig.choose(c.file);
        rig.upload.StartUpgrade();
        rig.tick(";");
        c.beforeEraseEnd(rig);
        rig.tick(Ack);
        for (const auto& bytes : c.reads) {
            rig.tick(bytes);
        }
        Writes sent = rig.writes();
        EXPECT_EQ(rig.host.upgradeStatusText, c.text) << c.what;
        EXPECT_EQ(rig.state(), 0) << c.what;
        EXPECT_EQ(rig.host.progress, 0) << c.what;
        EXPECT_FALSE(rig.upload.upgradeFileOpen()) << c.what;
        EXPECT_EQ(sent.size(), 1 + 2 * c.linesSent) << c.what << ": nothing of a bad line goes out";
        rig.idle(1200);
        EXPECT_EQ(rig.writes().size(), 0u) << c.what;
    }
}

TEST(UploadFailures, FileCutShortDuringTheUploadIsAFileError) {
    UploadRig rig;
    std::string file;
    for (int i = 0; i < 1000; ++i) {
        file += ":0400000001020304F2\r\n";
    }
    rig.choose(file + ":00000001FF\r\n");
    rig.startThroughErase();
    std::filesystem::resize_file(rig.upload.upgradePath(), 100);
    int acks = 0;
    for (; acks < 1100 && rig.state() == 12; ++acks) {
        rig.tick(Ack);
    }
    EXPECT_EQ(rig.host.upgradeStatusText, "File Error");
    EXPECT_LT(acks, 1000) << "the cut is found, not the end record sent";
    EXPECT_FALSE(rig.upload.upgradeFileOpen());
}

} // namespace
} // namespace kestrun::test
