// "已经标号": a drawing numbered before is loaded back from its table, and
// the marks a new drawing already holds are adopted.
#include "marking/adopt.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "browse/browser.h"
#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "marking/marking.h"
#include "marking/marks.h"
#include "model/form1.h"
#include "model/positions.h"

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
  grow(ctx.passed);
  grow(ctx.instrumentCodes);
  grow(f.markCircles);
  grow(f.markTexts);
}

// What was measured before, back into the arrays; a table that cannot be
// read is told, and the rows load without it.
void loadMeasurements(model::Form1& f) {
  auto& ctx = f.ctx;
  std::map<std::int32_t, dimtable::Measurement> stored;
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

// What dim1 cannot say of the characteristics among the rows (the rows of
// a composite frame, a lower limit); a table that cannot be read is told,
// and the rows load without it.
void loadCharacteristics(model::Form1& f) {
  auto& ctx = f.ctx;
  std::map<std::int32_t, dimtable::Characteristic> stored;
  try {
    stored = f.dbConn->LoadCharacteristics();
  } catch (const std::exception& e) {
    ctx.desktop.message(
        std::string("形位公差、粗糙度、技术要求的记录无法载入：") + e.what(),
        forms::Buttons::Ok, "");
    return;
  }
  for (const auto& [position, c] : stored) {
    if (position > ctx.dimCount) continue;
    auto& d = ctx.dimRecords[static_cast<size_t>(position)];
    d.frameRow = static_cast<std::int8_t>(c.frameRow);
    d.bound = c.bound;
    d.raw = c.raw;
  }
}

// The load sequence on an opened table with rows.
void out(model::Form1& f, std::shared_ptr<dimtable::Connection> conn,
         std::shared_ptr<dimtable::Recordset> rs) {
  auto& ctx = f.ctx;
  f.dbConn = std::move(conn);
  f.dimRs = std::move(rs);
  dimtable::Recordset& r = *f.dimRs;
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
  loadCharacteristics(f);
  loadMeasurements(f);
}

void disableMarkMenu(model::Form1& f) {
  for (forms::Control* c :
       {f.mnuAutomark, f.mnuPartmark, f.mnuFreemark, f.mnuHadmark, f.mnuUndo,
        f.mnuScalemax, f.mnuScalemin, f.mnuMovemark, f.mnuColor, f.mnuLayout})
    c->setEnabled(false);
}

std::string variableText(const cadhost::Variable& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* d = std::get_if<double>(&v)) return forms::DoubleText(*d);
  throw cadhost::HostError("the variable is a point");
}

// The adoption's search with a composite frame's two rows as one entry:
// the text nearest either takes both, and both leave the search.
void adoptUnits(model::Form1& f, bool byColor, int color,
                const std::string& setting) {
  auto& ctx = f.ctx;
  std::vector<Unit> units = unitsOf(ctx.dimRecords, 1, ctx.dimCount);
  std::size_t bound = units.size() - 1;
  for (std::int32_t k = 1; k < ctx.textNext && bound >= 1; ++k) {
    const auto& t = ctx.textRecords.at(static_cast<size_t>(k));
    if (!markNumberOf(t.text)) continue;
    bool mark = false;
    forms::resumeNext([&] {
      cadhost::EntityRef e = ctx.modelSpace->Item(t.entityIndex);
      mark = byColor ? e->Color() == color : e->Layer() == setting;
    });
    if (!mark) continue;
    float smallest = 1000.0f;
    std::size_t best = 0;
    for (std::size_t j = 1; j <= bound; ++j) {
      const auto& r = units[j].front();
      const float distance = dist(t.x, t.y, r.x, r.y);
      if (distance <= smallest) {
        smallest = distance;
        best = j;
      }
    }
    if (best == 0) continue;
    for (const auto& r : units[best]) {
      auto& adopted = ctx.adoptedRecords.at(static_cast<size_t>(f.adoptNext));
      adopted = r;
      adopted.markText = t.text;
      f.adoptNext += 1;
    }
    units[0] = units[best];
    units[best] = units[bound];
    units[bound] = units[0];
    --bound;
  }
  putUnits(ctx.dimRecords, 1, units, units.size() - 1);
}

}  // namespace

void ComHadmark_Click(model::Form1& f) {
  auto& ctx = f.ctx;
  if (f.newDatabase) {
    // Marks drawn into a drawing new to us: the user tells how they are
    // recognised. Adopted marks have no entities to edit.
    disableMarkMenu(f);
    if (forms::Form* w = ctx.forms.find("markfrm")) w->show();
    return;
  }

  // The table is opened apart first: one that cannot be read, or that holds
  // no rows, is reported and leaves the program as it was.
  auto conn = std::make_shared<dimtable::Connection>();
  auto rs = std::make_shared<dimtable::Recordset>();
  try {
    conn->Open(f.dbPath);
    rs->Open(*conn, "dim1");
  } catch (const dimtable::DbError& e) {
    ctx.desktop.message(e.what(), forms::Buttons::Ok, "");
    return;
  }
  if (rs->RecordCount() == 0) {
    ctx.desktop.message(noRowsMessage(f.dbPath), forms::Buttons::Ok, "");
    return;
  }

  disableMarkMenu(f);

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
  // The numbering is loaded: nothing is left to number or to load.
  for (forms::Control* c : {f.comSort, f.ComPart, f.ComFree, f.ComHadmark})
    c->setEnabled(false);
  // What was measured before shows on the marks at once.
  browse::showResults(f);
}

Markfrm::Markfrm(model::Form1& main) : forms::Form("markfrm"), main_(main) {}

void Markfrm::build() {
  using forms::Kind;
  setCaption("标号特征窗口");
  setGeometry(0, 0, 5400, 2880);
  Label1 = &add(Kind::Label, "Label1");
  Label1->setCaption(
      "所有标号必须在同一层中或者是同一颜色，并且将AutoCAD设置为标号所在层或者"
      "标号所为颜色！");
  Label1->setMultiLine(true);
  Label1->setGeometry(240, 180, 4800, 780);
  Optcolor = &add(Kind::OptionButton, "Optcolor");
  Optcolor->setCaption("颜色");
  Optcolor->setGeometry(840, 1140, 1400, 300);
  Optlayout = &add(Kind::OptionButton, "Optlayout");
  Optlayout->setCaption("图层");
  Optlayout->setGeometry(2880, 1140, 1400, 300);
  Optlayout->setValue(1);
  ComConfirm = &add(Kind::CommandButton, "ComConfirm");
  ComConfirm->setCaption("确认");
  ComConfirm->setGeometry(840, 1800, 1400, 420);
  ComCancel = &add(Kind::CommandButton, "ComCancel");
  ComCancel->setCaption("取消");
  ComCancel->setGeometry(2880, 1800, 1400, 420);
  ComConfirm->Click = [this] { ComConfirm_Click(); };
  ComCancel->Click = [this] { ComCancel_Click(); };
}

void Markfrm::ComCancel_Click() { unload(); }

void Markfrm::ComConfirm_Click() {
  model::Form1& f = main_;
  auto& ctx = f.ctx;
  auto say = [&](const std::string& text) {
    ctx.desktop.message(text, forms::Buttons::Ok, "");
  };
  // The table holds one row per dimension: a drawing numbered since it
  // was opened is not adopted on top.
  if (f.numberedRows > 0) {
    say("该图纸已经标号，不能再采用图中的标号！");
    return;
  }
  const bool byColor = Optcolor->value() != 0;
  try {
    if (!ctx.cadDoc) throw cadhost::HostError("没有打开的图纸");
    markSetting =
        variableText(ctx.cadDoc->GetVariable(byColor ? "CECOLOR" : "CLAYER"));
  } catch (const std::exception& e) {
    say(std::string(byColor ? "无法读取当前颜色：" : "无法读取当前图层：") +
        e.what());
    return;
  }
  int color = 0;
  if (byColor) {
    if (markSetting == "byblock" || markSetting == "bylayer") {
      say("标号必须为具体的颜色！");
      return;
    }
    const auto n = forms::ParseNumber(markSetting);
    if (!n || *n != std::trunc(*n) || std::fabs(*n) > 1e6) {
      say("当前颜色“" + markSetting + "”不是颜色号，无法按颜色识别标号！");
      return;
    }
    color = static_cast<int>(*n);
  }

  auto& d = ctx.dimRecords;
  f.adoptNext = 1;
  if (model::anyComposite(d, 1, ctx.dimCount)) {
    adoptUnits(f, byColor, color, markSetting);
  } else {
    std::int32_t bound = ctx.dimCount;
    for (std::int32_t k = 1; k < ctx.textNext; ++k) {
      // Every dimension has its mark: further texts find none.
      if (bound < 1) break;
      const auto& t = ctx.textRecords.at(static_cast<size_t>(k));
      if (!markNumberOf(t.text)) continue;
      // A text whose entity cannot be fetched is not known to be a mark.
      bool mark = false;
      forms::resumeNext([&] {
        cadhost::EntityRef e = ctx.modelSpace->Item(t.entityIndex);
        mark = byColor ? e->Color() == color : e->Layer() == markSetting;
      });
      if (!mark) continue;
      float smallest = 1000.0f;
      std::int32_t best = 0;
      for (std::int32_t j = 1; j <= bound; ++j) {
        const auto& r = d[static_cast<size_t>(j)];
        const float distance = dist(t.x, t.y, r.x, r.y);
        // At equal distances the later position wins.
        if (distance <= smallest) {
          smallest = distance;
          best = j;
        }
      }
      // No dimension within reach: the text is no mark of this drawing's.
      if (best == 0) continue;
      auto& adopted = ctx.adoptedRecords.at(static_cast<size_t>(f.adoptNext));
      adopted = d[static_cast<size_t>(best)];
      adopted.markText = t.text;
      d[0] = d[static_cast<size_t>(best)];
      d[static_cast<size_t>(best)] = d[static_cast<size_t>(bound)];
      d[static_cast<size_t>(bound)] = d[0];
      --bound;
      f.adoptNext += 1;
    }
  }
  if (f.adoptNext == 1) {
    // The window stays, so the user can choose the other way or set the
    // drawing right first.
    say(std::string("没有找到可采用的标号：") +
        (byColor ? "颜色为 " + markSetting + " 的文字中"
                 : "图层“" + markSetting + "”上") +
        "没有标号文字。标号文字须是不为 0 的整数，且离某个尺寸不超过 1000 "
        "个单位。");
    return;
  }
  hide();
  re(f);
}

void re(model::Form1& f) {
  auto& ctx = f.ctx;
  auto& a = ctx.adoptedRecords;
  if (!openTableOrSay(f)) return;
  const std::int32_t M = f.adoptNext - 1;
  if (!model::anyComposite(a, 1, M)) {
    for (std::int32_t i = 1; i <= M; ++i) {
      for (std::int32_t j = i; j <= M; ++j) {
        if (forms::Val(a[static_cast<size_t>(i)].markText) >
            forms::Val(a[static_cast<size_t>(j)].markText)) {
          a[0] = a[static_cast<size_t>(i)];
          a[static_cast<size_t>(i)] = a[static_cast<size_t>(j)];
          a[static_cast<size_t>(j)] = a[0];
        }
      }
    }
  } else {
    // A composite frame's rows stay together, in their order.
    std::vector<Unit> units = unitsOf(a, 1, M);
    exchangeSort(units, 1, static_cast<int>(units.size()) - 1,
                 [](const Unit& u) { return forms::Val(u.front().markText); });
    putUnits(a, 1, units, units.size() - 1);
  }
  for (f.loopIndex = 1; f.loopIndex <= M; ++f.loopIndex) {
    const auto p = static_cast<size_t>(f.loopIndex);
    ctx.dimRecords[p] = a[p];
  }
  for (f.loopIndex = 1; f.loopIndex <= M; ++f.loopIndex) {
    const auto p = static_cast<size_t>(f.loopIndex);
    appendRow(f, f.loopIndex);
    // The number as the drawing shows it, not the position; n.1 and n.2
    // for the rows of a composite frame.
    const double number = forms::Val(a[p].markText);
    if (model::compositeHead(ctx.dimRecords, f.loopIndex) ||
        model::compositeTail(ctx.dimRecords, f.loopIndex))
      forms::resumeNext([&] {
        f.dimRs->Set("marknum",
                     model::rowMarkNumber(static_cast<std::int32_t>(number),
                                          a[p].frameRow));
      });
    else
      forms::resumeNext([&] { f.dimRs->Set("marknum", number); });
  }
  if (!saveRows(f, M)) return;
  f.markedCount = static_cast<std::int16_t>(M);
  after(f);
}

}  // namespace marking
