// "导入测量结果…" in the window: the review list shown first, and only the
// values that fit their mark written, through the typed samples' store.
#include "browse/import_form.h"

#include "browse/browser.h"
#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "fakes/unprivileged.h"
#include "intake_fixture.h"

using namespace intake_test;
using browse::import::Status;

namespace {

class Import : public Intake {
 protected:
  // Marks 1 to 3: 10, Ø20 and 30 (general tolerance ±0.3).
  void numbered() {
    add("AcDbLine");
    addDim("AcDbRotatedDimension", 10, 0, 0, "10");
    addDim("AcDbDiametricDimension", 20, 10, 0, "20");
    addDim("AcDbRotatedDimension", 30, 20, 0, "30");
    open();
    f().comSort->userClick();
    ASSERT_EQ(f().Combo1->listCount(), 3);
    desktop.takeMessages();
  }
  std::string file(const std::string& name, const std::string& text) {
    dir.write("work/" + name, text);
    return (dir / ("work/" + name)).string();
  }
  // The menu item with the file chosen in its dialog.
  void importFile(const std::string& path) {
    queue.push(forms::QueuedAnswer::file(path));
    ASSERT_TRUE(f().mnuImport->userClick());
  }
  browse::FrmImport& window() { return program->frmImport; }
  std::optional<float> stored(int p, int k) {
    return program->ctx.samples[static_cast<size_t>(p)][static_cast<size_t>(k)];
  }
  std::map<std::int32_t, dimtable::Measurement> inDatabase() {
    dimtable::Connection db;
    db.Open((dir / "work/part7.mdb").string());
    return db.LoadMeasurements();
  }
};

// A table file as the CMM writes one per run.
const char* kTable =
    "planid\tpartnb\tid\ttype\tidsymbol\tactual\tnominal\tuppertol\tlowertol\n"
    "P\t1\t1\tDistance\t\t10.05\t10.0\t0.3\t-0.3\n"
    "P\t1\t2\tDiameter\t\t20.10\t20.0\t0.3\t-0.3\n"
    "P\t1\t3\tDistance\t\t35.00\t35.0\t0.3\t-0.3\n"
    "P\t1\tLOC1\tDistance\t\t5.00\t5.0\t0.1\t-0.1\n"
    "P\t2\t1\tDistance\t\t10.06\t10.0\t0.3\t-0.3\n";

}  // namespace

TEST_F(Import, TheRowsAreTheMarksWithTheirNominalsAndKinds) {
  numbered();
  const browse::DrawingRows rows = browse::drawingRows(f());
  ASSERT_EQ(rows.rows.size(), 3u);
  EXPECT_EQ(rows.positions, (std::vector<std::int32_t>{1, 2, 3}));
  EXPECT_EQ(rows.rows[1].mark, 2);
  EXPECT_EQ(rows.rows[1].nominal, 20.0);
  EXPECT_EQ(rows.rows[1].kind, browse::import::Kind::Diameter);
  EXPECT_FLOAT_EQ(static_cast<float>(rows.rows[2].up), 0.3f);
}

TEST_F(Import, TheReviewComesFirstAndOnlyWhatFitsIsWritten) {
  numbered();
  f().Text7[0]->userType("10.01");  // typed, not yet stored
  importFile(file("run.txt", kTable));
  ASSERT_TRUE(window().visible());
  // The panel's entry was stored before the list was made: the file's
  // sample 1 of mark 1 would overwrite it, and the list says so.
  const auto& r = window().shown();
  ASSERT_EQ(r.items.size(), 5u);
  EXPECT_EQ(r.items[0].status, Status::Overwrites);
  EXPECT_EQ(r.items[0].previous, 10.01f);
  EXPECT_EQ(r.items[1].status, Status::Matched);
  EXPECT_EQ(r.items[2].status, Status::Mismatched);  // 35 is not mark 3's 30
  EXPECT_EQ(r.items[3].status, Status::Unmatched);
  EXPECT_EQ(r.items[4].status, Status::Matched);
  EXPECT_EQ(window().lblCounts->caption(),
            "匹配 2，覆盖已录入的值 1，不符 1，未匹配 1，超出5个样品 0。"
            "将写入 3 个值。");
  const std::string& list = window().txtReview->text();
  EXPECT_NE(list.find("第4行  3 → 标号3  样品1：35  【不符】  名义值不符"),
            std::string::npos)
      << list;
  EXPECT_NE(list.find("将覆盖已录入的值10.01"), std::string::npos) << list;
  // Nothing is written before the user confirms.
  EXPECT_EQ(stored(1, 1), 10.01f);
  EXPECT_FALSE(stored(2, 1));

  window().ComApply->userClick();
  EXPECT_FALSE(window().visible());
  EXPECT_EQ(messages(), (std::vector<std::string>{"已导入 3 个测量值。"}));
  EXPECT_EQ(stored(1, 1), 10.05f);
  EXPECT_EQ(stored(1, 2), 10.06f);
  EXPECT_EQ(stored(2, 1), 20.1f);
  EXPECT_FALSE(stored(3, 1));
  const auto db = inDatabase();
  ASSERT_EQ(db.size(), 2u);
  EXPECT_EQ(db.at(1).samples[1], 10.06f);
  EXPECT_EQ(db.at(2).instrument, "CMM");
  // The panel shows what its dimension holds now, and the marks follow.
  EXPECT_EQ(f().Text7[0]->text(), "10.05");
  EXPECT_EQ(f().Text7[1]->text(), "10.06");
  EXPECT_EQ(browse::verdictAt(f(), 1), model::Verdict::Ok);
}

TEST_F(Import, AChangeWhileTheListIsOpenIsShownBeforeAnythingIsWritten) {
  numbered();
  importFile(file("run.txt", kTable));
  ASSERT_EQ(window().shown().items[0].status, Status::Matched);
  f().Text7[0]->userType("9.99");  // typed while the list stands open
  window().ComApply->userClick();
  EXPECT_TRUE(window().visible());
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"图纸或已录入的测量值在此期间有变化，导入"
                                      "清单已经更新，请再核对一次。"}));
  EXPECT_EQ(window().shown().items[0].status, Status::Overwrites);
  EXPECT_EQ(stored(1, 1), 9.99f);
  EXPECT_FALSE(stored(2, 1));
  // Seen and confirmed: written.
  window().ComApply->userClick();
  EXPECT_EQ(stored(1, 1), 10.05f);
}

TEST_F(Import, AFileForAnotherNumberingImportsNothingAndSaysSo) {
  numbered();
  importFile(file("other.csv",
                  "mark,value\n1,35.01\n"));  // no nominal to compare: fits
  window().ComCancel->userClick();
  EXPECT_FALSE(stored(1, 1));
  // Every nominal off: nothing to write, and the window says why.
  importFile(file("shifted.txt",
                  "id\tactual\tnominal\tuppertol\tlowertol\n"
                  "1\t20.01\t20\t0.3\t-0.3\n2\t30.02\t30\t0.3\t-0.3\n"));
  EXPECT_EQ(window().shown().count(Status::Mismatched), 2u);
  EXPECT_FALSE(window().ComApply->enabled());
  EXPECT_NE(window().lblCounts->caption().find(
                "没有与图纸相符的测量值，不会导入任何值"),
            std::string::npos);
  // The sample the file's first part fills is the user's choice.
  importFile(file("run.txt", kTable));
  window().cboSample->userSelect(4);
  EXPECT_EQ(window().shown().items[0].sample, 5);
  EXPECT_EQ(window().shown().items[4].status, Status::BeyondFive);
  window().ComApply->userClick();
  EXPECT_EQ(stored(1, 5), 10.05f);
  EXPECT_FALSE(stored(1, 1));
}

TEST_F(Import, AFileRefusedAsAWholeAndADrawingNotNumberedChangeNothing) {
  importFile(file("run.txt", kTable));  // the dialog is not even opened
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"请先打开图纸并标号，再导入测量结果。"}));
  EXPECT_FALSE(window().visible());
  queue = {};
  numbered();
  importFile(file("bad.qif", "<QIFDocument><broken"));
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("“bad.qif”不能导入：", 0), 0u) << m[0];
  EXPECT_FALSE(window().visible());
}

TEST_F(Import, ADatabaseThatRefusesTheWriteLeavesEverythingAsItWas) {
  if (!fakes::asUnprivilegedUser()) return;
  numbered();
  importFile(file("run.txt", kTable));
  fs::permissions(dir / "work", fs::perms::owner_read | fs::perms::owner_exec);
  window().ComApply->userClick();
  fs::permissions(dir / "work", fs::perms::owner_all);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].rfind("测量结果没有导入", 0), 0u) << m[0];
  EXPECT_FALSE(stored(1, 1));
  EXPECT_TRUE(inDatabase().empty());
  EXPECT_TRUE(window().visible());
  // The next attempt works.
  window().ComApply->userClick();
  EXPECT_EQ(stored(1, 1), 10.05f);
  EXPECT_EQ(inDatabase().size(), 2u);
}
