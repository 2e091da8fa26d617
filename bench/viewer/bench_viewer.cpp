// Speed of the CAD window's drawing on a drawing of 100,000 entities
// (about 30 MB; make_viewer_drawing.py writes it on first use):
//
// - FirstPicture: from the file to the window's first image, as the
//   window does it: load, build the scene, draw everything at 1600 x 1000.
// - RenderAll / RenderZoomed: one redraw of the whole drawing, and of a
//   view a tenth of its width wide at places across it (panning).
// - MarkAndRedraw: one mark added through the host, the scene brought up
//   to date and the view redrawn.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/qt_canvas.h"
#include "cadhost/viewer/renderer.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"

namespace {

using namespace cadhost::viewer;

std::string drawingPath() {
  if (const char* p = std::getenv("DIMMARK_BENCH_VIEWER_DRAWING")) return p;
  return DIMMARK_BENCH_DRAWING;
}

const FontMetrics& metrics() {
  static FontMetrics m;
  return m;
}

std::shared_ptr<cadhost::engine::EngineDocument> open(
    const cadhost::ApplicationRef& app) {
  return std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
      app->Open(drawingPath()));
}

// One picture as the window makes it.
void render(const Scene& scene, const View& view, QImage& image) {
  image.fill(QColor(33, 40, 48));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QtCanvas canvas(p, view, scene.metrics());
  Renderer renderer;
  renderer.draw(scene, view, canvas, RenderStyle{});
}

void BM_FirstPicture(benchmark::State& state) {
  QImage image(1600, 1000, QImage::Format_RGB32);
  for (auto _ : state) {
    auto app = cadhost::engine::makeEmbeddedHost();
    auto doc = open(app);
    Scene scene(metrics());
    scene.build(doc->drawing());
    render(scene, View::fit(scene.extents(), 1600, 1000), image);
    benchmark::DoNotOptimize(image.bits());
  }
}

void BM_BuildScene(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = open(app);
  for (auto _ : state) {
    Scene scene(metrics());
    scene.build(doc->drawing());
    benchmark::DoNotOptimize(scene.livingCount());
  }
}

void BM_RenderAll(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = open(app);
  Scene scene(metrics());
  scene.build(doc->drawing());
  QImage image(1600, 1000, QImage::Format_RGB32);
  View view = View::fit(scene.extents(), 1600, 1000);
  for (auto _ : state) render(scene, view, image);
}

void BM_RenderZoomed(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = open(app);
  Scene scene(metrics());
  scene.build(doc->drawing());
  scene.ensureIndex();
  QImage image(1600, 1000, QImage::Format_RGB32);
  View all = View::fit(scene.extents(), 1600, 1000);
  Box ext = scene.extents();
  int step = 0;
  for (auto _ : state) {
    View v = all;
    v.scale *= 10;
    v.center = {ext.x0 + ext.width() * ((step % 9) + 0.5) / 9,
                ext.y0 + ext.height() * ((step / 9 % 5) + 0.5) / 5};
    ++step;
    render(scene, v, image);
  }
}

void BM_MarkAndRedraw(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = open(app);
  Scene scene(metrics());
  scene.build(doc->drawing());
  scene.ensureIndex();
  QImage image(1600, 1000, QImage::Format_RGB32);
  Box ext = scene.extents();
  View view = View::fit(ext, 1600, 1000);
  view.scale *= 10;
  auto& ms = doc->GetModelSpace();
  int k = 0;
  for (auto _ : state) {
    double x = ext.x0 + (k % 100) * 10.0, y = ext.y0 + (k / 100) * 10.0;
    ++k;
    ms.AddCircle({x, y, 0}, 3.5);
    ms.AddText(std::to_string(k), {x - 2, y - 1, 0}, 3.5);
    scene.update(doc->drawing());
    view.center = {x, y};
    render(scene, view, image);
  }
}

BENCHMARK(BM_FirstPicture)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_BuildScene)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RenderAll)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RenderZoomed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_MarkAndRedraw)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  std::string path = drawingPath();
  if (!std::filesystem::exists(path)) {
    std::cerr << "generating " << path << " ...\n";
    std::string cmd = std::string("/usr/bin/python3 '") + DIMMARK_BENCH_SCRIPT +
                      "' '" + path + "'";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(path)) {
      std::cerr << "could not generate the benchmark drawing\n";
      return 2;
    }
  }
  std::cerr << path << ": " << std::filesystem::file_size(path) << " bytes\n";
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
