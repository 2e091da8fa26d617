// The hosts the window program runs with.
#pragma once

#include "cadhost/host.h"
#include "reports/sheet_host.h"

namespace app {

cadhost::HostFactory windowCadHost();
reports::SheetFactory windowSheetHost();

}  // namespace app
