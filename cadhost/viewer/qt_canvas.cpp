#include "cadhost/viewer/qt_canvas.h"

#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace cadhost::viewer {

namespace {

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

constexpr double kDegrees = 180 / std::numbers::pi;

// Far beyond any screen or sheet: coordinates past it are clipped here,
// since deep zooms put them where the painter's fixed-point raster would
// overflow.
constexpr double kFar = 1e6;

bool far(QPointF p) {
  return std::fabs(p.x()) > kFar || std::fabs(p.y()) > kFar;
}

// Liang-Barsky against the square of +-kFar; false when nothing is left.
bool clipSegment(QPointF& a, QPointF& b) {
  double t0 = 0, t1 = 1;
  double dx = b.x() - a.x(), dy = b.y() - a.y();
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.x() + kFar, kFar - a.x(), a.y() + kFar, kFar - a.y()};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    double t = q[i] / p[i];
    if (p[i] < 0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
  }
  QPointF a0 = a;
  a = QPointF(a0.x() + t0 * dx, a0.y() + t0 * dy);
  b = QPointF(a0.x() + t1 * dx, a0.y() + t1 * dy);
  return true;
}

// Sutherland-Hodgman against the same square.
QVector<QPointF> clipRing(const QVector<QPointF>& ring) {
  QVector<QPointF> out = ring;
  for (int edge = 0; edge < 4; ++edge) {
    auto inside = [&](QPointF p) {
      switch (edge) {
        case 0:
          return p.x() >= -kFar;
        case 1:
          return p.x() <= kFar;
        case 2:
          return p.y() >= -kFar;
        default:
          return p.y() <= kFar;
      }
    };
    auto cut = [&](QPointF a, QPointF b) {
      double t = 0;
      switch (edge) {
        case 0:
          t = (-kFar - a.x()) / (b.x() - a.x());
          break;
        case 1:
          t = (kFar - a.x()) / (b.x() - a.x());
          break;
        case 2:
          t = (-kFar - a.y()) / (b.y() - a.y());
          break;
        default:
          t = (kFar - a.y()) / (b.y() - a.y());
          break;
      }
      return a + (b - a) * t;
    };
    QVector<QPointF> in = std::move(out);
    out.clear();
    for (qsizetype i = 0; i < in.size(); ++i) {
      QPointF cur = in[i], prev = in[(i + in.size() - 1) % in.size()];
      if (inside(cur)) {
        if (!inside(prev)) out.push_back(cut(prev, cur));
        out.push_back(cur);
      } else if (inside(prev)) {
        out.push_back(cut(prev, cur));
      }
    }
    if (out.isEmpty()) break;
  }
  return out;
}

}  // namespace

QtCanvas::QtCanvas(QPainter& painter, const View& view,
                   const FontMetrics& metrics, double thinWidth)
    : painter_(painter), view_(view), metrics_(metrics), thin_(thinWidth) {}

void QtCanvas::usePen(const Pen& pen) {
  // Wider than any screen is as good as infinitely wide.
  double width = std::clamp(pen.width * view_.scale, thin_, 1e5);
  QPen p(qcolor(pen.color));
  p.setWidthF(width);
  p.setCosmetic(width == 0);
  // Wide polylines end square at their vertices, as CAD draws them.
  p.setCapStyle(Qt::FlatCap);
  p.setJoinStyle(Qt::MiterJoin);
  if (!pen.dashes.empty()) {
    // Qt counts dashes in pen widths; a dot is one pixel long.
    double unit = std::max(1.0, width);
    QList<qreal> pattern;
    for (double v : pen.dashes)
      pattern.push_back(std::max(1.0, v * view_.scale) / unit);
    p.setDashPattern(pattern);
  }
  painter_.setPen(p);
  painter_.setBrush(Qt::NoBrush);
}

void QtCanvas::line(Vec2 a, Vec2 b, const Pen& pen) {
  QPointF p = dev(a), q = dev(b);
  if ((far(p) || far(q)) && !clipSegment(p, q)) return;
  usePen(pen);
  painter_.drawLine(p, q);
}

void QtCanvas::lines(std::span<const Vec2> pairs, const Pen& pen) {
  usePen(pen);
  lineScratch_.clear();
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
    QPointF p = dev(pairs[i]), q = dev(pairs[i + 1]);
    if ((far(p) || far(q)) && !clipSegment(p, q)) continue;
    lineScratch_.push_back(QLineF(p, q));
  }
  painter_.drawLines(lineScratch_);
}

void QtCanvas::polyline(std::span<const Vec2> points, bool closed,
                        const Pen& pen) {
  usePen(pen);
  scratch_.clear();
  bool anyFar = false;
  for (Vec2 p : points) {
    scratch_.push_back(dev(p));
    anyFar = anyFar || far(scratch_.back());
  }
  if (anyFar) {
    // Piece by piece, each clipped.
    lineScratch_.clear();
    qsizetype n = scratch_.size();
    for (qsizetype i = 0; i + 1 < n + (closed ? 1 : 0); ++i) {
      QPointF p = scratch_[i], q = scratch_[(i + 1) % n];
      if (clipSegment(p, q)) lineScratch_.push_back(QLineF(p, q));
    }
    painter_.drawLines(lineScratch_);
    return;
  }
  if (closed)
    painter_.drawPolygon(scratch_.data(), static_cast<int>(scratch_.size()));
  else
    painter_.drawPolyline(scratch_.data(), static_cast<int>(scratch_.size()));
}

void QtCanvas::arc(Vec2 center, double radius, double start, double sweep,
                   const Pen& pen) {
  double r = radius * view_.scale;
  if (r > 1e5) {
    // Too large for the painter's arc code: chords a quarter of a pixel
    // off the curve, over the part that can reach the device only.
    const double pi = std::numbers::pi;
    Vec2 mid = view_.toDrawing(view_.width / 2, view_.height / 2);
    double reach = std::hypot(view_.width, view_.height) / view_.scale;
    double d = std::hypot(mid.x - center.x, mid.y - center.y);
    double lo = start, hi = start + sweep;
    if (lo > hi) std::swap(lo, hi);
    // The windows of angles to draw: all of it, or what faces the view
    // (the window moved into the arc's turn, and once more a turn on).
    std::vector<std::pair<double, double>> parts;
    if (d <= reach) {
      parts.push_back({lo, hi});
    } else {
      if (d - reach > radius || d + reach < radius) return;  // no overlap
      double toward = std::atan2(mid.y - center.y, mid.x - center.x);
      double half = std::asin(std::min(1.0, reach / d)) * 1.01;
      double from = toward - half;
      while (from > lo) from -= 2 * pi;
      while (from + 2 * half < lo) from += 2 * pi;
      for (double w0 : {from, from + 2 * pi})
        if (std::max(lo, w0) < std::min(hi, w0 + 2 * half))
          parts.push_back({std::max(lo, w0), std::min(hi, w0 + 2 * half)});
    }
    double step = 2 * std::sqrt(0.5 / r);
    usePen(pen);
    lineScratch_.clear();
    for (auto [p0, p1] : parts) {
      int n =
          std::clamp(static_cast<int>(std::ceil((p1 - p0) / step)), 2, 20000);
      QPointF prev;
      for (int k = 0; k <= n; ++k) {
        double t = p0 + (p1 - p0) * k / n;
        QPointF cur = dev(
            {center.x + radius * std::cos(t), center.y + radius * std::sin(t)});
        QPointF a0 = prev, b0 = cur;
        if (k > 0 && clipSegment(a0, b0))
          lineScratch_.push_back(QLineF(a0, b0));
        prev = cur;
      }
    }
    painter_.drawLines(lineScratch_);
    return;
  }
  usePen(pen);
  QPointF c = dev(center);
  QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
  if (std::fabs(sweep) >= 2 * std::numbers::pi - 1e-12) {
    painter_.drawEllipse(box);
    return;
  }
  QPainterPath path;
  path.arcMoveTo(box, start * kDegrees);
  path.arcTo(box, start * kDegrees, sweep * kDegrees);
  painter_.drawPath(path);
}

void QtCanvas::polygon(std::span<const std::vector<Vec2>> rings, Rgb fill) {
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  for (const auto& ring : rings) {
    if (ring.size() < 3) continue;
    scratch_.clear();
    bool anyFar = false;
    for (Vec2 v : ring) {
      scratch_.push_back(dev(v));
      anyFar = anyFar || far(scratch_.back());
    }
    QVector<QPointF> pts = anyFar ? clipRing(scratch_) : scratch_;
    if (pts.size() < 3) continue;
    path.moveTo(pts[0]);
    for (qsizetype i = 1; i < pts.size(); ++i) path.lineTo(pts[i]);
    path.closeSubpath();
  }
  painter_.fillPath(path, qcolor(fill));
}

const QFont& QtCanvas::fontFor(int pixels, const TextRun& run) {
  auto key = std::make_tuple(pixels, run.bold, run.italic, run.underline,
                             run.overline, run.strike);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  QFont f = metrics_.font();
  f.setPixelSize(pixels);
  f.setBold(run.bold);
  f.setItalic(run.italic);
  f.setUnderline(run.underline);
  f.setOverline(run.overline);
  f.setStrikeOut(run.strike);
  f.setKerning(false);
  return fonts_.emplace(key, f).first->second;
}

void QtCanvas::text(const TextRun& run) {
  double target =
      run.height * metrics_.emPerCap(run.text, run.trueType) * view_.scale;
  // Letters taller than the screen many times over cannot be read.
  if (!(target > 0) || target > 1e5) return;
  if (far(dev(run.origin)) &&
      run.height * view_.scale *
              (1 + std::fabs(run.widthFactor) * run.text.size()) <
          kFar / 2)
    return;  // it cannot reach the screen
  // Glyphs are cached per whole pixel size; the rest is a scale.
  int pixels = std::clamp(static_cast<int>(std::lround(target)), 1, 4096);
  double residual = target / pixels;
  painter_.save();
  painter_.translate(dev(run.origin));
  painter_.rotate(-run.rotation * kDegrees);
  if (run.oblique != 0) painter_.shear(-std::tan(run.oblique), 0);
  painter_.scale(residual * run.widthFactor, residual);
  painter_.setFont(fontFor(pixels, run));
  painter_.setPen(qcolor(run.color));
  painter_.drawText(QPointF(0, 0), run.text);
  painter_.restore();
}

void QtCanvas::point(Vec2 p, Rgb color) {
  if (far(dev(p))) return;
  QPen pen(qcolor(color));
  pen.setWidthF(std::max(thin_, 1.0));
  pen.setCosmetic(thin_ == 0);
  painter_.setPen(pen);
  painter_.drawPoint(dev(p));
}

}  // namespace cadhost::viewer
