#include "reports/fai.h"
#include "model/verdict.h"
#include "reports/readback.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "browse/browser.h"
#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "model/characteristic.h"
#include "model/form1.h"
#include "model/zones.h"

namespace reports {
namespace fs = std::filesystem;

namespace {

constexpr int kFirstRow = 10;  // row p + 10 holds position p
constexpr int kLastCpkColumn = 16;

void say(model::Form1& f, const std::string& text) {
  f.ctx.desktop.message(text, forms::Buttons::Ok, "");
}

bool fileExists(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// A field's value as a cell takes it; a single stays a single, so that it
// is written as its shortest text.
sheethost::CellValue cellOf(const dimtable::Value& v) {
  using K = dimtable::Value::Kind;
  switch (v.kind()) {
    case K::Null:
      return {};
    case K::Single:
      return static_cast<float>(v.asDouble());
    case K::Int:
    case K::Double:
      return v.asDouble();
    case K::Bool:
    case K::Text:
      return v.asText();
  }
  return {};
}

// A cell read as a number: a number as it is, a text by its leading
// numeric part, anything else 0.
double cellNumber(const sheethost::CellValue& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* s = std::get_if<float>(&v)) return *s;
  if (const auto* t = std::get_if<std::string>(&v)) return forms::Val(*t);
  return 0;
}

// A deviation as its single shows it (0.3, not 0.30000001192...), added
// to the nominal value, to the 15 digits a spreadsheet shows: 15 + 0.3
// gives 15.3, 25.4 - 0.05 gives 25.35.
double limit(double nominal, float deviation, int sign) {
  return model::spreadsheetDigits(nominal +
                                  sign * model::cellDouble(deviation));
}

// A text as a message shows it: a long one cut, control characters and
// bytes that are no UTF-8 as "?".
std::string shortened(const std::string& text) {
  std::string out;
  std::size_t chars = 0;
  std::size_t i = 0;
  while (i < text.size() && chars < 40) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    bool valid = c < 0x80 || (c >= 0xC2 && c <= 0xF4);
    for (std::size_t k = 1; valid && k < length; ++k)
      valid = i + k < text.size() &&
              (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
    if (!valid) {
      out += '?';
      ++i;
    } else {
      out += c < 0x20 || c == 0x7F ? std::string("?") : text.substr(i, length);
      i += length;
    }
    ++chars;
  }
  if (i < text.size()) out += "…";
  return out;
}

// "G12" for row 12, column 7 (the FAI columns stay within A to Z).
std::string cellName(int row, int column) {
  return std::string(1, static_cast<char>('A' + column - 1)) +
         std::to_string(row);
}

// Positions the measurement arrays can hold, at most dimCount.
std::int32_t measuredPositions(const model::Form1& f) {
  const auto& ctx = f.ctx;
  size_t room = std::min({ctx.sampleCounts.size(), ctx.samples.size(),
                          ctx.instrumentCodes.size()});
  auto n = static_cast<std::int32_t>(room == 0 ? 0 : room - 1);
  return std::min(n, ctx.dimCount);
}

// One FAI row of the first-time mode.
struct FaiRow {
  sheethost::CellValue mark;
  std::string zone;
  std::string value;
  float up = 0;
  float low = 0;
  // A characteristic's limits and verdict, in place of the template's.
  std::optional<model::RowFormulas> formulas;
};

bool isNote(const model::AppContext& ctx, std::int32_t p) {
  return static_cast<size_t>(p) < ctx.dimRecords.size() &&
         model::kindOfType(ctx.dimRecords[static_cast<size_t>(p)].type) ==
             model::CharacteristicKind::Note;
}

// The rows for the browse list's entries, read before any workbook is
// touched, so that a table that cannot be walked changes nothing.
std::vector<FaiRow> faiRows(model::Form1& f) {
  std::vector<FaiRow> rows;
  const int n = f.Combo1->listCount();
  if (n == 0) return rows;
  if (!f.dimRs)
    throw dimtable::DbError(dimtable::DbError::Kind::NotOpen,
                            "尺寸数据库没有打开");
  f.dimRs->MoveFirst();
  for (f.loopIndex = 1; f.loopIndex <= n; ++f.loopIndex) {
    const auto& d = f.ctx.dimRecords.at(static_cast<size_t>(f.loopIndex));
    FaiRow r;
    r.zone = model::zoneOf(f, d);
    r.mark = cellOf(f.dimRs->Get("marknum"));
    r.value = d.value;
    r.up = d.up;
    r.low = d.low;
    r.formulas = model::faiFormulas(d, f.loopIndex + kFirstRow);
    rows.push_back(std::move(r));
    f.dimRs->MoveNext();
  }
  return rows;
}

bool isInstrument(const std::string& code) {
  for (const char* c : browse::kInstrumentCodes)
    if (code == c) return true;
  return false;
}

// One sample cell: nothing, a number, or why it is refused. A formula's
// result, a date or a flag is no measurement.
browse::SampleText sampleCell(const sheethost::Worksheet& sheet, int row,
                              int column) {
  browse::SampleText r;
  if (sheet.HasFormula(row, column)) {
    r.error = "是公式，不是测量值";
    return r;
  }
  const sheethost::CellValue v = sheet.GetCell(row, column);
  if (std::holds_alternative<std::monostate>(v)) return r;
  if (const auto* t = std::get_if<std::string>(&v))
    return browse::readSample(*t, browse::kFileNumber);
  if (sheet.IsDate(row, column)) {
    r.error = "是日期，不是测量值";
    return r;
  }
  const double d = cellNumber(v);
  // A number cell is read as its text, so that the same range rules apply.
  return browse::readSample(forms::DoubleText(d), browse::kFileNumber);
}

// The instrument and samples each position stores, into its FAI row.
// Exactly what is stored: a sample not measured, or beyond a lowered
// count, leaves its cell empty rather than an old value. A fresh report
// needs the rows of measured positions only.
void writeSamples(model::Form1& f, sheethost::Worksheet& sheet,
                  bool measuredOnly) {
  const auto& ctx = f.ctx;
  const std::int32_t n = measuredPositions(f);
  for (std::int32_t p = 1; p <= n; ++p) {
    const auto i = static_cast<size_t>(p);
    if (measuredOnly && !browse::measurementOf(ctx, p).measured()) continue;
    sheet.SetCell(p + kFirstRow, 3, ctx.instrumentCodes[i]);
    const std::int32_t count = std::clamp(ctx.sampleCounts[i], 0, 5);
    const bool note = isNote(ctx, p);
    for (std::int32_t k = 1; k <= 5; ++k) {
      const auto& v = ctx.samples[i][static_cast<size_t>(k)];
      const std::optional<bool> passed =
          note && i < ctx.passed.size() ? ctx.passed[i][static_cast<size_t>(k)]
                                        : std::nullopt;
      if (k <= count && note && passed)
        sheet.SetCell(
            p + kFirstRow, 6 + k,
            std::string(*passed ? dimtable::kPassed : dimtable::kFailed));
      else if (k <= count && !note && v)
        sheet.SetCell(p + kFirstRow, 6 + k, *v);
      else
        sheet.SetCell(p + kFirstRow, 6 + k, sheethost::CellValue{});
    }
  }
}

}  // namespace

ReadBack readBack(const sheethost::Worksheet& sheet, std::int32_t positions,
                  const std::vector<bool>& notes) {
  ReadBack out;
  for (std::int32_t t = 1; t <= positions; ++t) {
    const int row = t + kFirstRow;
    if (cellNumber(sheet.GetCell(row, 1)) == 0) break;
    ++out.marked;
    ReadRow r;
    r.position = t;
    std::string problem;
    const std::string code = cellText(sheet.GetCell(row, 3));
    if (!code.empty() && !isInstrument(code))
      problem = cellName(row, 3) + "：“" + shortened(code) + "”不是量具代码";
    const bool note =
        static_cast<size_t>(t) < notes.size() && notes[static_cast<size_t>(t)];
    for (int k = 1; k <= 5 && problem.empty() && note; ++k) {
      // A note's result: 合格, 不合格 or nothing.
      const sheethost::CellValue v = sheet.GetCell(row, 6 + k);
      if (std::holds_alternative<std::monostate>(v)) continue;
      const std::string text = cellText(v);
      if (sheet.HasFormula(row, 6 + k) ||
          (text != dimtable::kPassed && text != dimtable::kFailed)) {
        problem = cellName(row, 6 + k) + "：“" + shortened(text) +
                  "”不是“合格”或“不合格”";
        break;
      }
      r.m.passed[static_cast<size_t>(k - 1)] = text == dimtable::kPassed;
      r.m.count = k;
    }
    for (int k = 1; k <= 5 && problem.empty() && !note; ++k) {
      const browse::SampleText s = sampleCell(sheet, row, 6 + k);
      if (!s.error.empty()) {
        problem = cellName(row, 6 + k) + "：“" +
                  shortened(cellText(sheet.GetCell(row, 6 + k))) + "”" +
                  s.error;
        break;
      }
      if (s.value) {
        r.m.samples[static_cast<size_t>(k - 1)] = s.value;
        r.m.count = k;
      }
    }
    if (!problem.empty()) {
      out.refused.push_back(problem);
      continue;
    }
    if (!r.m.measured()) continue;  // nothing measured in this row
    r.m.instrument = code;
    out.rows.push_back(std::move(r));
  }
  return out;
}

namespace {

// The host must still show the workbooks: after its window was closed
// nothing written would be seen or saved.
bool hostShowing(const model::Form1& f) {
  try {
    return f.excelApp && f.excelApp->Visible();
  } catch (const std::exception&) {
    return false;
  }
}

// The reason in the user's words where the host gives one.
std::string plainOf(const sheethost::SheetError& e) {
  return e.plain().empty() ? std::string(e.what()) : e.plain();
}

constexpr const char* kReplaceUnsaved =
    "当前的 FAI/CPK 报表还有没保存的修改。重新创建会关闭它们，这些修改将丢失。"
    "是否继续？";

bool unsavedReport(const model::Form1& f) {
  for (const sheethost::WorkbookRef& b : {f.faiBook, f.cpkBook}) {
    try {
      if (b && !b->Saved()) return true;
    } catch (const std::exception&) {
    }
  }
  return false;
}

// The drawing's path without its extension: the workbooks are proposed
// beside it as <name>-FAI.xlsx and <name>-CPK.xlsx.
std::string drawingStem(const model::Form1& f) {
  if (f.drawingPath.empty()) return {};
  fs::path p(f.drawingPath);
  return (p.parent_path() / p.stem()).string();
}

// The rows a read-back refused, at most ten of them named.
std::string refusedText(const std::vector<std::string>& refused) {
  if (refused.empty()) return {};
  std::string text = "\n以下 " + std::to_string(refused.size()) +
                     " 行有不是测量值的内容，没有读入：";
  for (size_t i = 0; i < refused.size() && i < 10; ++i)
    text += "\n" + refused[i];
  if (refused.size() > 10) text += "\n……";
  return text;
}

}  // namespace

void ComOk_Click(model::Form1& f) {
  auto& ctx = f.ctx;
  const fs::path cpkPath = ctx.dataDir() / "cpk.xlsx";
  const fs::path faiPath = ctx.dataDir() / "fai.xlsx";

  // What the panel holds counts as stored, so a new report carries it.
  if (f.CheFIRST->value() == 1 && !browse::leaveStep(f)) return;
  // A new report replaces the one shown: what was typed into it and not
  // saved is only given up when the user says so.
  if (hostShowing(f) && unsavedReport(f) &&
      ctx.desktop.message(kReplaceUnsaved, forms::Buttons::YesNo, "") !=
          forms::Answer::Yes)
    return;
  model::computeZoneSize(f);

  // The new instance and its workbooks become the form's only once the
  // report is made: a handler that ends early leaves the earlier report
  // (and the CPK columns added to it) where the buttons write.
  sheethost::SheetApplicationRef app;
  sheethost::WorkbookRef cpkBook;
  sheethost::WorksheetRef cpkSheet;
  try {
    if (!ctx.sheetFactory) throw sheethost::SheetError("没有电子表格程序");
    app = ctx.sheetFactory("excel.application");
    if (!app) throw sheethost::SheetError("没有电子表格程序");
  } catch (const std::exception& e) {
    say(f, std::string("电子表格启动出现错误！") + e.what());
    return;
  }
  if (!fileExists(cpkPath)) {
    say(f, "没有发现CPK.XLSX!");
    return;
  }
  try {
    cpkBook = app->Open(cpkPath.string());
    cpkSheet = cpkBook->Worksheets(1);
  } catch (const sheethost::SheetError& e) {
    say(f, "不能打开CPK模板 " + cpkPath.string() + "：" + plainOf(e));
    return;
  }

  sheethost::WorkbookRef faiBook;
  sheethost::WorksheetRef faiSheet;
  std::vector<FaiRow> rows;
  ReadBack read;
  std::string faiFile;  // the workbook read back
  const bool first = f.CheFIRST->value() == 1;
  if (first) {
    if (!fileExists(faiPath)) {
      say(f, "没有发现FAI.XLS!");
      return;
    }
    try {
      rows = faiRows(f);
    } catch (const std::exception& e) {
      say(f, std::string("读取尺寸数据库出现错误！") + e.what());
      return;
    }
    try {
      faiBook = app->Open(faiPath.string());
      faiSheet = faiBook->Worksheets(1);
      faiSheet->Activate();
      app->SetVisible(true);
    } catch (const sheethost::SheetError& e) {
      say(f, "不能打开FAI模板 " + faiPath.string() + "：" + plainOf(e));
      return;
    }
  } else {
    // The dialog proposes the FAI workbook saved beside the drawing, not
    // the drawing; the drawing's own name stays for the drawing dialog.
    const std::string drawingName = f.Cdlg1->FileName;
    const std::string stem = drawingStem(f);
    f.Cdlg1->FileName = stem.empty() ? std::string() : stem + "-FAI.xlsx";
    f.Cdlg1->Filter = "*.XLSX|*.XLSX";
    f.Cdlg1->DialogTitle = "OPEN FAI FILE";
    const bool chosen = f.Cdlg1->ShowOpen(ctx.desktop);
    faiFile = f.Cdlg1->FileName;
    f.Cdlg1->FileName = drawingName;
    if (!chosen) return;
    try {
      faiBook = app->Open(faiFile);
      faiSheet = faiBook->Worksheets(1);
      faiSheet->Activate();
      std::vector<bool> notes(static_cast<size_t>(measuredPositions(f)) + 1);
      for (std::int32_t p = 1; p < static_cast<std::int32_t>(notes.size()); ++p)
        notes[static_cast<size_t>(p)] = isNote(ctx, p);
      read = readBack(*faiBook->ActiveSheet(), measuredPositions(f), notes);
    } catch (const sheethost::SheetError& e) {
      say(f, "不能打开FAI文件 " + faiFile + "：" + plainOf(e));
      return;
    }
    if (read.rows.empty()) {
      // Nothing to continue from: the report in hand stays as it was.
      std::string text = "没有读到测量值：" + faiFile;
      if (read.marked == 0)
        text += "\n第 11 行起的 A 列没有标号，这不是 FAI 报表。";
      text += refusedText(read.refused);
      say(f, text);
      return;
    }
  }

  // From here on the new report is the form's.
  if (f.excelApp && f.excelApp != app) {
    // Only the report in hand tells of its window closing.
    forms::resumeNext([&] { f.excelApp->SetClosedHandler(nullptr); });
  }
  f.excelApp = app;
  f.cpkBook = cpkBook;
  f.cpkSheet = cpkSheet;
  f.faiBook = faiBook;
  f.faiSheet = faiSheet;
  app->SetClosedHandler([&f] { f.ExcelClose(); });
  // The program's own cells; Save As proposes names beside the drawing.
  forms::resumeNext([&] {
    faiSheet->ReserveCells(
        kFirstRow + 1, 1,
        kFirstRow + std::max<std::int32_t>(
                        1, std::max(ctx.dimCount, f.Combo1->listCount())),
        11);
  });
  forms::resumeNext([&] { cpkSheet->ReserveCells(8, 2, 12, kLastCpkColumn); });
  const std::string stem = drawingStem(f);
  if (!stem.empty()) {
    if (first) faiBook->SetSuggestedPath(stem + "-FAI.xlsx");
    cpkBook->SetSuggestedPath(stem + "-CPK.xlsx");
  }

  if (first) {
    try {
      sheethost::WorksheetRef sheet = faiBook->ActiveSheet();
      for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1 + kFirstRow;
        const FaiRow& r = rows[i];
        sheet->SetCell(row, 2, r.zone);
        sheet->SetCell(row, 1, r.mark);
        sheet->SetCell(row, 4, r.value);
        sheet->SetCell(row, 5, r.up);
        sheet->SetCell(row, 6, r.low);
        if (r.formulas) {
          const std::pair<int, const std::string*> cells[] = {
              {12, &r.formulas->upper},
              {13, &r.formulas->lower},
              {16, &r.formulas->verdict}};
          for (const auto& [column, formula] : cells)
            if (!formula->empty()) sheet->SetFormula(row, column, *formula);
        }
      }
      // The measurements kept with the drawing are in the report at once.
      writeSamples(f, *sheet, true);
    } catch (const sheethost::SheetError& e) {
      say(f, std::string("写入FAI报表出现错误！") + e.what());
      return;
    }
  } else {
    // The samples read become the dimensions' own, in the database too,
    // and the panel shows them, so no later step saves stale boxes over
    // them.
    std::vector<std::int32_t> positions;
    for (const ReadRow& r : read.rows) {
      browse::storeMeasurement(ctx, r.position, r.m);
      positions.push_back(r.position);
    }
    browse::persistMeasurements(f, positions);
    browse::meatool(f, f.currentPosition);
    browse::showResults(f);
    std::string text = "从 " + faiFile + " 读入了 " +
                       std::to_string(read.rows.size()) + " 个尺寸的测量值。";
    say(f, text + refusedText(read.refused));
  }

  app->SetVisible(true);
  for (forms::Control* c : {f.ComFresh, f.ComCPK, f.mnuFresh, f.mnuCPK})
    c->setEnabled(true);
}

std::string cellText(const sheethost::CellValue& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return *t;
  if (const auto* d = std::get_if<double>(&v)) return forms::DoubleText(*d);
  if (const auto* s = std::get_if<float>(&v)) return forms::SingleText(*s);
  return {};
}

void ComFresh_Click(model::Form1& f) {
  if (!f.faiBook || !hostShowing(f)) {
    say(f, "FAI报表已经关闭，请重新创建 FAI！");
    return;
  }
  if (!browse::leaveStep(f)) return;
  try {
    writeSamples(f, *f.faiBook->ActiveSheet(), false);
  } catch (const sheethost::SheetError& e) {
    say(f, std::string("刷新FAI报表出现错误！") + e.what());
  }
}

void ComCPK_Click(model::Form1& f) {
  if (!f.cpkSheet || !hostShowing(f)) {
    say(f, "CPK报表已经关闭，请重新创建 FAI！");
    return;
  }
  f.cpkSheet->Activate();
  model::computeZoneSize(f);
  if (f.cpkColumn > kLastCpkColumn) {
    say(f, "最多可以创建15个尺寸值的CPK，你可以将该文件存盘后，下次在建CPK！");
    return;
  }
  const std::int32_t p = f.currentPosition;
  const int c = f.cpkColumn;
  auto& ctx = f.ctx;
  if (p < 1 || p > ctx.dimCount ||
      static_cast<size_t>(p) >= ctx.dimRecords.size()) {
    say(f, "请先选择一个尺寸！");
    return;
  }
  const auto& d = ctx.dimRecords[static_cast<size_t>(p)];
  const auto kind = model::kindOfType(d.type);
  if (kind == model::CharacteristicKind::Note) {
    say(f,
        "技术要求只判定合格或不合格，没有测量值可算 CPK，没有添加到 CPK "
        "报表。");
    return;
  }
  const std::string zone = model::zoneOf(f, d);
  sheethost::CellValue mark;
  try {
    if (!f.dimRs)
      throw dimtable::DbError(dimtable::DbError::Kind::NotOpen,
                              "尺寸数据库没有打开");
    f.dimRs->MoveFirst();
    f.dimRs->Move(p - 1);
    mark = cellOf(f.dimRs->Get("marknum"));
  } catch (const std::exception& e) {
    say(f, std::string("读取尺寸数据库出现错误！") + e.what());
    return;
  }
  // One column per dimension: a second "创建 CPK" on it adds none.
  const std::string markText = cellText(mark);
  try {
    for (int used = 2; used < c; ++used) {
      if (cellText(f.cpkSheet->GetCell(8, used)) != markText) continue;
      say(f, "标号 " + markText + " 的尺寸已在 CPK 报表的 " +
                 std::string(1, static_cast<char>('A' + used - 1)) +
                 " 列中，没有再添加。");
      return;
    }
  } catch (const sheethost::SheetError& e) {
    say(f, std::string("读取CPK报表出现错误！") + e.what());
    return;
  }
  // A frame's or a roughness value's limits from a value of 0; a lower
  // limit has no upper one.
  const bool characteristic = kind != model::CharacteristicKind::Dimension;
  const double nominal = characteristic ? 0.0 : forms::Val(d.value);
  const bool lowerOnly = characteristic && d.bound == dimtable::Bound::Lower;
  // A frame whose tolerance could not be read has no limits to write.
  const bool none = characteristic && d.bound == dimtable::Bound::None;
  const sheethost::CellValue empty;
  try {
    f.cpkSheet->SetCell(8, c, mark);
    f.cpkSheet->SetCell(9, c, zone);
    f.cpkSheet->SetCell(10, c, d.value);
    f.cpkSheet->SetCell(11, c,
                        lowerOnly || none
                            ? empty
                            : sheethost::CellValue(limit(nominal, d.up, 1)));
    f.cpkSheet->SetCell(12, c,
                        none ? empty
                        : lowerOnly
                            ? sheethost::CellValue(limit(0, d.up, 1))
                            : sheethost::CellValue(limit(nominal, d.low, -1)));
  } catch (const sheethost::SheetError& e) {
    say(f, std::string("写入CPK报表出现错误！") + e.what());
    return;
  }
  f.cpkColumn = static_cast<std::int16_t>(f.cpkColumn + 1);
}

}  // namespace reports
