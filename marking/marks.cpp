#include "marking/marks.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "model/characteristic.h"
#include "model/form1.h"
#include "model/positions.h"

namespace marking {

using forms::resumeNext;

float markHeightFor(int position, float radius) {
  double r = radius;
  if (position < 10) return static_cast<float>(r * 1.2);
  if (position < 99) return static_cast<float>(r);
  return static_cast<float>(r * 0.6);
}

bool readMarkBase(model::Form1& f, int lastPosition) {
  double base = forms::Val(f.Text8->text()) - 1;
  try {
    std::int16_t b = forms::ToInt16(base);
    // The last mark number is stored as a 16-bit number as well.
    if (static_cast<long>(b) + lastPosition >
            std::numeric_limits<std::int16_t>::max() ||
        static_cast<long>(b) + 1 < std::numeric_limits<std::int16_t>::min())
      throw forms::OverflowError("Overflow");
    f.markBase = b;
    return true;
  } catch (const forms::OverflowError&) {
    f.ctx.desktop.message("起始号 " + f.Text8->text() +
                              " 超出范围：标号必须在 -32768 到 32767 之间",
                          forms::Buttons::Ok, "");
    return false;
  }
}

int markNumberAt(const model::Form1& f, int p) {
  return model::markOrdinal(f.ctx.dimRecords, p) + f.markBase;
}

void drawmark(model::Form1& f, int p) {
  // The second row of a composite frame is under its first row's mark.
  if (model::compositeTail(f.ctx.dimRecords, p)) return;
  auto& r = f.ctx.dimRecords[static_cast<size_t>(p)];
  float radius = f.textHeight;
  f.markTextHeight =
      markHeightFor(model::markOrdinal(f.ctx.dimRecords, p), radius);
  double h = f.markTextHeight;
  double x = r.x, y = r.y, R = radius;
  cadhost::Point centre{x - 3 * h, y + 0.5 * h, 0};
  cadhost::Point insertion{x - 3 * h - 0.8 * R, y + 0.1 * R, 0};
  std::string number = std::to_string(markNumberAt(f, p));
  auto& ms = *f.ctx.modelSpace;
  resumeNext([&] {
    f.markCircles.at(static_cast<size_t>(p)) = ms.AddCircle(centre, radius);
  });
  resumeNext([&] {
    f.markTexts.at(static_cast<size_t>(p)) =
        ms.AddText(number, insertion, f.markTextHeight);
  });
}

void appendRow(model::Form1& f, int p) {
  const auto& r = f.ctx.dimRecords[static_cast<size_t>(p)];
  auto& rs = *f.dimRs;
  resumeNext([&] { rs.AddNew(); });
  resumeNext([&] { rs.Set("DIMNUM", r.entityIndex); });
  resumeNext([&] { rs.Set("DIMVALUE", r.value); });
  resumeNext([&] { rs.Set("DIMUP", r.up); });
  resumeNext([&] { rs.Set("DIMLOW", r.low); });
  resumeNext([&] { rs.Set("DIMTYPE", r.type); });
  resumeNext([&] { rs.Set("DIMCHECK", r.check != 0); });
  resumeNext([&] { rs.Set("DIMX", r.x); });
  resumeNext([&] { rs.Set("DIMY", r.y); });
  const auto& d = f.ctx.dimRecords;
  const bool composite =
      model::compositeHead(d, p) || model::compositeTail(d, p);
  if (composite)
    resumeNext([&] {
      rs.Set("marknum", model::rowMarkNumber(markNumberAt(f, p), r.frameRow));
    });
  else
    resumeNext([&] {
      rs.Set("marknum", static_cast<std::int16_t>(markNumberAt(f, p)));
    });
  const auto kind = model::kindOfType(r.type);
  if (kind != model::CharacteristicKind::Dimension) {
    dimtable::Characteristic c;
    c.kind = std::string(
        kind == model::CharacteristicKind::Gdt         ? model::kGdtKind
        : kind == model::CharacteristicKind::Roughness ? model::kRoughnessKind
                                                       : model::kNoteKind);
    if (auto g = model::gdtSubtypeOf(r.type))
      c.subtype = model::infoOf(*g).name;
    c.frameRow = composite ? r.frameRow : 0;
    c.bound = r.bound;
    c.raw = r.raw;
    resumeNext([&] { rs.SetCharacteristic(c); });
  }
}

std::vector<Unit> unitsOf(const std::vector<dimtable::DimRecord>& d, int first,
                          int last) {
  std::vector<Unit> units(1);
  for (int p = first; p <= last;) {
    const int n = std::min(model::unitLength(d, p), last - p + 1);
    Unit u;
    for (int k = 0; k < n; ++k) u.push_back(d[static_cast<size_t>(p + k)]);
    units.push_back(std::move(u));
    p += n;
  }
  return units;
}

int putUnits(std::vector<dimtable::DimRecord>& d, int first,
             const std::vector<Unit>& units, std::size_t count) {
  int p = first - 1;
  for (std::size_t k = 1; k <= count && k < units.size(); ++k)
    for (const auto& r : units[k]) d.at(static_cast<size_t>(++p)) = r;
  return p;
}

void openTable(model::Form1& f) {
  resumeNext([&] {
    auto conn = std::make_shared<dimtable::Connection>();
    f.dbConn = conn;
    conn->Open(f.dbPath);
  });
  resumeNext([&] {
    auto rs = std::make_shared<dimtable::Recordset>();
    f.dimRs = rs;
    rs->Open(*f.dbConn, "dim1");
  });
}

bool openTableOrSay(model::Form1& f) {
  auto conn = std::make_shared<dimtable::Connection>();
  auto rs = std::make_shared<dimtable::Recordset>();
  try {
    conn->Open(f.dbPath);
    rs->Open(*conn, "dim1");
  } catch (const std::exception& e) {
    f.ctx.desktop.message(e.what(), forms::Buttons::Ok, "");
    return false;
  }
  f.dbConn = std::move(conn);
  f.dimRs = std::move(rs);
  return true;
}

bool saveRows(model::Form1& f, int rows) {
  if (rows <= 0) return true;
  try {
    if (!f.dimRs) throw std::runtime_error("the table is not open");
    f.dimRs->Update();
  } catch (const std::exception& e) {
    f.ctx.desktop.message("标号没有写入数据库 " + f.dbPath + "：" + e.what(),
                          forms::Buttons::Ok, "");
    // Opened afresh, it shows what was kept before the refused pass.
    openTable(f);
    return false;
  }
  f.numberedRows += rows;
  return true;
}

void sayNumbered(model::Form1& f) {
  if (!f.ctx.cadDoc) return;  // no drawing: nothing to say about one
  const auto name = [](const std::string& path) {
    return std::filesystem::path(path).filename().string();
  };
  if (!f.newDatabase)
    f.ctx.desktop.message("图纸“" + name(f.drawingPath) +
                              "”已经标号，标号记录在尺寸数据库“" +
                              name(f.dbPath) + "”中：请按“已经标号”载入。",
                          forms::Buttons::Ok, "");
  else
    f.ctx.desktop.message(
        "图纸已经标号，不能再从第一个尺寸开始标号。要重新标号，请先在图纸中"
        "撤消这次标号（编辑 > 撤消）。",
        forms::Buttons::Ok, "");
}

void showCadWindow(model::Form1& f) {
  resumeNext([&] { f.ctx.desktop.activateWindow(f.ctx.cadApp->Caption()); });
}

bool inWindow(float x, float y, const cadhost::Point& a,
              const cadhost::Point& b) {
  const double px = x, py = y;
  return (px - a[0]) * (px - b[0]) <= 0 && (py - a[1]) * (py - b[1]) <= 0;
}

float dist(float x1, float y1, float x2, float y2) {
  const double dx = static_cast<double>(x1) - x2;
  const double dy = static_cast<double>(y1) - y2;
  return static_cast<float>(std::sqrt(dy * dy + dx * dx));
}

std::optional<double> markNumberOf(const std::string& text) {
  if (text.find('%') != std::string::npos) return std::nullopt;
  const double v = forms::Val(text);
  if (v == 0 || !std::isfinite(v) || v != std::trunc(v)) return std::nullopt;
  return v;
}

UndoMark::UndoMark(model::Form1& f) : doc_(f.ctx.cadDoc) {
  if (doc_ && !resumeNext([&] { doc_->StartUndoMark(); })) doc_.reset();
}

UndoMark::~UndoMark() {
  if (doc_) resumeNext([&] { doc_->EndUndoMark(); });
}

void sortrange(model::Form1& f, int first, int last) {
  auto& d = f.ctx.dimRecords;
  const bool byX = f.OptRighttoleft->value() != 0;
  auto key = [byX](const dimtable::DimRecord& r) { return byX ? r.x : r.y; };
  if (!model::anyComposite(d, first, last)) {
    exchangeSort(d, first, last, key);
    return;
  }
  // A composite frame's rows move as one, by its first row's key.
  std::vector<Unit> units = unitsOf(d, first, last);
  exchangeSort(units, 1, static_cast<int>(units.size()) - 1,
               [&](const Unit& u) { return key(u.front()); });
  putUnits(d, first, units, units.size() - 1);
}

std::string listEntry(const std::string& markNumber, const std::string& value) {
  return markNumber + "------" + value;
}

void after(model::Form1& f) {
  auto& ctx = f.ctx;
  f.Combo1->clear();
  resumeNext([&] { f.dimRs->MoveFirst(); });
  for (int p = 1; p <= f.markedCount; ++p) {
    f.loopIndex = p;
    resumeNext([&] {
      f.Combo1->addItem(
          listEntry(f.dimRs->Get("marknum").asText(),
                    ctx.dimRecords.at(static_cast<size_t>(p)).value));
    });
    resumeNext([&] { f.dimRs->MoveNext(); });
  }
  // Two samples by default; then entry 0 is selected, whose Click saves
  // nothing (no position is held yet) and shows what position 1 stores.
  f.currentPosition = 0;
  resumeNext([&] { f.Combo3->setListIndex(1); });
  resumeNext([&] { f.Combo1->setListIndex(0); });
  f.FrmDimen->setEnabled(true);
  f.ComReview->setEnabled(true);
  f.FrmInput->setEnabled(true);
  f.currentPosition = 1;
  f.currentSample = 1;
  resumeNext([&] {
    const auto& r = ctx.dimRecords.at(1);
    f.Text3->setText(r.type);
    f.Text4->setText(r.value);
    f.Text5->setText(forms::SingleText(r.up));
    f.Text6->setText(forms::SingleText(r.low));
  });
  f.setHeight(350 + f.Picture1->height() + f.Frame2->height() +
              f.FrmSort->height() + f.FrmDimen->height() + 500);
  // Dimensions measured before a run that went on numbering keep their
  // results on their marks.
  browse::showResults(f);
  // The work now is measuring: the keyboard starts at the first sample.
  f.Text7[0]->SetFocus();
}

}  // namespace marking
