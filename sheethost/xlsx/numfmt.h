// Numbers as a cell shows them: the General format and the number format
// codes of the cell styles ("0.00", "0.00%", "#,##0.00", ...).
#pragma once

#include <string>
#include <string_view>

namespace xlsx {

// Up to 15 significant digits, shortest text: 15 + 0.3 shows 15.3.
std::string generalNumber(double value);

// The value rounded to `places` decimals (negative: tens, hundreds...),
// halves away from zero, on the 15 significant digits the value shows, so
// that 2.675 rounds to 2.68 as the spreadsheet programs round it.
double roundDecimal(double value, int places);

// The text of a value in a format code; a code we do not read (dates,
// fractions) falls back to General.
std::string formatValue(double value, std::string_view code);

// The format code of a built-in number format id; "" when it has none.
std::string_view builtinFormat(int id);

// True for a code that shows a number as a date or a time.
bool isDateFormat(std::string_view code);

}  // namespace xlsx
