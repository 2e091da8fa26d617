// Drawings from other CAD programs drawn as their own program draws them
// (issue 17): multi-line attributes, hidden layers and the frame, old text
// codes, dynamic blocks, endless lines, tables, multilines, meshes and
// proxy graphics. The drawings come from tests/fixtures/dxf/render/, where
// make_render_fixtures.py writes them.
#include <cstdint>
#include <initializer_list>
#include <numbers>

#include "cadhost/viewer/export.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::Box;
using cadhost::viewer::RenderStyle;
using cadhost::viewer::Scene;
constexpr double kPi = std::numbers::pi;

std::string renderFixture(const std::string& name) {
  return engineFixture("render/" + name + ".dxf");
}

struct Loaded {
  std::unique_ptr<cadhost::engine::Drawing> drawing;
  Scene scene{metrics()};
  explicit Loaded(const std::string& name) {
    std::string bytes = readBytes(renderFixture(name));
    drawing = cadhost::engine::Drawing::load(
        cadhost::engine::Bytes(bytes.begin(), bytes.end()));
    scene.build(*drawing);
  }
};

bool sameBox(const Box& b, double x0, double y0, double x1, double y1,
             double tol = 1e-6) {
  return std::fabs(b.x0 - x0) <= tol && std::fabs(b.y0 - y0) <= tol &&
         std::fabs(b.x1 - x1) <= tol && std::fabs(b.y1 - y1) <= tol;
}

const Call* polylineFrom(const RecordingCanvas& c, Vec2 from) {
  for (const Call& call : c.calls)
    if (call.kind == Call::Polyline && near(call.points.front(), from, 1e-6))
      return &call;
  return nullptr;
}

TEST(Fidelity, MultiLineAttributesReadForwardsLineByLine) {
  Loaded f("attrib_multiline");
  RecordingCanvas c = drawAll(f.scene);
  auto first = c.texts(QStringLiteral("BRACKET"));
  auto second = c.texts(QStringLiteral("LEFT HAND"));
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  // Forwards, from the attribute's multiline text at (5, 15), top left.
  EXPECT_GT(first[0]->run.widthFactor, 0);
  EXPECT_GT(second[0]->run.widthFactor, 0);
  EXPECT_NEAR(first[0]->points[0].x, 5, 1e-6);
  EXPECT_LT(first[0]->points[0].y, 15);
  EXPECT_LT(second[0]->points[0].y, first[0]->points[0].y - 3);
  // The single-line value is not drawn beside it.
  EXPECT_EQ(c.texts(QStringLiteral("BRACKET")).size(), 1u);
  // A single-line attribute asked to run backwards still does.
  auto backwards = c.texts(QStringLiteral("DM-0042"));
  ASSERT_EQ(backwards.size(), 1u);
  EXPECT_LT(backwards[0]->run.widthFactor, 0);
}

TEST(Fidelity, HiddenLayersHideAttributesAndFrameNothing) {
  Loaded f("layers_hidden");
  RecordingCanvas c = drawAll(f.scene);
  EXPECT_TRUE(c.texts(QStringLiteral("HIDDEN")).empty());
  // On screen the non-plotting line frames too; on paper only the square.
  EXPECT_TRUE(sameBox(f.scene.extents(), 0, -300, 10, 10));
  EXPECT_TRUE(sameBox(f.scene.extents(true), 0, 0, 10, 10));
  QImage paper =
      cadhost::viewer::renderImage(f.scene, 200, RenderStyle::paper());
  EXPECT_EQ(paper.height(), 200);
}

TEST(Fidelity, OldSignCodesAndFontSwitchesKeepTheirSize) {
  auto one = [](const char* s) {
    auto pieces = cadhost::viewer::decodeSingleLine(s);
    return pieces.size() == 1 ? pieces[0].text : QString();
  };
  EXPECT_EQ(one("%%12910"), QString::fromUtf8("Ø10"));
  EXPECT_EQ(one("45%%127"), QString::fromUtf8("45°"));
  EXPECT_EQ(one("%%1280.1"), QString::fromUtf8("±0.1"));
  EXPECT_EQ(one("%%065%%126"), QString::fromUtf8("A~"));

  Loaded f("text_codes");
  RecordingCanvas c = drawAll(f.scene);
  EXPECT_EQ(c.texts(QString::fromUtf8("Ø10")).size(), 1u);
  EXPECT_EQ(c.texts(QString::fromUtf8("45°")).size(), 1u);
  auto switched = c.texts(QStringLiteral("SWITCHED"));
  auto plain = c.texts(QStringLiteral("PLAIN"));
  ASSERT_EQ(switched.size(), 1u);
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_NEAR(switched[0]->run.height, plain[0]->run.height, 1e-9);
  EXPECT_NEAR(switched[0]->run.height, 5, 1e-9);
  // Under a TrueType font CJK letters take the capitals' sizing, as the
  // host draws them, not the smaller one of its big fonts.
  auto mixed = c.texts(QString::fromUtf8("零件MIX"));
  ASSERT_EQ(mixed.size(), 1u);
  EXPECT_TRUE(mixed[0]->run.trueType);
  EXPECT_FALSE(plain[0]->run.trueType);
  EXPECT_DOUBLE_EQ(
      metrics().emPerCap(mixed[0]->run.text, mixed[0]->run.trueType),
      metrics().emPerCap(QStringLiteral("MIX")));
  EXPECT_LT(metrics().emPerCap(QString::fromUtf8("零件")),
            metrics().emPerCap(QStringLiteral("MIX")));
}

TEST(Fidelity, EndlessLinesCrossTheViewWithoutFramingIt) {
  Loaded f("lines_and_meshes");
  EXPECT_TRUE(sameBox(f.scene.extents(), 0, 0, 100, 50));
  RecordingCanvas c = drawAll(f.scene);
  // The view of 1000 x 1000 pixels round the box: the construction line
  // through (50, 25) at 45 degrees runs from edge to edge, the ray from
  // (50, 25) up to the top.
  Box seen =
      cadhost::viewer::View::fit(f.scene.extents(), 1000, 1000, 0.05).visible();
  const Call* xline = nullptr;
  const Call* ray = nullptr;
  for (const Call* l : c.of(Call::Line)) {
    Vec2 a = l->points[0], b = l->points[1];
    if (std::fabs((b.y - a.y) - (b.x - a.x)) < 1e-6 &&
        std::fabs((a.y - 25) - (a.x - 50)) < 1e-6)
      xline = l;
    if (near(a, {50, 25}) && std::fabs(b.x - 50) < 1e-9 && b.y > 25) ray = l;
  }
  ASSERT_TRUE(xline);
  ASSERT_TRUE(ray);
  EXPECT_GE(ray->points[1].y, seen.y1);
  EXPECT_LE(std::min(xline->points[0].y, xline->points[1].y), seen.y0 + 1e-6);
  EXPECT_GE(std::max(xline->points[0].y, xline->points[1].y), seen.y1 - 1e-6);
  // A view beside it shows the construction line but not the ray.
  Box beside;
  beside.add(Vec2{60, -100});
  beside.add(Vec2{70, -90});
  RecordingCanvas far = drawAll(f.scene, {}, beside);
  std::size_t lines = far.of(Call::Line).size();
  EXPECT_EQ(lines, 0u);
  Box onLine;
  onLine.add(Vec2{190, 165});
  onLine.add(Vec2{200, 175});
  EXPECT_EQ(drawAll(f.scene, {}, onLine).of(Call::Line).size(), 1u);
}

TEST(Fidelity, MultilinesFollowTheirStyleAndMeshesShowTheirEdges) {
  Loaded f("lines_and_meshes");
  RecordingCanvas c = drawAll(f.scene);
  // Style TWO: elements 5 apart, red and blue; the multiline's vertices
  // (10,10), (40,10), (40,40) lie on its top element.
  const Call* top = polylineFrom(c, {10, 10});
  const Call* bottom = polylineFrom(c, {10, 5});
  ASSERT_TRUE(top);
  ASSERT_TRUE(bottom);
  EXPECT_EQ(top->color, kRed);
  EXPECT_EQ(bottom->color, kBlue);
  ASSERT_EQ(bottom->points.size(), 3u);
  EXPECT_TRUE(near(bottom->points[1], {45, 5}));
  EXPECT_TRUE(near(bottom->points[2], {45, 40}));
  // The mesh's one face: four edges.
  bool face = false;
  for (const Call* l : c.of(Call::Lines))
    face = face || (l->points.size() == 8 && near(l->points[0], {60, 10}) &&
                    near(l->points[1], {80, 10}));
  EXPECT_TRUE(face);
}

TEST(Fidelity, TablesShowTheirBlock) {
  Loaded f("table");
  RecordingCanvas c = drawAll(f.scene);
  EXPECT_EQ(c.texts(QStringLiteral("PART")).size(), 1u);
  EXPECT_EQ(c.texts(QStringLiteral("QTY")).size(), 1u);
  bool rule = false;
  for (const Call* l : c.of(Call::Line))
    rule = rule ||
           (near(l->points[0], {200, 100}) && near(l->points[1], {260, 100}));
  EXPECT_TRUE(rule);
  EXPECT_TRUE(sameBox(f.scene.extents(), 200, 84, 260, 100, 1e-6));
}

TEST(Fidelity, ProxiesShowTheGraphicsTheyCarry) {
  Loaded f("proxy_graphics");
  RecordingCanvas c = drawAll(f.scene);
  auto arcs = c.of(Call::Arc);
  ASSERT_EQ(arcs.size(), 2u);
  EXPECT_TRUE(near(arcs[0]->points[0], {30, 20}));
  EXPECT_NEAR(arcs[0]->radius, 5, 1e-9);
  EXPECT_NEAR(std::fabs(arcs[0]->sweep), 2 * kPi, 1e-9);
  EXPECT_EQ(arcs[0]->color, kWhite);
  // After the colour command: red, half a circle from angle 0.
  EXPECT_TRUE(near(arcs[1]->points[0], {50, 0}));
  EXPECT_NEAR(arcs[1]->radius, 10, 1e-9);
  EXPECT_NEAR(arcs[1]->start, 0, 1e-9);
  EXPECT_NEAR(arcs[1]->sweep, kPi, 1e-9);
  EXPECT_EQ(arcs[1]->color, kRed);
  const Call* poly = polylineFrom(c, {0, 0});
  ASSERT_TRUE(poly);
  ASSERT_EQ(poly->points.size(), 3u);
  EXPECT_TRUE(near(poly->points[2], {20, 10}));
}

// Little-endian hex of 32-bit integers and doubles, as group 310 holds them.
std::string hexOf(std::initializer_list<std::int32_t> ints,
                  std::initializer_list<double> reals = {}) {
  std::string out;
  auto put = [&](const void* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) {
      out += digits[b[i] >> 4];
      out += digits[b[i] & 15];
    }
  };
  for (std::int32_t v : ints) put(&v, sizeof v);
  for (double v : reals) put(&v, sizeof v);
  return out;
}

TEST(Fidelity, ProxyGraphicsThatLieAreReadNoFurtherThanTheyGo) {
  // A polyline claiming a billion points, a shell with a face of
  // INT_MIN indexes, a mesh of huge size, commands running past the end:
  // what is whole is drawn, the rest is left.
  std::string good = hexOf({8 + 4 + 2 * 24, 6, 2}, {0, 0, 0, 5, 5, 0});
  std::string lying = hexOf({8 + 4, 6, 1000000000});
  std::string shell =
      hexOf({8 + 4 + 24 + 4 + 8, 9, 1}, {1, 1, 0}) + hexOf({2, INT32_MIN});
  std::string mesh = hexOf({8 + 8, 8, 1 << 30, 1 << 30});
  std::string past = hexOf({4000, 2});
  std::string all = good + lying + shell + mesh + past;
  std::string data =
      hexOf({static_cast<std::int32_t>(8 + all.size() / 2), 9}) + all;
  Dxf dxf("AC1015");
  dxf.entity("ACAD_PROXY_ENTITY")
      .tag(92, std::to_string(data.size() / 2))
      .tag(310, data)
      .tag(100, "AcDbProxyEntity");
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);
  ASSERT_TRUE(polylineFrom(c, {0, 0}));
  EXPECT_EQ(c.of(Call::Polyline).size(), 1u);
  EXPECT_TRUE(c.of(Call::Arc).empty());
}

TEST(Fidelity, DynamicBlocksShowOneVisibilityState) {
  Loaded f("dynamic_block");
  RecordingCanvas c = drawAll(f.scene);
  // The definition shows its default state, a circle; the reference to
  // the anonymous copy of the other state shows only the square.
  EXPECT_EQ(c.of(Call::Arc).size(), 1u);
  EXPECT_TRUE(near(c.of(Call::Arc)[0]->points[0], {0, 0}));
  const Call* square = polylineFrom(c, {45, -5});
  ASSERT_TRUE(square);
  EXPECT_FALSE(polylineFrom(c, {-5, -5}));
  // What is flagged invisible frames nothing either.
  EXPECT_TRUE(sameBox(f.scene.extents(), -5, -5, 55, 5, 1e-6));
}

}  // namespace
