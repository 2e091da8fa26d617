// One reading of a gauge, or one typed sample, as a number.
//
// What an input method or a gauge may send is taken as the number it
// means: full-width digits, signs and letters, "。" or "．" as the decimal
// point, a sign (also U+2212), blanks (also U+3000) around it and after a
// sign, a trailing CR/LF, a unit suffix of millimetres ("mm", "㎜", "毫米")
// or, for angles, degrees ("°", "deg", "度").
//
// Readings in other units are refused rather than converted: the samples
// are stored in the drawing's millimetres, exactly as measured, and a gauge
// switched to inch or µm is a setting to correct at the gauge. Converting
// would hide that mistake for every later reading and store digits the
// gauge never showed (0.0001 in is 0.00254 mm).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace browse {

enum class Unit { None, Millimetre, Degree };

// What a comma in the number means.
enum class Comma {
  // The decimal point, unless the text could as well be a thousands
  // grouping ("1,234"): that is refused as ambiguous.
  IfUnambiguous,
  Decimal,  // the file says so: "10,250" is 10.25
  Refuse,   // no comma: a text with one is no number
};

struct ReadOptions {
  Comma comma = Comma::IfUnambiguous;
  bool units = true;  // false: a unit suffix makes the text no number
};

struct Reading {
  // Nothing for an empty text (a sample not measured) or a refused one.
  // A value is finite and fits a single without becoming 0; -0 reads as 0.
  std::optional<double> value;
  // Why the text is refused, worded to follow the quoted text
  // ("“abc”不是有效数字"); empty when accepted or empty.
  std::string error;
  Unit unit = Unit::None;
};

Reading readReading(std::string_view text, const ReadOptions& options = {});

// Numbers in files the program reads back (its own workbook, a samples
// CSV): no comma, no unit, as the file's own cells and fields hold them.
inline constexpr ReadOptions kFileNumber{Comma::Refuse, false};

// The text with the forms an input method gives (full-width characters,
// the ideographic space and full stop, other minus signs, "㎜") as ASCII.
std::string asciiForms(std::string_view text);

// The refusals every caller may want to tell apart.
inline constexpr const char* kNotANumber = "不是有效数字";
inline constexpr const char* kOutOfRange = "超出范围";

}  // namespace browse
