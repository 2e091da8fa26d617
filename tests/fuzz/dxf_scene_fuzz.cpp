// Fuzz target: a drawing's bytes loaded and turned into the picture the CAD
// window shows (the scene of every model-space entity, with its blocks,
// hatches, texts and dimensions), then painted small.
#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "cadhost/engine/drawing.h"
#include "cadhost/viewer/export.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Fonts need a GUI application; without a display it paints offscreen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(quiet);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  static const cadhost::viewer::FontMetrics metrics;
  std::unique_ptr<cadhost::engine::Drawing> drawing;
  try {
    drawing = cadhost::engine::Drawing::load(
        cadhost::engine::Bytes(reinterpret_cast<const char*>(data), size));
  } catch (const cadhost::HostError&) {
    return 0;  // refused with a message
  }
  cadhost::viewer::Scene scene(metrics);
  scene.build(*drawing);
  cadhost::viewer::renderImage(scene, 64);
  return 0;
}
