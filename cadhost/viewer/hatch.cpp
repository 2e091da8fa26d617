// Hatches: their boundary loops read from the tags in order, and the
// strokes of their pattern clipped to the loops.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "cadhost/viewer/scene_builder.h"

namespace cadhost::viewer {

using engine::Tags;

namespace {

constexpr double kPi = std::numbers::pi;

// Reads tags one after the other; a tag that is not the one expected
// stops the reading of its part.
class Cursor {
 public:
  explicit Cursor(Tags t) : t_(t) {}
  bool at(int code) const { return i_ < t_.size() && t_[i_].code == code; }
  bool done() const { return i_ >= t_.size(); }
  void skip() { ++i_; }
  bool real(int code, double& v) {
    if (!at(code)) return false;
    v = engine::parseReal(t_[i_++].value).value_or(0);
    return true;
  }
  bool integer(int code, long long& v) {
    if (!at(code)) return false;
    v = engine::parseInt(t_[i_++].value).value_or(0);
    return true;
  }
  bool point(int code, Vec2& p) {
    return real(code, p.x) && real(code + 10, p.y);
  }
  // Moves to the next tag with this code; false at the end.
  bool seek(int code) {
    while (i_ < t_.size() && t_[i_].code != code) ++i_;
    return i_ < t_.size();
  }

 private:
  Tags t_;
  std::size_t i_ = 0;
};

void arcPoints(Vec2 c, double r, double a0, double sweep,
               std::vector<Vec2>& out) {
  int n = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 36))),
                     2, 720);
  for (int k = 0; k <= n; ++k) {
    double a = a0 + sweep * k / n;
    out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
}

double sweepOf(double startDeg, double endDeg, bool ccw) {
  double s = std::fmod(endDeg - startDeg, 360.0);
  if (s <= 1e-9) s += 360;
  return (ccw ? s : -s) * kPi / 180;
}

void appendPoint(std::vector<Vec2>& loop, Vec2 p) {
  if (!loop.empty() && std::fabs(loop.back().x - p.x) < 1e-12 &&
      std::fabs(loop.back().y - p.y) < 1e-12)
    return;
  loop.push_back(p);
}

bool readEdges(Cursor& cur, std::vector<Vec2>& loop) {
  long long count = 0;
  if (!cur.integer(93, count)) return false;
  for (long long e = 0; e < count; ++e) {
    long long type = 0;
    if (!cur.integer(72, type)) return false;
    std::vector<Vec2> pts;
    if (type == 1) {
      Vec2 a, b;
      if (!cur.point(10, a) || !cur.point(11, b)) return false;
      pts = {a, b};
    } else if (type == 2) {
      Vec2 c;
      double r = 0, s = 0, en = 0;
      long long ccw = 1;
      if (!cur.point(10, c) || !cur.real(40, r) || !cur.real(50, s) ||
          !cur.real(51, en))
        return false;
      cur.integer(73, ccw);
      double a0 = (ccw ? s : -s) * kPi / 180;
      arcPoints(c, r, a0, sweepOf(s, en, ccw != 0), pts);
    } else if (type == 3) {
      Vec2 c, major;
      double ratio = 1, s = 0, en = 0;
      long long ccw = 1;
      if (!cur.point(10, c) || !cur.point(11, major) || !cur.real(40, ratio) ||
          !cur.real(50, s) || !cur.real(51, en))
        return false;
      cur.integer(73, ccw);
      Vec2 minor{-major.y * ratio, major.x * ratio};
      double t0 = (ccw ? s : -s) * kPi / 180;
      double sweep = sweepOf(s, en, ccw != 0);
      int n = std::clamp(
          static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 72))), 4, 1440);
      for (int k = 0; k <= n; ++k) {
        double t = t0 + sweep * k / n;
        pts.push_back({c.x + major.x * std::cos(t) + minor.x * std::sin(t),
                       c.y + major.y * std::cos(t) + minor.y * std::sin(t)});
      }
    } else if (type == 4) {
      long long degree = 3, rational = 0, periodic = 0, nk = 0, nc = 0;
      if (!cur.integer(94, degree)) return false;
      cur.integer(73, rational);
      cur.integer(74, periodic);
      if (!cur.integer(95, nk) || !cur.integer(96, nc)) return false;
      std::vector<double> knots, weights;
      std::vector<Vec2> ctrl;
      for (long long k = 0; k < nk; ++k) {
        double v = 0;
        if (!cur.real(40, v)) return false;
        knots.push_back(v);
      }
      for (long long k = 0; k < nc; ++k) {
        Vec2 p;
        if (!cur.point(10, p)) return false;
        ctrl.push_back(p);
        double w = 1;
        if (cur.real(42, w)) weights.push_back(w);
      }
      long long nf = 0;
      if (cur.integer(97, nf)) {
        for (long long k = 0; k < nf; ++k) {
          Vec2 p;
          if (!cur.point(11, p)) return false;
        }
        Vec2 tangent;
        cur.point(12, tangent);
        cur.point(13, tangent);
      }
      pts = splinePoints(static_cast<int>(degree), knots, ctrl, weights,
                         std::clamp<std::size_t>(ctrl.size() * 8, 16, 2000));
      if (pts.empty()) pts = ctrl;
    } else {
      return false;
    }
    for (Vec2 p : pts) appendPoint(loop, p);
  }
  return true;
}

}  // namespace

std::vector<Vec2> splinePoints(int degree, const std::vector<double>& knots,
                               const std::vector<Vec2>& ctrl,
                               std::vector<double> weights,
                               std::size_t samples) {
  // Each point costs the degree squared: a file's degree of thousands
  // would take minutes. Drawings keep to a few; beyond, the caller draws
  // the frame.
  constexpr int kMaxDegree = 25;
  std::size_t n = ctrl.size();
  if (degree < 1 || degree > kMaxDegree ||
      n < static_cast<std::size_t>(degree) + 1 ||
      knots.size() != n + static_cast<std::size_t>(degree) + 1)
    return {};
  if (weights.size() != n) weights.assign(n, 1.0);
  auto p = static_cast<std::size_t>(degree);
  double t0 = knots[p], t1 = knots[n];
  if (!(t1 > t0)) return {};
  // De Boor's algorithm on homogeneous points.
  std::vector<double> X(p + 1), Y(p + 1), W(p + 1);
  auto eval = [&](double t) {
    std::size_t span = p;
    while (span + 1 < n && knots[span + 1] <= t) ++span;
    for (std::size_t j = 0; j <= p; ++j) {
      std::size_t i = span - p + j;
      W[j] = weights[i];
      X[j] = ctrl[i].x * W[j];
      Y[j] = ctrl[i].y * W[j];
    }
    for (std::size_t r = 1; r <= p; ++r)
      for (std::size_t j = p; j >= r; --j) {
        std::size_t i = span - p + j;
        double den = knots[i + p - r + 1] - knots[i];
        double a = den > 0 ? (t - knots[i]) / den : 0;
        X[j] = (1 - a) * X[j - 1] + a * X[j];
        Y[j] = (1 - a) * Y[j - 1] + a * Y[j];
        W[j] = (1 - a) * W[j - 1] + a * W[j];
      }
    double w = W[p] != 0 ? W[p] : 1;
    return Vec2{X[p] / w, Y[p] / w};
  };
  std::vector<Vec2> out;
  out.reserve(samples + 1);
  for (std::size_t k = 0; k <= samples; ++k)
    out.push_back(eval(t0 + (t1 - t0) * static_cast<double>(k) /
                                static_cast<double>(samples)));
  return out;
}

HatchData parseHatch(Tags own) {
  HatchData h;
  Cursor cur(own);
  // The elevation point comes first, then the pattern name and the flags
  // up to the number of loops.
  if (!cur.seek(10)) return h;
  Vec2 ignored;
  cur.point(10, ignored);
  cur.real(30, h.elevation);
  long long loops = 0;
  while (!cur.done() && !cur.at(91)) {
    long long v = 0;
    if (cur.at(70)) {
      cur.integer(70, v);
      h.solid = v != 0;
      continue;
    }
    cur.skip();
  }
  if (!cur.integer(91, loops)) return h;
  for (long long l = 0; l < loops; ++l) {
    long long flags = 0;
    if (!cur.integer(92, flags)) break;
    std::vector<Vec2> loop;
    if (flags & 2) {
      long long hasBulge = 0, closed = 1, count = 0;
      cur.integer(72, hasBulge);
      cur.integer(73, closed);
      if (!cur.integer(93, count)) break;
      std::vector<std::pair<Vec2, double>> v;
      bool ok = true;
      for (long long k = 0; k < count && ok; ++k) {
        Vec2 p;
        double bulge = 0;
        ok = cur.point(10, p);
        cur.real(42, bulge);
        v.push_back({p, bulge});
      }
      if (!ok) break;
      if (!v.empty()) loop.push_back(v[0].first);
      for (std::size_t k = 0; k < v.size(); ++k)
        bulgePoints(v[k].first, v[(k + 1) % v.size()].first, v[k].second, loop);
      if (loop.size() > 1) loop.pop_back();  // back at the start
    } else if (!readEdges(cur, loop)) {
      break;
    }
    long long sources = 0;
    if (cur.integer(97, sources))
      for (long long k = 0; k < sources && cur.at(330); ++k) cur.skip();
    if (loop.size() >= 3) h.loops.push_back(std::move(loop));
  }
  if (h.solid) return h;
  // The pattern lines, already turned and scaled for this hatch.
  long long count = 0;
  while (!cur.done() && !cur.at(78)) {
    if (cur.at(98) || cur.at(450)) return h;
    cur.skip();
  }
  if (!cur.integer(78, count)) return h;
  for (long long k = 0; k < count; ++k) {
    HatchLine line;
    long long dashes = 0;
    if (!cur.real(53, line.angle) || !cur.real(43, line.base.x) ||
        !cur.real(44, line.base.y) || !cur.real(45, line.offset.x) ||
        !cur.real(46, line.offset.y) || !cur.integer(79, dashes))
      break;
    for (long long i = 0; i < dashes; ++i) {
      double v = 0;
      if (!cur.real(49, v)) break;
      line.dashes.push_back(v);
    }
    line.angle *= kPi / 180;
    h.lines.push_back(std::move(line));
  }
  return h;
}

std::vector<Vec2> hatchStrokes(const HatchData& h, std::size_t limit) {
  std::vector<Vec2> out;
  Box box;
  for (const auto& loop : h.loops)
    for (Vec2 p : loop) box.add(p);
  if (box.empty()) return out;
  // Every pattern line is cut with every boundary edge: dense patterns in
  // boundaries of many edges multiply to minutes.
  constexpr double kMaxCuts = 5e7;
  double edges = 0, cuts = 0;
  for (const auto& loop : h.loops) edges += static_cast<double>(loop.size());
  std::vector<double> hits;
  for (const HatchLine& line : h.lines) {
    Vec2 u{std::cos(line.angle), std::sin(line.angle)};
    Vec2 n{-u.y, u.x};
    double step = line.offset.x * n.x + line.offset.y * n.y;
    if (std::fabs(step) < 1e-12 * std::max(box.width(), box.height()) ||
        !std::isfinite(step))
      continue;
    double lo = 1e300, hi = -1e300;
    for (double x : {box.x0, box.x1})
      for (double y : {box.y0, box.y1}) {
        double s = ((x - line.base.x) * n.x + (y - line.base.y) * n.y) / step;
        lo = std::min(lo, s);
        hi = std::max(hi, s);
      }
    // Too many lines, or offsets so far out that a line index is no
    // longer a whole number: no pattern (NaN fails the first test too).
    cuts += (hi - lo + 1) * edges;
    if (!(hi - lo <= static_cast<double>(limit)) || std::fabs(lo) > 1e15 ||
        std::fabs(hi) > 1e15 || cuts > kMaxCuts)
      return {};
    double period = 0;
    for (double d : line.dashes) period += std::fabs(d);
    for (auto k = static_cast<long long>(std::floor(lo));
         k <= static_cast<long long>(std::ceil(hi)); ++k) {
      Vec2 q{line.base.x + line.offset.x * static_cast<double>(k),
             line.base.y + line.offset.y * static_cast<double>(k)};
      hits.clear();
      for (const auto& loop : h.loops)
        for (std::size_t i = 0; i < loop.size(); ++i) {
          Vec2 a = loop[i], b = loop[(i + 1) % loop.size()];
          double sa = (a.x - q.x) * n.x + (a.y - q.y) * n.y;
          double sb = (b.x - q.x) * n.x + (b.y - q.y) * n.y;
          if ((sa > 0) == (sb > 0)) continue;
          double t = sa / (sa - sb);
          Vec2 p{a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
          hits.push_back((p.x - q.x) * u.x + (p.y - q.y) * u.y);
        }
      std::sort(hits.begin(), hits.end());
      for (std::size_t i = 0; i + 1 < hits.size(); i += 2) {
        double t0 = hits[i], t1 = hits[i + 1];
        auto stroke = [&](double a, double b) {
          out.push_back({q.x + u.x * a, q.y + u.y * a});
          out.push_back({q.x + u.x * b, q.y + u.y * b});
        };
        if (line.dashes.empty() || !(period > 0) ||
            !((t1 - t0) / period <= 1e5) || !(std::fabs(t0) / period <= 1e12)) {
          stroke(t0, t1);
        } else {
          // Each period from its own start: adding dash after dash to a
          // position far out could stop moving it.
          double first = std::floor(t0 / period);
          auto periods =
              static_cast<long long>(std::ceil((t1 - t0) / period)) + 1;
          for (long long j = 0; j <= periods; ++j) {
            double at = (first + static_cast<double>(j)) * period;
            if (at >= t1 || out.size() / 2 > limit) break;
            double offset = 0;
            for (double d : line.dashes) {
              double len = std::fabs(d);
              if (d >= 0) {
                double a = std::max(at + offset, t0);
                double b =
                    std::min(at + offset + std::max(len, period * 1e-3), t1);
                if (b > a) stroke(a, b);
              }
              offset += len;
              if (at + offset >= t1) break;
            }
          }
        }
        if (out.size() / 2 > limit) return {};
      }
    }
  }
  return out;
}

}  // namespace cadhost::viewer
