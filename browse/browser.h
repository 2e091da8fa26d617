// The dimension browser and the measurement entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/reading.h"
#include "dimtable/dimtable.h"

namespace model {
class Form1;
struct AppContext;
}  // namespace model

namespace browse {

void Combo1_Click(model::Form1& f);
void ComFirst_Click(model::Form1& f);
void ComProious_Click(model::Form1& f);
void ComNext_Click(model::Form1& f);
void ComLast_Click(model::Form1& f);
void ComSearch_Click(model::Form1& f);
void ComFind_Click(model::Form1& f);
void ComReview_Click(model::Form1& f);
// After a move: once "浏览" has shown a dimension in this drawing, the
// dimension the list reached is shown as "浏览" shows it (painted, in view)
// and the one left gets its own colour back; the CAD window is not brought
// forward.
void followInDrawing(model::Form1& f);
void Combo2_Click(model::Form1& f);
void Combo3_Click(model::Form1& f);

// The leave step: the current position from the list, the sample count from
// Combo3, and the save of the measurement panel for the position left.
// False, after telling the user, when a sample box holds no number: the
// move must not happen then.
bool leaveStep(model::Form1& f);
// Writes the detail boxes for position p.
void show(model::Form1& f, std::int32_t p);

// The save step: the panel's first samnum boxes and its instrument become
// position mindex's, in memory and in the drawing's database. An empty box
// is a sample not measured; a panel with no sample stores nothing. A box
// that is not a number is refused with a message and nothing is stored
// (false). A position outside the arrays, or 0, has nothing to keep.
bool measinput(model::Form1& f, std::int32_t mindex, std::int32_t samnum);
// What the panel's first samnum boxes and its instrument hold, as the save
// step would store it for position mindex; nothing, with the reason in
// `refusal`, when a box is not a number.
std::optional<dimtable::Measurement> panelMeasurement(model::Form1& f,
                                                      std::int32_t mindex,
                                                      std::int32_t samnum,
                                                      std::string* refusal);
// The restore step: the panel shows exactly position mtool's stored
// entries, with empty boxes when nothing is stored.
void meatool(model::Form1& f, std::int32_t mtool);

// A sample box's text: nothing (empty), a number, or the reason it is
// refused. It is read as a gauge's reading (browse/reading.h): what an
// input method or a gauge types counts as the number it means. Files read
// back pass stricter options (no comma, no unit).
struct SampleText {
  std::optional<float> value;
  std::string error;  // empty when accepted
};
SampleText readSample(std::string_view text, const ReadOptions& options = {});

// The stored measurement of a position as the database keeps it, and back.
dimtable::Measurement measurementOf(const model::AppContext& ctx,
                                    std::int32_t p);
void storeMeasurement(model::AppContext& ctx, std::int32_t p,
                      const dimtable::Measurement& m);
// Writes the measurements of these positions to the drawing's open
// database in one transaction; a failure is told to the user and the
// values stay in memory.
void persistMeasurements(model::Form1& f,
                         const std::vector<std::int32_t>& positions);

// The instrument codes by option index.
inline constexpr const char* kInstrumentCodes[8] = {"DC", "MIC", "HG", "CMM",
                                                    "PG", "TG",  "RG", "AG"};

}  // namespace browse
