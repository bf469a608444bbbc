#pragma once
// How a numeric field's text becomes a value. The field has no stored value: its text is its
// value, and every commit or read parses it again with these rules. Kept free of any toolkit so
// the rules can be checked and fuzzed on their own.

#include "settings/SettingsFields.h"

#include <cstdint>
#include <string_view>

namespace kestrun {

/// The longest text a numeric field holds; a longer text is read up to this many characters.
inline constexpr std::size_t FieldTextLimit = 20;

/// Whole-number text: leading blanks skipped, an optional sign, then decimal digits up to the
/// first other character. No digits give 0; a number beyond the signed 32-bit range gives the
/// nearest limit of that range.
int32_t parseWholeNumber(std::string_view text);

/// Two-decimal text in hundredths: a decimal number (leading blanks, optional sign, digits with
/// an optional point and an optional exponent; no number gives 0) rounded to single precision,
/// plus 0.001 in single precision, times 100 in double precision, truncated toward zero and
/// saturated to the signed 32-bit range. The 0.001 makes every text a field shows parse back to
/// exactly its value ("0.29" gives 29); a third decimal is dropped, not rounded ("2.567" gives
/// 256).
int32_t parseHundredths(std::string_view text);

/// The field's text parsed by its mode, unclamped. Only the first FieldTextLimit characters count.
int32_t parseFieldText(const ValueField& field, std::string_view text);

} // namespace kestrun
