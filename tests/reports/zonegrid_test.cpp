// The zone grid window and the zone label of a point.
#include "marking/zonegrid.h"
#include "reports/fai.h"

#include "report_fixture.h"

using namespace report_test;

namespace {

class ZoneGrid : public Reports {
 protected:
  cadhost::Point min{0, 0, 0};
  cadhost::Point max{400, 300, 0};

  std::string label(float x, float y) {
    const auto& c = ctx();
    return marking::zoneLabel(
        c, min, marking::zoneSize(min[0], max[0], c.zoneColumnCount),
        marking::zoneSize(min[1], max[1], c.zoneRowCount), x, y);
  }

  marking::Frmlocation& w() { return program->frmlocation; }

  // Types both boxes of the shown window and confirms.
  void define(const std::string& columns, const std::string& rows) {
    f().ComLdefine->setEnabled(true);
    f().FrmSort->setEnabled(true);
    ASSERT_TRUE(f().ComLdefine->userClick());
    ASSERT_TRUE(w().txtLtor->userType(columns));
    ASSERT_TRUE(w().txtLtou->userType(rows));
    ASSERT_TRUE(w().ComOk->userClick());
  }

  std::tuple<std::string, std::string, int, std::string, std::string, int>
  grid() {
    const auto& c = ctx();
    return {c.zoneColumnFirst, c.zoneColumnLast, c.zoneColumnCount,
            c.zoneRowFirst,    c.zoneRowLast,    c.zoneRowCount};
  }
};

TEST_F(ZoneGrid, DefaultGridLabelsRowFirstAndOverflowsPastTheLastEdge) {
  EXPECT_EQ(label(130, 190), "C3");
  EXPECT_EQ(label(0, 0), "A1");
  EXPECT_EQ(label(399, 299), "D8");
  // Exactly on the right edge: the character after the last label.
  EXPECT_EQ(label(400, 150), "C9");
  EXPECT_EQ(label(200, 300), "E5");
}

TEST_F(ZoneGrid, OffsetExtentsAndAFourByThreeGrid) {
  define("1-4", "A-C");
  EXPECT_EQ(grid(), std::make_tuple(std::string("1"), std::string("4"), 4,
                                    std::string("A"), std::string("C"), 3));
  min = {-100, 50, 0};
  max = {300, 350, 0};
  // The lower left twelfth.
  EXPECT_EQ(label(-60, 80), "A1");
  // A little to the right of three quarters of the width, top row.
  EXPECT_EQ(label(201, 340), "C4");
}

TEST_F(ZoneGrid, LabelsRunDownwardsWhenTheyAreGivenDownwards) {
  define("H-A", "D-A");
  EXPECT_EQ(ctx().zoneColumnCount, -8);
  EXPECT_EQ(ctx().zoneRowCount, -4);
  EXPECT_EQ(label(10, 10), "DH");
  EXPECT_EQ(label(390, 290), "AA");
  EXPECT_EQ(label(130, 190), "BF");
}

TEST_F(ZoneGrid, OnlyTheFirstAndLastCharactersCount) {
  for (const char* text : {"1-8", "18", "1 to 8"}) {
    define(text, "A-D");
    EXPECT_EQ(grid(), std::make_tuple(std::string("1"), std::string("8"), 8,
                                      std::string("A"), std::string("D"), 4))
        << text;
  }
  // The same label twice counts -1, as a downward run of one.
  define("5-5", "A-D");
  EXPECT_EQ(ctx().zoneColumnCount, -1);
  EXPECT_EQ(label(10, 10), "A5");
}

TEST_F(ZoneGrid, ChineseLabelsAreWholeCharacters) {
  define("一-四", "甲-丁");
  EXPECT_EQ(ctx().zoneColumnFirst, "一");
  EXPECT_EQ(ctx().zoneColumnLast, "四");
  EXPECT_EQ(ctx().zoneColumnCount, 0x56DB - 0x4E00 + 1);
  // 甲 (U+7532) lies above 丁 (U+4E01): a downward run.
  EXPECT_LT(ctx().zoneRowCount, 0);
  EXPECT_EQ(label(0, 0), "甲一");
}

TEST_F(ZoneGrid, PointsWithoutALabelCharacterShowAQuestionMark) {
  // Far left of the extents the column code drops below any character.
  EXPECT_EQ(label(-20000, 10), "A?");
  // Extents without width or height: every point lies in the first cell.
  max = {0, 0, 0};
  EXPECT_EQ(label(0, 0), "A1");
  EXPECT_EQ(label(5, 5), "A1");
}

TEST_F(ZoneGrid, TheWindowIsModelessAndOnlyHidden) {
  f().FrmSort->setEnabled(true);
  ASSERT_TRUE(f().ComLdefine->userClick());
  EXPECT_TRUE(w().visible());
  EXPECT_EQ(w().caption(), "尺寸位置定义窗口");
  EXPECT_EQ(w().txtLtor->text(), "1-8");
  EXPECT_EQ(w().txtLtou->text(), "A-D");
  EXPECT_EQ(w().Label1->caption(), "从左到右(eg:A-H):");
  EXPECT_EQ(w().Label2->caption(), "从下到上(eg:A-H):");
  // The main window stays usable while it is shown.
  EXPECT_TRUE(f().Com1->userClick());

  // Cancel after typing: the grid stays, the typed text stays in the box.
  w().txtLtor->userType("A-H");
  ASSERT_TRUE(w().ComCancel->userClick());
  EXPECT_FALSE(w().visible());
  EXPECT_EQ(ctx().zoneColumnLast, "8");
  ASSERT_TRUE(f().ComLdefine->userClick());
  EXPECT_EQ(w().txtLtor->text(), "A-H");

  ASSERT_TRUE(w().ComOk->userClick());
  EXPECT_FALSE(w().visible());
  EXPECT_TRUE(w().loaded());
  EXPECT_EQ(ctx().zoneColumnFirst, "A");
  EXPECT_EQ(ctx().zoneColumnCount, 8);
  ASSERT_TRUE(f().ComLdefine->userClick());
  EXPECT_EQ(w().txtLtor->text(), "A-H");
  EXPECT_TRUE(messages().empty());
}

TEST_F(ZoneGrid, TheGridIsKeptWithItsDrawing) {
  writeTable({{1, "5", 0, 0, 130, 190}});
  load();
  define("H-A", "1-6");
  EXPECT_TRUE(messages().empty());
  {
    intake::Connection c;
    c.Open(dbPath);
    EXPECT_EQ(c.LoadZoneGrid(),
              (intake::Connection::ZoneGridText{"H-A", "1-6"}));
  }
  EXPECT_EQ(reports::zoneOfPosition(f(), 1), "4F");

  // Another drawing, with no grid of its own: the default, in the boxes
  // too.
  const std::string first = drawing;
  drawing = (dir / "work/part8.dxf").string();
  dir.write("work/part8.dxf", "0\nEOF\n");
  host->addDocument(drawing);
  open();
  EXPECT_EQ(grid(), std::make_tuple(std::string("1"), std::string("8"), 8,
                                    std::string("A"), std::string("D"), 4));
  EXPECT_EQ(w().txtLtor->text(), "1-8");
  // The first drawing again: its own grid, for every report of it.
  drawing = first;
  open();
  EXPECT_EQ(w().txtLtor->text(), "H-A");
  EXPECT_EQ(w().txtLtou->text(), "1-6");
  ASSERT_TRUE(f().ComHadmark->userClick());
  EXPECT_EQ(reports::zoneOfPosition(f(), 1), "4F");
  EXPECT_TRUE(messages().empty());

  // A database that does not take the grid: nothing changes.
  f().dbConn->BeginTrans();
  define("A-B", "A-B");
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("尺寸位置定义没有改变", 0), 0u) << m[0];
  EXPECT_EQ(ctx().zoneColumnText, "H-A");
  EXPECT_TRUE(w().visible());
  f().dbConn->RollbackTrans();
}

TEST_F(ZoneGrid, EmptyOrOversizedLabelsAreRefusedAndChangeNothing) {
  const auto before = grid();
  struct Case {
    std::string columns, rows, message;
  };
  for (const Case& c :
       {Case{"", "A-D", "请输入从左到右的位置标签(例如 1-8)！"},
        Case{"1-8", "", "请输入从下到上的位置标签(例如 A-D)！"},
        // U+AC00 - 'A' + 1 leaves the 16-bit range.
        Case{"1-8", "A-가", "A-가 的标签超出范围，请使用单字节字符！"},
        Case{"가-1", "A-D", "가-1 的标签超出范围，请使用单字节字符！"}}) {
    define(c.columns, c.rows);
    EXPECT_EQ(messages(), std::vector<std::string>{c.message});
    EXPECT_EQ(grid(), before);
    // The window stays up for the correction.
    EXPECT_TRUE(w().visible());
  }
}

}  // namespace
