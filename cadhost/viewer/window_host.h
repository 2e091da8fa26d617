// The embedded CAD host with its window, for the program with windows:
// the window shows the host's drawing and answers its picks.
#pragma once

#include "cadhost/host.h"

namespace cadhost::viewer {

class CadWindow;

// Needs a QApplication. The window lives as long as the host.
cadhost::ApplicationRef makeWindowHost();

// The window of a host made by makeWindowHost, null for any other host.
CadWindow* windowOf(const cadhost::ApplicationRef& host);

}  // namespace cadhost::viewer
