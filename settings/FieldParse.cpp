#include "settings/FieldParse.h"

#include <cfloat>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace kestrun {
namespace {

constexpr int32_t Int32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t Int32Min = std::numeric_limits<int32_t>::min();

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t skipBlanks(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    return pos;
}

std::size_t skipDigits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
    }
    return pos;
}

// The longest prefix of `text` (after its blanks) that reads as a decimal number: sign, digits,
// an optional point with digits, an optional exponent. Hexadecimal numbers, "inf" and "nan" are
// not numbers here. Empty when the text holds no number.
std::string_view decimalPrefix(std::string_view text) {
    const std::size_t start = skipBlanks(text);
    std::size_t pos = start;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    const std::size_t intStart = pos;
    pos = skipDigits(text, pos);
    std::size_t digits = pos - intStart;
    if (pos < text.size() && text[pos] == '.') {
        const std::size_t fracStart = pos + 1;
        const std::size_t fracEnd = skipDigits(text, fracStart);
        if (digits > 0 || fracEnd > fracStart) {
            digits += fracEnd - fracStart;
            pos = fracEnd;
        }
    }
    if (digits == 0) {
        return {};
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        std::size_t exp = pos + 1;
        if (exp < text.size() && (text[exp] == '+' || text[exp] == '-')) {
            ++exp;
        }
        const std::size_t expEnd = skipDigits(text, exp);
        if (expEnd > exp) {
            pos = expEnd;
        }
    }
    return text.substr(start, pos - start);
}

// The number as the C library reads it, always with '.' as the decimal point: the toolkit sets
// the user's locale for the whole process, and a comma locale must not change what 2.50 means.
double readDecimal(std::string_view number) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string copy(number);
    return strtod_l(copy.c_str(), nullptr, cLocale);
}

} // namespace

int32_t parseWholeNumber(std::string_view text) {
    std::size_t pos = skipBlanks(text);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    int64_t magnitude = 0;
    for (; pos < text.size() && isDigit(text[pos]); ++pos) {
        magnitude = magnitude * 10 + (text[pos] - '0');
        if (magnitude > int64_t{Int32Max} + 1) {
            magnitude = int64_t{Int32Max} + 1; // saturated; further digits cannot bring it back
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > Int32Max) {
        return Int32Max;
    }
    return static_cast<int32_t>(value);
}

int32_t parseHundredths(std::string_view text) {
    const std::string_view number = decimalPrefix(text);
    const double read = number.empty() ? 0.0 : readDecimal(number);
    // Beyond single precision's range the product is beyond 32 bits anyway.
    if (read > FLT_MAX) {
        return Int32Max;
    }
    if (read < -FLT_MAX) {
        return Int32Min;
    }
    const float single = static_cast<float>(read);
    const float nudged = single + 0.001f;
    const double product = static_cast<double>(nudged) * 100.0;
    if (product >= 2147483648.0) {
        return Int32Max;
    }
    if (product <= -2147483649.0) {
        return Int32Min;
    }
    return static_cast<int32_t>(product); // truncates toward zero
}

int32_t parseFieldText(const ValueField& field, std::string_view text) {
    const std::string_view limited = text.substr(0, FieldTextLimit);
    return field.decimalMode ? parseHundredths(limited) : parseWholeNumber(limited);
}

} // namespace kestrun
