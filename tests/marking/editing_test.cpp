// The marking menu's edits of the drawn marks, each one step of the CAD
// host's undo and taken back whole when it fails.
#include "marking_fixture.h"

using namespace marking_test;

namespace {

constexpr const char* kHostFailed = "程序发生错误，可能是AutoCAD 已经关闭！";

class Editing : public Numbering {
 protected:
  // Three marks drawn by "自动标号".
  void SetUp() override {
    drawing({{20, 20}, {40, 20}, {60, 20}});
    f().comSort->userClick();
    circles = live("AcDbCircle");
    numbers = live("AcDbText");
    ASSERT_EQ(circles.size(), 3u);
    ASSERT_EQ(numbers.size(), 3u);
    host->log.calls.clear();
  }
  FakeEntity& circle(int p) { return *circles.at(static_cast<size_t>(p - 1)); }
  FakeEntity& number(int p) { return *numbers.at(static_cast<size_t>(p - 1)); }
  void undoInHost() { doc->SendCommand("Undo\r\r"); }

  std::vector<std::shared_ptr<FakeEntity>> circles, numbers;
};

}  // namespace

TEST_F(Editing, EnlargingTwiceIsOnePointFiveSixTwoFiveAndUndoTakesOneBack) {
  const double r = *circle(1).radius, h = *number(1).textHeight;
  f().mnuScalemax->userClick();
  f().mnuScalemax->userClick();
  EXPECT_TRUE(messages().empty());
  for (int p = 1; p <= 3; ++p) {
    EXPECT_DOUBLE_EQ(*circle(p).radius, r * 1.5625);
    EXPECT_DOUBLE_EQ(*number(p).textHeight, h * 1.5625);
  }
  undoInHost();  // one enlargement, all marks
  for (int p = 1; p <= 3; ++p) {
    EXPECT_DOUBLE_EQ(*circle(p).radius, r * 1.25);
    EXPECT_DOUBLE_EQ(*number(p).textHeight, h * 1.25);
  }
  f().mnuScalemin->userClick();
  EXPECT_DOUBLE_EQ(*circle(2).radius, r);
  EXPECT_DOUBLE_EQ(*number(2).textHeight, h);
}

TEST_F(Editing, AMarkErasedInTheDrawingStopsAndTakesBackTheRest) {
  const double r = *circle(1).radius;
  number(2).deleted = true;  // erased by the user
  f().mnuScalemax->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{kHostFailed}));
  EXPECT_DOUBLE_EQ(*circle(1).radius, r);
  EXPECT_DOUBLE_EQ(*circle(2).radius, r);
  EXPECT_DOUBLE_EQ(*circle(3).radius, r);  // never reached
  f().mnuUndo->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{kHostFailed}));
  EXPECT_FALSE(circle(1).deleted);
  EXPECT_EQ(f().Combo1->listCount(), 3);
}

TEST_F(Editing, UndoDeletesTheMarksAndKeepsTheRows) {
  f().mnuUndo->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(live("AcDbCircle").empty());
  EXPECT_TRUE(live("AcDbText").empty());
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(f().markedCount, 3);
  EXPECT_EQ(f().Combo1->listCount(), 0);
  EXPECT_EQ(f().height(), 735 + 615 + 350 + 735);
  // Again: nothing is left to delete, and nothing to complain of.
  f().mnuUndo->userClick();
  EXPECT_TRUE(messages().empty());
  // The host's undo brings the whole set back at once.
  undoInHost();
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2", "3"}));
}

TEST_F(Editing, ColourAndLayerTakeTheDrawingsCurrentOnes) {
  doc->variables["CECOLOR"] = std::string("3");
  doc->variables["CLAYER"] = std::string("MARKS");
  f().mnuColor->userClick();
  f().mnuLayout->userClick();
  EXPECT_TRUE(messages().empty());
  for (int p = 1; p <= 3; ++p) {
    EXPECT_EQ(circle(p).color, 3);
    EXPECT_EQ(number(p).color, 3);
    EXPECT_EQ(circle(p).layer, "MARKS");
    EXPECT_EQ(number(p).layer, "MARKS");
  }
  undoInHost();  // the layer, for all marks
  EXPECT_EQ(number(3).layer, "0");
  EXPECT_EQ(number(3).color, 3);
}

TEST_F(Editing, AColourBoundToLayerOrBlockIsRefused) {
  for (const char* c : {"bylayer", "byblock"}) {
    doc->variables["CECOLOR"] = std::string(c);
    f().mnuColor->userClick();
    EXPECT_EQ(messages(),
              (std::vector<std::string>{
                  "请选择具体的层名或具体的颜色，不可绑定层或块！"}));
  }
  EXPECT_EQ(host->log.count("AcDbCircle.Color="), 0u);
}

TEST_F(Editing, ColourLayerAndMoveSayWhatFailedAndChangeNothing) {
  doc->variables["CECOLOR"] = std::string("5");
  circle(3).deleted = true;
  f().mnuColor->userClick();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("设置颜色失败", 0), 0u) << m[0];
  EXPECT_NE(m[0].find("第 3 个标号"), std::string::npos) << m[0];
  EXPECT_EQ(circle(1).color, 256);

  f().mnuLayout->userClick();
  m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("设置图层失败", 0), 0u) << m[0];

  doc->utility.picks = {Point{0, 0, 0}, Point{5, 5, 0}};
  f().mnuMovemark->userClick();
  m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("移动标号失败", 0), 0u) << m[0];
  EXPECT_EQ(circle(1).moved, (Point{0, 0, 0}));
}

TEST_F(Editing, MovingUsesOnlyTheDifferenceOfTheTwoPoints) {
  doc->utility.picks = {Point{100, 100, 0}, Point{103, 96, 0}};
  f().mnuMovemark->userClick();
  EXPECT_EQ(doc->utility.prompts,
            (std::vector<std::string>{"FROM POINT: ", "TO POINT: "}));
  for (int p = 1; p <= 3; ++p) {
    EXPECT_EQ(circle(p).moved, (Point{3, -4, 0}));
    EXPECT_EQ(number(p).moved, (Point{3, -4, 0}));
  }
  doc->utility.picks = {Point{7, 7, 0}, Point{7, 7, 0}};
  f().mnuMovemark->userClick();
  EXPECT_EQ(circle(1).moved, (Point{3, -4, 0}));
  // Esc at either point: nothing moves, and no message.
  doc->utility.picks = {Point{0, 0, 0}, std::nullopt};
  f().mnuMovemark->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(number(2).moved, (Point{3, -4, 0}));
}

TEST_F(Numbering, MarkEditsWithNoMarksDoNothingVisible) {
  drawing({{20, 20}});
  // The move still asks for its two points.
  doc->utility.picks = {Point{0, 0, 0}, Point{1, 1, 0}};
  doc->variables["CECOLOR"] = std::string("2");
  for (auto* item : {f().mnuColor, f().mnuLayout, f().mnuMovemark,
                     f().mnuScalemax, f().mnuScalemin, f().mnuUndo})
    item->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(doc->utility.prompts.size(), 2u);
  EXPECT_EQ(f().Combo1->listCount(), 0);
  EXPECT_EQ(f().height(), 735 + 615 + 350 + 735);
}
