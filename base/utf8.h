// UTF-8, the program's one text encoding in memory: what the drawing
// engine, the workbook layer and the zone labels need of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace base {

// The length in bytes of the well-formed sequence at s[i], its code point
// into *cp; 0 when none starts there (a stray or continuation byte, a
// sequence cut short, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t utf8Length(std::string_view s, std::size_t i,
                       std::uint32_t* cp = nullptr);

bool isValidUtf8(std::string_view s);

void appendUtf8(std::string& out, std::uint32_t cp);
std::string utf8Of(std::uint32_t cp);

}  // namespace base
