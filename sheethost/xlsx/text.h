// Text and number conversions of cell contents.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace xlsx {

// Shortest text that reads back as the same value: a single as a single
// (0.1, not 0.100000001490116), a double in full.
std::string formatNumber(double value);
std::string formatNumber(float value);

// A cell's stored number ("12.5", "1E-3"); nothing when the text is not one.
std::optional<double> parseNumber(std::string_view text);

bool isValidUtf8(std::string_view text);
// Length as the spreadsheet counts it (UTF-16 code units).
std::size_t utf16Length(std::string_view utf8);

// Cell text in XML: characters XML 1.0 cannot carry (controls, CR, U+FFFE,
// U+FFFF) become _xHHHH_, and a literal _xHHHH_ is protected by _x005F_.
std::string escapeCellText(std::string_view text);
std::string unescapeCellText(std::string_view text);

}  // namespace xlsx
