// Dimensions: drawn from their geometry block while it still shows the
// entity (moved blocks follow, outdated texts are replaced), and from the
// definition points when there is no block or it no longer fits.
#include <cmath>
#include <cstdio>
#include <numbers>

#include "cadhost/engine/dimension.h"
#include "cadhost/engine/geometry.h"
#include "cadhost/viewer/palette.h"
#include "cadhost/viewer/scene_builder.h"

namespace cadhost::viewer {

using engine::DimKind;
using engine::Tag;
using engine::Tags;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kMaxDepth = 16;

double num(const engine::Drawing& d, Tags own, const char* name) {
  return engine::effectiveNumber(d, own, name);
}

// A number as the dimension style writes it: fixed decimals, zeros
// suppressed as DIMZIN asks (4 leading, 8 trailing), its decimal sign.
std::string formatNumber(double v, int decimals, int zin, int separator) {
  decimals = std::clamp(decimals, 0, 8);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-')
    s.erase(0, 1);  // no "-0.00"
  if ((zin & 8) && s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (zin & 4) {
    if (s.rfind("0.", 0) == 0 && s.size() > 2) s.erase(0, 1);
    if (s.rfind("-0.", 0) == 0 && s.size() > 3) s.erase(1, 1);
  }
  if (s.empty() || s == "-") s = "0";
  if (separator != '.' && separator > 0 && separator < 128)
    for (char& ch : s)
      if (ch == '.') ch = static_cast<char>(separator);
  return s;
}

std::string signedNumber(double v, int decimals, int zin, int separator) {
  std::string s = formatNumber(std::fabs(v), decimals, zin, separator);
  if (s.find_first_not_of("0.,") == std::string::npos) return s;
  return (v < 0 ? "-" : "+") + s;
}

std::string dimText(const engine::Drawing& d, Tags t, const char* name) {
  const engine::DimVar* var = engine::dimVarByName(name);
  return var ? engine::effectiveDimVar(d, t, *var).text : std::string();
}

}  // namespace

std::string dimensionValue(const engine::Drawing& d, std::string_view type,
                           Tags tags) {
  Tags own = engine::ownTags(tags);
  DimKind kind = engine::dimKind(type, own);
  double m = engine::dimMeasurement(d, own, kind);
  int separator = static_cast<int>(num(d, own, "DIMDSEP"));
  if (separator <= 0) separator = '.';
  if (engine::isAngular(kind)) {
    int dec = static_cast<int>(num(d, own, "DIMADEC"));
    if (dec < 0) dec = static_cast<int>(num(d, own, "DIMDEC"));
    int azin = static_cast<int>(num(d, own, "DIMAZIN"));
    int zin = ((azin & 1) ? 4 : 0) | ((azin & 2) ? 8 : 0);
    return formatNumber(m * 180 / kPi, dec, zin, separator) + "%%d";
  }
  double rnd = num(d, own, "DIMRND");
  if (rnd > 0) m = std::round(m / rnd) * rnd;
  return formatNumber(m, static_cast<int>(num(d, own, "DIMDEC")),
                      static_cast<int>(num(d, own, "DIMZIN")), separator);
}

std::string dimensionText(const engine::Drawing& d, std::string_view type,
                          Tags tags) {
  Tags own = engine::ownTags(tags);
  DimKind kind = engine::dimKind(type, own);
  int separator = static_cast<int>(num(d, own, "DIMDSEP"));
  if (separator <= 0) separator = '.';
  std::string value = dimensionValue(d, type, own);
  double limitsBase = engine::dimMeasurement(d, own, kind);
  if (engine::isAngular(kind)) limitsBase *= 180 / kPi;
  auto tolDec = static_cast<int>(num(d, own, "DIMTDEC"));
  auto tolZin = static_cast<int>(num(d, own, "DIMTZIN"));
  std::string prefix;
  if (kind == DimKind::Diametric) prefix = "%%c";
  if (kind == DimKind::Radial || kind == DimKind::RadialLarge) prefix = "R";
  int mode = engine::toleranceDisplay(d, own);
  double tp = num(d, own, "DIMTP"), tm = num(d, own, "DIMTM");
  double tfac = num(d, own, "DIMTFAC");
  if (!(tfac > 0)) tfac = 1;
  char fac[32];
  std::snprintf(fac, sizeof fac, "%g", tfac);
  if (mode == 3) {
    value = std::string("{\\H") + fac + "x;\\S" +
            formatNumber(limitsBase + tp, tolDec, tolZin, separator) + "^" +
            formatNumber(limitsBase - tm, tolDec, tolZin, separator) + ";}";
  }
  std::string post = dimText(d, own, "DIMPOST");
  std::string body = prefix + value;
  if (!post.empty()) {
    std::size_t at = post.find("<>");
    body = at == std::string::npos
               ? body + post
               : post.substr(0, at) + body + post.substr(at + 2);
  }
  std::string override = engine::textValue(d, own, 1);
  if (override == " ") return {};
  if (!override.empty()) {
    std::size_t at = override.find("<>");
    body = at == std::string::npos
               ? override
               : override.substr(0, at) + body + override.substr(at + 2);
  }
  if (mode == 1) {
    body += "%%p" + formatNumber(tp, tolDec, tolZin, separator);
  } else if (mode == 2) {
    body += std::string("{\\H") + fac + "x;\\S" +
            signedNumber(tp, tolDec, tolZin, separator) + "^" +
            signedNumber(-tm, tolDec, tolZin, separator) + ";}";
  }
  return body;
}

namespace {

bool samePoint(Vec2 a, Vec2 b) {
  double tol = 1e-9 * (1 + std::fabs(a.x) + std::fabs(a.y));
  return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol;
}

// Whether `now` is `before` moved by one vector (found in *delta); the
// geometry block then still shows the dimension, moved by that vector.
bool movedRigidly(Tags before, Tags now, Vec2* delta) {
  auto p0 = engine::point(before, 10), q0 = engine::point(now, 10);
  if (!p0 || !q0) return false;
  *delta = {(*q0)[0] - (*p0)[0], (*q0)[1] - (*p0)[1]};
  for (int code : {11, 12, 13, 14, 15, 16, 17}) {
    auto p = engine::point(before, code), q = engine::point(now, code);
    if (!p && !q) continue;
    if (!p || !q) return false;
    if (!samePoint({(*p)[0] + delta->x, (*p)[1] + delta->y},
                   {(*q)[0], (*q)[1]}))
      return false;
  }
  auto m0 = engine::real(before, 42), m1 = engine::real(now, 42);
  if (m0.has_value() != m1.has_value()) return false;
  if (m0 && std::fabs(*m0 - *m1) > 1e-9 * (1 + std::fabs(*m0))) return false;
  return true;
}

Vec2 wpt(Tags own, int code, const engine::Ocs& ocs, bool inOcs,
         Vec2 fallback = {0, 0}) {
  auto p = engine::point(own, code);
  if (!p) return fallback;
  cadhost::Point w = inOcs ? ocs.toWcs(*p) : *p;
  return {w[0], w[1]};
}

Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
Vec2 operator*(Vec2 a, double f) { return {a.x * f, a.y * f}; }
double dotp(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
double len(Vec2 a) { return std::hypot(a.x, a.y); }
Vec2 unit(Vec2 a) {
  double l = len(a);
  return l > 1e-300 ? a * (1 / l) : Vec2{1, 0};
}

double normAngle(double a) {
  a = std::fmod(a, 2 * kPi);
  return a < 0 ? a + 2 * kPi : a;
}

// Readable text: turned so that it never reads upside down.
double readable(double a) {
  a = normAngle(a);
  if (a > kPi / 2 + 1e-9 && a <= 3 * kPi / 2 + 1e-9) a -= kPi;
  return a;
}

}  // namespace

void Scene::Builder::dimension(std::string_view type, Tags tags, Tags original,
                               const Context& c) {
  Tags own = engine::ownTags(tags);
  Style s;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, s, &l)) return;
  const engine::Block* b =
      c.depth < kMaxDepth ? d->block(engine::textValue(*d, own, 2)) : nullptr;
  if (b) {
    bool any = false;
    for (const auto& e : b->entities) any = any || !e->rec.erased;
    if (!any) b = nullptr;
  }
  bool edited = !original.empty() && original.data() != tags.data();
  Tags before = edited ? engine::ownTags(original) : own;
  Vec2 delta{0, 0};
  bool blockFits = b && (!edited || movedRigidly(before, own, &delta));
  std::string text = dimensionText(*d, type, own);
  Context child = c;
  auto colourOf = [](Tags t) {
    const Tag* tc = engine::findTag(t, 420);
    return std::pair(engine::integer(t, 62, 256),
                     tc ? std::string(tc->value) : std::string());
  };
  if (edited && colourOf(before) != colourOf(own)) child.wholeColor = s.color;
  if (!blockFits) {
    dimensionFromPoints(type, own, child, s);
    return;
  }
  child.byBlock = s.color;
  child.parentLayer = l;
  child.plot = s.plot;
  std::string shown, value = dimensionValue(*d, type, own);
  child.dimensionText = nullptr;
  child.dimensionValue = &value;
  if (edited && dimensionText(*d, type, before) != text) {
    shown = text;
    child.dimensionText = &shown;
  }
  Vec2 at = engine::point(before, 12) ? Vec2{(*engine::point(before, 12))[0],
                                             (*engine::point(before, 12))[1]}
                                      : Vec2{0, 0};
  Affine m = c.xf * Affine::translate(at + delta);
  Context inner = child;
  inner.xf = m;
  inner.depth = c.depth + 1;
  inner.dimensionBlock = true;
  for (const auto& e : b->entities) {
    if (overBudget()) return;
    ++visits;
    if (e->rec.erased || e->badGeometry || e->type == "ATTDEF") continue;
    record(e->type, d->tags(e->rec), inner);
  }
}

void Scene::Builder::dimensionFromPoints(std::string_view type, Tags own,
                                         const Context& c, const Style& s) {
  DimKind kind = engine::dimKind(type, own);
  engine::Ocs ocs = engine::ocsOf(own);
  double scale = engine::dimScale(*d, own);
  double asz = num(*d, own, "DIMASZ") * scale;
  double exo = num(*d, own, "DIMEXO") * scale;
  double exe = num(*d, own, "DIMEXE") * scale;
  double tsz = num(*d, own, "DIMTSZ") * scale;
  double txt = engine::dimTextHeight(*d, own);
  std::string arrowKind = dimText(*d, own, "DIMBLK");
  if (arrowKind.empty())
    if (const engine::DimVar* v = engine::dimVarByCode(342)) {
      auto h = engine::parseHandle(engine::effectiveDimVar(*d, own, *v).text);
      if (h)
        if (const engine::TableEntry* e = d->entryByHandle(*h))
          arrowKind = e->name;
    }
  if (tsz > 0) {
    arrowKind = "_OBLIQUE";
    asz = tsz * 2;
  }
  const LayerInfo& l = layer(engine::textValue(*d, own, 8));
  auto part = [&](const char* var) {
    Style ps = s;
    int aci = static_cast<int>(num(*d, own, var));
    if (aci != 0 && !c.wholeColor) ps.color = colorOf(aci, c, l);
    return ps;
  };
  Style dimLine = part("DIMCLRD"), extLine = part("DIMCLRE"),
        textStyle = part("DIMCLRT");
  const Affine& xf = c.xf;
  auto seg = [&](Vec2 a, Vec2 b2, const Style& st) {
    scene.addLine(xf(a), xf(b2), st);
  };
  auto arrowAt = [&](Vec2 tip, Vec2 dir) {
    Vec2 t = xf(tip);
    Vec2 dd = xf.linear(dir);
    arrow(t, dd, asz * xf.scale(), arrowKind, dimLine);
  };
  auto extension = [&](Vec2 from, Vec2 to) {
    Vec2 v = to - from;
    if (len(v) < 1e-12) return;
    Vec2 e = unit(v);
    seg(from + e * exo, to + e * exe, extLine);
  };
  auto arcBetween = [&](Vec2 center, double r, double a0, double sweep) {
    arc(center, r, a0, sweep, xf, dimLine);
    Vec2 p0 = center + Vec2{std::cos(a0), std::sin(a0)} * r;
    Vec2 p1 = center + Vec2{std::cos(a0 + sweep), std::sin(a0 + sweep)} * r;
    Vec2 t0{-std::sin(a0), std::cos(a0)};
    Vec2 t1{-std::sin(a0 + sweep), std::cos(a0 + sweep)};
    arrowAt(p0, t0 * -1);
    arrowAt(p1, t1);
  };
  // The sector of the ray pair that holds `where`, from `from` counter-
  // clockwise.
  auto sector = [](double a1, double a2, double where, double* start,
                   double* sweep) {
    double sw = normAngle(a2 - a1);
    if (normAngle(where - a1) <= sw) {
      *start = a1;
      *sweep = sw;
    } else {
      *start = a2;
      *sweep = 2 * kPi - sw;
    }
  };

  Vec2 p10 = wpt(own, 10, ocs, false), p13 = wpt(own, 13, ocs, false),
       p14 = wpt(own, 14, ocs, false), p15 = wpt(own, 15, ocs, false);
  bool hasText = engine::point(own, 11).has_value();
  Vec2 p11 = wpt(own, 11, ocs, true);
  double textAngle = 0;
  Vec2 textAt = p11;
  switch (kind) {
    case DimKind::Rotated:
    case DimKind::Aligned: {
      double angle = kind == DimKind::Rotated
                         ? engine::real(own, 50, 0) * kPi / 180
                         : std::atan2(p14.y - p13.y, p14.x - p13.x);
      Vec2 u{std::cos(angle), std::sin(angle)};
      Vec2 d1 = p10 + u * dotp(p13 - p10, u);
      Vec2 d2 = p10 + u * dotp(p14 - p10, u);
      if (!num(*d, own, "DIMSE1")) extension(p13, d1);
      if (!num(*d, own, "DIMSE2")) extension(p14, d2);
      seg(d1, d2, dimLine);
      if (len(d2 - d1) > 1e-12) {
        arrowAt(d1, d1 - d2);
        arrowAt(d2, d2 - d1);
      }
      textAngle = readable(angle);
      if (!hasText) textAt = (d1 + d2) * 0.5;
      break;
    }
    case DimKind::Radial:
    case DimKind::RadialLarge: {
      Vec2 center = p10, chord = kind == DimKind::Radial ? p15 : p13;
      Vec2 from = hasText ? p11 : center;
      if (kind == DimKind::RadialLarge) {
        Vec2 jog = p15, over = p14;
        scene.addPolyline({xf(over), xf(jog), xf(chord)}, false, dimLine);
      } else {
        seg(from, chord, dimLine);
      }
      arrowAt(chord, chord - center);
      if (!hasText) textAt = (center + chord) * 0.5;
      break;
    }
    case DimKind::Diametric: {
      seg(p10, p15, dimLine);
      arrowAt(p15, p15 - p10);
      arrowAt(p10, p10 - p15);
      if (!hasText) textAt = (p10 + p15) * 0.5;
      break;
    }
    case DimKind::Angular2Line: {
      Vec2 p16 = wpt(own, 16, ocs, true);
      Vec2 u = p14 - p13, v = p10 - p15;
      double det = u.x * v.y - u.y * v.x;
      if (std::fabs(det) < 1e-12 * (len(u) * len(v) + 1e-300)) break;
      double t = ((p15.x - p13.x) * v.y - (p15.y - p13.y) * v.x) / det;
      Vec2 center = p13 + u * t;
      double r = len(p16 - center);
      double alpha = std::atan2(p16.y - center.y, p16.x - center.x);
      double rays[4] = {normAngle(std::atan2(u.y, u.x)),
                        normAngle(std::atan2(u.y, u.x) + kPi),
                        normAngle(std::atan2(v.y, v.x)),
                        normAngle(std::atan2(v.y, v.x) + kPi)};
      double best = 10, start = 0, sweep = 0;
      for (double from : rays) {
        double ahead = normAngle(alpha - from);
        if (ahead < best) {
          best = ahead;
          double next = 2 * kPi;
          for (double to : rays) {
            double dd = normAngle(to - from);
            if (dd > 1e-12 && dd < next) next = dd;
          }
          start = from;
          sweep = next;
        }
      }
      if (r > 0) arcBetween(center, r, start, sweep);
      if (!hasText)
        textAt =
            center +
            Vec2{std::cos(start + sweep / 2), std::sin(start + sweep / 2)} * r;
      break;
    }
    case DimKind::Angular3Point:
    case DimKind::Arc: {
      Vec2 vertex = p15, where = p10;
      if (kind == DimKind::Arc) where = wpt(own, 10, ocs, false);
      double r = len(where - vertex);
      double a1 = std::atan2(p13.y - vertex.y, p13.x - vertex.x);
      double a2 = std::atan2(p14.y - vertex.y, p14.x - vertex.x);
      double start = 0, sweep = 0;
      sector(a1, a2, std::atan2(where.y - vertex.y, where.x - vertex.x), &start,
             &sweep);
      if (r > 0) {
        for (Vec2 p : {p13, p14}) {
          Vec2 dir = unit(p - vertex);
          if (len(p - vertex) < r) extension(p, vertex + dir * r);
        }
        arcBetween(vertex, r, start, sweep);
      }
      if (!hasText)
        textAt =
            vertex +
            Vec2{std::cos(start + sweep / 2), std::sin(start + sweep / 2)} * r;
      break;
    }
    case DimKind::Ordinate: {
      seg(p13, p14, extLine);
      if (!hasText) textAt = p14;
      break;
    }
    case DimKind::Unknown:
      break;
  }
  if (auto rot = engine::real(own, 53); rot && *rot != 0)
    textAngle = *rot * kPi / 180;
  std::string content = dimensionText(*d, type, own);
  if (content.empty() || !(txt > 0)) return;
  MTextSpec spec;
  spec.content = content;
  spec.height = txt;
  spec.attachment = 5;
  spec.widthFactor = 1;
  Affine frame = xf * Affine::translate(textAt) * Affine::rotate(textAngle);
  mtext(spec, frame, textStyle, c, l);
}

}  // namespace cadhost::viewer
