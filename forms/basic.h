// Number conversions with the semantics the handlers were written against:
// the leading-number reading (Val), the locale-aware test and conversion of
// the editors, the shortest text of a single, and rounding to 16- and
// 32-bit integers with halves to even.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace forms {

// A number that does not fit the integer it is converted to.
class OverflowError : public std::range_error {
 public:
  using std::range_error::range_error;
};

// The number a text begins with: blanks skipped, then sign, digits, one
// decimal point (always "."), exponent; reading stops at the first
// character that cannot continue the number. No number gives 0.
double Val(std::string_view text);

// The locale-aware conversion: accepts the whole text or nothing. Blanks
// around, a sign, the thousands separator "," in the integer part, a
// decimal point and an exponent are allowed; an empty text is not a number.
std::optional<double> ParseNumber(std::string_view text);

// True when ParseNumber accepts the text.
bool IsNumeric(std::string_view text);

// The shortest decimal text that reads back as the same single: 6, 0.1,
// 12.5, -0.05, 1E+10. Negative zero gives 0.
std::string SingleText(float value);

// Shortest round-trip text of a double, in the same style.
std::string DoubleText(double value);

// Round to the nearest integer, halves to even; OverflowError out of range
// (NaN included).
std::int16_t ToInt16(double value);
std::int32_t ToInt32(double value);

}  // namespace forms
