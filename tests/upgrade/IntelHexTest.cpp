// The full Intel HEX check that stands between a damaged file and a freshly erased controller:
// each kind of bad record is named, and a file check names the first bad line.

#include "upgrade/IntelHex.h"
#include "tests/upgrade/UploadRig.h"

namespace kestrun::test {
namespace {

TEST(ParseHexRecord, ReadsAGoodRecordInEitherCase) {
    for (const char* text : {":0300300002337A1E", ":0300300002337a1e"}) {
        auto record = parseHexRecord(text);
        ASSERT_TRUE(record) << text;
        EXPECT_EQ(record->length, 3);
        EXPECT_EQ(record->address, 0x0030);
        EXPECT_EQ(record->type, HexRecordType::Data);
        EXPECT_EQ(record->data, (std::vector<uint8_t>{0x02, 0x33, 0x7A}));
        EXPECT_EQ(formatHexRecord(record->type, record->address, record->data),
                  ":0300300002337A1E");
    }
    auto end = parseHexRecord(":00000001FF");
    ASSERT_TRUE(end);
    EXPECT_EQ(end->type, HexRecordType::EndOfFile);
    EXPECT_TRUE(end->data.empty());
}

TEST(ParseHexRecord, NamesWhatIsWrong) {
    struct Case {
        const char* line;
        const char* problem;
    };
    const Case cases[] = {
        {"", "the record does not begin with ':'"},
        {"0300300002337A1E", "the record does not begin with ':'"},
        {":0300300002337A1E\r", "'\\x0D' is not a hex digit"},
        {":03003000G2337A1E", "'G' is not a hex digit"},
        {":00000001F", "the record is too short"},
        {":0300300002337A1", "the record has an odd number of hex digits"},
        {":0400300002337A1D", "the length byte gives 4 data bytes but the record holds 3"},
        {":0300300002337A1F", "the checksum is 1F but should be 1E"},
        {":00000006FA", "unknown record type 06"},
        {":0100000100FE", "a record of type 01 must hold 0 data bytes"},
        {":0100000401FA", "a record of type 04 must hold 2 data bytes"},
        {":020000030000FB", "a record of type 03 must hold 4 data bytes"},
    };
    for (const Case& c : cases) {
        std::string problem;
        EXPECT_FALSE(parseHexRecord(c.line, &problem)) << c.line;
        EXPECT_EQ(problem, c.problem) << c.line;
    }
}

TEST(CheckHexFile, SummarisesAGoodFileWithExtendedAddresses) {
    ScratchFolder folder;
    const std::string path =
        folder.write("ok.hex", ":020000040001F9\r\n"         // linear base 0x00010000
                               ":04FFF0000102030403\r\n"     // 0x0001FFF0-3
                               "\r\n"                        // a blank line
                               ":02000002100EDE\n"           // segment base 0x100E0, lone LF
                               ":020010001122BB ; comment\r" // 0x000100F0-1, lone CR
                               ":00000001FF\r\n\r\n");       // line ends after the end record
    HexCheckResult result = checkHexFile(path);
    EXPECT_TRUE(result.ok) << result.problem;
    EXPECT_EQ(result.records, 5u);
    EXPECT_EQ(result.dataBytes, 6u);
    EXPECT_EQ(result.lowAddress, 0x000100F0u);
    EXPECT_EQ(result.highAddress, 0x0001FFF3u);
}

TEST(CheckHexFile, NamesTheFirstBadLine) {
    const std::string good = ":0300300002337A1E\r\n";
    const std::string end = ":00000001FF\r\n";
    struct Case {
        std::string content;
        std::size_t line;
        const char* problem;
    };
    const Case cases[] = {
        {good + ":0300300002337A1F\r\n" + end, 2, "the checksum is 1F but should be 1E"},
        {good + good, 3, "the file has no end-of-file record"},
        {"", 1, "the file has no end-of-file record"},
        {good + end + good, 3, "something follows the end-of-file record"},
        {good + end + " \r\n", 3, "something follows the end-of-file record"},
        {good + " " + good + end, 2, "the line does not begin with a record"},
        {good + "\r\n:" + std::string(256, '0') + "\r\n" + end, 3,
         "the record is longer than 255 characters"},
    };
    ScratchFolder folder;
    for (const Case& c : cases) {
        HexCheckResult result = checkHexFile(folder.write("bad.hex", c.content));
        EXPECT_FALSE(result.ok) << c.content;
        EXPECT_EQ(result.line, c.line) << c.content;
        EXPECT_EQ(result.problem, c.problem) << c.content;
    }
    EXPECT_EQ(checkHexFile((folder.path() / "missing.hex").string()).problem,
              "the file cannot be opened");
    EXPECT_EQ(checkHexFile(folder.path().string()).problem, "the file cannot be opened");
}

} // namespace
} // namespace kestrun::test
