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

// Reads one line (without its end) from `file`; false at the end of the file with nothing
// read. CR LF is one line end, as are a lone CR and a lone LF.
bool readLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF) {
        return false;
    }
    while (c != EOF && c != '\r' && c != '\n') {
        if (line.size() < KeptLineLength) {
            line.push_back(static_cast<char>(c));
        }
        c = std::getc(file);
    }
    if (c == '\r') {
        int next = std::getc(file);
        if (next != '\n' && next != EOF) {
            std::ungetc(next, file);
        }
    }
    return true;
}

} // namespace

bool isRecordChar(int c) {
    return c == ':' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
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

HexCheckResult checkHexFile(const std::string& path) {
    HexCheckResult result;
    FileHandle file = openRegularFile(path);
    if (!file) {
        result.problem = HexProblem::CannotOpen;
        return result;
    }
    auto fail = [&result](std::string problem) {
        result.problem = std::move(problem);
        return result;
    };
    bool ended = false;
    uint64_t base = 0;
    uint64_t low = UINT64_MAX;
    uint64_t high = 0;
    std::string line;
    while (readLine(file.get(), line)) {
        ++result.line;
        if (line.empty()) {
            continue;
        }
        if (ended) {
            return fail(HexProblem::AfterEnd);
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
    if (std::ferror(file.get()) != 0) {
        return fail(HexProblem::CannotRead);
    }
    if (!ended) {
        ++result.line;
        return fail(HexProblem::NoEnd);
    }
    if (result.dataBytes > 0) {
        result.lowAddress = static_cast<uint32_t>(low);
        result.highAddress = static_cast<uint32_t>(high);
    }
    result.ok = true;
    return result;
}

} // namespace kestrun
