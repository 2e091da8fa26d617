// Walking, searching and showing the numbered dimensions, and the
// measurement panel following the current one.
#include "browse/browser.h"

#include "intake_fixture.h"

using namespace intake_test;
using forms::QueuedAnswer;

namespace {

class Browser : public Intake {
 protected:
  // Numbered dimensions with the given values, left to right.
  void numbered(const std::vector<std::string>& values) {
    add("AcDbLine");
    add("AcDbLine");
    double x = 0;
    for (const auto& v : values) {
      auto e = addDim("AcDbRotatedDimension", 1, x, 2 * x, v);
      e->color = 256;
      x += 10;
    }
    open();
    f().comSort->userClick();
    ASSERT_EQ(f().Combo1->listCount(), static_cast<int>(values.size()));
    desktop.takeMessages();
  }
  void type(int box, const std::string& text) {
    f().Text7[static_cast<size_t>(box)]->userType(text);
  }
  std::string box(int i) { return f().Text7[static_cast<size_t>(i)]->text(); }
  int selected() { return f().Combo1->listIndex(); }
};

}  // namespace

TEST_F(Browser, WalkingSavesTheDimensionLeftAndRestoresTheOneReached) {
  numbered({"A1", "A2", "A3"});
  type(0, "1.02");
  type(1, "1.01");
  f().Option3[3]->userClick();
  f().ComNext->userClick();
  EXPECT_EQ(selected(), 1);
  EXPECT_EQ(f().currentPosition, 2);
  EXPECT_EQ(f().Text4->text(), "A2");
  auto& ctx = program->ctx;
  EXPECT_EQ(ctx.sampleCounts[1], 2);
  EXPECT_EQ(ctx.samples[1][1], 1.02f);
  EXPECT_EQ(ctx.samples[1][2], 1.01f);
  EXPECT_EQ(ctx.instrumentCodes[1], "CMM");
  // Nothing stored for position 2: the boxes keep what they showed.
  EXPECT_EQ(box(0), "1.02");
  type(0, "2");
  f().Option3[7]->userClick();
  f().ComProious->userClick();
  EXPECT_EQ(selected(), 0);
  EXPECT_EQ(box(0), "1.02");
  EXPECT_EQ(f().Option3[3]->value(), 1);
  EXPECT_EQ(ctx.instrumentCodes[2], "AG");
  // Restoring position 2 selects its instrument again.
  f().ComNext->userClick();
  EXPECT_EQ(f().Option3[7]->value(), 1);
  EXPECT_EQ(box(0), "2");
}

TEST_F(Browser, TheEndsOfTheListSaveAndStay) {
  numbered({"A1", "A2", "A3"});
  f().ComLast->userClick();
  EXPECT_EQ(selected(), 2);
  EXPECT_EQ(f().Text4->text(), "A3");
  type(0, "7");
  f().ComNext->userClick();  // at the last entry: only the save
  EXPECT_EQ(selected(), 2);
  EXPECT_EQ(program->ctx.samples[3][1], 7.0f);
  f().ComFirst->userClick();
  EXPECT_EQ(selected(), 0);
  type(0, "8");
  f().ComProious->userClick();  // at the first: save, then reload it
  EXPECT_EQ(selected(), 0);
  EXPECT_EQ(box(0), "8");
  EXPECT_EQ(f().Text4->text(), "A1");
}

TEST_F(Browser, TheMenuRunsTheSameNavigation) {
  numbered({"A1", "A2", "A3"});
  f().mnuLast->userClick();
  EXPECT_EQ(selected(), 2);
  f().mnufirst->userClick();
  EXPECT_EQ(selected(), 0);
  f().mnuNext->userClick();
  EXPECT_EQ(selected(), 1);
  f().mnuPr->userClick();
  EXPECT_EQ(selected(), 0);
}

TEST_F(Browser, SampleBoxesAreReadAsLeadingNumbers) {
  numbered({"A1", "A2"});
  f().Combo3->userSelect(2);  // three samples
  EXPECT_TRUE(f().Text7[2]->visible());
  EXPECT_FALSE(f().Text7[3]->visible());
  EXPECT_EQ(program->ctx.sampleCounts[1], 3);
  type(0, "1.02");
  type(1, "");
  type(2, "abc");
  f().ComNext->userClick();
  auto& ctx = program->ctx;
  EXPECT_EQ(ctx.sampleCounts[1], 3);
  EXPECT_EQ(ctx.samples[1][1], 1.02f);
  EXPECT_EQ(ctx.samples[1][2], 0);
  EXPECT_EQ(ctx.samples[1][3], 0);
  f().Combo3->userSelect(4);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(f().Text7[i]->visible());
  f().Combo3->userSelect(1);
  EXPECT_FALSE(f().Label13[2]->visible());
  EXPECT_FALSE(f().Text7[4]->visible());
}

TEST_F(Browser, MarkNumberSearchReadsTheFirstThreeCharacters) {
  numbered({"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"});
  f().CSearch3->userSelect(7);
  f().Text2->userType("leftover");
  f().ComSearch->userClick();
  EXPECT_EQ(selected(), 6);
  EXPECT_EQ(f().Text4->text(), "A7");
  EXPECT_EQ(f().Text2->text(), "");
  // 0, 0, 0 matches nothing: the dimension stays.
  f().CSearch3->userSelect(0);
  f().ComSearch->userClick();
  EXPECT_EQ(selected(), 6);
  // Beyond dimCount + 1 the search stops before clearing the value box.
  f().Text2->userType("kept");
  f().CSearch2->userSelect(1);  // 10 > 8 + 1
  f().ComSearch->userClick();
  EXPECT_EQ(f().Text2->text(), "kept");
  f().CSearch2->userSelect(0);
  f().CSearch3->userSelect(9);  // 9 = dimCount + 1: walks, finds nothing
  f().ComSearch->userClick();
  EXPECT_EQ(f().Text2->text(), "");
  EXPECT_EQ(selected(), 6);
}

TEST_F(Browser, ValueSearchAsksAtEveryMatch) {
  numbered({"25.40", "25.4", "25.40", "10"});
  f().Text2->userType("  25.40 ");
  queue.push(QueuedAnswer::of(QueuedAnswer::Type::Yes));
  queue.push(QueuedAnswer::of(QueuedAnswer::Type::No));
  f().ComFind->userClick();
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[0].text, "已经发现一个尺寸，是否继续搜索?");
  EXPECT_EQ(m[0].buttons, forms::Buttons::YesNo);
  EXPECT_EQ(m[2].text, "搜索完毕!");
  EXPECT_EQ(selected(), 2);  // the second match, where No was answered

  f().Text2->userType("99");
  f().ComFind->userClick();
  m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "没有发现!");
}

TEST_F(Browser, ShowingPaintsTheDimensionAndGivesTheLastOneBack) {
  numbered({"A1", "A2", "A3"});
  auto dims = doc->modelSpace.items;
  auto& first = *dims[2];  // position 1 is entity 2
  auto& second = *dims[3];
  // The first review gives position 1 the colour read from model space
  // item 1 at extraction (7 here), then paints it.
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 1);  // red
  EXPECT_EQ(f().firstEntityColor, 7);
  ASSERT_EQ(host->zooms.size(), 1u);
  EXPECT_EQ(host->zooms[0].second, 100.0);
  EXPECT_EQ(*first.primaryPrecision, 2);
  // Twice on the same one: it stays painted, its own colour kept.
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 1);
  EXPECT_EQ(f().firstEntityColor, 7);
  // Another colour, another dimension: the first gets its colour back.
  f().Combo2->userSelect(2);
  EXPECT_EQ(f().highlightColor, 3);
  EXPECT_EQ(f().Label10->backColor(), 0x00FF00);
  f().ComNext->userClick();
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 7);
  EXPECT_EQ(*second.color, 3);
  EXPECT_EQ(f().firstEntityColor, 256);
  EXPECT_EQ(f().lastReviewed, 2);
  EXPECT_TRUE(desktop.activations().size() >= 3u);
  EXPECT_EQ(desktop.activations().back(), "Fake CAD");
}

TEST_F(Browser, ShowingAnAngleSetsItsTextPrecision) {
  add("AcDbLine");
  add("AcDbLine");
  auto a = addDim("AcDb2LineAngularDimension", 0.5, 1, 1);
  open();
  f().comSort->userClick();
  doc->variables["DIMDEC"] = 1.0;
  f().ComReview->userClick();
  EXPECT_EQ(*a->textPrecision, 1);
  EXPECT_EQ(f().dimDecimals, 1);
  EXPECT_EQ(*a->tolerancePrecision, 1);
}

TEST_F(Browser, AClosedHostIsSkippedSilently) {
  numbered({"A1", "A2"});
  host->quit = true;
  for (auto& e : doc->modelSpace.items) e->failAll = true;
  f().ComReview->userClick();
  EXPECT_TRUE(desktop.takeMessages().empty());
  EXPECT_EQ(f().lastReviewed, 1);
}

TEST_F(Browser, AnEntryOfAKindNotReadPaintsNothing) {
  add("AcDbLine");
  auto frame = doc->modelSpace.items[0];
  add("AcDbLine");
  auto arc = addDim("AcDbArcDimension", 7, 5, 5);  // an empty entry
  open();
  f().comSort->userClick();
  ASSERT_EQ(program->ctx.dimRecords[1].type, "");
  f().ComReview->userClick();
  f().ComNext->userClick();
  f().ComReview->userClick();
  EXPECT_EQ(*frame->color, 7);  // entity 0 is left alone
  EXPECT_EQ(*arc->color, 7);
  EXPECT_EQ(host->zooms.size(), 2u);
}
