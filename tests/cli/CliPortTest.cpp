// kestrun-cli --port against a controller the test plays on a pseudo-terminal, as a firmware
// emulator would: the bytes on the wire, exactly, and what the tool makes of the answers.

#include "tests/cli/CliHarness.h"
#include "tests/support/PtyPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>

namespace kestrun::clitest {
namespace {

std::string hex(const std::string& bytes) {
    return test::hexText(bytes);
}

// A controller on a pseudo-terminal: the tool opens `port` with --port (under Wine COM5, linked
// to the terminal); the test reads every byte the tool puts on the wire, the tool's output kept
// flowing meanwhile, and writes the controller's answers.
struct PtyController : test::PtyPeer {
    std::string expect(std::size_t count, CliProcess& tool) {
        return PtyPeer::expect(count, [&] { tool.pump(); });
    }
    void answer(const std::string& bytes) { ASSERT_TRUE(PtyPeer::answer(bytes)); }

    const std::string port = toolPort(path());
};

void pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
}

TEST(CliPortGet, AsksWithTwoBytesAndTakesAReplyThatComesInPieces) {
    PtyController controller;
    // The simulator's test aids mean nothing here: a bogus one would be a usage error.
    CliProcess tool({"--port", controller.port, "get", "--json"}, {{"KESTRUN_SIM_FAULT", "bogus"}});
    EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
    // A stray byte, then the frame (its sum 0x51) in three pieces over several ticks.
    const std::string reply = fromHex("17A55A") + OddRecord + fromHex("51");
    controller.answer(reply.substr(0, 2));
    pause();
    controller.answer(reply.substr(2, 9));
    pause();
    controller.answer(reply.substr(11));
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Data Received\n");
    EXPECT_EQ(r.out, OddRecordJson);
    EXPECT_EQ(hex(controller.rest()), "");
}

// The loop watches the port as the window watches the device monitor: a hang-up is told at
// once, and the pending exchange still ends by its countdown, 1000 ticks of 5 ms. Timed from
// the tool's start, as a loaded machine may see the request long after the countdown began.
TEST(CliPortGet, AHangUpIsToldAndTheCountdownEndsTheExchangeFiveSecondsLater) {
    if (underWine()) {
        GTEST_SKIP() << "Wine never fails a read on a terminal that hung up";
    }
    PtyController controller;
    const auto started = std::chrono::steady_clock::now();
    CliProcess tool({"--port", controller.port, "--verbose", "get"});
    EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
    controller.hangUp();
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find_first_of("0123456789")),
              "Connected\nDisconnected\nNo Response from Device\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ticksTaken(r.err), 1000u) << r.err;
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(5000));
}

std::string frame(const std::string& record) {
    unsigned sum = 0;
    for (unsigned char c : record) {
        sum += c;
    }
    return fromHex("A55A") + record + static_cast<char>(sum & 0xFF);
}

// The window, after opening the odd file, sends what its controls show: Speed 200 -> 100,
// Pan 0 -> 1, Tilt 101 -> 100, radio code 7 -> 0, toggle byte 2 -> 1, count 0xFFFF -> 0x0FFF.
// A head's settings kept as JSON and turned back into a file send exactly the bytes read.
TEST(CliPortSend, SendsTheRecordTheWindowWouldSendAndTakesTheAnswer) {
    TempDir dir;
    const std::string odd = dir.write("odd.kst", OddRecord);
    const std::string oddWire = "A5 5A 64 00 01 64 00 01 03 00 0F FF 0F FF 00 00 08 00 04 00 F5";
    const char* kept = "5A1E0A0F0201030104000C00000008000FFF"; // as the window writes it
    EXPECT_EQ(runCli({"--simulate", "get", "-o", dir.path("a.json")}, simulated("", kept)).exitCode,
              0);
    EXPECT_EQ(runCli({"convert", dir.path("a.json"), dir.path("a.set")}).exitCode, 0);
    struct Case {
        std::string file, wire;
        const char* answer;
        int exitCode;
        const char* err;
    };
    for (const Case& c :
         {Case{odd, oddWire, "01", 0, "Data Sent\n"},
          Case{odd, oddWire, "00", 1, "Transmit Error!\n"},
          Case{dir.path("a.set"), hex(frame(fromHex(kept))), "01", 0, "Data Sent\n"}}) {
        SCOPED_TRACE(c.file + ", answered " + c.answer);
        PtyController controller;
        CliProcess tool({"--port", controller.port, "--baud", "9600", "send", c.file});
        EXPECT_EQ(hex(controller.expect(21, tool)), c.wire);
        controller.answer(fromHex(c.answer));
        const CliResult r = tool.finish();
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(hex(controller.rest()), "");
    }
}

// set: Get Data, the record with the two values changed (and the rest as the window sends it),
// then Get Data again; a controller that holds something else fails the command.
TEST(CliPortSet, SendsTheChangedRecordAndReadsItBackToConfirm) {
    const std::string sent = fromHex("50000164000102000FFF0FFF000008000400");
    const std::string confirmed = "Data Received\nData Sent\nData Received\n";
    const std::string changed =
        "Zoom Setup / Speed: 100 -> 80\nCamera Trigger: Level High -> Level Low\n";
    struct Case {
        std::string heldAfter;
        int exitCode;
        std::string err;
    };
    for (const Case& c : {Case{sent, 0, confirmed},
                          Case{OddRecord, 1,
                               confirmed + "The controller does not hold what was sent: sent " +
                                   hex(sent) + ", holds " + hex(OddRecord) + ".\n"}}) {
        PtyController controller;
        CliProcess tool(
            {"--port", controller.port, "set", "ZoomSpeed=80", "CameraTrigger=Level Low"});
        EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
        controller.answer(frame(OddRecord));
        EXPECT_EQ(hex(controller.expect(21, tool)),
                  "A5 5A 50 00 01 64 00 01 02 00 0F FF 0F FF 00 00 08 00 04 00 E0");
        controller.answer(fromHex("01"));
        EXPECT_EQ(hex(controller.expect(2, tool)), "3B 47");
        controller.answer(frame(c.heldAfter));
        const CliResult r = tool.finish();
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.exitCode == 0 ? changed : "");
    }
}

// A loopback plug: the pty sends back what the tool writes, exactly, with its first byte
// altered, or with its first byte lost. A port that is not there says so, by name.
TEST(CliPortLoopback, TellsAGoodLineFromOneThatAltersOrLosesAByte) {
    struct Case {
        int firstByte; ///< -1 echoed, 0 lost, else XORed with it
        int exitCode;
        const char* err;
    };
    for (const Case c : {Case{-1, 0, ""}, Case{0x40, 1, "block 1, byte 1: sent "},
                         Case{0, 1, "block 1, byte 1: lost ("}}) {
        SCOPED_TRACE(c.err);
        PtyController controller;
        CliProcess tool({"--port", controller.port, "loopback", "--count", "3"});
        std::atomic<bool> done{false};
        std::thread plug([&] {
            for (bool first = true; !done;) {
                pollfd watch{controller.controllerFd(), POLLIN, 0};
                ::poll(&watch, 1, 5);
                std::string bytes = controller.rest();
                controller.take(bytes.size());
                if (first && !bytes.empty()) {
                    first = false;
                    if (c.firstByte == 0) {
                        bytes.erase(0, 1);
                    } else if (c.firstByte > 0) {
                        bytes[0] = static_cast<char>(bytes[0] ^ c.firstByte);
                    }
                }
                controller.answer(bytes);
            }
        });
        const CliResult r = tool.finish();
        done = true;
        plug.join();
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err.substr(0, std::string(c.err).size()), c.err) << r.err;
        EXPECT_NE(r.out.find(c.exitCode == 0 ? " 0 wrong or missing" : " 1 wrong or missing"),
                  std::string::npos)
            << r.out;
    }
    // A missing port is named with the system's reason, in the system's words.
    const std::string missing = underWine() ? "COM199" : "/nonexistent/ttyUSB0";
    const CliResult r = runCli({"--port", missing, "loopback"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Controller is not connected: " + missing + ": " +
                         (underWine() ? "File not found\n" : "No such file or directory\n"));
}

// A port that another Kestrun process holds is listed as in use, with the holder named: the
// advice to join the port's group would send the technician the wrong way.
TEST(CliPortDevices, APortHeldByAnotherProcessIsInUseNotForbidden) {
    PtyController controller;
    CliProcess holder({"--port", controller.port, "get"});
    EXPECT_EQ(hex(controller.expect(2, holder)), "3B 47"); // the holder has the port open
    const CliResult r = runCli({"--port", controller.port, "devices"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\tbridge, in use\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind(controller.port + " is in use by kestrun-cli (pid ", 0), 0u) << r.err;
}

TEST(CliPortUpgrade, TalksToTheBootLoaderLineByLine) {
    TempDir dir;
    const std::vector<std::string> lines = hexImageLines(40);
    const std::string file = dir.write("fw.hex", hexText(lines));
    PtyController controller;
    CliProcess tool({"--port", controller.port, "upgrade", file});

    EXPECT_EQ(hex(controller.expect(2, tool)), "1B 50"); // ESC 'P' wakes the boot loader
    controller.answer(";");
    pause();
    controller.answer(fromHex("5510FF")); // erase progress, one step back
    pause();
    controller.answer(fromHex("00")); // erased
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        // Each record without its CR LF, then LF CR; the last one is answered 0x01.
        EXPECT_EQ(controller.expect(lines[i].size() + 2, tool), lines[i] + "\n\r");
        controller.answer(fromHex(i + 1 == lines.size() ? "01" : "00"));
    }
    EXPECT_EQ(hex(controller.expect(3, tool)), "5A 0A 0D"); // "Z\n\r"
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(hex(controller.rest()), "");
    // Plain percentages, as standard error is not a terminal, each only when a new top is
    // reached: the erase's (0x55, not 0x10, 0xFF), then the upload's after each line of 17, 45,
    // 45, 29 and 13 bytes (149 in all).
    EXPECT_EQ(r.err, "Waiting for Controller...\nErasing Flash Memory..\n33%\n100%\n"
                     "Uploading new code..\n11%\n41%\n71%\n91%\n100%\nUpgrade complete!\n");
}

} // namespace
} // namespace kestrun::clitest
