// Layers that hide the drawing: the states of a DWG's layers put back where
// its converter wrote them wrongly, and every layer shown when the user
// asks for it, as a view that is saved only with the drawing.
#include "cadhost/engine/layers.h"
#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::engine::Drawing;

// The layers' colours (group 62) by name, as the drawing holds them now.
std::map<std::string, long long> colours(const Drawing& d) {
  std::map<std::string, long long> out;
  for (const auto& e : d.table("LAYER")->entries)
    out[e->name] = cadhost::engine::integer(
        cadhost::engine::ownTags(d.tags(e->rec)), 62, 7);
  return out;
}

// A LibreDWG DXF whose layers are written as its converter writes them,
// with the states the DWG has (when `states` is not empty) in a comment.
std::string converted(const std::string& states) {
  std::string s = "999\nLibreDWG 0.13.3\n";
  if (!states.empty()) s += "999\nDWG layers: " + states + "\n";
  s += "0\nSECTION\n2\nHEADER\n9\n$HANDSEED\n5\n20\n0\nENDSEC\n"
       "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLAYER\n70\n5\n";
  // 0 as the converter writes every layer; A written on; D without colour.
  for (auto [handle, name, colour] :
       {std::tuple{"10", "0", "-7"}, std::tuple{"11", "A", "2"},
        std::tuple{"12", "B", "-3"}, std::tuple{"13", "C", "-4"},
        std::tuple{"14", "D", ""}}) {
    s += std::string("0\nLAYER\n5\n") + handle + "\n2\n" + name + "\n70\n0\n";
    if (*colour) s += std::string("62\n") + colour + "\n";
  }
  s += "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
       "0\nLINE\n8\nA\n10\n0\n20\n0\n11\n10\n21\n10\n0\nENDSEC\n0\nEOF\n";
  return s;
}

TEST(Layers, TheDwgsOwnStatesPutBackWhatTheConverterWrote) {
  TempDir dir;
  // 0 and A are on in the DWG, B and D off; C is not listed.
  Opened o = openText(dir, "part.dxf",
                      converted("10:on 11:on 12:off 14:off 99:on 13:bogus"));
  const Drawing& d = o.engine->drawing();
  EXPECT_EQ(colours(d),
            (std::map<std::string, long long>{
                {"0", 7}, {"A", 2}, {"B", -3}, {"C", -4}, {"D", -7}}));
  // A layer the DWG has off, written on: the other way round.
  Opened r14 = openText(dir, "r14.dxf", converted("10:on 11:off 12:off"));
  EXPECT_EQ(colours(r14.engine->drawing()).at("A"), -2);
  EXPECT_EQ(colours(r14.engine->drawing()).at("0"), 7);

  // Each way is said, naming the layers.
  ASSERT_EQ(o.engine->repairs().size(), 2u);
  EXPECT_EQ(o.engine->repairs()[0],
            "1 layers written off by LibreDWG are on in the DWG (0); shown as "
            "the DWG has them");
  EXPECT_EQ(o.engine->repairs()[1],
            "1 layers written on by LibreDWG are off in the DWG (D); hidden "
            "as the DWG has them");
  // Mended while loading: the drawing is as loaded, nothing to save.
  EXPECT_TRUE(o.engine->Saved());
  EXPECT_EQ(o.engine->undoDepth(), 0u);

  // Saved and read again, nothing is left to mend.
  o.engine->saveAs(dir.file("saved.dxf"));
  Opened again = open(dir.file("saved.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());
  EXPECT_EQ(colours(again.engine->drawing()), colours(d));
  // The converter's note is for that load only: a drawing saved with its
  // layers shown reads them so.
  EXPECT_EQ(readBytes(dir.file("saved.dxf")).find("DWG layers"),
            std::string::npos);
  EXPECT_EQ(o.engine->showAllLayers(), 3);
  o.engine->saveAs(dir.file("shown.dxf"));
  EXPECT_EQ(colours(open(dir.file("shown.dxf")).engine->drawing()),
            (std::map<std::string, long long>{
                {"0", 7}, {"A", 2}, {"B", 3}, {"C", 4}, {"D", 7}}));
}

TEST(Layers, WithoutTheDwgsStatesTheLayersStayAsWritten) {
  TempDir dir;
  Opened o = openText(dir, "part.dxf", converted(""));
  EXPECT_TRUE(o.engine->repairs().empty());
  EXPECT_EQ(colours(o.engine->drawing()).at("0"), -7);
  // Another program's DXF is never taken for the converter's.
  std::string foreign = converted("10:off 11:off");
  foreign.erase(0, std::string("999\nLibreDWG 0.13.3\n").size());
  Opened other = openText(dir, "other.dxf", foreign);
  EXPECT_TRUE(other.engine->repairs().empty());
  EXPECT_EQ(colours(other.engine->drawing()).at("A"), 2);
}

TEST(Layers, SomeLayersOffStayOff) {
  Opened o = open(fixture("layers_some_off.dxf"));
  const Drawing& d = o.engine->drawing();
  EXPECT_FALSE(o.engine->everyLayerHidden());
  EXPECT_TRUE(cadhost::engine::layerOff(d, *d.tableEntry("LAYER", "HIDDEN")));
  EXPECT_TRUE(
      cadhost::engine::layerFrozen(d, *d.tableEntry("LAYER", "FROZEN")));
  EXPECT_FALSE(cadhost::engine::layerOff(d, *d.tableEntry("LAYER", "PART")));
  EXPECT_TRUE(o.engine->repairs().empty());
}

TEST(Layers, ShowingEveryLayerIsAViewSavedOnlyWithTheDrawing) {
  TempDir dir;
  std::string path = dir.file("part.dxf");
  writeBytes(path, readBytes(fixture("layers_all_off.dxf")));
  Opened o = open(path);
  ASSERT_TRUE(o.engine->everyLayerHidden());
  const auto revision = o.engine->revision();

  EXPECT_EQ(o.engine->showAllLayers(), 5);
  const Drawing& d = o.engine->drawing();
  EXPECT_FALSE(o.engine->everyLayerHidden());
  for (const auto& e : d.table("LAYER")->entries) {
    EXPECT_FALSE(cadhost::engine::layerOff(d, *e)) << e->name;
    EXPECT_FALSE(cadhost::engine::layerFrozen(d, *e)) << e->name;
  }
  EXPECT_EQ(colours(d).at("PART"), 1);  // its own colour, on
  // The window redraws, yet nothing asks to be saved or taken back.
  EXPECT_GT(o.engine->revision(), revision);
  EXPECT_TRUE(o.engine->Saved());
  EXPECT_EQ(o.engine->undoDepth(), 0u);
  EXPECT_EQ(readBytes(path), readBytes(fixture("layers_all_off.dxf")));
  EXPECT_EQ(o.engine->showAllLayers(), 0);

  // A save writes the layers as shown.
  o.engine->saveAs(dir.file("shown.dxf"));
  EXPECT_FALSE(open(dir.file("shown.dxf")).engine->everyLayerHidden());

  // A drawing changed before stays changed.
  Opened changed = open(path);
  changed.engine->setCurrentColor(3);
  ASSERT_FALSE(changed.engine->Saved());
  changed.engine->showAllLayers();
  EXPECT_FALSE(changed.engine->Saved());
}

}  // namespace
