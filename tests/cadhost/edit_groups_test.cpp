// The host's undo marks, which make a group of changes one change for
// Undo, and the current layer and colour the user sets in its window.
#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::EntityRef;
using cadhost::HostError;
using cadhost::Point;

TEST(UndoMarks, ChangesBetweenTheMarksAreUndoneTogether) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  const int count = ms.Count();
  EntityRef first = ms.AddCircle({0, 0, 0}, 1);
  const std::size_t depth = o.engine->undoDepth();

  o.doc->StartUndoMark();
  EntityRef c = ms.AddCircle({10, 10, 0}, 2);
  EntityRef t = ms.AddText("12", {8, 9, 0}, 2.4);
  o.doc->StartUndoMark();  // nested marks: the outer pair counts
  c->ScaleEntity(c->center(), 1.25);
  t->ScaleEntity(c->center(), 1.25);
  o.doc->EndUndoMark();
  c->SetColor(3);
  o.doc->EndUndoMark();
  EXPECT_EQ(o.engine->undoDepth(), depth + 1);

  o.doc->StartUndoMark();
  c->ScaleEntity(c->center(), 1.25);
  t->ScaleEntity(c->center(), 1.25);
  o.doc->EndUndoMark();
  EXPECT_DOUBLE_EQ(c->Radius(), 2 * 1.5625);
  EXPECT_DOUBLE_EQ(t->Height(), 2.4 * 1.5625);

  o.doc->SendCommand("Undo\r\r");  // one enlargement, circle and text
  EXPECT_DOUBLE_EQ(c->Radius(), 2.5);
  EXPECT_DOUBLE_EQ(t->Height(), 2.4 * 1.25);
  o.doc->SendCommand("Undo\r\r");  // the whole first group
  EXPECT_THROW(c->Radius(), HostError);
  EXPECT_THROW(t->TextString(), HostError);
  EXPECT_EQ(ms.Count(), count + 1);
  EXPECT_DOUBLE_EQ(first->Radius(), 1);  // before the marks: untouched
}

TEST(UndoMarks, AGroupOfDeletesComesBackInPlace) {
  Opened o = open(fixture("dims_r2000_gbk.dxf"));
  auto& ms = o.ms();
  const int count = ms.Count();
  EntityRef a = ms.AddCircle({0, 0, 0}, 1);
  EntityRef b = ms.AddText("1", {0, 0, 0}, 1);
  o.doc->StartUndoMark();
  a->Delete();
  b->Delete();
  o.doc->EndUndoMark();
  EXPECT_EQ(ms.Count(), count);
  o.doc->SendCommand("Undo\r\r");
  ASSERT_EQ(ms.Count(), count + 2);
  EXPECT_EQ(ms.Item(count), a);
  EXPECT_EQ(ms.Item(count + 1), b);
  // An empty or unmatched pair changes nothing.
  o.doc->EndUndoMark();
  o.doc->StartUndoMark();
  o.doc->EndUndoMark();
  o.doc->SendCommand("Undo\r\r");  // the text's own creation
  EXPECT_EQ(ms.Count(), count + 1);
}

TEST(CurrentLayer, NewEntitiesTakeWhatTheUserSetAndTheDrawingKeepsIt) {
  TempDir dir;
  Opened o = open(fixture("dims_r2018.dxf"));
  o.engine->setCurrentLayer("0");
  o.engine->setCurrentColor(3);
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CLAYER")), "0");
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CECOLOR")), "3");
  EntityRef c = o.ms().AddCircle({1, 1, 0}, 1);
  EXPECT_EQ(c->Layer(), "0");
  EXPECT_EQ(c->Color(), 3);
  o.engine->setCurrentColor(cadhost::kColorByLayer);
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CECOLOR")), "bylayer");
  // The layer the drawing came with, set again.
  o.engine->setCurrentLayer("标注层");
  EXPECT_EQ(o.engine->currentLayer(), "标注层");
  o.engine->saveAs(dir.file("set.dxf"));

  Opened again = open(dir.file("set.dxf"));
  EXPECT_EQ(std::get<std::string>(again.doc->GetVariable("CLAYER")), "标注层");
  EXPECT_EQ(std::get<std::string>(again.doc->GetVariable("CECOLOR")),
            "bylayer");
  EXPECT_TRUE(again.engine->repairs().empty());
}

TEST(CurrentLayer, UnknownLayersAndColoursAreRefused) {
  Opened o = open(fixture("dims_r2018.dxf"));
  const std::string layer = o.engine->currentLayer();
  const std::uint64_t revision = o.engine->revision();
  EXPECT_THROW(o.engine->setCurrentLayer("NO SUCH"), HostError);
  EXPECT_THROW(o.engine->setCurrentLayer(""), HostError);
  EXPECT_THROW(o.engine->setCurrentColor(257), HostError);
  EXPECT_THROW(o.engine->setCurrentColor(-1), HostError);
  EXPECT_EQ(o.engine->currentLayer(), layer);
  EXPECT_EQ(o.engine->revision(), revision);
  const auto layers = o.engine->layers();
  EXPECT_NE(std::find(layers.begin(), layers.end(), "0"), layers.end());
  EXPECT_NE(std::find(layers.begin(), layers.end(), "标注层"), layers.end());
}

TEST(CurrentLayer, ADrawingWithoutHeaderStillTakesThem) {
  TempDir dir;
  Opened o = openText(
      dir, "bare.dxf",
      dxf({{0, "SECTION"}, {2, "ENTITIES"}, {0, "ENDSEC"}, {0, "EOF"}}));
  o.engine->setCurrentColor(5);
  EXPECT_EQ(o.ms().AddText("1", {0, 0, 0}, 1)->Color(), 5);
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CECOLOR")), "5");
}

}  // namespace
