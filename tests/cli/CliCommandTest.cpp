// kestrun-cli against the simulated controller: every command, each way it can end, as the
// transcripts of transcripts.txt; then what needs a clock: signals, the upgrade's pace and bar
// on a terminal.

#include "tests/cli/CliHarness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <iomanip>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace kestrun::clitest {
namespace {

struct Transcript {
    std::string command; ///< as written
    Environment env;
    std::vector<std::string> args;
    int exitCode = 0;
    std::string out, err;
};

// The format is described at the top of the file.
std::vector<Transcript> readTranscripts(const std::string& folder) {
    std::vector<Transcript> all;
    std::istringstream file(
        std::regex_replace(readFile(KESTRUN_CLI_TRANSCRIPTS), std::regex("@"), folder));
    for (std::string line; std::getline(file, line);) {
        const std::string text = line.size() > 2 ? line.substr(2) + "\n" : "\n";
        if (line.starts_with("$ ")) {
            Transcript& t = all.emplace_back();
            t.command = line;
            t.env = simulated("", OddRecordHex);
            std::istringstream words(line.substr(2));
            for (std::string word, at = "env"; words >> std::quoted(word);) {
                if (at == "args") {
                    t.args.push_back(word);
                } else if (word == "kestrun-cli") {
                    at = "args";
                } else {
                    t.env[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
                }
            }
        } else if (line.starts_with("|")) {
            all.back().out += text;
        } else if (line.starts_with("!")) {
            all.back().err += text;
        } else if (line.starts_with("[")) {
            all.back().exitCode = std::stoi(line.substr(1));
        }
    }
    EXPECT_FALSE(all.empty()) << KESTRUN_CLI_TRANSCRIPTS;
    return all;
}

TEST(CliTranscript, EveryCommandEndsWithItsTextAndItsExitStatus) {
    TempDir dir;
    dir.write("odd.kst", OddRecord);
    dir.write("short.kst", OddRecord.substr(0, 17));
    dir.write("empty.kst", "");
    ::mkfifo(dir.path("fifo.kst").c_str(), 0600);
    std::filesystem::create_directory(dir.path("taken"));
    // JSON forms of the odd record, each changed in one way.
    const std::string json = runCli({"show", "--json", dir.path("odd.kst")}).out;
    const auto edit = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    dir.write("near.json", edit(edit(json, ": 100,", ": 80,"), "\"Level High\"", "\"level low\""));
    dir.write("missing.json", edit(json, "  \"ZoomSmoothing\": 0,\n", ""));
    dir.write("unknown.json", edit(json, "\"raw\"", "\"Zoom\""));
    dir.write("high.json", edit(json, "\"TiltDeadband\": 100", "\"TiltDeadband\": 101"));
    dir.write("third.json", edit(json, "\"2.50\"", "\"2.505\""));
    dir.write("twice.json", edit(json, "\n}", ",\n  \"ZOOMSPEED\": 100\n}"));
    dir.write("broken.json", edit(json, ": 100,", ": 1e400,"));
    std::vector<std::string> lines = hexImageLines(200 * 16);
    dir.write("fw.hex", hexFile(lines) + "\r\n\r\n"); // two blank lines after the end record
    dir.write("after.hex", hexFile(lines) + ":00000001FF\r\n");
    dir.write("bom.hex", "\xEF\xBB\xBF" + hexFile(lines));
    dir.write("notes.txt", "hello\r\n");
    std::filesystem::resize_file(dir.write("huge.hex", ":00"), (64 << 20) + 1);
    dir.write("top.hex", ":02000004FFFFFC\r\n:08FFFC000102030405060708D9\r\n:00000001FF\r\n");
    lines.pop_back();
    dir.write("noend.hex", hexFile(lines));
    lines[3] = ":0100000000FE"; // the checksum of this record is FF
    dir.write("damaged.hex", hexFile(lines) + ":00000001FF\r\n");

    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(dir.path()); // for the relative paths
    // Where a wanted text ends in "*\n", any rest matches.
    const auto upTo = [](const std::string& want) {
        return want.ends_with("*\n") ? want.size() - 2 : std::string::npos;
    };
    for (const Transcript& t : readTranscripts(dir.path())) {
        SCOPED_TRACE(t.command);
        const CliResult r = runCli(t.args, t.env);
        EXPECT_EQ(r.exitCode, t.exitCode);
        EXPECT_EQ(r.out.substr(0, upTo(t.out)), t.out.substr(0, upTo(t.out)));
        const std::string err = std::regex_replace(r.err, std::regex("\\d+%\n"), "");
        EXPECT_EQ(err.substr(0, upTo(t.err)), t.err.substr(0, upTo(t.err)));
    }
    std::filesystem::current_path(home);
    EXPECT_EQ(readFile(dir.path("got.kst")), OddRecord);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("taken")));
}

TEST(CliHelp, DocumentsEveryCommandAndPointsToTheReadmeSectionThatExists) {
    const CliResult version = runCli({"--simulate", "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("kestrun-cli " KESTRUN_VERSION "\nCopyright"))
        << version.out;
    const CliResult r = runCli({"get", "--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* word :
         {"devices", "get [-o FILE] [--json]", "send FILE", "show FILE", "upgrade FILE [--force]",
          "check-hex FILE", "diff FILE [FILE2] [--json]", "set [--dry-run] NAME=VALUE...",
          "convert IN OUT", "loopback [--count N]", "--simulate", "--port DEVICE", "--baud N",
          "KESTRUN_SIM_FAULT", "Exit status"}) {
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    }
    // The hint for a bridge this user may not open names the README's section by its heading.
    const std::string err = runCli({"--simulate", "devices"}, simulated("no-access")).err;
    const std::size_t start = err.find("README, \"") + 9;
    ASSERT_GT(start, 8u) << err;
    const std::string section = err.substr(start, err.find('"', start) - start);
    EXPECT_NE(readFile(KESTRUN_README).find("\n## " + section + "\n"), std::string::npos)
        << section;
}

// Ctrl-C or SIGTERM cancels what is pending, once the tool has said where it is. The boot
// loader is waited for with no countdown: with the ticks back to back, far more than a settings
// exchange's 1000 go by in the second before the signal comes.
TEST(CliInterrupt, ASignalCancelsThePendingExchange) {
    const auto stopped = [](const std::vector<std::string>& args, const char* tickMs,
                            int signalNumber, const std::string& told) {
        CliProcess tool(args, {{"KESTRUN_SIM_FAULT", "silence"}, {"KESTRUN_SIM_TICK_MS", tickMs}});
        tool.waitForErr(told);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        tool.signal(signalNumber);
        const CliResult r = tool.finish();
        EXPECT_EQ(r.exitCode, 130);
        EXPECT_EQ(r.err.substr(0, r.err.find_first_of("0123456789")), told + "Cancelled.\n");
        return ticksTaken(r.err);
    };
    stopped({"--simulate", "--verbose", "get"}, "5", SIGINT, "Connected\n");
    TempDir dir;
    const std::string file = dir.write("fw.hex", hexFile(hexImageLines(64)));
    EXPECT_GT(stopped({"--simulate", "--verbose", "upgrade", file}, "0", SIGTERM,
                      "Connected\nWaiting for Controller...\n"),
              1000u);
}

// A bench flashes a full 64 KiB image: one line a tick once the boot loader has erased, with
// the bar redrawn in place within the terminal's width and its line ended before the next text.
TEST(CliUpgrade, AFourThousandLineFileGoesUpAtOneLineATickUnderALiveBar) {
    TempDir dir;
    const std::vector<std::string> lines = hexImageLines(4094 * 16);
    const std::string file = dir.write("big.hex", hexFile(lines));
    const CliResult r =
        CliProcess({"--simulate", "--verbose", "upgrade", file}, simulated(), true).finish();
    EXPECT_EQ(r.exitCode, 0);
    const unsigned long ticks = ticksTaken(r.err);
    EXPECT_GE(ticks, lines.size());
    EXPECT_LE(ticks, lines.size() + 20); // the wake-up and the erase
    EXPECT_NE(r.err.find("\r\033[K[#....."), std::string::npos);
    // In 30 columns the bar shrinks so that its line never wraps.
    EXPECT_NE(r.err.find("\r\033[K[" + std::string(22, '#') + "] 100%\r\nUpgrade complete!\r\n"),
              std::string::npos);
    const std::string told =
        std::regex_replace(r.err, std::regex("\r\033\\[K\\[[#.]*\\] +\\d+%"), "");
    EXPECT_EQ(told.substr(0, told.find_first_of("0123456789")),
              "Connected\r\nWaiting for Controller...\r\nErasing Flash Memory..\r\n\r\n"
              "Uploading new code..\r\n\r\nUpgrade complete!\r\n");
}

} // namespace
} // namespace kestrun::clitest
