#include "sheethost/xlsx/numfmt.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace xlsx {

namespace {

// |value| as its first 15 significant decimal digits: digits "2675" and
// point 1 stand for 2.675. The spreadsheet programs show and round numbers
// on these digits, not on the binary value behind them.
struct Decimal {
  bool negative = false;
  std::string digits;  // no leading zero, no trailing zeros; empty for 0
  int point = 0;       // the decimal point lies after this many digits
};

Decimal toDecimal(double value) {
  Decimal d;
  if (value == 0 || !std::isfinite(value)) return d;
  d.negative = value < 0;
  char buffer[40];
  const auto end =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                    std::chars_format::scientific, 14)
          .ptr;
  // "d.ddddddddddddddde+XX"
  d.digits.push_back(buffer[0]);
  d.digits.append(buffer + 2, buffer + 16);
  int exponent = 0;
  const char* e = buffer + 17;
  const bool minus = *e == '-';
  std::from_chars(e + 1, end, exponent);
  d.point = (minus ? -exponent : exponent) + 1;
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  return d;
}

// Rounds to `places` digits after the point, halves away from zero.
void roundAt(Decimal& d, int places) {
  const int keep = d.point + places;
  if (d.digits.empty() || keep >= static_cast<int>(d.digits.size())) return;
  if (keep < 0) {
    d.digits.clear();
    return;
  }
  const bool up = d.digits[static_cast<std::size_t>(keep)] >= '5';
  d.digits.resize(static_cast<std::size_t>(keep));
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9')
      d.digits[static_cast<std::size_t>(i--)] = '0';
    if (i < 0) {
      d.digits.insert(d.digits.begin(), '1');
      ++d.point;
    } else {
      ++d.digits[static_cast<std::size_t>(i)];
    }
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
}

char digitAt(const Decimal& d, int index) {
  return index >= 0 && index < static_cast<int>(d.digits.size())
             ? d.digits[static_cast<std::size_t>(index)]
             : '0';
}

// Integer digits (at least minDigits, "" for none), with thousands
// separators when asked.
std::string integerPart(const Decimal& d, int minDigits, bool grouping) {
  std::string text;
  for (int i = 0; i < d.point; ++i) text += digitAt(d, i);
  if (static_cast<int>(text.size()) < minDigits)
    text.insert(0, static_cast<std::size_t>(minDigits) - text.size(), '0');
  if (grouping)
    for (int at = static_cast<int>(text.size()) - 3; at > 0; at -= 3)
      text.insert(static_cast<std::size_t>(at), 1, ',');
  return text;
}

// Fraction digits: `required` always, up to `optional` more when not 0.
std::string fractionPart(const Decimal& d, int required, int optional) {
  std::string text;
  for (int i = 0; i < required + optional; ++i) text += digitAt(d, d.point + i);
  while (static_cast<int>(text.size()) > required && text.back() == '0')
    text.pop_back();
  return text;
}

// One section of a format code, read into what the renderer needs.
struct Section {
  bool general = false;
  bool unsupported = false;  // dates, times, fractions
  bool anyDigits = false;
  std::string prefix, suffix;
  int integerZeros = 0, integerDigits = 0;
  bool grouping = false;
  int scale = 0;  // thousands divided out by trailing commas
  bool point = false;
  int fractionZeros = 0, fractionOptional = 0;
  int percent = 0;
  bool scientific = false, exponentPlus = false;
  int exponentDigits = 0;
};

std::vector<std::string_view> splitSections(std::string_view code) {
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') {
      const auto close = code.find('"', i + 1);
      i = close == std::string_view::npos ? code.size() : close;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const auto close = code.find(']', i + 1);
      i = close == std::string_view::npos ? code.size() : close;
    } else if (c == ';') {
      sections.push_back(code.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(code.substr(start));
  return sections;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view head) {
  if (text.size() < head.size()) return false;
  for (std::size_t i = 0; i < head.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != head[i]) return false;
  }
  return true;
}

Section readSection(std::string_view code) {
  Section s;
  if (startsWithIgnoringCase(code, "GENERAL")) {
    s.general = true;
    s.suffix = std::string(code.substr(7));
    return s;
  }
  bool afterDigits = false;  // a placeholder has been seen
  bool inExponent = false;
  int pendingCommas = 0;  // commas after the last integer placeholder
  auto literal = [&](std::string_view text) {
    (afterDigits ? s.suffix : s.prefix) += text;
  };
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    switch (c) {
      case '"': {
        const auto close = code.find('"', i + 1);
        const auto end = close == std::string_view::npos ? code.size() : close;
        literal(code.substr(i + 1, end - i - 1));
        i = end;
        break;
      }
      case '\\':
        if (i + 1 < code.size()) literal(code.substr(++i, 1));
        break;
      case '_':
        ++i;
        literal(" ");
        break;
      case '*':
        ++i;
        break;
      case '[': {
        const auto close = code.find(']', i + 1);
        const std::string_view inside = code.substr(
            i + 1,
            (close == std::string_view::npos ? code.size() : close) - i - 1);
        // Elapsed times ([h]:mm) are dates; colours and conditions are not
        // part of the text.
        if (!inside.empty() &&
            (inside[0] == 'h' || inside[0] == 'H' || inside[0] == 'm' ||
             inside[0] == 'M' || inside[0] == 's' || inside[0] == 'S') &&
            inside.find_first_not_of("hHmMsS") == std::string_view::npos)
          s.unsupported = true;
        i = close == std::string_view::npos ? code.size() : close;
        break;
      }
      case '0':
      case '#':
      case '?':
        afterDigits = true;
        s.anyDigits = true;
        if (inExponent) {
          ++s.exponentDigits;
        } else if (s.point) {
          (c == '0' ? s.fractionZeros : s.fractionOptional)++;
        } else {
          if (pendingCommas > 0) s.grouping = true;
          pendingCommas = 0;
          ++s.integerDigits;
          if (c == '0') ++s.integerZeros;
        }
        break;
      case '.':
        if (inExponent || s.point) {
          literal(".");
        } else {
          s.point = true;
          afterDigits = true;
          s.anyDigits = true;
        }
        break;
      case ',':
        if (afterDigits && !s.point && !inExponent)
          ++pendingCommas;
        else
          literal(",");
        break;
      case '%':
        ++s.percent;
        literal("%");
        break;
      case 'E':
      case 'e':
        if (afterDigits && i + 1 < code.size() &&
            (code[i + 1] == '+' || code[i + 1] == '-')) {
          s.scientific = true;
          s.exponentPlus = code[i + 1] == '+';
          inExponent = true;
          ++i;
        } else {
          s.unsupported = true;  // a date's era or an unknown letter
        }
        break;
      case '/':
        if (afterDigits) s.unsupported = true;  // a fraction
        literal("/");
        break;
      case '@':
        literal("");
        break;
      default:
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
          s.unsupported = true;  // y, m, d, h, s, AM/PM: a date or time
        } else {
          literal(code.substr(i, 1));
        }
    }
    if (pendingCommas > 0 && (s.point || inExponent)) {
      // Commas just before the point scale; elsewhere they group.
      s.scale += pendingCommas;
      pendingCommas = 0;
    }
  }
  s.scale += pendingCommas;
  return s;
}

std::string renderFixed(double magnitude, const Section& s) {
  Decimal d = toDecimal(magnitude);
  roundAt(d, s.fractionZeros + s.fractionOptional);
  std::string text = integerPart(d, s.integerZeros, s.grouping);
  if (s.point) {
    text += '.';
    text += fractionPart(d, s.fractionZeros, s.fractionOptional);
  }
  return text;
}

std::string renderScientific(double magnitude, const Section& s) {
  Decimal d = toDecimal(magnitude);
  // "##0.0E+0" keeps exponents to multiples of its integer digits.
  const int step = s.integerDigits > 1 && s.integerZeros < s.integerDigits
                       ? s.integerDigits
                       : 1;
  int exponent = 0;
  if (!d.digits.empty()) {
    const int lead = d.point - 1;
    exponent =
        lead >= 0 ? lead / step * step : -((-lead + step - 1) / step) * step;
    d.point -= exponent;
    roundAt(d, s.fractionZeros + s.fractionOptional);
    if (d.point > step) {
      exponent += step;
      d.point -= step;
    }
  }
  std::string text =
      integerPart(d, std::max(s.integerZeros, d.digits.empty() ? 1 : 0), false);
  if (s.point) {
    text += '.';
    text += fractionPart(d, s.fractionZeros, s.fractionOptional);
  }
  std::string digits = std::to_string(std::abs(exponent));
  if (static_cast<int>(digits.size()) < s.exponentDigits)
    digits.insert(0, static_cast<std::size_t>(s.exponentDigits) - digits.size(),
                  '0');
  text += 'E';
  if (exponent < 0)
    text += '-';
  else if (s.exponentPlus)
    text += '+';
  return text + digits;
}

bool showsZero(const std::string& text) {
  return text.find_first_of("123456789") == std::string::npos;
}

}  // namespace

std::string generalNumber(double value) {
  if (value == 0 || !std::isfinite(value)) return "0";
  const Decimal d = toDecimal(value);
  const int exponent = d.point - 1;
  std::string text = d.negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    text += d.digits[0];
    if (d.digits.size() > 1) text += "." + d.digits.substr(1);
    const std::string e = std::to_string(std::abs(exponent));
    return text + (exponent < 0 ? "E-" : "E+") + (e.size() < 2 ? "0" : "") + e;
  }
  text += integerPart(d, 1, false);
  const int places = static_cast<int>(d.digits.size()) - d.point;
  if (places > 0) text += "." + fractionPart(d, places, 0);
  return text;
}

double roundDecimal(double value, int places) {
  if (!std::isfinite(value) || value == 0) return value;
  Decimal d = toDecimal(value);
  // Beyond 15 significant digits there is nothing to round.
  if (d.point + places >= 15) return value;
  roundAt(d, places);
  if (d.digits.empty()) return 0;
  const std::string text = "0." + d.digits + "e" + std::to_string(d.point);
  double result = 0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return d.negative ? -result : result;
}

std::string formatValue(double value, std::string_view code) {
  if (!std::isfinite(value)) return generalNumber(value);
  const std::vector<std::string_view> parts = splitSections(code);
  std::size_t index = 0;
  bool ownSign = false;  // the section writes the sign itself
  if (value < 0 && parts.size() >= 2 && !parts[1].empty()) {
    index = 1;
    ownSign = true;
  } else if (value == 0 && parts.size() >= 3) {
    index = 2;
  }
  const Section s = readSection(parts[index]);
  const double magnitude = std::fabs(value);
  std::string number;
  if (s.unsupported) return generalNumber(value);
  if (s.general) {
    number = generalNumber(magnitude) + s.suffix;
  } else if (!s.anyDigits) {
    // A text format shows a number as General; a section of text only
    // ("-", "zero") shows just that.
    if (parts[index].find('@') != std::string_view::npos)
      return generalNumber(value);
    return s.prefix + s.suffix;
  } else {
    double scaled = magnitude;
    for (int i = 0; i < s.percent; ++i) scaled *= 100;
    for (int i = 0; i < s.scale; ++i) scaled /= 1000;
    if (!std::isfinite(scaled)) return generalNumber(value);
    number =
        s.scientific ? renderScientific(scaled, s) : renderFixed(scaled, s);
  }
  // A value that rounds to nothing shows no minus sign.
  const bool minus = value < 0 && !ownSign && !showsZero(number);
  return (minus ? "-" : "") + s.prefix + number + (s.general ? "" : s.suffix);
}

std::string_view builtinFormat(int id) {
  switch (id) {
    case 0:
      return "General";
    case 1:
      return "0";
    case 2:
      return "0.00";
    case 3:
      return "#,##0";
    case 4:
      return "#,##0.00";
    case 9:
      return "0%";
    case 10:
      return "0.00%";
    case 11:
      return "0.00E+00";
    case 37:
      return "#,##0 ;(#,##0)";
    case 38:
      return "#,##0 ;[Red](#,##0)";
    case 39:
      return "#,##0.00;(#,##0.00)";
    case 40:
      return "#,##0.00;[Red](#,##0.00)";
    case 48:
      return "##0.0E+0";
    case 49:
      return "@";
    // Dates and times: shown as General here, but known for what they are.
    case 14:
      return "mm-dd-yy";
    case 15:
      return "d-mmm-yy";
    case 16:
      return "d-mmm";
    case 17:
      return "mmm-yy";
    case 18:
      return "h:mm AM/PM";
    case 19:
      return "h:mm:ss AM/PM";
    case 20:
      return "h:mm";
    case 21:
      return "h:mm:ss";
    case 22:
      return "m/d/yy h:mm";
    case 45:
      return "mm:ss";
    case 46:
      return "[h]:mm:ss";
    case 47:
      return "mmss.0";
    case 27:
    case 28:
    case 29:
    case 30:
    case 31:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 55:
    case 56:
    case 57:
    case 58:
      return "yyyy-mm-dd";  // the East Asian date formats
    default:
      return "";
  }
}

bool isDateFormat(std::string_view code) {
  // Date and time letters outside quoted text, escapes and [colour] or
  // [condition] sections ([h], [mm], [ss] are elapsed times).
  bool quoted = false;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (quoted) {
      quoted = c != '"';
      continue;
    }
    if (c == '"') {
      quoted = true;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;  // the next character is literal or a fill
    } else if (c == '[') {
      const std::size_t end = code.find(']', i);
      if (end == std::string_view::npos) return false;
      const std::string_view inner = code.substr(i + 1, end - i - 1);
      if (!inner.empty() &&
          (inner[0] == 'h' || inner[0] == 'H' || inner[0] == 'm' ||
           inner[0] == 'M' || inner[0] == 's' || inner[0] == 'S'))
        return true;
      i = end;
    } else {
      switch (c) {
        case 'y':
        case 'Y':
        case 'm':
        case 'M':
        case 'd':
        case 'D':
        case 'h':
        case 'H':
        case 's':
        case 'S':
          return code != "General";
        default:
          break;
      }
    }
  }
  return false;
}

}  // namespace xlsx
