// kestrun-cli against the simulated controller: every command, each way it can end, as a
// transcript of standard output, standard error and the exit status; then what needs a clock:
// signals, the upgrade's pace and bar on a terminal.

#include "tests/cli/CliHarness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <thread>

namespace kestrun::clitest {
namespace {

struct Transcript {
    std::vector<std::string> args; ///< after --simulate; "@" stands for the test's folder
    const char* faults;            ///< KESTRUN_SIM_FAULT
    int exitCode;
    std::string out;
    std::string err; ///< without the plain percentage lines; a final '*' matches any rest
};

std::string usage(const std::string& problem) {
    return "kestrun-cli: " + problem + "\nTry 'kestrun-cli --help'.\n";
}

std::string repeat(const std::string& text, int times) {
    return times == 0 ? "" : text + repeat(text, times - 1);
}

const std::string Listed = "0\t/dev/hidraw-sim0\t-\tCP2110 HID USB-to-UART Bridge\tbridge";
const std::string NoResponse = "No Response from Device\n";
const std::string NotConnected = "Controller is not connected: Please connect the USB cable,\n"
                                 " and provide power to the head controller.\n";
const std::string WriteFailed = "Failed to transmit : Write error\n";
const std::string Upload =
    "Waiting for Controller...\nErasing Flash Memory..\nUploading new code..\n";
const std::string Damaged = "@/damaged.hex: line 4: the checksum is FE but should be FF\n";
const std::string Empty = "@/empty.kst is empty: it holds no settings record.\n";
const std::string Refused = "kestrun-cli: ";
const std::string SetRound = "Data Received\nData Sent\nData Received\n";
const std::string Changed =
    "Zoom Setup / Speed: 100 -> 80\nCamera Trigger: Level High -> Level Low\n";
const std::string Unwritten = "kestrun-cli: cannot write standard output: ";

// The simulated controller holds the odd record; the folder holds settings files and upgrade
// files, good and bad.
// clang-format off
const std::vector<Transcript> Transcripts = {
    {{}, "", 2, "", usage("no command given")},
    {{"frobnicate"}, "", 2, "", usage("unknown command 'frobnicate'")},
    {{"show", "a", "b"}, "", 2, "", usage("show takes one FILE")},
    {{"upgrade"}, "", 2, "", usage("upgrade needs a FILE")},
    {{"get", "-o"}, "", 2, "", usage("-o needs a FILE")},
    {{"send", "--json", "f"}, "", 2, "", usage("unknown option '--json' for send")},
    {{"--baud", "9600", "get"}, "", 2, "", usage("--baud is not used with --simulate")},
    {{"--port", "/dev/ttyS0", "get"}, "", 2, "", usage("--simulate and --port cannot be used together")},
    {{"get", "--verbose"}, "", 2, "", usage("--verbose goes before the command")},

    {{"show", "@/odd.kst"}, "", 0, OddRecordText, ""},
    {{"show", "--json", "@/odd.kst"}, "", 0, OddRecordJson, ""},
    {{"show", "@/none.kst"}, "", 3, "", "@/none.kst was not found.\n"},
    {{"show", "@/short.kst"}, "", 3, "", "Unexpected file format.\n"},
    {{"show", "@/empty.kst"}, "", 3, "", Empty},
    {{"show", "@/fifo.kst"}, "", 3, "", "Failed to open document.\n"}, // at once, not waiting

    {{"get"}, "", 0, OddRecordText, "Data Received\n"},
    {{"get", ">/dev/full"}, "", 1, "", "Data Received\n" + Unwritten + "No space left on device\n"},
    {{"show", "@/odd.kst", ">&-"}, "", 1, "", Unwritten + "Bad file descriptor\n"},
    {{"get", "--json"}, "split=3,junk", 0, OddRecordJson, "Data Received\n"},
    {{"get"}, "delay=900", 0, OddRecordText, "Data Received\n"},
    {{"get"}, "silence", 1, "", NoResponse},
    {{"get"}, "cut-reply", 1, "", NoResponse},
    {{"get"}, "read-fail", 1, "", NoResponse},
    {{"get"}, "bad-check", 1, "", "Data Receive Error!\n"},
    {{"get"}, "write-fail", 1, "", repeat(WriteFailed, 2) + NoResponse},
    {{"get"}, "unplugged", 1, "", NotConnected},
    {{"get"}, "no-access", 1, "", NotConnected},

    {{"send", "@/odd.kst"}, "", 0, "", "Data Sent\n"},
    {{"send", "@/odd.kst"}, "refuse-send", 1, "", "Transmit Error!\n"},
    {{"send", "@/odd.kst"}, "silence", 1, "", NoResponse},
    {{"send", "@/odd.kst"}, "write-fail", 1, "", repeat(WriteFailed, 21) + NoResponse}, // a message a byte
    {{"send", "@/odd.kst"}, "unplugged", 1, "", NotConnected},
    // A file problem stops send before the bridge: the unplugged one says nothing.
    {{"send", "@/empty.kst"}, "unplugged", 3, "", Empty},
    {{"send", "@/short.kst"}, "unplugged", 3, "", "Unexpected file format.\n"},

    // set reads, changes, sends and reads back; a refusal leaves the (unplugged) bridge untouched.
    {{"set", "ZoomSpeed=80", "CameraTrigger=Level Low"}, "", 0, Changed, SetRound},
    {{"set", "--dry-run", "zoomspeed=80", "PANDEADBAND=1"}, "", 0, "Zoom Setup / Speed: 100 -> 80\nWould send: 50 00 01 64 00 01 03 00 0F FF 0F FF 00 00 08 00 04 00\n", "Data Received\n"},
    {{"set", "ZoomSpeed=80"}, "refuse-send", 1, "", "Data Received\nTransmit Error!\n"},
    {{"set"}, "", 2, "", usage("set needs NAME=VALUE")},
    {{"set", "Speed=1"}, "unplugged", 2, "", Refused + "unknown setting 'Speed' (the settings are ZoomSpeed, ZoomSmoothing, PanDeadband, TiltDeadband, DigitalConnection, OneWayCommunication, CameraTrigger, PressureJoystick, FocusRangeLow, FocusRangeHigh, ZoomRangeLow, ZoomRangeCenter, ZoomRangeHigh)\n"},
    {{"set", "ZoomSpeed"}, "unplugged", 2, "", Refused + "'ZoomSpeed' is not NAME=VALUE\n"},
    {{"set", "ZoomSpeed=101"}, "unplugged", 2, "", Refused + "ZoomSpeed: '101' is not a whole number from 0 to 100\n"},
    {{"set", "PanDeadband=0"}, "unplugged", 2, "", Refused + "PanDeadband: '0' is not a whole number from 1 to 100\n"},
    {{"set", "FocusRangeLow=2.567"}, "unplugged", 2, "", Refused + "FocusRangeLow: '2.567' is not a value from 0.00 to 10.00 with at most two decimals\n"},
    {{"set", "ZoomRangeHigh=10.01"}, "unplugged", 2, "", Refused + "ZoomRangeHigh: '10.01' is not a value from 0.00 to 10.00 with at most two decimals\n"},
    {{"set", "DigitalConnection=Nikon"}, "unplugged", 2, "", Refused + "DigitalConnection: 'Nikon' is not one of Default, Fujinon, Canon, Preston\n"},
    {{"set", "PressureJoystick=yes"}, "unplugged", 2, "", Refused + "PressureJoystick: 'yes' is not on or off\n"},
    {{"set", "TiltDeadband=5", "tiltdeadband=6"}, "unplugged", 2, "", Refused + "TiltDeadband is set twice\n"},

    // diff: 0 alike, 4 different; both forms of file; a JSON form's raw digits are not read.
    {{"diff", "@/odd.kst"}, "", 0, "", "Data Received\n"},
    {{"diff", "@/near.json"}, "", 4, "Zoom Setup / Speed: 100 (controller) -> 80 (file)\nCamera Trigger: Level High (controller) -> Level Low (file)\n", "Data Received\n"},
    {{"diff", "--json", "@/odd.kst", "@/near.json"}, "unplugged", 4, "{\n  \"ZoomSpeed\": {\n    \"file1\": 100,\n    \"file2\": 80\n  },\n  \"CameraTrigger\": {\n    \"file1\": \"Level High\",\n    \"file2\": \"Level Low\"\n  }\n}\n", ""},
    {{"diff", "@/odd.kst"}, "silence", 1, "", NoResponse},
    {{"diff", "@/odd.kst", "@/empty.kst"}, "", 3, "", Empty},
    {{"diff", "a", "b", "c"}, "", 2, "", usage("diff takes FILE or FILE1 FILE2")},

    // convert: to the JSON form by the name, back by the content. The bytes written back are
    // those the window would send: only the unchecked lens group shows otherwise.
    {{"convert", "@/odd.kst", "@/odd.JSON"}, "", 0, "", ""},
    {{"show", "@/odd.JSON"}, "", 0, OddRecordText, ""},
    {{"convert", "@/odd.JSON", "@/back.kst"}, "", 0, "", ""},
    {{"diff", "@/back.kst", "@/odd.kst"}, "", 4, "Lens Control / Digital Connection: Default (file1) -> none (file2)\n", ""},
    {{"send", "@/odd.JSON"}, "", 0, "", "Data Sent\n"},
    {{"convert", "@/odd.kst"}, "", 2, "", usage("convert takes IN and OUT")},
    // A JSON file is taken whole or not at all, naming the field.
    {{"send", "@/missing.json"}, "unplugged", 3, "", "@/missing.json: missing field 'ZoomSmoothing'\n"},
    {{"show", "@/unknown.json"}, "", 3, "", "@/unknown.json: unknown field 'Zoom'\n"},
    {{"show", "@/high.json"}, "", 3, "", "@/high.json: TiltDeadband: 101 is not a whole number from 1 to 100\n"},
    {{"show", "@/third.json"}, "", 3, "", "@/third.json: ZoomRangeHigh: \"2.505\" is not a value from 0.00 to 10.00 with at most two decimals\n"},
    {{"show", "@/twice.json"}, "", 3, "", "@/twice.json: field 'ZOOMSPEED' is given twice\n"},
    {{"show", "@/broken.json"}, "", 3, "", "@/broken.json: not a settings file: number overflow parsing '1e400'\n"},

    {{"devices"}, "", 0, Listed + "\n", ""},
    {{"devices"}, "no-access", 1, Listed + ", no access\n", "/dev/hidraw-sim0: the bridge is there but this user may not open it.*"},
    {{"devices"}, "unplugged", 1, "", "No HID devices found.\n"},

    {{"upgrade", "@/fw.hex"}, "", 0, "", Upload + "Upgrade complete!\n"},
    {{"upgrade", "./fw.hex"}, "", 0, "", Upload + "Upgrade complete!\n"}, // as a dialog's path
    {{"upgrade", "@/fw.hex", "2>|"}, "", 0, "", ""}, // nobody reads the messages: it goes on
    {{"upgrade", "@/fw.hex"}, "erase-stall", 1, "", "Waiting for Controller...\nErasing Flash Memory..\n" + NoResponse},
    {{"upgrade", "@/fw.hex"}, "bad-line=3", 1, "", Upload + "Communications Error\n"},
    {{"upgrade", "@/fw.hex"}, "silent-after=2", 1, "", Upload + NoResponse},
    {{"upgrade", "@/fw.hex"}, "unplugged", 1, "", NotConnected},
    // Refused before the bridge is opened: no "Connected", not one tick.
    {{"--verbose", "upgrade", "@/notes.txt"}, "", 3, "", "Programming File Not Valid: notes.txt is not a valid hex file.\n0 ticks, *"},
    {{"upgrade", "@/gone.hex"}, "", 3, "", "Programming File Not Valid: gone.hex is not a valid hex file.\n"},
    {{"upgrade", "@/bom.hex"}, "", 3, "", "Programming File Not Valid: bom.hex is not a valid hex file.\n"},
    // A damaged file must not reach a freshly erased controller, unless forced.
    {{"--verbose", "upgrade", "@/damaged.hex"}, "", 3, "", Damaged + "The file was not sent: a damaged file must not reach an erased controller. Use --force to send it anyway.\n0 ticks, *"},
    {{"upgrade", "--force", "@/huge.hex"}, "", 3, "", "@/huge.hex: the file is larger than 64 MiB, which no firmware is\n*"},
    {{"upgrade", "--force", "@/damaged.hex"}, "", 1, "", Damaged + "Sending it anyway (--force).\n" + Upload + "Communications Error\n"},

    {{"check-hex", "@/fw.hex"}, "", 0, "@/fw.hex: good Intel HEX\nrecords: 202\ndata bytes: 3200\naddress range: 0x00000000-0x00000C7F\n", ""},
    {{"check-hex", "@/top.hex"}, "", 0, "@/top.hex: good Intel HEX\nrecords: 3\ndata bytes: 8\naddress range: 0xFFFFFFFC-0x100000003\n", ""},
    {{"check-hex", "@/noend.hex"}, "", 3, "", "@/noend.hex: line 201: the file has no end-of-file record\n"},
    {{"check-hex", "@/after.hex"}, "", 3, "", "@/after.hex: line 203: something follows the end-of-file record\n"},
    {{"check-hex", "@/gone.hex"}, "", 3, "", "@/gone.hex: the file cannot be opened\n"},
};
// clang-format on

TEST(CliTranscript, EveryCommandEndsWithItsTextAndItsExitStatus) {
    TempDir dir;
    dir.write("odd.kst", OddRecord);
    dir.write("short.kst", OddRecord.substr(0, 17));
    dir.write("empty.kst", "");
    ::mkfifo(dir.path("fifo.kst").c_str(), 0600);
    // JSON forms of the odd record, each changed in one way.
    const auto edit = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    const std::string speed = "\"ZoomSpeed\": 100";
    dir.write("near.json", edit(edit(OddRecordJson, speed, "\"ZoomSpeed\": 80"), "\"Level High\"",
                                "\"level low\""));
    dir.write("missing.json", edit(OddRecordJson, "  \"ZoomSmoothing\": 0,\n", ""));
    dir.write("unknown.json", edit(OddRecordJson, "\"raw\"", "\"Zoom\""));
    dir.write("high.json", edit(OddRecordJson, "\"TiltDeadband\": 100", "\"TiltDeadband\": 101"));
    dir.write("third.json", edit(OddRecordJson, "\"2.50\"", "\"2.505\""));
    dir.write("twice.json", edit(OddRecordJson, "\n}", ",\n  \"ZOOMSPEED\": 100\n}"));
    dir.write("broken.json", edit(OddRecordJson, speed, "\"ZoomSpeed\": 1e400"));
    std::vector<std::string> lines = hexImageLines(200 * 16);
    dir.write("fw.hex", hexText(lines) + "\r\n\r\n"); // two blank lines after the end record
    dir.write("after.hex", hexText(lines) + ":00000001FF\r\n");
    dir.write("bom.hex", "\xEF\xBB\xBF" + hexText(lines));
    dir.write("notes.txt", "hello\r\n");
    std::filesystem::resize_file(dir.write("huge.hex", ":00"), (64 << 20) + 1);
    dir.write("top.hex", ":02000004FFFFFC\r\n:08FFFC000102030405060708D9\r\n:00000001FF\r\n");
    lines.pop_back();
    dir.write("noend.hex", hexText(lines));
    lines[3] = ":0100000000FE"; // the checksum of this record is FF
    dir.write("damaged.hex", hexText(lines) + ":00000001FF\r\n");

    const auto inFolder = [&](const std::string& text) {
        return std::regex_replace(text, std::regex("@"), dir.path());
    };
    const auto home = std::filesystem::current_path();
    std::filesystem::current_path(dir.path()); // for the relative paths
    for (const Transcript& t : Transcripts) {
        std::vector<std::string> args = {"--simulate"};
        std::string line;
        for (const std::string& arg : t.args) {
            args.push_back(inFolder(arg));
            line += arg + " ";
        }
        SCOPED_TRACE(line + "with '" + t.faults + "'");
        const CliResult r = runCli(args, simulated(t.faults, OddRecordHex));
        EXPECT_EQ(r.exitCode, t.exitCode);
        EXPECT_EQ(r.out, inFolder(t.out));
        const std::string err = std::regex_replace(r.err, std::regex("\\d+%\n"), "");
        const std::string want = inFolder(t.err);
        const std::size_t wildcard = want.ends_with('*') ? want.size() - 1 : std::string::npos;
        EXPECT_EQ(err.substr(0, wildcard), want.substr(0, wildcard));
    }
    std::filesystem::current_path(home);
}

// -o saves the bytes the controller sent, not what the window shows of them; a failed get saves
// nothing, and a failed save leaves what stood there.
TEST(CliGet, SavesTheControllersBytesUntouched) {
    TempDir dir;
    for (const char* faults : {"", "bad-check"}) {
        SCOPED_TRACE(faults);
        const std::string file = dir.path(std::string("got") + faults);
        runCli({"--simulate", "get", "-o", file}, simulated(faults, OddRecordHex));
        EXPECT_EQ(readFile(file), *faults == '\0' ? OddRecord : "");
    }
    std::filesystem::create_directory(dir.path("taken")); // a file cannot replace a folder
    const CliResult r = runCli({"--simulate", "get", "-o", dir.path("taken")}, simulated());
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "Data Received\n" + dir.path("taken") +
                         ": the settings could not be saved: Is a directory\n");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path("taken")));
}

TEST(CliHelp, DocumentsEveryCommandAndPointsToTheReadmeSectionThatExists) {
    // A rate the port cannot run at is refused with the command line, whatever the command.
    const CliResult baud = runCli({"--port", "/dev/null", "--baud", "12345", "show", "none"});
    EXPECT_EQ(baud.exitCode, 2);
    EXPECT_TRUE(baud.err.starts_with("kestrun-cli: --baud: Unsupported baud rate 12345"))
        << baud.err;
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

// Ctrl-C or SIGTERM cancels what is pending. The boot loader is waited for with no countdown:
// at 1 ms a tick, more than a settings exchange's 1000 ticks go by before the signal comes.
TEST(CliInterrupt, ASignalCancelsThePendingExchange) {
    const auto stopped = [](const std::vector<std::string>& args, const char* tickMs,
                            int signalNumber, int waitMs) {
        CliProcess tool(args, {{"KESTRUN_SIM_FAULT", "silence"}, {"KESTRUN_SIM_TICK_MS", tickMs}});
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        tool.signal(signalNumber);
        return tool.finish();
    };
    CliResult r = stopped({"--simulate", "get"}, "", SIGINT, 500);
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_EQ(r.err, "Cancelled.\n");

    TempDir dir;
    const std::string file = dir.write("fw.hex", hexText(hexImageLines(64)));
    r = stopped({"--simulate", "--verbose", "upgrade", file}, "1", SIGTERM, 1500);
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_EQ(r.err.substr(0, r.err.find_first_of("0123456789")),
              "Connected\nWaiting for Controller...\nCancelled.\n");
    EXPECT_GT(ticksTaken(r.err), 1000u) << r.err;
}

// A bench flashes a full 64 KiB image: one line a tick once the boot loader has erased, with
// the bar redrawn in place within the terminal's width and its line ended before the next text.
TEST(CliUpgrade, AFourThousandLineFileGoesUpAtOneLineATickUnderALiveBar) {
    TempDir dir;
    const std::vector<std::string> lines = hexImageLines(4094 * 16);
    ASSERT_EQ(lines.size(), 4096u);
    const std::string file = dir.write("big.hex", hexText(lines));
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
