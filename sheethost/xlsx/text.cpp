#include "sheethost/xlsx/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

#include "base/utf8.h"

namespace xlsx {

namespace {

template <typename T>
std::string shortest(T value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

bool isHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
         (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// "_xHHHH_" at position i.
bool escapeAt(std::string_view text, std::size_t i, unsigned* code) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' ||
      text[i + 6] != '_')
    return false;
  unsigned value = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    if (!isHex(text[k])) return false;
    value = value * 16 + static_cast<unsigned>(hexValue(text[k]));
  }
  *code = value;
  return true;
}

using base::appendUtf8;

void appendEscape(std::string& out, unsigned code) {
  static const char digits[] = "0123456789ABCDEF";
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4)
    out += digits[(code >> shift) & 0xF];
  out += '_';
}

}  // namespace

std::string formatNumber(double value) { return shortest(value); }
std::string formatNumber(float value) { return shortest(value); }

std::optional<double> parseNumber(std::string_view text) {
  // Writers differ in small ways: a leading '+' or blanks around the number.
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

bool isValidUtf8(std::string_view text) { return base::isValidUtf8(text); }

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (char ch : utf8) {
    const auto b = static_cast<unsigned char>(ch);
    if ((b & 0xC0) == 0x80) continue;
    units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string escapeCellText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    unsigned code;
    if ((b < 0x20 && b != '\t' && b != '\n') || b == 0x7F) {
      appendEscape(out, b);
    } else if (b == '_' && escapeAt(text, i, &code)) {
      out += "_x005F_";
    } else if (b == 0xEF && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == 0xBF &&
               (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
                static_cast<unsigned char>(text[i + 2]) == 0xBF)) {
      appendEscape(out, static_cast<unsigned char>(text[i + 2]) == 0xBE
                            ? 0xFFFEu
                            : 0xFFFFu);
      i += 2;
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

std::string unescapeCellText(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned code;
    if (escapeAt(text, i, &code)) {
      unsigned low;
      if (code >= 0xD800 && code <= 0xDBFF && escapeAt(text, i + 7, &low) &&
          low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
        i += 14;
        continue;
      }
      if (code < 0xD800 || code > 0xDFFF) {
        appendUtf8(out, code);
        i += 7;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace xlsx
