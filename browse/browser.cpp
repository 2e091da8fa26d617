#include "browse/browser.h"

#include "app/form1.h"

namespace browse {

// Filled by the browser work.
void Combo1_Click(app::Form1&) {}
void ComFirst_Click(app::Form1&) {}
void ComProious_Click(app::Form1&) {}
void ComNext_Click(app::Form1&) {}
void ComLast_Click(app::Form1&) {}
void ComSearch_Click(app::Form1&) {}
void ComFind_Click(app::Form1&) {}
void ComReview_Click(app::Form1&) {}
void Combo2_Click(app::Form1&) {}
void Combo3_Click(app::Form1&) {}
void leaveStep(app::Form1&) {}

}  // namespace browse
