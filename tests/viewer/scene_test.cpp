// What the renderer draws for the entities of a drawing: where, in which
// colour, and what stays hidden. Checked on a recording canvas.
#include <cmath>
#include <numbers>

#include "cadhost/engine/geometry.h"
#include "cadhost/viewer/scene_builder.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::Box;
using cadhost::viewer::RenderStyle;
using cadhost::viewer::Scene;
constexpr double kPi = std::numbers::pi;

Box box(double x0, double y0, double x1, double y1) {
  Box b;
  b.add(Vec2{x0, y0});
  b.add(Vec2{x1, y1});
  return b;
}

// The colour of the line drawn from (x0, y0), or none.
std::optional<Rgb> lineColorFrom(const RecordingCanvas& c, Vec2 from) {
  for (const Call& call : c.calls)
    if ((call.kind == Call::Line || call.kind == Call::Polyline) &&
        near(call.points.front(), from, 1e-9))
      return call.color;
  return std::nullopt;
}

TEST(SceneColors, LayersBlocksAndVisibility) {
  Dxf dxf;
  dxf.layer("RED", 1).layer("OFF", -3).layer("FROZEN", 4, true);
  dxf.layer("GREEN", 3).layer("MAGENTA", 6).layer("OFFINSERT", -2);
  // A block with one line of each kind of colour.
  dxf.block("B")
      .line(0, 0, 1, 0, "0")           // layer 0, by layer: the insert's
      .line(0, 1, 1, 1, "0", 0)        // by block: the insert's colour
      .line(0, 2, 1, 2, "MAGENTA")     // its own layer
      .line(0, 3, 1, 3, "MAGENTA", 5)  // its own colour
      .endBlock();
  dxf.block("OUTER")
      .entity("INSERT", "0")
      .tag(62, "0")
      .tag(2, "B")
      .point(10, 0, 0)
      .endBlock();
  dxf.line(0, -1, 1, -1, "RED");     // by layer
  dxf.line(0, -2, 1, -2, "RED", 2);  // own colour
  dxf.line(0, -3, 1, -3, "OFF");     // hidden
  dxf.line(0, -4, 1, -4, "FROZEN");  // hidden
  dxf.line(0, -5, 1, -5, "0", 7);    // colour 7
  dxf.entity("INSERT", "GREEN").tag(62, "4").tag(2, "B").point(10, 10, 0);
  dxf.entity("INSERT", "GREEN").tag(2, "B").point(10, 10, 20);
  dxf.entity("INSERT", "GREEN").tag(62, "1").tag(2, "OUTER").point(10, 10, 30);
  dxf.entity("INSERT", "OFFINSERT").tag(2, "B").point(10, 10, 40);
  dxf.entity("INSERT", "FROZEN").tag(2, "B").point(10, 10, 50);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);

  EXPECT_EQ(lineColorFrom(c, {0, -1}), kRed);
  EXPECT_EQ(lineColorFrom(c, {0, -2}), kYellow);
  EXPECT_FALSE(lineColorFrom(c, {0, -3}));
  EXPECT_FALSE(lineColorFrom(c, {0, -4}));
  EXPECT_EQ(lineColorFrom(c, {0, -5}), kWhite);
  // Insert with colour 4 on GREEN.
  EXPECT_EQ(lineColorFrom(c, {10, 0}), kGreen);
  EXPECT_EQ(lineColorFrom(c, {10, 1}), kCyan);
  EXPECT_EQ(lineColorFrom(c, {10, 2}), kMagenta);
  EXPECT_EQ(lineColorFrom(c, {10, 3}), kBlue);
  // By layer insert: by block becomes the layer's colour.
  EXPECT_EQ(lineColorFrom(c, {10, 21}), kGreen);
  // Nested: by block through two references ends at the outer one's red.
  EXPECT_EQ(lineColorFrom(c, {10, 31}), kRed);
  EXPECT_EQ(lineColorFrom(c, {10, 30}), kGreen);
  // An insert on a layer that is off shows only what lies on other layers.
  EXPECT_FALSE(lineColorFrom(c, {10, 40}));
  EXPECT_FALSE(lineColorFrom(c, {10, 41}));
  EXPECT_EQ(lineColorFrom(c, {10, 42}), kMagenta);
  // A frozen layer hides the whole block.
  EXPECT_FALSE(lineColorFrom(c, {10, 52}));

  // On paper colour 7 is ink.
  RecordingCanvas paper = drawAll(scene, RenderStyle::paper());
  EXPECT_EQ(lineColorFrom(paper, {0, -5}), kBlack);
  EXPECT_EQ(lineColorFrom(paper, {0, -1}), kRed);
}

TEST(SceneGeometry, BlockReferencesMapTheirContent) {
  Dxf dxf;
  dxf.block("B", 1, 1)
      .line(1, 1, 2, 1)
      .entity("ARC")
      .point(10, 1, 1)
      .tag(40, 1.0)
      .tag(50, 0.0)
      .tag(51, 90.0)
      .entity("CIRCLE")
      .point(10, 3, 1)
      .tag(40, 0.5)
      .endBlock();
  // Scale 2, turned a quarter: (1,1)-(2,1) lands at (10,10)-(10,12).
  dxf.entity("INSERT")
      .tag(2, "B")
      .point(10, 10, 10)
      .tag(41, 2.0)
      .tag(42, 2.0)
      .tag(50, 90.0);
  // Mirrored in x: arcs run the other way.
  dxf.entity("INSERT").tag(2, "B").point(10, 30, 10).tag(41, -1.0);
  // Squeezed: the circle is an ellipse now.
  dxf.entity("INSERT").tag(2, "B").point(10, 50, 10).tag(41, 1.0).tag(42, 3.0);
  // An array of 2 x 3.
  dxf.entity("INSERT")
      .tag(2, "B")
      .point(10, 70, 10)
      .tag(70, "3")
      .tag(71, "2")
      .tag(44, 5.0)
      .tag(45, 7.0);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);

  bool turned = false;
  for (const Call* l : c.of(Call::Line))
    if (near(l->points[0], {10, 10}) && near(l->points[1], {10, 12}))
      turned = true;
  EXPECT_TRUE(turned);
  int arcs = 0, mirrored = 0, lines = 0;
  for (const Call* a : c.of(Call::Arc)) {
    if (near(a->points[0], {10, 10}) && std::fabs(a->radius - 2) < 1e-9) {
      ++arcs;
      EXPECT_NEAR(a->start, kPi / 2, 1e-9);
      EXPECT_NEAR(a->sweep, kPi / 2, 1e-9);
    }
    if (near(a->points[0], {30, 10}) && std::fabs(a->radius - 1) < 1e-9) {
      ++mirrored;
      EXPECT_NEAR(std::fabs(a->start), kPi, 1e-9);
      EXPECT_NEAR(a->sweep, -kPi / 2, 1e-9);
    }
  }
  EXPECT_EQ(arcs, 1);
  EXPECT_EQ(mirrored, 1);
  // The squeezed circle: a closed polyline 0.5 wide and 1.5 high.
  bool ellipse = false;
  for (const Call* p : c.of(Call::Polyline)) {
    Box b;
    for (Vec2 v : p->points) b.add(v);
    if (p->closed && std::fabs(b.width() - 1) < 1e-6 &&
        std::fabs(b.height() - 3) < 1e-6 &&
        near({(b.x0 + b.x1) / 2, (b.y0 + b.y1) / 2}, {52, 10}, 1e-6))
      ellipse = true;
  }
  EXPECT_TRUE(ellipse);
  for (const Call* l : c.of(Call::Line))
    for (int col = 0; col < 3; ++col)
      for (int row = 0; row < 2; ++row)
        if (near(l->points[0], {70.0 + 5 * col, 10.0 + 7 * row})) ++lines;
  EXPECT_EQ(lines, 6);
}

TEST(SceneGeometry, PolylinesBulgesWidthsAndObjectCoordinates) {
  Dxf dxf;
  // A half circle from (0,0) to (10,0), bulging below (counter-clockwise).
  dxf.entity("LWPOLYLINE")
      .tag(90, "2")
      .tag(70, "0")
      .tag(10, 0.0)
      .tag(20, 0.0)
      .tag(42, 1.0)
      .tag(10, 10.0)
      .tag(20, 0.0);
  // Constant width.
  dxf.entity("LWPOLYLINE")
      .tag(90, "2")
      .tag(70, "0")
      .tag(43, 2.0)
      .tag(10, 0.0)
      .tag(20, 20.0)
      .tag(10, 10.0)
      .tag(20, 20.0);
  // Tapering from 4 to 0: an arrow, filled.
  dxf.entity("LWPOLYLINE")
      .tag(90, "2")
      .tag(70, "0")
      .tag(10, 0.0)
      .tag(20, 30.0)
      .tag(40, 4.0)
      .tag(41, 0.0)
      .tag(10, 10.0)
      .tag(20, 30.0);
  // A circle seen from below: its OCS mirrors x.
  dxf.entity("CIRCLE")
      .point(10, 5, 40)
      .tag(40, 1.0)
      .tag(210, 0.0)
      .tag(220, 0.0)
      .tag(230, -1.0);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);

  const Call* half = nullptr;
  const Call* wide = nullptr;
  for (const Call* p : c.of(Call::Polyline)) {
    if (near(p->points.front(), {0, 0})) half = p;
    if (near(p->points.front(), {0, 20})) wide = p;
  }
  ASSERT_TRUE(half);
  Box hb;
  for (Vec2 v : half->points) {
    hb.add(v);
    EXPECT_NEAR(std::hypot(v.x - 5, v.y), 5, 1e-9);
  }
  EXPECT_NEAR(hb.y0, -5, 1e-6);  // through (5, -5)
  EXPECT_NEAR(hb.y1, 0, 1e-9);
  ASSERT_TRUE(wide);
  EXPECT_DOUBLE_EQ(wide->width, 2);
  auto fills = c.of(Call::Polygon);
  ASSERT_EQ(fills.size(), 1u);
  Box fb;
  for (Vec2 v : fills[0]->points) fb.add(v);
  EXPECT_NEAR(fb.y1 - fb.y0, 4, 1e-9);
  bool mirrored = false;
  for (const Call* a : c.of(Call::Arc))
    if (near(a->points[0], {-5, 40})) mirrored = true;
  EXPECT_TRUE(mirrored);
}

TEST(SceneGeometry, LineTypesScaleWithTheDrawing) {
  Dxf dxf;
  dxf.linetype("DASHED", {5, -2.5});
  dxf.layer("HID", 6, false, "DASHED");
  dxf.tag(0, "LINE").tag(8, "HID").point(10, 0, 0).point(11, 100, 0);
  dxf.tag(0, "LINE").tag(8, "HID").tag(48, 2.0).point(10, 0, 10).point(11, 100,
                                                                       10);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);
  auto lines = c.of(Call::Line);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]->dashes, (std::vector<double>{5, 2.5}));
  EXPECT_EQ(lines[1]->dashes, (std::vector<double>{10, 5}));
  // Seen from far away the dashes would blur: a plain line.
  cadhost::viewer::View far =
      cadhost::viewer::View::fit(box(-5000, -5000, 5000, 5000), 100, 100);
  RecordingCanvas small;
  cadhost::viewer::Renderer r;
  r.draw(scene, far, small, {});
  for (const Call* l : small.of(Call::Line)) EXPECT_TRUE(l->dashes.empty());
}

TEST(SceneHatch, SolidFillsAndPatternsStayInsideTheirBoundaries) {
  // The section view of the part: ANSI31 between an outline and a bore,
  // a solid hatch, an edge-path hatch with an arc.
  auto host = cadhost::engine::makeEmbeddedHost();
  auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
      host->Open(viewerFixture("part.dxf")));
  Scene scene(metrics());
  scene.build(doc->drawing());
  RecordingCanvas c = drawAll(scene);
  const double sx = 170, cy = 120;
  auto inside = [&](Vec2 p) {
    return p.x >= sx - 1e-6 && p.x <= sx + 30 + 1e-6 && p.y >= cy - 50 - 1e-6 &&
           p.y <= cy + 50 + 1e-6;
  };
  auto inBore = [&](Vec2 p) {
    return p.x > sx + 1e-6 && p.x < sx + 30 - 1e-6 && p.y > cy - 20 + 1e-6 &&
           p.y < cy + 20 - 1e-6;
  };
  std::size_t strokes = 0;
  for (const Call* l : c.of(Call::Lines)) {
    for (std::size_t i = 0; i + 1 < l->points.size(); i += 2) {
      Vec2 a = l->points[i], b = l->points[i + 1];
      Vec2 mid{(a.x + b.x) / 2, (a.y + b.y) / 2};
      if (!inside(mid)) continue;  // the other hatch
      ++strokes;
      EXPECT_TRUE(inside(a) && inside(b));
      EXPECT_FALSE(inBore(mid));
      // ANSI31 runs at 45 degrees.
      EXPECT_NEAR(std::fabs(b.y - a.y), std::fabs(b.x - a.x), 1e-6);
    }
  }
  EXPECT_GT(strokes, 20u);
  // The solid hatch is one red fill of its rectangle.
  bool solid = false;
  for (const Call* f : c.of(Call::Polygon)) {
    if (f->color != kRed) continue;
    Box b;
    for (Vec2 v : f->points) b.add(v);
    solid = std::fabs(b.x0 - (sx + 40)) < 1e-9 &&
            std::fabs(b.x1 - (sx + 55)) < 1e-9 && std::fabs(b.y0 - 75) < 1e-9 &&
            std::fabs(b.y1 - 85) < 1e-9;
  }
  EXPECT_TRUE(solid);
  // The edge path's arc bulges to x = 240: strokes reach past the
  // straight edges but never beyond the arc.
  double reach = 0;
  for (const Call* l : c.of(Call::Lines))
    for (Vec2 v : l->points)
      if (v.y > 95 && v.y < 115 && v.x > sx + 39) reach = std::max(reach, v.x);
  EXPECT_GT(reach, sx + 61);
  EXPECT_LE(reach, sx + 70 + 1e-6);
}

TEST(SceneIndex, QueriesReturnWhatTouchesTheBoxInFileOrder) {
  Dxf dxf;
  for (int i = 0; i < 3000; ++i) {
    double x = (i % 100) * 10, y = (i / 100) * 10;
    dxf.line(x, y, x + 5, y + 5);
  }
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  std::vector<std::uint32_t> hits;
  scene.query(box(101, 101, 119, 119), hits);
  // Lines from (100,100), (110,100), (100,110), (110,110).
  ASSERT_EQ(hits.size(), 4u);
  std::vector<Vec2> starts;
  for (auto i : hits) starts.push_back(scene.points(scene.prim(i))[0]);
  EXPECT_TRUE(near(starts[0], {100, 100}));
  EXPECT_TRUE(near(starts[1], {110, 100}));
  EXPECT_TRUE(near(starts[2], {100, 110}));
  EXPECT_TRUE(near(starts[3], {110, 110}));
  for (std::size_t i = 1; i < hits.size(); ++i)
    EXPECT_LT(scene.prim(hits[i - 1]).order, scene.prim(hits[i]).order);
  // The renderer draws only those.
  cadhost::viewer::View v =
      cadhost::viewer::View::fit(box(101, 101, 119, 119), 200, 200, 0);
  RecordingCanvas c;
  cadhost::viewer::Renderer r;
  r.draw(scene, v, c, {});
  EXPECT_EQ(c.of(Call::Line).size(), 4u);
}

TEST(SceneLevelOfDetail, TinyThingsBecomeDotsAndTinyTextAStroke) {
  Dxf dxf;
  dxf.entity("CIRCLE").point(10, 0, 0).tag(40, 0.01);
  dxf.line(1000, 1000, 1000.01, 1000);
  dxf.entity("TEXT").point(10, 500, 500).tag(40, 1.0).tag(1, "ABC");
  dxf.entity("TEXT").point(10, 500, 600).tag(40, 60.0).tag(1, "BIG");
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);  // about 1 pixel per unit
  EXPECT_EQ(c.of(Call::Point).size(), 2u);
  EXPECT_TRUE(c.of(Call::Arc).empty());
  ASSERT_EQ(c.of(Call::Text).size(), 1u);
  EXPECT_EQ(c.of(Call::Text)[0]->run.text, QStringLiteral("BIG"));
  // "ABC" is a stroke along its baseline, half its height up.
  bool stroke = false;
  for (const Call* l : c.of(Call::Line))
    if (near(l->points[0], {500, 500.5}, 1e-9) && l->points[1].x > 501)
      stroke = true;
  EXPECT_TRUE(stroke);
}

TEST(SceneUpdate, EditsThroughTheHostRedrawOnlyWhatChanged) {
  auto host = cadhost::engine::makeEmbeddedHost();
  auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
      host->Open(viewerFixture("part.dxf")));
  auto& ms = doc->GetModelSpace();
  Scene scene(metrics());
  scene.build(doc->drawing());
  std::size_t before = scene.livingCount();
  EXPECT_FALSE(scene.update(doc->drawing()));

  // A mark: circle and number.
  auto circle = ms.AddCircle({60, 60, 0}, 4);
  auto text = ms.AddText("12", {58, 58, 0}, 3.5);
  EXPECT_TRUE(scene.update(doc->drawing()));
  EXPECT_EQ(scene.livingCount(), before + 2);
  RecordingCanvas c = drawAll(scene);
  bool drawn = false;
  for (const Call* a : c.of(Call::Arc))
    drawn = drawn || (near(a->points[0], {60, 60}) && a->radius == 4);
  EXPECT_TRUE(drawn);
  ASSERT_EQ(c.texts(QStringLiteral("12")).size(), 1u);
  EXPECT_TRUE(near(c.texts(QStringLiteral("12"))[0]->points[0], {58, 58}));

  circle->SetColor(1);
  circle->Move({0, 0, 0}, {5, 0, 0});
  EXPECT_TRUE(scene.update(doc->drawing()));
  c = drawAll(scene);
  bool moved = false;
  for (const Call* a : c.of(Call::Arc))
    if (near(a->points[0], {65, 60})) moved = a->color == kRed;
  EXPECT_TRUE(moved);
  EXPECT_EQ(scene.livingCount(), before + 2);

  text->Delete();
  EXPECT_TRUE(scene.update(doc->drawing()));
  EXPECT_TRUE(drawAll(scene).texts(QStringLiteral("12")).empty());
  doc->SendCommand("Undo\r\r");  // the delete comes back
  EXPECT_TRUE(scene.update(doc->drawing()));
  EXPECT_EQ(drawAll(scene).texts(QStringLiteral("12")).size(), 1u);
  // Back to tags seen before: still a change to draw.
  doc->SendCommand("Undo\r\r");
  doc->SendCommand("Undo\r\r");
  EXPECT_TRUE(scene.update(doc->drawing()));
  c = drawAll(scene);
  bool back = false;
  for (const Call* a : c.of(Call::Arc))
    if (near(a->points[0], {60, 60})) back = a->color == kWhite;
  EXPECT_TRUE(back);
}

}  // namespace

namespace {

TEST(SceneLimits, BlocksNestedManyTimesOrInThemselvesStayBounded) {
  Dxf dxf;
  // B0 holds ten references of B1, B1 ten of B2... a hundred million
  // lines in all; SELF holds itself.
  for (int level = 0; level < 8; ++level) {
    dxf.block("B" + std::to_string(level));
    for (int k = 0; k < 10; ++k)
      dxf.entity("INSERT")
          .tag(2, "B" + std::to_string(level + 1))
          .point(10, k * 2.0, 0);
    dxf.endBlock();
  }
  dxf.block("B8").line(0, 0, 1, 1).endBlock();
  dxf.block("SELF")
      .line(0, 0, 1, 0)
      .entity("INSERT")
      .tag(2, "SELF")
      .point(10, 0, 1)
      .endBlock();
  dxf.entity("INSERT").tag(2, "B0").point(10, 0, 0);
  dxf.entity("INSERT").tag(2, "SELF").point(10, 100, 0);
  dxf.line(200, 0, 201, 0);  // after them, still drawn
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  EXPECT_LT(scene.livingCount(), 2'000'000u);
  std::size_t selfLines = 0;
  bool last = false;
  for (const auto& p : scene.prims()) {
    auto pts = scene.points(p);
    // SELF's lines are level, the nested ones slanted.
    if (p.kind == cadhost::viewer::PrimKind::Line && pts[0].x == 100 &&
        pts[0].y == pts[1].y)
      ++selfLines;
    if (p.kind == cadhost::viewer::PrimKind::Line && pts[0].x == 200)
      last = true;
  }
  EXPECT_GT(selfLines, 1u);
  EXPECT_LT(selfLines, 100u);
  EXPECT_TRUE(last);
}

// Each level 10,000 references of the next, down to an empty block: no
// primitive ever counts against the budget, yet the visits are bounded.
TEST(SceneLimits, ArraysOfNestedEmptyBlocksStayBounded) {
  Dxf dxf;
  for (int level = 0; level < 6; ++level)
    dxf.block("A" + std::to_string(level))
        .entity("INSERT")
        .tag(2, "A" + std::to_string(level + 1))
        .point(10, 0, 0)
        .tag(70, "100")
        .tag(71, "100")
        .tag(44, 1.0)
        .tag(45, 1.0)
        .endBlock();
  dxf.block("A6").endBlock();
  dxf.entity("INSERT").tag(2, "A0").point(10, 0, 0);
  dxf.line(200, 0, 201, 0);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  ASSERT_EQ(scene.livingCount(), 1u);
  EXPECT_EQ(scene.points(scene.prims()[0])[0].x, 200);
}

// A spline's degree as high as its control points allow: drawn at once,
// as its control frame.
TEST(SceneLimits, SplinesOfAnyDegreeAreDrawnAtOnce) {
  Dxf dxf;
  const int degree = 4000;
  auto& e = dxf.entity("SPLINE").tag(71, std::to_string(degree));
  for (int k = 0; k < 2 * (degree + 1); ++k) e.tag(40, k <= degree ? 0.0 : 1.0);
  for (int k = 0; k <= degree; ++k) e.tag(10, k).tag(20, k % 2).tag(30, 0.0);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  ASSERT_EQ(scene.livingCount(), 1u);
  auto pts = scene.points(scene.prims()[0]);
  ASSERT_EQ(pts.size(), static_cast<std::size_t>(degree + 1));
  EXPECT_EQ(pts[1].y, 1);
  EXPECT_EQ(pts.back().x, degree);
}

// A pattern of close lines in a boundary of many edges: every line meets
// every edge, so past a budget the hatch is left to its boundary.
TEST(SceneLimits, DensePatternsInBoundariesOfManyEdgesEndAtOnce) {
  using cadhost::viewer::HatchData;
  using cadhost::viewer::hatchStrokes;
  auto ring = [](int edges) {
    std::vector<cadhost::viewer::Vec2> loop;
    for (int i = 0; i < edges; ++i)
      loop.push_back({1000 * std::cos(2 * kPi * i / edges),
                      1000 * std::sin(2 * kPi * i / edges)});
    return loop;
  };
  HatchData h;
  h.lines.push_back({kPi / 4, {0, 0}, {-0.01, 0.01}, {}});
  h.loops = {ring(20000)};  // 141,000 lines by 20,000 edges
  EXPECT_TRUE(hatchStrokes(h, 200000).empty());
  h.loops = {ring(100)};
  auto strokes = hatchStrokes(h, 200000);
  EXPECT_GT(strokes.size(), 2 * 140000u);  // one per 0.01 × √2 across
  h.lines[0].offset = {-1, 1};             // 1,414 lines by 20,000 edges
  h.loops = {ring(20000)};
  strokes = hatchStrokes(h, 200000);
  ASSERT_GT(strokes.size(), 2 * 1400u);
  EXPECT_NEAR(std::hypot(strokes[0].x, strokes[0].y), 1000, 1e-3);
}

// Angles turns away from where they point, and numbers no drawing means:
// the first drawn as what they point at, the second left out.
TEST(SceneLimits, AnglesOfAnySizeAndUnusableNumbers) {
  Dxf dxf;
  dxf.entity("ARC")
      .point(10, 0, 0)
      .tag(40, 10.0)
      .tag(50, 30.0 + 360.0 * 1e11)
      .tag(51, 120.0 - 360.0 * 2e11);
  dxf.entity("ELLIPSE")
      .point(10, 50, 0)
      .point(11, 10, 0)
      .tag(40, 0.5)
      .tag(41, 2 * kPi * 1e12)
      .tag(42, 2 * kPi * 1e12 + kPi);
  dxf.entity("ARC").point(10, 0, 0).tag(40, 5.0).tag(50, "0").tag(51, "-1e308");
  dxf.entity("CIRCLE").point(10, 0, 0).tag(40, "inf");
  auto d = load(dxf);
  EXPECT_EQ(d->repairs().size(), 2u);
  Scene scene(metrics());
  scene.build(*d);
  ASSERT_EQ(scene.livingCount(), 2u);
  const auto& arcPrim = scene.prims()[0];
  ASSERT_EQ(arcPrim.kind, cadhost::viewer::PrimKind::Arc);
  const auto& a = scene.arc(arcPrim);
  EXPECT_NEAR(std::remainder(a.start - kPi / 6, 2 * kPi), 0, 1e-6);
  EXPECT_NEAR(a.sweep, kPi / 2, 1e-6);
  EXPECT_NEAR(arcPrim.box.y1, 10, 1e-6);  // through 90°
  // Half the ellipse, from its major axis end round to the other.
  auto pts = scene.points(scene.prims()[1]);
  ASSERT_GE(pts.size(), 8u);
  EXPECT_NEAR(pts.front().x, 60, 1e-3);
  EXPECT_NEAR(pts.back().x, 40, 1e-3);
}

}  // namespace

namespace {

TEST(SceneMultileaders, NotesAndBalloonsWithTheirLeaders) {
  auto host = cadhost::engine::makeEmbeddedHost();
  auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
      host->Open(viewerFixture("part.dxf")));
  Scene scene(metrics());
  scene.build(doc->drawing());
  RecordingCanvas c = drawAll(scene);
  // The balloon: its circle at the block's place, its number from the
  // multileader's attribute value, centred in it.
  auto seven = c.texts(QStringLiteral("7"));
  ASSERT_EQ(seven.size(), 1u);
  EXPECT_NEAR(seven[0]->points[0].x + metrics().width(QStringLiteral("7")) *
                                          seven[0]->run.height / 2,
              140, 1e-6);
  EXPECT_TRUE(c.texts(QStringLiteral("NUM")).empty());
  bool circle = false;
  for (const Call* a : c.of(Call::Arc))
    circle = circle || (near(a->points[0], {140, 190}) && a->radius == 4);
  EXPECT_TRUE(circle);
  // Its leader runs from the arrowhead at (130, 150) to where it lands.
  bool leader = false;
  for (const Call* p : c.of(Call::Polyline))
    leader = leader || (near(p->points.front(), {130, 150}) &&
                        near(p->points.back(), {128, 190}));
  EXPECT_TRUE(leader);
  bool tip = false;
  for (const Call* f : c.of(Call::Polygon))
    tip = tip || near(f->points[0], {130, 150});
  EXPECT_TRUE(tip);
  int notes = 0;
  for (const Call* t : c.of(Call::Text))
    notes += t->run.text == QString::fromUtf8("倒角 C1");
  EXPECT_EQ(notes, 1);
}

}  // namespace
