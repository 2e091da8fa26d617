// "已经标号": a drawing numbered before is loaded back from its table.
#include <algorithm>
#include <map>
#include <memory>

#include "model/form1.h"
#include "browse/browser.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "intake/dimtable.h"
#include "marking/marking.h"

namespace marking {
namespace {

std::string noRowsMessage(const std::string& dbPath) {
  return "图纸的数据库 " + dbPath +
         " 中没有尺寸记录，无法载入！可删除该文件后重新打开图纸进行标号。";
}

// Room for positions up to n; arrays only grow, so entries already made
// for the drawing stay.
void makeRoom(model::Form1& f, std::int32_t n) {
  auto& ctx = f.ctx;
  const auto size = static_cast<size_t>(n) + 1;
  auto grow = [size](auto& v) {
    if (v.size() < size) v.resize(size);
  };
  grow(ctx.dimRecords);
  grow(ctx.adoptedRecords);
  grow(ctx.sampleCounts);
  grow(ctx.samples);
  grow(ctx.instrumentCodes);
  grow(f.markCircles);
  grow(f.markTexts);
}

// What was measured before, back into the arrays; a table that cannot be
// read is told, and the rows load without it.
void loadMeasurements(model::Form1& f) {
  auto& ctx = f.ctx;
  std::map<std::int32_t, intake::Measurement> stored;
  try {
    stored = f.dbConn->LoadMeasurements();
  } catch (const std::exception& e) {
    ctx.desktop.message(std::string("以前的测量值无法载入：") + e.what(),
                        forms::Buttons::Ok, "");
    return;
  }
  for (const auto& [position, m] : stored) {
    if (position > ctx.dimCount) continue;
    browse::storeMeasurement(ctx, position, m);
  }
}

// The load sequence on an opened table with rows.
void out(model::Form1& f, std::shared_ptr<intake::Connection> conn,
         std::shared_ptr<intake::Recordset> rs) {
  auto& ctx = f.ctx;
  f.dbConn = std::move(conn);
  f.dimRs = std::move(rs);
  intake::Recordset& r = *f.dimRs;
  r.MoveLast();
  std::int32_t count = r.Get("number1").asInt();
  // The last row's number is the row count in a table we wrote; one changed
  // elsewhere must not bring in dimensions that have no row.
  const auto rows = static_cast<std::int32_t>(r.RecordCount());
  if (count < 1 || count > rows) count = rows;
  ctx.dimCount = count;
  makeRoom(f, count);
  r.MoveFirst();
  for (f.loopIndex = 1; f.loopIndex <= ctx.dimCount; ++f.loopIndex) {
    auto& d = ctx.dimRecords[static_cast<size_t>(f.loopIndex)];
    // A field that does not read is skipped; the rest of the row still
    // loads.
    forms::resumeNext([&] { d.entityIndex = r.Get("DIMNUM").asInt(); });
    forms::resumeNext([&] { d.value = r.Get("DIMVALUE").asText(); });
    forms::resumeNext(
        [&] { d.up = static_cast<float>(r.Get("DIMUP").asDouble()); });
    forms::resumeNext(
        [&] { d.low = static_cast<float>(r.Get("DIMLOW").asDouble()); });
    forms::resumeNext([&] { d.type = r.Get("DIMTYPE").asText(); });
    forms::resumeNext([&] {
      d.check = static_cast<std::int16_t>(r.Get("DIMCHECK").asBool() ? -1 : 0);
    });
    forms::resumeNext(
        [&] { d.x = static_cast<float>(r.Get("DIMX").asDouble()); });
    forms::resumeNext(
        [&] { d.y = static_cast<float>(r.Get("DIMY").asDouble()); });
    forms::resumeNext([&] { r.MoveNext(); });
  }
  loadMeasurements(f);
}

}  // namespace

void ComHadmark_Click(model::Form1& f) {
  // Marks drawn by hand into a drawing new to us are adopted through their
  // own window, which comes later; until then the button leaves them alone.
  if (f.newDatabase) return;
  auto& ctx = f.ctx;

  // The table is opened apart first: one that cannot be read, or that holds
  // no rows, is reported and leaves the program as it was.
  auto conn = std::make_shared<intake::Connection>();
  auto rs = std::make_shared<intake::Recordset>();
  try {
    conn->Open(f.dbPath);
    rs->Open(*conn, "dim1");
  } catch (const intake::DbError& e) {
    ctx.desktop.message(e.what(), forms::Buttons::Ok, "");
    return;
  }
  if (rs->RecordCount() == 0) {
    ctx.desktop.message(noRowsMessage(f.dbPath), forms::Buttons::Ok, "");
    return;
  }

  for (forms::Control* c :
       {f.mnuAutomark, f.mnuPartmark, f.mnuFreemark, f.mnuHadmark, f.mnuUndo,
        f.mnuScalemax, f.mnuScalemin, f.mnuMovemark, f.mnuColor, f.mnuLayout})
    c->setEnabled(false);

  forms::resumeNext([&] { out(f, std::move(conn), std::move(rs)); });

  forms::resumeNext([&] { f.Combo1->clear(); });
  forms::resumeNext([&] { f.dimRs->MoveFirst(); });
  for (std::int32_t k = 1; k <= ctx.dimCount; ++k) {
    forms::resumeNext([&] {
      f.Combo1->addItem(f.dimRs->Get("marknum").asText() + "------" +
                        ctx.dimRecords[static_cast<size_t>(k)].value);
    });
    forms::resumeNext([&] { f.dimRs->MoveNext(); });
  }

  f.FrmDimen->setEnabled(true);
  f.ComReview->setEnabled(true);
  f.FrmInput->setEnabled(true);
  // As after a numbering: two samples unless position 1 stores more, and
  // the first selection saves nothing.
  f.currentPosition = 0;
  forms::resumeNext([&] { f.Combo3->setListIndex(1); });
  forms::resumeNext([&] { f.Combo1->setListIndex(0); });
  f.currentPosition = 1;
  f.currentSample = 1;
  forms::resumeNext([&] {
    const auto& d = ctx.dimRecords.at(1);
    f.Text3->setText(d.type);
    f.Text4->setText(d.value);
    f.Text5->setText(forms::SingleText(d.up));
    f.Text6->setText(forms::SingleText(d.low));
  });
  f.setHeight(350 + f.Picture1->height() + f.Frame2->height() +
              f.FrmSort->height() + f.FrmDimen->height());
}

}  // namespace marking
