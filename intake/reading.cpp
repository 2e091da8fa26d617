#include "intake/reading.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "forms/basic.h"
#include "forms/errors.h"
#include "model/form1.h"

namespace intake {
namespace {

constexpr const char* kUndo = "Undo\r\r";

// The entity is fetched anew for every access, as the host hands it out.
cadhost::EntityRef entity(model::Form1& f) {
  if (!f.ctx.modelSpace) throw cadhost::HostError("no drawing is open");
  auto e = f.ctx.modelSpace->Item(f.entityIndex);
  if (!e) throw cadhost::HostError("no such entity");
  return e;
}

// An override is the value unless it shows the measurement ("<>").
std::string valueText(const std::string& override, double measured,
                      std::int32_t decimals) {
  if (override.empty() || ISCONTAIN(override))
    return roundedText(measured, decimals);
  return override;
}

void generalTolerance(model::Form1& f, dimtable::DimRecord& r) {
  const auto& bounds = f.ctx.sizeBounds;
  const auto& tol = f.ctx.tolValues;
  float v = static_cast<float>(forms::Val(r.value));
  int range = 0;
  if (v <= bounds[0]) {
    range = 1;
  } else {
    for (int k = 2; k <= 6; ++k) {
      if (v > bounds[static_cast<size_t>(k - 2)] &&
          v <= bounds[static_cast<size_t>(k - 1)]) {
        range = k;
        break;
      }
    }
  }
  if (range == 0) return;  // above the last bound: no general tolerance
  r.low = tol[static_cast<size_t>(range - 1)];
  r.up = tol[static_cast<size_t>(range - 1)];
}

}  // namespace

double variableNumber(const cadhost::Variable& v) {
  if (const double* d = std::get_if<double>(&v)) return *d;
  if (const std::string* s = std::get_if<std::string>(&v)) {
    if (auto n = forms::ParseNumber(*s)) return *n;
  }
  throw cadhost::HostError("type mismatch");
}

bool ISCONTAIN(std::string_view text) {
  if (text.size() < 2) return false;
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (text[i] == '<' && text[i + 1] == '>') return true;
  return false;
}

std::string roundedText(double value, std::int32_t decimals) {
  if (!std::isfinite(value)) return forms::DoubleText(value);
  if (decimals < 0) decimals = 0;
  if (decimals > 15) decimals = 15;
  // printf rounds the exact binary value, ties to even: 0.125 -> 0.12.
  std::vector<char> buf(400);
  int n = std::snprintf(buf.data(), buf.size(), "%.*f", decimals, value);
  std::string s(buf.data(), static_cast<size_t>(n > 0 ? n : 0));
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

void dimm(model::Form1& f) {
  auto& r = f.ctx.dimRecords[static_cast<size_t>(f.ctx.dimCount)];
  using forms::resumeNext;
  resumeNext([&] { entity(f)->SetPrimaryUnitsPrecision(f.dimDecimals); });
  resumeNext([&] { entity(f)->SetTolerancePrecision(f.dimDecimals); });
  resumeNext([&] { entity(f)->Move({0, 0, 0}, {2, 0, 0}); });
  resumeNext([&] {
    std::string override;
    resumeNext([&] { override = entity(f)->TextOverride(); });
    r.value = valueText(override, entity(f)->Measurement(), f.dimDecimals);
  });
  resumeNext([&] { f.ctx.cadDoc->SendCommand(kUndo); });
  r.entityIndex = f.entityIndex;
  resumeNext([&] {
    if (entity(f)->ToleranceDisplay() == 0) {
      generalTolerance(f, r);
    } else {
      resumeNext([&] {
        r.low = static_cast<float>(entity(f)->ToleranceLowerLimit());
      });
      resumeNext(
          [&] { r.up = static_cast<float>(entity(f)->ToleranceUpperLimit()); });
    }
  });
  resumeNext([&] {
    f.entityPoint = entity(f)->TextPosition();
    r.x = static_cast<float>(f.entityPoint[0]);
    r.y = static_cast<float>(f.entityPoint[1]);
  });
}

void readAngle(model::Form1& f) {
  auto& r = f.ctx.dimRecords[static_cast<size_t>(f.ctx.dimCount)];
  // Degrees, with pi taken as 3.1415926.
  auto degrees = [](double radians) { return radians * 180 / 3.1415926; };
  r.entityIndex = f.entityIndex;
  r.type = kAngular;
  cadhost::EntityRef e = entity(f);
  e->Move({0, 0, 0}, {1, 0, 0});
  r.value =
      valueText(e->TextOverride(), degrees(e->Measurement()), f.dimDecimals);
  f.ctx.cadDoc->SendCommand(kUndo);
  if (e->ToleranceDisplay() == 0) {
    r.low = f.ctx.tolValues[6];
    r.up = f.ctx.tolValues[6];
  } else {
    r.low = static_cast<float>(degrees(e->ToleranceLowerLimit()));
    r.up = static_cast<float>(degrees(e->ToleranceUpperLimit()));
  }
  f.entityPoint = e->TextPosition();
  r.x = static_cast<float>(f.entityPoint[0]);
  r.y = static_cast<float>(f.entityPoint[1]);
}

}  // namespace intake
