#include "reports/fai.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/form1.h"
#include "browse/browser.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "intake/dimtable.h"
#include "marking/zonegrid.h"

namespace reports {
namespace fs = std::filesystem;

namespace {

constexpr int kFirstRow = 10;  // row p + 10 holds position p
constexpr int kLastCpkColumn = 16;

void say(app::Form1& f, const std::string& text) {
  f.ctx.desktop.message(text, forms::Buttons::Ok, "");
}

bool fileExists(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// A field's value as a cell takes it; a single stays a single, so that it
// is written as its shortest text.
CellValue cellOf(const intake::Value& v) {
  using K = intake::Value::Kind;
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
double cellNumber(const CellValue& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* s = std::get_if<float>(&v)) return *s;
  if (const auto* t = std::get_if<std::string>(&v)) return forms::Val(*t);
  return 0;
}

std::string cellText(const CellValue& v) {
  if (const auto* t = std::get_if<std::string>(&v)) return *t;
  if (const auto* d = std::get_if<double>(&v)) return forms::DoubleText(*d);
  if (const auto* s = std::get_if<float>(&v)) return forms::SingleText(*s);
  return {};
}

// Positions the measurement arrays can hold, at most dimCount.
std::int32_t measuredPositions(const app::Form1& f) {
  const auto& ctx = f.ctx;
  size_t room = std::min({ctx.sampleCounts.size(), ctx.samples.size(),
                          ctx.instrumentCodes.size()});
  auto n = static_cast<std::int32_t>(room == 0 ? 0 : room - 1);
  return std::min(n, ctx.dimCount);
}

void computeZoneSize(app::Form1& f) {
  f.zoneWidth =
      marking::zoneSize(f.extMin[0], f.extMax[0], f.ctx.zoneColumnCount);
  f.zoneHeight =
      marking::zoneSize(f.extMin[1], f.extMax[1], f.ctx.zoneRowCount);
}

std::string zoneOf(const app::Form1& f, const intake::DimRecord& d) {
  return marking::zoneLabel(f.ctx, f.extMin, f.zoneWidth, f.zoneHeight, d.x,
                            d.y);
}

// One FAI row of the first-time mode.
struct FaiRow {
  CellValue mark;
  std::string zone;
  std::string value;
  float up = 0;
  float low = 0;
};

// The rows for the browse list's entries, read before any workbook is
// touched, so that a table that cannot be walked changes nothing.
std::vector<FaiRow> faiRows(app::Form1& f) {
  std::vector<FaiRow> rows;
  const int n = f.Combo1->listCount();
  if (n == 0) return rows;
  if (!f.dimRs)
    throw intake::DbError(intake::DbError::Kind::NotOpen, "尺寸数据库没有打开");
  f.dimRs->MoveFirst();
  for (f.loopIndex = 1; f.loopIndex <= n; ++f.loopIndex) {
    const auto& d = f.ctx.dimRecords.at(static_cast<size_t>(f.loopIndex));
    FaiRow r;
    r.zone = zoneOf(f, d);
    r.mark = cellOf(f.dimRs->Get("marknum"));
    r.value = d.value;
    r.up = d.up;
    r.low = d.low;
    rows.push_back(std::move(r));
    f.dimRs->MoveNext();
  }
  return rows;
}

// What a saved FAI workbook gives back for one position.
struct ReadRow {
  std::string code;
  std::int32_t count = -1;  // -1: the row had no sample to take
  std::array<float, 6> samples{};
};

// Rows from 11 down while column A holds a mark, at most one per position
// the measurement arrays hold.
std::vector<ReadRow> readBack(const Worksheet& sheet, std::int32_t positions) {
  std::vector<ReadRow> rows;
  for (std::int32_t t = 1; t <= positions; ++t) {
    if (cellNumber(sheet.GetCell(t + kFirstRow, 1)) == 0) break;
    ReadRow r;
    r.code = cellText(sheet.GetCell(t + kFirstRow, 3));
    for (int k = 1; k <= 5; ++k) {
      const double v = cellNumber(sheet.GetCell(t + kFirstRow, 6 + k));
      // A value a single cannot hold ends the row, as an empty cell does.
      if (v == 0 || !(std::fabs(v) <= FLT_MAX)) break;
      r.samples[static_cast<size_t>(k)] = static_cast<float>(v);
      r.count = k;
    }
    rows.push_back(std::move(r));
  }
  return rows;
}

// The host must still show the workbooks: after its window was closed
// nothing written would be seen or saved.
bool hostShowing(const app::Form1& f) {
  try {
    return f.excelApp && f.excelApp->Visible();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void ComOk_Click(app::Form1& f) {
  auto& ctx = f.ctx;
  const fs::path cpkPath = ctx.dataDir() / "cpk.xlsx";
  const fs::path faiPath = ctx.dataDir() / "fai.xlsx";
  computeZoneSize(f);

  // The new instance and its workbooks become the form's only once the
  // report is made: a handler that ends early leaves the earlier report
  // (and the CPK columns added to it) where the buttons write.
  SheetApplicationRef app;
  WorkbookRef cpkBook;
  WorksheetRef cpkSheet;
  try {
    if (!ctx.sheetFactory) throw SheetError("没有电子表格程序");
    app = ctx.sheetFactory("excel.application");
    if (!app) throw SheetError("没有电子表格程序");
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
  } catch (const SheetError& e) {
    say(f, e.what());
    return;
  }

  WorkbookRef faiBook;
  WorksheetRef faiSheet;
  std::vector<FaiRow> rows;
  std::vector<ReadRow> readRows;
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
    } catch (const SheetError& e) {
      say(f, e.what());
      return;
    }
  } else {
    f.Cdlg1->Filter = "*.XLSX|*.XLSX";
    f.Cdlg1->DialogTitle = "OPEN FAI FILE";
    if (!f.Cdlg1->ShowOpen(ctx.desktop)) return;
    try {
      faiBook = app->Open(f.Cdlg1->FileName);
      faiSheet = faiBook->Worksheets(1);
      faiSheet->Activate();
      readRows = readBack(*faiBook->ActiveSheet(), measuredPositions(f));
    } catch (const SheetError& e) {
      say(f, "不能打开FAI文件 " + f.Cdlg1->FileName + "：" + e.what());
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

  if (first) {
    try {
      WorksheetRef sheet = faiBook->ActiveSheet();
      for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1 + kFirstRow;
        const FaiRow& r = rows[i];
        sheet->SetCell(row, 2, r.zone);
        sheet->SetCell(row, 1, r.mark);
        sheet->SetCell(row, 4, r.value);
        sheet->SetCell(row, 5, r.up);
        sheet->SetCell(row, 6, r.low);
      }
    } catch (const SheetError& e) {
      say(f, std::string("写入FAI报表出现错误！") + e.what());
      return;
    }
  } else {
    for (size_t i = 0; i < readRows.size(); ++i) {
      const auto t = i + 1;
      const ReadRow& r = readRows[i];
      ctx.instrumentCodes[t] = r.code;
      if (r.count < 1) continue;
      for (int k = 1; k <= r.count; ++k)
        ctx.samples[t][static_cast<size_t>(k)] =
            r.samples[static_cast<size_t>(k)];
      ctx.sampleCounts[t] = r.count;
    }
  }

  app->SetVisible(true);
  for (forms::Control* c : {f.ComFresh, f.ComCPK, f.mnuFresh, f.mnuCPK})
    c->setEnabled(true);
}

void ComFresh_Click(app::Form1& f) {
  if (!f.faiBook || !hostShowing(f)) {
    say(f, "FAI报表已经关闭，请重新创建 FAI！");
    return;
  }
  browse::leaveStep(f);
  const auto& ctx = f.ctx;
  try {
    WorksheetRef sheet = f.faiBook->ActiveSheet();
    const std::int32_t n = measuredPositions(f);
    for (std::int32_t p = 1; p <= n; ++p) {
      const auto i = static_cast<size_t>(p);
      sheet->SetCell(p + kFirstRow, 3, ctx.instrumentCodes[i]);
      const std::int32_t count = std::min(ctx.sampleCounts[i], 5);
      for (std::int32_t k = 1; k <= count; ++k)
        sheet->SetCell(p + kFirstRow, 6 + k,
                       ctx.samples[i][static_cast<size_t>(k)]);
    }
  } catch (const SheetError& e) {
    say(f, std::string("刷新FAI报表出现错误！") + e.what());
  }
}

void ComCPK_Click(app::Form1& f) {
  if (!f.cpkSheet || !hostShowing(f)) {
    say(f, "CPK报表已经关闭，请重新创建 FAI！");
    return;
  }
  f.cpkSheet->Activate();
  computeZoneSize(f);
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
  const std::string zone = zoneOf(f, d);
  CellValue mark;
  try {
    if (!f.dimRs)
      throw intake::DbError(intake::DbError::Kind::NotOpen,
                            "尺寸数据库没有打开");
    f.dimRs->MoveFirst();
    f.dimRs->Move(p - 1);
    mark = cellOf(f.dimRs->Get("marknum"));
  } catch (const std::exception& e) {
    say(f, std::string("读取尺寸数据库出现错误！") + e.what());
    return;
  }
  const double nominal = forms::Val(d.value);
  try {
    f.cpkSheet->SetCell(8, c, mark);
    f.cpkSheet->SetCell(9, c, zone);
    f.cpkSheet->SetCell(10, c, d.value);
    f.cpkSheet->SetCell(11, c, nominal + static_cast<double>(d.up));
    f.cpkSheet->SetCell(12, c, nominal - static_cast<double>(d.low));
  } catch (const SheetError& e) {
    say(f, std::string("写入CPK报表出现错误！") + e.what());
    return;
  }
  f.cpkColumn = static_cast<std::int16_t>(f.cpkColumn + 1);
}

}  // namespace reports
