#include "marking/marking.h"

#include "forms/errors.h"
#include "intake/dimtable.h"
#include "marking/marks.h"
#include "model/form1.h"

namespace marking {

using forms::resumeNext;

void comSort_Click(model::Form1& f) {
  // A drawing numbered before, or since it was opened, is not numbered
  // again; the user is told why.
  if (!f.newDatabase || f.numberedRows > 0) {
    sayNumbered(f);
    return;
  }
  auto& ctx = f.ctx;
  if (!readMarkBase(f, ctx.dimCount)) return;
  openTable(f);
  if (f.deferNumberingCommit) resumeNext([&] { f.dbConn->BeginTrans(); });
  sortrange(f, 1, ctx.dimCount);
  if (f.dimRs) {
    for (int p = 1; p <= ctx.dimCount; ++p) appendRow(f, p);
    if (resumeNext([&] { f.dimRs->Update(); })) f.numberedRows += ctx.dimCount;
  }
  if (ctx.modelSpace) {
    // The marks are one change for the CAD host's undo.
    UndoMark oneStep(f);
    for (int p = 1; p <= ctx.dimCount; ++p) resumeNext([&] { drawmark(f, p); });
  }
  f.markedCount = static_cast<std::int16_t>(ctx.dimCount);
  after(f);
  f.comSort->setEnabled(false);
  f.ComHadmark->setEnabled(false);
}

void commitNumbering(model::Form1& f) {
  if (f.dbConn && f.dbConn->IsOpen()) f.dbConn->CommitTrans();
}

void rollbackNumbering(model::Form1& f) {
  if (f.dbConn) resumeNext([&] { f.dbConn->RollbackTrans(); });
  for (auto* marks : {&f.markCircles, &f.markTexts})
    for (auto& mark : *marks)
      if (mark) resumeNext([&] { mark->Delete(); });
  f.numberedRows = 0;
  f.markedCount = 0;
  f.Combo1->clear();
  f.comSort->setEnabled(true);
  f.ComHadmark->setEnabled(true);
}

}  // namespace marking
