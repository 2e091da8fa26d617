// The engine against drawings written by another DXF library: every
// property the host reports is compared with what the generator wrote, and
// an unchanged drawing saves back byte for byte.
#include <cmath>
#include <filesystem>
#include <optional>

#include "cadhost/engine/dimension.h"
#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::Point;

void expectNear(double got, double want, const std::string& what) {
  EXPECT_NEAR(got, want, 1e-9 * std::max(1.0, std::fabs(want))) << what;
}

void expectPoint(const Point& got, const Json& want, const std::string& what) {
  ASSERT_EQ(want.array.size(), 3u) << what;
  for (std::size_t k = 0; k < 3; ++k)
    expectNear(got[k], want.array[k].number,
               what + "[" + std::to_string(k) + "]");
}

void checkItem(cadhost::Entity& e, const Json& want, const std::string& where) {
  for (const auto& [key, value] : want.object) {
    std::string what = where + " " + key;
    if (key == "ObjectName")
      EXPECT_EQ(e.ObjectName(), value.string) << what;
    else if (key == "Layer")
      EXPECT_EQ(e.Layer(), value.string) << what;
    else if (key == "Color")
      EXPECT_EQ(e.Color(), value.number) << what;
    else if (key == "TextString")
      EXPECT_EQ(e.TextString(), value.string) << what;
    else if (key == "InsertionPoint")
      expectPoint(e.InsertionPoint(), value, what);
    else if (key == "center")
      expectPoint(e.center(), value, what);
    else if (key == "Radius")
      expectNear(e.Radius(), value.number, what);
    else if (key == "Measurement")
      expectNear(e.Measurement(), value.number, what);
    else if (key == "TextPosition")
      expectPoint(e.TextPosition(), value, what);
    else if (key == "TextOverride")
      EXPECT_EQ(e.TextOverride(), value.string) << what;
    else if (key == "TextHeight")
      expectNear(e.TextHeight(), value.number, what);
    else if (key == "ToleranceDisplay")
      EXPECT_EQ(e.ToleranceDisplay(), value.number) << what;
    else if (key == "ToleranceUpperLimit")
      expectNear(e.ToleranceUpperLimit(), value.number, what);
    else if (key == "ToleranceLowerLimit")
      expectNear(e.ToleranceLowerLimit(), value.number, what);
    else if (key == "PrimaryUnitsPrecision")
      EXPECT_EQ(e.PrimaryUnitsPrecision(), value.number) << what;
    else if (key == "TolerancePrecision")
      EXPECT_EQ(e.TolerancePrecision(), value.number) << what;
    else if (key == "TextPrecision")
      EXPECT_EQ(e.TextPrecision(), value.number) << what;
    else
      ADD_FAILURE() << "unknown key " << what;
  }
}

class Fixtures : public ::testing::TestWithParam<std::string> {};

TEST_P(Fixtures, ReportsWhatTheGeneratorWrote) {
  Json want = parseJson(readBytes(fixture(GetParam() + ".json")));
  Opened o = open(fixture(GetParam() + ".dxf"));
  const Json& header = *want.get("header");
  ASSERT_EQ(o.ms().Count(), header.get("count")->number);
  for (const auto& [key, value] : header.object) {
    if (key == "count") continue;
    cadhost::Variable v = o.doc->GetVariable(key);
    if (value.type == Json::Array)
      expectPoint(std::get<Point>(v), value, key);
    else if (value.type == Json::String)
      EXPECT_EQ(std::get<std::string>(v), value.string) << key;
    else
      expectNear(std::get<double>(v), value.number, key);
  }
  const auto& items = want.get("items")->array;
  for (std::size_t i = 0; i < items.size(); ++i)
    checkItem(*o.ms().Item(static_cast<int>(i)), items[i],
              GetParam() + " item " + std::to_string(i));
}

TEST_P(Fixtures, SavesAnUnchangedDrawingByteForByte) {
  TempDir dir;
  Opened o = open(fixture(GetParam() + ".dxf"));
  o.engine->saveAs(dir.file("copy.dxf"));
  EXPECT_TRUE(readBytes(dir.file("copy.dxf")) ==
              readBytes(fixture(GetParam() + ".dxf")));
}

INSTANTIATE_TEST_SUITE_P(
    Drawings, Fixtures,
    ::testing::Values("dims_r2018", "dims_r2018_bin", "dims_r2000_gbk",
                      "dims_r2000_gbk_crlf", "dims_r2000_escapes",
                      "dims_r12_gbk", "dims_r12_gbk_bin", "extents_valid",
                      "extents_stale", "purge_r2018", "mtext_long",
                      "styles_header", "dimscale_layout",
                      "dimscale_fixed_style", "dims_more_kinds"));

TEST(Fixtures, ReusedHandlesAreRepairedAndNothingIsDropped) {
  Json want = parseJson(readBytes(fixture("handles_reused.json")));
  Opened o = open(fixture("handles_reused.dxf"));
  ASSERT_EQ(o.engine->repairs().size(), 1u);
  EXPECT_NE(o.engine->repairs()[0].find(
                "2 records reused handles; the later ones got new handles"),
            std::string::npos)
      << o.engine->repairs()[0];
  const auto& items = want.get("items")->array;
  ASSERT_EQ(o.ms().Count(), static_cast<int>(items.size()));
  // The dimension's text style is named by the handle a later line took:
  // the reference still finds the style (its fixed height is 4).
  for (std::size_t i = 0; i < items.size(); ++i)
    checkItem(*o.ms().Item(static_cast<int>(i)), items[i],
              "item " + std::to_string(i));
  const auto* fixed = o.engine->drawing().tableEntry("STYLE", "FIXED");
  ASSERT_NE(fixed, nullptr);
  EXPECT_EQ(o.engine->drawing().entryByHandle(fixed->handle), fixed);

  // Saved, the drawing has one record per handle and opens without repair.
  TempDir dir;
  o.engine->saveAs(dir.file("copy.dxf"));
  Opened again = open(dir.file("copy.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());
  ASSERT_EQ(again.ms().Count(), static_cast<int>(items.size()));
  for (std::size_t i = 0; i < items.size(); ++i)
    checkItem(*again.ms().Item(static_cast<int>(i)), items[i],
              "saved item " + std::to_string(i));
  // A new entity gets a handle of its own too.
  again.ms().AddCircle({0, 0, 0}, 1);
  again.engine->saveAs(dir.file("more.dxf"));
  EXPECT_TRUE(open(dir.file("more.dxf")).engine->repairs().empty());
}

// What the dimension's own block draws: its measurement text's height and
// whether a tolerance stands beside the measurement.
struct Drawn {
  double height = 0;
  bool tolerance = false;
};

std::optional<Drawn> drawnBy(const cadhost::engine::Drawing& d,
                             const cadhost::engine::Entity& dim) {
  using namespace cadhost::engine;
  std::string name = textValue(d, ownTags(d.tags(dim.rec)), 2);
  const Block* block = name.empty() ? nullptr : d.block(name);
  if (!block) return std::nullopt;
  Drawn out;
  int texts = 0;
  for (const auto& e : block->entities) {
    if (e->type != "MTEXT" && e->type != "TEXT") continue;
    Tags t = ownTags(d.tags(e->rec));
    double h = real(t, 40, 0);
    std::string content;
    for (const Tag& tag : t)
      if (tag.code == 1 || tag.code == 3) content += d.text(tag.value);
    ++texts;
    if (e->type == "MTEXT" || h > out.height) out.height = h;
    for (const char* mark : {R"(\S)", "%%p", "%%P", R"(\U+00B1)", "±"})
      if (content.find(mark) != std::string::npos) out.tolerance = true;
  }
  if (texts == 0) return std::nullopt;
  // Older drawings set each tolerance line as a text of its own.
  if (texts > 1) out.tolerance = true;
  return out;
}

TEST(Fixtures, TextHeightAndToleranceAreWhatTheDimensionsBlockDraws) {
  std::vector<std::string> paths = {std::string(DIMMARK_SAMPLES) +
                                    "/bracket.dxf"};
  for (const auto& entry :
       std::filesystem::directory_iterator(DIMMARK_DXF_FIXTURES))
    if (entry.path().extension() == ".dxf")
      paths.push_back(entry.path().string());
  int checked = 0, toleranced = 0;
  for (const std::string& path : paths) {
    Opened o = open(path);
    const auto& d = o.engine->drawing();
    const auto& ms = d.modelSpace();
    for (std::size_t i = 0; i < ms.size(); ++i) {
      if (!cadhost::engine::isDimensionType(ms[i]->type)) continue;
      auto drawn = drawnBy(d, *ms[i]);
      if (!drawn) continue;
      auto e = o.ms().Item(static_cast<int>(i));
      std::string where = path + " item " + std::to_string(i);
      EXPECT_NEAR(e->TextHeight(), drawn->height, 1e-9 * drawn->height)
          << where;
      int display = e->ToleranceDisplay();
      // A basic dimension draws a box, not a tolerance. The generator of
      // the R12 fixtures draws no tolerance in R12 blocks at all.
      bool r12 = path.find("_r12_") != std::string::npos;
      if (display != 4 && !r12) {
        EXPECT_EQ(display != 0, drawn->tolerance) << where;
      }
      ++checked;
      toleranced += drawn->tolerance;
    }
  }
  // Every kind of case is there: plain and toleranced dimensions.
  EXPECT_GT(checked, 100);
  EXPECT_GT(toleranced, 10);
}

TEST(Fixtures, PaperSpaceIsNotModelSpace) {
  // The generator put one line into a layout; model space does not list it.
  Opened o = open(fixture("dims_r2018.dxf"));
  std::size_t lines = 0;
  for (const auto& e : o.engine->drawing().entities())
    lines += e->type == "LINE";
  std::size_t modelLines = 0;
  for (int i = 0; i < o.ms().Count(); ++i)
    modelLines += o.ms().Item(i)->ObjectName() == "AcDbLine";
  EXPECT_EQ(lines, modelLines + 1);
}

}  // namespace

namespace {

using namespace enginetest;

TEST(Sample, TheBundledDrawingIsARealisticPartDrawing) {
  std::string path = std::string(DIMMARK_SAMPLES) + "/bracket.dxf";
  Opened o = open(path);
  EXPECT_TRUE(o.engine->repairs().empty());
  EXPECT_EQ(o.engine->drawing().codec().charset(), "GBK");
  auto& ms = o.ms();
  int dimensions = 0, toleranced = 0;
  std::vector<std::string> texts;
  for (int i = 0; i < ms.Count(); ++i) {
    auto e = ms.Item(i);
    std::string name = e->ObjectName();
    if (name.ends_with("Dimension")) {
      ++dimensions;
      toleranced += e->ToleranceDisplay() != 0;
      EXPECT_GT(e->Measurement(), 0) << i;
    } else if (name == "AcDbText" || name == "AcDbMText") {
      texts.push_back(e->TextString());
    }
  }
  EXPECT_GE(dimensions, 24);
  EXPECT_LE(dimensions, 30);
  EXPECT_GE(toleranced, 5);
  for (const char* title : {"支架", "材料", "Q235-A", "比例"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), title), texts.end())
        << title;
  TempDir dir;
  o.engine->saveAs(dir.file("copy.dxf"));
  EXPECT_TRUE(readBytes(dir.file("copy.dxf")) == readBytes(path));
}

}  // namespace
