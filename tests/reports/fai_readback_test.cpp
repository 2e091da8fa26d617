// The FAI report on the program's own spreadsheet host: reading a saved
// workbook back, and the road from the templates to saved files.
#include <fstream>
#include <optional>

#include "report_fixture.h"
#include "reports/xlsx/workbook.h"

using namespace report_test;

namespace {

class Readback : public EmbeddedReports {
 protected:
  // A saved FAI workbook: rows from 11 with marks in column A, codes in C
  // and samples from G; nullopt leaves a cell empty.
  struct Row {
    std::optional<double> mark;
    std::string code;
    std::vector<std::optional<double>> samples;
  };
  std::string saved(const std::vector<Row>& rows) {
    auto book = xlsx::Workbook::open(dir / "dimdata/fai.xlsx");
    auto& s = book.sheet(0);
    for (size_t i = 0; i < rows.size(); ++i) {
      const int r = static_cast<int>(i) + 11;
      if (rows[i].mark) s.setNumber(r, 1, *rows[i].mark);
      if (!rows[i].code.empty()) s.setText(r, 3, rows[i].code);
      for (size_t k = 0; k < rows[i].samples.size(); ++k)
        if (rows[i].samples[k])
          s.setNumber(r, 7 + static_cast<int>(k), *rows[i].samples[k]);
    }
    const auto path = (dir / "work/saved FAI.xlsx").string();
    book.save(path);
    return path;
  }

  void readFrom(const std::string& path) {
    f().CheFIRST->userSetValue(0);
    queue.push(forms::QueuedAnswer::file(path));
    ASSERT_TRUE(f().ComOK->userClick());
  }
};

TEST_F(Readback, SamplesAreTakenUpToTheFirstEmptyOrZeroCell) {
  writeMarks(6);
  load();
  auto& c = ctx();
  c.sampleCounts[3] = 4;  // its row has no first sample: the count stays
  const std::string path =
      saved({{1, "DC", {10.02, 10.01, std::nullopt, 9.98}},
             {2, "MIC", {1, 2, 3, 4, 5}},
             {3, "HG", {std::nullopt, 7}},
             {4, "CMM", {5.5, 0, 6}},
             {std::nullopt, "AG", {1, 1}},  // ends the reading
             {6, "PG", {3}}});
  readFrom(path);
  EXPECT_TRUE(messages().empty());
  const auto& d = desktop.dialogs().back();
  EXPECT_EQ(d.title, "OPEN FAI FILE");
  EXPECT_EQ(d.filter, "*.XLSX|*.XLSX");

  EXPECT_EQ(c.sampleCounts[1], 2);
  EXPECT_FLOAT_EQ(c.samples[1][1], 10.02f);
  EXPECT_FLOAT_EQ(c.samples[1][2], 10.01f);
  EXPECT_EQ(c.instrumentCodes[1], "DC");
  EXPECT_EQ(c.sampleCounts[2], 5);
  EXPECT_FLOAT_EQ(c.samples[2][5], 5);
  EXPECT_EQ(c.sampleCounts[3], 4);
  EXPECT_EQ(c.instrumentCodes[3], "HG");
  // A measured 0 cannot be told from an empty cell.
  EXPECT_EQ(c.sampleCounts[4], 1);
  EXPECT_FLOAT_EQ(c.samples[4][1], 5.5f);
  EXPECT_EQ(c.instrumentCodes[5], "");
  EXPECT_EQ(c.instrumentCodes[6], "");
  EXPECT_EQ(c.sampleCounts[6], 0);

  // The chosen file is the FAI workbook, beside the CPK template, shown.
  auto a = app();
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->Visible());
  EXPECT_EQ(a->workbooks().size(), 2u);
  EXPECT_EQ(a->findWorkbook(path), f().faiBook);
  EXPECT_TRUE(a->findWorkbook("cpk.xlsx"));
  EXPECT_TRUE(f().ComFresh->enabled());
  EXPECT_TRUE(f().ComCPK->enabled());
  // Nothing of the dimensions changes.
  EXPECT_EQ(c.dimRecords.at(1).value, "10.1");
}

TEST_F(Readback, NoMoreRowsAreReadThanThereArePositions) {
  writeMarks(2);
  load();
  readFrom(saved({{1, "DC", {1}}, {2, "DC", {2}}, {3, "AG", {3}}}));
  EXPECT_EQ(ctx().sampleCounts[2], 1);
  EXPECT_EQ(ctx().instrumentCodes[3], "");
  EXPECT_EQ(ctx().sampleCounts[3], 0);
}

TEST_F(Readback, ACancelledDialogOrAFileThatIsNoWorkbookChangesNothing) {
  writeMarks(2);
  load();
  f().CheFIRST->userSetValue(0);
  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::Cancel));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(f().excelApp);
  EXPECT_FALSE(f().faiBook);
  EXPECT_FALSE(f().ComFresh->enabled());
  // The instance made for the report is dropped unseen.
  ASSERT_EQ(embeddedApps.size(), 1u);
  EXPECT_TRUE(embeddedApps[0].expired());

  dir.write("work/broken.xlsx", "not a zip");
  ctx().instrumentCodes[1] = "MIC";
  queue.push(forms::QueuedAnswer::file((dir / "work/broken.xlsx").string()));
  ASSERT_TRUE(f().ComOK->userClick());
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(
      m[0].rfind("不能打开FAI文件 " + (dir / "work/broken.xlsx").string(), 0),
      0u)
      << m[0];
  EXPECT_FALSE(f().excelApp);
  EXPECT_EQ(ctx().instrumentCodes[1], "MIC");
}

TEST_F(Readback, TheFilledWorkbooksSaveAndReadBackAsTheyWereWritten) {
  writeTable({{3, "25.40", 0.1f, 0.05f, 130, 190}, {4, "8", 0.2f, 0.2f}});
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  auto& c = ctx();
  c.instrumentCodes[2] = "CMM";
  c.sampleCounts[2] = 3;
  c.samples[2] = {0, 8.1f, 7.95f, 8.05f, 0, 0};
  ASSERT_TRUE(f().ComFresh->userClick());
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_TRUE(messages().empty());

  auto a = app();
  const auto faiOut = (dir / "out/fai.xlsx").string();
  const auto cpkOut = (dir / "out/cpk.xlsx").string();
  fs::create_directories(dir / "out");
  a->saveWorkbook("fai.xlsx", faiOut);
  a->saveWorkbook("cpk.xlsx", cpkOut);
  // The templates themselves stay as they were.
  EXPECT_EQ(dir.read("dimdata/fai.xlsx"), [] {
    std::ifstream in("dimdata/fai.xlsx", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }());

  auto fai = xlsx::Workbook::open(faiOut);
  const auto& s = fai.sheet(0);
  EXPECT_EQ(s.value(11, 1), xlsx::Value(3.0));
  EXPECT_EQ(s.value(11, 2), xlsx::Value(std::string("C3")));
  EXPECT_EQ(s.value(11, 4), xlsx::Value(std::string("25.40")));
  // A single is stored as its shortest text.
  EXPECT_EQ(s.value(11, 5), xlsx::Value(0.1));
  EXPECT_EQ(s.value(12, 3), xlsx::Value(std::string("CMM")));
  EXPECT_EQ(s.value(12, 8), xlsx::Value(7.95));
  EXPECT_FALSE(s.formula(12, 16).empty());
  auto cpk = xlsx::Workbook::open(cpkOut);
  EXPECT_EQ(cpk.sheet(0).value(8, 2), xlsx::Value(3.0));
  EXPECT_EQ(cpk.sheet(0).value(11, 2), xlsx::Value(25.500000001490115));

  // And the saved FAI reads back in a later run.
  c.sampleCounts[2] = 0;
  c.instrumentCodes[2] = "";
  f().CheFIRST->userSetValue(0);
  queue.push(forms::QueuedAnswer::file(faiOut));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(c.sampleCounts[2], 3);
  EXPECT_FLOAT_EQ(c.samples[2][2], 7.95f);
  EXPECT_EQ(c.instrumentCodes[2], "CMM");
}

}  // namespace
