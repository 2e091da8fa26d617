#include "cadhost/engine/plain_text.h"

#include <array>
#include <cstdio>

#include "base/text.h"
#include "cadhost/engine/codepage.h"

namespace cadhost::engine {

namespace {

// The GD&T font draws a symbol for each lower-case letter. Letters as the
// font's shape file (gdt.shp) and the frames the CAD host writes use them;
// the table of DotNetARX (github.com/zhengmaoch/DotNetARX, DimFormatCode)
// lists all 26. The TrueType twin AIGDT uses the same letters.
constexpr std::array<std::string_view, 26> kGdtLetters = {
    "\u2220",  // a  angularity
    "\u27C2",  // b  perpendicularity
    "\u23E5",  // c  flatness
    "\u2313",  // d  profile of a surface
    "\u25CB",  // e  circularity
    "\u2225",  // f  parallelism
    "\u232D",  // g  cylindricity
    "\u2197",  // h  circular runout
    "\u232F",  // i  symmetry
    "\u2316",  // j  position
    "\u2312",  // k  profile of a line
    "\u24C1",  // l  least material condition
    "\u24C2",  // m  maximum material condition
    "\u00D8",  // n  diameter
    "\u25A1",  // o  square
    "\u24C5",  // p  projected tolerance zone
    "\u2104",  // q  centre line
    "\u25CE",  // r  concentricity
    "\u24C8",  // s  regardless of feature size
    "\u2330",  // t  total runout
    "\u23E4",  // u  straightness
    "\u2334",  // v  counterbore
    "\u2335",  // w  countersink
    "\u21A7",  // x  depth
    "\u2332",  // y  conical taper
    "\u2333",  // z  slope
};

enum class Font { Text, Gdt, UnknownSymbols };

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

// "gdt", "gdt.shx|b0", "AIGDT|b0|i0|c0|p34": the font a \F or \f code
// switches to. Another symbol font of the same family (AMGDT, say) has
// letters of its own that we do not know.
Font fontOf(std::string_view spec) {
  std::string name;
  for (char c : spec.substr(0, spec.find('|')))
    if (c != ' ') name += lower(c);
  for (std::string_view ext : {".shx", ".ttf"})
    if (name.size() > ext.size() && name.ends_with(ext))
      name.resize(name.size() - ext.size());
  if (name == "gdt" || name == "aigdt") return Font::Gdt;
  if (name.find("gdt") != std::string::npos) return Font::UnknownSymbols;
  return Font::Text;
}

// The argument of a format code, up to its ';' ("\;" is a semicolon in
// it); i ends after the ';'.
std::string untilSemicolon(std::string_view s, std::size_t& i) {
  std::string out;
  while (i < s.size() && s[i] != ';') {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == ';') {
      out += ';';
      i += 2;
      continue;
    }
    out += s[i++];
  }
  if (i < s.size()) ++i;
  return out;
}

// A character by its number, through the codec's own \U+ escape.
std::string codePoint(unsigned value) {
  static const Codec utf8("", true);
  char escape[16];
  std::snprintf(escape, sizeof escape, "\\U+%04X", value);
  return utf8.decode(escape);
}

// The %% code at s[i] (two percent signs there): appends what it stands
// for and returns the characters it took.
std::size_t percentCode(std::string_view s, std::size_t i, std::string& out) {
  if (i + 2 >= s.size()) {
    out += "%%";
    return 2;
  }
  char c = lower(s[i + 2]);
  switch (c) {
    case 'c':
      out += "\u00D8";
      return 3;
    case 'd':
      out += "\u00B0";
      return 3;
    case 'p':
      out += "\u00B1";
      return 3;
    case '%':
      out += '%';
      return 3;
    case 'u':
    case 'o':
    case 'k':
      return 3;  // line toggles: nothing to read
    default:
      break;
  }
  if (c >= '0' && c <= '9') {
    unsigned code = 0;
    std::size_t n = 0;
    while (n < 3 && i + 2 + n < s.size() && s[i + 2 + n] >= '0' &&
           s[i + 2 + n] <= '9') {
      code = code * 10 + static_cast<unsigned>(s[i + 2 + n] - '0');
      ++n;
    }
    // The host's fonts keep three signs below 130 where code pages have
    // none.
    if (code == 127)
      out += "\u00B0";
    else if (code == 128)
      out += "\u00B1";
    else if (code == 129)
      out += "\u00D8";
    else if (code > 0)
      out += codePoint(code);
    return 2 + n;
  }
  // Not ours to read (a frame's %%v box separator, say): kept whole, so
  // its letter is never taken for a symbol.
  out.append(s.substr(i, 3));
  return 3;
}

void put(std::string& out, char c, Font font) {
  if (font == Font::Gdt) {
    std::string_view symbol = gdtFontSymbol(c);
    if (!symbol.empty()) {
      out += symbol;
      return;
    }
  }
  out += c;
}

using base::trimmed;

// A stack's two parts, "1/2" for "1/2", "+0.1^ -0.2" and "1#2" alike.
std::string stacked(std::string_view body) {
  std::string top, bottom;
  std::string* part = &top;
  for (std::size_t k = 0; k < body.size(); ++k) {
    char c = body[k];
    if (c == '\\' && k + 1 < body.size()) {
      *part += body[++k];
      continue;
    }
    if (part == &top && (c == '^' || c == '/' || c == '#')) {
      part = &bottom;
      continue;
    }
    *part += c;
  }
  if (part == &top) return std::string(trimmed(top));
  return std::string(trimmed(top)) + "/" + std::string(trimmed(bottom));
}

}  // namespace

std::string_view gdtFontSymbol(char c) {
  if (c >= 'a' && c <= 'z')
    return kGdtLetters[static_cast<std::size_t>(c - 'a')];
  return {};
}

PlainText singleLinePlainText(std::string_view text, bool symbolFont) {
  PlainText r;
  Font font = symbolFont ? Font::Gdt : Font::Text;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
      i += percentCode(text, i, r.text);
      continue;
    }
    put(r.text, text[i++], font);
  }
  return r;
}

PlainText multilinePlainText(std::string_view s, bool symbolFont) {
  PlainText r;
  Font font = symbolFont ? Font::Gdt : Font::Text;
  std::vector<Font> groups;
  for (std::size_t i = 0; i < s.size();) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      char code = s[i + 1];
      i += 2;
      switch (code) {
        case 'P':
        case 'N':
        case 'X':
          r.text += '\n';
          break;
        case '~':
          r.text += ' ';
          break;
        case '\\':
        case '{':
        case '}':
          r.text += code;
          break;
        case 'F':
        case 'f': {
          std::string spec = untilSemicolon(s, i);
          font = fontOf(spec);
          if (font == Font::UnknownSymbols)
            r.unknown.push_back(std::string("\\") + code + spec + ";");
          break;
        }
        case 'A':
        case 'C':
        case 'c':
        case 'H':
        case 'Q':
        case 'T':
        case 'W':
        case 'p':
          untilSemicolon(s, i);
          break;
        case 'L':
        case 'l':
        case 'O':
        case 'o':
        case 'K':
        case 'k':
          break;
        case 'S':
          r.text += multilinePlainText(stacked(untilSemicolon(s, i))).text;
          break;
        default:
          r.unknown.push_back(std::string("\\") + code);
          break;
      }
      continue;
    }
    if (c == '{') {
      groups.push_back(font);
      ++i;
      continue;
    }
    if (c == '}') {
      if (!groups.empty()) {
        font = groups.back();
        groups.pop_back();
      }
      ++i;
      continue;
    }
    if (c == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      i += percentCode(s, i, r.text);
      continue;
    }
    // Control characters in DXF strings: ^J a line feed, ^I a tab, "^ " a
    // caret.
    if (c == '^' && i + 1 < s.size()) {
      char next = s[i + 1];
      if (next == 'J' || next == 'I' || next == 'M' || next == ' ') {
        if (next == 'J') r.text += '\n';
        if (next == 'I') r.text += '\t';
        if (next == ' ') r.text += '^';
        i += 2;
        continue;
      }
    }
    put(r.text, c, font);
    ++i;
  }
  return r;
}

}  // namespace cadhost::engine
