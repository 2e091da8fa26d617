#include "forms/basic.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace forms {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

double parseClean(const std::string& clean) {
  double out = 0;
  auto res = std::from_chars(clean.data(), clean.data() + clean.size(), out);
  if (res.ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone on overflow; an underflow is 0.
    bool neg = !clean.empty() && clean[0] == '-';
    auto e = clean.find_first_of("eE");
    bool tiny =
        e != std::string::npos && clean.size() > e + 1 && clean[e + 1] == '-';
    if (tiny) return neg ? -0.0 : 0.0;
    return neg ? -std::numeric_limits<double>::infinity()
               : std::numeric_limits<double>::infinity();
  }
  return out;
}

// Turns shortest scientific digits into the text style of the original
// runtime: fixed notation within a band of exponents, d.ddE+XX outside.
std::string styleNumber(const char* first, const char* last, int maxFixedExp) {
  std::string s(first, last);
  bool neg = false;
  if (!s.empty() && s[0] == '-') {
    neg = true;
    s.erase(0, 1);
  }
  auto e = s.find('e');
  std::string mant = s.substr(0, e);
  int exp = std::stoi(s.substr(e + 1));
  std::string digits;
  for (char c : mant)
    if (c != '.') digits += c;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (digits == "0") return "0";
  std::string out;
  if (exp >= -5 && exp < maxFixedExp) {
    if (exp < 0) {
      out = "0." + std::string(static_cast<size_t>(-exp - 1), '0') + digits;
    } else if (static_cast<size_t>(exp) + 1 >= digits.size()) {
      out = digits +
            std::string(static_cast<size_t>(exp) + 1 - digits.size(), '0');
    } else {
      out = digits.substr(0, static_cast<size_t>(exp) + 1) + "." +
            digits.substr(static_cast<size_t>(exp) + 1);
    }
  } else {
    out = digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += exp < 0 ? "E-" : "E+";
    int a = exp < 0 ? -exp : exp;
    if (a < 10) out += '0';
    out += std::to_string(a);
  }
  return neg ? "-" + out : out;
}

template <typename Int>
Int roundTo(double value) {
  if (std::isnan(value)) throw OverflowError("Overflow");
  // Halves to even, whatever the current rounding mode.
  double r = std::round(value);
  if (std::fabs(value - std::trunc(value)) == 0.5 && std::fmod(r, 2.0) != 0)
    r -= std::copysign(1.0, value);
  if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
      r > static_cast<double>(std::numeric_limits<Int>::max()))
    throw OverflowError("Overflow");
  return static_cast<Int>(r);
}

}  // namespace

double Val(std::string_view text) {
  // Blanks are skipped wherever they stand, as the original runtime does.
  std::string clean;
  size_t i = 0;
  auto skip = [&] {
    while (i < text.size() && isBlank(text[i])) ++i;
  };
  skip();
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') clean += '-';
    ++i;
  }
  bool digits = false, point = false;
  for (;; ++i) {
    skip();
    if (i >= text.size()) break;
    char c = text[i];
    if (isDigit(c)) {
      clean += c;
      digits = true;
    } else if (c == '.' && !point) {
      clean += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return 0;
  if (i < text.size() &&
      (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    size_t j = i + 1;
    std::string exp = "e";
    while (j < text.size() && isBlank(text[j])) ++j;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) exp += text[j++];
    bool expDigits = false;
    for (; j < text.size(); ++j) {
      if (isBlank(text[j])) continue;
      if (!isDigit(text[j])) break;
      exp += text[j];
      expDigits = true;
    }
    if (expDigits) clean += exp;
  }
  if (clean.back() == '.') clean.pop_back();
  return parseClean(clean);
}

std::optional<double> ParseNumber(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  std::string_view t = text.substr(b, e - b);
  if (t.empty()) return std::nullopt;
  std::string clean;
  size_t i = 0;
  if (t[i] == '-' || t[i] == '+') {
    if (t[i] == '-') clean += '-';
    ++i;
  }
  bool digits = false;
  // Integer part: thousands separators may stand between digits.
  for (; i < t.size(); ++i) {
    if (isDigit(t[i])) {
      clean += t[i];
      digits = true;
    } else if (t[i] == ',' && digits) {
      continue;
    } else {
      break;
    }
  }
  if (i < t.size() && t[i] == '.') {
    clean += '.';
    ++i;
    for (; i < t.size() && isDigit(t[i]); ++i) {
      clean += t[i];
      digits = true;
    }
  }
  if (!digits) return std::nullopt;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    clean += 'e';
    ++i;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) clean += t[i++];
    bool expDigits = false;
    for (; i < t.size() && isDigit(t[i]); ++i) {
      clean += t[i];
      expDigits = true;
    }
    if (!expDigits) return std::nullopt;
  }
  if (i != t.size()) return std::nullopt;
  if (clean.back() == '.') clean.pop_back();
  double v = parseClean(clean);
  if (std::isinf(v)) return std::nullopt;
  return v;
}

bool IsNumeric(std::string_view text) { return ParseNumber(text).has_value(); }

template <typename T>
std::string shortestText(T value, int maxFixedExp) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return "0";
  std::array<char, 64> buf{};
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value,
                           std::chars_format::scientific);
  return styleNumber(buf.data(), res.ptr, maxFixedExp);
}

std::string SingleText(float value) { return shortestText(value, 7); }
std::string DoubleText(double value) { return shortestText(value, 15); }

std::int16_t ToInt16(double value) { return roundTo<std::int16_t>(value); }
std::int32_t ToInt32(double value) { return roundTo<std::int32_t>(value); }

}  // namespace forms
