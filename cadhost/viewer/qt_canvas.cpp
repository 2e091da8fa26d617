#include "cadhost/viewer/qt_canvas.h"

#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace cadhost::viewer {

namespace {

QColor qcolor(Rgb c) { return QColor(c.r, c.g, c.b); }

constexpr double kDegrees = 180 / std::numbers::pi;

}  // namespace

QtCanvas::QtCanvas(QPainter& painter, const View& view,
                   const FontMetrics& metrics, double thinWidth)
    : painter_(painter), view_(view), metrics_(metrics), thin_(thinWidth) {}

void QtCanvas::usePen(const Pen& pen) {
  double width = std::max(thin_, pen.width * view_.scale);
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
  usePen(pen);
  painter_.drawLine(dev(a), dev(b));
}

void QtCanvas::lines(std::span<const Vec2> pairs, const Pen& pen) {
  usePen(pen);
  lineScratch_.clear();
  for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
    lineScratch_.push_back(QLineF(dev(pairs[i]), dev(pairs[i + 1])));
  painter_.drawLines(lineScratch_);
}

void QtCanvas::polyline(std::span<const Vec2> points, bool closed,
                        const Pen& pen) {
  usePen(pen);
  scratch_.clear();
  for (Vec2 p : points) scratch_.push_back(dev(p));
  if (closed)
    painter_.drawPolygon(scratch_.data(), static_cast<int>(scratch_.size()));
  else
    painter_.drawPolyline(scratch_.data(), static_cast<int>(scratch_.size()));
}

void QtCanvas::arc(Vec2 center, double radius, double start, double sweep,
                   const Pen& pen) {
  double r = radius * view_.scale;
  if (r > 1e5) {
    // Too large for the painter's arc code: short chords instead.
    int n = std::clamp(static_cast<int>(std::fabs(sweep) * 2000), 16, 20000);
    scratch_.clear();
    for (int k = 0; k <= n; ++k) {
      double a = start + sweep * k / n;
      scratch_.push_back(dev(
          {center.x + radius * std::cos(a), center.y + radius * std::sin(a)}));
    }
    usePen(pen);
    painter_.drawPolyline(scratch_.data(), static_cast<int>(scratch_.size()));
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
    path.moveTo(dev(ring[0]));
    for (std::size_t i = 1; i < ring.size(); ++i) path.lineTo(dev(ring[i]));
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
  double target = run.height * metrics_.emPerCap(run.text) * view_.scale;
  if (!(target > 0) || !std::isfinite(target)) return;
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
  QPen pen(qcolor(color));
  pen.setWidthF(std::max(thin_, 1.0));
  pen.setCosmetic(thin_ == 0);
  painter_.setPen(pen);
  painter_.drawPoint(dev(p));
}

}  // namespace cadhost::viewer
