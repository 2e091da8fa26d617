// The canvas that paints: drawing units mapped through a view onto a
// QPainter (a window's image, a PDF page, a PNG).
#pragma once

#include <QFont>
#include <QPainter>
#include <map>

#include "cadhost/viewer/canvas.h"
#include "cadhost/viewer/renderer.h"
#include "cadhost/viewer/text_layout.h"

namespace cadhost::viewer {

class QtCanvas : public Canvas {
 public:
  // `thinWidth` is the device width of the thinnest line (0: one pixel).
  QtCanvas(QPainter& painter, const View& view, const FontMetrics& metrics,
           double thinWidth = 0);

  void line(Vec2 a, Vec2 b, const Pen& pen) override;
  void lines(std::span<const Vec2> pairs, const Pen& pen) override;
  void polyline(std::span<const Vec2> points, bool closed,
                const Pen& pen) override;
  void arc(Vec2 center, double radius, double start, double sweep,
           const Pen& pen) override;
  void polygon(std::span<const std::vector<Vec2>> rings, Rgb fill) override;
  void text(const TextRun& run) override;
  void point(Vec2 p, Rgb color) override;

 private:
  QPointF dev(Vec2 p) const {
    return {view_.width / 2 + (p.x - view_.center.x) * view_.scale,
            view_.height / 2 - (p.y - view_.center.y) * view_.scale};
  }
  void usePen(const Pen& pen);
  const QFont& fontFor(int pixels, const TextRun& run);

  QPainter& painter_;
  View view_;
  const FontMetrics& metrics_;
  double thin_;
  std::map<std::tuple<int, bool, bool, bool, bool, bool>, QFont> fonts_;
  QVector<QPointF> scratch_;
  QVector<QLineF> lineScratch_;
};

}  // namespace cadhost::viewer
