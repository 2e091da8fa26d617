// "已经标号" for a known drawing, and the FAI and CPK reports on the
// scripted spreadsheet host.
#include "reports/fai.h"

#include "report_fixture.h"

using namespace report_test;
using sheethost::CellValue;

namespace {

const std::vector<forms::Control*> markingMenu(model::Form1& f) {
  return {f.mnuAutomark, f.mnuPartmark, f.mnuFreemark, f.mnuHadmark,
          f.mnuUndo,     f.mnuScalemax, f.mnuScalemin, f.mnuMovemark,
          f.mnuColor,    f.mnuLayout};
}

CellValue num(double v) { return v; }
CellValue single(float v) { return v; }
CellValue text(const std::string& v) { return v; }

class Fai : public Reports {
 protected:
  std::string faiPath() { return (dir / "dimdata/fai.xlsx").string(); }
  std::string cpkPath() { return (dir / "dimdata/cpk.xlsx").string(); }

  fakes::FakeWorksheet& sheetOf(size_t instance, const std::string& path) {
    auto& app = *fakeApps.at(instance);
    return *app.books.at(path)->sheets.at(0);
  }
  fakes::FakeWorksheet& fai(size_t instance = 0) {
    return sheetOf(instance, faiPath());
  }
  fakes::FakeWorksheet& cpk(size_t instance = 0) {
    return sheetOf(instance, cpkPath());
  }
  CellValue cell(fakes::FakeWorksheet& s, int r, int c) {
    return s.GetCell(r, c);
  }
  bool has(fakes::FakeWorksheet& s, int r, int c) {
    return s.cells.count({r, c}) != 0;
  }
};

TEST_F(Fai, AKnownDrawingIsLoadedFromItsTable) {
  writeTable({{5, "12.50", 0.1f, 0.05f, 100, 200, "直径尺寸", 7},
              {6, "R3", 0.2f, 0, 30, 40, "半径尺寸", 9},
              {9, "45", 1, 1, 1, 2, "角度尺寸", 11}});
  for (forms::Control* c : markingMenu(f())) ASSERT_TRUE(c->enabled());
  const int entities = doc->modelSpace.Count();
  load();
  auto& c = ctx();
  EXPECT_EQ(c.dimCount, 3);
  const auto& d = c.dimRecords.at(1);
  EXPECT_EQ(d.value, "12.50");
  EXPECT_EQ(d.type, "直径尺寸");
  EXPECT_EQ(d.entityIndex, 7);
  EXPECT_FLOAT_EQ(d.up, 0.1f);
  EXPECT_FLOAT_EQ(d.low, 0.05f);
  EXPECT_FLOAT_EQ(d.x, 100);
  EXPECT_FLOAT_EQ(d.y, 200);
  EXPECT_EQ(d.check, 0);
  EXPECT_EQ(c.dimRecords.at(3).type, "角度尺寸");
  EXPECT_EQ(f().Combo1->list(), (std::vector<std::string>{
                                    "5------12.50", "6------R3", "9------45"}));
  EXPECT_EQ(f().Combo1->listIndex(), 0);
  EXPECT_EQ(f().Combo3->listIndex(), 1);
  EXPECT_EQ(f().currentPosition, 1);
  EXPECT_EQ(f().Text3->text(), "直径尺寸");
  EXPECT_EQ(f().Text4->text(), "12.50");
  EXPECT_EQ(f().Text5->text(), "0.1");
  EXPECT_EQ(f().Text6->text(), "0.05");
  EXPECT_TRUE(f().FrmDimen->enabled());
  EXPECT_TRUE(f().FrmInput->enabled());
  EXPECT_TRUE(f().ComReview->enabled());
  for (forms::Control* m : markingMenu(f())) EXPECT_FALSE(m->enabled());
  EXPECT_EQ(f().height(), 350 + 615 + 735 + 735 + 4935);
  ASSERT_TRUE(f().dimRs);
  // Nothing was numbered or drawn again.
  EXPECT_EQ(doc->modelSpace.Count(), entities);
}

TEST_F(Fai, AKnownDrawingLargerThanThePlaceholdersLoadsWhole) {
  writeMarks(1200);
  load();
  EXPECT_EQ(ctx().dimCount, 1200);
  EXPECT_EQ(f().Combo1->listCount(), 1200);
  EXPECT_EQ(f().Combo1->list().back(), "1200------10.1200");
  EXPECT_GE(ctx().sampleCounts.size(), 1201u);
  EXPECT_GE(ctx().instrumentCodes.size(), 1201u);
  EXPECT_EQ(ctx().dimRecords.at(1200).value, "10.1200");
}

TEST_F(Fai, ANewDrawingAsksHowItsMarksAreToldApart) {
  // No table yet, so one is made; then that table, still without rows (no
  // numbering was kept), which counts as none: new both times.
  for (int round = 0; round < 2; ++round) {
    open();
    ASSERT_TRUE(f().newDatabase) << round;
    ASSERT_TRUE(fs::exists(dbPath));
    ASSERT_TRUE(f().ComHadmark->userClick());
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(program->markfrm.visible());
    EXPECT_EQ(f().Combo1->listCount(), 0);
    EXPECT_FALSE(f().FrmDimen->enabled());
    // Adopted marks have no entities for the marking menu to edit.
    for (forms::Control* c : markingMenu(f())) EXPECT_FALSE(c->enabled());
    program->markfrm.hide();
  }
}

TEST_F(Fai, FirstTimeModeWritesOneRowPerListEntry) {
  writeMarks(12);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(fakeApps.size(), 1u);
  EXPECT_EQ(fakeApps[0]->opened,
            (std::vector<std::string>{cpkPath(), faiPath()}));
  EXPECT_TRUE(fakeApps[0]->visible);
  auto& s = fai();
  for (int p = 1; p <= 12; ++p) {
    const int r = p + 10;
    EXPECT_EQ(cell(s, r, 1), num(p));
    // x = 10p over 400 units in eight columns, y = 20 in the bottom row.
    EXPECT_EQ(cell(s, r, 2), text(p < 5 ? "A1" : p < 10 ? "A2" : "A3"));
    EXPECT_EQ(cell(s, r, 4), text("10." + std::to_string(p)));
    EXPECT_EQ(cell(s, r, 5), single(0.1f));
    EXPECT_EQ(cell(s, r, 6), single(0.05f));
    EXPECT_FALSE(has(s, r, 3));
    for (int c = 7; c <= 11; ++c) EXPECT_FALSE(has(s, r, c));
  }
  EXPECT_EQ(s.cells.size(), 12u * 5);
  EXPECT_TRUE(cpk().cells.empty());
  for (forms::Control* c : {f().ComFresh, f().ComCPK, f().mnuFresh, f().mnuCPK})
    EXPECT_TRUE(c->enabled());
  EXPECT_EQ(f().excelApp, fakeApps[0]);
}

TEST_F(Fai, TheZoneFollowsTheGridDefinedBeforeTheReport) {
  writeTable({{1, "5", 0, 0, 130, 190}, {2, "6", 0, 0, 10, 10}});
  load();
  f().ComLdefine->userClick();
  program->frmlocation.txtLtor->userType("H-A");
  program->frmlocation.ComOk->userClick();
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(cell(fai(), 11, 2), text("CF"));
  EXPECT_EQ(cell(fai(), 12, 2), text("AH"));
}

TEST_F(Fai, AMissingTemplateEndsTheReportAndKeepsTheEarlierOne) {
  writeMarks(2);
  load();
  fs::remove(dir / "dimdata/fai.xlsx");
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(messages(), std::vector<std::string>{"没有发现FAI.XLS!"});
  ASSERT_EQ(fakeApps.size(), 1u);
  EXPECT_EQ(fakeApps[0]->opened, std::vector<std::string>{cpkPath()});
  EXPECT_FALSE(fakeApps[0]->visible);
  EXPECT_FALSE(f().excelApp);
  EXPECT_FALSE(f().ComFresh->enabled());
  EXPECT_FALSE(f().ComCPK->enabled());

  fs::remove(dir / "dimdata/cpk.xlsx");
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(messages(), std::vector<std::string>{"没有发现CPK.XLSX!"});
  EXPECT_TRUE(fakeApps.back()->opened.empty());
  EXPECT_FALSE(f().excelApp);
}

TEST_F(Fai, AnEarlyEndLeavesTheButtonsWritingIntoTheReportInHand) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  f().currentPosition = 2;
  ASSERT_TRUE(f().ComCPK->userClick());
  // A second report whose template is gone, then one whose dialog is
  // cancelled: the CPK columns keep going into the first instance.
  fs::rename(dir / "dimdata/fai.xlsx", dir / "fai.keep");
  ASSERT_TRUE(f().ComOK->userClick());
  fs::rename(dir / "fai.keep", dir / "dimdata/fai.xlsx");
  f().CheFIRST->userSetValue(0);
  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::Cancel));
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_EQ(fakeApps.size(), 3u);
  EXPECT_EQ(f().excelApp, fakeApps[0]);
  f().currentPosition = 3;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(cell(cpk(0), 8, 2), num(2));
  EXPECT_EQ(cell(cpk(0), 8, 3), num(3));
  EXPECT_TRUE(fakeApps[1]->books.at(cpkPath())->sheets[0]->cells.empty());
  EXPECT_EQ(fakeApps[2]->opened, std::vector<std::string>{cpkPath()});
  EXPECT_FALSE(fakeApps[2]->visible);
}

TEST_F(Fai, ClosingTheHostDisablesTheRefreshOnly) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_TRUE(fakeApps[0]->closedHandler);
  fakeApps[0]->visible = false;
  fakeApps[0]->closedHandler();
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "System hint!");
  EXPECT_EQ(m[0].title, "Exit Excel!");
  EXPECT_FALSE(f().ComFresh->enabled());
  EXPECT_TRUE(f().ComCPK->enabled());
  EXPECT_TRUE(f().mnuFresh->enabled());

  // The menu still reaches the refresh, which writes nowhere unseen.
  ctx().instrumentCodes[2] = "HG";
  ASSERT_TRUE(f().mnuFresh->userClick());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"FAI报表已经关闭，请重新创建 FAI！"});
  EXPECT_FALSE(has(fai(), 12, 3));
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"CPK报表已经关闭，请重新创建 FAI！"});
  EXPECT_TRUE(cpk().cells.empty());
  EXPECT_EQ(f().cpkColumn, 2);
}

TEST_F(Fai, OnlyTheCurrentInstanceReportsItsClosing) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_EQ(fakeApps.size(), 2u);
  EXPECT_FALSE(fakeApps[0]->closedHandler);
  EXPECT_TRUE(fakeApps[1]->closedHandler);
  EXPECT_EQ(f().excelApp, fakeApps[1]);
}

TEST_F(Fai, TheRefreshWritesExactlyTheStoredSamplesOfEveryPosition) {
  writeMarks(4);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  auto& c = ctx();
  c.instrumentCodes[2] = "MIC";
  c.sampleCounts[2] = 5;
  c.samples[2] = {std::nullopt, 10.01f, 10.02f, 10.03f, 10.04f, 10.05f};
  c.instrumentCodes[3] = "CMM";
  c.sampleCounts[3] = 3;
  c.samples[3] = {std::nullopt, 9.5f, std::nullopt, 0.0f, 7.0f, 7.0f};
  ASSERT_TRUE(f().ComFresh->userClick());
  auto& s = fai();
  EXPECT_EQ(cell(s, 12, 3), text("MIC"));
  EXPECT_EQ(cell(s, 12, 7), single(10.01f));
  EXPECT_EQ(cell(s, 12, 11), single(10.05f));
  EXPECT_EQ(cell(s, 13, 3), text("CMM"));
  EXPECT_EQ(cell(s, 13, 7), single(9.5f));
  // A sample not measured is an empty cell, never 0; a measured 0 is 0;
  // nothing beyond the count is written.
  EXPECT_FALSE(has(s, 13, 8));
  EXPECT_EQ(cell(s, 13, 9), single(0.0f));
  EXPECT_FALSE(has(s, 13, 10));
  // Nothing measured: an empty code, no samples.
  EXPECT_EQ(cell(s, 14, 3), text(""));
  EXPECT_FALSE(has(s, 14, 7));

  // A lower count leaves no value of the earlier refresh behind.
  c.sampleCounts[2] = 3;
  c.samples[2] = {std::nullopt, 1.0f, 2.0f, 3.0f, std::nullopt, std::nullopt};
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_EQ(cell(s, 12, 9), single(3));
  EXPECT_FALSE(has(s, 12, 10));
  EXPECT_FALSE(has(s, 12, 11));

  // Positions without an entry in the list still get their code cell.
  c.dimCount = 6;
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_EQ(cell(s, 16, 3), text(""));
  EXPECT_FALSE(has(s, 17, 3));
  EXPECT_TRUE(messages().empty());
}

TEST_F(Fai, CpkColumnsRunFromBToPAcrossReports) {
  std::vector<TableRow> rows{{7, "25.40", 0.1f, 0.05f, 130, 190},
                             {8, "M6", 0.2f, 0.1f}};
  for (int m = 9; m <= 22; ++m)
    rows.push_back({m, "M6", 0.2f, 0.1f, static_cast<float>(m * 10), 50});
  writeTable(rows);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComCPK->userClick());
  auto& s = cpk();
  EXPECT_EQ(cell(s, 8, 2), num(7));
  EXPECT_EQ(cell(s, 9, 2), text("C3"));
  EXPECT_EQ(cell(s, 10, 2), text("25.40"));
  // The deviations count as their singles show them: no binary noise.
  EXPECT_EQ(cell(s, 11, 2), num(25.5));
  EXPECT_EQ(cell(s, 12, 2), num(25.35));
  EXPECT_EQ(s.cells.size(), 5u);

  // A value without a leading number: limits around 0.
  f().currentPosition = 2;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(cell(s, 10, 3), text("M6"));
  EXPECT_EQ(cell(s, 11, 3), num(0.2));
  EXPECT_EQ(cell(s, 12, 3), num(-0.1));

  // A new report in the same run continues the columns in its own sheet.
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComOK->userClick());
  for (int p = 3; p <= 15; ++p) {
    f().currentPosition = p;
    ASSERT_TRUE(f().ComCPK->userClick());
  }
  auto& next = cpk(1);
  EXPECT_FALSE(has(next, 8, 3));
  EXPECT_EQ(cell(next, 8, 4), num(9));
  EXPECT_EQ(cell(next, 8, 16), num(21));
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(f().cpkColumn, 17);

  // The sixteenth dimension is refused and nothing is written.
  const auto before = next.cells;
  f().currentPosition = 16;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"最多可以创建15个尺寸值的CPK，你可以将该"
                                     "文件存盘后，下次在建CPK！"});
  EXPECT_EQ(next.cells, before);
  EXPECT_EQ(f().cpkColumn, 17);
}

TEST_F(Fai, CpkTakesEachDimensionOnce) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  f().currentPosition = 2;
  ASSERT_TRUE(f().ComCPK->userClick());
  const auto once = cpk().cells;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(messages(),
            std::vector<std::string>{
                "标号 2 的尺寸已在 CPK 报表的 B 列中，没有再添加。"});
  EXPECT_EQ(cpk().cells, once);
  EXPECT_EQ(f().cpkColumn, 3);
  f().currentPosition = 3;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(cell(cpk(), 8, 3), num(3));
  EXPECT_TRUE(messages().empty());
}

TEST_F(Fai, ANewReportCarriesWhatWasMeasured) {
  writeMarks(3);
  {
    // Measured in an earlier run: kept in the drawing's database.
    dimtable::Connection c;
    c.Open(dbPath);
    dimtable::Measurement m;
    m.count = 3;
    m.samples = {10.21f, std::nullopt, 10.23f, std::nullopt, std::nullopt};
    m.instrument = "MIC";
    c.SaveMeasurement(2, m);
  }
  load();
  // Typed for the dimension on show, not yet left.
  ASSERT_TRUE(f().Text7[0]->userType("10.1"));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_TRUE(messages().empty());
  auto& s = fai();
  EXPECT_EQ(cell(s, 11, 7), single(10.1f));
  EXPECT_EQ(cell(s, 11, 3), text("DC"));
  EXPECT_EQ(cell(s, 12, 3), text("MIC"));
  EXPECT_EQ(cell(s, 12, 7), single(10.21f));
  EXPECT_FALSE(has(s, 12, 8));  // not measured: empty, never 0
  EXPECT_EQ(cell(s, 12, 9), single(10.23f));
  // Nothing measured: nothing more than the row.
  EXPECT_FALSE(has(s, 13, 3));
  EXPECT_FALSE(has(s, 13, 7));
  // A box that is no number stops the report before anything opens.
  ASSERT_TRUE(f().Text7[1]->userType("abc"));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(messages(), std::vector<std::string>{"样本2：“abc”不是有效数字"});
  EXPECT_EQ(fakeApps.size(), 1u);
}

TEST_F(Fai, AnotherDrawingShowsNothingOfTheOneBefore) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  f().currentPosition = 1;
  ASSERT_TRUE(f().ComCPK->userClick());
  f().Text2->userType("10.2");
  f().CSearch3->userSelect(2);
  ASSERT_TRUE(f().Option3[5]->userClick());
  auto shownApp = fakeApps[0];
  int closedTold = 0;
  shownApp->closedHandler = [&] { ++closedTold; };

  // Another drawing: the workbooks go (without "Exit Excel!"), and with
  // them what was chosen for the drawing before.
  const std::string second = (dir / "work/part8.dxf").string();
  dir.write("work/part8.dxf", "0\nEOF\n");
  host->addDocument(second);
  drawing = second;
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(shownApp->visible);
  EXPECT_EQ(closedTold, 0);
  EXPECT_FALSE(f().excelApp);
  EXPECT_FALSE(f().faiBook);
  for (forms::Control* c : {f().ComFresh, f().ComCPK, f().mnuFresh, f().mnuCPK})
    EXPECT_FALSE(c->enabled());
  EXPECT_EQ(f().Text2->text(), "");
  EXPECT_EQ(f().CSearch3->listIndex(), 0);
  EXPECT_EQ(f().Option3[0]->value(), 1);
  EXPECT_EQ(f().Combo1->listCount(), 0);
  EXPECT_FALSE(f().FrmDimen->enabled());
  // Its CPK columns start at B again.
  EXPECT_EQ(f().cpkColumn, 2);
}

TEST_F(Fai, CpkWithoutACurrentDimensionChangesNothing) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  for (int p : {0, 3}) {
    f().currentPosition = p;
    ASSERT_TRUE(f().ComCPK->userClick());
    EXPECT_EQ(messages(), std::vector<std::string>{"请先选择一个尺寸！"});
  }
  EXPECT_TRUE(cpk().cells.empty());
  EXPECT_EQ(f().cpkColumn, 2);
}

}  // namespace

namespace {

TEST_F(Fai, TheRefreshSavesThePanelOfTheCurrentDimensionFirst) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_TRUE(f().Combo1->userSelect(1));
  ASSERT_TRUE(f().Combo3->userSelect(2));
  ASSERT_TRUE(f().Text7[0]->userType("1.5"));
  ASSERT_TRUE(f().Text7[1]->userType(""));
  ASSERT_TRUE(f().Text7[2]->userType("2.5"));
  ASSERT_TRUE(f().Option3[4]->userClick());
  // Still on the dimension: only the refresh's leave step saves it.
  ASSERT_TRUE(f().ComFresh->userClick());
  auto& s = fai();
  EXPECT_EQ(cell(s, 12, 3), text("PG"));
  EXPECT_EQ(cell(s, 12, 7), single(1.5f));
  EXPECT_FALSE(has(s, 12, 8));
  EXPECT_EQ(cell(s, 12, 9), single(2.5f));
  EXPECT_FALSE(has(s, 12, 10));
  EXPECT_EQ(ctx().sampleCounts[2], 3);

  // A box that is no number stops the refresh before anything is written.
  ASSERT_TRUE(f().Text7[1]->userType("2.5x"));
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_EQ(messages(), std::vector<std::string>{"样本2：“2.5x”不是有效数字"});
  EXPECT_FALSE(has(s, 12, 8));
  EXPECT_EQ(ctx().samples[2][2], std::nullopt);
}

}  // namespace
