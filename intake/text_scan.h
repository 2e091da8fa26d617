// Small readers of plain UTF-8 text shared by the frame, roughness and
// notes readers.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace intake::scan {

// Bytes of the character at the start (1 for ASCII), 0 for none.
inline std::size_t charLength(std::string_view s) {
  if (s.empty()) return 0;
  auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
  return n <= s.size() ? n : s.size();
}

// Blanks: ASCII blank, tab and carriage return, the no-break space, the
// ideographic space of Chinese input. Bytes of the one at the start.
inline std::size_t blankLength(std::string_view s) {
  if (s.starts_with(' ') || s.starts_with('\t') || s.starts_with('\r'))
    return 1;
  if (s.starts_with("\u00A0")) return 2;
  if (s.starts_with("\u3000")) return 3;
  return 0;
}

inline std::string_view trimFront(std::string_view s) {
  while (std::size_t n = blankLength(s)) s.remove_prefix(n);
  return s;
}

inline std::string_view trim(std::string_view s) {
  s = trimFront(s);
  for (;;) {
    if (s.ends_with(' ') || s.ends_with('\t') || s.ends_with('\r'))
      s.remove_suffix(1);
    else if (s.ends_with("\u00A0"))
      s.remove_suffix(2);
    else if (s.ends_with("\u3000"))
      s.remove_suffix(3);
    else
      return s;
  }
}

// The lines of a text, split at '\n'; views into it.
inline std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  for (;;) {
    std::size_t n = text.find('\n');
    out.push_back(text.substr(0, n));
    if (n == std::string_view::npos) return out;
    text.remove_prefix(n + 1);
  }
}

}  // namespace intake::scan
