// The dimension browser and the measurement entry.
#pragma once

#include <cstdint>
#include <string>

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
// Writes the detail boxes for position p.
void show(app::Form1& f, std::int32_t p);

// The save step: the panel's samples and instrument become position
// mindex's. A position outside the arrays has nothing to keep.
void measinput(app::Form1& f, std::int32_t mindex, std::int32_t samnum);
// The restore step: position mtool's saved entries back into the panel.
void meatool(app::Form1& f, std::int32_t mtool);

// The instrument codes by option index.
inline constexpr const char* kInstrumentCodes[8] = {"DC", "MIC", "HG", "CMM",
                                                    "PG", "TG",  "RG", "AG"};

}  // namespace browse
