#include "app/hosts.h"
#include "reports/embedded/embedded_host.h"

namespace app {

// The spreadsheet host of the window program. Its sheet window comes with
// the reports.
reports::SheetFactory windowSheetHost() {
  return reports::embedded::makeSheetHost();
}

}  // namespace app
