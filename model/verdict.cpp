#include "model/verdict.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "sheethost/xlsx/formula.h"

namespace model {

namespace {
constexpr double kMargin = 1e-9;
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
  const auto count = static_cast<std::size_t>(std::clamp(m.count, 0, 5));
  bool any = false;
  double lo = 0, hi = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (!m.samples[k]) continue;
    const double v = cellDouble(*m.samples[k]);
    lo = any ? std::min(lo, v) : v;
    hi = any ? std::max(hi, v) : v;
    any = true;
  }
  if (!any) return Verdict::Unmeasured;
  const auto limits = limitsOf(nominal, up, low);
  if (!limits) return Verdict::NoLimits;
  return lo >= limits->lower - kMargin && hi <= limits->upper + kMargin
             ? Verdict::Ok
             : Verdict::Ng;
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
