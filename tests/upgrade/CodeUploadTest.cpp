// The boot-loader dialogue on the wire, tick by tick: the requests, each state's reaction to each
// kind of byte, the line rules of the upload, the bar, the time limits and the finish.

#include "tests/upgrade/UploadRig.h"

namespace kestrun::test {
namespace {

const std::string Line1 = ":020000040000FA";
const std::string Line2 = ":0400000001020304F2";
const std::string EndRecord = ":00000001FF";

TEST(UploadDialogue, WholeDialogueForASmallWellFormedFile) {
    UploadRig<> rig;
    rig.choose(Line1 + "\r\n" + Line2 + "\r\n" + EndRecord + "\r"); // 50 bytes
    rig.upload.StartUpgrade();
    EXPECT_EQ(rig.writes(), Writes{"\x1bP"});
    EXPECT_EQ(rig.host.upgradeStatusText, "Waiting for Controller...");
    EXPECT_EQ(rig.state(), 9);
    rig.tick("x;"); // noise before ';' is ignored
    EXPECT_EQ(rig.host.upgradeStatusText, "Erasing Flash Memory..");
    EXPECT_EQ(rig.state(), 10);
    rig.tick("\x40\xFF");
    EXPECT_EQ(rig.host.progress, 0xFF);
    EXPECT_FALSE(rig.upload.upgradeFileOpen()) << "opened only when the erase ends";

    // Each line in one write, its LF CR in a second; the bar at the bytes read so far. 0x01 is
    // not the end while bytes remain. The end record, ended by the file's last byte, tops the bar
    // only once the boot loader has taken it, and that acknowledgement sends nothing.
    const struct {
        std::string read;
        Writes sent;
        int bar;
    } steps[] = {{Ack, {Line1, "\n\r"}, 17 * 256 / 50},
                 {Done, {}, 17 * 256 / 50},
                 {Ack, {Line2, "\n\r"}, 38 * 256 / 50},
                 {Ack, {EndRecord, "\n\r"}, 38 * 256 / 50},
                 {Ack, {}, 255}};
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
    };
    for (const auto& c : cases) {
        UploadRig<> rig;
        rig.choose(c.file);
        rig.start({";"});
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
    UploadRig<> rig;
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
        rig.tick(tick == 1500 ? "?" : "");
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
    UploadRig<> rig;
    // A record, 17 MiB of blank lines, a record, 1 MiB of blank lines, the end record.
    std::string file = Line1 + "\r\n" + std::string(17u << 20, '\n') + Line2 + "\r\n";
    const uint64_t afterSecond = file.size();
    file += std::string(1u << 20, '\n') + EndRecord + "\r\n";
    rig.choose(file);
    rig.startThroughErase();
    rig.tick(Ack);
    EXPECT_EQ(rig.writes().back(), "\n\r");
    EXPECT_EQ(rig.host.progress, static_cast<int>(afterSecond * 256 / file.size())); // 241
}

} // namespace
} // namespace kestrun::test
