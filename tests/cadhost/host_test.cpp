// The embedded host as the handlers drive it: reading dimensions with the
// move-and-undo sequence, drawing and editing marks, the undo stack,
// saving, purging, the document's life cycle.
#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>

#include "cadhost/engine/dimension.h"
#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::EntityRef;
using cadhost::HostError;
using cadhost::Point;

// Model-space index of the symmetrically toleranced dimension of the
// dims_* fixtures (the generator's sixth item).
constexpr int kToleranced = 5;

int firstOf(cadhost::ModelSpace& ms, const std::string& name) {
  for (int i = 0; i < ms.Count(); ++i)
    if (ms.Item(i)->ObjectName() == name) return i;
  return -1;
}

TEST(Host, ReadingADimensionAndUndoingTheMoveRestoresItsTextPosition) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  // The tolerance dimensions carry overrides already; the first one has none.
  for (int i : {0, kToleranced}) {
    EntityRef d = ms.Item(i);
    Point before = d->TextPosition();
    int decimals = d->PrimaryUnitsPrecision();
    int tolDecimals = d->TolerancePrecision();
    d->SetPrimaryUnitsPrecision(4);
    d->SetTolerancePrecision(4);
    d->Move({0, 0, 0}, {2, 0, 0});
    EXPECT_DOUBLE_EQ(ms.Item(i)->TextPosition()[0], before[0] + 2);
    o.doc->SendCommand("Undo\r\r");
    EXPECT_EQ(ms.Item(i)->TextPosition(), before);  // exactly
    EXPECT_EQ(d->PrimaryUnitsPrecision(), 4);       // only the move went back
    o.doc->SendCommand("Undo\r\r");
    EXPECT_EQ(d->TolerancePrecision(), tolDecimals);
    o.doc->SendCommand("Undo\r\r");
    EXPECT_EQ(d->PrimaryUnitsPrecision(), decimals);
  }
  // Everything undone: the drawing saves as it was read.
  TempDir dir;
  o.engine->saveAs(dir.file("same.dxf"));
  EXPECT_TRUE(readBytes(dir.file("same.dxf")) ==
              readBytes(fixture("dims_r2018.dxf")));
}

TEST(Host, UndoTakesBackEachChangeInTurn) {
  Opened o = open(fixture("dims_r2000_gbk.dxf"));
  auto& ms = o.ms();
  int count = ms.Count();
  EntityRef c = ms.AddCircle({10, 10, 0}, 2);
  EntityRef t = ms.AddText("12", {8, 10.2, 0}, 2.4);
  c->SetColor(5);
  t->SetLayer("0");
  c->ScaleEntity(c->center(), 1.25);
  t->Delete();
  EXPECT_EQ(ms.Count(), count + 1);

  o.doc->SendCommand("Undo\r\r");  // the delete
  EXPECT_EQ(ms.Count(), count + 2);
  EXPECT_EQ(ms.Item(count + 1), t);
  EXPECT_EQ(t->TextString(), "12");
  o.doc->SendCommand("Undo\r\r");  // the scale
  EXPECT_DOUBLE_EQ(c->Radius(), 2);
  o.doc->SendCommand("Undo\r\r");  // the layer
  EXPECT_EQ(t->Layer(), "标注层");
  o.doc->SendCommand("Undo\r\r");  // the colour
  EXPECT_EQ(c->Color(), 1);
  o.doc->SendCommand("UNDO\r\r");  // the text
  EXPECT_EQ(ms.Count(), count + 1);
  EXPECT_THROW(t->TextString(), HostError);
  o.doc->SendCommand("undo\r\r");  // the circle
  EXPECT_EQ(ms.Count(), count);
  o.doc->SendCommand("Undo\r\r");  // nothing left: no change, no error
  EXPECT_EQ(ms.Count(), count);
  EXPECT_EQ(o.engine->undoDepth(), 0u);
}

TEST(Host, OnlyTheUndoCommandIsUnderstood) {
  Opened o = open(fixture("dims_r2018.dxf"));
  EntityRef c = o.ms().AddCircle({0, 0, 0}, 1);
  for (const char* cmd : {"REGEN\r", "Undo\r", "Undo", "_u\r\r", ""})
    EXPECT_THROW(o.doc->SendCommand(cmd), HostError) << cmd;
  EXPECT_NO_THROW(c->Radius());  // none of them undid anything
}

TEST(Host, OnlyTheUsersUndoIsReported) {
  Opened o = open(fixture("dims_r2018.dxf"));
  int told = 0;
  EntityRef kept;
  // The handler may look at the drawing: the change is taken back first.
  o.doc->SetUndoneHandler([&] {
    ++told;
    EXPECT_THROW(kept->Radius(), HostError);
  });
  kept = o.ms().AddCircle({0, 0, 0}, 1);
  EntityRef c = o.ms().AddCircle({5, 0, 0}, 1);
  o.doc->SendCommand("Undo\r\r");  // the program's own: not the user's
  EXPECT_EQ(told, 0);
  EXPECT_THROW(c->Radius(), HostError);
  EXPECT_TRUE(o.engine->undoAsUser());  // Ctrl+Z in the CAD window
  EXPECT_EQ(told, 1);
  EXPECT_FALSE(o.engine->undoAsUser());  // nothing left to take back
  EXPECT_EQ(told, 1);
  o.engine->close();
  EXPECT_THROW(o.engine->undoAsUser(), HostError);
}

TEST(Host, NewEntitiesTakeTheCurrentLayerAndColourAndFreshHandles) {
  TempDir dir;
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  int count = ms.Count();
  EntityRef c = ms.AddCircle({91, 51.5, 0}, 2.5);
  EntityRef t = ms.AddText("3", {89, 50.25, 0}, 3.0);
  EXPECT_EQ(ms.Count(), count + 2);
  EXPECT_EQ(ms.Item(count), c);
  EXPECT_EQ(c->ObjectName(), "AcDbCircle");
  EXPECT_EQ(t->ObjectName(), "AcDbText");
  EXPECT_EQ(c->Layer(), "标注层");  // $CLAYER
  EXPECT_EQ(t->Color(), 1);         // $CECOLOR
  EXPECT_EQ(t->InsertionPoint(), (Point{89, 50.25, 0}));
  o.engine->saveAs(dir.file("marked.dxf"));

  Opened again = open(dir.file("marked.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());  // handles and seed agree
  auto& ms2 = again.ms();
  ASSERT_EQ(ms2.Count(), count + 2);
  EXPECT_EQ(ms2.Item(count)->center(), (Point{91, 51.5, 0}));
  EXPECT_EQ(ms2.Item(count + 1)->TextString(), "3");
  const auto& d = again.engine->drawing();
  auto handleOf = [&](int i) {
    auto tags = d.tags(d.modelSpace()[static_cast<std::size_t>(i)]->rec);
    return *cadhost::engine::parseHandle(
        cadhost::engine::findTag(tags, 5)->value);
  };
  EXPECT_NE(handleOf(count), handleOf(count + 1));
  EXPECT_GT(d.handseed(), handleOf(count + 1));
  auto owner = cadhost::engine::findTag(
      d.tags(d.modelSpace()[static_cast<std::size_t>(count)]->rec), 330);
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(cadhost::engine::parseHandle(owner->value),
            d.modelSpaceRecordHandle());
}

TEST(Host, NewTextsAreWrittenInTheDrawingsEncoding) {
  TempDir dir;
  {
    // R12 in GBK: the text's bytes are GBK, and R12 has no subclass markers.
    Opened o = open(fixture("dims_r12_gbk.dxf"));
    o.ms().AddText("标号12", {0, 0, 0}, 2.5);
    o.engine->saveAs(dir.file("r12.dxf"));
    std::string saved = readBytes(dir.file("r12.dxf"));
    EXPECT_NE(saved.find("\n\xB1\xEA\xBA\xC5"
                         "12\n"),
              std::string::npos);
    std::string original = readBytes(fixture("dims_r12_gbk.dxf"));
    EXPECT_EQ(saved.find("AcDb"), std::string::npos);
    Opened again = open(dir.file("r12.dxf"));
    EXPECT_EQ(again.ms().Item(again.ms().Count() - 1)->TextString(), "标号12");
  }
  {
    // A Western code page cannot hold Chinese: \U+ escapes.
    Opened o = open(fixture("dims_r2000_escapes.dxf"));
    o.ms().AddText("零件", {0, 0, 0}, 2.5);
    o.engine->saveAs(dir.file("esc.dxf"));
    EXPECT_NE(readBytes(dir.file("esc.dxf")).find("\\U+96F6\\U+4EF6"),
              std::string::npos);
    Opened again = open(dir.file("esc.dxf"));
    EXPECT_EQ(again.ms().Item(again.ms().Count() - 1)->TextString(), "零件");
  }
}

TEST(Host, SavingPatchesOnlyTheChangedTagsAndKeepsLineEndings) {
  TempDir dir;
  Opened o = open(fixture("dims_r2000_gbk_crlf.dxf"));
  int circle = firstOf(o.ms(), "AcDbCircle");
  ASSERT_GE(circle, 0);
  o.ms().Item(circle)->SetColor(5);
  o.engine->saveAs(dir.file("out.dxf"));
  std::string original = readBytes(fixture("dims_r2000_gbk_crlf.dxf"));
  std::string saved = readBytes(dir.file("out.dxf"));
  const std::string piece = " 62\r\n5\r\n";
  ASSERT_EQ(saved.size(), original.size() + piece.size());
  std::size_t at = 0;
  while (saved[at] == original[at]) ++at;
  // The colour lands right after the layer, in the file's own layout.
  EXPECT_EQ(saved.substr(at - 8, 8), "  8\r\n0\r\n");
  EXPECT_EQ(saved.substr(at, piece.size()), piece);
  EXPECT_TRUE(saved.erase(at, piece.size()) == original);
}

TEST(Host, BinaryDrawingsStayBinaryWithTheirChanges) {
  TempDir dir;
  for (const char* name : {"dims_r12_gbk_bin.dxf", "dims_r2018_bin.dxf"}) {
    Opened o = open(fixture(name));
    auto& ms = o.ms();
    int count = ms.Count();
    ms.Item(0)->SetPrimaryUnitsPrecision(3);
    ms.Item(0)->SetColor(4);
    ms.AddCircle({1.5, -2.25, 0}, 0.125);
    ms.AddText("标号", {3, 4, 0}, 2.5);
    o.engine->saveAs(dir.file("b.dxf"));
    std::string saved = readBytes(dir.file("b.dxf"));
    EXPECT_TRUE(saved.starts_with("AutoCAD Binary DXF")) << name;
    Opened again = open(dir.file("b.dxf"));
    auto& ms2 = again.ms();
    ASSERT_EQ(ms2.Count(), count + 2) << name;
    EXPECT_EQ(ms2.Item(0)->PrimaryUnitsPrecision(), 3);
    EXPECT_EQ(ms2.Item(0)->Color(), 4);
    EXPECT_EQ(ms2.Item(count)->center(), (Point{1.5, -2.25, 0}));
    EXPECT_EQ(ms2.Item(count)->Radius(), 0.125);
    EXPECT_EQ(ms2.Item(count + 1)->TextString(), "标号");
  }
}

TEST(Host, OldMacintoshLineEndingsAreReadAndKept) {
  TempDir dir;
  std::string text = dxf({{0, "SECTION"},
                          {2, "ENTITIES"},
                          {0, "CIRCLE"},
                          {8, "0"},
                          {10, "1"},
                          {20, "2"},
                          {40, "3"},
                          {0, "ENDSEC"},
                          {0, "EOF"}});
  std::replace(text.begin(), text.end(), '\n', '\r');
  Opened o = openText(dir, "mac.dxf", text);
  ASSERT_EQ(o.ms().Count(), 1);
  EXPECT_EQ(o.ms().Item(0)->center(), (Point{1, 2, 0}));
  o.ms().AddText("x", {0, 0, 0}, 1);
  o.engine->saveAs(dir.file("out.dxf"));
  std::string saved = readBytes(dir.file("out.dxf"));
  EXPECT_EQ(saved.find('\n'), std::string::npos);
  EXPECT_NE(saved.find("\r  1\rx\r"), std::string::npos);
  std::string broken = text;
  const std::string radius = "\r 40\r3\r";
  broken.replace(broken.find(radius), radius.size(), "\r 40\rz3\r");
  writeBytes(dir.file("bad.dxf"), broken);
  try {
    open(dir.file("bad.dxf"));
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()),
              "bad.dxf: line 13: group code 40 needs a number, found 'z3'");
  }
}

TEST(Host, DeleteMovesLaterItemsUpAndLeavesADeadReference) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  int count = ms.Count();
  EntityRef third = ms.Item(2), fourth = ms.Item(3);
  EXPECT_EQ(ms.Item(2), third);  // the same object for the same index
  third->Delete();
  EXPECT_EQ(ms.Count(), count - 1);
  EXPECT_EQ(ms.Item(2), fourth);
  EXPECT_THROW(third->ObjectName(), HostError);
  EXPECT_THROW(third->Measurement(), HostError);
  EXPECT_THROW(third->Delete(), HostError);
  EXPECT_THROW(ms.Item(count - 1), HostError);
  EXPECT_THROW(ms.Item(-1), HostError);
  o.doc->SendCommand("Undo\r\r");
  EXPECT_EQ(ms.Item(2), third);
  EXPECT_EQ(third->ObjectName(), "AcDbRotatedDimension");
}

TEST(Host, APropertyTheEntityLacksRaises) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  EntityRef line = ms.Item(firstOf(ms, "AcDbLine"));
  EntityRef text = ms.Item(firstOf(ms, "AcDbText"));
  EntityRef linear = ms.Item(0);
  EntityRef angular = ms.Item(firstOf(ms, "AcDb2LineAngularDimension"));
  EXPECT_THROW(line->Measurement(), HostError);
  EXPECT_THROW(line->TextString(), HostError);
  EXPECT_THROW(text->center(), HostError);
  EXPECT_THROW(text->SetPrimaryUnitsPrecision(2), HostError);
  EXPECT_THROW(linear->TextPrecision(), HostError);
  EXPECT_THROW(linear->SetTextPrecision(1), HostError);
  EXPECT_NO_THROW(angular->SetTextPrecision(2));
  EXPECT_EQ(angular->TextPrecision(), 2);
  try {
    line->TextOverride();
    FAIL();
  } catch (const HostError& e) {
    EXPECT_STREQ(e.what(), "AcDbLine has no property TextOverride");
  }
}

TEST(Host, RefusedInputChangesNothing) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  EntityRef c = ms.Item(firstOf(ms, "AcDbCircle"));
  int count = ms.Count();
  EXPECT_THROW(c->SetColor(257), HostError);
  EXPECT_THROW(c->SetColor(-1), HostError);
  EXPECT_THROW(c->SetLayer("NO SUCH LAYER"), HostError);
  EXPECT_THROW(c->ScaleEntity({0, 0, 0}, 0), HostError);
  EXPECT_THROW(ms.AddCircle({0, 0, 0}, -1), HostError);
  EXPECT_THROW(ms.AddText("x", {0, 0, 0}, 0), HostError);
  EXPECT_THROW(ms.Item(0)->SetPrimaryUnitsPrecision(9), HostError);
  EXPECT_EQ(ms.Count(), count);
  EXPECT_EQ(o.engine->undoDepth(), 0u);
  // Layer names compare without case, as the CAD host does.
  c->SetLayer("defpoints");
  EXPECT_EQ(c->Layer(), "Defpoints");
}

TEST(Host, MarksScaleAboutTheCircleCentreAndMoveTogether) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  EntityRef c = ms.AddCircle({92.5, 51.25, 0}, 2.5);
  EntityRef t = ms.AddText("12", {90.5, 50.25, 0}, 2.5);
  c->ScaleEntity(c->center(), 1.25);
  t->ScaleEntity(c->center(), 1.25);
  EXPECT_EQ(c->center(), (Point{92.5, 51.25, 0}));
  EXPECT_DOUBLE_EQ(c->Radius(), 3.125);
  EXPECT_DOUBLE_EQ(t->InsertionPoint()[0], 92.5 - 2 * 1.25);
  EXPECT_DOUBLE_EQ(t->InsertionPoint()[1], 51.25 - 1 * 1.25);
  const auto& d = o.engine->drawing();
  EXPECT_DOUBLE_EQ(
      cadhost::engine::real(d.tags(d.modelSpace().back()->rec), 40, 0),
      2.5 * 1.25);
  c->Move({0, 0, 0}, {-3, 4, 0});
  t->Move({0, 0, 0}, {-3, 4, 0});
  EXPECT_EQ(c->center(), (Point{89.5, 55.25, 0}));
  EXPECT_DOUBLE_EQ(t->InsertionPoint()[1], 51.25 - 1.25 + 4);
}

TEST(Host, MovingAMirroredCircleMovesItInWorldCoordinates) {
  Opened o = open(fixture("dims_r2018.dxf"));
  auto& ms = o.ms();
  EntityRef mirrored;
  for (int i = 0; i < ms.Count(); ++i)
    if (ms.Item(i)->ObjectName() == "AcDbCircle" && ms.Item(i)->center()[0] < 0)
      mirrored = ms.Item(i);
  ASSERT_TRUE(mirrored);
  Point before = mirrored->center();
  mirrored->Move({1, 1, 0}, {2, 3, 0});
  EXPECT_NEAR(mirrored->center()[0], before[0] + 1, 1e-12);
  EXPECT_NEAR(mirrored->center()[1], before[1] + 2, 1e-12);
  mirrored->ScaleEntity(mirrored->center(), 2);
  EXPECT_DOUBLE_EQ(mirrored->Radius(), 6);
}

TEST(Host, PrecisionsAreSavedAsTheDimensionsOwnStyleOverrides) {
  TempDir dir;
  Opened o = open(fixture("dims_r2000_gbk.dxf"));
  auto& ms = o.ms();
  ms.Item(0)->SetPrimaryUnitsPrecision(4);         // had no overrides
  ms.Item(kToleranced)->SetTolerancePrecision(3);  // had a DSTYLE list
  ms.Item(kToleranced)->SetTolerancePrecision(1);  // the same entry again
  o.engine->saveAs(dir.file("p.dxf"));
  Opened again = open(dir.file("p.dxf"));
  EXPECT_EQ(again.ms().Item(0)->PrimaryUnitsPrecision(), 4);
  EXPECT_EQ(again.ms().Item(kToleranced)->TolerancePrecision(), 1);
  // It kept its tolerance.
  EXPECT_EQ(again.ms().Item(kToleranced)->ToleranceDisplay(), 1);
  const auto& d = again.engine->drawing();
  auto overrides =
      cadhost::engine::dimOverrides(d.tags(d.modelSpace()[kToleranced]->rec));
  int dimtdec = 0;
  for (const auto& [code, value] : overrides) dimtdec += code == 272;
  EXPECT_EQ(dimtdec, 1);
}

TEST(Host, PurgeAllRemovesOnlyWhatNothingUses) {
  TempDir dir;
  Opened o = open(fixture("purge_r2018.dxf"));
  const auto& d = o.engine->drawing();
  auto has = [&](const char* table, const char* name) {
    return d.tableEntry(table, name) != nullptr;
  };
  ASSERT_TRUE(has("LAYER", "UNUSED") && d.block("LONELY"));
  o.doc->PurgeAll();
  EXPECT_FALSE(has("LAYER", "UNUSED"));
  EXPECT_FALSE(has("STYLE", "UNUSEDSTYLE"));
  EXPECT_FALSE(has("DIMSTYLE", "UNUSEDDIM"));
  EXPECT_FALSE(d.block("LONELY"));
  EXPECT_FALSE(has("BLOCK_RECORD", "LONELY"));
  // In use, directly or through a block inside a block.
  EXPECT_TRUE(has("LAYER", "USED") && has("LAYER", "INBLOCK") &&
              has("LAYER", "0") && has("LAYER", "Defpoints"));
  EXPECT_TRUE(d.block("OUTER") && d.block("INNER"));
  EXPECT_TRUE(has("STYLE", "USEDSTYLE") && has("STYLE", "Standard"));
  EXPECT_TRUE(has("DIMSTYLE", "DM") && has("LTYPE", "Continuous"));
  EXPECT_EQ(o.ms().Count(), 3);

  o.engine->saveAs(dir.file("purged.dxf"));
  Opened again = open(dir.file("purged.dxf"));
  EXPECT_FALSE(again.engine->drawing().block("LONELY"));
  EXPECT_DOUBLE_EQ(again.ms().Item(2)->Measurement(), 30);

  o.doc->SendCommand("Undo\r\r");
  EXPECT_TRUE(has("LAYER", "UNUSED") && d.block("LONELY"));
  o.engine->saveAs(dir.file("restored.dxf"));
  EXPECT_TRUE(readBytes(dir.file("restored.dxf")) ==
              readBytes(fixture("purge_r2018.dxf")));
}

TEST(Host, VariablesByAnyCase) {
  Opened o = open(fixture("dims_r2018.dxf"));
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("clayer")), "标注层");
  EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CeColor")), "1");
  EXPECT_EQ(std::get<double>(o.doc->GetVariable("DIMDEC")), 3);
  EXPECT_EQ(std::get<Point>(o.doc->GetVariable("extmax")),
            std::get<Point>(o.doc->GetVariable("EXTMAX")));
  EXPECT_THROW(o.doc->GetVariable("NOSUCHVARIABLE"), HostError);
}

TEST(Host, ColourVariableNamesByLayerAndByBlock) {
  TempDir dir;
  for (auto [value, text] :
       {std::pair{"256", "bylayer"}, {"0", "byblock"}, {"7", "7"}}) {
    Opened o = openText(dir, "c.dxf",
                        dxf({{0, "SECTION"},
                             {2, "HEADER"},
                             {9, "$CECOLOR"},
                             {62, value},
                             {0, "ENDSEC"},
                             {0, "SECTION"},
                             {2, "ENTITIES"},
                             {0, "ENDSEC"},
                             {0, "EOF"}}));
    EXPECT_EQ(std::get<std::string>(o.doc->GetVariable("CECOLOR")), text);
    // New entities take it; R12 without handles keeps writing none.
    EntityRef c = o.ms().AddCircle({0, 0, 0}, 1);
    EXPECT_EQ(c->Color(), std::stoi(value));
  }
}

TEST(Host, DegenerateHeaderExtentsGiveWayToTheGeometry) {
  TempDir dir;
  Opened o = openText(
      dir, "e.dxf",
      dxf({{0, "SECTION"},  {2, "HEADER"}, {9, "$EXTMIN"}, {10, "5"},
           {20, "5"},       {30, "0"},     {9, "$EXTMAX"}, {10, "5"},
           {20, "5"},       {30, "0"},     {0, "ENDSEC"},  {0, "SECTION"},
           {2, "ENTITIES"}, {0, "LINE"},   {8, "0"},       {10, "1"},
           {20, "2"},       {11, "9"},     {21, "4"},      {0, "ENDSEC"},
           {0, "EOF"}}));
  EXPECT_EQ(std::get<Point>(o.doc->GetVariable("EXTMIN")), (Point{1, 2, 0}));
  EXPECT_EQ(std::get<Point>(o.doc->GetVariable("EXTMAX")), (Point{9, 4, 0}));
}

TEST(Host, FrozenLayersStayOutOfTheExtents) {
  // The header extents miss the circle on the frozen layer; they are not
  // stale for that, and computed extents leave it out as well.
  TempDir dir;
  auto text = [](const char* extmax) {
    return dxf({{0, "SECTION"}, {2, "HEADER"}, {9, "$EXTMIN"}, {10, "0"},
                {20, "0"},      {30, "0"},     {9, "$EXTMAX"}, {10, extmax},
                {20, "10"},     {30, "0"},     {0, "ENDSEC"},  {0, "SECTION"},
                {2, "TABLES"},  {0, "TABLE"},  {2, "LAYER"},   {70, "2"},
                {0, "LAYER"},   {2, "0"},      {70, "0"},      {62, "7"},
                {0, "LAYER"},   {2, "Hidden"}, {70, "1"},      {62, "7"},
                {0, "ENDTAB"},  {0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"},
                {0, "LINE"},    {8, "0"},      {10, "1"},      {20, "1"},
                {11, "9"},      {21, "9"},     {0, "CIRCLE"},  {8, "HIDDEN"},
                {10, "500"},    {20, "500"},   {40, "5"},      {0, "ENDSEC"},
                {0, "EOF"}});
  };
  Opened o = openText(dir, "f.dxf", text("10"));
  EXPECT_EQ(std::get<Point>(o.doc->GetVariable("EXTMAX")), (Point{10, 10, 0}));
  Opened stale = openText(dir, "g.dxf", text("1e+20"));
  EXPECT_EQ(std::get<Point>(stale.doc->GetVariable("EXTMAX")),
            (Point{9, 9, 0}));
  EXPECT_EQ(std::get<Point>(stale.doc->GetVariable("EXTMIN")),
            (Point{1, 1, 0}));
}

TEST(Host, NumbersOfOldWindowsProgramsAreRead) {
  TempDir dir;
  Opened o = openText(dir, "n.dxf",
                      dxf({{0, "SECTION"},
                           {2, "HEADER"},
                           {9, "$PLIMMAX"},
                           {10, "1.#INF"},
                           {20, "-1.#IND"},
                           {9, "$USERR1"},
                           {40, "1e999"},
                           {0, "ENDSEC"},
                           {0, "SECTION"},
                           {2, "ENTITIES"},
                           {0, "ENDSEC"},
                           {0, "EOF"}}));
  Point p = std::get<Point>(o.doc->GetVariable("PLIMMAX"));
  EXPECT_TRUE(std::isinf(p[0]) && p[0] > 0);
  EXPECT_TRUE(std::isnan(p[1]));
  EXPECT_TRUE(std::isinf(std::get<double>(o.doc->GetVariable("USERR1"))));
}

TEST(Host, ClosingRunsTheHandlerOnceAndQuitEndsTheHost) {
  Opened o = open(fixture("dims_r2018.dxf"));
  EXPECT_EQ(o.app->Caption(), "DimMark CAD - dims_r2018.dxf");
  int closed = 0;
  o.doc->SetClosedHandler([&] { ++closed; });
  EntityRef e = o.ms().Item(0);
  o.app->SetVisible(true);
  o.app->Quit();
  o.app->Quit();
  EXPECT_EQ(closed, 1);
  EXPECT_THROW(o.app->Caption(), HostError);
  EXPECT_THROW(o.app->Open(fixture("dims_r2018.dxf")), HostError);
  EXPECT_THROW(o.app->Visible(), HostError);
  EXPECT_THROW(o.doc->GetModelSpace(), HostError);
  EXPECT_THROW(o.doc->GetVariable("CLAYER"), HostError);
  EXPECT_THROW(e->Measurement(), HostError);
  o.engine->close();
  EXPECT_EQ(closed, 1);
}

TEST(Host, TheCaptionFollowsTheOpenDrawings) {
  auto app = cadhost::engine::makeEmbeddedHost();
  EXPECT_EQ(app->Caption(), "DimMark CAD");
  auto first = app->Open(fixture("dims_r2018.dxf"));
  auto second = app->Open(fixture("extents_valid.dxf"));
  EXPECT_EQ(app->Caption(), "DimMark CAD - extents_valid.dxf");
  std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(second)->close();
  EXPECT_EQ(app->Caption(), "DimMark CAD - dims_r2018.dxf");
  EXPECT_NO_THROW(first->GetModelSpace().Count());
}

TEST(Host, DwgDrawingsAreRefusedWithAMessage) {
  auto app = cadhost::engine::makeEmbeddedHost();
  for (const std::string& path :
       {std::string("/tmp/part.DWG"), fixture("broken/dwg_inside.dxf")}) {
    try {
      app->Open(path);
      FAIL() << path;
    } catch (const HostError& e) {
      EXPECT_NE(std::string(e.what()).find(
                    "DWG drawings must first be converted to DXF"),
                std::string::npos);
    }
  }
  Opened o = open(fixture("dims_r2018.dxf"));
  EXPECT_THROW(o.engine->saveAs("/tmp/out.dwg"), HostError);
}

TEST(Host, AFailedSaveSaysSoAndKeepsThePath) {
  Opened o = open(fixture("dims_r2018.dxf"));
  try {
    o.engine->saveAs("/nonexistent/folder/part.dxf");
    FAIL();
  } catch (const HostError& e) {
    EXPECT_NE(
        std::string(e.what()).find("cannot write /nonexistent/folder/part.dxf"),
        std::string::npos);
  }
  EXPECT_EQ(o.engine->path(), fixture("dims_r2018.dxf"));
  TempDir dir;
  o.engine->saveAs(dir.file("moved.dxf"));
  EXPECT_EQ(o.engine->path(), dir.file("moved.dxf"));
  EXPECT_EQ(o.app->Caption(), "DimMark CAD - moved.dxf");
}

// A killed save leaves its temporary file: the next save removes it (even
// a link, never what it points at); a folder of that name is not ours.
TEST(Host, AStrayTemporaryFileOfAKilledSaveGoesWithTheNextSave) {
  Opened o = open(fixture("dims_r2018.dxf"));
  TempDir dir;
  const std::string target = dir.file("marked.dxf");
  writeBytes(target + ".saving", "half a drawing");
  o.engine->saveAs(target);
  EXPECT_FALSE(std::filesystem::exists(target + ".saving"));
  EXPECT_EQ(readBytes(target), readBytes(fixture("dims_r2018.dxf")));

  writeBytes(dir.file("precious.txt"), "keep");
  std::filesystem::create_symlink(dir.file("precious.txt"), target + ".saving");
  o.engine->saveAs(target);
  EXPECT_FALSE(std::filesystem::is_symlink(target + ".saving"));
  EXPECT_EQ(readBytes(dir.file("precious.txt")), "keep");

  std::filesystem::create_directory(target + ".saving");
  EXPECT_THROW(o.engine->saveAs(target), HostError);
  EXPECT_THROW(cadhost::engine::checkSaveTarget(target), HostError);
  EXPECT_TRUE(std::filesystem::is_directory(target + ".saving"));
}

class QueuedPicks : public cadhost::PickSource {
 public:
  std::deque<Point> points;
  std::vector<std::string> prompts;
  Point lastBase{};
  Point pickPoint(const std::string& prompt) override {
    prompts.push_back(prompt);
    if (points.empty()) throw HostError("cancelled");
    Point p = points.front();
    points.pop_front();
    return p;
  }
  Point pickCorner(const Point& base, const std::string& prompt) override {
    lastBase = base;
    return pickPoint(prompt);
  }
};

TEST(Host, PicksComeFromThePickSource) {
  Opened headless = open(fixture("dims_r2018.dxf"));
  EXPECT_THROW(headless.doc->GetUtility().GetPoint(std::nullopt, "第一点: "),
               HostError);
  auto picks = std::make_shared<QueuedPicks>();
  picks->points = {{1, 2, 0}, {5, 6, 0}};
  Opened o = open(fixture("dims_r2018.dxf"), picks);
  auto& u = o.doc->GetUtility();
  EXPECT_EQ(u.GetPoint(std::nullopt, "第一点: "), (Point{1, 2, 0}));
  EXPECT_EQ(u.GetCorner({1, 2, 0}, "对角点: "), (Point{5, 6, 0}));
  EXPECT_EQ(picks->lastBase, (Point{1, 2, 0}));
  EXPECT_THROW(u.GetPoint(std::nullopt, "LOCATION: "), HostError);
  EXPECT_EQ(picks->prompts,
            (std::vector<std::string>{"第一点: ", "对角点: ", "LOCATION: "}));
  o.doc->GetApplication().ZoomCenter({3, 4, 0}, 250);
  auto* app = dynamic_cast<cadhost::engine::EngineApplication*>(o.app.get());
  EXPECT_EQ(app->viewCenter(), (Point{3, 4, 0}));
  EXPECT_EQ(app->viewHeight(), 250);
}

}  // namespace
