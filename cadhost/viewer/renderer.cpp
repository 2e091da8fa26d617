#include "cadhost/viewer/renderer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "cadhost/viewer/text_layout.h"

namespace cadhost::viewer {

View View::fit(const Box& box, double width, double height, double margin) {
  View v;
  v.width = std::max(1.0, width);
  v.height = std::max(1.0, height);
  if (box.empty()) {
    v.scale = std::min(v.width, v.height) / 100;
    return v;
  }
  v.center = {(box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2};
  double w = std::max(box.width(), 1e-9), h = std::max(box.height(), 1e-9);
  double usable = 1 - 2 * margin;
  v.scale = std::min(v.width * usable / w, v.height * usable / h);
  if (!std::isfinite(v.scale) || v.scale <= 0) v.scale = 1;
  return v;
}

namespace {

Rgb colorFor(const PrimColor& c, const RenderStyle& s) {
  switch (c.role) {
    case ColorRole::Foreground:
      return s.foreground;
    case ColorRole::Background:
      return s.background;
    case ColorRole::Own:
      break;
  }
  // A colour that matches the paper would vanish: it takes the ink.
  if (c.rgb == s.background) return s.foreground;
  return c.rgb;
}

// The part of an endless line inside the box (Liang-Barsky), if any.
std::optional<std::pair<Vec2, Vec2>> clipRay(Vec2 base, Vec2 dir, bool bothWays,
                                             const Box& box) {
  double t0 = bothWays ? -std::numeric_limits<double>::infinity() : 0;
  double t1 = std::numeric_limits<double>::infinity();
  const double p[4] = {-dir.x, dir.x, -dir.y, dir.y};
  const double q[4] = {base.x - box.x0, box.x1 - base.x, base.y - box.y0,
                       box.y1 - base.y};
  for (int k = 0; k < 4; ++k) {
    if (p[k] == 0) {
      if (q[k] < 0) return std::nullopt;
      continue;
    }
    double t = q[k] / p[k];
    if (p[k] < 0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
  }
  if (!(t0 <= t1) || !std::isfinite(t0) || !std::isfinite(t1))
    return std::nullopt;
  return std::make_pair(Vec2{base.x + dir.x * t0, base.y + dir.y * t0},
                        Vec2{base.x + dir.x * t1, base.y + dir.y * t1});
}

}  // namespace

void Renderer::draw(const Scene& scene, const View& view, Canvas& canvas,
                    const RenderStyle& style) {
  drawn_ = 0;
  // A little slack so that thick lines and text at the border show.
  Box area = view.visible();
  double slack = 2 / view.scale;
  area.x0 -= slack;
  area.y0 -= slack;
  area.x1 += slack;
  area.y1 += slack;
  scene.query(area, visible_);
  const double px = 1 / view.scale;  // one device pixel in drawing units
  Pen pen;
  for (std::uint32_t i : visible_) {
    const Prim& p = scene.prim(i);
    if (style.plotOnly && !p.plot) continue;
    Rgb color = colorFor(p.color, style);
    ++drawn_;
    // Smaller than a pixel: a dot says it is there.
    if (p.kind != PrimKind::Fill && p.kind != PrimKind::Ray &&
        p.box.width() < px && p.box.height() < px) {
      canvas.point({(p.box.x0 + p.box.x1) / 2, (p.box.y0 + p.box.y1) / 2},
                   color);
      continue;
    }
    pen.color = color;
    pen.width = p.width;
    pen.dashes = {};
    if (p.dash) {
      std::span<const double> d = scene.dashes(p.dash);
      double period = 0;
      for (double v : d) period += v;
      // Dashes closer than a few pixels read as a plain line.
      if (period * view.scale >= 6) pen.dashes = d;
    }
    switch (p.kind) {
      case PrimKind::Line: {
        auto pts = scene.points(p);
        canvas.line(pts[0], pts[1], pen);
        break;
      }
      case PrimKind::Lines:
        canvas.lines(scene.points(p), pen);
        break;
      case PrimKind::Polyline:
        canvas.polyline(scene.points(p), p.closed, pen);
        break;
      case PrimKind::Arc: {
        const ArcData& a = scene.arc(p);
        canvas.arc(a.center, a.radius, a.start, a.sweep, pen);
        break;
      }
      case PrimKind::Fill:
        canvas.polygon(scene.fill(p), color);
        break;
      case PrimKind::Text: {
        const TextRun& t = scene.text(p);
        double h = t.height * view.scale;
        if (h < 1.5) {
          // Too small to read: a stroke where the text runs.
          double w = scene.metrics().width(t.text, t.trueType) * t.height *
                     std::fabs(t.widthFactor);
          double mid = t.height / 2;
          Vec2 dir{std::cos(t.rotation), std::sin(t.rotation)};
          Vec2 up{-dir.y, dir.x};
          Vec2 a{t.origin.x + up.x * mid, t.origin.y + up.y * mid};
          Vec2 b{a.x + dir.x * w * (t.widthFactor < 0 ? -1 : 1),
                 a.y + dir.y * w * (t.widthFactor < 0 ? -1 : 1)};
          Pen thin;
          thin.color = color;
          canvas.line(a, b, thin);
          break;
        }
        TextRun r = t;
        r.color = color;
        canvas.text(r);
        break;
      }
      case PrimKind::Point:
        canvas.point(scene.points(p)[0], color);
        break;
      case PrimKind::Ray: {
        auto pts = scene.points(p);
        if (auto seg = clipRay(pts[0], pts[1], p.closed, area))
          canvas.line(seg->first, seg->second, pen);
        break;
      }
    }
  }
}

}  // namespace cadhost::viewer
