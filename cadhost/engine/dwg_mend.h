// DXF written by LibreDWG (the DWG converter, or its dwg2dxf): what it is
// known to write wrongly is put right from the drawing's own evidence, the
// measurements the CAD stored and the pictures in the dimension blocks,
// and the layers' on/off states the converter read from the DWG.
// Each mend is listed among the load's repairs; a mended drawing, saved
// and read again, needs none.
#pragma once

#include "cadhost/engine/drawing.h"

namespace cadhost::engine {

bool writtenByLibreDwg(const Drawing& d);
void mendLibreDwgOutput(Drawing& d);

}  // namespace cadhost::engine
