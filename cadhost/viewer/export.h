// The drawing as a file: a vector PDF on a sheet of paper, or a PNG of a
// given width. Both show all of model space on white, as plotted.
#pragma once

#include <QImage>
#include <QPageSize>
#include <string>

#include "cadhost/viewer/renderer.h"
#include "cadhost/viewer/scene.h"

namespace cadhost::viewer {

class FontMetrics;

struct PdfOptions {
  QPageSize::PageSizeId paper = QPageSize::A3;
  enum class Orientation {
    Auto,
    Landscape,
    Portrait
  } orientation = Orientation::Auto;
  double marginMm = 10;
};

// Both raise std::runtime_error with the reason when the file cannot be
// written; an existing file is replaced only once the new one is whole.
void exportPdf(const Scene& scene, const std::string& path,
               const PdfOptions& options = {});
void exportPng(const Scene& scene, const std::string& path, int width);

// The image that exportPng writes: `width` pixels wide, as high as the
// drawing's proportions ask.
QImage renderImage(const Scene& scene, int width,
                   const RenderStyle& style = RenderStyle::paper());

// Paper names for the export dialog and the command line: "A4", "A3"...
QPageSize::PageSizeId paperByName(const QString& name, bool* ok);

}  // namespace cadhost::viewer
