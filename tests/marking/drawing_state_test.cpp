// The numbering kept in step with the marks the drawing holds: a database
// numbered by a run whose marks never reached the drawing, and the user's
// undo in the CAD window.
#include "marking/drawing_state.h"
#include "browse/browser.h"
#include "marking_fixture.h"

using namespace marking_test;
using forms::QueuedAnswer;

namespace {

const std::vector<std::pair<double, double>> kThree = {
    {10, 10}, {30, 10}, {50, 10}};

class DrawingState : public Numbering {
 protected:
  // The drawing as it lies on disk after a run that was killed before the
  // marked drawing was saved: its dimensions, none of the marks.
  void reloadUnmarked(const std::vector<std::pair<double, double>>& points) {
    doc = host->addDocument(Intake::drawing);
    add("AcDbLine");
    add("AcDbLine");
    int n = 0;
    for (auto [x, y] : points)
      addDim("AcDbRotatedDimension", 10 + n++, x, y, "", 0, 0, 0, 2.5);
    addText("比例 1:1", 300, 5);  // a title block's number is no mark
  }
  void answer(QueuedAnswer::Type t) { queue.push(QueuedAnswer::of(t)); }
  // "确定" with the answer to the question it asks.
  void openAnswering(QueuedAnswer::Type t) {
    f().Com1->userClick();
    program->form2.Option1->userClick();
    queue.push(QueuedAnswer::file(Intake::drawing));
    program->form2.Command1->userClick();
    answer(t);
    f().Com2->userClick();
  }
  void type(int box, const std::string& text) {
    f().Text7[static_cast<size_t>(box)]->userType(text);
  }
  size_t storedMeasurements() {
    intake::Connection c;
    c.Open(f().dbPath);
    return c.LoadMeasurements().size();
  }
  int panelHeight() { return f().height(); }
  bool panelShown() {
    return f().Combo1->listCount() > 0 &&
           f().height() > f().Frame2->height() + f().Picture1->height() + 350 +
                              f().FrmSort->height();
  }
};

}  // namespace

TEST_F(DrawingState, ANumberingWhoseMarksNeverReachedTheDrawingIsOffered) {
  drawing(kThree);
  f().comSort->userClick();
  type(0, "10.01");
  f().ComNext->userClick();
  ASSERT_EQ(storedMeasurements(), 1u);
  messages();
  const auto marked = doc;

  // Opened as it lies on disk: told, and No keeps everything.
  reloadUnmarked(kThree);
  openAnswering(QueuedAnswer::Type::No);
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].buttons, forms::Buttons::YesNo);
  for (const char* part : {"part7.mdb", "记录了 3 个标号", "一个也没有找到",
                           "1 个尺寸的测量值", "是否重新标号"})
    EXPECT_NE(m[0].text.find(part), std::string::npos) << part << m[0].text;
  EXPECT_FALSE(f().newDatabase);
  EXPECT_EQ(rows().size(), 3u);
  EXPECT_EQ(storedMeasurements(), 1u);
  // "自动标号" says why it does nothing.
  f().comSort->userClick();
  m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].text.find("已经标号"), std::string::npos) << m[0].text;
  EXPECT_EQ(rows().size(), 3u);

  // Yes: the rows and the measurement go, and the drawing is numbered as a
  // new one.
  reloadUnmarked(kThree);
  openAnswering(QueuedAnswer::Type::Yes);
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_TRUE(f().newDatabase);
  EXPECT_TRUE(rows().empty());
  EXPECT_EQ(storedMeasurements(), 0u);
  EXPECT_EQ(program->ctx.dimCount, 3);
  f().comSort->userClick();
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(rows().size(), 3u);
  EXPECT_EQ(rows()[0].number1, 1);  // numbered as in a fresh table
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2", "3"}));

  // The drawing that holds its marks opens without a question.
  host->documents[Intake::drawing] = marked;
  doc = marked;
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(f().newDatabase);
}

TEST_F(DrawingState, ADwgIsToldWhereItsMarkedDrawingMayBe) {
  Intake::drawing = (dir / "work/part7.dwg").string();
  dir.write("work/part7.dwg", "AC1018");
  doc = host->addDocument(Intake::drawing);
  drawing(kThree);
  f().comSort->userClick();
  reloadUnmarked(kThree);
  openAnswering(QueuedAnswer::Type::No);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("同名的“part7.dxf”"), std::string::npos) << m[0];
}

TEST_F(DrawingState, UndoInTheDrawingBringsThePanelBackWithTheMarks) {
  drawing(kThree);
  f().comSort->userClick();
  const int shown = panelHeight();
  f().mnuUndo->userClick();  // "撤消标号": marks gone, rows kept
  EXPECT_TRUE(live("AcDbCircle").empty());
  EXPECT_FALSE(panelShown());
  EXPECT_EQ(rows().size(), 3u);

  doc->userUndo();  // Ctrl+Z in the CAD window: the marks are back
  EXPECT_EQ(live("AcDbCircle").size(), 3u);
  EXPECT_TRUE(panelShown());
  EXPECT_EQ(panelHeight(), shown);
  EXPECT_EQ(f().Combo1->listCount(), 3);
  EXPECT_TRUE(f().FrmDimen->enabled());
  EXPECT_FALSE(f().comSort->enabled());  // still numbered
  EXPECT_TRUE(messages().empty());

  // The second Ctrl+Z takes back the numbering's marks: its rows go with
  // them (nothing was measured), and the drawing can be numbered again.
  doc->userUndo();
  EXPECT_TRUE(live("AcDbCircle").empty());
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(rows().empty());
  EXPECT_FALSE(panelShown());
  EXPECT_TRUE(f().comSort->enabled());
  EXPECT_TRUE(f().ComHadmark->enabled());
  f().OptToptobot->userClick();
  f().comSort->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(rows().size(), 3u);
  EXPECT_EQ(live("AcDbCircle").size(), 3u);
  EXPECT_TRUE(panelShown());
}

TEST_F(DrawingState, MeasurementsAreGivenUpOnlyWhenTheUserSays) {
  for (auto choice : {QueuedAnswer::Type::No, QueuedAnswer::Type::Yes}) {
    SCOPED_TRACE(choice == QueuedAnswer::Type::No ? "No" : "Yes");
    drawing(kThree);
    f().comSort->userClick();
    type(0, "10.02");
    f().ComNext->userClick();
    messages();

    answer(choice);
    doc->userUndo();  // the numbering's marks
    auto m = desktop.takeMessages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].buttons, forms::Buttons::YesNo);
    EXPECT_NE(m[0].text.find("第 1 至 3 号标号"), std::string::npos)
        << m[0].text;
    EXPECT_NE(m[0].text.find("1 个尺寸已输入测量值"), std::string::npos);
    if (choice == QueuedAnswer::Type::No) {
      // Kept: rows, measurement and list stay; numbering again is refused
      // with the reason.
      EXPECT_EQ(rows().size(), 3u);
      EXPECT_EQ(storedMeasurements(), 1u);
      EXPECT_EQ(f().Combo1->listCount(), 3);
      f().comSort->setEnabled(true);
      f().comSort->userClick();
      EXPECT_EQ(messages().size(), 1u);
      EXPECT_EQ(rows().size(), 3u);
    } else {
      EXPECT_TRUE(rows().empty());
      EXPECT_EQ(storedMeasurements(), 0u);
      EXPECT_EQ(f().Combo1->listCount(), 0);
      EXPECT_EQ(program->ctx.sampleCounts.at(1), 0);
      f().comSort->userClick();
      EXPECT_EQ(rows().size(), 3u);
      // Position 1 starts empty: nothing of the measurement given up.
      EXPECT_EQ(f().Text7[0]->text(), "");
    }
    // The next round starts from a drawing with no database.
    fs::remove(f().dbPath);
    doc = host->addDocument(Intake::drawing);
  }
}

TEST_F(DrawingState, TheLastZoneWindowTakenBackIsNumberedAgainFromThere) {
  drawing({{10, 10}, {20, 10}, {110, 10}, {120, 10}});
  // Two windows, then a first corner right of the drawing: interrupted.
  doc->utility.picks = {cadhost::Point{5, 0, 0}, cadhost::Point{25, 20, 0},
                        cadhost::Point{105, 0, 0}, cadhost::Point{125, 20, 0},
                        cadhost::Point{500, 0, 0}};
  f().ComPart->userClick();
  ASSERT_EQ(rows().size(), 4u);
  type(0, "1.5");  // measured on position 1 only
  f().ComNext->userClick();
  messages();

  doc->userUndo();  // the second window's two marks
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(rows().size(), 2u);
  EXPECT_EQ(f().markedCount, 2);
  EXPECT_EQ(f().Combo1->listCount(), 2);
  EXPECT_EQ(f().zoneGroupStart, 3);
  EXPECT_EQ(storedMeasurements(), 1u);
  // Zone marking goes on with the next number.
  doc->utility.picks = {cadhost::Point{105, 0, 0}, cadhost::Point{125, 20, 0},
                        cadhost::Point{-50, 0, 0}};
  f().ComPart->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(marknums(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(texts(), (std::vector<std::string>{"1", "2", "3", "4"}));
}

TEST_F(DrawingState, ALoadedNumberingLeavesNothingToNumberOrLoad) {
  drawing(kThree);
  f().comSort->userClick();
  open();  // the drawing holds its marks: loaded without a question
  ASSERT_FALSE(f().newDatabase);
  EXPECT_TRUE(messages().empty());
  f().ComHadmark->userClick();
  for (forms::Control* c :
       {f().comSort, f().ComPart, f().ComFree, f().ComHadmark})
    EXPECT_FALSE(c->enabled()) << c->name();
  // Nor anything to edit: the marks are the earlier run's.
  EXPECT_FALSE(f().mnuUndo->enabled());
}
