#include "cadhost/engine/dxf_tags.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "cadhost/host.h"

namespace cadhost::engine {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
}

void* allocateBig(std::size_t bytes) {
  if (bytes < 2 * kHugePage) return ::operator new(bytes);
  std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
  void* p = std::aligned_alloc(kHugePage, rounded);
  if (!p) throw std::bad_alloc();
  madvise(p, rounded, MADV_HUGEPAGE);  // only advice: failure is harmless
  return p;
}

void releaseBig(void* p, std::size_t bytes) {
  if (bytes < 2 * kHugePage)
    ::operator delete(p);
  else
    std::free(p);
}

Bytes readFileBytes(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw HostError("cannot open " + path + ": " + std::strerror(errno));
  Bytes bytes;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  if (size >= 0 && std::fseek(f, 0, SEEK_SET) == 0) {
    bytes.resize(static_cast<std::size_t>(size));
    std::size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    ok = got == bytes.size();
  } else {
    ok = false;
  }
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (!ok || failed) throw HostError("cannot read " + path);
  return bytes;
}

namespace {
ValueType computeValueType(int code);
}

ValueType valueType(int code) {
  static const auto table = [] {
    std::array<ValueType, 1072> t{};
    for (int c = 0; c < 1072; ++c)
      t[static_cast<std::size_t>(c)] = computeValueType(c);
    return t;
  }();
  return code >= 0 && code < 1072 ? table[static_cast<std::size_t>(code)]
                                  : ValueType::String;
}

namespace {
ValueType computeValueType(int code) {
  if (code < 10) return ValueType::String;
  if (code < 60) return ValueType::Real;
  if (code < 80) return ValueType::Int16;
  if (code < 90) return ValueType::String;  // unassigned
  if (code < 100) return ValueType::Int32;
  if (code == 105) return ValueType::Handle;
  if (code < 110) return ValueType::String;
  if (code < 150) return ValueType::Real;
  if (code >= 160 && code < 170) return ValueType::Int64;
  if (code >= 170 && code < 180) return ValueType::Int16;
  if (code >= 210 && code < 240) return ValueType::Real;
  if (code >= 270 && code < 290) return ValueType::Int16;
  if (code >= 290 && code < 300) return ValueType::Bool;
  if (code >= 300 && code < 310) return ValueType::String;
  if (code >= 310 && code < 320) return ValueType::Binary;
  if (code >= 320 && code < 370) return ValueType::Handle;
  if (code >= 370 && code < 390) return ValueType::Int16;
  if (code >= 390 && code < 400) return ValueType::Handle;
  if (code >= 400 && code < 410) return ValueType::Int16;
  if (code >= 410 && code < 420) return ValueType::String;
  if (code >= 420 && code < 430) return ValueType::Int32;
  if (code >= 430 && code < 440) return ValueType::String;
  if (code >= 440 && code < 460) return ValueType::Int32;
  if (code >= 460 && code < 470) return ValueType::Real;
  if (code >= 470 && code < 480) return ValueType::String;
  if (code >= 480 && code < 482) return ValueType::Handle;
  if (code == 1004) return ValueType::Binary;
  if (code >= 1000 && code < 1010) return ValueType::String;
  if (code >= 1010 && code < 1060) return ValueType::Real;
  if (code >= 1060 && code < 1071) return ValueType::Int16;
  if (code == 1071) return ValueType::Int32;
  return ValueType::String;
}
}  // namespace

namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' ||
                        s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

// "1.#INF", "-1.#IND", "1.#QNAN": how old Windows programs wrote
// infinities and NaNs.
std::optional<double> parseMsvcSpecial(std::string_view s) {
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  auto hash = s.find(".#");
  if (hash == std::string_view::npos || hash == 0) return std::nullopt;
  for (std::size_t i = 0; i < hash; ++i)
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
  std::string_view kind = s.substr(hash + 2);
  while (!kind.empty() && kind.back() >= '0' && kind.back() <= '9')
    kind.remove_suffix(1);
  if (kind == "INF")
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  if (kind == "IND" || kind == "QNAN" || kind == "SNAN")
    return std::numeric_limits<double>::quiet_NaN();
  return std::nullopt;
}

std::optional<double> parseReal(std::string_view text) {
  // Most values are plain: no blanks around them.
  if (!text.empty() && text.front() != ' ' && text.front() != '+' &&
      text.back() != ' ' && text.back() != '\t') {
    double v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && p == text.data() + text.size()) return v;
  }
  std::string_view s = trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  double v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range && p == s.data() + s.size()) {
    // Beyond the range of doubles: infinite, or zero for tiny values.
    bool negative = s.front() == '-';
    auto e = s.find_first_of("eE");
    bool tiny =
        e != std::string_view::npos && e + 1 < s.size() && s[e + 1] == '-';
    double big = std::numeric_limits<double>::infinity();
    return negative ? -(tiny ? 0.0 : big) : (tiny ? 0.0 : big);
  }
  if (ec != std::errc() || p != s.data() + s.size()) return parseMsvcSpecial(s);
  return v;
}

std::optional<long long> parseInt(std::string_view text) {
  // Most values are plain: no blanks around them.
  if (!text.empty() && text.front() != ' ' && text.front() != '+' &&
      text.back() != ' ' && text.back() != '\t') {
    long long v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec == std::errc() && p == text.data() + text.size()) return v;
  }
  std::string_view s = trim(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  long long v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc() && p == s.data() + s.size()) return v;
  // Some writers put integers as reals ("1.0").
  auto r = parseReal(s);
  if (r && std::isfinite(*r) && std::floor(*r) == *r && std::fabs(*r) < 9.2e18)
    return static_cast<long long>(*r);
  return std::nullopt;
}

std::optional<std::uint64_t> parseHandle(std::string_view text) {
  std::string_view s = trim(text);
  if (s.empty() || s.size() > 16) return std::nullopt;
  std::uint64_t v = 0;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc() || p != s.data() + s.size()) return std::nullopt;
  return v;
}

std::string formatReal(double value) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, value);
  std::string s(buf, p);
  if (std::isfinite(value) && s.find_first_of(".eE") == std::string::npos)
    s += ".0";
  return s;
}

std::string formatHandle(std::uint64_t handle) {
  char buf[32];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, handle, 16);
  std::string s(buf, p);
  std::transform(s.begin(), s.end(), s.begin(),
                 [](char c) { return c >= 'a' && c <= 'f' ? c - 32 : c; });
  return s;
}

std::string_view Arena::store(std::string_view text) {
  if (text.empty()) return {};
  if (used_ + text.size() > capacity_) {
    capacity_ = std::max<std::size_t>(text.size(), 1 << 16);
    blocks_.push_back(std::make_unique<char[]>(capacity_));
    used_ = 0;
  }
  char* dst = blocks_.back().get() + used_;
  std::memcpy(dst, text.data(), text.size());
  used_ += text.size();
  return {dst, text.size()};
}

std::string TagFile::where(std::size_t tagIndex) const {
  std::size_t off =
      tagIndex < offsets.size() ? offsets[tagIndex] : bytes.size();
  return whereOffset(off);
}

std::string TagFile::whereOffset(std::size_t byteOffset) const {
  byteOffset = std::min(byteOffset, bytes.size());
  if (binary) return "byte " + std::to_string(byteOffset);
  auto line =
      1 + std::count(bytes.begin(), bytes.begin() + byteOffset, lineBreak);
  return "line " + std::to_string(line);
}

namespace {

[[noreturn]] void fail(const TagFile& f, std::size_t offset,
                       const std::string& reason) {
  throw HostError(f.whereOffset(offset) + ": " + reason);
}

std::string shown(std::string_view s) {
  std::string out(s.substr(0, 40));
  if (s.size() > 40) out += "...";
  return "'" + out + "'";
}

// Checks the form of a number without computing it; odd forms ("nan",
// integers written as reals) go to the full parse.
bool validNumberText(std::string_view v, ValueType t) {
  const char* p = v.data();
  const char* end = p + v.size();
  while (p < end && *p == ' ') ++p;
  while (end > p && (end[-1] == ' ' || end[-1] == '\t')) --end;
  if (p < end && (*p == '-' || *p == '+')) ++p;
  const char* digits = p;
  while (p < end && *p >= '0' && *p <= '9') ++p;
  bool any = p > digits;
  if (p == end) return any;
  if (t == ValueType::Real) {
    if (*p == '.') {
      const char* frac = ++p;
      while (p < end && *p >= '0' && *p <= '9') ++p;
      any = any || p > frac;
    }
    if (any && p < end && (*p == 'e' || *p == 'E')) {
      ++p;
      if (p < end && (*p == '-' || *p == '+')) ++p;
      const char* exp = p;
      while (p < end && *p >= '0' && *p <= '9') ++p;
      if (p == exp) return false;
    }
    if (any && p == end) return true;
    return parseReal(v).has_value();
  }
  return parseInt(v).has_value();
}

bool isEof(const Tag& t) { return t.code == 0 && trim(t.value) == "EOF"; }

void readAscii(TagFile& f) {
  const char* base = f.bytes.data();
  const std::size_t n = f.bytes.size();
  f.tags.reserve(n / 14 + 16);
  f.offsets.reserve(n / 14 + 16);

  // Line endings and code layout of the file, for the tags the engine adds.
  // Old Macintosh files end their lines with a lone CR.
  char separator = '\n';
  std::size_t firstBreak = 0;
  while (firstBreak < n && base[firstBreak] != '\n' && base[firstBreak] != '\r')
    ++firstBreak;
  if (firstBreak < n) {
    bool cr = base[firstBreak] == '\r';
    bool crlf = cr && firstBreak + 1 < n && base[firstBreak + 1] == '\n';
    f.eol = crlf ? "\r\n" : cr ? "\r" : "\n";
    if (cr && !crlf) separator = f.lineBreak = '\r';
    f.padCodes = n > 0 && (base[0] == ' ' || (n > 3 && base[3] == ' '));
  }

  // A byte-order mark stays in front of the first tag, untouched.
  std::size_t pos = f.bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  auto nextLine = [&](std::size_t& p, std::string_view& line) -> bool {
    if (p >= n) return false;
    const void* nl = std::memchr(base + p, separator, n - p);
    std::size_t end = nl ? static_cast<const char*>(nl) - base : n;
    std::size_t len = end - p;
    if (len > 0 && base[end - 1] == '\r') --len;
    line = std::string_view(base + p, len);
    p = nl ? end + 1 : n;
    return true;
  };

  // The common code line: blanks, up to four digits, the line break. Any
  // other line takes the careful way, which also explains errors.
  auto fastCode = [&](std::size_t& at, int& code) {
    std::size_t p = at;
    while (p < n && base[p] == ' ') ++p;
    std::size_t first = p;
    int value = 0;
    while (p < n && p - first < 4 && base[p] >= '0' && base[p] <= '9')
      value = value * 10 + (base[p++] - '0');
    if (p == first || value > 1071) return false;
    while (p < n && (base[p] == ' ' || base[p] == '\t')) ++p;
    if (separator == '\n' && p < n && base[p] == '\r') ++p;
    if (p >= n || base[p] != separator) return false;
    at = p + 1;
    code = value;
    return true;
  };

  while (pos < n) {
    std::size_t start = pos;
    int code = 0;
    if (!fastCode(pos, code)) {
      std::string_view codeLine;
      nextLine(pos, codeLine);
      std::string_view c = codeLine;
      while (!c.empty() && c.front() == ' ') c.remove_prefix(1);
      while (!c.empty() && (c.back() == ' ' || c.back() == '\t'))
        c.remove_suffix(1);
      // Blank lines at the very end (after EOF) are kept as trailing bytes.
      if (c.empty()) {
        std::size_t q = start;
        while (q < n && (base[q] == ' ' || base[q] == '\t' || base[q] == '\r' ||
                         base[q] == '\n' || base[q] == '\x1a' || base[q] == 0))
          ++q;
        if (q == n) {
          pos = start;
          break;
        }
        fail(f, start, "an empty line where a group code was expected");
      }
      // At most four digits are summed: a longer run is no group code and
      // would overflow.
      code = 0;
      bool digits = c.size() <= 4;
      for (std::size_t k = 0; digits && k < c.size(); ++k) {
        if (c[k] < '0' || c[k] > '9')
          digits = false;
        else
          code = code * 10 + (c[k] - '0');
      }
      if (!digits || code > 1071) {
        if (f.tags.empty())
          fail(f, start,
               "this is not a DXF drawing (it begins with " + shown(c) + ")");
        fail(f, start, shown(c) + " is not a DXF group code");
      }
    }
    std::string_view value;
    if (!nextLine(pos, value))
      fail(f, start,
           "the file ends after group code " + std::to_string(code) +
               " without its value (the file is truncated)");
    ValueType t = valueType(code);
    if (isNumeric(t) && !validNumberText(value, t))
      fail(f, start,
           "group code " + std::to_string(code) + " needs a number, found " +
               shown(value));
    f.offsets.push_back(static_cast<std::uint32_t>(start));
    f.tags.push_back(
        Tag{code, static_cast<std::int32_t>(f.tags.size()), value});
    // Whatever follows EOF is kept as it is, unread.
    if (code == 0 && isEof(f.tags.back())) break;
  }
  f.offsets.push_back(static_cast<std::uint32_t>(pos));
}

template <typename T>
T readLE(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  if constexpr (std::endian::native == std::endian::big) {
    // DXF binary is little endian.
    auto* b = reinterpret_cast<unsigned char*>(&v);
    std::reverse(b, b + sizeof(T));
  }
  return v;
}

void readBinary(TagFile& f) {
  const char* base = f.bytes.data();
  const std::size_t n = f.bytes.size();
  std::size_t pos = 22;
  // R12 binary has one-byte codes: its first tag reads 00 'S'...; later
  // versions write two bytes 00 00.
  f.binaryShortCodes = n > 23 && base[23] != 0;
  f.tags.reserve(n / 10 + 16);
  f.offsets.reserve(n / 10 + 16);
  auto need = [&](std::size_t start, std::size_t count) {
    if (pos + count > n)
      fail(f, start, "the file ends inside a tag (the file is truncated)");
  };
  while (pos < n) {
    std::size_t start = pos;
    int code = 0;
    if (f.binaryShortCodes) {
      need(start, 1);
      code = static_cast<unsigned char>(base[pos++]);
      if (code == 255) {
        need(start, 2);
        code = readLE<std::uint16_t>(base + pos);
        pos += 2;
      }
    } else {
      need(start, 2);
      code = readLE<std::uint16_t>(base + pos);
      pos += 2;
    }
    if (code > 1071)
      fail(f, start, std::to_string(code) + " is not a DXF group code");
    std::string text;
    switch (valueType(code)) {
      case ValueType::Real: {
        need(start, 8);
        text = formatReal(readLE<double>(base + pos));
        pos += 8;
        break;
      }
      case ValueType::Int16:
        need(start, 2);
        text = std::to_string(readLE<std::int16_t>(base + pos));
        pos += 2;
        break;
      case ValueType::Int32:
        need(start, 4);
        text = std::to_string(readLE<std::int32_t>(base + pos));
        pos += 4;
        break;
      case ValueType::Int64:
        need(start, 8);
        text = std::to_string(readLE<std::int64_t>(base + pos));
        pos += 8;
        break;
      case ValueType::Bool:
        need(start, 1);
        text = std::to_string(static_cast<unsigned char>(base[pos]));
        pos += 1;
        break;
      case ValueType::Binary: {
        need(start, 1);
        std::size_t len = static_cast<unsigned char>(base[pos++]);
        need(start, len);
        static const char* hex = "0123456789ABCDEF";
        for (std::size_t i = 0; i < len; ++i) {
          auto b = static_cast<unsigned char>(base[pos + i]);
          text += hex[b >> 4];
          text += hex[b & 15];
        }
        pos += len;
        break;
      }
      default: {
        const void* z = std::memchr(base + pos, 0, n - pos);
        if (!z)
          fail(f, start, "the file ends inside a text (the file is truncated)");
        std::size_t end = static_cast<const char*>(z) - base;
        text.assign(base + pos, end - pos);
        pos = end + 1;
        break;
      }
    }
    f.offsets.push_back(static_cast<std::uint32_t>(start));
    f.tags.push_back(Tag{code, static_cast<std::int32_t>(f.tags.size()),
                         f.arena->store(text)});
    if (code == 0 && isEof(f.tags.back())) break;
  }
  f.offsets.push_back(static_cast<std::uint32_t>(pos));
}

template <typename T>
void appendLE(Bytes& out, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  if constexpr (std::endian::native == std::endian::big)
    std::reverse(b, b + sizeof(T));
  out.append(b, sizeof(T));
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

}  // namespace

void readTags(TagFile& f, Bytes bytes) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max() - 16)
    throw HostError("the drawing is too large (more than 4 GB)");
  f.bytes = std::move(bytes);
  if (isBinaryDxf(f.bytes)) {
    f.binary = true;
    readBinary(f);
  } else {
    readAscii(f);
  }
}

void appendTag(Bytes& out, const TagFile& file, int code,
               std::string_view value) {
  if (!file.binary) {
    char buf[16];
    auto [p, ec] = std::to_chars(buf, buf + sizeof buf, code);
    std::size_t len = p - buf;
    if (file.padCodes && len < 3) out.append(3 - len, ' ');
    out.append(buf, len);
    out += file.eol;
    out += value;
    out += file.eol;
    return;
  }
  if (file.binaryShortCodes) {
    if (code >= 255) {
      out += static_cast<char>(255);
      appendLE<std::uint16_t>(out, static_cast<std::uint16_t>(code));
    } else {
      out += static_cast<char>(code);
    }
  } else {
    appendLE<std::uint16_t>(out, static_cast<std::uint16_t>(code));
  }
  switch (valueType(code)) {
    case ValueType::Real:
      appendLE<double>(out, parseReal(value).value_or(0.0));
      break;
    case ValueType::Int16:
      appendLE<std::int16_t>(
          out, static_cast<std::int16_t>(parseInt(value).value_or(0)));
      break;
    case ValueType::Int32:
      appendLE<std::int32_t>(
          out, static_cast<std::int32_t>(parseInt(value).value_or(0)));
      break;
    case ValueType::Int64:
      appendLE<std::int64_t>(out, parseInt(value).value_or(0));
      break;
    case ValueType::Bool:
      out += static_cast<char>(parseInt(value).value_or(0) != 0);
      break;
    case ValueType::Binary: {
      std::size_t len = std::min<std::size_t>(value.size() / 2, 255);
      out += static_cast<char>(len);
      for (std::size_t i = 0; i < len; ++i)
        out += static_cast<char>(hexValue(value[2 * i]) * 16 +
                                 hexValue(value[2 * i + 1]));
      break;
    }
    default:
      out += value;
      out += '\0';
  }
}

}  // namespace cadhost::engine
