// Walking, searching and showing the numbered dimensions, and the
// measurement panel following the current one.
#include "browse/browser.h"

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include <algorithm>
#include <map>

#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "fakes/unprivileged.h"

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
  // Nothing stored for position 2: its boxes are empty, the instrument in
  // hand stays chosen for the next measurement.
  EXPECT_EQ(box(0), "");
  EXPECT_EQ(box(1), "");
  EXPECT_EQ(f().Option3[3]->value(), 1);
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
  EXPECT_EQ(box(1), "");
}

TEST_F(Browser, OnlyTheDimensionsMeasuredStoreSamples) {
  numbered({"A1", "A2", "A3", "A4", "A5"});
  auto& ctx = program->ctx;
  f().ComNext->userClick();
  type(0, "3.5");
  type(1, "3.51");
  for (int i = 0; i < 4; ++i) f().ComNext->userClick();
  f().ComFirst->userClick();
  for (int p : {1, 3, 4, 5}) {
    EXPECT_EQ(ctx.sampleCounts[static_cast<size_t>(p)], 0) << p;
    EXPECT_EQ(ctx.instrumentCodes[static_cast<size_t>(p)], "") << p;
    for (int k = 1; k <= 5; ++k)
      EXPECT_EQ(ctx.samples[static_cast<size_t>(p)][static_cast<size_t>(k)],
                std::nullopt);
  }
  EXPECT_EQ(ctx.sampleCounts[2], 2);
  EXPECT_EQ(ctx.samples[2][2], 3.51f);
  EXPECT_EQ(ctx.instrumentCodes[2], "DC");

  // Emptying the boxes of a measured dimension takes its measurement away.
  f().ComNext->userClick();
  EXPECT_EQ(box(1), "3.51");
  type(0, "");
  type(1, " ");
  f().ComNext->userClick();
  EXPECT_EQ(ctx.sampleCounts[2], 0);
  EXPECT_EQ(ctx.samples[2][1], std::nullopt);
}

TEST_F(Browser, ABoxThatIsNoNumberIsRefusedAndTheMoveWaits) {
  numbered({"A1", "A2", "A3"});
  auto& ctx = program->ctx;
  f().Combo3->userSelect(2);  // three samples
  type(0, "1.02");
  type(1, "");
  type(2, "abc");
  f().ComNext->userClick();
  EXPECT_EQ(messages(), std::vector<std::string>{"样本3：“abc”不是有效数字"});
  EXPECT_EQ(selected(), 0);
  EXPECT_EQ(ctx.sampleCounts[1], 0);
  EXPECT_EQ(box(2), "abc");

  // Picked in the list: the list goes back to the dimension in hand.
  f().Combo1->userSelect(2);
  EXPECT_EQ(messages(), std::vector<std::string>{"样本3：“abc”不是有效数字"});
  EXPECT_EQ(selected(), 0);
  EXPECT_EQ(f().currentPosition, 1);
  EXPECT_EQ(f().Text4->text(), "A1");

  for (const char* bad :
       {"12abc", "1,500", "1 2", "1e40", "1e-50", "--1", "."}) {
    type(2, bad);
    f().ComLast->userClick();
    auto m = messages();
    ASSERT_EQ(m.size(), 1u) << bad;
    EXPECT_EQ(m[0].rfind(std::string("样本3：“") + bad + "”", 0), 0u) << m[0];
    EXPECT_EQ(selected(), 0) << bad;
  }

  // Corrected, with full-width digits from an input method: the move goes on.
  type(2, "１．０３");
  f().ComNext->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(selected(), 1);
  EXPECT_EQ(ctx.sampleCounts[1], 3);
  EXPECT_EQ(ctx.samples[1][1], 1.02f);
  EXPECT_EQ(ctx.samples[1][2], std::nullopt);  // empty: not measured
  EXPECT_EQ(ctx.samples[1][3], 1.03f);
}

TEST_F(Browser, ADimensionWithMoreSamplesShowsThemAll) {
  numbered({"A1", "A2"});
  f().Combo3->userSelect(4);  // five
  for (int i = 0; i < 5; ++i) type(i, std::to_string(i + 1));
  f().ComNext->userClick();
  f().Combo3->userSelect(1);  // two for the next one
  f().ComProious->userClick();
  // All five come back, so leaving again drops none of them.
  EXPECT_EQ(f().Combo3->listIndex(), 4);
  EXPECT_TRUE(f().Text7[4]->visible());
  EXPECT_EQ(box(4), "5");
  f().ComNext->userClick();
  EXPECT_EQ(program->ctx.sampleCounts[1], 5);
  // A count lowered by the user keeps only the boxes still shown.
  f().ComProious->userClick();
  f().Combo3->userSelect(2);
  f().ComNext->userClick();
  EXPECT_EQ(program->ctx.sampleCounts[1], 3);
  EXPECT_EQ(program->ctx.samples[1][4], std::nullopt);
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

TEST_F(Browser, TheSampleCountShowsAndHidesBoxes) {
  numbered({"A1", "A2"});
  f().Combo3->userSelect(2);  // three samples
  EXPECT_TRUE(f().Text7[2]->visible());
  EXPECT_FALSE(f().Text7[3]->visible());
  // Choosing a count stores nothing by itself.
  EXPECT_EQ(program->ctx.sampleCounts[1], 0);
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
  first.color = 5;
  // The colour read from item 1 at extraction (7) is no dimension's: the
  // first review gives nothing back, it reads position 1's and paints.
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 1);  // red
  EXPECT_EQ(f().firstEntityColor, 5);
  ASSERT_EQ(host->zooms.size(), 1u);
  EXPECT_EQ(host->zooms[0].second, 100.0);
  EXPECT_EQ(*first.primaryPrecision, 2);
  // Twice on the same one: it stays painted, its own colour kept.
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 1);
  EXPECT_EQ(f().firstEntityColor, 5);
  // Another colour: the dimension on show takes it at once.
  f().Combo2->userSelect(2);
  EXPECT_EQ(f().highlightColor, 3);
  EXPECT_EQ(f().Label10->backColor(), 0x00FF00);
  EXPECT_EQ(*first.color, 3);
  // Another dimension: the first gets its own colour back.
  f().ComNext->userClick();
  f().ComReview->userClick();
  EXPECT_EQ(*first.color, 5);
  EXPECT_EQ(*second.color, 3);
  EXPECT_EQ(f().firstEntityColor, 256);
  EXPECT_EQ(f().lastReviewed, 2);
  EXPECT_TRUE(desktop.activations().size() >= 3u);
  EXPECT_EQ(desktop.activations().back(), "Fake CAD");
}

TEST_F(Browser, OnceShownTheDrawingFollowsEveryMove) {
  numbered({"A1", "A2", "A3"});
  auto& items = doc->modelSpace.items;
  FakeEntity* dims[4] = {nullptr, items[2].get(), items[3].get(),
                         items[4].get()};
  dims[1]->color = 5;
  dims[2]->color = 6;
  auto colours = [&] {
    return std::vector<int>{*dims[1]->color, *dims[2]->color, *dims[3]->color};
  };
  // A walk alone neither edits the drawing nor moves its view.
  f().ComNext->userClick();
  f().ComFirst->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 6, 256}));
  EXPECT_TRUE(host->zooms.empty());

  f().ComReview->userClick();  // "浏览": position 1 shown
  EXPECT_EQ(colours(), (std::vector<int>{1, 6, 256}));
  const size_t shown = desktop.activations().size();
  const size_t steps = doc->modelSpace.undo.size();
  f().ComNext->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 1, 256}));
  // Brought into view as "浏览" does, in one step of the host's undo, and
  // the panel keeps the focus.
  ASSERT_EQ(host->zooms.size(), 2u);
  EXPECT_EQ(host->zooms.back().first, (cadhost::Point{10, 20, 0}));
  EXPECT_EQ(doc->modelSpace.undo.size(), steps + 1);
  EXPECT_EQ(desktop.activations().size(), shown);
  doc->SendCommand("Undo\r\r");
  EXPECT_EQ(colours(), (std::vector<int>{1, 6, 256}));
  doc->SendCommand("Undo\r\r");  // and "浏览" itself is one step too
  EXPECT_EQ(colours(), (std::vector<int>{5, 6, 256}));
  f().ComReview->userClick();

  // Every other move: last, previous, the list, the two searches.
  f().ComLast->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 6, 1}));
  f().ComProious->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 1, 256}));
  f().Combo1->userSelect(0);
  EXPECT_EQ(colours(), (std::vector<int>{1, 6, 256}));
  f().CSearch3->userSelect(3);
  f().ComSearch->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 6, 1}));
  f().Text2->userType("A2");
  queue.push(QueuedAnswer::of(QueuedAnswer::Type::No));
  f().ComFind->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 1, 256}));
  // No move, no change: "后一尺寸" stays on the last one painted.
  f().ComLast->userClick();
  const size_t before = doc->modelSpace.undo.size();
  f().ComNext->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 6, 1}));
  EXPECT_EQ(doc->modelSpace.undo.size(), before);
  // A sample box to correct first: the move is refused, and so is the
  // drawing's.
  f().ComProious->userClick();
  type(0, "abc");
  f().ComNext->userClick();
  EXPECT_EQ(colours(), (std::vector<int>{5, 1, 256}));
}

TEST_F(Browser, AnotherDrawingGetsNoColourOfTheLastOne) {
  numbered({"A1", "A2"});
  f().ComNext->userClick();
  f().ComReview->userClick();  // position 2 painted, 256 kept
  // The next drawing opens; its position 2 must not be given 256, nor
  // its position 1 anything, before it is shown.
  auto before = doc;
  dir.write("work/part8.dxf", "0\nEOF\n");
  drawing = (dir / "work/part8.dxf").string();
  doc = host->addDocument(drawing);
  numbered({"B1", "B2"});
  ASSERT_EQ(program->ctx.cadDoc, doc);
  auto& b1 = *doc->modelSpace.items[2];
  auto& b2 = *doc->modelSpace.items[3];
  b1.color = 2;
  b2.color = 6;
  f().Combo2->userSelect(3);
  EXPECT_EQ(*b2.color, 6);
  f().ComReview->userClick();
  EXPECT_EQ(*b1.color, 4);  // shown, in the colour chosen
  EXPECT_EQ(*b2.color, 6);
  EXPECT_EQ(f().firstEntityColor, 2);
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
  auto arc = addDim("AcDbSomeFutureDimension", 7, 5, 5);  // an empty entry
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

// What was entered lives in the drawing's database from the moment the
// dimension is left: a killed program loses nothing of it.
TEST_F(Browser, MeasurementsSurviveAKilledProgram) {
  numbered({"A1", "A2", "A3", "A4"});
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    type(0, "1.5");
    f().ComNext->userClick();
    type(0, "2.5");
    type(1, "2.75");
    f().Option3[1]->userClick();
    f().ComNext->userClick();
    f().Combo3->userSelect(2);
    type(2, "3.25");
    f().ComNext->userClick();
    type(0, "4.5");  // still being typed when the program dies
    ::raise(SIGKILL);
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(WTERMSIG(status), SIGKILL);

  // Opened again and loaded with "已经标号".
  open();
  ASSERT_FALSE(f().newDatabase);
  f().ComHadmark->userClick();
  EXPECT_TRUE(messages().empty());
  auto& ctx = program->ctx;
  EXPECT_EQ(box(0), "1.5");
  EXPECT_EQ(ctx.sampleCounts[1], 2);
  EXPECT_EQ(ctx.samples[1][1], 1.5f);
  EXPECT_EQ(ctx.samples[1][2], std::nullopt);
  EXPECT_EQ(ctx.samples[2][2], 2.75f);
  EXPECT_EQ(ctx.instrumentCodes[2], "MIC");
  EXPECT_EQ(ctx.sampleCounts[3], 3);
  EXPECT_EQ(ctx.samples[3][3], 3.25f);
  EXPECT_EQ(ctx.sampleCounts[4], 0);
  f().ComNext->userClick();
  EXPECT_EQ(box(1), "2.75");
  EXPECT_EQ(f().Option3[1]->value(), 1);
}

TEST_F(Browser, NothingCarriesOverToTheNextDrawing) {
  numbered({"A1", "A2"});
  type(0, "9.5");
  f().ComNext->userClick();
  type(0, "9.75");  // typed, not yet stored

  const std::string second = (dir / "work/part8.dxf").string();
  dir.write("work/part8.dxf", "0\nEOF\n");
  doc = host->addDocument(second);
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 1, 0, 0, "B1")->color = 256;
  addDim("AcDbRotatedDimension", 1, 10, 0, "B2")->color = 256;
  open(-1, second);
  EXPECT_EQ(box(0), "");
  f().comSort->userClick();
  desktop.takeMessages();
  EXPECT_EQ(f().Text4->text(), "B1");
  EXPECT_EQ(box(0), "");
  f().ComNext->userClick();
  auto& ctx = program->ctx;
  EXPECT_EQ(ctx.sampleCounts[1], 0);
  EXPECT_EQ(ctx.sampleCounts[2], 0);
  dimtable::Connection db;
  db.Open((dir / "work/part8.mdb").string());
  EXPECT_TRUE(db.LoadMeasurements().empty());
  dimtable::Connection first;
  first.Open((dir / "work/part7.mdb").string());
  EXPECT_EQ(first.LoadMeasurements().size(), 1u);
}

TEST_F(Browser, ADatabaseThatCannotBeWrittenKeepsTheValueAndSaysSo) {
  if (!fakes::asUnprivilegedUser()) return;
  numbered({"A1", "A2"});
  // The folder turns read-only: the database cannot keep its journal.
  fs::permissions(dir / "work", fs::perms::owner_read | fs::perms::owner_exec);
  type(0, "5.5");
  f().ComNext->userClick();
  fs::permissions(dir / "work", fs::perms::owner_all);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("测量值已保留在程序中，但没有写入尺寸数据库：", 0), 0u)
      << m[0];
  EXPECT_EQ(selected(), 1);
  EXPECT_EQ(program->ctx.samples[1][1], 5.5f);
  // The next step that can write brings the database up to date, the
  // dimension that failed included.
  type(0, "6.5");
  f().ComNext->userClick();
  EXPECT_TRUE(messages().empty());
  dimtable::Connection db;
  db.Open((dir / "work/part7.mdb").string());
  const auto stored = db.LoadMeasurements();
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored.at(1).samples[0], 5.5f);
  EXPECT_EQ(stored.at(2).samples[0], 6.5f);
}

namespace {

// The colour each entity is shown in over its own, by entity.
std::map<const cadhost::Entity*, int> shownColors(
    const fakes::FakeDocument& doc) {
  std::map<const cadhost::Entity*, int> out;
  for (const auto& [e, c] : doc.resultColors) out[e.get()] = c;
  return out;
}

}  // namespace

TEST_F(Browser, TheMarksShowTheResultsAsSamplesAreTyped) {
  numbered({"10", "20", "30"});
  auto& m = f();
  const cadhost::Entity* circle1 = m.markCircles[1].get();
  const cadhost::Entity* text1 = m.markTexts[1].get();
  EXPECT_TRUE(doc->resultColors.empty());  // nothing measured yet
  type(0, "10");
  EXPECT_EQ(shownColors(*doc),
            (std::map<const cadhost::Entity*, int>{{circle1, 3}, {text1, 3}}));
  type(0, "110");  // far outside: red at once, before it is stored
  EXPECT_EQ(shownColors(*doc)[circle1], 1);
  EXPECT_EQ(program->ctx.sampleCounts[1], 0);
  type(0, "1x");  // no number yet: what is stored shows, here nothing
  EXPECT_TRUE(doc->resultColors.empty());
  type(0, "10");
  m.ComNext->userClick();
  type(0, "999");
  auto shown = shownColors(*doc);
  EXPECT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[circle1], 3);
  EXPECT_EQ(shown[m.markTexts[2].get()], 1);
  // Emptied again: the mark goes back to its own colour.
  type(0, "");
  EXPECT_EQ(shownColors(*doc).count(m.markTexts[2].get()), 0u);
  // The judgement the colours follow is the report's.
  EXPECT_EQ(browse::verdictAt(m, 1), model::Verdict::Ok);
  EXPECT_EQ(browse::verdictAt(m, 3), model::Verdict::Unmeasured);
}

TEST_F(Browser, MarksDrawnBeforeThisRunAreFoundByTheirNumbers) {
  numbered({"10", "20", "30"});
  auto& m = f();
  const auto circle2 = m.markCircles[2];
  const auto text2 = m.markTexts[2];
  // A decoy of the same number far off, and a circle that rings nothing.
  auto far = addText("2", 900, 900);
  auto decoy = add("AcDbCircle");
  decoy->centerPoint = cadhost::Point{40, 40, 0};
  decoy->radius = 1;
  type(0, "10");
  m.ComNext->userClick();
  type(0, "20");
  m.ComLast->userClick();
  // Mark 3 deleted by the user; a note "3" elsewhere.
  for (const auto& e : {m.markCircles[3], m.markTexts[3]})
    std::static_pointer_cast<fakes::FakeEntity>(e)->deleted = true;
  auto note = addText("3", 500, 500);
  note->textHeight = 2.5;
  // As after loading a drawing numbered in an earlier run: the program
  // holds none of its marks.
  for (auto* marks : {&m.markCircles, &m.markTexts})
    std::fill(marks->begin(), marks->end(), nullptr);
  browse::showResults(m);
  const auto shown = shownColors(*doc);
  EXPECT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown.at(circle2.get()), 3);
  EXPECT_EQ(shown.at(text2.get()), 3);
  EXPECT_EQ(shown.count(far.get()), 0u);
  EXPECT_EQ(shown.count(decoy.get()), 0u);
  // A mark that is gone is not replaced by another text of its number:
  // a number far from its dimension, without a ring, is a note.
  EXPECT_EQ(browse::marksOf(m, 3).text, nullptr);
  EXPECT_EQ(browse::markNumber(m, 2), "2");
  EXPECT_EQ(browse::markNumber(m, 4), "");
}
