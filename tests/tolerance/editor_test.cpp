// The tolerance editor and the size-range editor through their controls:
// what is applied, what is written, and that a box that is no number or a
// folder that cannot be written changes nothing.
#include "tolerance/editor.h"

#include <sys/stat.h>

#include "fakes/unprivileged.h"
#include "forms/basic.h"
#include "intake_fixture.h"

using namespace intake_test;

namespace {

class Editors : public Intake {
 protected:
  tolerance::FrmToler& toler() { return program->frmToler; }
  tolerance::Div& div() { return program->div; }
  const std::array<float, 7>& tolValues() { return program->ctx.tolValues; }
  const std::array<float, 7>& bounds() { return program->ctx.sizeBounds; }
  fs::path data(const char* name) { return dir / "dimdata" / name; }

  void openEditor() {
    f().ComToler->userClick();
    ASSERT_TRUE(toler().loaded() && toler().visible());
  }
  void type(forms::Control* box, const std::string& text) {
    ASSERT_TRUE(box->userType(text));
  }
};

TEST_F(Editors, TheEditorShowsTheTableInUseAndAppliesOnlyNumbers) {
  const auto before = tolValues();
  openEditor();
  EXPECT_EQ(toler().Label1->caption(), "塑胶件公差编辑 ");
  EXPECT_EQ(toler().Label2[0]->caption(),
            "0-" + forms::SingleText(bounds()[0]));
  EXPECT_EQ(toler().Label2[5]->caption(), forms::SingleText(bounds()[4]) + "-" +
                                              forms::SingleText(bounds()[5]));
  for (size_t i = 0; i < 7; ++i)
    EXPECT_EQ(toler().Text1[i]->text(), forms::SingleText(before[i]));

  // An empty box: the message is the suffix alone, nothing changes, the
  // window stays; so for a box that is text.
  const std::string plasticFile = readFile(data("plastic.txt"));
  type(toler().Text1[0], "0.05");
  type(toler().Text1[3], "");
  toler().ComAccept->userClick();
  type(toler().Text1[3], "abc");
  toler().ComSave->userClick();
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"不是有效数字", "abc不是有效数字"}));
  EXPECT_EQ(tolValues(), before);
  EXPECT_TRUE(toler().loaded());
  EXPECT_EQ(readFile(data("plastic.txt")), plasticFile);

  // Applied: for this run only, no file written.
  type(toler().Text1[3], "0.3");
  toler().ComAccept->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(toler().loaded());
  EXPECT_EQ(tolValues()[0], 0.05f);
  EXPECT_EQ(tolValues()[3], 0.3f);
  EXPECT_EQ(readFile(data("plastic.txt")), plasticFile);

  // Cancelled: nothing changes; opened again, the boxes show what is in
  // use, not what was typed.
  openEditor();
  type(toler().Text1[1], "9");
  toler().ComCancel->userClick();
  EXPECT_EQ(tolValues()[1], before[1]);
  openEditor();
  type(toler().Text1[1], "9");
  f().ComToler->userClick();  // shown again
  EXPECT_EQ(toler().Text1[1]->text(), forms::SingleText(before[1]));
}

TEST_F(Editors, SavingWritesTheMaterialChosenNowAndTheNextExtractionUsesIt) {
  openEditor();               // opened as plastic...
  f().OptMetal->userClick();  // ...saved as metal
  const std::string plasticFile = readFile(data("plastic.txt"));
  const char* typed[7] = {" 0.07", "0.1", "0.2", "0.3", "0.4", "0.5", "1.5"};
  for (size_t i = 0; i < 7; ++i) type(toler().Text1[i], typed[i]);
  toler().ComSave->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_FALSE(toler().loaded());
  EXPECT_EQ(readFile(data("metal.txt")),
            " 0.07\r\n0.1\r\n0.2\r\n0.3\r\n0.4\r\n0.5\r\n1.5\r\n");
  EXPECT_EQ(readFile(data("plastic.txt")), plasticFile);
  EXPECT_EQ(readFile(data("div.txt")),
            "6\r\n30\r\n120\r\n300\r\n600\r\n1200\r\n");
  EXPECT_EQ(tolValues()[0], 0.07f);
  EXPECT_EQ(tolValues()[6], 1.5f);
  EXPECT_FALSE(fs::exists(data("metal.txt.tmp")));

  // A dimension of 3 without its own tolerance gets the new one.
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 3, 5, 5);
  f().OptMetal->userClick();
  open();
  ASSERT_GE(program->ctx.dimRecords.size(), 2u);
  EXPECT_FLOAT_EQ(rec(1).up, 0.07f);
  EXPECT_FLOAT_EQ(rec(1).low, 0.07f);
}

TEST_F(Editors, AFolderThatCannotBeWrittenKeepsBothFilesAndTheTable) {
  if (!fakes::asUnprivilegedUser()) return;
  const auto before = tolValues();
  const std::string sizes = readFile(data("div.txt"));
  const std::string plastic = readFile(data("plastic.txt"));
  openEditor();
  type(toler().Text1[0], "0.09");
  fs::permissions(dir / "dimdata",
                  fs::perms::owner_read | fs::perms::owner_exec);
  toler().ComSave->userClick();
  fs::permissions(dir / "dimdata", fs::perms::owner_all);
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_NE(m[0].find("原来的文件没有改动"), std::string::npos) << m[0];
  EXPECT_NE(m[0].find("div.txt"), std::string::npos) << m[0];
  EXPECT_NE(m[0].find("没有写入权限"), std::string::npos) << m[0];
  EXPECT_EQ(readFile(data("div.txt")), sizes);
  EXPECT_EQ(readFile(data("plastic.txt")), plastic);
  EXPECT_EQ(tolValues(), before);
  EXPECT_TRUE(toler().loaded());  // the user can try again
  toler().ComSave->userClick();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(tolValues()[0], 0.09f);
}

TEST_F(Editors, OnlyOneFileWritableChangesNeither) {
  const std::string sizes = readFile(data("div.txt"));
  const std::string plastic = readFile(data("plastic.txt"));
  openEditor();
  type(toler().Text1[0], "0.09");
  // The tolerance table's place is taken by a folder: div.txt could be
  // replaced, plastic.txt cannot.
  fs::rename(data("plastic.txt"), data("plastic.keep"));
  fs::create_directory(data("plastic.txt"));
  fs::create_directory(data("plastic.txt") / "x");
  toler().ComSave->userClick();
  fs::remove_all(data("plastic.txt"));
  fs::rename(data("plastic.keep"), data("plastic.txt"));
  EXPECT_EQ(messages().size(), 1u);
  EXPECT_EQ(readFile(data("div.txt")), sizes);
  EXPECT_EQ(readFile(data("plastic.txt")), plastic);
  EXPECT_FALSE(fs::exists(data("div.txt.tmp")));
  EXPECT_FALSE(fs::exists(data("plastic.txt.tmp")));
}

TEST_F(Editors, TheSizeRangesKeepTheirNeighboursInOrder) {
  openEditor();
  toler().ComDiv->userClick();
  ASSERT_TRUE(div().loaded());
  const char* start[7] = {"6", "30", "120", "300", "600", "1200", " "};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(div().Text1[i]->text(), start[i]);

  type(div().Text1[1], "50");
  div().Text1[1]->userLeave();
  EXPECT_EQ(div().Text1[2]->text(), "120");
  type(div().Text1[1], "150");
  div().Text1[1]->userLeave();
  EXPECT_EQ(div().Text1[2]->text(), "150");
  type(div().Text1[1], "3");
  div().Text1[1]->userLeave();
  EXPECT_EQ(div().Text1[1]->text(), "6");
  div().Text1[5]->userLeave();  // the blank after it reads 0
  EXPECT_EQ(div().Text1[6]->text(), "1200");
  type(div().Text1[0], "40");
  div().Text1[0]->userKeyPress(13);
  EXPECT_EQ(div().Text1[1]->text(), "40");

  // A box that is no number: the message, nothing changes.
  const auto before = bounds();
  type(div().Text1[3], "");
  div().ComOk->userClick();
  EXPECT_EQ(messages(), std::vector<std::string>{"不是有效数字"});
  EXPECT_EQ(bounds(), before);
  EXPECT_TRUE(div().loaded());

  type(div().Text1[3], "300");
  div().ComOk->userClick();
  EXPECT_FALSE(div().loaded());
  EXPECT_EQ(bounds()[0], 40.f);
  EXPECT_EQ(bounds()[2], 150.f);
  EXPECT_EQ(toler().Label2[1]->caption(), "40-40");
  EXPECT_EQ(toler().Label2[2]->caption(), "40-150");

  // Every opening starts from the fixed texts, whatever the bounds are.
  toler().ComDiv->userClick();
  EXPECT_EQ(div().Text1[0]->text(), "6");
  div().ComCancel->userClick();
  EXPECT_EQ(bounds()[0], 40.f);
}

}  // namespace
