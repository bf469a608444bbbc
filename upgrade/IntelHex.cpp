#include "upgrade/IntelHex.h"

#include "upgrade/ReadOnlyFile.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace kestrun {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    std::array<char, 160> text{};
    std::snprintf(text.data(), text.size(), pattern, args...);
    return text.data();
}

// A character as a reader can see it: itself when printable, else its code.
std::string shown(char c) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
        return std::string(1, c);
    }
    return format("\\x%02X", static_cast<unsigned>(byte));
}

std::optional<HexRecord> refuse(std::string* problem, std::string text) {
    if (problem != nullptr) {
        *problem = std::move(text);
    }
    return std::nullopt;
}

// The number of data bytes a record type must hold; -1 when any number is allowed.
int fixedLength(uint8_t type) {
    switch (type) {
    case HexRecordType::EndOfFile:
        return 0;
    case HexRecordType::ExtendedSegmentAddress:
    case HexRecordType::ExtendedLinearAddress:
        return 2;
    case HexRecordType::StartSegmentAddress:
    case HexRecordType::StartLinearAddress:
        return 4;
    default:
        return -1;
    }
}

// Longest record the upload can send: its line buffer holds 255 characters.
constexpr std::size_t MaxRecordLength = 255;
// A line is kept only this far; the rest matters to nobody once the record is too long.
constexpr std::size_t KeptLineLength = 512;

// The lines of an upgrade file's bytes, without their ends. CR LF is one line end, as are a
// lone CR and a lone LF.
class LineReader {
public:
    explicit LineReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    // The next line, false at the end of the bytes. A line is kept only as far as any check
    // needs it.
    bool next(std::string& line) {
        if (at_ >= bytes_.size()) {
            return false;
        }
        line.clear();
        while (at_ < bytes_.size() && bytes_[at_] != '\r' && bytes_[at_] != '\n') {
            if (line.size() < KeptLineLength) {
                line.push_back(static_cast<char>(bytes_[at_]));
            }
            ++at_;
        }
        if (at_ < bytes_.size() && bytes_[at_++] == '\r' && at_ < bytes_.size() &&
            bytes_[at_] == '\n') {
            ++at_;
        }
        return true;
    }

private:
    std::span<const uint8_t> bytes_;
    std::size_t at_ = 0;
};

// Whether the line at `line` (up to its end or `end`) begins with a record, after any blanks.
template <typename It>
bool startsWithRecord(It line, It end) {
    while (line != end && (*line == ' ' || *line == '\t')) {
        ++line;
    }
    return line != end && isRecordChar(static_cast<unsigned char>(*line));
}

} // namespace

bool isRecordChar(int c) {
    return c == ':' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::size_t trailerStart(std::span<const uint8_t> bytes) {
    std::size_t start = 0;
    auto lineStart = bytes.begin();
    while (lineStart != bytes.end()) {
        const auto lineEnd =
            std::find_if(lineStart, bytes.end(), [](uint8_t c) { return c == '\r' || c == '\n'; });
        if (startsWithRecord(lineStart, lineEnd)) {
            start = static_cast<std::size_t>(lineEnd - bytes.begin());
        }
        lineStart = lineEnd == bytes.end() ? lineEnd : lineEnd + 1;
    }
    return start;
}

std::optional<HexRecord> parseHexRecord(std::string_view line, std::string* problem) {
    if (line.empty() || line.front() != ':') {
        return refuse(problem, HexProblem::NoColon);
    }
    std::string_view digits = line.substr(1);
    for (char c : digits) {
        if (hexValue(c) < 0) {
            return refuse(problem, format(HexProblem::NotHexDigit, shown(c).c_str()));
        }
    }
    // Length, two address bytes, type and checksum at the least.
    if (digits.size() < 10) {
        return refuse(problem, HexProblem::TooShort);
    }
    if (digits.size() % 2 != 0) {
        return refuse(problem, HexProblem::OddDigits);
    }
    std::vector<uint8_t> bytes(digits.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(hexValue(digits[2 * i]) * 16 + hexValue(digits[2 * i + 1]));
    }
    const std::size_t held = bytes.size() - 5;
    if (bytes[0] != held) {
        return refuse(problem, format(HexProblem::LengthMismatch, static_cast<unsigned>(bytes[0]),
                                      static_cast<unsigned>(held)));
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        sum += bytes[i];
    }
    const auto expected = static_cast<uint8_t>(0x100 - (sum & 0xFF));
    if (bytes.back() != expected) {
        return refuse(problem, format(HexProblem::BadChecksum, static_cast<unsigned>(bytes.back()),
                                      static_cast<unsigned>(expected)));
    }
    const uint8_t type = bytes[3];
    if (type > HexRecordType::StartLinearAddress) {
        return refuse(problem, format(HexProblem::UnknownType, static_cast<unsigned>(type)));
    }
    const int fixed = fixedLength(type);
    if (fixed >= 0 && held != static_cast<std::size_t>(fixed)) {
        return refuse(problem, format(HexProblem::TypeLength, static_cast<unsigned>(type),
                                      static_cast<unsigned>(fixed)));
    }
    HexRecord record;
    record.length = bytes[0];
    record.address = static_cast<uint16_t>(bytes[1] << 8 | bytes[2]);
    record.type = type;
    record.data.assign(bytes.begin() + 4, bytes.end() - 1);
    return record;
}

std::string formatHexRecord(uint8_t type, uint16_t address, std::span<const uint8_t> data) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    data = data.first(std::min<std::size_t>(data.size(), 255));
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8),
                                  static_cast<uint8_t>(address & 0xFF), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    bytes.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    std::string text = ":";
    for (uint8_t b : bytes) {
        text += Digits[b >> 4];
        text += Digits[b & 0x0F];
    }
    return text;
}

HexCheckResult checkHexImage(std::span<const uint8_t> bytes) {
    HexCheckResult result;
    auto fail = [&result](std::string problem) {
        result.problem = std::move(problem);
        return result;
    };
    bool ended = false;
    uint64_t base = 0;
    uint64_t low = UINT64_MAX;
    uint64_t high = 0;
    LineReader lines(bytes);
    std::string line;
    while (lines.next(line)) {
        ++result.line;
        if (line.empty()) {
            continue;
        }
        if (ended) {
            // Blank lines and comments after the end record are not sent as records.
            if (startsWithRecord(line.begin(), line.end())) {
                return fail(HexProblem::AfterEnd);
            }
            continue;
        }
        auto runEnd = std::find_if_not(line.begin(), line.end(), [](char c) {
            return isRecordChar(static_cast<unsigned char>(c));
        });
        const auto runLength = static_cast<std::size_t>(runEnd - line.begin());
        if (runLength == 0) {
            return fail(HexProblem::NoRecord);
        }
        if (runLength > MaxRecordLength) {
            return fail(HexProblem::LineTooLong);
        }
        std::string problem;
        auto record = parseHexRecord(std::string_view(line).substr(0, runLength), &problem);
        if (!record) {
            return fail(problem);
        }
        ++result.records;
        const auto& data = record->data;
        switch (record->type) {
        case HexRecordType::Data:
            if (!data.empty()) {
                uint64_t start = base + record->address;
                low = std::min(low, start);
                high = std::max(high, start + data.size() - 1);
                result.dataBytes += data.size();
            }
            break;
        case HexRecordType::ExtendedSegmentAddress:
            base = static_cast<uint64_t>(data[0] << 8 | data[1]) << 4;
            break;
        case HexRecordType::ExtendedLinearAddress:
            base = static_cast<uint64_t>(data[0] << 8 | data[1]) << 16;
            break;
        case HexRecordType::EndOfFile:
            ended = true;
            break;
        default:
            break;
        }
    }
    if (!ended) {
        return fail(HexProblem::NoEnd);
    }
    if (result.dataBytes > 0) {
        result.lowAddress = low;
        result.highAddress = high;
    }
    result.ok = true;
    return result;
}

UpgradeImage readUpgradeImage(const std::string& path) {
    UpgradeImage image;
    uint64_t length = 0;
    FileHandle file = openRegularFile(path, &length);
    if (!file) {
        image.check.problem = HexProblem::CannotOpen;
        return image;
    }
    if (length > MaxUpgradeFileBytes) {
        image.check.problem = HexProblem::TooLarge;
        return image;
    }
    // Read to the end, not to the length seen at the open: a file still being written is
    // taken as it is now, and one that grew past the cap is refused all the same.
    image.bytes.resize(static_cast<std::size_t>(length) + 1);
    std::size_t got = 0;
    while (true) {
        got += std::fread(image.bytes.data() + got, 1, image.bytes.size() - got, file.get());
        if (got < image.bytes.size() || got > MaxUpgradeFileBytes) {
            break;
        }
        image.bytes.resize(std::min(image.bytes.size() * 2, MaxUpgradeFileBytes + 1));
    }
    if (std::ferror(file.get()) != 0) {
        image.bytes.clear();
        image.check.problem = HexProblem::CannotRead;
        return image;
    }
    if (got > MaxUpgradeFileBytes) {
        image.bytes.clear();
        image.check.problem = HexProblem::TooLarge;
        return image;
    }
    image.bytes.resize(got);
    image.bytes.shrink_to_fit();
    image.check = checkHexImage(image.bytes);
    return image;
}

} // namespace kestrun
