// Text encodings of DXF files: the code page of $DWGCODEPAGE before R2007,
// UTF-8 from R2007 on, plus the \U+XXXX and \M+nXXXX escapes that CAD
// programs write for characters outside the code page.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace cadhost::engine {

class Codec {
 public:
  // codePage is the $DWGCODEPAGE value ("ANSI_936"); utf8 for R2007 on.
  Codec(std::string_view codePage, bool utf8);
  ~Codec();
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  // File bytes to UTF-8, escapes resolved. Bytes the code page cannot
  // convert become U+FFFD.
  std::string decode(std::string_view raw) const;
  // UTF-8 to file bytes; characters the code page lacks become \U+XXXX.
  std::string encode(std::string_view utf8) const;

  bool isUtf8() const { return utf8_; }
  const std::string& charset() const { return charset_; }

 private:
  struct Converters;
  bool utf8_;
  std::string charset_;  // iconv name
  std::unique_ptr<Converters> conv_;
};

// The iconv name of a $DWGCODEPAGE value; empty when unknown.
std::string charsetOfCodePage(std::string_view codePage);

}  // namespace cadhost::engine
