#include "marking/marking.h"

#include "app/form1.h"

namespace marking {

// Filled by the numbering work.
void comSort_Click(app::Form1&) {}
void ComPart_Click(app::Form1&) {}
void ComFree_Click(app::Form1&) {}
void mnuUndo_Click(app::Form1&) {}
void mnuScalemax_Click(app::Form1&) {}
void mnuScalemin_Click(app::Form1&) {}
void mnuMovemark_Click(app::Form1&) {}
void mnuColor_Click(app::Form1&) {}
void mnuLayout_Click(app::Form1&) {}

}  // namespace marking
