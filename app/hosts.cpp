#include "app/hosts.h"

namespace app {

cadhost::HostFactory windowCadHost() {
  return [](const std::string&) -> cadhost::ApplicationRef {
    throw cadhost::HostError("no CAD host");
  };
}

reports::SheetFactory windowSheetHost() {
  return [](const std::string&) -> reports::SheetApplicationRef {
    throw reports::SheetError("no spreadsheet host");
  };
}

}  // namespace app
