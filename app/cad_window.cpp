#include "app/hosts.h"
#include "cadhost/engine/embedded_host.h"

namespace app {

// The CAD host of the window program. Its own window comes with the viewer.
cadhost::HostFactory windowCadHost() {
  return [](const std::string& className) -> cadhost::ApplicationRef {
    if (className != "AutoCAD.APPLICATION")
      throw cadhost::HostError("no CAD host of class " + className);
    return cadhost::engine::makeEmbeddedHost();
  };
}

}  // namespace app
