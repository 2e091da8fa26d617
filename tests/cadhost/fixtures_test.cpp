// The engine against drawings written by another DXF library: every
// property the host reports is compared with what the generator wrote, and
// an unchanged drawing saves back byte for byte.
#include <cmath>

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
                      "extents_stale", "purge_r2018", "mtext_long"));

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
