// The hosts the window program runs with.
#pragma once

#include <functional>

#include "cadhost/dwg/converter.h"
#include "cadhost/host.h"
#include "reports/sheet_host.h"

namespace app {

// DWG drawings go through `converter`, with progress shown.
cadhost::HostFactory windowCadHost(cadhost::dwg::Converter& converter);
// run carries the sheet window's own events (its closing) to the program,
// as the binder does for the forms; without it they run directly.
reports::SheetFactory windowSheetHost(
    std::function<void(const std::function<void()>&)> run = {});

}  // namespace app
