// Adopting the number texts of a drawing numbered by hand ("已经标号" with
// its window), on the scripted CAD host and the real dimension table.
#include "marking/adopt.h"
#include "marking_fixture.h"

using namespace marking_test;

namespace {

class Adopting : public Numbering {
 protected:
  // The drawing opens with a frame before its dimensions and texts.
  void SetUp() override {
    add("AcDbLine");
    add("AcDbLine");
  }
  void dim(double x, double y, double value) {
    addDim("AcDbRotatedDimension", value, x, y);
  }
  std::shared_ptr<FakeEntity> mark(const std::string& text, double x, double y,
                                   const std::string& layer = "MARKS",
                                   int color = 1) {
    auto e = addText(text, x, y);
    e->layer = layer;
    e->color = color;
    return e;
  }
  marking::Markfrm& markfrm() { return program->markfrm; }
  // "已经标号", the way of recognising, "确认".
  void adopt(bool byColor = false) {
    f().ComHadmark->userClick();
    ASSERT_TRUE(markfrm().visible());
    (byColor ? markfrm().Optcolor : markfrm().Optlayout)->userClick();
    markfrm().ComConfirm->userClick();
  }
  std::vector<std::string> values() {
    std::vector<std::string> out;
    for (const auto& r : rows()) out.push_back(r.value);
    return out;
  }
};

}  // namespace

TEST_F(Adopting, QualifyingTextsOnTheCurrentLayerGiveTheirNumbers) {
  dim(30, 70, 11);
  dim(60, 20, 22);
  dim(150, 60, 33);
  mark("12", 55, 22);
  mark(" 7", 145, 62);
  mark("3A", 25, 71);
  for (const char* no : {"12.5", "0", "A3", "%%c12"}) mark(no, 150, 58);
  mark("5", 150, 61, "marks");  // another layer: letter case counts
  mark("9", 150, 61, "NOTES");
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  adopt();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(markfrm().visible());
  EXPECT_EQ(markfrm().markSetting, "MARKS");
  // Rows in the order of the numbers, each with its own.
  EXPECT_EQ(values(), (std::vector<std::string>{"11", "33", "22"}));
  EXPECT_EQ(marknums(), (std::vector<int>{3, 7, 12}));
  EXPECT_EQ(f().Combo1->list(),
            (std::vector<std::string>{"3------11", "7------33", "12------22"}));
  EXPECT_EQ(f().markedCount, 3);
  EXPECT_EQ(f().adoptNext, 4);
  EXPECT_EQ(rec(1).markText, "3A");
  EXPECT_TRUE(f().FrmDimen->enabled());
  // Adopted marks have no entities the mark menu could edit.
  for (auto* item :
       {f().mnuAutomark, f().mnuPartmark, f().mnuFreemark, f().mnuHadmark,
        f().mnuUndo, f().mnuScalemax, f().mnuScalemin, f().mnuMovemark,
        f().mnuColor, f().mnuLayout})
    EXPECT_FALSE(item->enabled()) << item->name();
}

TEST_F(Adopting, ByColourOnlyTextsOfThatColourNumber) {
  dim(10, 10, 1);
  dim(50, 10, 2);
  mark("1", 12, 10, "0", 1);
  mark("2", 52, 10, "0", 256);  // red only through its layer
  doc->variables["CECOLOR"] = std::string("1");
  open();
  adopt(true);
  EXPECT_EQ(marknums(), (std::vector<int>{1}));
  EXPECT_EQ(values(), (std::vector<std::string>{"1"}));
}

TEST_F(Adopting, ByColourRefusesByLayerAndByBlock) {
  dim(10, 10, 1);
  mark("1", 12, 10);
  for (const char* setting : {"bylayer", "byblock"}) {
    doc->variables["CECOLOR"] = std::string(setting);
    if (!f().dbPath.empty()) fs::remove(f().dbPath);
    open();
    adopt(true);
    EXPECT_EQ(messages(), (std::vector<std::string>{"标号必须为具体的颜色！"}));
    EXPECT_TRUE(markfrm().visible());  // still open, nothing adopted
    EXPECT_TRUE(rows().empty());
  }
  // Told by layer instead, in the same window.
  doc->variables["CLAYER"] = std::string("MARKS");
  markfrm().Optlayout->userClick();
  markfrm().ComConfirm->userClick();
  EXPECT_EQ(marknums(), (std::vector<int>{1}));
}

TEST_F(Adopting, TwoMarksNearOneDimensionTheFirstTakesIt) {
  dim(10, 10, 1);
  dim(40, 10, 2);
  mark("5", 11, 10);  // first in the drawing
  mark("6", 10, 11);  // as near, but later
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  adopt();
  EXPECT_EQ(values(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(marknums(), (std::vector<int>{5, 6}));
}

TEST_F(Adopting, OfDimensionsEquallyNearTheLaterPositionIsTaken) {
  dim(0, 10, 1);
  dim(20, 10, 2);
  mark("4", 10, 10);
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  adopt();
  EXPECT_EQ(values(), (std::vector<std::string>{"2"}));
}

TEST_F(Adopting, ReachEndsAtAThousandUnitsAndAtTheLastDimension) {
  dim(0, 0, 1);
  dim(5000, 0, 2);
  mark("1", 1000, 0);  // exactly 1000 from the first
  mark("2", 3000, 0);  // 2000 from both: no mark of theirs
  mark("3", 5001, 0);  // the second
  mark("4", 5002, 0);  // more marks than dimensions
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  adopt();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(values(), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(marknums(), (std::vector<int>{1, 3}));
}

TEST_F(Adopting, NothingToAdoptIsToldAndTheWindowStays) {
  dim(10, 10, 1);
  mark("1", 12, 10, "OTHER");
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  adopt();
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("MARKS"), std::string::npos) << m[0];
  EXPECT_TRUE(markfrm().visible());
  EXPECT_TRUE(rows().empty());
  EXPECT_FALSE(f().FrmDimen->enabled());
}

TEST_F(Adopting, TheWindowKeepsItsChoiceUntilCancelled) {
  dim(10, 10, 1);
  open();
  f().ComHadmark->userClick();
  EXPECT_EQ(markfrm().caption(), "标号特征窗口");
  EXPECT_EQ(markfrm().Optlayout->value(), 1);
  markfrm().Optcolor->userClick();
  doc->variables["CECOLOR"] = std::string("1");
  markfrm().ComConfirm->userClick();  // nothing qualifies: told
  messages();
  markfrm().hide();
  f().ComHadmark->userClick();
  EXPECT_EQ(markfrm().Optcolor->value(), 1);
  markfrm().ComCancel->userClick();
  EXPECT_FALSE(markfrm().loaded());
  f().ComHadmark->setEnabled(true);
  f().ComHadmark->userClick();
  EXPECT_EQ(markfrm().Optlayout->value(), 1);
}

TEST_F(Adopting, ADrawingNumberedSinceItOpenedIsNotAdoptedOnTop) {
  dim(10, 10, 1);
  mark("1", 12, 10);
  doc->variables["CLAYER"] = std::string("MARKS");
  open();
  doc->utility.picks = {Point{10, 10, 0}, std::nullopt};
  f().ComFree->userClick();
  ASSERT_EQ(rows().size(), 1u);
  f().mnuHadmark->setEnabled(true);
  f().mnuHadmark->userClick();
  markfrm().ComConfirm->userClick();
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(rows().size(), 1u);
  EXPECT_EQ(marknums(), (std::vector<int>{1}));
}
