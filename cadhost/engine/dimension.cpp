#include "cadhost/engine/dimension.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "base/text.h"
#include "cadhost/engine/geometry.h"

namespace cadhost::engine {

namespace {

constexpr double kPi = std::numbers::pi;

const DimVar kDimVars[] = {
    {3, "DIMPOST", DimVar::Text, 0, 0},
    {4, "DIMAPOST", DimVar::Text, 0, 0},
    {5, "DIMBLK", DimVar::Text, 0, 0},
    {6, "DIMBLK1", DimVar::Text, 0, 0},
    {7, "DIMBLK2", DimVar::Text, 0, 0},
    {40, "DIMSCALE", DimVar::Real, 1, 1},
    {41, "DIMASZ", DimVar::Real, 0.18, 2.5},
    {42, "DIMEXO", DimVar::Real, 0.0625, 0.625},
    {43, "DIMDLI", DimVar::Real, 0.38, 3.75},
    {44, "DIMEXE", DimVar::Real, 0.18, 1.25},
    {45, "DIMRND", DimVar::Real, 0, 0},
    {46, "DIMDLE", DimVar::Real, 0, 0},
    {47, "DIMTP", DimVar::Real, 0, 0},
    {48, "DIMTM", DimVar::Real, 0, 0},
    {49, "DIMFXL", DimVar::Real, 1, 1},
    {69, "DIMTFILL", DimVar::Int, 0, 0},
    {71, "DIMTOL", DimVar::Int, 0, 0},
    {72, "DIMLIM", DimVar::Int, 0, 0},
    {73, "DIMTIH", DimVar::Int, 1, 0},
    {74, "DIMTOH", DimVar::Int, 1, 0},
    {75, "DIMSE1", DimVar::Int, 0, 0},
    {76, "DIMSE2", DimVar::Int, 0, 0},
    {77, "DIMTAD", DimVar::Int, 0, 1},
    {78, "DIMZIN", DimVar::Int, 0, 8},
    {79, "DIMAZIN", DimVar::Int, 0, 0},
    {140, "DIMTXT", DimVar::Real, 0.18, 2.5},
    {141, "DIMCEN", DimVar::Real, 0.09, 2.5},
    {142, "DIMTSZ", DimVar::Real, 0, 0},
    {143, "DIMALTF", DimVar::Real, 25.4, 0.03937007874},
    {144, "DIMLFAC", DimVar::Real, 1, 1},
    {145, "DIMTVP", DimVar::Real, 0, 0},
    {146, "DIMTFAC", DimVar::Real, 1, 1},
    {147, "DIMGAP", DimVar::Real, 0.09, 0.625},
    {148, "DIMALTRND", DimVar::Real, 0, 0},
    {170, "DIMALT", DimVar::Int, 0, 0},
    {171, "DIMALTD", DimVar::Int, 2, 3},
    {172, "DIMTOFL", DimVar::Int, 0, 1},
    {173, "DIMSAH", DimVar::Int, 0, 0},
    {174, "DIMTIX", DimVar::Int, 0, 0},
    {175, "DIMSOXD", DimVar::Int, 0, 0},
    {176, "DIMCLRD", DimVar::Int, 0, 0},
    {177, "DIMCLRE", DimVar::Int, 0, 0},
    {178, "DIMCLRT", DimVar::Int, 0, 0},
    {179, "DIMADEC", DimVar::Int, 0, 0},
    {270, "DIMUNIT", DimVar::Int, 2, 8},
    {271, "DIMDEC", DimVar::Int, 4, 2},
    {272, "DIMTDEC", DimVar::Int, 4, 2},
    {273, "DIMALTU", DimVar::Int, 2, 8},
    {274, "DIMALTTD", DimVar::Int, 2, 3},
    {275, "DIMAUNIT", DimVar::Int, 0, 0},
    {276, "DIMFRAC", DimVar::Int, 0, 0},
    {277, "DIMLUNIT", DimVar::Int, 2, 2},
    {278, "DIMDSEP", DimVar::Int, '.', ','},
    {279, "DIMTMOVE", DimVar::Int, 0, 0},
    {280, "DIMJUST", DimVar::Int, 0, 0},
    {281, "DIMSD1", DimVar::Int, 0, 0},
    {282, "DIMSD2", DimVar::Int, 0, 0},
    {283, "DIMTOLJ", DimVar::Int, 1, 0},
    {284, "DIMTZIN", DimVar::Int, 0, 8},
    {285, "DIMALTZ", DimVar::Int, 0, 0},
    {286, "DIMALTTZ", DimVar::Int, 0, 0},
    {287, "DIMFIT", DimVar::Int, 3, 3},
    {288, "DIMUPT", DimVar::Int, 0, 0},
    {289, "DIMATFIT", DimVar::Int, 3, 3},
    {340, "DIMTXSTY", DimVar::Handle, 0, 0},
    {341, "DIMLDRBLK", DimVar::Handle, 0, 0},
    {342, "DIMBLK", DimVar::Handle, 0, 0},
    {343, "DIMBLK1", DimVar::Handle, 0, 0},
    {344, "DIMBLK2", DimVar::Handle, 0, 0},
    {345, "DIMLTYPE", DimVar::Handle, 0, 0},
    {346, "DIMLTEX1", DimVar::Handle, 0, 0},
    {347, "DIMLTEX2", DimVar::Handle, 0, 0},
    {371, "DIMLWD", DimVar::Int, -2, -2},
    {372, "DIMLWE", DimVar::Int, -2, -2},
};

bool metricDrawing(const Drawing& d) {
  if (auto v = d.header("$MEASUREMENT"); v && !v->empty())
    return parseInt((*v)[0].value).value_or(0) == 1;
  return false;
}

DimValue fromTag(const Drawing& d, const Tag& t, const DimVar& var) {
  DimValue v;
  if (var.type == DimVar::Real || var.type == DimVar::Int)
    v.number = parseReal(t.value).value_or(0);
  else if (var.type == DimVar::Handle)
    v.text = std::string(t.value);
  else
    v.text = d.text(t.value);
  return v;
}

using base::trimmed;

// Position of the DSTYLE list inside ACAD XDATA: index of "1002 {" and of
// "1002 }" within `own`; both 0 when absent.
struct DstyleList {
  std::size_t open = 0, close = 0;
};

DstyleList findDstyle(Tags own, std::size_t acadBegin, std::size_t acadEnd) {
  for (std::size_t k = acadBegin; k + 1 < acadEnd; ++k)
    if (own[k].code == 1000 && equalsNoCase(trimmed(own[k].value), "DSTYLE") &&
        own[k + 1].code == 1002 && trimmed(own[k + 1].value) == "{") {
      for (std::size_t m = k + 2; m < acadEnd; ++m)
        if (own[m].code == 1002 && trimmed(own[m].value) == "}")
          return {k + 1, m};
      return {};
    }
  return {};
}

// [begin, end) of the ACAD XDATA within own tags; begin == end when absent.
std::pair<std::size_t, std::size_t> acadRange(Tags own) {
  for (std::size_t i = 0; i < own.size(); ++i)
    if (own[i].code == 1001 && equalsNoCase(trimmed(own[i].value), "ACAD")) {
      std::size_t j = i + 1;
      while (j < own.size() && own[j].code != 1001) ++j;
      return {i, j};
    }
  return {own.size(), own.size()};
}

double normAngle(double a) {
  a = std::fmod(a, 2 * kPi);
  if (a < 0) a += 2 * kPi;
  return a;
}

}  // namespace

bool isDimensionType(std::string_view type) {
  return type == "DIMENSION" || type == "ARC_DIMENSION" ||
         type == "LARGE_RADIAL_DIMENSION";
}

DimKind dimKind(std::string_view type, Tags tags) {
  if (type == "ARC_DIMENSION") return DimKind::Arc;
  if (type == "LARGE_RADIAL_DIMENSION") return DimKind::RadialLarge;
  if (type != "DIMENSION") return DimKind::Unknown;
  switch (integer(tags, 70, 0) & 0x0F) {
    case 0:
      return DimKind::Rotated;
    case 1:
      return DimKind::Aligned;
    case 2:
      return DimKind::Angular2Line;
    case 3:
      return DimKind::Diametric;
    case 4:
      return DimKind::Radial;
    case 5:
      return DimKind::Angular3Point;
    case 6:
      return DimKind::Ordinate;
    default:
      return DimKind::Unknown;
  }
}

const DimVar* dimVarByName(std::string_view name) {
  std::string key = upperCase(name);
  if (key.starts_with("$")) key.erase(0, 1);
  for (const auto& v : kDimVars)
    if (key == v.name) return &v;
  return nullptr;
}

const DimVar* dimVarByCode(int code) {
  // The first entry of a code wins (DIMBLK by name before the handle).
  static const auto table = [] {
    std::array<const DimVar*, 400> t{};
    for (const auto& v : kDimVars)
      if (!t[static_cast<std::size_t>(v.code)])
        t[static_cast<std::size_t>(v.code)] = &v;
    return t;
  }();
  return code >= 0 && code < 400 ? table[static_cast<std::size_t>(code)]
                                 : nullptr;
}

std::vector<std::pair<int, DimValue>> dimOverrides(Tags tags) {
  std::vector<std::pair<int, DimValue>> out;
  Tags own = ownTags(tags);
  auto [a, b] = acadRange(own);
  DstyleList list = findDstyle(own, a, b);
  if (list.close == 0) return out;
  for (std::size_t k = list.open + 1; k + 1 < list.close; k += 2) {
    if (own[k].code != 1070) break;
    int code = static_cast<int>(parseInt(own[k].value).value_or(-1));
    const Tag& v = own[k + 1];
    DimValue value;
    if (v.code == 1040 || v.code == 1070 || v.code == 1071)
      value.number = parseReal(v.value).value_or(0);
    else
      value.text = std::string(v.value);
    out.emplace_back(code, std::move(value));
  }
  return out;
}

const TableEntry* dimStyleOf(const Drawing& d, Tags dimension) {
  const Tag* name = findTag(dimension, 3);
  std::string styleName = name ? d.text(trimmed(name->value)) : "STANDARD";
  if (styleName.empty()) styleName = "STANDARD";
  return d.tableEntry("DIMSTYLE", styleName);
}

DimValue headerDimVar(const Drawing& d, const DimVar& var) {
  if (auto h = d.header(std::string("$") + var.name); h && !h->empty())
    return fromTag(d, (*h)[0], var);
  // R12 drawings keep dimension precisions in the unit precisions.
  if (var.code == 271 || var.code == 272)
    if (auto h = d.header("$LUPREC"); h && !h->empty())
      return fromTag(d, (*h)[0], var);
  if (var.code == 179)
    if (auto h = d.header("$AUPREC"); h && !h->empty())
      return fromTag(d, (*h)[0], var);
  DimValue v;
  v.number = metricDrawing(d) ? var.metric : var.imperial;
  return v;
}

DimStyleView::DimStyleView(const Drawing& d, Tags dimension)
    : d_(d),
      overrides_(dimOverrides(dimension)),
      style_(dimStyleOf(d, dimension)) {
  if (style_) styleTags_ = ownTags(d.tags(style_->rec));
  headerSpeaks_ = headerSpeaksFor(d, style_);
}

bool headerSpeaksFor(const Drawing& d, const TableEntry* style) {
  // Without a record of its own the style has only the header to go by.
  if (!style) return true;
  std::string current = "STANDARD";
  if (auto h = d.header("$DIMSTYLE"); h && !h->empty())
    current = d.text(trimmed((*h)[0].value));
  if (equalsNoCase(style->name, current)) return true;
  // Some converters write empty records and keep the values in the header.
  for (const Tag& t : ownTags(d.tags(style->rec)))
    if (t.code != 70 && dimVarByCode(t.code)) return false;
  return true;
}

DimValue DimStyleView::value(const DimVar& var) const {
  for (const auto& [code, value] : overrides_)
    if (code == var.code) {
      DimValue v = value;
      if (var.type == DimVar::Text) v.text = d_.text(v.text);
      return v;
    }
  // Group 70 of a style record is its flags, not a variable.
  if (style_ && var.code != 70)
    if (const Tag* t = findTag(styleTags_, var.code))
      return fromTag(d_, *t, var);
  // The header's $DIMxxx belong to the current style only; another style's
  // record leaves out what equals the CAD program's own default. R12
  // records could not hold the precisions, which R12 took from the units.
  bool r12Precision = d_.release() < 1012 &&
                      (var.code == 271 || var.code == 272 || var.code == 179);
  if (headerSpeaks_ || r12Precision) return headerDimVar(d_, var);
  DimValue v;
  v.number = var.imperial;
  return v;
}

double DimStyleView::number(int code) const {
  const DimVar* var = dimVarByCode(code);
  return var ? value(*var).number : 0.0;
}

DimValue effectiveDimVar(const Drawing& d, Tags dimension, const DimVar& var) {
  return DimStyleView(d, dimension).value(var);
}

double effectiveNumber(const Drawing& d, Tags dimension,
                       std::string_view name) {
  const DimVar* var = dimVarByName(name);
  return var ? effectiveDimVar(d, dimension, *var).number : 0.0;
}

std::optional<double> geometricMeasurement(Tags dimension, DimKind kind) {
  Tags own = ownTags(dimension);
  Ocs ocs = ocsOf(own);
  auto P = [&](int code) -> std::optional<Point> {
    auto p = point(own, code);
    if (!p) return std::nullopt;
    return ocs.fromWcs(*p);
  };
  switch (kind) {
    case DimKind::Rotated: {
      auto a = P(13), b = P(14);
      if (!a || !b) return std::nullopt;
      double angle = real(own, 50, 0) * kPi / 180;
      Point d = sub(*b, *a);
      return std::fabs(d[0] * std::cos(angle) + d[1] * std::sin(angle));
    }
    case DimKind::Aligned: {
      auto a = P(13), b = P(14);
      if (!a || !b) return std::nullopt;
      return distance2d(*a, *b);
    }
    case DimKind::Radial:
    case DimKind::Diametric: {
      auto a = P(10), b = P(15);
      if (!a || !b) return std::nullopt;
      return distance2d(*a, *b);
    }
    case DimKind::RadialLarge: {
      auto a = P(10), b = P(13);
      if (!a || !b) return std::nullopt;
      return distance2d(*a, *b);
    }
    case DimKind::Ordinate: {
      auto origin = P(10), feature = P(13);
      if (!origin || !feature) return std::nullopt;
      // Group 51 is the negative angle of the UCS X axis in the OCS.
      double axis = -real(own, 51, 0) * kPi / 180;
      Point v = sub(*feature, *origin);
      bool xType = (integer(own, 70, 0) & 64) != 0;
      double along = xType ? v[0] * std::cos(axis) + v[1] * std::sin(axis)
                           : -v[0] * std::sin(axis) + v[1] * std::cos(axis);
      return std::fabs(along);
    }
    case DimKind::Angular2Line: {
      auto a1 = P(13), a2 = P(14), b1 = P(15), b2 = P(10);
      auto arc = point(own, 16);  // already in OCS
      if (!a1 || !a2 || !b1 || !b2) return std::nullopt;
      Point u = sub(*a2, *a1), v = sub(*b2, *b1);
      double det = u[0] * v[1] - u[1] * v[0];
      double lu = std::hypot(u[0], u[1]), lv = std::hypot(v[0], v[1]);
      if (lu < 1e-12 || lv < 1e-12 || std::fabs(det) < 1e-12 * lu * lv)
        return std::nullopt;
      double t = ((*b1)[0] - (*a1)[0]) * v[1] - ((*b1)[1] - (*a1)[1]) * v[0];
      t /= det;
      Point c{(*a1)[0] + u[0] * t, (*a1)[1] + u[1] * t, 0};
      double r1 = normAngle(std::atan2(u[1], u[0]));
      double r2 = normAngle(std::atan2(v[1], v[0]));
      if (!arc || distance2d(*arc, c) < 1e-12) {
        double between = std::fabs(r2 - r1);
        if (between > kPi) between = 2 * kPi - between;
        return between;
      }
      // The two lines make four sectors; the arc point picks one.
      double alpha = normAngle(std::atan2((*arc)[1] - c[1], (*arc)[0] - c[0]));
      double rays[4] = {r1, normAngle(r1 + kPi), r2, normAngle(r2 + kPi)};
      double best = 2 * kPi, span = 0;
      for (double from : rays) {
        double ahead = normAngle(alpha - from);
        // the nearest ray clockwise of alpha starts the sector
        if (ahead < best) {
          best = ahead;
          double next = 2 * kPi;
          for (double to : rays) {
            double d = normAngle(to - from);
            if (d > 1e-15 && d < next) next = d;
          }
          span = next;
        }
      }
      return span;
    }
    case DimKind::Angular3Point:
    case DimKind::Arc: {
      auto p1 = P(13), p2 = P(14), vertex = P(15), arc = P(10);
      if (!p1 || !p2 || !vertex) return std::nullopt;
      Point d1 = sub(*p1, *vertex), d2 = sub(*p2, *vertex);
      if (std::hypot(d1[0], d1[1]) < 1e-12 || std::hypot(d2[0], d2[1]) < 1e-12)
        return std::nullopt;
      double a1 = std::atan2(d1[1], d1[0]), a2 = std::atan2(d2[1], d2[0]);
      double sweep = normAngle(a2 - a1);
      double angle = sweep;
      if (arc && distance2d(*arc, *vertex) > 1e-12) {
        double alpha =
            std::atan2((*arc)[1] - (*vertex)[1], (*arc)[0] - (*vertex)[0]);
        if (normAngle(alpha - a1) > sweep) angle = 2 * kPi - sweep;
      } else if (sweep > kPi) {
        angle = 2 * kPi - sweep;
      }
      if (kind == DimKind::Arc) return angle * std::hypot(d1[0], d1[1]);
      return angle;
    }
    case DimKind::Unknown:
      break;
  }
  return std::nullopt;
}

double dimMeasurement(const Drawing& d, Tags dimension, DimKind kind) {
  Tags own = ownTags(dimension);
  std::optional<double> geo = geometricMeasurement(own, kind);
  std::optional<double> stored = real(own, 42);
  auto agrees = [](double a, double b) {
    return std::fabs(a - b) <= 1e-9 + 1e-7 * std::fabs(b);
  };
  if (isAngular(kind)) {
    if (geo) return stored && agrees(*stored, *geo) ? *stored : *geo;
    return stored && *stored > 0 ? *stored : 0.0;
  }
  // A negative DIMLFAC applies in paper space only.
  double lfac = DimStyleView(d, own).number(144);  // DIMLFAC
  if (lfac <= 0 || !std::isfinite(lfac)) lfac = 1;
  if (geo) {
    if (stored && agrees(*stored, *geo)) return *stored * lfac;
    if (stored && agrees(*stored, *geo * lfac)) return *stored;
    return *geo * lfac;
  }
  return stored && *stored > 0 ? *stored * lfac : 0.0;
}

int toleranceDisplay(const Drawing& d, Tags dimension) {
  DimStyleView style(d, ownTags(dimension));
  if (style.number(72) != 0) return 3;  // DIMLIM
  if (style.number(71) != 0) {          // DIMTOL
    double tp = style.number(47), tm = style.number(48);
    return std::fabs(tp - tm) <= 1e-12 * std::max(1.0, std::fabs(tp)) ? 1 : 2;
  }
  if (style.number(147) < 0) return 4;  // a negative DIMGAP boxes the text
  return 0;
}

std::optional<double> drawnTextHeight(const Drawing& d, Tags dimension) {
  std::string name = textValue(d, ownTags(dimension), 2);
  const Block* block = name.empty() ? nullptr : d.block(name);
  if (!block) return std::nullopt;
  // The measurement is one MTEXT from R13 on; R12 draws it and each
  // tolerance line as TEXTs, the tolerances no larger than the measurement.
  double tallest = 0;
  for (const auto& e : block->entities) {
    if (e->type != "MTEXT" && e->type != "TEXT") continue;
    double h = real(ownTags(d.tags(e->rec)), 40, 0);
    if (!(h > 0) || !std::isfinite(h)) continue;
    if (e->type == "MTEXT") return h;
    tallest = std::max(tallest, h);
  }
  if (tallest > 0) return tallest;
  return std::nullopt;
}

namespace {

// The scale of the first paper-space viewport whose view holds the point:
// model units per paper unit.
std::optional<double> viewportScale(const Drawing& d, const Point& p) {
  auto fits = [&](const Entity& e) -> std::optional<double> {
    Tags t = ownTags(d.tags(e.rec));
    // Viewport 1 is the sheet itself.
    if (integer(t, 69, 0) == 1) return std::nullopt;
    double w = real(t, 40, 0), h = real(t, 41, 0), view = real(t, 45, 0);
    if (!(w > 0 && h > 0 && view > 0) || !std::isfinite(view))
      return std::nullopt;
    Point centre = point(t, 12).value_or(Point{0, 0, 0});
    Point target = point(t, 17).value_or(Point{0, 0, 0});
    double twist = -real(t, 51, 0) * kPi / 180;
    Point q = sub(p, target);
    double x = q[0] * std::cos(twist) - q[1] * std::sin(twist);
    double y = q[0] * std::sin(twist) + q[1] * std::cos(twist);
    double halfH = view / 2, halfW = halfH * w / h;
    if (std::fabs(x - centre[0]) > halfW || std::fabs(y - centre[1]) > halfH)
      return std::nullopt;
    return view / h;
  };
  // Asked only for dimensions that scale to the layout.
  for (const auto& e : d.entities())
    if (e->paperSpace && !e->rec.erased && e->type == "VIEWPORT")
      if (auto s = fits(*e)) return s;
  for (const auto& b : d.blocks())
    if (upperCase(b->name).starts_with("*PAPER_SPACE"))
      for (const auto& e : b->entities)
        if (e->type == "VIEWPORT")
          if (auto s = fits(*e)) return s;
  return std::nullopt;
}

// The dimension's text height before the dimension scale: its text style's
// fixed height, else DIMTXT. The CAD scales either by DIMSCALE.
double unscaledTextHeight(const Drawing& d, const DimStyleView& view) {
  const TableEntry* style = nullptr;
  // Overrides and style records name the text style by handle, the header
  // by name.
  for (const auto& [code, value] : view.overrides())
    if (code == 340)
      if (auto h = parseHandle(value.text)) style = d.entryByHandle(*h);
  if (!style && view.style())
    if (const Tag* t = findTag(ownTags(d.tags(view.style()->rec)), 340))
      if (auto h = parseHandle(t->value)) style = d.entryByHandle(*h);
  if (!style) {
    std::string name = "STANDARD";
    if (auto h = d.header("$DIMTXSTY"); h && !h->empty() && view.headerSpeaks())
      name = d.text(trimmed((*h)[0].value));
    style = d.tableEntry("STYLE", name);
  }
  if (style) {
    double fixed = real(ownTags(d.tags(style->rec)), 40, 0);
    if (fixed > 0 && std::isfinite(fixed)) return fixed;
  }
  return view.number(140);  // DIMTXT
}

double scaleOf(const Drawing& d, Tags own, const DimStyleView& view) {
  double scale = view.number(40);  // DIMSCALE
  if (std::isfinite(scale) && scale != 0) return std::fabs(scale);
  // 0 scales to the layout: the viewport that shows the dimension tells,
  // else what the CAD program drew.
  // The text point is in the entity's OCS, the definition point in WCS.
  Point at = point(own, 10).value_or(Point{0, 0, 0});
  if (auto text = point(own, 11)) at = ocsOf(own).toWcs(*text);
  if (auto s = viewportScale(d, at)) return *s;
  double unscaled = unscaledTextHeight(d, view);
  if (auto drawn = drawnTextHeight(d, own); drawn && unscaled > 0)
    return *drawn / unscaled;
  return 1;
}

}  // namespace

double dimScale(const Drawing& d, Tags dimension) {
  Tags own = ownTags(dimension);
  return scaleOf(d, own, DimStyleView(d, own));
}

double dimTextHeight(const Drawing& d, Tags dimension) {
  Tags own = ownTags(dimension);
  DimStyleView view(d, own);
  return unscaledTextHeight(d, view) * scaleOf(d, own, view);
}

void setDimOverride(Drawing& d, std::vector<Tag>& tags, const DimVar& var,
                    std::string_view value) {
  int valueCode = var.type == DimVar::Real   ? 1040
                  : var.type == DimVar::Int  ? 1070
                  : var.type == DimVar::Text ? 1000
                                             : 1005;
  std::size_t ownEnd = ownTags(Tags(tags)).size();
  Tags own(tags.data(), ownEnd);
  auto [a, b] = acadRange(own);
  Tag codeTag{1070, -1, d.keep(std::to_string(var.code))};
  Tag valueTag{valueCode, -1, d.keep(value)};
  auto at = [&](std::size_t k) { return tags.begin() + static_cast<long>(k); };
  if (a == b) {
    tags.insert(at(ownEnd),
                {Tag{1001, -1, d.keep("ACAD")}, Tag{1000, -1, d.keep("DSTYLE")},
                 Tag{1002, -1, d.keep("{")}, codeTag, valueTag,
                 Tag{1002, -1, d.keep("}")}});
    return;
  }
  DstyleList list = findDstyle(own, a, b);
  if (list.close == 0) {
    tags.insert(at(b),
                {Tag{1000, -1, d.keep("DSTYLE")}, Tag{1002, -1, d.keep("{")},
                 codeTag, valueTag, Tag{1002, -1, d.keep("}")}});
    return;
  }
  for (std::size_t k = list.open + 1; k + 1 < list.close; k += 2)
    if (tags[k].code == 1070 && parseInt(tags[k].value) == var.code) {
      tags[k + 1] = valueTag;
      return;
    }
  tags.insert(at(list.close), {codeTag, valueTag});
}

}  // namespace cadhost::engine
