// kestrun-cli --port against a controller the test plays on a pseudo-terminal: the bytes on
// the wire, exactly, and what the tool makes of the answers.

#include "settings/SettingsFields.h"
#include "tests/cli/CliProcess.h"
#include "tests/cli/HexFile.h"
#include "tests/cli/OddRecord.h"
#include "tests/cli/PtyController.h"

#include <gtest/gtest.h>

#include <thread>

namespace kestrun::clitest {
namespace {

std::string frame(const std::string& record) {
    uint8_t sum = 0;
    for (char c : record) {
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    }
    return bytes({0xA5, 0x5A}) + record + static_cast<char>(sum);
}

TEST(CliPortGet, AsksWithTwoBytesAndTakesAReplyThatComesInPieces) {
    PtyController controller;
    CliProcess tool({"--port", controller.port(), "get", "--json"});
    EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
    // The reply in three pieces, over several ticks, after a stray byte.
    const std::string reply = bytes({0x17}) + frame(OddRecord);
    controller.answer(reply.substr(0, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    controller.answer(reply.substr(2, 9));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    controller.answer(reply.substr(11));
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Data Received\n");
    EXPECT_EQ(r.out, OddRecordJson);
    EXPECT_EQ(hex(controller.rest()), "");
}

// The loop watches the port as the window watches the device monitor: a hang-up is told at
// once, and the pending exchange still ends by its countdown, 1000 ticks of 5 ms later.
TEST(CliPortGet, AHangUpIsToldAndTheCountdownEndsTheExchangeFiveSecondsLater) {
    PtyController controller;
    CliProcess tool({"--port", controller.port(), "get"});
    EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
    const auto pulled = std::chrono::steady_clock::now();
    controller.hangUp();
    const CliResult r = tool.finish();
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - pulled);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Disconnected\nNo Response from Device\n");
    EXPECT_EQ(r.out, "");
    EXPECT_GE(waited.count(), 4950);
    EXPECT_LT(waited.count(), 15000);
}

TEST(CliPortSend, SendsTheRecordTheWindowWouldSendAndTakesTheAnswer) {
    TempDir dir;
    const std::string file = dir.write("odd.kst", OddRecord);
    SettingsRecord loaded{};
    std::copy(OddRecord.begin(), OddRecord.end(), loaded.begin());
    const SettingsRecord shown = recordFromShown(shownFromRecord(loaded));
    const std::string normalised(shown.begin(), shown.end());
    // What the window does with this record: Speed 200 -> 100, Pan 0 -> 1, Tilt 101 -> 100,
    // radio code 7 -> 0, toggle byte 2 -> 1.
    EXPECT_EQ(hex(normalised.substr(0, 8)), "64 00 01 64 00 01 03 00");

    struct Case {
        int answer;
        int exitCode;
        const char* err;
    };
    for (const Case c : {Case{0x01, 0, "Data Sent\n"}, Case{0x00, 1, "Transmit Error!\n"}}) {
        SCOPED_TRACE(c.err);
        PtyController controller;
        CliProcess tool({"--port", controller.port(), "--baud", "9600", "send", file});
        EXPECT_EQ(hex(controller.expect(21, tool)), hex(frame(normalised)));
        controller.answer(bytes({c.answer}));
        const CliResult r = tool.finish();
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(hex(controller.rest()), "");
    }
}

TEST(CliPortUpgrade, TalksToTheBootLoaderLineByLine) {
    TempDir dir;
    const std::vector<std::string> lines = hexImageLines(40);
    const std::string file = dir.write("fw.hex", hexText(lines));
    PtyController controller;
    CliProcess tool({"--port", controller.port(), "upgrade", file});

    EXPECT_EQ(hex(controller.expect(2, tool)), "1B 50"); // ESC 'P'
    controller.answer(";");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    controller.answer(bytes({0x55, 0xFF}));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    controller.answer(bytes({0x00})); // erased
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        // Each record without its CR LF, then LF CR.
        EXPECT_EQ(controller.expect(lines[i].size() + 2, tool), lines[i] + "\n\r");
        const bool last = i + 1 == lines.size();
        controller.answer(bytes({last ? 0x01 : 0x00}));
    }
    EXPECT_EQ(hex(controller.expect(3, tool)), "5A 0A 0D"); // "Z\n\r"
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(hex(controller.rest()), "");
    // Plain percentages, as standard error is not a terminal: the erase's (0x55, 0xFF), then
    // the upload's after each line of 17, 45, 45, 29 and 13 bytes (149 in all).
    EXPECT_EQ(r.err, "Waiting for Controller...\n"
                     "Erasing Flash Memory..\n"
                     "33%\n"
                     "100%\n"
                     "Uploading new code..\n"
                     "11%\n"
                     "41%\n"
                     "71%\n"
                     "91%\n"
                     "100%\n"
                     "Upgrade complete!\n");
}

} // namespace
} // namespace kestrun::clitest
