// Zone marking (window by window) and free marking (one pick at a time),
// driven with queued picks on the scripted CAD host.
#include "marking/marks.h"
#include "marking_fixture.h"

using namespace marking_test;

namespace {

std::optional<Point> at(double x, double y) { return Point{x, y, 0}; }
const std::optional<Point> kEsc = std::nullopt;

class Marking : public Numbering {
 protected:
  void pick(std::initializer_list<std::optional<Point>> points) {
    for (const auto& p : points) doc->utility.picks.push_back(p);
  }
};

}  // namespace

TEST(MarkRules, AWindowHoldsItsEdgesWhicheverCornersArePicked) {
  using marking::inWindow;
  const Point a{10, 20, 0}, b{50, 80, 0};
  // Every pair of opposite corners spans the same window.
  for (auto [p, q] : {std::pair{a, b}, std::pair{b, a},
                      std::pair{Point{10, 80, 0}, Point{50, 20, 0}},
                      std::pair{Point{50, 20, 0}, Point{10, 80, 0}}}) {
    EXPECT_TRUE(inWindow(30, 50, p, q));
    EXPECT_TRUE(inWindow(10, 50, p, q));  // left edge
    EXPECT_TRUE(inWindow(50, 80, p, q));  // corner
    EXPECT_FALSE(inWindow(9.999f, 50, p, q));
    EXPECT_FALSE(inWindow(30, 80.001f, p, q));
  }
  // A window without width still holds the points of its line.
  EXPECT_TRUE(inWindow(10, 40, Point{10, 20, 0}, Point{10, 80, 0}));
  EXPECT_FALSE(inWindow(10.5f, 40, Point{10, 20, 0}, Point{10, 80, 0}));
}

TEST(MarkRules, MarkTextsAreWholeNumbersOtherThanZeroWithoutPercent) {
  using marking::markNumberOf;
  EXPECT_EQ(markNumberOf("12"), 12);
  EXPECT_EQ(markNumberOf(" 7"), 7);
  EXPECT_EQ(markNumberOf("3A"), 3);
  EXPECT_EQ(markNumberOf("12."), 12);
  EXPECT_EQ(markNumberOf("-4"), -4);
  for (const char* no :
       {"12.5", "0", "A3", "%%c12", "12%", "", " ", "0.0", "1e999"})
    EXPECT_FALSE(markNumberOf(no)) << no;
}

TEST(MarkRules, DistancesAreComparedAsSingles) {
  EXPECT_EQ(marking::dist(0, 0, 3, 4), 5.0f);
  // Two points whose distances differ only beyond a single's precision are
  // equally far.
  EXPECT_EQ(marking::dist(0, 0, 1000, 0.001f), marking::dist(0, 0, 1000, 0));
}

// ------------------------------------------------------------ zones

TEST_F(Marking, TwoWindowsNumberThreeThenTwoAndSaveEachBeforeTheNext) {
  drawing({{150, 70}, {40, 60}, {180, 20}, {20, 80}, {60, 30}, {100, 10}});
  std::vector<int> rowsWhenAsked;
  doc->utility.onPick = [&](const std::string& prompt) {
    if (prompt == "第一点: ") rowsWhenAsked.push_back(int(rows().size()));
  };
  // The first window from lower left to upper right, (60, 30) on its
  // edge; the second from upper right to lower left; then a first corner
  // left of the drawing.
  pick(
      {at(10, 30), at(60, 90), at(190, 90), at(140, 15), at(-5, 50), at(0, 0)});
  f().ComPart->userClick();

  EXPECT_EQ(rowsWhenAsked, (std::vector<int>{0, 3, 5}));
  EXPECT_EQ(doc->utility.prompts,
            (std::vector<std::string>{"第一点: ", "对角点: ", "第一点: ",
                                      "对角点: ", "第一点: ", "对角点: "}));
  // The second corner is asked from the first.
  EXPECT_EQ(doc->utility.cornerBases[0], (Point{10, 30, 0}));
  // Each window in its own order, left to right.
  EXPECT_EQ(xs(1, 5), (std::vector<float>{20, 40, 60, 150, 180}));
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(f().markedCount, 5);
  EXPECT_EQ(f().Combo1->listCount(), 5);
  EXPECT_TRUE(f().FrmDimen->enabled());
  // Finished: the counters start again, and the drawing is not numbered a
  // second time.
  EXPECT_EQ(f().zoneGroupStart, 1);
  EXPECT_EQ(f().zoneMarkedCount, 0);
  EXPECT_FALSE(f().comSort->enabled());
  pick({at(10, 30), at(200, 100), at(-5, 0), at(0, 0)});
  f().ComPart->userClick();
  f().ComFree->userClick();
  f().mnuAutomark->userClick();
  EXPECT_EQ(rows().size(), 5u);
  EXPECT_EQ(doc->utility.picks.size(), 4u);  // nothing was asked
}

TEST_F(Marking, OverlappingWindowsTakeADimensionOnce) {
  drawing({{20, 20}, {40, 20}, {60, 20}});
  pick({at(10, 10), at(45, 30), at(30, 10), at(70, 30), at(-1, 0), at(0, 0)});
  f().ComPart->userClick();
  EXPECT_EQ(xs(1, 3), (std::vector<float>{20, 40, 60}));
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2, 3}));
}

TEST_F(Marking, AnEmptyWindowAsksForTheNext) {
  drawing({{20, 20}});
  pick({at(100, 100), at(120, 120), at(10, 10), at(30, 30), at(-1, 0),
        at(0, 0)});
  f().ComPart->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1}));
}

TEST_F(Marking, AnInterruptedRunGoesOnWithTheNextNumberAndTheNewStart) {
  drawing({{20, 20}, {40, 20}, {60, 20}, {80, 20}, {300, 50}, {320, 50}});
  // A first corner right of the drawing interrupts.
  pick({at(10, 10), at(90, 30), at(401, 0), at(0, 0)});
  f().ComPart->userClick();
  EXPECT_EQ(f().zoneGroupStart, 5);
  EXPECT_EQ(f().zoneMarkedCount, 4);
  EXPECT_EQ(f().Combo1->listCount(), 4);
  EXPECT_FALSE(f().comSort->enabled());

  f().Text8->userType("101");
  // Esc interrupts as well, keeping the window before it.
  pick({at(290, 40), at(330, 60), kEsc});
  f().ComPart->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2, 3, 4, 105, 106}));
  EXPECT_EQ(texts().back(), "106");
  EXPECT_EQ(f().markedCount, 6);
  EXPECT_EQ(f().Combo1->list().back().rfind("106------", 0), 0u);
  EXPECT_EQ(f().zoneGroupStart, 7);
}

TEST_F(Marking, AFirstCornerLeftOfTheDrawingAtOnceNumbersNothing) {
  drawing({{20, 20}});
  pick({at(-1, 50), at(0, 0)});
  f().ComPart->userClick();
  EXPECT_TRUE(rows().empty());
  EXPECT_FALSE(f().FrmDimen->enabled());  // `after` was not called
  EXPECT_EQ(f().zoneGroupStart, 1);
  EXPECT_FALSE(f().comSort->enabled());
  // Nothing numbered: a later run may still number.
  pick({at(0, 0), at(50, 50), at(-1, 0), at(0, 0)});
  f().ComPart->userClick();
  EXPECT_EQ(rows().size(), 1u);
}

TEST_F(Marking, ACornerOnTheExtentsIsAnOrdinaryCorner) {
  drawing({{0, 20}, {400, 20}});
  pick({at(0, 0), at(10, 30), at(400, 0), at(390, 30), kEsc});
  f().ComPart->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2}));
}

TEST_F(Marking, EachWindowsMarksAreOneStepOfTheHostsUndo) {
  drawing({{20, 20}, {40, 20}, {300, 20}, {320, 20}});
  pick({at(10, 10), at(50, 30), at(290, 10), at(330, 30), kEsc});
  f().ComPart->userClick();
  ASSERT_EQ(live("AcDbCircle").size(), 4u);
  doc->SendCommand("Undo\r\r");
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(live("AcDbCircle").size(), 2u);
  EXPECT_EQ(rows().size(), 4u);  // the host's undo leaves the table alone
}

TEST_F(Marking, ZoneMarkingNeedsADrawingNewToTheTable) {
  drawing({{20, 20}});
  f().comSort->userClick();
  open();  // the same drawing again: its table exists
  ASSERT_FALSE(f().newDatabase);
  pick({at(10, 10), at(30, 30)});
  f().ComPart->userClick();
  f().ComFree->userClick();
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_TRUE(doc->utility.prompts.empty());
}

// ------------------------------------------------------------ free

TEST_F(Marking, FreeMarksStandAtThePickAndTakeTheNearestDimension) {
  drawing({{100, 100}, {20, 20}, {60, 60}});
  f().Text8->userType("10");
  pick({at(58, 63), at(25, 18), at(-1, 0)});
  f().ComFree->userClick();
  EXPECT_EQ(
      doc->utility.prompts,
      (std::vector<std::string>{"LOCATION: ", "LOCATION: ", "LOCATION: "}));
  EXPECT_EQ(xs(1, 2), (std::vector<float>{60, 20}));
  EXPECT_EQ(marknums(), (std::vector<int>{10, 11}));
  auto circles = live("AcDbCircle");
  auto numbers = live("AcDbText");
  ASSERT_EQ(circles.size(), 2u);
  EXPECT_EQ(*circles[0]->centerPoint, (Point{58, 63, 0}));
  EXPECT_EQ(*circles[0]->radius, 2.5);
  EXPECT_EQ(*numbers[0]->textString, "10");
  EXPECT_EQ(*numbers[0]->insertion, (Point{58 - 2.0, 63 - 1.0, 0}));
  EXPECT_NEAR(*numbers[0]->textHeight, 3.0, 1e-6);  // position 1: 1.2 R
  EXPECT_EQ(f().freeNext, 3);
  EXPECT_EQ(f().markedCount, 2);
  EXPECT_EQ(f().Combo1->list().front(), "10------12");
  EXPECT_FALSE(f().comSort->enabled());
  EXPECT_FALSE(f().ComHadmark->enabled());
}

TEST_F(Marking, OfTwoDimensionsEquallyNearTheLowerPositionIsTaken) {
  drawing({{10, 0}, {0, 10}, {-10, 0}});
  pick({at(0, 0), at(-1000, 0)});
  f().ComFree->userClick();
  EXPECT_EQ(rec(1).x, 10);
  EXPECT_EQ(marknums(), (std::vector<int>{1}));
}

TEST_F(Marking, APickBesideANumberedDimensionTakesTheNearestFreeOne) {
  drawing({{20, 20}, {40, 20}});
  pick({at(20, 20), at(20, 20), at(-1, 0)});
  f().ComFree->userClick();
  EXPECT_EQ(xs(1, 2), (std::vector<float>{20, 40}));
}

TEST_F(Marking, AllDimensionsTakenTheNextPickEndsTheRun) {
  drawing({{20, 20}, {40, 20}});
  pick({at(20, 20), at(40, 20), at(30, 20), at(1, 1)});
  f().ComFree->userClick();
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2}));
  EXPECT_EQ(f().freeNext, 3);
  EXPECT_EQ(doc->utility.picks.size(), 1u);  // the last pick was not asked
  // A further run has nothing to number: its first pick ends it.
  f().ComFree->userClick();
  EXPECT_EQ(rows().size(), 2u);
  EXPECT_TRUE(doc->utility.picks.empty());
}

TEST_F(Marking, APickOutOfReachDrawsNothingAndAsksAgain) {
  doc->variables["DIMLFAC"] = 0.01;  // reach: 10 units
  drawing({{20, 20}});
  pick({at(20, 35), at(22, 24), at(401, 0)});
  f().ComFree->userClick();
  EXPECT_EQ(texts(), (std::vector<std::string>{"1"}));
  EXPECT_EQ(*live("AcDbCircle")[0]->centerPoint, (Point{22, 24, 0}));
  EXPECT_EQ(doc->utility.prompts.size(), 3u);
}

TEST_F(Marking, ACancelledPickEndsTheRunAndASecondRunGoesOn) {
  drawing({{20, 20}, {40, 20}, {60, 20}});
  pick({kEsc});
  f().ComFree->userClick();
  EXPECT_TRUE(live("AcDbCircle").empty());
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(f().freeNext, 1);
  EXPECT_FALSE(f().FrmDimen->enabled());

  pick({at(40, 20), kEsc});
  f().ComFree->userClick();
  pick({at(60, 20), at(400.5, 0)});
  f().ComFree->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2}));
  EXPECT_EQ(xs(1, 2), (std::vector<float>{40, 60}));
  EXPECT_EQ(f().Combo1->listCount(), 2);
  EXPECT_EQ(f().freeNext, 3);
}

TEST_F(Marking, APickOnTheExtentsGoesOn) {
  drawing({{0, 20}, {400, 20}});
  pick({at(0, 20), at(400, 20), at(400, 20)});
  f().ComFree->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2}));
}

TEST_F(Marking, EachFreeMarkIsOneStepOfTheHostsUndo) {
  drawing({{20, 20}, {40, 20}});
  pick({at(20, 20), at(40, 20), at(-1, 0)});
  f().ComFree->userClick();
  doc->SendCommand("Undo\r\r");
  EXPECT_EQ(texts(), (std::vector<std::string>{"1"}));
  EXPECT_EQ(live("AcDbCircle").size(), 1u);
}
