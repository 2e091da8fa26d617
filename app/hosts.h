// The hosts the window program runs with.
#pragma once

#include <functional>

class QMainWindow;

#include "cadhost/dwg/converter.h"
#include "cadhost/host.h"
#include "sheethost/host.h"

namespace app {

class SheetWindow;

// DWG drawings go through `converter`, with progress shown; each host's
// window is handed to `onWindow` to be placed.
cadhost::HostFactory windowCadHost(
    cadhost::dwg::Converter& converter,
    std::function<void(QMainWindow*)> onWindow = {});
// run carries the sheet window's own events (its closing) to the program,
// as the binder does for the forms; without it they run directly. Every
// sheet window made is handed to `onWindow`.
sheethost::SheetFactory windowSheetHost(
    std::function<void(const std::function<void()>&)> run = {},
    std::function<void(SheetWindow*)> onWindow = {});

}  // namespace app
