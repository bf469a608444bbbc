// kestrun-cli without a controller: the command line, --help, and show.

#include "tests/cli/CliProcess.h"
#include "tests/cli/OddRecord.h"

#include <gtest/gtest.h>

namespace kestrun::clitest {
namespace {

TEST(CliCommandLine, NonsenseIsAUsageErrorThatSaysWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const std::vector<Case> cases = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"show"}, "show needs a FILE"},
        {{"show", "a", "b"}, "show takes one FILE"},
        {{"send"}, "send needs a FILE"},
        {{"upgrade"}, "upgrade needs a FILE"},
        {{"check-hex"}, "check-hex needs a FILE"},
        {{"devices", "extra"}, "devices takes no operand ('extra')"},
        {{"get", "-o"}, "-o needs a FILE"},
        {{"get", "--force"}, "unknown option '--force' for get"},
        {{"send", "--json", "f"}, "unknown option '--json' for send"},
        {{"--baud", "9600", "get"}, "--baud is only used with --port"},
        {{"--port", "/dev/ttyS0", "--baud", "fast", "get"}, "'fast' is not a rate"},
        {{"--port", "/dev/ttyS0", "--baud", "0", "get"}, "'0' is not a rate"},
        {{"--simulate", "--port", "/dev/ttyS0", "get"}, "cannot be used together"},
        {{"--port"}, "--port needs a DEVICE"},
        {{"--verbatim", "get"}, "unknown option '--verbatim'"},
        {{"get", "--simulate"}, "--simulate goes before the command"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& a : c.args) {
            line += a + " ";
        }
        SCOPED_TRACE("kestrun-cli " + line);
        const CliResult r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
}

TEST(CliCommandLine, HelpDocumentsEveryCommandAndTheTestAids) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-h"}, {"get", "--help"}, {"--simulate", "-h"}}) {
        const CliResult r = runCli(args);
        EXPECT_EQ(r.exitCode, 0);
        for (const char* word :
             {"devices", "get [-o FILE] [--json]", "send FILE", "show FILE",
              "upgrade FILE [--force]", "check-hex FILE", "--simulate", "--port DEVICE", "--baud N",
              "KESTRUN_SIM_FAULT", "silence", "Exit status"}) {
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
        }
    }
}

TEST(CliShow, PrintsTheRecordAsTheWindowShowsIt) {
    TempDir dir;
    const std::string file = dir.write("odd.kst", OddRecord);
    CliResult r = runCli({"show", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, OddRecordText);
    EXPECT_EQ(r.err, "");

    r = runCli({"show", "--json", file});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, OddRecordJson);

    // Bytes after the 18th are not part of the record.
    r = runCli({"show", dir.write("long.kst", OddRecord + "xy"), "--json"});
    EXPECT_EQ(r.out, OddRecordJson);

    // A file name that looks like an option, after "--".
    dir.write("-odd", OddRecord);
    r = runCli({"show", "--", dir.path("-odd")});
    EXPECT_EQ(r.out, OddRecordText);
}

TEST(CliShow, AFileThatHoldsNoRecordIsAFileProblem) {
    TempDir dir;
    struct Case {
        std::string path;
        std::string says;
    };
    const std::vector<Case> cases = {
        {dir.path("missing.kst"), dir.path("missing.kst") + " was not found."},
        {dir.write("short.kst", OddRecord.substr(0, 17)), "Unexpected file format."},
        {dir.write("one.kst", "x"), "Unexpected file format."},
        {dir.write("empty.kst", ""), "empty.kst is empty: it holds no settings record."},
        {dir.path(""), "Failed to open document."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const CliResult r = runCli({"show", c.path});
        EXPECT_EQ(r.exitCode, 3);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
} // namespace kestrun::clitest
