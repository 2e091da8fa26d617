#include "browse/reading.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

namespace browse {

std::string asciiForms(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2);
    if (b0 == 0xEF && b1 == 0xBC && b2 >= 0x81 && b2 <= 0xBF) {
      out += static_cast<char>(b2 - 0x81 + 0x21);  // U+FF01..U+FF3F
    } else if (b0 == 0xEF && b1 == 0xBD && b2 >= 0x80 && b2 <= 0x9E) {
      out += static_cast<char>(b2 - 0x80 + 0x60);  // U+FF40..U+FF5E
    } else if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) {
      out += ' ';
    } else if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x82) {
      out += '.';  // "。" from Chinese punctuation mode
    } else if ((b0 == 0xE2 && b1 == 0x88 && b2 == 0x92) ||
               (b0 == 0xEF && b1 == 0xB9 && b2 == 0xA3)) {
      out += '-';  // U+2212, U+FE63
    } else if (b0 == 0xEF && b1 == 0xB9 && b2 == 0xA2) {
      out += '+';  // U+FE62
    } else if (b0 == 0xE3 && b1 == 0x8E && b2 == 0x9C) {
      out += "mm";  // U+339C
    } else if (b0 == 0xC2 && b1 == 0xA0) {
      out += ' ';
      i += 2;
      continue;
    } else {
      out += text[i];
      ++i;
      continue;
    }
    i += 3;
  }
  return out;
}

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

template <std::size_t N>
bool oneOf(const std::string& s, const std::array<const char*, N>& words) {
  for (const char* w : words)
    if (s == w) return true;
  return false;
}

constexpr std::array<const char*, 2> kMillimetre = {"mm", "毫米"};
constexpr std::array<const char*, 5> kDegree = {"\xC2\xB0", "\xC2\xBA", "deg",
                                                "度", "degree"};
constexpr std::array<const char*, 6> kInch = {"in", "inch",         "inches",
                                              "\"", "\xE2\x80\xB3", "英寸"};
constexpr std::array<const char*, 9> kOtherUnits = {
    "um", "\xC2\xB5m", "\xCE\xBCm", "微米", "cm", "dm", "m", "mil", "thou"};

Reading refused(std::string why) {
  Reading r;
  r.error = std::move(why);
  return r;
}

}  // namespace

Reading readReading(std::string_view text, const ReadOptions& options) {
  const std::string folded = asciiForms(text);
  std::string_view s = folded;
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  if (s.empty()) return {};

  std::size_t i = 0;
  bool negative = false;
  if (s[i] == '+' || s[i] == '-') {
    negative = s[i] == '-';
    ++i;
    // Fixed-width gauge output pads between the sign and the digits.
    while (i < s.size() && isBlank(s[i])) ++i;
  }
  std::string intDigits, fracDigits;
  char point = 0;
  int points = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (isDigit(c)) {
      (points ? fracDigits : intDigits) += c;
    } else if (c == '.' || c == ',') {
      point = c;
      ++points;
    } else {
      break;
    }
  }
  // Two points, or a point and a comma, are a grouping no gauge sends.
  if (points > 1 || (intDigits.empty() && fracDigits.empty()))
    return refused(kNotANumber);
  std::string exponent;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const std::size_t digitsAt = j;
    while (j < s.size() && isDigit(s[j])) ++j;
    if (j > digitsAt) {
      exponent = "e" + std::string(s.substr(i + 1, j - i - 1));
      i = j;
    }
  }

  Reading r;
  std::string_view rest = s.substr(i);
  while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
  if (!rest.empty()) {
    const std::string unit = lowerAscii(rest);
    if (!options.units) return refused(kNotANumber);
    if (oneOf(unit, kMillimetre)) {
      r.unit = Unit::Millimetre;
    } else if (oneOf(unit, kDegree)) {
      r.unit = Unit::Degree;
    } else if (oneOf(unit, kInch)) {
      return refused("是英寸读数：请把量具设为毫米");
    } else if (oneOf(unit, kOtherUnits)) {
      return refused("带有单位“" + std::string(rest) + "”：请把量具设为毫米");
    } else {
      return refused(kNotANumber);
    }
  }

  if (point == ',') {
    if (options.comma == Comma::Refuse) return refused(kNotANumber);
    // "1,234" may be 1.234 or a thousands grouping of 1234; a leading 0,
    // four integer digits or other than three decimals cannot be grouping.
    const bool grouping =
        fracDigits.size() == 3 && !intDigits.empty() && intDigits.size() <= 3 &&
        intDigits.find_first_not_of('0') != std::string::npos &&
        exponent.empty();
    if (options.comma == Comma::IfUnambiguous && grouping)
      return refused("中的逗号分不清是小数点还是千位分隔");
  }

  const std::string number = (intDigits.empty() ? "0" : intDigits) + "." +
                             (fracDigits.empty() ? "0" : fracDigits) + exponent;
  double d = 0;
  const auto [end, ec] =
      std::from_chars(number.data(), number.data() + number.size(), d);
  if (ec == std::errc::result_out_of_range) return refused(kOutOfRange);
  if (ec != std::errc() || end != number.data() + number.size())
    return refused(kNotANumber);
  // Samples are stored as singles: beyond one, or so small that it would
  // read back as 0, is no measurement an instrument gives.
  // (Rounding to nearest, 2^128 - 2^103 and beyond become infinite.)
  if (!std::isfinite(d) || d >= 0x1.ffffffp127 ||
      (d != 0 && static_cast<float>(d) == 0))
    return refused(kOutOfRange);
  r.value = d == 0 ? 0.0 : (negative ? -d : d);
  return r;
}

}  // namespace browse
