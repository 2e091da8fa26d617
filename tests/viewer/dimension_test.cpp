// Dimensions on screen: from their geometry block, kept true to the entity
// after the edits the program makes (precision, colour, move), and from
// their definition points when the block is missing or no longer fits.
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::Scene;

// Items of the engine's dims fixtures: 6 shows 12,5 with deviations +0,10
// and -0,02, its text at (6.25, 61.875); 13 shows 12,346 (3 decimals, no
// zeros suppressed) at (86.1728, 23.125).
constexpr int kDeviation = 6;
constexpr int kThreeDecimals = 13;
const Vec2 kDeviationText{6.25, 61.875}, kThreeText{86.1728, 23.125};

struct Opened {
  cadhost::ApplicationRef host = cadhost::engine::makeEmbeddedHost();
  std::shared_ptr<cadhost::engine::EngineDocument> doc;
  Scene scene{metrics()};
  explicit Opened(const std::string& path) {
    doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        host->Open(path));
    scene.build(doc->drawing());
  }
  cadhost::EntityRef item(int i) { return doc->GetModelSpace().Item(i); }
};

// The runs drawn within `r` of the point.
std::vector<const Call*> textsNear(const RecordingCanvas& c, Vec2 at,
                                   double r) {
  std::vector<const Call*> out;
  for (const Call* t : c.of(Call::Text))
    if (std::hypot(t->points[0].x - at.x, t->points[0].y - at.y) < r)
      out.push_back(t);
  return out;
}

QString joined(const std::vector<const Call*>& runs) {
  QString s;
  for (const Call* c : runs) s += c->run.text.trimmed() + QLatin1Char('|');
  return s;
}

TEST(DimensionView, TheBlockShowsAndFollowsPrecisionColourAndMoves) {
  Opened o(engineFixture("dims_r2018.dxf"));
  RecordingCanvas before = drawAll(o.scene);
  EXPECT_EQ(joined(textsNear(before, kDeviationText, 6)),
            QStringLiteral("12,5|+0,10|-0,02|"));
  auto runs = textsNear(before, kThreeText, 6);
  EXPECT_EQ(joined(runs), QStringLiteral("12,346|"));
  for (const Call* r : runs) EXPECT_EQ(r->color, kWhite);

  // The browser sets the precision of the dimension it shows.
  auto dim = o.item(kThreeDecimals);
  dim->SetPrimaryUnitsPrecision(2);
  ASSERT_TRUE(o.scene.update(o.doc->drawing()));
  RecordingCanvas precise = drawAll(o.scene);
  EXPECT_EQ(joined(textsNear(precise, kThreeText, 6)),
            QStringLiteral("12,35|"));
  // Only the text changed: the same lines and arrowheads.
  EXPECT_EQ(precise.of(Call::Line).size(), before.of(Call::Line).size());
  EXPECT_EQ(precise.of(Call::Polygon).size(), before.of(Call::Polygon).size());

  // ...and paints it in its highlight colour.
  dim->SetColor(1);
  o.scene.update(o.doc->drawing());
  RecordingCanvas red = drawAll(o.scene);
  auto painted = textsNear(red, kThreeText, 6);
  ASSERT_EQ(painted.size(), 1u);
  EXPECT_EQ(painted[0]->color, kRed);
  int redLines = 0;
  for (const Call* l : red.of(Call::Line)) redLines += l->color == kRed;
  EXPECT_GE(redLines, 3);  // the dimension line and its extension lines

  // Moved: the whole picture moves with it and keeps its 2 decimals.
  dim->Move({0, 0, 0}, {100, 50, 0});
  o.scene.update(o.doc->drawing());
  RecordingCanvas moved = drawAll(o.scene);
  EXPECT_TRUE(textsNear(moved, kThreeText, 6).empty());
  auto there = textsNear(moved, {kThreeText.x + 100, kThreeText.y + 50}, 6);
  ASSERT_EQ(joined(there), QStringLiteral("12,35|"));
  EXPECT_TRUE(near(
      there[0]->points[0],
      {painted[0]->points[0].x + 100, painted[0]->points[0].y + 50}, 1e-9));
  EXPECT_EQ(moved.of(Call::Line).size(), before.of(Call::Line).size());

  // Undone: the block's own picture again.
  for (int i = 0; i < 3; ++i) o.doc->SendCommand("Undo\r\r");
  o.scene.update(o.doc->drawing());
  RecordingCanvas back = drawAll(o.scene);
  auto again = textsNear(back, kThreeText, 6);
  EXPECT_EQ(joined(again), QStringLiteral("12,346|"));
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0]->color, kWhite);
  EXPECT_TRUE(near(again[0]->points[0], runs[0]->points[0], 1e-12));
}

TEST(DimensionView, ToleranceTextsFollowTheirPrecision) {
  Opened o(engineFixture("dims_r2018.dxf"));
  // The drawing suppresses trailing zeros (DIMZIN, DIMTZIN 8): one
  // decimal leaves +0,1 and 0 of the deviations.
  auto dim = o.item(kDeviation);
  dim->SetTolerancePrecision(1);
  o.scene.update(o.doc->drawing());
  RecordingCanvas c = drawAll(o.scene);
  auto runs = textsNear(c, kDeviationText, 9);
  EXPECT_EQ(joined(runs), QStringLiteral("12,5|+0,1|0|"));
}

TEST(DimensionView, AMeasuredValueLeftAsBracketsInTheBlockIsShown) {
  // ezdxf leaves "<>" in the blocks of overridden texts.
  Opened o(engineFixture("dims_r2018.dxf"));
  RecordingCanvas c = drawAll(o.scene);
  EXPECT_EQ(c.texts(QStringLiteral("<>")).size(), 0u);
  EXPECT_EQ(c.texts(QStringLiteral("16 H7")).size(), 1u);
  EXPECT_EQ(c.texts(QString::fromUtf8("Ø10")).size(), 1u);
}

TEST(DimensionView, ScaledDimensionsAreDrawnFromTheirPoints) {
  // A scale changes what the block shows: the picture comes from the
  // definition points, with the new measurement.
  Opened o(engineFixture("dims_r2018.dxf"));
  auto dim = o.item(0);  // 30, text at (15, 21.875)
  dim->ScaleEntity({0, 0, 0}, 2);
  o.scene.update(o.doc->drawing());
  RecordingCanvas c = drawAll(o.scene);
  auto runs = textsNear(c, {30, 43.75}, 8);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0]->run.text, QStringLiteral("60"));
  EXPECT_TRUE(textsNear(c, {15, 21.875}, 3).empty());
}

TEST(DimensionView, AFixedHeightTextStyleIsScaledWithTheDimension) {
  // A 2 high style in a 1:65 viewport: the CAD draws the text 130 high,
  // and so does the picture drawn from the points once the block is stale.
  Opened o(engineFixture("dimscale_fixed_style.dxf"));
  auto dim = o.item(0);  // 2000, text at (5000, 2600)
  EXPECT_DOUBLE_EQ(dim->TextHeight(), 130);
  dim->ScaleEntity({5000, 2000, 0}, 1.1);
  o.scene.update(o.doc->drawing());
  RecordingCanvas c = drawAll(o.scene);
  auto runs = c.texts(QStringLiteral("2200"));
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_NEAR(runs[0]->run.height, 130, 1e-9);
}

// A drawing whose dimensions have no geometry blocks, as some programs
// write them.
Dxf blocklessDimensions() {
  Dxf dxf;
  dxf.header("$DIMDEC", 70, "2").header("$DIMZIN", 70, "8");
  dxf.header("$DIMASZ", 40, "2.5").header("$DIMTXT", 40, "2.5");
  dxf.header("$DIMEXO", 40, "1").header("$DIMEXE", 40, "1.5");
  dxf.header("$DIMSCALE", 40, "1");
  // Rotated: from (0,0) to (30,0), dimension line at y = 10.
  dxf.entity("DIMENSION")
      .tag(2, "*D_NONE")
      .point(10, 30, 10)
      .point(11, 15, 11.5)
      .tag(70, "0")
      .point(13, 0, 0)
      .point(14, 30, 0)
      .tag(50, 0.0);
  // Diameter 20 about (100, 0).
  dxf.entity("DIMENSION")
      .point(10, 90, 0)
      .point(11, 100, 4)
      .tag(70, "3")
      .point(15, 110, 0);
  // Radius 5 about (200, 0).
  dxf.entity("DIMENSION")
      .point(10, 200, 0)
      .point(11, 210, 5)
      .tag(70, "4")
      .point(15, 205, 0);
  return dxf;
}

TEST(DimensionView, WithoutABlockTheDefinitionPointsDrawIt) {
  auto d = load(blocklessDimensions());
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);

  auto label = c.texts(QStringLiteral("30"));
  ASSERT_EQ(label.size(), 1u);
  // Centred on its middle point, 2.5 high.
  double w = metrics().width(QStringLiteral("30")) * 2.5;
  EXPECT_NEAR(label[0]->points[0].x, 15 - w / 2, 1e-9);
  EXPECT_NEAR(label[0]->run.height, 2.5, 1e-12);
  EXPECT_NEAR(label[0]->points[0].y, 11.5 - 1.25, 1e-9);
  // The dimension line and both extension lines, with their gaps.
  bool dimLine = false, ext1 = false, ext2 = false;
  for (const Call* l : c.of(Call::Line)) {
    if (near(l->points[0], {0, 10}) && near(l->points[1], {30, 10}))
      dimLine = true;
    if (near(l->points[0], {0, 1}) && near(l->points[1], {0, 11.5}))
      ext1 = true;
    if (near(l->points[0], {30, 1}) && near(l->points[1], {30, 11.5}))
      ext2 = true;
  }
  EXPECT_TRUE(dimLine);
  EXPECT_TRUE(ext1);
  EXPECT_TRUE(ext2);
  // Arrowheads point out at both ends: filled, 2.5 long.
  int tips = 0;
  for (const Call* f : c.of(Call::Polygon)) {
    cadhost::viewer::Box b;
    for (Vec2 v : f->points) b.add(v);
    if (near(f->points[0], {0, 10}) && std::fabs(b.x1 - 2.5) < 1e-9) ++tips;
    if (near(f->points[0], {30, 10}) && std::fabs(b.x0 - 27.5) < 1e-9) ++tips;
  }
  EXPECT_EQ(tips, 2);
  EXPECT_EQ(c.texts(QString::fromUtf8("Ø20")).size(), 1u);
  EXPECT_EQ(c.texts(QStringLiteral("R5")).size(), 1u);
}

// Line segments and filled shapes drawn in a colour, wherever they are.
std::pair<size_t, size_t> drawnIn(const RecordingCanvas& c, Rgb colour) {
  size_t segments = 0, fills = 0;
  for (const Call& k : c.calls) {
    if (k.color != colour) continue;
    if (k.kind == Call::Line) ++segments;
    if (k.kind == Call::Lines) segments += k.points.size() / 2;
    if (k.kind == Call::Polygon) ++fills;
  }
  return {segments, fills};
}

TEST(DimensionView, AHighlightPaintsEveryPartEvenWhereTheBlockNamesAColour) {
  // The sample's dimensions draw their lines, arrows and texts in the
  // style's green, not by block: the highlight must still show on all.
  Opened o(std::string(DIMMARK_SAMPLES) + "/bracket.dxf");
  auto dim = o.item(89);
  ASSERT_NEAR(dim->Measurement(), 80, 1e-9);
  const Vec2 text{13.25, 120};
  RecordingCanvas before = drawAll(o.scene);
  auto texts = textsNear(before, text, 4);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->color, kGreen);
  const auto [greenLines, greenFills] = drawnIn(before, kGreen);
  const auto [redLines, redFills] = drawnIn(before, kRed);

  const int own = dim->Color();
  dim->SetColor(1);
  o.scene.update(o.doc->drawing());
  RecordingCanvas red = drawAll(o.scene);
  texts = textsNear(red, text, 4);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->color, kRed);
  const auto [lines, fills] = drawnIn(red, kRed);
  // The dimension line and both extension lines, and both arrowheads,
  // leave the green and turn red; nothing else changes colour.
  EXPECT_GE(lines - redLines, 3u);
  EXPECT_GE(fills - redFills, 2u);
  EXPECT_EQ(greenLines - drawnIn(red, kGreen).first, lines - redLines);
  EXPECT_EQ(greenFills - drawnIn(red, kGreen).second, fills - redFills);

  // Given its colour back, it is drawn as its block draws it.
  dim->SetColor(own);
  o.scene.update(o.doc->drawing());
  RecordingCanvas back = drawAll(o.scene);
  EXPECT_EQ(drawnIn(back, kGreen), std::make_pair(greenLines, greenFills));
  EXPECT_EQ(drawnIn(back, kRed), std::make_pair(redLines, redFills));
}

}  // namespace
