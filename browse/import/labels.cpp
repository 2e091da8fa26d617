#include "browse/import/labels.h"

#include <array>
#include <string>

#include "browse/import/text.h"
#include "browse/reading.h"

namespace browse::import {

namespace {

// Words a report puts before a balloon number, longest first where one
// begins another.
constexpr std::array<const char*, 17> kPrefixes = {
    "balloon", "item", "char", "dim",       "fcf",          "no.",
    "nr.",     "no",   "nr",   "n\xC2\xB0", "\xE2\x84\x96", "#",
    "序号",    "标号", "编号", "尺寸",      "特性"};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSeparator(char c) {
  return c == ' ' || c == '.' || c == ':' || c == '#' || c == '_' || c == '-';
}

// Digits as a number up to limit; nothing for no digits or beyond it.
std::optional<int> number(std::string_view& s, int limit) {
  std::size_t n = 0;
  long value = 0;
  while (n < s.size() && isDigit(s[n])) {
    value = value * 10 + (s[n] - '0');
    if (value > limit) return std::nullopt;
    ++n;
  }
  if (n == 0) return std::nullopt;
  s.remove_prefix(n);
  return static_cast<int>(value);
}

}  // namespace

std::optional<MarkRef> markOfLabel(std::string_view label) {
  const std::string folded = text::lower(text::trim(asciiForms(label)));
  std::string_view s = folded;
  // Circled numbers ① to ⑳, U+2460 to U+2473, as Chinese drawings use them.
  if (s.size() == 3 && static_cast<unsigned char>(s[0]) == 0xE2 &&
      static_cast<unsigned char>(s[1]) == 0x91) {
    const int b = static_cast<unsigned char>(s[2]);
    if (b >= 0xA0 && b <= 0xB3) return MarkRef{b - 0xA0 + 1, 0};
    return std::nullopt;
  }
  for (const char* prefix : kPrefixes) {
    if (s.starts_with(prefix)) {
      s.remove_prefix(std::string_view(prefix).size());
      while (!s.empty() && isSeparator(s.front())) s.remove_prefix(1);
      break;
    }
  }
  MarkRef ref;
  const auto mark = number(s, 32767);
  if (!mark || *mark == 0) return std::nullopt;
  ref.mark = *mark;
  if (s.starts_with('.')) {
    s.remove_prefix(1);
    if (s.empty() || s.front() == '0') return std::nullopt;
    const auto sub = number(s, 99);
    if (!sub) return std::nullopt;
    ref.sub = *sub;
  }
  if (s.starts_with("号")) s.remove_prefix(std::string_view("号").size());
  if (!s.empty()) return std::nullopt;
  return ref;
}

}  // namespace browse::import
