#include "model/zones.h"

#include <cmath>
#include <limits>

#include "base/utf8.h"
#include "model/context.h"
#include "model/form1.h"

namespace model {
namespace {

// The code point at pos and its length in bytes. A byte that does not start
// a well-formed sequence stands for itself, so every text has a code.
std::int32_t decodeAt(std::string_view s, size_t pos, size_t& length) {
  std::uint32_t code = 0;
  length = base::utf8Length(s, pos, &code);
  if (length == 0) {
    length = 1;
    return static_cast<unsigned char>(s[pos]);
  }
  return static_cast<std::int32_t>(code);
}

// A label character. Codes that name no printable character (a point far
// outside the extents, a degenerate grid) show as "?" rather than putting
// control characters or broken text into a workbook.
std::string labelChar(double code) {
  if (!(code >= 0x20 && code <= 0x10FFFF)) return "?";
  const auto c = static_cast<std::int32_t>(code);
  if ((c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
      c == 0xFFFF)
    return "?";
  return base::utf8Of(static_cast<std::uint32_t>(c));
}

// code(first) + Fix(offset / size). A zero size (extents without width)
// puts every point in the first cell instead of dividing by zero.
double axisCode(const std::string& first, double offset, float size) {
  double steps = 0;
  if (size != 0) {
    const double q = offset / static_cast<double>(size);
    steps = std::isfinite(q) ? std::trunc(q) : q;
  }
  if (std::isnan(steps)) steps = 0;
  return static_cast<double>(labelCode(first)) + steps;
}

}  // namespace

// The first and the last character of a text, as substrings.
std::string_view firstChar(std::string_view s) {
  size_t n = 0;
  decodeAt(s, 0, n);
  return s.substr(0, n);
}

std::string_view lastChar(std::string_view s) {
  // A character is at most four bytes; take the one that ends the text.
  for (size_t back = std::min<size_t>(4, s.size()); back >= 1; --back) {
    const size_t pos = s.size() - back;
    size_t n = 0;
    decodeAt(s, pos, n);
    if (n == back) return s.substr(pos);
  }
  return s.substr(s.size() - 1);
}

bool fitsInt16(std::int32_t v) {
  return v >= std::numeric_limits<std::int16_t>::min() &&
         v <= std::numeric_limits<std::int16_t>::max();
}

std::int32_t labelCode(std::string_view text) {
  if (text.empty()) return 0;
  size_t n = 0;
  return decodeAt(text, 0, n);
}

std::int32_t labelCount(std::int32_t first, std::int32_t last) {
  return first < last ? last - first + 1 : last - first - 1;
}

float zoneSize(double extMin, double extMax, std::int32_t count) {
  if (count == 0) return 0;
  return static_cast<float>((extMax - extMin) / static_cast<double>(count));
}

std::string zoneLabel(const model::AppContext& ctx,
                      const cadhost::Point& extMin, float width, float height,
                      float x, float y) {
  const double column =
      axisCode(ctx.zoneColumnFirst, static_cast<double>(x) - extMin[0], width);
  const double row =
      axisCode(ctx.zoneRowFirst, static_cast<double>(y) - extMin[1], height);
  return labelChar(row) + labelChar(column);
}

void computeZoneSize(Form1& f) {
  f.zoneWidth = zoneSize(f.extMin[0], f.extMax[0], f.ctx.zoneColumnCount);
  f.zoneHeight = zoneSize(f.extMin[1], f.extMax[1], f.ctx.zoneRowCount);
}

std::string zoneOf(const Form1& f, const dimtable::DimRecord& d) {
  return zoneLabel(f.ctx, f.extMin, f.zoneWidth, f.zoneHeight, d.x, d.y);
}

std::string zoneOfPosition(Form1& f, std::int32_t p) {
  if (p < 1 || static_cast<size_t>(p) >= f.ctx.dimRecords.size()) return {};
  computeZoneSize(f);
  return zoneOf(f, f.ctx.dimRecords[static_cast<size_t>(p)]);
}

}  // namespace model
