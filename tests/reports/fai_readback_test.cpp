// The FAI report on the program's own spreadsheet host: reading a saved
// workbook back, and the road from the templates to saved files.
#include <fstream>
#include <iostream>
#include <optional>

#include "report_fixture.h"
#include "sheethost/xlsx/workbook.h"

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

  // "确定" with the answer to the question it asks.
  void openAnswering(forms::QueuedAnswer::Type t) {
    f().Com1->userClick();
    program->form2.Option1->userClick();
    queue.push(forms::QueuedAnswer::file(drawing));
    program->form2.Command1->userClick();
    queue.push(forms::QueuedAnswer::of(t));
    f().Com2->userClick();
  }

  void readFrom(const std::string& path) {
    f().CheFIRST->userSetValue(0);
    queue.push(forms::QueuedAnswer::file(path));
    ASSERT_TRUE(f().ComOK->userClick());
  }
};

TEST_F(Readback, EverySampleCellIsTakenAndAnEmptyOneIsNotMeasured) {
  writeMarks(6);
  load();
  auto& c = ctx();
  // Measured before: its row in the workbook is empty, so it stays.
  c.sampleCounts[3] = 1;
  c.samples[3][1] = 4.5f;
  c.instrumentCodes[3] = "TG";
  const std::string path =
      saved({{1, "DC", {10.02, 10.01, std::nullopt, 9.98}},
             {2, "MIC", {1, 2, 3, 4, 5}},
             {3, "HG", {}},
             {4, "CMM", {5.5, 0, 6}},
             {std::nullopt, "AG", {1, 1}},  // ends the reading
             {6, "PG", {3}}});
  readFrom(path);
  EXPECT_EQ(messages(), std::vector<std::string>{"从 " + path +
                                                 " 读入了 3 个尺寸的测量值。"});
  const auto& d = desktop.dialogs().back();
  EXPECT_EQ(d.title, "OPEN FAI FILE");
  EXPECT_EQ(d.filter, "*.XLSX|*.XLSX");

  EXPECT_EQ(c.sampleCounts[1], 4);
  EXPECT_EQ(c.samples[1][1], 10.02f);
  EXPECT_EQ(c.samples[1][2], 10.01f);
  EXPECT_EQ(c.samples[1][3], std::nullopt);
  EXPECT_EQ(c.samples[1][4], 9.98f);
  EXPECT_EQ(c.instrumentCodes[1], "DC");
  EXPECT_EQ(c.sampleCounts[2], 5);
  EXPECT_EQ(c.samples[2][5], 5.0f);
  EXPECT_EQ(c.sampleCounts[3], 1);
  EXPECT_EQ(c.samples[3][1], 4.5f);
  EXPECT_EQ(c.instrumentCodes[3], "TG");
  // A measured 0 is a sample like any other.
  EXPECT_EQ(c.sampleCounts[4], 3);
  EXPECT_EQ(c.samples[4][2], 0.0f);
  EXPECT_EQ(c.instrumentCodes[6], "");
  EXPECT_EQ(c.sampleCounts[6], 0);

  // The panel shows the current dimension's samples read back, so a
  // refresh at once writes them as they were read.
  EXPECT_EQ(f().Text7[0]->text(), "10.02");
  EXPECT_EQ(f().Text7[2]->text(), "");
  EXPECT_EQ(f().Text7[3]->text(), "9.98");
  EXPECT_EQ(f().Combo3->listIndex(), 3);
  EXPECT_EQ(f().Option3[0]->value(), 1);
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_TRUE(messages().empty());
  auto sheet = f().faiBook->ActiveSheet();
  EXPECT_EQ(sheet->GetCell(11, 3), sheethost::CellValue(std::string("DC")));
  EXPECT_EQ(sheet->GetCell(11, 7), sheethost::CellValue(10.02));
  EXPECT_EQ(sheet->GetCell(11, 9), sheethost::CellValue());
  EXPECT_EQ(sheet->GetCell(11, 10), sheethost::CellValue(9.98));
  EXPECT_EQ(sheet->GetCell(14, 8), sheethost::CellValue(0.0));

  // What was read is the drawing's too: its database keeps it.
  dimtable::Connection db;
  db.Open(dbPath);
  auto stored = db.LoadMeasurements();
  EXPECT_EQ(stored.size(), 3u);
  EXPECT_EQ(stored.at(2).count, 5);
  EXPECT_EQ(stored.at(4).samples[1], 0.0f);
  EXPECT_FALSE(stored.count(3));  // set in memory only by this test

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

TEST_F(Readback, ARowHoldingWhatIsNoMeasurementGivesNothingAndIsNamed) {
  writeMarks(5);
  load();
  auto book = xlsx::Workbook::open(dir / "dimdata/fai.xlsx");
  auto& s = book.sheet(0);
  for (int r = 11; r <= 15; ++r) s.setNumber(r, 1, r - 10.0);
  s.setText(11, 3, "DC");
  s.setText(11, 7, "12abc");
  s.setText(12, 3, "TRUE");
  s.setNumber(12, 7, 3.0);
  s.setText(13, 3, "CMM");
  s.setText(13, 7, " 7.25 ");  // a text that is a number as a whole
  s.setNumber(13, 8, 1e40);
  s.setText(14, 3, "HG");
  s.setNumber(14, 7, 2.5);
  s.setText(15, 3, "MIC");
  s.setText(15, 7, "1 2 3");
  const auto path = (dir / "work/odd.xlsx").string();
  book.save(path);

  readFrom(path);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("读入了 1 个尺寸"), std::string::npos) << m[0];
  for (const char* named :
       {"G11：“12abc”不是有效数字", "C12：“TRUE”不是量具代码",
        "H13：“1E+40”超出范围", "G15：“1 2 3”不是有效数字"})
    EXPECT_NE(m[0].find(named), std::string::npos) << named << "\n" << m[0];
  auto& c = ctx();
  EXPECT_EQ(c.sampleCounts[4], 1);
  EXPECT_EQ(c.samples[4][1], 2.5f);
  for (int p : {1, 2, 3, 5}) {
    EXPECT_EQ(c.sampleCounts[static_cast<size_t>(p)], 0) << p;
    EXPECT_EQ(c.instrumentCodes[static_cast<size_t>(p)], "") << p;
  }
}

TEST_F(Readback, AWorkbookWithNothingToReadChangesNothing) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());  // a first report, shown
  auto shown = f().faiBook;
  ctx().sampleCounts[2] = 1;
  ctx().samples[2][1] = 1.5f;
  ctx().instrumentCodes[2] = "DC";
  // Saved right after it was made: marks, no samples.
  const auto empty = (dir / "work/empty.xlsx").string();
  app()->saveWorkbook("fai.xlsx", empty);
  readFrom(empty);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("没有读到测量值：" + empty, 0), 0u) << m[0];
  EXPECT_EQ(f().faiBook, shown);
  EXPECT_EQ(ctx().sampleCounts[2], 1);
  EXPECT_EQ(ctx().instrumentCodes[2], "DC");

  // The CPK template picked by mistake: no marks at all.
  readFrom((dir / "dimdata/cpk.xlsx").string());
  m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("这不是 FAI 报表"), std::string::npos) << m[0];
  EXPECT_EQ(f().faiBook, shown);
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
  // The dialog proposed the drawing's FAI workbook, and the drawing keeps
  // its own name for the next opening.
  ASSERT_FALSE(desktop.dialogs().empty());
  EXPECT_EQ(desktop.dialogs().back().fileName,
            (dir / "work/part7-FAI.xlsx").string());
  EXPECT_EQ(f().Cdlg1->FileName, drawing);
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

TEST_F(Readback, UnsavedWorkbooksAreAskedAboutBeforeAnotherDrawing) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  auto shown = app();
  ASSERT_TRUE(shown && shown->Visible());
  const std::string first = drawing;
  drawing = (dir / "work/part8.dxf").string();
  dir.write("work/part8.dxf", "0\nEOF\n");
  host->addDocument(drawing);

  // 取消: nothing changes, the drawing before stays in hand.
  openAnswering(forms::QueuedAnswer::Type::Cancel);
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].buttons, forms::Buttons::SaveDiscardCancel);
  // The FAI workbook was filled; the CPK one, untouched, is not named.
  EXPECT_NE(m[0].text.find("fai.xlsx（报表）"), std::string::npos) << m[0].text;
  EXPECT_EQ(m[0].text.find("cpk.xlsx"), std::string::npos) << m[0].text;
  EXPECT_EQ(m[0].text.find("（图纸）"), std::string::npos) << m[0].text;
  EXPECT_TRUE(shown->Visible());
  EXPECT_EQ(f().excelApp, shown);
  EXPECT_EQ(f().Text1->text(), first);
  EXPECT_EQ(f().Combo1->listCount(), 2);

  // 保存 of a workbook never saved, without a window to ask where: nothing
  // written, nothing opened.
  openAnswering(forms::QueuedAnswer::Type::Save);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(f().excelApp, shown);
  EXPECT_EQ(f().Text1->text(), first);

  // 不保存: the workbooks close with the drawing before.
  openAnswering(forms::QueuedAnswer::Type::Discard);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_FALSE(shown->Visible());
  EXPECT_FALSE(f().excelApp);
  EXPECT_EQ(f().Text1->text(), drawing);
}

TEST_F(Readback, TheFilledWorkbooksSaveAndReadBackAsTheyWereWritten) {
  writeTable({{3, "25.40", 0.1f, 0.05f, 130, 190}, {4, "8", 0.2f, 0.2f}});
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  auto& c = ctx();
  c.instrumentCodes[2] = "CMM";
  c.sampleCounts[2] = 3;
  c.samples[2] = {std::nullopt, 8.1f, 7.95f, 8.05f, std::nullopt, std::nullopt};
  ASSERT_TRUE(f().ComFresh->userClick());
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_TRUE(messages().empty());
  // Made for this drawing: Save As proposes names beside it.
  EXPECT_EQ(app()->findWorkbook("fai.xlsx")->suggestedPath(),
            (dir / "work/part7-FAI.xlsx").string());
  EXPECT_EQ(app()->findWorkbook("cpk.xlsx")->suggestedPath(),
            (dir / "work/part7-CPK.xlsx").string());

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
  // The limits carry no binary noise of the single deviations.
  EXPECT_EQ(cpk.sheet(0).value(11, 2), xlsx::Value(25.5));
  EXPECT_EQ(cpk.sheet(0).value(12, 2), xlsx::Value(25.35));

  // And the saved FAI reads back in a later run.
  c.sampleCounts[2] = 0;
  c.instrumentCodes[2] = "";
  f().CheFIRST->userSetValue(0);
  queue.push(forms::QueuedAnswer::file(faiOut));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(c.sampleCounts[2], 3);
  EXPECT_EQ(c.samples[2][2], 7.95f);
  EXPECT_EQ(c.samples[2][4], std::nullopt);
  EXPECT_EQ(c.instrumentCodes[2], "CMM");
}

}  // namespace

namespace {

// Workbooks that once broke the read-back: each gives one message and
// changes nothing.
TEST_F(Readback, WorkbooksThatBrokeTheReaderChangeNothing) {
  writeMarks(12);
  load();
  auto& c = ctx();
  c.sampleCounts[1] = 1;
  c.samples[1][1] = 7.5f;
  c.instrumentCodes[1] = "HG";
  const auto countsBefore = c.sampleCounts;
  const auto codesBefore = c.instrumentCodes;
  for (const char* name :
       {"F1_300_sheets_one_xml.xlsx", "F3_row_number_wraps.xlsx",
        "F4_garbage_taken.xlsx", "F7_nothing_read.xlsx"}) {
    SCOPED_TRACE(name);
    const auto path = std::string(DIMMARK_XLSX_FIXTURES) + "/" + name;
    readFrom(path);
    auto m = messages();
    ASSERT_EQ(m.size(), 1u);
    // The file is named once, and the reason is in Chinese.
    EXPECT_NE(m[0].find(path), std::string::npos) << m[0];
    EXPECT_EQ(m[0].find(path), m[0].rfind(path)) << m[0];
    EXPECT_EQ(m[0].find("cannot"), std::string::npos) << m[0];
    EXPECT_EQ(c.sampleCounts, countsBefore);
    EXPECT_EQ(c.instrumentCodes, codesBefore);
    EXPECT_EQ(c.samples[1][1], 7.5f);
    EXPECT_FALSE(f().faiBook);
    EXPECT_FALSE(f().ComFresh->enabled());
    std::cerr << name << ": " << m[0] << "\n";
  }
}

}  // namespace

namespace {

// A note's row gives back its results as typed, 合格 or 不合格, and no
// number; anything else there is named and taken for nothing.
TEST_F(Readback, ANotesResultsComeBackAsTyped) {
  writeTable({{1, "10.1", 0.1f, 0.05f, 10, 20},
              {2, "1. 去毛刺", 0, 0, 20, 20, "技术要求"},
              {3, "2. 表面发黑", 0, 0, 30, 20, "技术要求"}});
  load();
  auto book = xlsx::Workbook::open(dir / "dimdata/fai.xlsx");
  auto& s = book.sheet(0);
  for (int r = 11; r <= 13; ++r) s.setNumber(r, 1, r - 10.0);
  s.setNumber(11, 7, 10.1);
  s.setText(12, 3, "AG");
  s.setText(12, 7, "合格");
  s.setText(12, 8, "不合格");
  s.setText(13, 7, "OK");
  const auto path = (dir / "work/notes.xlsx").string();
  book.save(path);

  readFrom(path);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("G13：“OK”不是“合格”或“不合格”"), std::string::npos)
      << m[0];
  auto& c = ctx();
  EXPECT_EQ(c.sampleCounts[1], 1);
  EXPECT_EQ(c.samples[1][1], 10.1f);
  EXPECT_EQ(c.sampleCounts[2], 2);
  EXPECT_EQ(c.passed[2][1], std::optional<bool>(true));
  EXPECT_EQ(c.passed[2][2], std::optional<bool>(false));
  EXPECT_FALSE(c.samples[2][1]);
  EXPECT_FALSE(c.samples[2][2]);
  EXPECT_EQ(c.instrumentCodes[2], "AG");
  EXPECT_EQ(c.sampleCounts[3], 0);
  EXPECT_FALSE(c.passed[3][1]);
}

}  // namespace
