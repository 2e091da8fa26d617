// The inspection results on the drawing: each numbered dimension's mark in
// the CAD window shows its verdict (green OK, red NG, its own colour when
// not measured or not to be judged). The colours are the host's view, not
// an edit: the drawing keeps its entities' colours and saves none of these.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cadhost/host.h"
#include "dimtable/dimtable.h"
#include "model/verdict.h"

namespace model {
class Form1;
}  // namespace model

namespace browse {

// Whether an entity is still in its drawing (not erased, its drawing open).
bool alive(const cadhost::EntityRef& e);

inline constexpr int kOkColor = 3;  // green
inline constexpr int kNgColor = 1;  // red

// The number of position p's mark as the browse list shows it ("12" of
// "12------25.4"); empty when the list has no entry p.
std::string markNumber(const model::Form1& f, std::int32_t p);

// The verdict of position p from what it stores.
model::Verdict verdictAt(const model::Form1& f, std::int32_t p);

// The circle and number text of position p's mark: the ones drawn in this
// run, else the ones found in the drawing (a drawing numbered before) by
// their number nearest the dimension. Null parts where there is none.
struct MarkParts {
  cadhost::EntityRef circle;
  cadhost::EntityRef text;
};
MarkParts marksOf(model::Form1& f, std::int32_t p);

// A mark looked for in a drawing: its number as the list or the table
// gives it ("12"), and where its dimension's text stands.
struct SoughtMark {
  std::string number;
  double x = 0;
  double y = 0;
};
// For each mark sought, the circle and number text that are its mark in
// model space (null where there is none): the text of its number nearest
// its dimension, ringed by a circle of a mark's size or standing beside
// the dimension; no entity serves two marks.
std::vector<std::array<cadhost::EntityRef, 2>> locateMarks(
    cadhost::ModelSpace& ms, const std::vector<SoughtMark>& sought);

// The colour each numbered position's mark shows, from 1: kOkColor,
// kNgColor, or 0 for its own. The position in the panel goes by what the
// panel holds now (samples being typed), the others by what they store.
std::vector<int> resultColors(model::Form1& f);

// Every numbered position's mark in the CAD window in the colour
// resultColors gives it. A drawing without host shows nothing.
void showResults(model::Form1& f);

}  // namespace browse
