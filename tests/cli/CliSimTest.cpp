// kestrun-cli against the simulated controller: get, send and devices, each way they can end.

#include "tests/cli/CliProcess.h"
#include "tests/cli/OddRecord.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace kestrun::clitest {
namespace {

constexpr const char* NotConnected = "Controller is not connected: Please connect the USB cable,\n"
                                     " and provide power to the head controller.\n";
constexpr const char* NoResponse = "No Response from Device\n";

// The simulated controller's ticks run back to back: a timeout costs no real time.
Environment simulated(const std::string& faults = "", const std::string& record = "") {
    return {{"KESTRUN_SIM_TICK_MS", "0"},
            {"KESTRUN_SIM_FAULT", faults},
            {"KESTRUN_SIM_RECORD", record}};
}

std::string repeat(const std::string& line, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += line;
    }
    return out;
}

TEST(CliSimGet, PrintsTheControllersRecordAsShowWouldAndSavesItUntouched) {
    TempDir dir;
    const std::string saved = dir.path("got.kst");
    CliResult r = runCli({"--simulate", "get", "-o", saved},
                         simulated("", "C8000065070203000FFFFFFF000008000400"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "Data Received\n");
    EXPECT_EQ(r.out, OddRecordText);
    // The file holds the bytes the controller sent, not what the window shows of them.
    EXPECT_EQ(TempDir::read(saved), OddRecord);

    r = runCli({"--simulate", "get", "--json"},
               simulated("", "C8000065070203000FFFFFFF000008000400"));
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, OddRecordJson);
}

TEST(CliSimGet, EachFailureEndsWithItsTextAndExitStatusOne) {
    struct Case {
        const char* faults;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"silence", NoResponse},
        {"cut-reply", NoResponse},
        {"read-fail", NoResponse},
        {"bad-check", "Data Receive Error!\n"},
        {"write-fail", repeat("Failed to transmit : Write error\n", 2) + NoResponse},
        {"unplugged", NotConnected},
        {"no-access", NotConnected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        const CliResult r = runCli({"--simulate", "get"}, simulated(c.faults));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliSimGet, AReplyThatIsLateSplitOrPrecededByNoiseIsStillReceived) {
    for (const char* faults : {"junk", "split=1", "split=3,junk", "delay=900"}) {
        SCOPED_TRACE(faults);
        const CliResult r = runCli({"--simulate", "get", "--json"}, simulated(faults));
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err, "Data Received\n");
        const std::string startRecord = "{\"raw\": \"641405050000010004000C00040008000C00\",";
        EXPECT_EQ(r.out.substr(0, startRecord.size()), startRecord);
    }
}

TEST(CliSimGet, ASaveThatFailsLeavesThePreviousFileAndIsAFileProblem) {
    TempDir dir;
    // A folder standing where the file should go cannot be replaced by it.
    std::filesystem::create_directory(dir.path("taken"));
    for (const std::string& target : {dir.path("no/such/folder/x.kst"), dir.path("taken")}) {
        SCOPED_TRACE(target);
        const CliResult r = runCli({"--simulate", "get", "-o", target}, simulated());
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.err, "Data Received\nFailed to save document.\n");
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("taken")));
}

TEST(CliSimSend, SendsTheFileAndWaitsForTheAcknowledgement) {
    TempDir dir;
    const std::string file = dir.write("odd.kst", OddRecord);
    struct Case {
        const char* faults;
        int exitCode;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"", 0, "Data Sent\n"},
        {"split=1,delay=500", 0, "Data Sent\n"},
        {"refuse-send", 1, "Transmit Error!\n"},
        {"silence", 1, NoResponse},
        // One box for each of the frame's 21 one-byte writes, then no answer.
        {"write-fail", 1, repeat("Failed to transmit : Write error\n", 21) + NoResponse},
        {"unplugged", 1, NotConnected},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faults);
        const CliResult r = runCli({"--simulate", "send", file}, simulated(c.faults));
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliSimSend, AFileProblemStopsBeforeTheControllerIsTouched) {
    TempDir dir;
    struct Case {
        std::string path;
        std::string err;
    };
    const std::vector<Case> cases = {
        {dir.path("none.kst"), dir.path("none.kst") + " was not found.\n"},
        {dir.write("short.kst", OddRecord.substr(0, 5)), "Unexpected file format.\n"},
        {dir.write("empty.kst", ""),
         dir.path("empty.kst") + " is empty: it holds no settings record.\n"},
    };
    for (const Case& c : cases) {
        // An unplugged bridge would add its own message if the link were started.
        const CliResult r = runCli({"--simulate", "send", c.path}, simulated("unplugged"));
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(CliSimDevices, ListsTheBridgeAndSaysWhenItCannotBeUsed) {
    CliResult r = runCli({"--simulate", "devices"}, simulated());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "0\t/dev/hidraw-sim0\tCP2110 HID USB-to-UART Bridge\tbridge\n");
    EXPECT_EQ(r.err, "");

    r = runCli({"--simulate", "devices"}, simulated("no-access"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "0\t/dev/hidraw-sim0\tCP2110 HID USB-to-UART Bridge\tbridge, no access\n");
    EXPECT_NE(r.err.find("/dev/hidraw-sim0: the bridge is there but this user may not open it"),
              std::string::npos);
    EXPECT_NE(r.err.find("udev rule"), std::string::npos);

    r = runCli({"--simulate", "devices"}, simulated("unplugged"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No HID devices found.\n");
}

TEST(CliSimTestAids, ABadSettingIsAUsageErrorAndTheyMeanNothingWithoutSimulate) {
    const std::vector<Environment> bad = {
        {{"KESTRUN_SIM_FAULT", "silence,bogus"}},
        {{"KESTRUN_SIM_FAULT", "silence=3"}},
        {{"KESTRUN_SIM_FAULT", "split=x"}},
        {{"KESTRUN_SIM_RECORD", "6414"}},
        {{"KESTRUN_SIM_RECORD", "6414050500000100040 0C00040008000C00"}},
        {{"KESTRUN_SIM_TICK_MS", "1001"}},
    };
    for (const Environment& env : bad) {
        SCOPED_TRACE(env.front().first + "=" + env.front().second);
        const CliResult r = runCli({"--simulate", "get"}, env);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(env.front().first), std::string::npos) << r.err;
    }
    TempDir dir;
    const CliResult r =
        runCli({"show", dir.write("odd.kst", OddRecord)}, {{"KESTRUN_SIM_FAULT", "bogus"}});
    EXPECT_EQ(r.exitCode, 0);
}

TEST(CliSimInterrupt, ASignalCancelsThePendingExchange) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signalNumber);
        CliProcess process({"--simulate", "get"},
                           {{"KESTRUN_SIM_FAULT", "silence"}, {"KESTRUN_SIM_TICK_MS", ""}});
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        process.signal(signalNumber);
        const CliResult r = process.finish();
        EXPECT_EQ(r.exitCode, 130);
        EXPECT_EQ(r.err, "Cancelled.\n");
        EXPECT_LT(r.elapsed.count(), 4000);
    }
}

} // namespace
} // namespace kestrun::clitest
