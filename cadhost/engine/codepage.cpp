#include "cadhost/engine/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>

#include "base/utf8.h"

namespace cadhost::engine {

namespace {

std::string upper(std::string_view s) {
  std::string r(s);
  for (auto& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

using base::appendUtf8;
using base::utf8Length;

std::string sanitizeUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = utf8Length(s, i, nullptr);
    if (len == 0) {
      appendUtf8(out, 0xFFFD);
      ++i;
    } else {
      out.append(s.substr(i, len));
      i += len;
    }
  }
  return out;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool hex4(std::string_view s, std::size_t at, std::uint32_t& v) {
  if (at + 4 > s.size()) return false;
  v = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    int d = hexDigit(s[at + k]);
    if (d < 0) return false;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  return true;
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  // iconv_open reports failure as (iconv_t)-1.
  bool ok() const {
    return cd_ !=
           reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Converts as much as it can; stops at an invalid or unconvertible
  // sequence and returns the number of input bytes consumed.
  std::size_t convert(std::string_view in, std::string& out, bool* stuck) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    *stuck = false;
    std::array<char, 1024> buf;
    while (left > 0) {
      char* dst = buf.data();
      std::size_t room = buf.size();
      std::size_t r = iconv(cd_, &src, &left, &dst, &room);
      out.append(buf.data(), dst);
      if (r == static_cast<std::size_t>(-1)) {
        if (errno == E2BIG) continue;
        *stuck = true;
        break;
      }
    }
    return in.size() - left;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string charsetOfCodePage(std::string_view codePage) {
  std::string cp = upper(codePage);
  struct Entry {
    const char* dxf;
    const char* iconv;
  };
  static const Entry table[] = {
      {"ANSI_874", "CP874"},       {"ANSI_932", "CP932"},
      {"ANSI_936", "GBK"},         {"ANSI_949", "CP949"},
      {"ANSI_950", "BIG5"},        {"ANSI_1250", "CP1250"},
      {"ANSI_1251", "CP1251"},     {"ANSI_1252", "CP1252"},
      {"ANSI_1253", "CP1253"},     {"ANSI_1254", "CP1254"},
      {"ANSI_1255", "CP1255"},     {"ANSI_1256", "CP1256"},
      {"ANSI_1257", "CP1257"},     {"ANSI_1258", "CP1258"},
      {"ANSI_1361", "JOHAB"},      {"DOS437", "CP437"},
      {"DOS850", "CP850"},         {"DOS852", "CP852"},
      {"DOS855", "CP855"},         {"DOS857", "CP857"},
      {"DOS860", "CP860"},         {"DOS861", "CP861"},
      {"DOS863", "CP863"},         {"DOS864", "CP864"},
      {"DOS865", "CP865"},         {"DOS866", "CP866"},
      {"DOS869", "CP869"},         {"DOS932", "CP932"},
      {"GB2312", "GBK"},           {"BIG5", "BIG5"},
      {"KSC5601", "CP949"},        {"JOHAB", "JOHAB"},
      {"MACINTOSH", "MACINTOSH"},  {"ISO8859-1", "ISO-8859-1"},
      {"ISO8859-2", "ISO-8859-2"}, {"ISO8859-3", "ISO-8859-3"},
      {"ISO8859-4", "ISO-8859-4"}, {"ISO8859-5", "ISO-8859-5"},
      {"ISO8859-6", "ISO-8859-6"}, {"ISO8859-7", "ISO-8859-7"},
      {"ISO8859-8", "ISO-8859-8"}, {"ISO8859-9", "ISO-8859-9"},
      {"UTF8", "UTF-8"},           {"UTF-8", "UTF-8"},
  };
  for (const auto& e : table)
    if (cp == e.dxf) return e.iconv;
  return {};
}

struct Codec::Converters {
  std::unique_ptr<Iconv> toUtf8;
  std::unique_ptr<Iconv> fromUtf8;
  std::array<std::unique_ptr<Iconv>, 6> mif;  // \M+n escapes, n = 1..5
};

Codec::Codec(std::string_view codePage, bool utf8)
    : utf8_(utf8), conv_(std::make_unique<Converters>()) {
  charset_ = utf8 ? "UTF-8" : charsetOfCodePage(codePage);
  if (charset_.empty()) charset_ = "CP1252";
  if (charset_ == "UTF-8") utf8_ = true;
  if (!utf8_) {
    conv_->toUtf8 = std::make_unique<Iconv>("UTF-8", charset_);
    conv_->fromUtf8 = std::make_unique<Iconv>(charset_, "UTF-8");
    if (!conv_->toUtf8->ok() || !conv_->fromUtf8->ok()) {
      charset_ = "ISO-8859-1";
      conv_->toUtf8 = std::make_unique<Iconv>("UTF-8", charset_);
      conv_->fromUtf8 = std::make_unique<Iconv>(charset_, "UTF-8");
    }
  }
}

Codec::~Codec() = default;

std::string Codec::decode(std::string_view raw) const {
  bool plain = std::none_of(raw.begin(), raw.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80 || c == '\\';
  });
  if (plain) return std::string(raw);

  std::string text;
  if (utf8_) {
    text = sanitizeUtf8(raw);
  } else {
    std::string_view rest = raw;
    while (!rest.empty()) {
      bool stuck = false;
      std::size_t used = conv_->toUtf8->convert(rest, text, &stuck);
      rest.remove_prefix(used);
      if (stuck) {
        appendUtf8(text, 0xFFFD);
        rest.remove_prefix(1);
      }
    }
  }
  if (text.find('\\') == std::string::npos) return text;

  // Escapes: \U+XXXX (a Unicode character) and \M+nXXXX (a double-byte
  // character of an Asian code page).
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t v = 0;
    if (text[i] == '\\' && i + 2 < text.size() && text[i + 2] == '+') {
      char kind = text[i + 1];
      if ((kind == 'U' || kind == 'u') && hex4(text, i + 3, v)) {
        std::size_t len = 7;
        std::uint32_t low = 0;
        if (v >= 0xD800 && v < 0xDC00 && i + 14 <= text.size() &&
            text.compare(i + 7, 3, "\\U+") == 0 && hex4(text, i + 10, low) &&
            low >= 0xDC00 && low < 0xE000) {
          v = 0x10000 + ((v - 0xD800) << 10) + (low - 0xDC00);
          len = 14;
        }
        appendUtf8(out, (v >= 0xD800 && v < 0xE000) ? 0xFFFD : v);
        i += len - 1;
        continue;
      }
      if ((kind == 'M' || kind == 'm') && i + 7 < text.size() &&
          text[i + 3] >= '1' && text[i + 3] <= '5' && hex4(text, i + 4, v)) {
        static const char* pages[] = {"",      "CP932", "BIG5",
                                      "CP949", "JOHAB", "GBK"};
        int page = text[i + 3] - '0';
        auto& conv = conv_->mif[static_cast<std::size_t>(page)];
        if (!conv) conv = std::make_unique<Iconv>("UTF-8", pages[page]);
        char bytes[2] = {static_cast<char>(v >> 8),
                         static_cast<char>(v & 0xFF)};
        std::string piece;
        bool stuck = false;
        if (conv->ok())
          conv->convert(std::string_view(bytes, 2), piece, &stuck);
        if (!conv->ok() || stuck || piece.empty()) piece = "\xEF\xBF\xBD";
        out += piece;
        i += 7;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string Codec::encode(std::string_view utf8) const {
  bool ascii = std::none_of(utf8.begin(), utf8.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x80;
  });
  if (ascii) return std::string(utf8);
  std::string clean = sanitizeUtf8(utf8);
  if (utf8_) return clean;
  std::string out;
  std::string_view rest = clean;
  while (!rest.empty()) {
    bool stuck = false;
    std::size_t used = conv_->fromUtf8->convert(rest, out, &stuck);
    rest.remove_prefix(used);
    if (stuck) {
      std::uint32_t cp = 0;
      std::size_t len = utf8Length(rest, 0, &cp);
      if (len == 0) len = 1, cp = 0xFFFD;
      auto escape = [&](std::uint32_t u) {
        static const char* hex = "0123456789ABCDEF";
        out += "\\U+";
        for (int s = 12; s >= 0; s -= 4) out += hex[(u >> s) & 15];
      };
      if (cp >= 0x10000) {
        cp -= 0x10000;
        escape(0xD800 + (cp >> 10));
        escape(0xDC00 + (cp & 0x3FF));
      } else {
        escape(cp);
      }
      rest.remove_prefix(len);
    }
  }
  return out;
}

}  // namespace cadhost::engine
