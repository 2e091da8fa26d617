#include "app/hosts.h"

#include "cadhost/engine/embedded_host.h"
#include "reports/embedded/embedded_host.h"

namespace app {

cadhost::HostFactory windowCadHost() {
  return [](const std::string& className) -> cadhost::ApplicationRef {
    if (className != "AutoCAD.APPLICATION")
      throw cadhost::HostError("no CAD host of class " + className);
    return cadhost::engine::makeEmbeddedHost();
  };
}

reports::SheetFactory windowSheetHost() {
  return reports::embedded::makeSheetHost();
}

}  // namespace app
