#include "cadhost/viewer/export.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <cmath>
#include <stdexcept>

#include "cadhost/viewer/qt_canvas.h"
#include "cadhost/viewer/text_layout.h"

namespace cadhost::viewer {

namespace {

constexpr int kMaxSide = 20000;

std::string describe(const QFileDevice& f) {
  return f.errorString().toStdString();
}

}  // namespace

QPageSize::PageSizeId paperByName(const QString& name, bool* ok) {
  static const std::pair<const char*, QPageSize::PageSizeId> papers[] = {
      {"A4", QPageSize::A4},          {"A3", QPageSize::A3},
      {"A2", QPageSize::A2},          {"A1", QPageSize::A1},
      {"A0", QPageSize::A0},          {"LETTER", QPageSize::Letter},
      {"TABLOID", QPageSize::Tabloid}};
  for (const auto& [n, id] : papers)
    if (name.trimmed().toUpper() == QLatin1String(n)) {
      *ok = true;
      return id;
    }
  *ok = false;
  return QPageSize::A3;
}

QImage renderImage(const Scene& scene, int width, const RenderStyle& style) {
  if (width < 1 || width > kMaxSide)
    throw std::runtime_error("the image width must be 1 to " +
                             std::to_string(kMaxSide) + " pixels");
  Box ext = scene.extents(style.plotOnly);
  double aspect = ext.empty() || ext.width() <= 0
                      ? 0.7071
                      : std::clamp(ext.height() / ext.width(), 0.01, 100.0);
  int height =
      std::clamp(static_cast<int>(std::lround(width * aspect)), 1, kMaxSide);
  QImage image(width, height, QImage::Format_RGB32);
  if (image.isNull())
    throw std::runtime_error("not enough memory for an image of " +
                             std::to_string(width) + " x " +
                             std::to_string(height) + " pixels");
  image.fill(
      QColor(style.background.r, style.background.g, style.background.b));
  View view = View::fit(ext, width, height);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QtCanvas canvas(painter, view, scene.metrics());
  Renderer renderer;
  renderer.draw(scene, view, canvas, style);
  painter.end();
  return image;
}

void exportPng(const Scene& scene, const std::string& path, int width) {
  QImage image = renderImage(scene, width);
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly))
    throw std::runtime_error("cannot write " + path + ": " + describe(file));
  if (!image.save(&file, "PNG")) {
    file.cancelWriting();
    throw std::runtime_error("cannot write " + path);
  }
  if (!file.commit())
    throw std::runtime_error("cannot write " + path + ": " + describe(file));
}

void exportPdf(const Scene& scene, const std::string& path,
               const PdfOptions& options) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly))
    throw std::runtime_error("cannot write " + path + ": " + describe(file));
  // Paper leaves out the layers that do not plot: they frame nothing.
  Box ext = scene.extents(true);
  bool landscape = options.orientation == PdfOptions::Orientation::Landscape;
  if (options.orientation == PdfOptions::Orientation::Auto)
    landscape = ext.empty() || ext.width() >= ext.height();
  {
    QPdfWriter writer(&file);
    writer.setResolution(1200);
    writer.setCreator(QStringLiteral("DimMark"));
    writer.setTitle(QFileInfo(QString::fromStdString(path)).baseName());
    QPageLayout layout(
        QPageSize(options.paper),
        landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(options.marginMm, options.marginMm, options.marginMm,
                  options.marginMm),
        QPageLayout::Millimeter);
    writer.setPageLayout(layout);
    QPainter painter;
    if (!painter.begin(&writer)) {
      file.cancelWriting();
      throw std::runtime_error("cannot write " + path);
    }
    QRect page = painter.viewport();
    View view = View::fit(ext, page.width(), page.height(), 0);
    // The thinnest line of a plot: 0.18 mm.
    double thin = 0.18 / 25.4 * writer.resolution();
    QtCanvas canvas(painter, view, scene.metrics(), thin);
    Renderer renderer;
    renderer.draw(scene, view, canvas, RenderStyle::paper());
    painter.end();
  }
  if (!file.commit())
    throw std::runtime_error("cannot write " + path + ": " + describe(file));
}

}  // namespace cadhost::viewer
