// kestrun-cli --port against a controller the test plays on a pseudo-terminal, as a firmware
// emulator would: the bytes on the wire, exactly, and what the tool makes of the answers.

#include "tests/cli/CliHarness.h"
#include "tests/support/PtyPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>
#include <tuple>
#include <utility>

namespace kestrun::clitest {
namespace {

using test::hexText;

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

// One exchange: the bytes the tool must write, then the controller's answer, in pieces that
// reach the tool a few ticks apart.
struct Step {
    std::string wire;
    std::vector<std::string> answer;
};

TEST(CliPort, EveryCommandPutsItsExactBytesOnTheWireAndTellsWhatCameBack) {
    TempDir dir;
    const std::string odd = dir.write("odd.kst", OddRecord);
    const std::string oddReply = fromHex("A5 5A") + OddRecord + fromHex("51");
    const std::string stray = fromHex("17") + oddReply;
    // The window, after opening the odd file, sends what its controls show: Speed 200 -> 100,
    // Pan 0 -> 1, Tilt 101 -> 100, radio code 7 -> 0, toggle byte 2 -> 1, count 0xFFFF -> 0x0FFF.
    const std::string oddSent =
        fromHex("A5 5A 64 00 01 64 00 01 03 00 0F FF 0F FF 00 00 08 00 04 00 F5");
    // A head's settings kept as JSON and turned back into a file send exactly the bytes read.
    const char* kept = "5A1E0A0F0201030104000C00000008000FFF"; // as the window writes it
    const std::string keptSent =
        fromHex("A5 5A 5A 1E 0A 0F 02 01 03 01 04 00 0C 00 00 00 08 00 0F FF BE");
    runCli({"--simulate", "get", "-o", dir.path("a.json")}, simulated("", kept));
    runCli({"convert", dir.path("a.json"), dir.path("a.set")});
    // set: Get Data, the record with the two values changed (and the rest as the window sends
    // it), then Get Data again; a controller that then holds something else fails the command.
    const std::string changedSent =
        fromHex("A5 5A 50 00 01 64 00 01 02 00 0F FF 0F FF 00 00 08 00 04 00 E0");
    const std::string changed = changedSent.substr(2, 18);
    const std::vector<std::string> set = {"set", "ZoomSpeed=80", "CameraTrigger=Level Low"};
    const std::string confirmed = "Data Received\nData Sent\nData Received\n";
    const auto setSteps = [&](const std::string& heldAfter) {
        return std::vector<Step>{
            {"\x3B\x47", {oddReply}}, {changedSent, {"\x01"}}, {"\x3B\x47", {heldAfter}}};
    };
    // upgrade: ESC 'P' wakes the boot loader; erase progress (one step back), erased; each
    // record without its CR LF, then LF CR, the last one answered 0x01; then "Z\n\r". Standard
    // error is no terminal: plain percentages, each when a new top is reached: the erase's (0x55,
    // not 0x10, 0xFF), then the upload's after each line of 17, 45, 45, 29 and 13 bytes.
    const std::vector<std::string> lines = hexImageLines(40);
    const std::string nul(1, '\0');
    std::vector<Step> upgrade = {{"\x1BP", {";", fromHex("5510FF"), nul}}};
    for (const std::string& line : lines) {
        upgrade.push_back({line + "\n\r", {&line == &lines.back() ? "\x01" : nul}});
    }
    upgrade.push_back({"Z\n\r", {}});
    struct Dialogue {
        std::vector<std::string> args; ///< after --port
        std::vector<Step> steps;
        int exitCode;
        std::string out, err;
    };
    const std::vector<Dialogue> dialogues = {
        // A stray byte, then the frame in three pieces.
        {{"get", "--json"},
         {{"\x3B\x47", {stray.substr(0, 2), stray.substr(2, 9), stray.substr(11)}}},
         0,
         runCli({"show", "--json", odd}).out,
         "Data Received\n"},
        {{"--baud", "9600", "send", odd}, {{oddSent, {"\x01"}}}, 0, "", "Data Sent\n"},
        {{"send", odd}, {{oddSent, {nul}}}, 1, "", "Transmit Error!\n"},
        {{"send", dir.path("a.set")}, {{keptSent, {"\x01"}}}, 0, "", "Data Sent\n"},
        {set, setSteps(changedSent), 0,
         "Zoom Setup / Speed: 100 -> 80\nCamera Trigger: Level High -> Level Low\n", confirmed},
        {set, setSteps(oddReply), 1, "",
         confirmed + "The controller does not hold what was sent: sent " + hexText(changed) +
             ", holds " + hexText(OddRecord) + ".\n"},
        {{"upgrade", dir.write("fw.hex", hexFile(lines))},
         upgrade,
         0,
         "",
         "Waiting for Controller...\nErasing Flash Memory..\n33%\n100%\nUploading new "
         "code..\n11%\n41%\n71%\n91%\n100%\nUpgrade complete!\n"},
    };
    for (const Dialogue& d : dialogues) {
        if (underWine() && d.args[0] == "set") {
            continue; // Wine may hand over the tool's last output after the tool has ended
        }
        SCOPED_TRACE(d.args.front() + " " + d.args.back());
        PtyController controller;
        std::vector<std::string> args = {"--port", controller.port};
        args.insert(args.end(), d.args.begin(), d.args.end());
        // The simulator's test aids mean nothing here: a bogus one would be a usage error.
        CliProcess tool(args, {{"KESTRUN_SIM_FAULT", "bogus"}});
        for (const Step& step : d.steps) {
            EXPECT_EQ(hexText(controller.expect(step.wire.size(), tool)), hexText(step.wire));
            for (const std::string& piece : step.answer) {
                if (&piece != &step.answer.front()) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(25));
                }
                controller.answer(piece);
            }
        }
        const CliResult r = tool.finish();
        EXPECT_EQ(r.exitCode, d.exitCode);
        EXPECT_EQ(r.out, d.out);
        EXPECT_EQ(r.err, d.err);
        EXPECT_EQ(hexText(controller.rest()), "");
    }
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
    EXPECT_EQ(hexText(controller.expect(2, tool)), "3B 47");
    controller.hangUp();
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find_first_of("0123456789")),
              "Connected\nDisconnected\nNo Response from Device\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ticksTaken(r.err), 1000u) << r.err;
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(5000));
}

// A loopback plug: the pty sends back what the tool writes, exactly, with its first byte
// altered, or with its first byte lost. A port that is not there says so, by name.
TEST(CliPortLoopback, TellsAGoodLineFromOneThatAltersOrLosesAByte) {
    // The first byte back: -1 as sent, 0 lost, else XORed with this.
    for (const auto& [firstByte, exitCode, err] :
         {std::tuple{-1, 0, ""}, std::tuple{0x40, 1, "block 1, byte 1: sent "},
          std::tuple{0, 1, "block 1, byte 1: lost ("}}) {
        SCOPED_TRACE(err);
        PtyController controller;
        CliProcess tool({"--port", controller.port, "loopback", "--count", "3"});
        std::atomic<bool> done{false};
        std::thread plug([&] {
            for (bool first = true; !done;) {
                pollfd watch{controller.controllerFd(), POLLIN, 0};
                ::poll(&watch, 1, 5);
                std::string bytes = controller.PtyPeer::expect(controller.rest().size());
                if (!bytes.empty() && std::exchange(first, false) && firstByte >= 0) {
                    firstByte == 0 ? bytes.erase(0, 1)
                                   : bytes.replace(0, 1, 1, bytes[0] ^ firstByte);
                }
                controller.answer(bytes);
            }
        });
        const CliResult r = tool.finish();
        done = true;
        plug.join();
        EXPECT_EQ(r.exitCode, exitCode);
        EXPECT_TRUE(r.err.starts_with(err)) << r.err;
        EXPECT_NE(r.out.find(exitCode == 0 ? " 0 wrong or missing" : " 1 wrong or missing"),
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
    EXPECT_EQ(hexText(controller.expect(2, holder)), "3B 47"); // the holder has the port open
    const CliResult r = runCli({"--port", controller.port, "devices"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("\tbridge, in use\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.rfind(controller.port + " is in use by kestrun-cli (pid ", 0), 0u) << r.err;
}

} // namespace
} // namespace kestrun::clitest
