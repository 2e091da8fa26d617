// The marking menu's edits of the drawn marks, each one step of the CAD
// host's undo and taken back whole when it fails.
#include "cadhost/engine/embedded_host.h"
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

TEST_F(Editing, MarksErasedInTheDrawingAreSkippedAndTheRestEdited) {
  const double r = *circle(1).radius, h = *number(1).textHeight;
  number(2).deleted = true;  // the user erased mark 2's number...
  circle(3).deleted = true;  // ...and the whole of mark 3
  number(3).deleted = true;
  f().mnuScalemax->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "放大标号：跳过了已从图中删除的 2 个标号（第 2、3 "
                            "个），其余标号已完成。"}));
  EXPECT_DOUBLE_EQ(*circle(1).radius, r * 1.25);
  EXPECT_DOUBLE_EQ(*number(1).textHeight, h * 1.25);
  EXPECT_DOUBLE_EQ(*circle(2).radius, r * 1.25);  // what is left of it
  EXPECT_DOUBLE_EQ(*circle(3).radius, r);
  // Still one step of the host's undo, and the next edits work too.
  undoInHost();
  EXPECT_DOUBLE_EQ(*circle(1).radius, r);
  EXPECT_DOUBLE_EQ(*circle(2).radius, r);
  f().mnuScalemin->userClick();
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_DOUBLE_EQ(*circle(1).radius, r * 0.8);
  doc->variables["CECOLOR"] = std::string("1");
  f().mnuColor->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "设置颜色：跳过了已从图中删除的 2 个标号（第 2、3 "
                            "个），其余标号已完成。"}));
  EXPECT_EQ(circle(2).color, 1);
  EXPECT_EQ(number(1).color, 1);

  // "撤消标号" takes away what is left, and Ctrl+Z brings that back.
  f().mnuUndo->userClick();
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_TRUE(live("AcDbCircle").empty());
  EXPECT_TRUE(live("AcDbText").empty());
  EXPECT_EQ(f().Combo1->listCount(), 0);
  undoInHost();
  EXPECT_EQ(texts(), (std::vector<std::string>{"1"}));
  EXPECT_EQ(live("AcDbCircle").size(), 2u);
}

TEST_F(Editing, AHostFailingPartWayTakesTheEditBackWhole) {
  const double r = *circle(1).radius;
  circle(3).failChanges = true;
  f().mnuScalemax->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{kHostFailed}));
  for (int p = 1; p <= 3; ++p) EXPECT_DOUBLE_EQ(*circle(p).radius, r);
  f().mnuUndo->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{kHostFailed}));
  EXPECT_FALSE(circle(1).deleted);
  EXPECT_EQ(f().Combo1->listCount(), 3);
  // Once the host answers again, the same edit goes through.
  circle(3).failChanges = false;
  f().mnuScalemax->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_DOUBLE_EQ(*circle(3).radius, r * 1.25);
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
  circle(3).failChanges = true;
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

namespace {

// The same edits on the embedded CAD host, with a real drawing.
class EngineEditing : public ::testing::Test {
 protected:
  EngineEditing() : desktop(queue) {
    fs::copy("dimdata", dir / "dimdata", fs::copy_options::recursive);
    fs::create_directories(dir / "work");
    drawing = (dir / "work/zones.dxf").string();
    fs::copy_file(DIMMARK_DXF_FIXTURES "/marking_zones.dxf", drawing);
    program = std::make_unique<app::Program>(
        desktop,
        [this](const std::string&) {
          host = std::make_shared<cadhost::engine::EngineApplication>(nullptr);
          return std::static_pointer_cast<cadhost::Application>(host);
        },
        nullptr, dir.path());
    program->start();
    program->splash.Timer1->tick();
    f().Com1->userClick();
    program->form2.Option1->userClick();
    queue.push(forms::QueuedAnswer::file(drawing));
    program->form2.Command1->userClick();
    f().Com2->userClick();
    f().comSort->userClick();
    messages();
  }
  model::Form1& f() { return program->main; }
  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& m : desktop.takeMessages()) out.push_back(m.text);
    return out;
  }
  cadhost::Entity& circle(int p) {
    return *f().markCircles.at(static_cast<size_t>(p));
  }
  cadhost::Entity& number(int p) {
    return *f().markTexts.at(static_cast<size_t>(p));
  }
  std::shared_ptr<cadhost::engine::EngineDocument> document() {
    return host->activeDocument();
  }

  fakes::TempDir dir;
  std::string drawing;
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<cadhost::engine::EngineApplication> host;
  std::unique_ptr<app::Program> program;
};

}  // namespace

TEST_F(EngineEditing, MarksErasedInTheDrawingAreSkipped) {
  ASSERT_EQ(f().markedCount, 7);
  const double r = circle(1).Radius(), h = number(1).Height();
  const int entities = document()->GetModelSpace().Count();
  circle(4).Delete();  // the user erases mark 4
  number(4).Delete();
  f().mnuScalemax->userClick();
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "放大标号：跳过了已从图中删除的 1 个标号（第 4 "
                            "个），其余标号已完成。"}));
  for (int p : {1, 3, 5, 7}) {
    EXPECT_DOUBLE_EQ(circle(p).Radius(), r * 1.25) << p;
    EXPECT_DOUBLE_EQ(number(p).Height(), h * 1.25) << p;
  }
  f().mnuScalemin->userClick();
  messages();
  EXPECT_DOUBLE_EQ(circle(2).Radius(), r);
  // Taken back in the CAD window: one step per edit.
  document()->SendCommand("Undo\r\r");
  EXPECT_DOUBLE_EQ(circle(2).Radius(), r * 1.25);

  f().mnuUndo->userClick();
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(document()->GetModelSpace().Count(), entities - 14);
  document()->SendCommand("Undo\r\r");
  EXPECT_EQ(document()->GetModelSpace().Count(), entities - 2);
}

TEST_F(EngineEditing, AClosedDrawingIsAFailureNotErasedMarks) {
  auto doc = document();
  doc->close();
  f().mnuScalemax->userClick();
  auto m = messages();
  ASSERT_FALSE(m.empty());
  EXPECT_EQ(m.back(), kHostFailed);
  EXPECT_THROW(circle(1).Radius(), cadhost::HostError);
}
