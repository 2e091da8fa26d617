#include <QPointer>

#include "app/hosts.h"
#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/cad_window.h"
#include "cadhost/viewer/dwg_progress.h"
#include "cadhost/viewer/window_host.h"

namespace app {

// The CAD host of the window program: the drawing engine with its window,
// which shows the drawing and takes the picks.
cadhost::HostFactory windowCadHost(cadhost::dwg::Converter& converter,
                                   std::function<void(QMainWindow*)> onWindow) {
  return [&converter,
          onWindow](const std::string& className) -> cadhost::ApplicationRef {
    if (className != "AutoCAD.APPLICATION")
      throw cadhost::HostError("no CAD host of class " + className);
    auto host = cadhost::viewer::makeWindowHost();
    auto engine =
        std::dynamic_pointer_cast<cadhost::engine::EngineApplication>(host);
    QPointer<cadhost::viewer::CadWindow> window =
        cadhost::viewer::windowOf(host);
    if (onWindow && window) onWindow(window.data());
    engine->dwgToDxf = [&converter, window](const std::string& path) {
      return cadhost::viewer::convertWithProgress(converter, path,
                                                  window.data());
    };
    return host;
  };
}

}  // namespace app
