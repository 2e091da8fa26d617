// A DWG converted while the user watches: the conversion runs off the UI
// thread, a progress dialog over the active window and the CAD window's
// status line show the drawing's name, a busy bar and a cancel button, and
// the UI stays alive in a nested event loop until it is done.
#pragma once

#include <string>

#include "cadhost/dwg/converter.h"

namespace cadhost::viewer {

class CadWindow;

// The DXF bytes; raises the converter's ConversionError, or
// cadhost::Cancelled when the user cancels. `cad` may be null.
std::string convertWithProgress(dwg::Converter& converter,
                                const std::string& path, CadWindow* cad);

}  // namespace cadhost::viewer
