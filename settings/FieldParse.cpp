#include "settings/FieldParse.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
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

// strtod's answer for a number beyond a double: infinity when it is too large, 0 when too small.
// Which one it is follows from where its first significant digit sits, moved by the exponent.
double beyondRange(std::string_view number) {
    int64_t magnitude = 0;
    bool afterPoint = false;
    bool significant = false;
    std::size_t pos = 0;
    for (; pos < number.size() && number[pos] != 'e' && number[pos] != 'E'; ++pos) {
        if (number[pos] == '.') {
            afterPoint = true;
        } else if (significant || number[pos] != '0') {
            significant = true;
            magnitude += afterPoint ? 0 : 1;
        } else if (afterPoint) {
            --magnitude; // a zero before the first significant digit, after the point
        }
    }
    int64_t exponent = 0;
    const bool negativeExponent = pos + 1 < number.size() && number[pos + 1] == '-';
    for (++pos; pos < number.size(); ++pos) {
        if (isDigit(number[pos]) && exponent < Int32Max) {
            exponent = exponent * 10 + (number[pos] - '0');
        }
    }
    return magnitude + (negativeExponent ? -exponent : exponent) > 0 ? HUGE_VAL : 0.0;
}

// The number as decimalPrefix found it, always with '.' as the decimal point: from_chars ignores
// the locale, which the toolkit sets for the whole process, so a comma locale cannot change
// what 2.50 means.
double readDecimal(std::string_view number) {
    bool negative = false;
    if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) {
        value = beyondRange(number);
    }
    return negative ? -value : value;
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
