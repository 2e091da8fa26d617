#include "model/verdict.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "model/characteristic.h"
#include "sheethost/xlsx/formula.h"

namespace model {

namespace {
constexpr double kMargin = 1e-9;

// The smallest and largest of samples 1 to m.count as their cells hold
// them; nothing when none holds a value.
std::optional<std::pair<double, double>> sampleSpan(
    const dimtable::Measurement& m) {
  const auto count = static_cast<std::size_t>(std::clamp(m.count, 0, 5));
  std::optional<std::pair<double, double>> span;
  for (std::size_t k = 0; k < count; ++k) {
    if (!m.samples[k]) continue;
    const double v = cellDouble(*m.samples[k]);
    span = span ? std::pair{std::min(span->first, v), std::max(span->second, v)}
                : std::pair{v, v};
  }
  return span;
}

}  // namespace

double cellDouble(float value) {
  if (!std::isfinite(value)) return value;
  std::array<char, 32> buf{};
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value);
  double d = 0;
  std::from_chars(buf.data(), res.ptr, d);
  return d;
}

double spreadsheetDigits(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return std::strtod(text, nullptr);
}

std::optional<Limits> limitsOf(std::string_view nominal, float up, float low) {
  const auto n = xlsx::formula::valueNumber(nominal);
  if (!n) return std::nullopt;
  return Limits{*n + cellDouble(up), *n - cellDouble(low)};
}

Verdict judge(std::string_view nominal, float up, float low,
              const dimtable::Measurement& m) {
  const auto span = sampleSpan(m);
  if (!span) return Verdict::Unmeasured;
  const auto [lo, hi] = *span;
  const auto limits = limitsOf(nominal, up, low);
  if (!limits) return Verdict::NoLimits;
  return lo >= limits->lower - kMargin && hi <= limits->upper + kMargin
             ? Verdict::Ok
             : Verdict::Ng;
}

std::optional<Bounds> boundsOf(const dimtable::DimRecord& r) {
  using dimtable::Bound;
  switch (kindOfType(r.type)) {
    case CharacteristicKind::Dimension:
      if (auto l = limitsOf(r.value, r.up, r.low))
        return Bounds{l->upper, l->lower};
      return std::nullopt;
    case CharacteristicKind::Gdt:
    case CharacteristicKind::Roughness:
      // A value of 0 with the tolerance as its upper deviation.
      if (r.bound == Bound::Upper) return Bounds{cellDouble(r.up), 0.0};
      if (r.bound == Bound::Lower)
        return Bounds{std::nullopt, cellDouble(r.up)};
      return std::nullopt;
    case CharacteristicKind::Note:
      break;
  }
  return std::nullopt;
}

Verdict judge(const dimtable::DimRecord& r, const dimtable::Measurement& m) {
  const auto count = static_cast<std::size_t>(std::clamp(m.count, 0, 5));
  const CharacteristicKind kind = kindOfType(r.type);
  if (kind == CharacteristicKind::Dimension)
    return judge(r.value, r.up, r.low, m);
  if (kind == CharacteristicKind::Note) {
    bool any = false;
    for (std::size_t k = 0; k < count; ++k) {
      if (!m.passed[k]) continue;
      if (!*m.passed[k]) return Verdict::Ng;
      any = true;
    }
    return any ? Verdict::Ok : Verdict::Unmeasured;
  }
  const auto span = sampleSpan(m);
  if (!span) return Verdict::Unmeasured;
  const auto [lo, hi] = *span;
  const auto b = boundsOf(r);
  if (!b) return Verdict::NoLimits;
  const bool low = !b->lower || lo >= *b->lower - kMargin;
  const bool high = !b->upper || hi <= *b->upper + kMargin;
  return low && high ? Verdict::Ok : Verdict::Ng;
}

std::optional<RowFormulas> faiFormulas(const dimtable::DimRecord& r, int row) {
  using dimtable::Bound;
  const CharacteristicKind kind = kindOfType(r.type);
  if (kind == CharacteristicKind::Dimension) return std::nullopt;
  const std::string n = std::to_string(row);
  const std::string mark = "$A" + n + "=\"\"";
  const std::string none = "=\"\"";
  RowFormulas f;
  if (kind == CharacteristicKind::Note) {
    // Texts, not numbers: NG with one 不合格, OK with a 合格 and none.
    auto any = [&](std::string_view result) {
      std::string out = "OR(";
      for (char c = 'G'; c <= 'K'; ++c) {
        if (c != 'G') out += ",";
        out += "$";
        out += c;
        out += n + "=\"" + std::string(result) + "\"";
      }
      return out + ")";
    };
    f.upper = none;
    f.lower = none;
    f.verdict = "=IF(" + mark + ",\"\",IF(" + any(dimtable::kFailed) +
                ",\"NG\",IF(" + any(dimtable::kPassed) + ",\"OK\",\"\")))";
    return f;
  }
  const std::string samples = "$G" + n + ":$K" + n;
  switch (r.bound) {
    case Bound::Upper:
      // A value of 0 with the deviations: the template's verdict holds.
      f.upper = "=IF(" + mark + ",\"\",0+$E" + n + ")";
      f.lower = "=IF(" + mark + ",\"\",0-$F" + n + ")";
      break;
    case Bound::Lower:
      // At or above the value: no upper limit.
      f.upper = none;
      f.lower = "=IF(" + mark + ",\"\",$E" + n + ")";
      f.verdict = "=IF(OR(" + mark + ",COUNT(" + samples + ")=0,$M" + n +
                  "=\"\"),\"\",IF(MIN(" + samples + ")>=$M" + n +
                  "-1E-9,\"OK\",\"NG\"))";
      break;
    case Bound::None:
      // No tolerance read: no limits, and the verdict stays blank.
      f.upper = none;
      f.lower = none;
      break;
  }
  return f;
}

const char* verdictText(Verdict v) {
  switch (v) {
    case Verdict::Ok:
      return "OK";
    case Verdict::Ng:
      return "NG";
    case Verdict::NoLimits:
      return "无法判定";
    case Verdict::Unmeasured:
      break;
  }
  return "未测";
}

}  // namespace model
