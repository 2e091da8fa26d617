// "自由标号": one mark at each point the user picks, for the nearest
// dimension not yet numbered.
#include <cmath>

#include "dimtable/dimtable.h"
#include "forms/errors.h"
#include "marking/marking.h"
#include "marking/marks.h"
#include "model/form1.h"
#include "model/positions.h"

namespace marking {
namespace {

using forms::resumeNext;

// One point from the user. False when the pick was cancelled or the host
// could not pick; pickedPoint then keeps the point before.
bool free_GetPoint(model::Form1& f) {
  try {
    f.pickedPoint =
        f.ctx.cadDoc->GetUtility().GetPoint(std::nullopt, "LOCATION: ");
    return true;
  } catch (const cadhost::HostError&) {
    return false;
  }
}

// The dimension not yet numbered whose text lies nearest to the pick,
// within nearestDistance, moved to position freeCurrent. False when none
// lies within reach: nothing moves.
bool treatUnits(model::Form1& f);

bool treat(model::Form1& f) {
  auto& ctx = f.ctx;
  auto& d = ctx.dimRecords;
  if (model::anyComposite(d, f.freeCurrent, ctx.dimCount)) return treatUnits(f);
  int found = 0;
  for (f.loopIndex = f.freeCurrent; f.loopIndex <= ctx.dimCount;
       ++f.loopIndex) {
    const auto& r = d[static_cast<size_t>(f.loopIndex)];
    const double dx = static_cast<double>(r.x) - f.pickedPoint[0];
    const double dy = static_cast<double>(r.y) - f.pickedPoint[1];
    const auto distance = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    // Strictly nearer: of two at the same distance the lower position wins.
    if (distance < f.nearestDistance) {
      f.nearestDistance = distance;
      f.nearestPosition = static_cast<std::int16_t>(f.loopIndex);
      found = f.loopIndex;
    }
  }
  if (found == 0) return false;
  const auto at = static_cast<size_t>(f.freeCurrent);
  d[0] = d[static_cast<size_t>(found)];
  d[static_cast<size_t>(found)] = d[at];
  d[at] = d[0];
  f.freeCurrent = static_cast<std::int16_t>(f.freeCurrent + 1);
  return true;
}

// The same with a composite frame's two rows as one entry, found by its
// first row and moved with it.
bool treatUnits(model::Form1& f) {
  auto& ctx = f.ctx;
  std::vector<Unit> units =
      unitsOf(ctx.dimRecords, f.freeCurrent, ctx.dimCount);
  std::size_t found = 0;
  int position = f.freeCurrent;
  for (std::size_t k = 1; k < units.size(); ++k) {
    const auto& r = units[k].front();
    const double dx = static_cast<double>(r.x) - f.pickedPoint[0];
    const double dy = static_cast<double>(r.y) - f.pickedPoint[1];
    const auto distance = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    if (distance < f.nearestDistance) {
      f.nearestDistance = distance;
      f.nearestPosition = static_cast<std::int16_t>(position);
      found = k;
    }
    position += static_cast<int>(units[k].size());
  }
  f.loopIndex = ctx.dimCount + 1;
  if (found == 0) return false;
  units[0] = units[found];
  units[found] = units[1];
  units[1] = units[0];
  putUnits(ctx.dimRecords, f.freeCurrent, units, units.size() - 1);
  f.freeCurrent = static_cast<std::int16_t>(f.freeCurrent +
                                            static_cast<int>(units[1].size()));
  return true;
}

// The mark of position p, centred on the pick: one change for the CAD
// host's undo.
void drawFreeMark(model::Form1& f, int p) {
  auto& ms = *f.ctx.modelSpace;
  const double R = f.textHeight;
  const cadhost::Point centre = f.pickedPoint;
  const cadhost::Point insertion{centre[0] - 0.8 * R, centre[1] - 0.4 * R, 0};
  const std::string number = std::to_string(markNumberAt(f, p));
  UndoMark oneStep(f);
  resumeNext([&] {
    f.markCircles.at(static_cast<size_t>(p)) = ms.AddCircle(centre, R);
  });
  resumeNext([&] {
    f.markTexts.at(static_cast<size_t>(p)) =
        ms.AddText(number, insertion, f.markTextHeight);
  });
}

// Takes back the marks of positions first to last, when their rows could
// not be kept.
void eraseMarks(model::Form1& f, int first, int last) {
  UndoMark oneStep(f);
  for (int p = first; p <= last; ++p) {
    for (auto* list : {&f.markCircles, &f.markTexts}) {
      resumeNext([&] {
        auto& e = list->at(static_cast<size_t>(p));
        if (e) e->Delete();
        e.reset();
      });
    }
  }
}

}  // namespace

void ComFree_Click(model::Form1& f) {
  // Numbering again from the first position once rows exist would give
  // the table a second set; a later run continues where the last ended.
  if (!f.newDatabase || (f.freeNext <= 1 && f.numberedRows > 0)) {
    sayNumbered(f);
    return;
  }
  auto& ctx = f.ctx;
  if (!ctx.cadDoc || !ctx.modelSpace) return;
  const int s = f.freeNext;
  f.freeCurrent = f.freeNext;
  if (!readMarkBase(f, ctx.dimCount)) return;
  if (!openTableOrSay(f)) return;
  showCadWindow(f);

  for (int p = s; p <= ctx.dimCount + 1;) {
    f.nearestDistance = static_cast<float>(f.dimScale * 1000);
    // A cancelled pick ends the run as a pick beside the drawing does:
    // repeating the point before would number a dimension nobody chose.
    if (!free_GetPoint(f)) break;
    // The size of the next mark, by the marks before it.
    f.markTextHeight = markHeightFor(
        model::markOrdinal(ctx.dimRecords, p - 1) + 1, f.textHeight);
    const double x = f.pickedPoint[0];
    if (x < f.extMin[0] || x > f.extMax[0]) break;
    // Every dimension has its mark: any further pick ends the run.
    if (p > ctx.dimCount) break;
    // Nothing within reach: no mark, and the same number is asked again.
    if (!treat(f)) continue;
    drawFreeMark(f, p);
    // A composite frame's second row goes with it, under the same mark.
    p = f.freeCurrent;
  }
  f.freeNext = f.freeCurrent;

  const int last = f.freeNext - 1;
  for (int p = s; p <= last; ++p) appendRow(f, p);
  if (!saveRows(f, last - s + 1)) {
    // No row, no mark: the run is as if it had not been.
    eraseMarks(f, s, last);
    f.freeNext = static_cast<std::int16_t>(s);
  }
  f.markedCount = static_cast<std::int16_t>(f.freeNext - 1);
  if (f.markedCount != 0) after(f);
  f.comSort->setEnabled(false);
  f.ComHadmark->setEnabled(false);
}

}  // namespace marking
