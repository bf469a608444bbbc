#pragma once
// Intel HEX records: reading one record line, and checking a whole upgrade file before it may
// reach a freshly erased controller. The upload itself sends lines as they stand; this is the
// thorough check the command-line tool runs first, and the simulated boot loader's reading of
// each line it takes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrun {

/// Record types.
namespace HexRecordType {
inline constexpr uint8_t Data = 0x00;
inline constexpr uint8_t EndOfFile = 0x01;
inline constexpr uint8_t ExtendedSegmentAddress = 0x02; ///< base = value << 4
inline constexpr uint8_t StartSegmentAddress = 0x03;
inline constexpr uint8_t ExtendedLinearAddress = 0x04; ///< base = value << 16
inline constexpr uint8_t StartLinearAddress = 0x05;
} // namespace HexRecordType

/// Problems the checks report, each written once. %s, %u and %02X are filled in.
namespace HexProblem {
inline constexpr const char* NoColon = "the record does not begin with ':'";
inline constexpr const char* NotHexDigit = "'%s' is not a hex digit";
inline constexpr const char* TooShort = "the record is too short";
inline constexpr const char* OddDigits = "the record has an odd number of hex digits";
inline constexpr const char* LengthMismatch =
    "the length byte gives %u data bytes but the record holds %u";
inline constexpr const char* BadChecksum = "the checksum is %02X but should be %02X";
inline constexpr const char* UnknownType = "unknown record type %02X";
inline constexpr const char* TypeLength = "a record of type %02X must hold %u data bytes";
inline constexpr const char* CannotOpen = "the file cannot be opened";
inline constexpr const char* CannotRead = "the file cannot be read";
inline constexpr const char* TooLarge = "the file is larger than 64 MiB, which no firmware is";
inline constexpr const char* NoRecord = "the line does not begin with a record";
inline constexpr const char* LineTooLong = "the record is longer than 255 characters";
inline constexpr const char* AfterEnd = "something follows the end-of-file record";
inline constexpr const char* NoEnd = "the file has no end-of-file record";
} // namespace HexProblem

/// The characters a line of an upgrade file is made of: ':' and ASCII letters and digits. The
/// upload sends a line up to the first byte outside them, and the full check reads it the same.
bool isRecordChar(int c);

/// Where the trailer of an upgrade file begins: the end of the last line that begins with a
/// record (after any blanks). What follows holds nothing but line ends, blank lines and comment
/// lines; after the end record it is not part of the firmware: the full check accepts it, and
/// the upload counts the file as consumed once only this is left.
std::size_t trailerStart(std::span<const uint8_t> bytes);

/// Largest upgrade file taken. Firmware images are kilobytes; the cap keeps a wrong choice (a
/// disk image, a log) from being read into memory whole.
inline constexpr std::size_t MaxUpgradeFileBytes = 64u << 20;

/// One record: `length` data bytes at 16-bit offset `address`, of type `type`.
struct HexRecord {
    uint8_t length;
    uint16_t address;
    uint8_t type;
    std::vector<uint8_t> data;
};

/// Reads one record from `line`: ':' then, as hex digits of either case, the length, the
/// address, the type, the data and the checksum, and nothing else (no line end). Checks the
/// length against the data, the checksum, the type (0-5) and the fixed sizes of the address
/// and end records. Answers nullopt for anything else, with the reason in `problem` if given.
std::optional<HexRecord> parseHexRecord(std::string_view line, std::string* problem = nullptr);

/// The text of a record (upper-case hex digits, checksum included, no line end): what
/// parseHexRecord reads back. At most 255 data bytes are taken from `data`.
std::string formatHexRecord(uint8_t type, uint16_t address, std::span<const uint8_t> data);

/// Outcome of checking a whole file. `line` is 1-based: the line of the problem (the last line
/// when the end record is missing), or the number of lines read when the file is good; 0 when
/// the file could not be read at all. The address range covers the data bytes, with extended
/// segment and linear addresses applied; it is not cut to 32 bits, so a record that runs past
/// 4 GiB shows as it is. Both are 0 when the file holds no data.
struct HexCheckResult {
    bool ok = false;
    std::size_t line = 0;
    std::string problem;
    std::size_t records = 0;
    std::size_t dataBytes = 0;
    uint64_t lowAddress = 0;
    uint64_t highAddress = 0;
};

/// Checks an upgrade file's bytes as the upload will send them: lines end in CR, LF or CR LF;
/// empty lines are skipped; a line is the record at its start (':' and letters and digits),
/// anything after it being dropped by the upload. Every record must parse (parseHexRecord) and
/// be at most 255 characters; an end-of-file record must come, followed by no other record
/// (onlyTrailerLeft).
HexCheckResult checkHexImage(std::span<const uint8_t> bytes);

/// An upgrade file read whole, once, and checked: the copy that is checked is the copy that is
/// sent, whatever happens to the file afterwards.
struct UpgradeImage {
    std::vector<uint8_t> bytes;
    HexCheckResult check; ///< `check.line` 0 and not ok: the file could not be read at all
};

/// Reads the regular file at `path` (at most MaxUpgradeFileBytes) and checks its bytes.
UpgradeImage readUpgradeImage(const std::string& path);

} // namespace kestrun
