// Readings entered one after the other: Enter stores each at once and
// moves on in the order chosen; a reading that is no number stays where it
// was typed; Backspace in an empty box goes back one step.
#include "browse/entry_keys.h"

#include <utility>
#include <vector>

#include "browse/browser.h"
#include "dimtable/dimtable.h"
#include "intake_fixture.h"

using namespace intake_test;

namespace {

using Step = std::pair<int, int>;  // position, sample box

class Entry : public Intake {
 protected:
  // Three numbered dimensions 10, 20 and 30 (general tolerance ±0.3).
  void numbered(int count = 3) {
    add("AcDbLine");
    for (int i = 0; i < count; ++i) {
      auto e = addDim("AcDbRotatedDimension", 10.0 * (i + 1), 10.0 * i, 0,
                      std::to_string(10 * (i + 1)));
      e->color = 256;
    }
    open();
    f().comSort->userClick();
    ASSERT_EQ(f().Combo1->listCount(), count);
    desktop.takeMessages();
    f().CheCont->userClick();
    focus = 0;
  }
  // A gauge's reading and its Enter into the box that has the focus.
  void reading(const std::string& text) {
    auto* box = f().Text7[static_cast<size_t>(focus)];
    ASSERT_TRUE(box->userType(text)) << "box " << focus << " not reachable";
    EXPECT_EQ(box->userKeyPress(13), 0);
    if (auto* asked = f().takeFocusRequest()) focus = asked->index();
  }
  int backspace() {
    const int left = f().Text7[static_cast<size_t>(focus)]->userKeyPress(8);
    if (auto* asked = f().takeFocusRequest()) focus = asked->index();
    return left;
  }
  Step where() { return {f().Combo1->listIndex() + 1, focus}; }
  std::optional<float> stored(int p, int k) {
    return program->ctx.samples[static_cast<size_t>(p)][static_cast<size_t>(k)];
  }
  std::map<std::int32_t, dimtable::Measurement> inDatabase() {
    dimtable::Connection db;
    db.Open((dir / "work/part7.mdb").string());
    return db.LoadMeasurements();
  }
  int focus = 0;
};

}  // namespace

TEST_F(Entry, ByDimensionFillsEachDimensionThenTheNext) {
  numbered();
  f().Combo3->userSelect(4);  // five samples each
  std::vector<Step> path;
  for (int n = 1; n <= 15; ++n) {
    path.push_back(where());
    reading(std::to_string(10 * ((n - 1) / 5 + 1)) + ".0" +
            std::to_string(n % 10));
    // Stored at once, in the database too: nothing waits for a move.
    const int p = (n - 1) / 5 + 1, k = (n - 1) % 5 + 1;
    EXPECT_TRUE(stored(p, k)) << n;
    EXPECT_TRUE(inDatabase().at(p).samples[static_cast<size_t>(k - 1)]) << n;
  }
  const std::vector<Step> expected = {{1, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4},
                                      {2, 0}, {2, 1}, {2, 2}, {2, 3}, {2, 4},
                                      {3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}};
  EXPECT_EQ(path, expected);
  // The very end: the focus stays on the last box.
  EXPECT_EQ(where(), (Step{3, 4}));
  EXPECT_EQ(stored(2, 3), 20.08f);
  EXPECT_EQ(program->ctx.sampleCounts[3], 5);
  EXPECT_TRUE(messages().empty());
}

TEST_F(Entry, BySampleGoesRoundTheDimensionsAndTheCountGrowsToFive) {
  numbered();
  f().OptBySample->userClick();
  ASSERT_EQ(f().Combo3->listIndex(), 1);  // two samples to begin with
  std::vector<Step> path;
  for (int n = 0; n < 15; ++n) {
    path.push_back(where());
    const int p = n % 3 + 1, k = n / 3 + 1;
    reading(std::to_string(10 * p) + ".00" + std::to_string(k));
  }
  std::vector<Step> expected;
  for (int k = 0; k < 5; ++k)
    for (int p = 1; p <= 3; ++p) expected.push_back({p, k});
  EXPECT_EQ(path, expected);
  for (int p = 1; p <= 3; ++p) {
    EXPECT_EQ(program->ctx.sampleCounts[static_cast<size_t>(p)], 5) << p;
    for (int k = 1; k <= 5; ++k)
      EXPECT_EQ(stored(p, k),
                std::stof(std::to_string(10 * p) + ".00" + std::to_string(k)))
          << p << "/" << k;
  }
  // Nothing beyond the fifth sample: the last reading leaves the focus
  // where it was.
  EXPECT_EQ(where(), (Step{3, 4}));
  // The panel shows the dimension it is on, and the drawing's list too.
  EXPECT_EQ(f().Text4->text(), "30");
}

TEST_F(Entry, AReadingThatIsNoNumberStaysWhereItWasTyped) {
  numbered();
  reading("１０。０２ｍｍ");  // an input method in Chinese punctuation mode
  EXPECT_EQ(stored(1, 1), 10.02f);
  EXPECT_EQ(where(), (Step{1, 1}));
  reading("1O.03");  // a letter O for a zero
  EXPECT_EQ(where(), (Step{1, 1}));
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0], "样本2：“1O.03”不是有效数字");
  EXPECT_EQ(program->ctx.sampleCounts[1], 2);
  EXPECT_FALSE(stored(1, 2));
  EXPECT_EQ(f().Text7[1]->text(), "1O.03");  // left for the user to correct
  reading("0.5 in");
  EXPECT_EQ(messages(), (std::vector<std::string>{
                            "样本2：“0.5 in”是英寸读数：请把量具设为毫米"}));
  reading("10.03");
  EXPECT_EQ(stored(1, 2), 10.03f);
  EXPECT_EQ(where(), (Step{2, 0}));
  // The box shows what was kept.
  f().ComFirst->userClick();
  EXPECT_EQ(f().Text7[0]->text(), "10.02");
}

TEST_F(Entry, AnNgReadingRingsTheBellAndShowsRed) {
  numbered();
  reading("10.1");
  EXPECT_EQ(desktop.beeps(), 0);
  auto* box = f().Text7[1];
  box->userType("10.5");  // beyond 10 + 0.3: red as it is typed
  EXPECT_EQ(box->backColor(), browse::kNgBoxColor);
  EXPECT_EQ(f().Text7[0]->backColor(), -1);
  box->userKeyPress(13);
  EXPECT_EQ(desktop.beeps(), 1);
  EXPECT_EQ(stored(1, 2), 10.5f);
  // On the next dimension the boxes show its own readings' colours.
  EXPECT_EQ(f().Text7[1]->backColor(), -1);
  f().ComFirst->userClick();
  EXPECT_EQ(f().Text7[1]->backColor(), browse::kNgBoxColor);
}

TEST_F(Entry, BackspaceInAnEmptyBoxGoesBackOneStep) {
  numbered();
  f().Combo3->userSelect(2);  // three samples
  for (const char* r : {"10", "10.01", "10.02", "20"}) reading(r);
  ASSERT_EQ(where(), (Step{2, 1}));
  // Backspace in a box with text is the box's own.
  f().Text7[1]->userType("2");
  EXPECT_EQ(backspace(), 8);
  EXPECT_EQ(where(), (Step{2, 1}));
  f().Text7[1]->userType("");
  EXPECT_EQ(backspace(), 0);
  EXPECT_EQ(where(), (Step{2, 0}));
  EXPECT_EQ(backspace(), 8);  // "20" is there: the key deletes in it
  f().Text7[0]->userType("");
  backspace();
  EXPECT_EQ(where(), (Step{1, 2}));  // the last sample of the one before
  EXPECT_EQ(f().Text7[2]->text(), "10.02");
  // Emptied and left: the dimension keeps the others.
  reading("10.05");
  EXPECT_EQ(stored(1, 3), 10.05f);
  EXPECT_FALSE(stored(2, 1));

  // By sample: back through the dimensions, and from the first to the
  // previous sample of the last.
  f().OptBySample->userClick();
  f().ComFirst->userClick();
  focus = 1;
  f().Text7[1]->userType("");
  backspace();
  EXPECT_EQ(where(), (Step{3, 0}));
  f().Text7[0]->userType("");
  backspace();
  EXPECT_EQ(where(), (Step{2, 0}));
}

TEST_F(Entry, WithoutContinuousEntryEnterOnlyMoves) {
  numbered();
  f().CheCont->userClick();  // off again
  f().Text7[0]->userType("10.01");
  EXPECT_EQ(f().Text7[0]->userKeyPress(13), 0);
  focus = f().takeFocusRequest()->index();
  EXPECT_EQ(focus, 1);
  // Kept when the dimension is left, as ever; not before.
  EXPECT_FALSE(stored(1, 1));
  f().Text7[1]->userType("abc");
  EXPECT_EQ(f().Text7[1]->userKeyPress(8), 8);
}

TEST_F(Entry, TheModeAndTheOrderAreKeptForTheNextRun) {
  numbered();
  f().OptBySample->userClick();
  EXPECT_EQ(desktop.setting(browse::kContinuousSetting), "1");
  EXPECT_EQ(desktop.setting(browse::kOrderSetting), "sample");
  // The next run on the same desktop starts so.
  app::Program next(
      desktop,
      [this](const std::string&) {
        return std::static_pointer_cast<cadhost::Application>(host);
      },
      nullptr, dir.path());
  next.start();
  next.splash.Timer1->tick();
  EXPECT_EQ(next.main.CheCont->value(), 1);
  EXPECT_EQ(next.main.OptBySample->value(), 1);
  EXPECT_EQ(next.main.OptByDimension->value(), 0);
  // A fresh desktop has kept nothing.
  forms::AnswerQueue q;
  forms::ScriptedDesktop fresh(q);
  app::Program first(
      fresh,
      [this](const std::string&) {
        return std::static_pointer_cast<cadhost::Application>(host);
      },
      nullptr, dir.path());
  first.start();
  first.splash.Timer1->tick();
  EXPECT_EQ(first.main.CheCont->value(), 0);
  EXPECT_EQ(first.main.OptByDimension->value(), 1);
  // The sample boxes keep the input method out.
  for (auto* box : first.main.Text7) EXPECT_FALSE(box->inputMethod());
}

// A note between dimensions takes 合格/不合格 from its lists, never a
// gauge's reading: both orders pass over it. A frame's reading is judged
// from 0 to its tolerance, not against its text.
TEST_F(Entry, NotesArePassedOverAndFramesJudgedByTheirTolerance) {
  numbered();
  auto& rows = program->ctx.dimRecords;
  rows[2].type = "技术要求";
  rows[2].value = "1. 去毛刺";
  rows[3].type = "形位公差/位置度";
  rows[3].value = "⌖ Ø0.1 | A";
  rows[3].up = 0.1f;
  rows[3].low = 0;
  rows[3].bound = dimtable::Bound::Upper;
  f().Combo3->userSelect(1);  // two samples each
  std::vector<Step> path;
  for (const char* r : {"10.01", "10.02", "0.05", "0.2"}) {
    path.push_back(where());
    reading(r);
  }
  EXPECT_EQ(path, (std::vector<Step>{{1, 0}, {1, 1}, {3, 0}, {3, 1}}));
  EXPECT_FALSE(stored(2, 1));
  EXPECT_EQ(stored(3, 1), 0.05f);
  // 0.2 lies outside the frame's 0.1: one bell, and its box red.
  EXPECT_EQ(desktop.beeps(), 1);
  EXPECT_EQ(f().Text7[1]->backColor(), browse::kNgBoxColor);
  EXPECT_EQ(f().Text7[0]->backColor(), -1);

  // Back over the note too, and round it by sample.
  EXPECT_EQ(f().Text7[1]->text(), "0.2");
  f().Text7[1]->userType("");
  backspace();
  EXPECT_EQ(where(), (Step{3, 0}));
  f().Text7[0]->userType("");
  backspace();
  EXPECT_EQ(where(), (Step{1, 1}));

  f().OptBySample->userClick();
  f().ComFirst->userClick();
  focus = 0;
  path.clear();
  for (const char* r : {"10.01", "0.01", "10.02"}) {
    path.push_back(where());
    reading(r);
  }
  EXPECT_EQ(path, (std::vector<Step>{{1, 0}, {3, 0}, {1, 1}}));
  EXPECT_FALSE(stored(2, 1));
}
