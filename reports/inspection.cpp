#include "reports/inspection.h"

#include <filesystem>

#include "browse/browser.h"
#include "browse/results.h"
#include "forms/basic.h"
#include "model/form1.h"
#include "model/zones.h"
#include "reports/fai.h"

namespace reports {

namespace {

// The header block of the FAI workbook: label cells ending in a colon in
// the rows above the table, each with its value in the next cell.
constexpr int kHeaderFirstRow = 2;
constexpr int kHeaderLastRow = 9;
constexpr int kHeaderLastColumn = 16;

std::string trimmed(std::string s) {
  const char* blanks = " \t\r\n";
  s.erase(0, s.find_first_not_of(blanks));
  s.erase(s.find_last_not_of(blanks) + 1);
  return s;
}

// "零件号:" or "零件号：" gives "零件号"; other texts are no labels.
bool labelOf(std::string text, std::string& label) {
  text = trimmed(text);
  for (const std::string colon : {":", "："})
    if (text.size() > colon.size() &&
        text.compare(text.size() - colon.size(), colon.size(), colon) == 0) {
      label = trimmed(text.substr(0, text.size() - colon.size()));
      return !label.empty();
    }
  return false;
}

std::vector<std::pair<std::string, std::string>> headerOf(
    const model::Form1& f) {
  std::vector<std::pair<std::string, std::string>> header;
  try {
    if (!f.faiBook || !f.excelApp || !f.excelApp->Visible()) return header;
    sheethost::WorksheetRef sheet = f.faiBook->Worksheets(1);
    for (int r = kHeaderFirstRow; r <= kHeaderLastRow; ++r)
      for (int c = 1; c < kHeaderLastColumn; ++c) {
        std::string label;
        if (!labelOf(cellText(sheet->GetCell(r, c)), label)) continue;
        const std::string value = trimmed(cellText(sheet->GetCell(r, c + 1)));
        if (!value.empty()) header.emplace_back(label, value);
      }
  } catch (const std::exception&) {
    // A workbook that cannot be read gives no header; the table stands.
  }
  return header;
}

}  // namespace

std::string reportNumber(double value) {
  return forms::DoubleText(model::spreadsheetDigits(value));
}

InspectionReport inspectionReport(model::Form1& f) {
  InspectionReport report;
  if (!f.drawingPath.empty())
    report.drawing = std::filesystem::path(f.drawingPath).filename().string();
  report.header = headerOf(f);
  const std::int32_t n = f.Combo1->listCount();
  for (std::int32_t p = 1; p <= n; ++p) {
    if (static_cast<size_t>(p) >= f.ctx.dimRecords.size()) break;
    const auto& d = f.ctx.dimRecords[static_cast<size_t>(p)];
    const dimtable::Measurement m = browse::measurementOf(f.ctx, p);
    InspectionRow row;
    row.mark = browse::markNumber(f, p);
    row.zone = model::zoneOfPosition(f, p);
    row.nominal = d.value;
    if (auto limits = model::boundsOf(d)) {
      if (limits->upper) row.upper = reportNumber(*limits->upper);
      if (limits->lower) row.lower = reportNumber(*limits->lower);
    }
    for (size_t k = 0; k < 5; ++k) {
      if (static_cast<std::int32_t>(k) >= m.count) continue;
      if (m.samples[k]) row.samples[k] = forms::SingleText(*m.samples[k]);
      if (m.passed[k])
        row.samples[k] =
            std::string(*m.passed[k] ? dimtable::kPassed : dimtable::kFailed);
    }
    row.instrument = m.instrument;
    row.verdict = model::judge(d, m);
    switch (row.verdict) {
      case model::Verdict::Ok:
        ++report.ok;
        break;
      case model::Verdict::Ng:
        ++report.ng;
        break;
      case model::Verdict::NoLimits:
        ++report.noLimits;
        break;
      case model::Verdict::Unmeasured:
        ++report.unmeasured;
        break;
    }
    report.rows.push_back(std::move(row));
  }
  return report;
}

}  // namespace reports
