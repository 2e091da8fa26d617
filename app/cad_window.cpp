#include "app/hosts.h"
#include "cadhost/viewer/window_host.h"

namespace app {

// The CAD host of the window program: the drawing engine with its window,
// which shows the drawing and takes the picks.
cadhost::HostFactory windowCadHost() {
  return [](const std::string& className) -> cadhost::ApplicationRef {
    if (className != "AutoCAD.APPLICATION")
      throw cadhost::HostError("no CAD host of class " + className);
    return cadhost::viewer::makeWindowHost();
  };
}

}  // namespace app
