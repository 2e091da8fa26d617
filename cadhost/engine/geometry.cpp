#include "cadhost/engine/geometry.h"

#include <algorithm>
#include <map>
#include <numbers>
#include <set>
#include <string>

namespace cadhost::engine {

Ocs::Ocs(const Point& extrusion) {
  double len = length(extrusion);
  if (len < 1e-12) return;
  Point n = mul(extrusion, 1.0 / len);
  if (std::fabs(n[0]) < 1e-12 && std::fabs(n[1]) < 1e-12 && n[2] > 0) return;
  world_ = false;
  az_ = n;
  // The arbitrary axis algorithm of the DXF reference.
  const double limit = 1.0 / 64.0;
  Point ax = (std::fabs(n[0]) < limit && std::fabs(n[1]) < limit)
                 ? cross(Point{0, 1, 0}, n)
                 : cross(Point{0, 0, 1}, n);
  ax_ = mul(ax, 1.0 / length(ax));
  ay_ = cross(n, ax_);
  ay_ = mul(ay_, 1.0 / length(ay_));
}

Point Ocs::toWcs(const Point& p) const {
  if (world_) return p;
  return add(add(mul(ax_, p[0]), mul(ay_, p[1])), mul(az_, p[2]));
}

Point Ocs::fromWcs(const Point& p) const {
  if (world_) return p;
  return {dot(p, ax_), dot(p, ay_), dot(p, az_)};
}

double reduceAngle(double radians) {
  constexpr double kTurn = 2 * std::numbers::pi;
  double a = std::fmod(radians, kTurn);  // exact, whatever the size
  if (a < 0) a += kTurn;
  return a >= kTurn ? 0.0 : a;  // -1e-17 + 2π rounds to 2π; NaN stays
}

double sweepBetween(double startRadians, double endRadians) {
  constexpr double kTurn = 2 * std::numbers::pi;
  double sweep = reduceAngle(endRadians) - reduceAngle(startRadians);
  if (sweep <= 1e-12) sweep += kTurn;
  return sweep;
}

double reduceDegrees(double degrees) {
  double a = std::fmod(degrees, 360.0);
  if (a < 0) a += 360.0;
  return a >= 360.0 ? 0.0 : a;
}

Ocs ocsOf(Tags tags) {
  auto n = point(tags, 210);
  return n ? Ocs(*n) : Ocs();
}

void Bounds::add(const Point& p) {
  if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
    return;
  for (int k = 0; k < 3; ++k) {
    min[k] = std::min(min[k], p[k]);
    max[k] = std::max(max[k], p[k]);
  }
}

void Bounds::add(const Bounds& b) {
  if (b.empty()) return;
  add(b.min);
  add(b.max);
}

// ------------------------------------------------------------ tag editing

namespace {

enum class Space { Wcs, Ocs, Vector, Ocs2d };

struct PointCode {
  int code;
  Space space;
};

struct Kind {
  std::vector<PointCode> points;
  std::vector<int> lengths;  // values that scale with the entity
};

const Kind* kindOf(std::string_view type, Tags sub, bool polyline3d) {
  static const std::map<std::string, Kind, std::less<>> kinds = {
      {"LINE", {{{10, Space::Wcs}, {11, Space::Wcs}}, {}}},
      {"POINT", {{{10, Space::Wcs}}, {}}},
      {"CIRCLE", {{{10, Space::Ocs}}, {40}}},
      {"ARC", {{{10, Space::Ocs}}, {40}}},
      {"TEXT", {{{10, Space::Ocs}, {11, Space::Ocs}}, {40}}},
      {"ATTRIB", {{{10, Space::Ocs}, {11, Space::Ocs}}, {40}}},
      {"ATTDEF", {{{10, Space::Ocs}, {11, Space::Ocs}}, {40}}},
      {"SHAPE", {{{10, Space::Ocs}}, {40}}},
      {"MTEXT", {{{10, Space::Wcs}}, {40, 41, 42, 43, 46}}},
      {"INSERT", {{{10, Space::Ocs}}, {41, 42, 43, 44, 45}}},
      {"LWPOLYLINE", {{{10, Space::Ocs2d}}, {40, 41, 43}}},
      {"ELLIPSE", {{{10, Space::Wcs}, {11, Space::Vector}}, {}}},
      {"SPLINE", {{{10, Space::Wcs}, {11, Space::Wcs}}, {}}},
      {"SOLID",
       {{{10, Space::Ocs},
         {11, Space::Ocs},
         {12, Space::Ocs},
         {13, Space::Ocs}},
        {}}},
      {"TRACE",
       {{{10, Space::Ocs},
         {11, Space::Ocs},
         {12, Space::Ocs},
         {13, Space::Ocs}},
        {}}},
      {"3DFACE",
       {{{10, Space::Wcs},
         {11, Space::Wcs},
         {12, Space::Wcs},
         {13, Space::Wcs}},
        {}}},
      {"LEADER", {{{10, Space::Wcs}}, {}}},
      {"TOLERANCE", {{{10, Space::Wcs}}, {}}},
      {"XLINE", {{{10, Space::Wcs}}, {}}},
      {"RAY", {{{10, Space::Wcs}}, {}}},
      {"IMAGE",
       {{{10, Space::Wcs}, {11, Space::Vector}, {12, Space::Vector}}, {}}},
      {"WIPEOUT",
       {{{10, Space::Wcs}, {11, Space::Vector}, {12, Space::Vector}}, {}}},
      {"DIMENSION",
       {{{10, Space::Wcs},
         {11, Space::Ocs},
         {12, Space::Ocs},
         {13, Space::Wcs},
         {14, Space::Wcs},
         {15, Space::Wcs},
         {16, Space::Ocs}},
        {40, 42}}},
      {"ARC_DIMENSION",
       {{{10, Space::Wcs},
         {11, Space::Ocs},
         {12, Space::Ocs},
         {13, Space::Wcs},
         {14, Space::Wcs},
         {15, Space::Wcs},
         {16, Space::Wcs},
         {17, Space::Wcs}},
        {42}}},
      {"LARGE_RADIAL_DIMENSION",
       {{{10, Space::Wcs},
         {11, Space::Ocs},
         {12, Space::Ocs},
         {13, Space::Wcs},
         {14, Space::Wcs},
         {15, Space::Wcs}},
        {42}}},
      {"SEQEND", {{}, {}}},
      {"POLYLINE", {{}, {40, 41}}},
      {"VERTEX2D", {{{10, Space::Ocs}}, {40, 41}}},
      {"VERTEX3D", {{{10, Space::Wcs}}, {}}},
  };
  std::string key(type);
  if (key == "VERTEX") key = polyline3d ? "VERTEX3D" : "VERTEX2D";
  (void)sub;
  auto it = kinds.find(key);
  return it == kinds.end() ? nullptr : &it->second;
}

std::string_view store(Arena& a, double v) { return a.store(formatReal(v)); }

// Applies f to every point with the code in the sub-record [from, to),
// skipping application groups and embedded objects.
template <typename F>
void forEachPoint(std::vector<Tag>& t, std::size_t from, std::size_t to,
                  int code, bool withZ, F f, Arena& a) {
  bool inGroup = false;
  for (std::size_t k = from; k < to; ++k) {
    if (t[k].code == 102) {
      inGroup = !t[k].value.empty() && t[k].value.front() == '{';
      continue;
    }
    if (inGroup) continue;
    if (t[k].code == 101 || t[k].code >= 1000) break;
    if (t[k].code != code) continue;
    Point p{parseReal(t[k].value).value_or(0), 0, 0};
    bool hasY = k + 1 < to && t[k + 1].code == code + 10;
    bool hasZ = withZ && hasY && k + 2 < to && t[k + 2].code == code + 20;
    if (hasY) p[1] = parseReal(t[k + 1].value).value_or(0);
    if (hasZ) p[2] = parseReal(t[k + 2].value).value_or(0);
    Point q = f(p);
    t[k] = Tag{code, -1, store(a, q[0])};
    if (hasY) t[k + 1] = Tag{code + 10, -1, store(a, q[1])};
    if (hasZ) t[k + 2] = Tag{code + 20, -1, store(a, q[2])};
  }
}

template <typename F>
void forEachValue(std::vector<Tag>& t, std::size_t from, std::size_t to,
                  int code, F f, Arena& a) {
  bool inGroup = false;
  for (std::size_t k = from; k < to; ++k) {
    if (t[k].code == 102) {
      inGroup = !t[k].value.empty() && t[k].value.front() == '{';
      continue;
    }
    if (inGroup) continue;
    if (t[k].code == 101 || t[k].code >= 1000) break;
    if (t[k].code != code) continue;
    if (auto v = parseReal(t[k].value)) t[k] = Tag{code, -1, store(a, f(*v))};
  }
}

struct SubRange {
  std::size_t from, to;
  std::string type;
};

std::vector<SubRange> splitSubRecords(const std::vector<Tag>& t) {
  std::vector<SubRange> out;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= t.size(); ++i)
    if (i == t.size() || t[i].code == 0) {
      out.push_back({start, i, upperCase(t[start].value)});
      start = i;
    }
  return out;
}

// Applies a point map (WCS) and a length factor to all sub-records.
// `vectorMap` maps direction vectors. Returns false for unknown kinds.
template <typename PointMap, typename VectorMap>
bool transform(std::string_view type, std::vector<Tag>& tags, PointMap pm,
               VectorMap vm, double lengthFactor, Arena& a) {
  auto subs = splitSubRecords(tags);
  if (subs.empty()) return false;
  bool polyline3d = false;
  if (type == "POLYLINE") {
    long long flags = integer(Tags(tags.data(), subs[0].to), 70, 0);
    polyline3d = (flags & (8 | 16 | 64)) != 0;
  }
  // Check every part first so that nothing changes when one is unknown.
  for (const auto& s : subs)
    if (!kindOf(s.type, {}, polyline3d)) return false;
  for (const auto& s : subs) {
    const Kind* kind = kindOf(s.type, {}, polyline3d);
    Ocs ocs = ocsOf(Tags(tags.data() + s.from, s.to - s.from));
    if (s.type == "POLYLINE" && !polyline3d) {
      // The polyline's own point only carries the elevation.
      forEachPoint(
          tags, s.from, s.to, 10, true,
          [&](const Point& p) {
            Point q = ocs.fromWcs(pm(ocs.toWcs(Point{0, 0, p[2]})));
            return Point{p[0], p[1], q[2]};
          },
          a);
    }
    for (const auto& pc : kind->points) {
      switch (pc.space) {
        case Space::Wcs:
          forEachPoint(tags, s.from, s.to, pc.code, true, pm, a);
          break;
        case Space::Vector:
          forEachPoint(tags, s.from, s.to, pc.code, true, vm, a);
          break;
        case Space::Ocs:
          forEachPoint(
              tags, s.from, s.to, pc.code, true,
              [&](const Point& p) { return ocs.fromWcs(pm(ocs.toWcs(p))); }, a);
          break;
        case Space::Ocs2d: {
          double elevation =
              real(Tags(tags.data() + s.from, s.to - s.from), 38, 0.0);
          forEachPoint(
              tags, s.from, s.to, pc.code, false,
              [&](const Point& p) {
                return ocs.fromWcs(pm(ocs.toWcs(Point{p[0], p[1], elevation})));
              },
              a);
          forEachValue(
              tags, s.from, s.to, 38,
              [&](double z) {
                return ocs.fromWcs(pm(ocs.toWcs(Point{0, 0, z})))[2];
              },
              a);
          break;
        }
      }
    }
    // Group 42 of an angular dimension is an angle.
    long long dimType =
        s.type == "DIMENSION"
            ? integer(Tags(tags.data() + s.from, s.to - s.from), 70, 0) & 15
            : -1;
    bool angularDimension = dimType == 2 || dimType == 5;
    if (lengthFactor != 1.0)
      for (int code : kind->lengths) {
        if (code == 42 && angularDimension) continue;
        forEachValue(
            tags, s.from, s.to, code,
            [&](double v) {
              // A measurement of -1 means "not computed" and stays so.
              if (code == 42 && v < 0) return v;
              return v * lengthFactor;
            },
            a);
      }
  }
  return true;
}

}  // namespace

bool translateEntity(std::string_view type, std::vector<Tag>& tags,
                     const Point& delta, Arena& arena) {
  return transform(
      type, tags, [&](const Point& p) { return add(p, delta); },
      [](const Point& v) { return v; }, 1.0, arena);
}

bool scaleEntity(std::string_view type, std::vector<Tag>& tags,
                 const Point& base, double factor, Arena& arena) {
  return transform(
      type, tags,
      [&](const Point& p) { return add(base, mul(sub(p, base), factor)); },
      [&](const Point& v) { return mul(v, factor); }, factor, arena);
}

// ------------------------------------------------------------ bounds

namespace {

constexpr double kPi = std::numbers::pi;

struct BoundsContext {
  const Drawing& d;
  std::map<const Block*, Bounds> blocks;
};

Bounds blockBounds(BoundsContext& c, const Block* b, int depth);
Bounds recordBounds(BoundsContext& c, std::string_view type, Tags t, int depth);

void addArc(Bounds& b, const Ocs& ocs, const Point& center, double r,
            double startDeg, double endDeg) {
  // Reduced in degrees, where it is exact, before turning into radians.
  double s = reduceDegrees(startDeg) * kPi / 180.0;
  double sweep = sweepBetween(s, reduceDegrees(endDeg) * kPi / 180.0);
  if (!std::isfinite(s) || !std::isfinite(sweep) || !std::isfinite(r)) return;
  double e = s + sweep;
  auto at = [&](double a) {
    return ocs.toWcs(
        {center[0] + r * std::cos(a), center[1] + r * std::sin(a), center[2]});
  };
  b.add(at(s));
  b.add(at(e));
  if (ocs.isWorld()) {
    for (int q = 0; q <= 8; ++q) {
      double a = q * kPi / 2;
      if (a > s && a < e) b.add(at(a));
    }
  } else {
    for (int k = 1; k < 32; ++k) b.add(at(s + (e - s) * k / 32.0));
  }
}

void addBulge(Bounds& b, const Ocs& ocs, const Point& p, const Point& q,
              double bulge, double z) {
  b.add(ocs.toWcs({p[0], p[1], z}));
  b.add(ocs.toWcs({q[0], q[1], z}));
  if (std::fabs(bulge) < 1e-12) return;
  double chord = distance2d(p, q);
  if (chord < 1e-12) return;
  double theta = 4 * std::atan(bulge);
  double r = chord / (2 * std::sin(std::fabs(theta) / 2));
  Point mid{(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, 0};
  double h = std::sqrt(std::max(0.0, r * r - chord * chord / 4));
  Point dir{(q[0] - p[0]) / chord, (q[1] - p[1]) / chord, 0};
  Point normal{-dir[1], dir[0], 0};
  // The centre lies left of the chord for a counter-clockwise arc of less
  // than half a turn.
  double side = (std::fabs(theta) < kPi) == (bulge > 0) ? 1.0 : -1.0;
  Point c{mid[0] + normal[0] * h * side, mid[1] + normal[1] * h * side, z};
  double a1 = std::atan2(p[1] - c[1], p[0] - c[0]) * 180 / kPi;
  double a2 = std::atan2(q[1] - c[1], q[0] - c[0]) * 180 / kPi;
  if (bulge > 0)
    addArc(b, ocs, c, r, a1, a2);
  else
    addArc(b, ocs, c, r, a2, a1);
}

void addAllPoints(Bounds& b, Tags t, int code, const Ocs& ocs) {
  Tags own = ownTags(t);
  for (std::size_t k = 0; k < own.size(); ++k)
    if (own[k].code == code) {
      Point p{parseReal(own[k].value).value_or(0), 0, 0};
      if (k + 1 < own.size() && own[k + 1].code == code + 10)
        p[1] = parseReal(own[k + 1].value).value_or(0);
      if (k + 2 < own.size() && own[k + 2].code == code + 20)
        p[2] = parseReal(own[k + 2].value).value_or(0);
      b.add(ocs.toWcs(p));
    }
}

std::size_t utf8Count(const std::string& s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

void addTextBox(Bounds& b, const Ocs& ocs, const Point& at, double width,
                double height, double rotationDeg) {
  double a = rotationDeg * kPi / 180;
  Point u{std::cos(a), std::sin(a), 0}, v{-std::sin(a), std::cos(a), 0};
  for (double x : {0.0, width})
    for (double y : {0.0, height})
      b.add(ocs.toWcs(
          {at[0] + u[0] * x + v[0] * y, at[1] + u[1] * x + v[1] * y, at[2]}));
}

Bounds transformBounds(const Bounds& in, const Point& base, const Point& at,
                       const Point& scale, double rotationDeg, const Ocs& ocs) {
  Bounds out;
  if (in.empty()) return out;
  double a = rotationDeg * kPi / 180;
  double ca = std::cos(a), sa = std::sin(a);
  for (double x : {in.min[0], in.max[0]})
    for (double y : {in.min[1], in.max[1]})
      for (double z : {in.min[2], in.max[2]}) {
        double px = (x - base[0]) * scale[0], py = (y - base[1]) * scale[1];
        double pz = (z - base[2]) * scale[2];
        Point q{at[0] + px * ca - py * sa, at[1] + px * sa + py * ca,
                at[2] + pz};
        out.add(ocs.toWcs(q));
      }
  return out;
}

Bounds recordBounds(BoundsContext& c, std::string_view type, Tags t,
                    int depth) {
  Bounds b;
  Tags own = ownTags(t);
  Ocs ocs = ocsOf(own);
  auto p = [&](int code) { return point(own, code); };
  if (type == "LINE" || type == "POINT" || type == "3DFACE" ||
      type == "LEADER" || type == "SPLINE" || type == "TOLERANCE") {
    for (int code : {10, 11, 12, 13}) addAllPoints(b, own, code, Ocs());
  } else if (type == "CIRCLE" || type == "ARC") {
    Point center = p(10).value_or(Point{0, 0, 0});
    double r = real(own, 40, 0);
    if (type == "CIRCLE")
      addArc(b, ocs, center, r, 0, 360);
    else
      addArc(b, ocs, center, r, real(own, 50, 0), real(own, 51, 360));
  } else if (type == "SOLID" || type == "TRACE") {
    for (int code : {10, 11, 12, 13})
      if (auto q = p(code)) b.add(ocs.toWcs(*q));
  } else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") {
    Point at = p(10).value_or(Point{0, 0, 0});
    double h = real(own, 40, 1);
    std::string s = textValue(c.d, own, 1);
    double w = 0.7 * h * real(own, 41, 1) * static_cast<double>(utf8Count(s));
    addTextBox(b, ocs, at, w, h, real(own, 50, 0));
    if (auto q = p(11)) b.add(ocs.toWcs(*q));
  } else if (type == "MTEXT") {
    Point at = p(10).value_or(Point{0, 0, 0});
    double h = real(own, 40, 1);
    double w = real(own, 41, 0);
    std::string s = textValue(c.d, own, 1);
    if (w <= 0) w = 0.7 * h * static_cast<double>(utf8Count(s));
    double height = std::max(h, real(own, 43, h));
    long long attach = integer(own, 71, 1);
    if (attach < 1 || attach > 9) attach = 1;  // as the CAD host reads it
    // Attachment 1..9: column left/centre/right, row top/middle/bottom.
    long long column = (attach - 1) % 3, row = (attach - 1) / 3;
    double dx = static_cast<double>(column) * -0.5 * w;
    double dy = -height + static_cast<double>(row) * 0.5 * height;
    double rot = real(own, 50, 0);
    if (auto dir = p(11)) rot = std::atan2((*dir)[1], (*dir)[0]) * 180 / kPi;
    double a = rot * kPi / 180;
    Point o{at[0] + dx * std::cos(a) - dy * std::sin(a),
            at[1] + dx * std::sin(a) + dy * std::cos(a), at[2]};
    addTextBox(b, Ocs(), o, w, height, rot);
  } else if (type == "LWPOLYLINE") {
    double z = real(own, 38, 0);
    std::vector<std::pair<Point, double>> v;
    for (std::size_t k = 0; k < own.size(); ++k) {
      if (own[k].code == 10) {
        Point q{parseReal(own[k].value).value_or(0), 0, 0};
        if (k + 1 < own.size() && own[k + 1].code == 20)
          q[1] = parseReal(own[k + 1].value).value_or(0);
        v.push_back({q, 0.0});
      } else if (own[k].code == 42 && !v.empty()) {
        v.back().second = parseReal(own[k].value).value_or(0);
      }
    }
    bool closed = (integer(own, 70, 0) & 1) != 0;
    for (std::size_t k = 0; k < v.size(); ++k) {
      std::size_t next = k + 1 < v.size() ? k + 1 : (closed ? 0 : k);
      addBulge(b, ocs, v[k].first, v[next].first, next == k ? 0 : v[k].second,
               z);
    }
  } else if (type == "POLYLINE") {
    long long flags = integer(own, 70, 0);
    bool is3d = (flags & (8 | 16 | 64)) != 0;
    double z = p(10).value_or(Point{0, 0, 0})[2];
    auto subs = subRecords(t);
    std::vector<std::pair<Point, double>> v;
    for (std::size_t s = 1; s < subs.size(); ++s) {
      if (!equalsNoCase(subs[s][0].value, "VERTEX")) continue;
      if (integer(subs[s], 70, 0) & 128) continue;  // face records
      v.push_back(
          {point(subs[s], 10).value_or(Point{0, 0, 0}), real(subs[s], 42, 0)});
    }
    for (std::size_t k = 0; k < v.size(); ++k) {
      if (is3d) {
        b.add(v[k].first);
        continue;
      }
      std::size_t next = k + 1 < v.size() ? k + 1 : ((flags & 1) ? 0 : k);
      addBulge(b, ocs, v[k].first, v[next].first, next == k ? 0 : v[k].second,
               z);
    }
  } else if (type == "ELLIPSE") {
    Point center = p(10).value_or(Point{0, 0, 0});
    Point major = p(11).value_or(Point{1, 0, 0});
    Point normal = p(210).value_or(Point{0, 0, 1});
    double ratio = real(own, 40, 1);
    Point minor =
        mul(cross(normal, major), ratio / std::max(1e-300, length(normal)));
    double s = reduceAngle(real(own, 41, 0));
    double sweep = sweepBetween(s, real(own, 42, 2 * kPi));
    if (!std::isfinite(s) || !std::isfinite(sweep)) return b;
    for (int k = 0; k <= 64; ++k) {
      double a = s + sweep * k / 64.0;
      b.add(add(center, add(mul(major, std::cos(a)), mul(minor, std::sin(a)))));
    }
  } else if (type == "INSERT") {
    if (depth < 16)
      if (const Block* blk = c.d.block(textValue(c.d, own, 2))) {
        Bounds inner = blockBounds(c, blk, depth + 1);
        Point base = point(c.d.tags(blk->begin), 10).value_or(Point{0, 0, 0});
        Point at = p(10).value_or(Point{0, 0, 0});
        Point scale{real(own, 41, 1), real(own, 42, 1), real(own, 43, 1)};
        double rot = real(own, 50, 0);
        long long cols = std::max<long long>(1, integer(own, 70, 1));
        long long rows = std::max<long long>(1, integer(own, 71, 1));
        double cs = real(own, 44, 0), rs = real(own, 45, 0);
        Bounds one = transformBounds(inner, base, at, scale, rot, ocs);
        b.add(one);
        if (cols > 1 || rows > 1) {
          double a = rot * kPi / 180;
          double dx = static_cast<double>(cols - 1) * cs;
          double dy = static_cast<double>(rows - 1) * rs;
          Point shift{dx * std::cos(a) - dy * std::sin(a),
                      dx * std::sin(a) + dy * std::cos(a), 0};
          Point at2 = add(at, shift);
          b.add(transformBounds(inner, base, at2, scale, rot, ocs));
        }
      }
    auto subs = subRecords(t);
    for (std::size_t s = 1; s < subs.size(); ++s)
      if (equalsNoCase(subs[s][0].value, "ATTRIB"))
        b.add(recordBounds(c, "ATTRIB", subs[s], depth));
  } else if (type == "DIMENSION" || type == "ARC_DIMENSION" ||
             type == "LARGE_RADIAL_DIMENSION") {
    const Block* blk = nullptr;
    if (depth < 16) blk = c.d.block(textValue(c.d, own, 2));
    Bounds inner = blk ? blockBounds(c, blk, depth + 1) : Bounds();
    if (!inner.empty()) {
      Point at = p(12).value_or(Point{0, 0, 0});
      b.add(
          transformBounds(inner, Point{0, 0, 0}, at, Point{1, 1, 1}, 0, Ocs()));
    } else {
      for (int code : {10, 13, 14, 15}) addAllPoints(b, own, code, Ocs());
      if (auto q = p(11)) b.add(ocs.toWcs(*q));
    }
  } else if (type == "HATCH") {
    bool first = true;
    for (std::size_t k = 0; k < own.size(); ++k)
      if (own[k].code == 10) {
        if (first) {
          first = false;  // the elevation point
          continue;
        }
        Point q{parseReal(own[k].value).value_or(0), 0, real(own, 30, 0)};
        if (k + 1 < own.size() && own[k + 1].code == 20)
          q[1] = parseReal(own[k + 1].value).value_or(0);
        b.add(ocs.toWcs(q));
      }
  } else if (type == "IMAGE" || type == "WIPEOUT") {
    Point at = p(10).value_or(Point{0, 0, 0});
    Point u = p(11).value_or(Point{1, 0, 0}),
          v = p(12).value_or(Point{0, 1, 0});
    Point size = p(13).value_or(Point{1, 1, 0});
    b.add(at);
    b.add(add(at, mul(u, size[0])));
    b.add(add(at, mul(v, size[1])));
    b.add(add(at, add(mul(u, size[0]), mul(v, size[1]))));
  } else if (type == "XLINE" || type == "RAY" || type == "VIEWPORT") {
    // Unbounded or paper-space only: no extents.
  } else {
    addAllPoints(b, own, 10, Ocs());
  }
  return b;
}

Bounds blockBounds(BoundsContext& c, const Block* blk, int depth) {
  auto it = c.blocks.find(blk);
  if (it != c.blocks.end()) return it->second;
  c.blocks[blk] = Bounds();  // guards against a block that holds itself
  Bounds b;
  for (const auto& e : blk->entities)
    if (!e->rec.erased && !e->badGeometry)
      b.add(recordBounds(c, e->type, c.d.tags(e->rec), depth));
  c.blocks[blk] = b;
  return b;
}

// Layers whose entities the CAD host leaves out of the extents.
std::set<std::string> frozenLayers(const Drawing& d) {
  std::set<std::string> frozen;
  if (const Table* layers = d.table("LAYER"))
    for (const auto& entry : layers->entries)
      if (!entry->rec.erased &&
          (integer(ownTags(d.tags(entry->rec)), 70, 0) & 1) != 0)
        frozen.insert(upperCase(entry->name));
  return frozen;
}

bool onFrozenLayer(const Drawing& d, const std::set<std::string>& frozen,
                   Tags own) {
  if (frozen.empty()) return false;
  const Tag* layer = findTag(own, 8);
  return frozen.count(upperCase(layer ? d.text(layer->value) : "0")) > 0;
}

}  // namespace

Bounds entityBounds(const Drawing& d, const Entity& e, int depth) {
  if (e.badGeometry) return Bounds();
  BoundsContext c{d, {}};
  return recordBounds(c, e.type, d.tags(e.rec), depth);
}

bool anchorsWithin(const Drawing& d, const Point& lo, const Point& hi,
                   double slack) {
  static const std::set<std::string, std::less<>> world = {
      "LINE",    "POINT",      "MTEXT",         "ELLIPSE",
      "SPLINE",  "3DFACE",     "LEADER",        "DIMENSION",
      "IMAGE",   "TOLERANCE",  "ARC_DIMENSION", "LARGE_RADIAL_DIMENSION",
      "WIPEOUT", "MULTILEADER"};
  static const std::set<std::string, std::less<>> planar = {
      "CIRCLE", "ARC",   "TEXT",  "ATTDEF",    "INSERT",
      "SHAPE",  "SOLID", "TRACE", "LWPOLYLINE"};
  auto inside = [&](const Point& p) {
    return p[0] >= lo[0] - slack && p[0] <= hi[0] + slack &&
           p[1] >= lo[1] - slack && p[1] <= hi[1] + slack;
  };
  std::set<std::string> frozen = frozenLayers(d);
  for (const Entity* e : d.modelSpace()) {
    bool isWorld = world.count(e->type) > 0;
    if (e->badGeometry || (!isWorld && !planar.count(e->type))) continue;
    Tags own = ownTags(d.tags(e->rec));
    if (onFrozenLayer(d, frozen, own)) continue;
    auto p = point(own, 10);
    if (!p) continue;
    if (!isWorld) {
      if (e->type == "LWPOLYLINE") (*p)[2] = real(own, 38, 0);
      Ocs ocs = ocsOf(own);
      if (!ocs.isWorld()) *p = ocs.toWcs(*p);
    }
    if (!inside(*p)) return false;
    if (e->type == "LINE")
      if (auto q = point(own, 11); q && !inside(*q)) return false;
  }
  return true;
}

Bounds modelSpaceBounds(const Drawing& d) {
  BoundsContext c{d, {}};
  Bounds b;
  std::set<std::string> frozen = frozenLayers(d);
  for (const Entity* e : d.modelSpace()) {
    if (e->badGeometry) continue;
    Tags t = d.tags(e->rec);
    if (!onFrozenLayer(d, frozen, ownTags(t)))
      b.add(recordBounds(c, e->type, t, 0));
  }
  return b;
}

}  // namespace cadhost::engine
