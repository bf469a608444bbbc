// The numeric field's parser on any text of up to 40 characters, in whole-number and in
// decimal mode.
//
// Input: one byte choosing the field (its mode and limits), then the text. Checked: only the
// first 20 characters count; a whole number reads as the C library reads a decimal integer,
// saturated to 32 bits; a decimal text made only of a number's characters reads as the C
// library's number taken through single precision, plus 0.001, times 100 and truncated; and the
// value a commit settles on, once formatted, parses back to itself.

#include "tests/fuzz/FuzzSupport.h"

#include "settings/FieldParse.h"
#include "settings/SettingsFields.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <locale.h>
#include <string>

using namespace kestrun;
using namespace kestrun::fuzz;

namespace {

using Int32 = std::numeric_limits<int32_t>;
const locale_t CLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));

int32_t referenceWhole(const std::string& text) {
    const long long read = strtoll_l(text.c_str(), nullptr, 10, CLocale);
    return static_cast<int32_t>(std::clamp<long long>(read, Int32::min(), Int32::max()));
}

int32_t referenceHundredths(const std::string& text) {
    const double read = strtod_l(text.c_str(), nullptr, CLocale);
    if (std::abs(read) > FLT_MAX) { // beyond single precision: no float to take it through
        return read > 0 ? Int32::max() : Int32::min();
    }
    const double product = static_cast<double>(static_cast<float>(read) + 0.001f) * 100.0;
    return static_cast<int32_t>(std::clamp(std::trunc(product), -2147483648.0, 2147483647.0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Script script(data, size);
    const ValueField& field = ValueFields[script.byte() % ValueFields.size()];
    const std::span<const uint8_t> bytes = script.take(40);
    const std::string text(bytes.begin(), bytes.end());
    const int32_t value = parseFieldText(field, text);
    const std::string counted = text.substr(0, FieldTextLimit);
    FUZZ_CHECK(value == parseFieldText(field, counted));
    // A decimal text is compared when made only of a number's characters: no letters the C
    // library would read as a hexadecimal number, an infinity or a NaN.
    if (!field.decimalMode) {
        FUZZ_CHECK(value == referenceWhole(counted));
    } else if (counted.find_first_not_of("0123456789.+-eE \t\n\v\f\r") == std::string::npos) {
        FUZZ_CHECK(value == referenceHundredths(counted));
    }
    const int32_t committed = clampToField(field, value);
    FUZZ_CHECK(committed >= field.minimum && committed <= field.maximum);
    FUZZ_CHECK(parseFieldText(field, formatFieldValue(field, committed)) == committed);
    return 0;
}
