// The generated report templates, filled the way the report handlers fill
// them, saved, and read again by the layer, by openpyxl and, where it is
// installed, by LibreOffice, which computes the formulas.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <numeric>
#include <sstream>
#include <type_traits>
#include <variant>

#include "libreoffice.h"
#include "reports/xlsx/text.h"
#include "reports/xlsx/workbook.h"
#include "zip_fixture.h"

using xlsx::Value;
using xlsx::Workbook;

namespace {

const char* kFai = "dimdata/fai.xlsx";
const char* kCpk = "dimdata/cpk.xlsx";

std::string text(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return "<not a text>";
}

bool empty(const Value& v) { return std::holds_alternative<std::monostate>(v); }

std::string quote(const std::string& s) { return "'" + s + "'"; }

// Output and exit status of a shell command.
std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {status, output};
}

struct Read {
  std::string kind;
  std::string value;
};

// Cells as openpyxl reads them (with `values`, the results formula cells
// carry); "merged" holds the merged ranges.
std::map<std::string, Read> openpyxlCells(const std::filesystem::path& file,
                                          const std::vector<std::string>& cells,
                                          bool values = false) {
  std::string command =
      std::string(DIMMARK_PYTHON) + " " +
      quote(std::string(DIMMARK_TEST_SOURCE_DIR) + "/read_cells.py") +
      (values ? " --values " : " ") + quote(file.string());
  for (const auto& cell : cells) command += " " + cell;
  auto [status, output] = run(command);
  EXPECT_EQ(status, 0) << output;
  std::map<std::string, Read> result;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const auto tab2 = line.find('\t', tab + 1);
    if (tab2 == std::string::npos)
      result[line.substr(0, tab)] = {"", line.substr(tab + 1)};
    else
      result[line.substr(0, tab)] = {line.substr(tab + 1, tab2 - tab - 1),
                                     line.substr(tab2 + 1)};
  }
  return result;
}

// One FAI row as the first-time report and the refresh write it.
struct FaiRow {
  double mark;
  std::string zone;
  std::string nominal;
  float up, low;
  std::string instrument;
  std::vector<double> samples;
};

void fillFai(xlsx::Sheet& sheet, const std::vector<FaiRow>& rows) {
  for (std::size_t p = 0; p < rows.size(); ++p) {
    const int r = static_cast<int>(p) + 11;
    const FaiRow& row = rows[p];
    sheet.setText(r, 2, row.zone);
    sheet.setNumber(r, 1, row.mark);
    sheet.setText(r, 4, row.nominal);
    sheet.setNumber(r, 5, row.up);
    sheet.setNumber(r, 6, row.low);
  }
  for (std::size_t p = 0; p < rows.size(); ++p) {
    const int r = static_cast<int>(p) + 11;
    sheet.setText(r, 3, rows[p].instrument);
    for (std::size_t k = 0; k < rows[p].samples.size(); ++k)
      sheet.setNumber(r, 7 + static_cast<int>(k), rows[p].samples[k]);
  }
}

// One CPK column: rows 8 to 12, then the measured values from row 14.
void fillCpk(xlsx::Sheet& sheet, int column, double mark,
             const std::string& nominal, float up, float low,
             const std::vector<double>& values) {
  sheet.setNumber(8, column, mark);
  sheet.setText(9, column, "B3");
  sheet.setText(10, column, nominal);
  const double value = std::stod(nominal);
  sheet.setNumber(11, column, value + static_cast<double>(up));
  sheet.setNumber(12, column, value - static_cast<double>(low));
  for (std::size_t i = 0; i < values.size(); ++i)
    sheet.setNumber(14 + static_cast<int>(i), column, values[i]);
}

void libreOfficeComputes(const fixture::TempDir& dir,
                         const std::vector<std::filesystem::path>& files,
                         const std::filesystem::path& out) {
  libreoffice::computes(dir.path(), files, out);
}

// "" when our computed value and what another program read agree: numbers
// within 1e-9 relative, texts, booleans and errors exactly.
std::string disagreement(const xlsx::Computed& ours, const Value& theirs) {
  const std::string shown = std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return "nothing";
        else if constexpr (std::is_same_v<T, std::string>)
          return "'" + v + "'";
        else if constexpr (std::is_same_v<T, double>)
          return xlsx::formatNumber(v);
        else if constexpr (std::is_same_v<T, bool>)
          return v ? "TRUE" : "FALSE";
        else
          return std::string(xlsx::errorText(v));
      },
      ours);
  auto differs = [&] { return "ours " + shown; };
  if (const double* d = std::get_if<double>(&ours)) {
    const double* t = std::get_if<double>(&theirs);
    if (!t) return differs();
    if (std::fabs(*d - *t) > 1e-9 * std::max(std::fabs(*d), std::fabs(*t)))
      return differs() + ", theirs " + xlsx::formatNumber(*t);
    return "";
  }
  if (const auto* s = std::get_if<std::string>(&ours))
    return theirs == Value(*s) ? "" : differs();
  if (const bool* b = std::get_if<bool>(&ours))
    return theirs == Value(*b) ? "" : differs();
  if (const auto* e = std::get_if<xlsx::ErrorValue>(&ours))
    return theirs == Value(std::string(xlsx::errorText(*e))) ? "" : differs();
  return differs();
}

// The rows of a drawing of 30 dimensions, as an inspection leaves them:
// inside and outside the limits, right on them, unmeasured, partly
// measured, and nominals that are no numbers.
std::vector<FaiRow> thirtyDimensions() {
  const char* nominals[] = {"15", "25.40", "Φ8",    "10.00", "0.5",
                            "R5", "120",   "3.175", "M6",    "45°"};
  const float ups[] = {0.1f, 0.05f, 0.3f, 0.0f, 0.02f, 0.5f};
  const float lows[] = {0.1f, 0.0f, 0.05f, 0.3f, 0.5f, 0.02f};
  std::vector<FaiRow> rows;
  for (int i = 0; i < 30; ++i) {
    FaiRow row;
    row.mark = i + 1;
    row.zone = std::string(1, static_cast<char>('A' + i % 4)) +
               std::to_string(1 + i % 8);
    row.nominal = nominals[i % 10];
    row.up = ups[i % 6];
    row.low = lows[(i / 2) % 6];
    row.instrument = i % 3 == 0 ? "卡尺" : "千分尺";
    const double n = std::atof(row.nominal.c_str());
    const double hi = n + static_cast<double>(row.up);
    const double lo = n - static_cast<double>(row.low);
    switch (i % 7) {
      case 0:  // inside
        row.samples = {n, n + (hi - n) / 2, n - (n - lo) / 3};
        break;
      case 1:  // above
        row.samples = {n, hi + 0.01};
        break;
      case 2:  // below, five samples
        row.samples = {n, n, n, n, lo - 0.001};
        break;
      case 3:  // exactly on both limits
        row.samples = {hi, lo};
        break;
      case 4:  // a mark but nothing measured
        break;
      case 5:  // just past the margin the checks allow
        row.samples = {hi + 2e-9};
        break;
      default:  // samples typed as their shortest decimals
        row.samples = {std::round(hi * 1000) / 1000, n};
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace

TEST(FaiTemplate, HeadingsAndChecksSitBesideTheColumnsTheReportWrites) {
  Workbook book = Workbook::open(kFai);
  const xlsx::Sheet& sheet = book.sheet(0);
  EXPECT_NE(text(sheet.value(1, 1)).find("首件检验报告"), std::string::npos);
  std::string heading;
  for (int r = 2; r <= 9; ++r)
    for (int c = 1; c <= 16; ++c) {
      const Value v = sheet.value(r, c);
      if (const auto* s = std::get_if<std::string>(&v)) heading += *s + "|";
    }
  for (const char* label :
       {"零件号:", "零件名称:", "图号:", "版本:", "检验日期:", "检验员:"})
    EXPECT_NE(heading.find(label), std::string::npos) << label;

  const char* columns[] = {"标号",   "区域",   "量具",   "名义尺寸",
                           "上偏差", "下偏差", "样品1",  "样品2",
                           "样品3",  "样品4",  "样品5",  "上限",
                           "下限",   "最小值", "最大值", "判定"};
  for (int c = 1; c <= 16; ++c)
    EXPECT_EQ(text(sheet.value(10, c)), columns[c - 1]) << c;
  // Its column widths as the sheet window shows them: the nominal wider
  // than the mark, every column given.
  const auto widths = sheet.columnWidths();
  ASSERT_EQ(widths.size(), 16u);
  EXPECT_GT(widths.at(4), widths.at(1));
  EXPECT_NEAR(widths.at(4), 11, 1);

  // Columns A to K stay free for the report; every row to 1010 has checks.
  for (int r : {11, 12, 210, 1010}) {
    for (int c = 1; c <= 11; ++c) {
      EXPECT_TRUE(empty(sheet.value(r, c))) << r << "," << c;
      EXPECT_TRUE(sheet.formula(r, c).empty()) << r << "," << c;
    }
    const std::string row = std::to_string(r);
    EXPECT_NE(sheet.formula(r, 12).find("VALUE($D" + row + ")+$E" + row),
              std::string::npos);
    EXPECT_NE(sheet.formula(r, 13).find("VALUE($D" + row + ")-$F" + row),
              std::string::npos);
    EXPECT_NE(sheet.formula(r, 14).find("MIN($G" + row + ":$K" + row + ")"),
              std::string::npos);
    EXPECT_NE(sheet.formula(r, 15).find("MAX($G" + row + ":$K" + row + ")"),
              std::string::npos);
    EXPECT_NE(sheet.formula(r, 16).find("\"OK\",\"NG\""), std::string::npos);
  }
  EXPECT_TRUE(sheet.formula(1011, 12).empty());
}

TEST(CpkTemplate, LabelsFreeCellsAndCapabilityFormulas) {
  Workbook book = Workbook::open(kCpk);
  const xlsx::Sheet& sheet = book.sheet(0);
  const char* labels[] = {"标号", "区域", "名义尺寸", "上限 USL", "下限 LSL"};
  for (int r = 8; r <= 12; ++r) {
    EXPECT_EQ(text(sheet.value(r, 1)), labels[r - 8]);
    for (int c = 2; c <= 16; ++c) EXPECT_TRUE(empty(sheet.value(r, c)));
  }
  for (int r = 14; r <= 63; ++r)
    for (int c = 2; c <= 16; ++c) EXPECT_TRUE(sheet.formula(r, c).empty());
  const std::map<int, std::string> rows = {{64, "数量 n"},   {65, "平均值"},
                                           {66, "标准差 σ"}, {67, "Cp"},
                                           {68, "Cpk"},      {69, "可信度"}};
  for (const auto& [r, label] : rows) EXPECT_EQ(text(sheet.value(r, 1)), label);
  for (int c : {2, 9, 16}) {
    const std::string col = xlsx::columnName(c);
    EXPECT_NE(sheet.formula(64, c).find("COUNT(" + col + "$14:" + col + "$63)"),
              std::string::npos);
    EXPECT_NE(sheet.formula(65, c).find("AVERAGE("), std::string::npos);
    EXPECT_NE(sheet.formula(66, c).find("STDEV(" + col + "$14:" + col + "$63)"),
              std::string::npos);
    EXPECT_NE(sheet.formula(67, c).find("(" + col + "$11-" + col + "$12)/(6*"),
              std::string::npos);
    EXPECT_NE(sheet.formula(68, c).find("MIN(" + col + "$11-" + col + "65,"),
              std::string::npos);
    EXPECT_NE(sheet.formula(69, c).find("参考值(样本少于25)"),
              std::string::npos);
  }
}

TEST(ReportTemplates, FilledWorkbooksReadBackInTheLayerAndInOpenpyxl) {
  fixture::TempDir dir;
  const std::string templateBytes = fixture::readFile(kFai);
  {
    Workbook fai = Workbook::open(kFai);
    fillFai(fai.sheet(0),
            {{1, "A1", "25.40", 0.1f, 0.05f, "卡尺", {25.41, 25.38}},
             {2, "D8", "R5", 0.2f, 0.0f, "", {}},
             {3,
              "B2",
              "12.50",
              0.0f,
              0.3f,
              "千分尺",
              {12.5, 12.4, 12.3, 12.2, 12.45}}});
    fai.save(dir / "fai out.xlsx");
    Workbook cpk = Workbook::open(kCpk);
    fillCpk(cpk.sheet(0), 2, 7, "25.40", 0.1f, 0.05f, {25.41, 25.39});
    cpk.save(dir / "cpk.xlsx");
  }
  EXPECT_EQ(fixture::readFile(kFai), templateBytes);

  Workbook fai = Workbook::open(dir / "fai out.xlsx");
  const xlsx::Sheet& s = fai.sheet(0);
  EXPECT_EQ(std::get<double>(s.value(11, 1)), 1);
  EXPECT_EQ(text(s.value(11, 2)), "A1");
  EXPECT_EQ(text(s.value(11, 3)), "卡尺");
  EXPECT_EQ(text(s.value(11, 4)), "25.40");
  EXPECT_EQ(std::get<double>(s.value(11, 5)), 0.1);
  EXPECT_EQ(std::get<double>(s.value(13, 11)), 12.45);
  EXPECT_TRUE(empty(s.value(12, 3)));
  EXPECT_TRUE(empty(s.value(12, 7)));
  EXPECT_EQ(text(s.value(10, 16)), "判定");

  auto cells = openpyxlCells(
      dir / "fai out.xlsx",
      {"A1", "A11", "B11", "C11", "D11", "E11", "F11", "H11", "I11", "D12",
       "G12", "K13", "L11", "P13", "A14", "P14", "C10"});
  EXPECT_EQ(cells["A1"].value, "首件检验报告 (FAI)");
  EXPECT_EQ(cells["A11"].kind, "number");
  EXPECT_EQ(cells["A11"].value, "1.0");
  EXPECT_EQ(cells["B11"].value, "A1");
  EXPECT_EQ(cells["C11"].value, "卡尺");
  EXPECT_EQ(cells["D11"].kind, "text");
  EXPECT_EQ(cells["D11"].value, "25.40");
  EXPECT_EQ(cells["E11"].value, "0.1");
  EXPECT_EQ(cells["F11"].value, "0.05");
  EXPECT_EQ(cells["H11"].value, "25.38");
  EXPECT_EQ(cells["I11"].kind, "none");
  EXPECT_EQ(cells["D12"].value, "R5");
  EXPECT_EQ(cells["G12"].kind, "none");
  EXPECT_EQ(cells["K13"].value, "12.45");
  EXPECT_EQ(cells["L11"].kind, "formula");
  EXPECT_EQ(cells["L11"].value.substr(0, 24), "=IF(OR($A11=\"\",$D11=\"\"),");
  EXPECT_EQ(cells["P13"].kind, "formula");
  EXPECT_EQ(cells["A14"].kind, "none");
  EXPECT_EQ(cells["P14"].kind, "formula");
  EXPECT_EQ(cells["C10"].value, "量具");
  EXPECT_NE(cells["merged"].value.find("A1:P1"), std::string::npos);

  auto cpk = openpyxlCells(dir / "cpk.xlsx", {"B8", "B9", "B10", "B11", "B12",
                                              "B15", "C8", "B64", "A69"});
  EXPECT_EQ(cpk["B8"].value, "7.0");
  EXPECT_EQ(cpk["B9"].value, "B3");
  EXPECT_EQ(cpk["B10"].value, "25.40");
  EXPECT_EQ(cpk["B11"].value, "25.500000001490115");
  EXPECT_EQ(cpk["B12"].value, "25.34999999925494");
  EXPECT_EQ(cpk["B15"].value, "25.39");
  EXPECT_EQ(cpk["C8"].kind, "none");
  EXPECT_EQ(cpk["B64"].kind, "formula");
  EXPECT_EQ(cpk["A69"].value, "可信度");
}

TEST(ReportTemplates, LibreOfficeComputesTheChecks) {
  fixture::TempDir dir;
  {
    Workbook fai = Workbook::open(kFai);
    fillFai(fai.sheet(0),
            {{1, "A1", "10.00", 0.1f, 0.1f, "卡尺", {10.02, 9.95, 10.1}},
             {2, "A2", "10.00", 0.1f, 0.1f, "卡尺", {10.02, 10.2}},
             {3, "A3", "10.00", 0.1f, 0.1f, "", {}},
             {4, "A4", "R5", 0.1f, 0.1f, "", {5.0}}});
    fai.save(dir / "fai.xlsx");
  }
  std::vector<double> thirty, ten;
  for (int i = 0; i < 30; ++i)
    thirty.push_back(10.0 + 0.01 * ((i * 7) % 11 - 5));
  for (int i = 0; i < 10; ++i) ten.push_back(5.0 + 0.02 * ((i * 3) % 5 - 2));
  {
    Workbook cpk = Workbook::open(kCpk);
    fillCpk(cpk.sheet(0), 2, 1, "10.00", 0.1f, 0.1f, thirty);
    fillCpk(cpk.sheet(0), 3, 2, "5.00", 0.1f, 0.05f, ten);
    fillCpk(cpk.sheet(0), 4, 3, "8.00", 0.1f, 0.1f, {8.0});
    cpk.save(dir / "cpk.xlsx");
  }
  libreOfficeComputes(dir, {dir / "fai.xlsx", dir / "cpk.xlsx"},
                      dir / "computed");
  if (HasFatalFailure()) return;

  Workbook fai = Workbook::open(dir / "computed" / "fai.xlsx");
  const xlsx::Sheet& f = fai.sheet(0);
  auto num = [](const Value& v) {
    const auto* d = std::get_if<double>(&v);
    return d ? *d : std::nan("");
  };
  EXPECT_NEAR(num(f.value(11, 12)), 10.1, 1e-6);
  EXPECT_NEAR(num(f.value(11, 13)), 9.9, 1e-6);
  EXPECT_EQ(num(f.value(11, 14)), 9.95);
  EXPECT_EQ(num(f.value(11, 15)), 10.1);
  EXPECT_EQ(text(f.value(11, 16)), "OK");  // a sample right on the limit
  EXPECT_EQ(text(f.value(12, 16)), "NG");
  // A row without samples, a nominal that is no number, a row not used:
  // the checks stay empty instead of showing errors.
  for (int c = 14; c <= 16; ++c) EXPECT_EQ(text(f.value(13, c)), "") << c;
  EXPECT_EQ(text(f.value(14, 12)), "");
  EXPECT_EQ(text(f.value(14, 16)), "");
  for (int c = 12; c <= 16; ++c) EXPECT_EQ(text(f.value(15, c)), "") << c;

  Workbook cpk = Workbook::open(dir / "computed" / "cpk.xlsx");
  const xlsx::Sheet& k = cpk.sheet(0);
  auto stats = [](const std::vector<double>& v) {
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
    double sq = 0;
    for (double x : v) sq += (x - mean) * (x - mean);
    return std::pair{mean, std::sqrt(sq / (v.size() - 1))};
  };
  auto [mean, sigma] = stats(thirty);
  const double usl = 10.0 + static_cast<double>(0.1f);
  const double lsl = 10.0 - static_cast<double>(0.1f);
  EXPECT_EQ(num(k.value(64, 2)), 30);
  EXPECT_NEAR(num(k.value(65, 2)), mean, 1e-9);
  EXPECT_NEAR(num(k.value(66, 2)), sigma, 1e-9);
  EXPECT_NEAR(num(k.value(67, 2)), (usl - lsl) / (6 * sigma), 1e-6);
  EXPECT_NEAR(num(k.value(68, 2)),
              std::min(usl - mean, mean - lsl) / (3 * sigma), 1e-6);
  EXPECT_EQ(text(k.value(69, 2)), "有效");
  EXPECT_EQ(num(k.value(64, 3)), 10);
  EXPECT_EQ(text(k.value(69, 3)), "参考值(样本少于25)");
  // One value has no spread; an empty column has nothing at all.
  EXPECT_EQ(num(k.value(64, 4)), 1);
  for (int r = 66; r <= 70; ++r) EXPECT_EQ(text(k.value(r, 4)), "") << r;
  for (int r = 64; r <= 70; ++r) EXPECT_EQ(text(k.value(r, 5)), "") << r;
}

namespace {

// The CPK columns of a drawing: 1, 2 and 5 values, 25 and 30, equal
// values, a capable, a passable and a poor process, limits without values.
void fillCapabilityColumns(xlsx::Sheet& sheet) {
  auto spread = [](double centre, double step, int count) {
    std::vector<double> v;
    for (int i = 0; i < count; ++i)
      v.push_back(centre + step * ((i * 7) % 11 - 5));
    return v;
  };
  fillCpk(sheet, 2, 1, "10.00", 0.1f, 0.1f, {10.01});
  fillCpk(sheet, 3, 2, "10.00", 0.1f, 0.1f, {10.01, 9.98});
  fillCpk(sheet, 4, 3, "25.40", 0.05f, 0.05f,
          {25.41, 25.39, 25.4, 25.42, 25.38});
  fillCpk(sheet, 5, 4, "15", 0.3f, 0.3f, spread(15.0, 0.01, 30));
  fillCpk(sheet, 6, 5, "8.00", 0.1f, 0.1f, spread(8.0, 0.004, 25));
  fillCpk(sheet, 7, 6, "5.00", 0.1f, 0.05f, {5.02, 5.02, 5.02, 5.02, 5.02});
  fillCpk(sheet, 8, 7, "3.175", 0.02f, 0.02f, spread(3.18, 0.004, 12));
  fillCpk(sheet, 9, 8, "12.00", 0.1f, 0.1f, spread(12.0, 0.009, 20));
  fillCpk(sheet, 10, 9, "6.00", 0.1f, 0.1f, {});
}

}  // namespace

TEST(ReportTemplates, OurResultsAreLibreOfficesForThirtyDimensions) {
  fixture::TempDir dir;
  Workbook fai = Workbook::open(kFai);
  fai.sheet(0).setText(3, 2, "P-100");
  fillFai(fai.sheet(0), thirtyDimensions());
  fai.save(dir / "fai.xlsx");
  Workbook cpk = Workbook::open(kCpk);
  fillCapabilityColumns(cpk.sheet(0));
  cpk.save(dir / "cpk.xlsx");

  // A copy whose first limit carries a wrong result: LibreOffice must put
  // it right, or it did not compute at all.
  auto parts = fixture::readZip(dir / "fai.xlsx");
  std::string& xml = parts.at("xl/worksheets/sheet1.xml");
  const auto l11 = xml.find("<c r=\"L11\"");
  const auto v = xml.find("<v>", l11);
  ASSERT_NE(v, std::string::npos);
  xml.replace(v + 3, xml.find("</v>", v) - v - 3, "999");
  fixture::writeZip(dir / "stale.xlsx", {parts.begin(), parts.end()});

  libreOfficeComputes(dir,
                      {dir / "fai.xlsx", dir / "cpk.xlsx", dir / "stale.xlsx"},
                      dir / "lo");
  if (HasFatalFailure()) return;
  Workbook stale = Workbook::open(dir / "lo" / "stale.xlsx");
  EXPECT_EQ(
      disagreement(fai.sheet(0).computed(11, 12), stale.sheet(0).value(11, 12)),
      "");

  // Every formula cell of both workbooks, and what they hold overall.
  std::map<std::string, int> seen;
  auto compareAll = [&](const Workbook& ours, const char* theirs) {
    Workbook lo = Workbook::open(dir / "lo" / theirs);
    const xlsx::Sheet& a = ours.sheet(0);
    const xlsx::Sheet& b = lo.sheet(0);
    const xlsx::CellRange used = a.usedRange();
    int formulas = 0;
    std::vector<std::string> wrong;
    for (int r = used.firstRow; r <= used.lastRow; ++r)
      for (int c = used.firstColumn; c <= used.lastColumn; ++c) {
        if (a.formula(r, c).empty()) continue;
        ++formulas;
        const xlsx::Computed value = a.computed(r, c);
        if (const auto* s = std::get_if<std::string>(&value)) ++seen[*s];
        if (std::holds_alternative<double>(value)) ++seen["number"];
        const std::string d = disagreement(value, b.value(r, c));
        if (!d.empty() && wrong.size() < 20)
          wrong.push_back(xlsx::cellName(r, c) + " " + a.formula(r, c) + ": " +
                          d);
      }
    for (const auto& w : wrong) ADD_FAILURE() << theirs << " " << w;
    return formulas;
  };
  EXPECT_EQ(compareAll(fai, "fai.xlsx"), 5000);
  EXPECT_EQ(compareAll(cpk, "cpk.xlsx"), 105);
  for (const char* kind : {"OK", "NG", "", "number", "有效",
                           "参考值(样本少于25)", "合格", "尚可", "不足"})
    EXPECT_GE(seen[kind], 1) << kind;
  EXPECT_GE(seen["NG"], 5);
  EXPECT_GE(seen["OK"], 5);

  // openpyxl, as a reader that computes nothing, finds our results.
  auto check = [&](const Workbook& ours, const char* file,
                   const std::string& range) {
    const auto cells = openpyxlCells(dir / file, {range}, true);
    const auto r = *xlsx::parseRange(range);
    for (int row = r.firstRow; row <= r.lastRow; ++row)
      for (int c = r.firstColumn; c <= r.lastColumn; ++c) {
        const std::string name = xlsx::cellName(row, c);
        const Read& got = cells.at(name);
        // Readers show an empty text result as an empty cell.
        Value read = std::string();
        if (got.kind == "number")
          read = std::stod(got.value);
        else if (got.kind == "bool")
          read = got.value == "True";
        else if (got.kind == "text" || got.kind == "error")
          read = got.value;
        EXPECT_EQ(disagreement(ours.sheet(0).computed(row, c), read), "")
            << file << " " << name << " " << got.kind << " " << got.value;
      }
  };
  check(fai, "fai.xlsx", "L11:P41");
  check(cpk, "cpk.xlsx", "B64:K70");
}

TEST(ReportTemplates, FilledTemplatesShowValuesInTheirFormatsAndColours) {
  Workbook fai = Workbook::open(kFai);
  fillFai(fai.sheet(0), {{1, "A1", "15", 0.3f, 0.1f, "", {15.1}},
                         {2, "A2", "15", 0.3f, 0.1f, "", {15.5}},
                         {3, "A3", "Φ8", 0.1f, 0.1f, "", {8.0}}});
  const xlsx::Sheet& f = fai.sheet(0);
  EXPECT_EQ(f.displayText(11, 12), "15.3");
  EXPECT_EQ(f.displayText(11, 13), "14.9");
  EXPECT_EQ(f.displayText(11, 16), "OK");
  EXPECT_EQ(f.displayText(12, 16), "NG");
  EXPECT_EQ(f.displayText(13, 12), "");
  EXPECT_EQ(f.displayText(13, 14), "8");

  const xlsx::CellLook ok = f.look(11, 16);
  EXPECT_EQ(ok.fillColor, 0xE2EFDAu);
  EXPECT_FALSE(ok.fontColor);
  EXPECT_FALSE(ok.bold);
  EXPECT_EQ(ok.horizontal, xlsx::Alignment::center);
  const xlsx::CellLook ng = f.look(12, 16);
  EXPECT_EQ(ng.fillColor, 0xFFC7CEu);
  EXPECT_EQ(ng.fontColor, 0x9C0006u);
  EXPECT_TRUE(ng.bold);
  EXPECT_EQ(f.look(12, 15).fillColor, 0xE2EFDAu);  // the rule is P's only
  const xlsx::CellLook heading = f.look(10, 4);
  EXPECT_EQ(heading.fillColor, 0xD9E1F2u);
  EXPECT_TRUE(heading.bold);
  EXPECT_EQ(f.look(8, 1).fontColor, 0x595959u);
  EXPECT_EQ(f.look(3, 2).horizontal, xlsx::Alignment::left);

  Workbook cpk = Workbook::open(kCpk);
  fillCapabilityColumns(cpk.sheet(0));
  const xlsx::Sheet& k = cpk.sheet(0);
  EXPECT_EQ(k.look(65, 2).numberFormat, "0.0000");
  EXPECT_EQ(k.displayText(65, 4), "25.4000");
  EXPECT_EQ(k.displayText(64, 4), "5");
  EXPECT_EQ(k.displayText(66, 4), "0.01581");
  EXPECT_EQ(k.displayText(66, 7), "0.00000");
  EXPECT_EQ(k.displayText(67, 7), "");
  // A poor process shows red; a capable one keeps the result fill.
  EXPECT_EQ(k.displayText(70, 8), "不足");
  EXPECT_EQ(k.look(68, 8).fillColor, 0xFFC7CEu);
  EXPECT_EQ(k.look(68, 8).fontColor, 0x9C0006u);
  EXPECT_EQ(k.displayText(70, 5), "合格");
  EXPECT_EQ(k.look(68, 5).fillColor, 0xE2EFDAu);
  EXPECT_FALSE(k.look(68, 5).fontColor);
  EXPECT_EQ(k.look(68, 10).fillColor, 0xE2EFDAu);  // empty: not "< 1"
}
