// The dimension browser and the measurement entry.
#pragma once

namespace app {
class Form1;
}

namespace browse {

void Combo1_Click(app::Form1& f);
void ComFirst_Click(app::Form1& f);
void ComProious_Click(app::Form1& f);
void ComNext_Click(app::Form1& f);
void ComLast_Click(app::Form1& f);
void ComSearch_Click(app::Form1& f);
void ComFind_Click(app::Form1& f);
void ComReview_Click(app::Form1& f);
void Combo2_Click(app::Form1& f);
void Combo3_Click(app::Form1& f);

// The leave step: the current position from the list, the sample count from
// Combo3, and the save of the measurement panel for the position left.
void leaveStep(app::Form1& f);

}  // namespace browse
