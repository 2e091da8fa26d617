// "分区标号": the drawing numbered window by window.
#include "dimtable/dimtable.h"
#include "forms/errors.h"
#include "marking/marking.h"
#include "marking/marks.h"
#include "model/form1.h"
#include "model/positions.h"

namespace marking {
namespace {

using forms::resumeNext;

constexpr const char* kFirstCorner = "第一点: ";
constexpr const char* kOtherCorner = "对角点: ";

// Moves the not yet numbered dimensions whose text lies in the window to
// the positions after zoneMarkedCount, orders them, writes their rows and
// draws their marks. False when the table refused the rows: the group is
// then left unnumbered and the run ends.
bool numberWindow(model::Form1& f, const cadhost::Point& a,
                  const cadhost::Point& b) {
  auto& ctx = f.ctx;
  auto& d = ctx.dimRecords;
  const int first = f.zoneGroupStart;
  int last = f.zoneMarkedCount;
  if (!model::anyComposite(d, first, ctx.dimCount)) {
    for (int i = first; i <= ctx.dimCount; ++i) {
      const auto& r = d[static_cast<size_t>(i)];
      if (!inWindow(r.x, r.y, a, b)) continue;
      ++last;
      d[0] = d[static_cast<size_t>(i)];
      d[static_cast<size_t>(i)] = d[static_cast<size_t>(last)];
      d[static_cast<size_t>(last)] = d[0];
    }
  } else {
    // The same moves with a composite frame's rows as one entry.
    std::vector<Unit> units = unitsOf(d, first, ctx.dimCount);
    std::size_t in = 0;
    for (std::size_t i = 1; i < units.size(); ++i) {
      const auto& r = units[i].front();
      if (!inWindow(r.x, r.y, a, b)) continue;
      ++in;
      units[0] = units[i];
      units[i] = units[in];
      units[in] = units[0];
    }
    putUnits(d, first, units, units.size() - 1);
    last = first - 1;
    for (std::size_t k = 1; k <= in; ++k)
      last += static_cast<int>(units[k].size());
  }
  sortrange(f, first, last);
  // The group's rows are in the table before its first mark is drawn and
  // before the next window is asked for.
  for (int p = first; p <= last; ++p) appendRow(f, p);
  if (!saveRows(f, last - first + 1)) return false;
  f.zoneMarkedCount = static_cast<std::int16_t>(last);
  {
    UndoMark oneStep(f);
    for (int p = first; p <= last; ++p) resumeNext([&] { drawmark(f, p); });
  }
  f.zoneGroupStart = static_cast<std::int16_t>(last + 1);
  return true;
}

}  // namespace

void ComPart_Click(model::Form1& f) {
  // A run that would begin again at the first position once rows exist
  // would give the table a second set: a finished run, or any other
  // numbering, ends zone marking for the drawing.
  if (!f.newDatabase || (f.zoneGroupStart <= 1 && f.numberedRows > 0)) {
    sayNumbered(f);
    return;
  }
  auto& ctx = f.ctx;
  if (!ctx.cadDoc || !ctx.modelSpace) return;
  if (!readMarkBase(f, ctx.dimCount)) return;
  if (!openTableOrSay(f)) return;
  showCadWindow(f);

  bool finished = false;
  for (;;) {
    cadhost::Point a{}, b{};
    try {
      cadhost::Utility& picks = ctx.cadDoc->GetUtility();
      a = picks.GetPoint(std::nullopt, kFirstCorner);
      b = picks.GetCorner(a, kOtherCorner);
    } catch (const cadhost::HostError&) {
      // Esc, or a host that cannot pick: the run stops as interrupted,
      // with every window so far kept.
      break;
    }
    if (a[0] < f.extMin[0]) {
      finished = true;
      break;
    }
    if (a[0] > f.extMax[0]) break;
    if (!numberWindow(f, a, b)) break;
  }

  f.markedCount = f.zoneMarkedCount;
  if (f.markedCount != 0) after(f);
  if (finished) {
    f.zoneGroupStart = 1;
    f.zoneMarkedCount = 0;
  }
  f.comSort->setEnabled(false);
}

}  // namespace marking
