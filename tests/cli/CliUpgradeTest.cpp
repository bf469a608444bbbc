// kestrun-cli upgrade and check-hex against the simulated controller's boot loader.

#include "tests/cli/CliProcess.h"
#include "tests/cli/HexFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <thread>

namespace kestrun::clitest {
namespace {

Environment simulated(const std::string& faults = "") {
    return {{"KESTRUN_SIM_TICK_MS", "0"}, {"KESTRUN_SIM_FAULT", faults}};
}

// The last line of --verbose: "N ticks, S s".
unsigned long ticksTaken(const std::string& err) {
    const std::size_t end = err.rfind(" ticks, ");
    const std::size_t start = err.rfind('\n', end) + 1;
    return end == std::string::npos ? 0 : std::stoul(err.substr(start, end - start));
}

// What standard error holds without the progress lines.
std::string withoutPercentages(const std::string& err) {
    std::string out;
    std::size_t at = 0;
    while (at < err.size()) {
        std::size_t end = err.find('\n', at);
        end = end == std::string::npos ? err.size() : end + 1;
        const std::string line = err.substr(at, end - at);
        if (line.size() < 2 || line[line.size() - 2] != '%') {
            out += line;
        }
        at = end;
    }
    return out;
}

class CliUpgrade : public ::testing::Test {
protected:
    // 200 data lines, an extended address record first and the end record last.
    std::vector<std::string> lines = hexImageLines(200 * 16);
    TempDir dir;
    std::string good = dir.write("fw.hex", hexText(lines));
};

TEST_F(CliUpgrade, AGoodFileGoesUpAtOneLineATick) {
    const CliResult r = runCli({"--simulate", "--verbose", "upgrade", good}, simulated());
    EXPECT_EQ(r.exitCode, 0);
    const std::string told = withoutPercentages(r.err);
    EXPECT_EQ(told.substr(0, told.find("Upgrade complete!\n") + 18),
              "Connected\nWaiting for Controller...\nErasing Flash Memory..\n"
              "Uploading new code..\nUpgrade complete!\n");
    // The wake-up and the erase take a few ticks; then one tick per line.
    const unsigned long ticks = ticksTaken(r.err);
    EXPECT_GE(ticks, lines.size());
    EXPECT_LE(ticks, lines.size() + 20);
    EXPECT_NE(r.err.find("\n100%\nUpgrade complete!\n"), std::string::npos);
}

TEST_F(CliUpgrade, EachFailureOfTheControllerEndsWithItsText) {
    struct Case {
        const char* faults;
        const char* last;
    };
    for (const Case c :
         {Case{"erase-stall", "Erasing Flash Memory..\nNo Response from Device\n"},
          Case{"bad-line=3", "Uploading new code..\nCommunications Error\n"},
          Case{"silent-after=2", "Uploading new code..\nNo Response from Device\n"},
          Case{"unplugged", "Controller is not connected: Please connect the USB "
                            "cable,\n and provide power to the head controller.\n"}}) {
        SCOPED_TRACE(c.faults);
        const CliResult r = runCli({"--simulate", "upgrade", good}, simulated(c.faults));
        EXPECT_EQ(r.exitCode, 1);
        const std::string told = withoutPercentages(r.err);
        const std::string last = c.last;
        ASSERT_GE(told.size(), last.size()) << told;
        EXPECT_EQ(told.substr(told.size() - last.size()), last);
        EXPECT_EQ(r.err.find("Upgrade complete!"), std::string::npos);
    }
}

// The file is opened afresh when the erase ends: one that has gone by then is a "File Error".
TEST_F(CliUpgrade, AFileThatVanishesDuringTheEraseEndsInFileError) {
    // Slow ticks give the test time to pull the file while the controller erases.
    CliProcess tool({"--simulate", "upgrade", good},
                    {{"KESTRUN_SIM_TICK_MS", "100"}, {"KESTRUN_SIM_FAULT", ""}});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (tool.err().find("Erasing Flash Memory..") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        tool.pump(std::chrono::milliseconds(5));
    }
    std::filesystem::remove(good);
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(withoutPercentages(r.err),
              "Waiting for Controller...\nErasing Flash Memory..\nFile Error\n");
}

TEST_F(CliUpgrade, AFileThatIsNotHexIsRefusedAsSelectFileRefusesIt) {
    for (const std::string& file : {dir.write("notes.txt", "hello\r\n"), dir.path("gone.hex"),
                                    dir.write("bom.hex", "\xEF\xBB\xBF" + hexText(lines))}) {
        SCOPED_TRACE(file);
        const CliResult r = runCli({"--simulate", "--verbose", "upgrade", file}, simulated());
        EXPECT_EQ(r.exitCode, 3);
        const std::string name = file.substr(file.rfind('/') + 1);
        // Refused before the bridge is opened: no "Connected", not one tick.
        EXPECT_EQ(r.err.substr(0, r.err.find("0 ticks, ")),
                  "Programming File Not Valid: " + name + " is not a valid hex file.\n");
        EXPECT_EQ(ticksTaken(r.err), 0u);
    }
}

TEST_F(CliUpgrade, ADamagedFileReachesTheControllerOnlyWithForce) {
    std::vector<std::string> damaged = lines;
    damaged[3].back() = damaged[3].back() == '0' ? '1' : '0'; // a wrong checksum on line 4
    const std::string file = dir.write("damaged.hex", hexText(damaged));

    CliResult r = runCli({"--simulate", "--verbose", "upgrade", file}, simulated());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find(file + ": line 4: the checksum is "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Use --force"), std::string::npos);
    EXPECT_EQ(r.err.find("Connected"), std::string::npos) << "nothing may reach the controller";

    // Forced, it goes; the boot loader refuses the bad line.
    r = runCli({"--simulate", "upgrade", "--force", file}, simulated());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Sending it anyway (--force).\nWaiting for Controller..."),
              std::string::npos);
    EXPECT_NE(r.err.find("Communications Error\n"), std::string::npos);
}

TEST_F(CliUpgrade, OnATerminalTheBarIsRedrawnInPlace) {
    CliProcess tool({"--simulate", "upgrade", good}, simulated(), true);
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 0);
    const std::string full = "\r\033[K[" + std::string(40, '#') + "] 100%";
    EXPECT_NE(r.err.find(full), std::string::npos);
    EXPECT_NE(r.err.find("\r\033[K[#"), std::string::npos);
    // The bar's line is ended before the next text; no percentage stands on a line of its own.
    EXPECT_NE(r.err.find("] 100%\r\nUpgrade complete!"), std::string::npos);
    EXPECT_EQ(r.err.find("\n100%"), std::string::npos);
}

TEST_F(CliUpgrade, WaitingForTheBootLoaderEndsOnlyWhenStopped) {
    CliProcess tool({"--simulate", "upgrade", good},
                    {{"KESTRUN_SIM_FAULT", "silence"}, {"KESTRUN_SIM_TICK_MS", ""}});
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    tool.pump();
    EXPECT_EQ(tool.err(), "Waiting for Controller...\n");
    tool.signal(SIGINT);
    const CliResult r = tool.finish();
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_EQ(r.err, "Waiting for Controller...\nCancelled.\n");
}

TEST_F(CliUpgrade, CheckHexSummarisesAGoodFileAndNamesTheLineOfABadOne) {
    CliResult r = runCli({"check-hex", good});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, good + ": good Intel HEX\nrecords: 202\ndata bytes: 3200\n"
                            "address range: 0x00000000-0x00000C7F\n");

    // Data above 64 KiB through an extended linear address record.
    const std::string high = dir.write(
        "high.hex", hexText({hexRecord(0x04, 0, {0x00, 0x02}), hexRecord(0x00, 0x0010, {1, 2, 3}),
                             hexRecord(0x01, 0, {})}));
    r = runCli({"check-hex", high});
    EXPECT_EQ(r.out, high + ": good Intel HEX\nrecords: 3\ndata bytes: 3\n"
                            "address range: 0x00020010-0x00020012\n");

    struct Case {
        std::string file;
        std::string err;
    };
    const std::vector<std::string> noEnd(lines.begin(), lines.end() - 1);
    const std::vector<Case> cases = {
        {dir.write("noend.hex", hexText(noEnd)), ": line 202: the file has no end-of-file record"},
        {dir.write("after.hex", hexText(lines) + ":00000001FF\r\n"),
         ": line 203: something follows the end-of-file record"},
        {dir.path("missing.hex"), ": the file cannot be opened"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        r = runCli({"check-hex", c.file});
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_EQ(r.err, c.file + c.err + "\n");
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
} // namespace kestrun::clitest
