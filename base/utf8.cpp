#include "base/utf8.h"

namespace base {

std::size_t utf8Length(std::string_view s, std::size_t i, std::uint32_t* cp) {
  if (i >= s.size()) return 0;
  const auto b = static_cast<unsigned char>(s[i]);
  const std::size_t len = b < 0x80         ? 1
                          : (b >> 5) == 6  ? 2
                          : (b >> 4) == 14 ? 3
                          : (b >> 3) == 30 ? 4
                                           : 0;
  if (len == 0 || i + len > s.size()) return 0;
  std::uint32_t v = len == 1   ? b
                    : len == 2 ? (b & 0x1Fu)
                    : len == 3 ? (b & 0x0Fu)
                               : (b & 0x07u);
  for (std::size_t k = 1; k < len; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c >> 6) != 2) return 0;
    v = (v << 6) | (c & 0x3Fu);
  }
  static const std::uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (v < minimum[len] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
    return 0;
  if (cp) *cp = v;
  return len;
}

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = utf8Length(s, i);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string utf8Of(std::uint32_t cp) {
  std::string out;
  appendUtf8(out, cp);
  return out;
}

}  // namespace base
