// dimmark-cli report on a real drawing: numbered by dimmark-cli number, then
// reported, the saved workbooks read by openpyxl and, where it is
// installed, computed by LibreOffice.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include <QImage>
#include <regex>

#include "browse/browser.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "dimtable/dimtable.h"
#include "fakes/temp_dir.h"
#include "libreoffice.h"
#include "reports/inspection_pdf.h"
#include "sheethost/xlsx/workbook.h"

namespace {

namespace fs = std::filesystem;

std::string quote(const std::string& s) { return "'" + s + "'"; }

std::pair<int, std::string> shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  return {pclose(pipe), output};
}

// "KIND\tVALUE" of each cell of the first sheet, as openpyxl reads it.
std::map<std::string, std::string> cells(const fs::path& file,
                                         const std::vector<std::string>& refs,
                                         bool values = false) {
  std::string command =
      std::string(DIMMARK_PYTHON) + " " +
      quote(std::string(DIMMARK_TEST_SOURCE_DIR) + "/read_cells.py") +
      (values ? " --values " : " ") + quote(file.string());
  for (const auto& r : refs) command += " " + r;
  auto [status, output] = shell(command);
  EXPECT_EQ(status, 0) << output;
  std::map<std::string, std::string> out;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    auto tab = line.find('\t');
    if (tab != std::string::npos)
      out[line.substr(0, tab)] = line.substr(tab + 1);
  }
  return out;
}

class ReportCli : public ::testing::Test {
 protected:
  ReportCli() {
    fs::copy_file(fs::path(DIMMARK_FIXTURES) / "dims_r2018.dxf", drawing);
  }

  int run(const cli::Args& args) {
    std::ostringstream o, e;
    const int rc = cli::reportCommand(args, o, e);
    out = o.str();
    err = e.str();
    return rc;
  }

  void number() {
    std::ostringstream o, e;
    ASSERT_EQ(cli::numberCommand(
                  {drawing, "--save-as", (dir / "marked.dxf").string()}, o, e),
              0)
        << e.str();
  }

  // Every row of dim1, field by field.
  static std::vector<dimtable::Recordset::Row> tableRows(
      const std::string& path) {
    dimtable::Connection c;
    c.Open(path);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    std::vector<dimtable::Recordset::Row> rows;
    for (; !rs.Eof(); rs.MoveNext()) {
      dimtable::Recordset::Row r;
      for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = rs.Get(std::array<const char*, 10>{
            "number1", "DIMNUM", "DIMVALUE", "DIMUP", "DIMLOW", "DIMTYPE",
            "DIMCHECK", "DIMX", "DIMY", "marknum"}[i]);
      rows.push_back(r);
    }
    return rows;
  }

  fakes::TempDir dir;
  std::string drawing = (dir / "part.dxf").string();
  std::string db = (dir / "part.mdb").string();
  std::string fai = (dir / "out fai.xlsx").string();
  std::string cpk = (dir / "out cpk.xlsx").string();
  std::string pdf = (dir / "报告 out.pdf").string();
  std::string out, err;
};

TEST_F(ReportCli, FillsAndSavesBothWorkbooksOfANumberedDrawing) {
  number();
  const std::string drawingBefore = dir.read("part.dxf");
  const auto dimRowsBefore = tableRows(db);
  dir.write("samples.csv",
            "\xEF\xBB\xBFmark,instrument,s1,s2,s3,s4,s5\n"
            "2, MIC, 50.01, 49.99, 50.02\n"
            "\n"
            "# mark 3 is out of its limits\n"
            "\"3\",DC,30.98,31.5\n"
            "9,HG,15,15.01,14.99,15.02,15\n");
  ASSERT_EQ(
      run({drawing, "--fai", fai, "--samples", (dir / "samples.csv").string(),
           "--cpk", cpk, "--cpk-marks", "2,3", "--grid", "1-4,A-C"}),
      0)
      << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(out, "{\"fai\":\"" + fai +
                     "\",\"rows\":27,\"measured\":3,\"cpk\":\"" + cpk +
                     "\",\"cpkColumns\":2,\"grid\":\"1-4,A-C\"}\n");

  auto f = cells(fai, {"A11", "C11", "G11", "A12", "B12", "C12", "D12", "E12",
                       "G12", "H12", "I12", "J12", "C13", "H13", "C19", "K19",
                       "A37", "A38", "P12"});
  EXPECT_EQ(f["A11"], "number\t1.0");
  // Dimensions not in the file are not saved as measured.
  EXPECT_EQ(f["C11"], "none\t");
  EXPECT_EQ(f["G11"], "none\t");
  EXPECT_EQ(f["A12"], "number\t2.0");
  EXPECT_EQ(f["C12"], "text\tMIC");
  EXPECT_EQ(f["D12"], "text\t50");
  EXPECT_EQ(f["E12"], "number\t0.45");
  EXPECT_EQ(f["G12"], "number\t50.01");
  EXPECT_EQ(f["H12"], "number\t49.99");
  EXPECT_EQ(f["I12"], "number\t50.02");
  EXPECT_EQ(f["J12"], "none\t");
  EXPECT_EQ(f["C13"], "text\tDC");
  EXPECT_EQ(f["H13"], "number\t31.5");
  EXPECT_EQ(f["C19"], "text\tHG");
  EXPECT_EQ(f["K19"], "number\t15.0");
  EXPECT_EQ(f["A37"], "number\t27.0");
  EXPECT_EQ(f["A38"], "none\t");
  EXPECT_EQ(f["P12"].rfind("formula\t", 0), 0u);
  // The zone follows the grid given.
  EXPECT_NE(f["B12"].find("\t"), std::string::npos);
  const std::string zone = f["B12"].substr(f["B12"].find('\t') + 1);
  ASSERT_EQ(zone.size(), 2u);
  EXPECT_TRUE(zone[0] >= 'A' && zone[0] <= 'C') << zone;
  EXPECT_TRUE(zone[1] >= '1' && zone[1] <= '4') << zone;

  auto c = cells(cpk, {"B8", "B9", "B10", "B11", "B12", "C8", "D8", "E8"});
  EXPECT_EQ(c["B8"], "number\t2.0");
  EXPECT_EQ(c["B9"], "text\t" + zone);
  EXPECT_EQ(c["B10"], "text\t50");
  // Limits as the deviations show: no noise of their singles.
  EXPECT_EQ(c["B11"], "number\t50.45");
  EXPECT_EQ(c["B12"], "number\t49.55");
  EXPECT_EQ(c["C8"], "number\t3.0");
  EXPECT_EQ(c["D8"], "none\t");

  // The drawing is only read; its database keeps the rows as they were and
  // now holds the samples entered, as the window would keep them.
  EXPECT_EQ(dir.read("part.dxf"), drawingBefore);
  EXPECT_EQ(tableRows(db), dimRowsBefore);
  dimtable::Connection conn;
  conn.Open(db);
  const auto stored = conn.LoadMeasurements();
  ASSERT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored.at(2).instrument, "MIC");
  EXPECT_EQ(stored.at(2).count, 3);
  EXPECT_EQ(stored.at(2).samples[2], 50.02f);
  EXPECT_EQ(stored.at(9).samples[4], 15.0f);

  // LibreOffice computes the saved workbook itself and agrees.
  libreoffice::computes(dir.path(), {fai}, dir / "computed");
  if (HasFatalFailure()) return;
  // The results LibreOffice computed, as the file carries them.
  auto book = xlsx::Workbook::open(dir / "computed" / "out fai.xlsx");
  const xlsx::Sheet& s = book.sheet(0);
  using V = xlsx::Value;
  EXPECT_EQ(s.value(11, 16), V(std::string()));
  EXPECT_EQ(s.value(12, 16), V(std::string("OK")));
  EXPECT_EQ(s.value(13, 16), V(std::string("NG")));
  EXPECT_EQ(s.value(19, 16), V(std::string("OK")));
  EXPECT_EQ(s.value(13, 14), V(30.98));
  EXPECT_EQ(s.value(13, 15), V(31.5));
}

TEST_F(ReportCli, ADrawingNeverNumberedIsRefusedWithoutMakingADatabase) {
  ASSERT_EQ(run({drawing, "--fai", fai}), 2);
  EXPECT_NE(err.find("has not been numbered"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(db));
  EXPECT_FALSE(fs::exists(fai));
}

TEST_F(ReportCli, BadInputIsRefusedBeforeAnythingIsWritten) {
  number();
  const auto csv = (dir / "s.csv").string();
  struct Case {
    std::string csv;  // empty: no --samples
    cli::Args extra;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"99,DC,1\n", {}, "the drawing has no mark 99"},
      {"2,XX,1\n", {}, "unknown instrument code \"XX\""},
      {"2,DC,abc\n", {}, "sample \"abc\" is not a number"},
      {"2,DC\n", {}, "one to five samples"},
      {"2,DC,1,2,3,4,5,6\n", {}, "one to five samples"},
      {"mark,code,s1\nx,DC,1\n", {}, ":2: field 1: \"x\" is not a mark number"},
      // A first line with a number in it is no heading.
      {"1.5,DC,1\n2,DC,1\n", {}, ":1: field 1: \"1.5\" is not a mark number"},
      {"1e40,DC,1\n", {}, ":1: field 1: \"1e40\" is not a mark number"},
      {"No.,code,sample 1\n2,DC,1,1e40\n",
       {},
       ":2: field 4: sample \"1e40\" is beyond what a measurement can hold"},
      {"2,DC,1,,3\n", {}, ":1: field 4: sample 2 is empty"},
      {"2,MIC,1\n,,,\n", {}, ":2: a line of empty fields"},
      {"", {"--grid", "1-8,A-D", "--grid", "1-4,A-C"}, "given twice"},
      {"", {"--cpk", cpk}, "--cpk and --cpk-marks go together"},
      {"",
       {"--cpk", cpk, "--cpk-marks", "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16"},
       "one to fifteen marks"},
      {"", {"--cpk", cpk, "--cpk-marks", "2,x"}, "not \"2,x\""},
      {"", {"--cpk", cpk, "--cpk-marks", "2,3,2"}, "names mark 2 twice"},
      {"", {"--cpk", cpk, "--cpk-marks", "40"}, "no mark 40"},
      {"", {"--cpk", fai, "--cpk-marks", "2"}, "needs its own file"},
      {"", {"--pdf", fai}, "needs its own file"},
      {"", {"--pdf", drawing}, "is the drawing or its database"},
      {"", {"--pdf", pdf, "--paper", "B5"}, "--paper takes A4"},
      {"", {"--grid", "1-8"}, "COLUMNS,ROWS such as 1-8,A-D, not \"1-8\""},
      {"", {"--grid", "1-8,AB-D"}, "not \"1-8,AB-D\""},
      {"", {"--grid", "1-8,A-가"}, "的标签超出范围"},
      {"", {"--bogus", "1"}, "unknown option --bogus"},
  };
  for (const Case& k : cases) {
    cli::Args args = {drawing, "--fai", fai};
    if (!k.csv.empty()) {
      dir.write("s.csv", k.csv);
      args.insert(args.end(), {"--samples", csv});
    }
    args.insert(args.end(), k.extra.begin(), k.extra.end());
    EXPECT_EQ(run(args), 2) << k.message;
    EXPECT_NE(err.find(k.message), std::string::npos)
        << "expected " << k.message << ", got " << err;
    EXPECT_FALSE(fs::exists(fai)) << k.message;
    EXPECT_FALSE(fs::exists(cpk)) << k.message;
  }
  // Nothing of it reached the database either.
  {
    dimtable::Connection c;
    c.Open(db);
    EXPECT_TRUE(c.LoadMeasurements().empty());
  }
  EXPECT_EQ(run({drawing, "--fai", drawing}), 2);
  EXPECT_NE(err.find("is the drawing or its database"), std::string::npos);
  EXPECT_EQ(run({drawing, "--fai", (dir / "no/such/dir/fai.xlsx").string()}),
            2);
  EXPECT_NE(err.find("report: "), std::string::npos) << err;
}

// A word of a PDF page and where it stands, in points from the top left.
struct Word {
  std::string text;
  double x0, y0, x1, y1;
};

std::vector<Word> words(const fs::path& file, int page) {
  auto [status, html] =
      shell("pdftotext -bbox -f " + std::to_string(page) + " -l " +
            std::to_string(page) + " " + quote(file.string()) + " -");
  EXPECT_EQ(status, 0) << html;
  std::vector<Word> out;
  static const std::regex word(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  for (std::sregex_iterator it(html.begin(), html.end(), word), end; it != end;
       ++it)
    out.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]),
                   std::stod((*it)[3]), std::stod((*it)[4])});
  return out;
}

// The ink of a word on the page as drawn: the share of its pixels that are
// clearly red and clearly green.
struct Ink {
  int red = 0, green = 0, dark = 0;
};

Ink inkOf(const QImage& page, const Word& w, double scale) {
  Ink ink;
  for (int y = static_cast<int>(w.y0 * scale); y <= w.y1 * scale; ++y)
    for (int x = static_cast<int>(w.x0 * scale); x <= w.x1 * scale; ++x) {
      if (!page.valid(x, y)) continue;
      const QColor c = page.pixelColor(x, y);
      if (c.red() > 160 && c.green() < 110 && c.blue() < 110) ++ink.red;
      if (c.green() > 160 && c.red() < 110 && c.blue() < 110) ++ink.green;
      if (c.red() < 90 && c.green() < 90 && c.blue() < 90) ++ink.dark;
    }
  return ink;
}

TEST_F(ReportCli, ThePdfShowsTheResultsOnTheMarksAndInTheTable) {
  // The sample drawing: its marks take its own (black) ink, its dimensions
  // are green.
  fs::copy_file(DIMMARK_SAMPLE, drawing, fs::copy_options::overwrite_existing);
  number();
  const std::string marked = (dir / "marked.dxf").string();
  const std::string markedBefore = dir.read("marked.dxf");
  dir.write("samples.csv",
            "2,MIC,45.2,44.9\n"  // 45 +1/-1: within
            "9,DC,90.05\n"       // 90 +0.1/-0.1: within
            "4,DC,15.1,15.5\n"   // 15 +0.3/-0.3: above
            "3,DC,5\n");         // "C5": no limits to judge by
  ASSERT_EQ(run({marked, "--fai", fai, "--pdf", pdf, "--samples",
                 (dir / "samples.csv").string()}),
            0)
      << err;
  EXPECT_NE(out.find("\"pdf\":\"" + pdf +
                     "\",\"pages\":2,\"ok\":2,\"ng\":1,"
                     "\"unmeasured\":22,\"noLimits\":1"),
            std::string::npos)
      << out;
  // The report only reads the drawing.
  EXPECT_EQ(dir.read("marked.dxf"), markedBefore);

  // Every font the texts use travels with the file: the "emb" column, the
  // fourth, as the dashed rule under the heading marks the columns out.
  auto [fontStatus, fonts] = shell("pdffonts " + quote(pdf));
  ASSERT_EQ(fontStatus, 0) << fonts;
  std::istringstream fontLines(fonts);
  std::vector<std::pair<std::size_t, std::size_t>> columns;
  int fontCount = 0;
  for (std::string line; std::getline(fontLines, line);) {
    if (line.rfind("---", 0) == 0) {
      for (std::size_t at = 0; at < line.size();) {
        const std::size_t end = std::min(line.find(' ', at), line.size());
        columns.emplace_back(at, end - at);
        at = line.find_first_not_of(' ', end);
      }
      continue;
    }
    if (columns.size() < 4 || line.size() < columns[3].first) continue;
    ++fontCount;
    EXPECT_EQ(line.substr(columns[3].first, 3), "yes")
        << "not embedded: " << line;
  }
  EXPECT_GT(fontCount, 0) << fonts;

  // The table: one row per mark with the verdict of the workbook's column.
  auto [status, table] = shell("pdftotext -layout -f 2 " + quote(pdf) + " -");
  ASSERT_EQ(status, 0) << table;
  for (const char* count :
       {"OK 2", "NG 1", "未测 22", "无法判定 1", "第 2 页，共 2 页"})
    EXPECT_NE(table.find(count), std::string::npos) << count;
  std::map<int, std::string> verdicts;
  static const std::regex row(R"(^\s*(\d+)\s+\S.*\s(OK|NG|未测|无法判定)\s*$)");
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, row)) verdicts[std::stoi(m[1])] = m[2];
  }
  ASSERT_EQ(verdicts.size(), 26u) << table;
  std::vector<std::string> refs;
  for (int r = 11; r < 11 + 26; ++r) refs.push_back("P" + std::to_string(r));
  auto workbook = cells(fai, refs, true);
  for (int mark = 1; mark <= 26; ++mark) {
    const std::string cell = workbook["P" + std::to_string(mark + 10)];
    const std::string column = cell.substr(cell.find('\t') + 1);
    if (column.empty())  // the column leaves both blank
      EXPECT_TRUE(verdicts[mark] == "未测" || verdicts[mark] == "无法判定")
          << mark;
    else
      EXPECT_EQ(verdicts[mark], column) << mark;
  }
  EXPECT_EQ(verdicts[2], "OK");
  EXPECT_EQ(verdicts[4], "NG");
  EXPECT_EQ(verdicts[3], "无法判定");
  EXPECT_EQ(verdicts[5], "未测");

  // The drawing's page: the marks' numbers in green, red or their own ink.
  ASSERT_EQ(shell("pdftoppm -r 144 -f 1 -l 1 -singlefile -png " + quote(pdf) +
                  " " + quote((dir / "page").string()))
                .first,
            0);
  QImage page(QString::fromStdString((dir / "page.png").string()));
  ASSERT_FALSE(page.isNull());
  const auto onPage = words(pdf, 1);
  auto inksOf = [&](const std::string& n) {
    std::vector<Ink> found;
    for (const Word& w : onPage)
      if (w.text == n) found.push_back(inkOf(page, w, 2.0));
    return found;
  };
  auto any = [](const std::vector<Ink>& inks, auto test) {
    return std::any_of(inks.begin(), inks.end(), test);
  };
  for (const std::string n : {"2", "9"})
    EXPECT_TRUE(
        any(inksOf(n), [](const Ink& i) { return i.green > 3 && i.red == 0; }))
        << "mark " << n << " is not green";
  EXPECT_TRUE(any(inksOf("4"), [](const Ink& i) {
    return i.red > 3 && i.green == 0;
  })) << "mark 4 is not red";
  // Not measured, or not to be judged: in their own ink.
  for (const std::string n : {"14", "17", "23", "3"}) {
    const auto inks = inksOf(n);
    ASSERT_FALSE(inks.empty()) << n;
    EXPECT_TRUE(any(
        inks, [](const Ink& i) { return i.dark > 3 && i.red + i.green == 0; }))
        << "mark " << n << " is not in its own ink";
  }
}

TEST_F(ReportCli, APdfThatCannotBeWrittenChangesNothing) {
  number();
  const std::string marked = (dir / "marked.dxf").string();
  dir.write("report.pdf", "an older report");
  // A folder in the way of the file: the report stays as it was.
  fs::create_directories(dir / "taken.pdf");
  EXPECT_EQ(run({marked, "--pdf", (dir / "taken.pdf").string()}), 2);
  EXPECT_NE(err.find("检验报告没有写成"), std::string::npos) << err;
  EXPECT_EQ(
      run({marked, "--pdf", (dir / "report.pdf").string(), "--paper", "A4"}), 0)
      << err;
  EXPECT_EQ(dir.read("report.pdf").rfind("%PDF", 0), 0u);
  EXPECT_EQ(err, "");
  // The drawing numbered, not the marked one: the report is made, and the
  // user told why its drawing shows no results.
  EXPECT_EQ(run({drawing, "--pdf", (dir / "unmarked.pdf").string()}), 0);
  EXPECT_NE(err.find("holds none of its marks"), std::string::npos) << err;
  EXPECT_EQ(run({marked, "--paper", "A4", "--fai", fai}), 2);
  EXPECT_NE(err.find("--paper is for --pdf only"), std::string::npos) << err;
}

}  // namespace

namespace {

TEST_F(ReportCli, TheWindowsReportLeavesThePanelFirstAndNamesWhatItWrote) {
  cli::PaintingApplication painting;
  cli::Session s;
  ASSERT_TRUE(s.start());
  ASSERT_TRUE(s.openDrawing(drawing, std::nullopt, ""));
  auto& f = s.main();
  s.program().run([&] { f.comSort->userClick(); });
  s.takeMessages();
  int asked = 0;
  std::string target = (dir / "r.pdf").string();
  auto ask = [&](const std::string& proposed) {
    ++asked;
    EXPECT_EQ(proposed, (dir / "part-检验报告.pdf").string());
    reports::ReportTarget t;
    t.path = target;
    t.options.paper = QPageSize::A4;
    return t;
  };
  // A box that is no number: told, and nothing asked or written.
  s.program().run([&] { f.Text7[0]->userType("abc"); });
  s.program().run([&] { reports::reportFromWindow(f, ask); });
  EXPECT_NE(s.takeMessages().find("不是有效数字"), std::string::npos);
  EXPECT_EQ(asked, 0);
  // Typed and not yet stored: the report stores it first and counts it.
  s.program().run([&] { f.Text7[0]->userType("1000"); });
  s.program().run([&] { reports::reportFromWindow(f, ask); });
  const std::string said = s.takeMessages();
  EXPECT_NE(said.find("检验报告已保存：" + target), std::string::npos) << said;
  EXPECT_NE(said.find("NG 1"), std::string::npos) << said;
  EXPECT_EQ(browse::measurementOf(s.program().ctx, 1).samples[0], 1000.0f);
  EXPECT_EQ(dir.read("r.pdf").rfind("%PDF", 0), 0u);
  // Never over the drawing or its database.
  for (const std::string& own : {drawing, db}) {
    const std::string before = dir.read(fs::path(own).filename().string());
    target = own;
    s.program().run([&] { reports::reportFromWindow(f, ask); });
    EXPECT_NE(s.takeMessages().find("不能写在图纸或它的数据库上"),
              std::string::npos);
    EXPECT_EQ(dir.read(fs::path(own).filename().string()), before);
  }
}

}  // namespace

namespace {

// With the characteristics numbered too: a frame's samples judged from 0 to
// its tolerance, a note's results as texts, a composite frame's rows by
// marks n.1 and n.2; what does not fit a row is refused before anything is
// written.
TEST_F(ReportCli, FramesAndNotesTakeTheirOwnSamples) {
  const std::string frames = (dir / "frames.dxf").string();
  fs::copy_file(fs::path(DIMMARK_FIXTURES) / "characteristics_r2010.dxf",
                frames);
  {
    std::ostringstream o, e;
    ASSERT_EQ(cli::numberCommand({frames, "--characteristics", "all",
                                  "--save-as", (dir / "m.dxf").string()},
                                 o, e),
              0)
        << e.str();
  }
  const auto csv = (dir / "s.csv").string();
  for (const auto& [text, message] :
       std::vector<std::pair<std::string, std::string>>{
           {"7,AG,0.5\n", "mark 7 is a note: its samples are 合格 or 不合格"},
           {"1,CMM,合格\n", "mark 1 takes numbers, not \"合格\""},
           {"38,CMM,0.1\n",
            "mark 38 is a composite frame: its rows are "
            "marks 38.1 and 38.2"},
           {"1.1,CMM,0.1\n", "the drawing has no mark 1.1"},
           {"38.3,CMM,0.1\n", "\"38.3\" is not a mark number"}}) {
    dir.write("s.csv", text);
    EXPECT_EQ(run({frames, "--characteristics", "all", "--fai", fai,
                   "--samples", csv}),
              2)
        << message;
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(fai)) << message;
  }
  dir.write("s.csv",
            "1,CMM,0.01,0.02\n"   // on the tolerance
            "11,CMM,0.051\n"      // just outside
            "7,AG,合格,不合格\n"  // one 不合格
            "6,AG,合格\n"
            "26,RG,0.8\n"  // a lower limit, on it
            "38.1,CMM,0.45\n"
            "38.2,CMM,0.2\n");
  ASSERT_EQ(
      run({frames, "--characteristics", "all", "--fai", fai, "--samples", csv}),
      0)
      << err;
  const auto c = cells(fai,
                       {"A11", "P11", "P21", "A16", "P16", "G17", "H17", "P17",
                        "P36", "A48", "P48", "A49", "P49"},
                       true);
  EXPECT_EQ(c.at("A11"), "number\t1.0");
  EXPECT_EQ(c.at("P11"), "text\tOK");
  EXPECT_EQ(c.at("P21"), "text\tNG");
  EXPECT_EQ(c.at("P16"), "text\tOK");
  EXPECT_EQ(c.at("G17"), "text\t合格");
  EXPECT_EQ(c.at("H17"), "text\t不合格");
  EXPECT_EQ(c.at("P17"), "text\tNG");
  EXPECT_EQ(c.at("P36"), "text\tOK");
  EXPECT_EQ(c.at("A48"), "number\t38.1");
  EXPECT_EQ(c.at("P48"), "text\tOK");
  EXPECT_EQ(c.at("A49"), "number\t38.2");
  EXPECT_EQ(c.at("P49"), "text\tNG");

  // The inspection PDF judges by the same rule, from what was stored; a
  // frame's CPK limits run from 0 to its tolerance, a lower limit's from
  // its value up.
  const std::string cpkOut = (dir / "frames cpk.xlsx").string();
  ASSERT_EQ(run({frames, "--characteristics", "all", "--pdf", pdf, "--cpk",
                 cpkOut, "--cpk-marks", "1,26,38.2"}),
            0)
      << err;
  EXPECT_NE(out.find("\"ok\":4,\"ng\":3,"), std::string::npos) << out;
  const auto k = cells(
      cpkOut, {"B8", "B11", "B12", "C8", "C11", "C12", "D8", "D11", "D12"});
  EXPECT_EQ(k.at("B8"), "number\t1.0");
  EXPECT_EQ(k.at("B11"), "number\t0.02");
  EXPECT_EQ(k.at("B12"), "number\t0.0");
  EXPECT_EQ(k.at("C8"), "number\t26.0");
  EXPECT_EQ(k.at("C11"), "none\t");
  EXPECT_EQ(k.at("C12"), "number\t0.8");
  EXPECT_EQ(k.at("D8"), "number\t38.2");
  EXPECT_EQ(k.at("D11"), "number\t0.1");

  // A note has no CPK column: said, and none is added.
  EXPECT_EQ(run({frames, "--characteristics", "all", "--fai", fai, "--cpk", cpk,
                 "--cpk-marks", "7"}),
            2);
  EXPECT_NE(err.find("技术要求只判定合格或不合格"), std::string::npos) << err;
}

}  // namespace
