// The numbering operations of the marking frame and the mark editing menu.
#pragma once

namespace app {
class Form1;
}

namespace marking {

void comSort_Click(app::Form1& f);
void ComPart_Click(app::Form1& f);
void ComFree_Click(app::Form1& f);
void ComHadmark_Click(app::Form1& f);
void ComLdefine_Click(app::Form1& f);
void mnuUndo_Click(app::Form1& f);
void mnuScalemax_Click(app::Form1& f);
void mnuScalemin_Click(app::Form1& f);
void mnuMovemark_Click(app::Form1& f);
void mnuColor_Click(app::Form1& f);
void mnuLayout_Click(app::Form1& f);

}  // namespace marking
