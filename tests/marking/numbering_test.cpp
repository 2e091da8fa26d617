// Marks, the ordering rule, rows and `after`, through "自动标号" on the
// scripted CAD host and the real dimension table.
#include "marking/marking.h"
#include "marking/marks.h"
#include "marking_fixture.h"

using namespace marking_test;

TEST(MarkRules, TextHeightFollowsThePosition) {
  EXPECT_EQ(marking::markHeightFor(1, 2.5f), 3.0f);
  EXPECT_EQ(marking::markHeightFor(9, 2.5f), 3.0f);
  EXPECT_EQ(marking::markHeightFor(10, 2.5f), 2.5f);
  EXPECT_EQ(marking::markHeightFor(98, 2.5f), 2.5f);
  EXPECT_EQ(marking::markHeightFor(99, 2.5f), 1.5f);
  EXPECT_EQ(marking::markHeightFor(120, 2.5f), 1.5f);
  EXPECT_EQ(marking::listEntry("7", "25.40"), "7------25.40");
}

TEST_F(Numbering, MarksStandBesideTheirTextsAsTheWorkedExampleSays) {
  drawing({});
  auto& ctx = program->ctx;
  ctx.dimRecords.assign(121, {});
  f().markCircles.assign(121, nullptr);
  f().markTexts.assign(121, nullptr);
  f().textHeight = 2.5f;
  f().markBase = 0;
  for (int p : {3, 12, 120}) {
    ctx.dimRecords[static_cast<size_t>(p)].x = 100;
    ctx.dimRecords[static_cast<size_t>(p)].y = 50;
    marking::drawmark(f(), p);
  }
  struct Expect {
    int p;
    double h, cx, cy, tx, ty;
  };
  for (const Expect& e : {Expect{3, 3.0, 91, 51.5, 89, 50.25},
                          Expect{12, 2.5, 92.5, 51.25, 90.5, 50.25},
                          Expect{120, 1.5, 95.5, 50.75, 93.5, 50.25}}) {
    auto* circle = static_cast<FakeEntity*>(f().markCircles[e.p].get());
    auto* text = static_cast<FakeEntity*>(f().markTexts[e.p].get());
    ASSERT_NE(circle, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_NEAR((*circle->centerPoint)[0], e.cx, 1e-6) << e.p;
    EXPECT_NEAR((*circle->centerPoint)[1], e.cy, 1e-6) << e.p;
    EXPECT_EQ(*circle->radius, 2.5);
    EXPECT_NEAR((*text->insertion)[0], e.tx, 1e-6) << e.p;
    EXPECT_NEAR((*text->insertion)[1], e.ty, 1e-6) << e.p;
    EXPECT_NEAR(*text->textHeight, e.h, 1e-6) << e.p;
    EXPECT_EQ(*text->textString, std::to_string(e.p));
  }
  EXPECT_EQ(f().markTextHeight, 1.5f);  // the last mark drawn
}

TEST_F(Numbering, LeftToRightNumbersByTextX) {
  drawing({{30, 5}, {10, 9}, {20, 1}});
  f().comSort->userClick();
  EXPECT_TRUE(messages().empty());
  auto r = rows();
  ASSERT_EQ(r.size(), 3u);
  // Found as entity 2, 3, 4 with X 30, 10, 20.
  EXPECT_EQ(r[0].dimnum, 3);
  EXPECT_EQ(r[1].dimnum, 4);
  EXPECT_EQ(r[2].dimnum, 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(r[i].number1, i + 1);
    EXPECT_EQ(r[i].marknum, i + 1);
  }
  auto texts = added("AcDbText");
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(*texts[0]->textString, "1");
  EXPECT_EQ(program->ctx.dimRecords[1].x, 10);
  EXPECT_EQ(f().markedCount, 3);
}

TEST_F(Numbering, BottomToTopNumbersByTextY) {
  drawing({{30, 5}, {10, 9}, {20, 1}});
  f().OptToptobot->userClick();
  f().comSort->userClick();
  auto& d = program->ctx.dimRecords;
  EXPECT_EQ(d[1].y, 1);
  EXPECT_EQ(d[2].y, 5);
  EXPECT_EQ(d[3].y, 9);
}

TEST_F(Numbering, EqualKeysEndInTheExchangeProceduresOrder) {
  // Keys 5 (D1), 5 (D2), 3 (D3): D3, D2, D1.
  drawing({{5, 0}, {5, 1}, {3, 2}});
  f().comSort->userClick();
  auto& d = program->ctx.dimRecords;
  EXPECT_EQ(d[1].y, 2);
  EXPECT_EQ(d[2].y, 1);
  EXPECT_EQ(d[3].y, 0);
  // The scratch entry holds the copy of the last exchange.
  EXPECT_EQ(d[0].y, 0);
}

TEST_F(Numbering, AllEqualKeysKeepTheFoundOrder) {
  drawing({{7, 3}, {7, 1}, {7, 2}, {7, 0}});
  f().comSort->userClick();
  auto& d = program->ctx.dimRecords;
  EXPECT_EQ(d[1].y, 3);
  EXPECT_EQ(d[4].y, 0);
}

TEST_F(Numbering, AStartNumberShiftsMarksAndRowsButNotTheSizes) {
  std::vector<std::pair<double, double>> pts;
  for (int i = 0; i < 10; ++i) pts.push_back({double(i), 0});
  drawing(pts);
  f().Text8->userType("5");
  f().comSort->userClick();
  auto r = rows();
  ASSERT_EQ(r.size(), 10u);
  EXPECT_EQ(r.front().marknum, 5);
  EXPECT_EQ(r.back().marknum, 14);
  auto texts = added("AcDbText");
  ASSERT_EQ(texts.size(), 10u);
  EXPECT_EQ(*texts[0]->textString, "5");
  EXPECT_EQ(*texts[8]->textString, "13");
  EXPECT_NEAR(*texts[8]->textHeight, 3.0, 1e-6);  // position 9: 1.2 R
  EXPECT_NEAR(*texts[9]->textHeight, 2.5, 1e-6);  // position 10: R
  EXPECT_EQ(f().Combo1->list().front(), "5------10");
}

TEST_F(Numbering, AnEmptyOrTextStartBoxGivesMarkZeroFirst) {
  drawing({{1, 0}, {2, 0}});
  f().Text8->userType("abc");
  f().comSort->userClick();
  EXPECT_EQ(f().markBase, -1);
  EXPECT_EQ(rows().front().marknum, 0);
}

TEST_F(Numbering, StartNumbersBeyondTheRangeAreRefused) {
  drawing({{1, 0}, {2, 0}});
  f().Text8->userType("32767");  // the second mark would be 32768
  f().comSort->userClick();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("32767"), std::string::npos) << m[0];
  EXPECT_TRUE(rows().empty());
  EXPECT_TRUE(added("AcDbText").empty());
  EXPECT_TRUE(f().comSort->enabled());
  // One that fits numbers normally.
  f().Text8->userType("32766");
  f().comSort->userClick();
  EXPECT_EQ(rows().back().marknum, 32767);
}

TEST_F(Numbering, AfterFillsTheListAndOpensThePanels) {
  drawing({{30, 5}, {10, 9}, {20, 1}});
  f().comSort->userClick();
  auto& s = f();
  EXPECT_EQ(s.Combo1->list(),
            (std::vector<std::string>{"1------11", "2------12", "3------10"}));
  EXPECT_EQ(s.Combo1->listIndex(), 0);
  EXPECT_TRUE(s.FrmDimen->enabled());
  EXPECT_TRUE(s.ComReview->enabled());
  EXPECT_TRUE(s.FrmInput->enabled());
  EXPECT_EQ(s.currentPosition, 1);
  EXPECT_EQ(s.currentSample, 1);
  EXPECT_EQ(s.Combo3->listIndex(), 1);
  EXPECT_TRUE(s.Text7[1]->visible());
  EXPECT_FALSE(s.Text7[2]->visible());
  EXPECT_EQ(s.Text3->text(), "正交尺寸");
  EXPECT_EQ(s.Text4->text(), "11");
  EXPECT_EQ(s.Text5->text(), "0.3");
  EXPECT_EQ(s.height(), 350 + 615 + 735 + 735 + 4935 + 500);
  EXPECT_FALSE(s.comSort->enabled());
  EXPECT_FALSE(s.ComHadmark->enabled());
  EXPECT_TRUE(s.ComPart->enabled());
}

TEST_F(Numbering, NoDimensionsGiveAnEmptyList) {
  drawing({});
  f().comSort->userClick();
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(f().markedCount, 0);
  EXPECT_EQ(f().Combo1->listCount(), 0);
  EXPECT_TRUE(f().FrmDimen->enabled());
  EXPECT_TRUE(messages().empty());
}

TEST_F(Numbering, ADrawingIsNumberedOnceOnly) {
  drawing({{1, 0}, {2, 0}});
  f().comSort->userClick();
  f().mnuAutomark->userClick();  // the menu item calls the button's handler
  EXPECT_EQ(rows().size(), 2u);
  EXPECT_EQ(added("AcDbText").size(), 2u);

  // A known drawing is not numbered at all.
  open();
  ASSERT_FALSE(f().newDatabase);
  f().comSort->setEnabled(true);
  f().comSort->userClick();
  EXPECT_EQ(rows().size(), 2u);
}

TEST_F(Numbering, AGoneHostStillGetsTheRowsAndTheList) {
  drawing({{1, 0}, {2, 0}});
  doc->modelSpace.failAdds = true;
  f().comSort->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(rows().size(), 2u);
  EXPECT_EQ(f().Combo1->listCount(), 2);
  EXPECT_EQ(f().markCircles[1], nullptr);
}

// The command line keeps a pass uncommitted until the marked drawing is
// saved: taken back, it leaves no row and no mark, and the drawing numbers
// again; committed, it stays.
TEST_F(Numbering, ADeferredPassIsTakenBackOrKeptWhole) {
  drawing({{30, 5}, {10, 9}, {20, 1}});
  f().deferNumberingCommit = true;
  f().comSort->userClick();
  ASSERT_TRUE(messages().empty());
  ASSERT_EQ(f().numberedRows, 3);
  EXPECT_TRUE(rows().empty());  // not yet committed
  marking::rollbackNumbering(f());
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(f().numberedRows, 0);
  for (int p = 1; p <= 3; ++p)
    for (const auto* marks : {&f().markCircles, &f().markTexts}) {
      auto* mark = static_cast<FakeEntity*>(marks->at(p).get());
      ASSERT_NE(mark, nullptr);
      EXPECT_TRUE(mark->deleted) << p;
    }
  EXPECT_TRUE(f().comSort->enabled());

  f().comSort->userClick();
  ASSERT_EQ(f().numberedRows, 3);
  marking::commitNumbering(f());
  auto r = rows();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].marknum, 1);
  EXPECT_EQ(r[2].dimnum, 2);
}
