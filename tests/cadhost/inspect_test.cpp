// dimmark-cli inspect: one JSON object per line, the document first.
#include <numbers>
#include <sstream>

#include "cli/commands.h"
#include "test_support.h"

namespace {

using namespace enginetest;

struct Result {
  int code;
  std::string out, err;
  std::vector<std::string> lines() const {
    std::vector<std::string> v;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) v.push_back(l);
    return v;
  }
};

Result inspect(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = cli::inspectCommand(args, out, err);
  return {code, out.str(), err.str()};
}

std::vector<std::string> keys(const Json& j) {
  std::vector<std::string> k;
  for (const auto& [key, value] : j.object) k.push_back(key);
  return k;
}

TEST(Inspect, PrintsTheDocumentThenEveryItem) {
  Result r = inspect({fixture("dims_r2018.dxf")});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto lines = r.lines();
  Json head = parseJson(lines.at(0));
  EXPECT_EQ(keys(head), (std::vector<std::string>{"count", "EXTMIN", "EXTMAX",
                                                  "dimdec", "dimtxt", "dimlfac",
                                                  "CECOLOR", "CLAYER"}));
  ASSERT_EQ(lines.size(), head.get("count")->number + 1);
  EXPECT_EQ(head.get("CLAYER")->string, "标注层");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    Json item = parseJson(lines[i]);
    EXPECT_EQ(item.get("index")->number, i - 1);
    std::vector<std::string> k = keys(item);
    std::vector<std::string> common{"index", "ObjectName", "Layer", "Color"};
    ASSERT_GE(k.size(), 4u);
    EXPECT_TRUE(std::equal(common.begin(), common.end(), k.begin()))
        << lines[i];
    std::string name = item.get("ObjectName")->string;
    if (name.ends_with("Dimension")) {
      EXPECT_EQ(
          std::vector<std::string>(k.begin() + 4, k.end()),
          (std::vector<std::string>{
              "Measurement", "TextPosition", "TextOverride", "TextHeight",
              "ToleranceDisplay", "ToleranceUpperLimit", "ToleranceLowerLimit",
              "PrimaryUnitsPrecision", "TolerancePrecision"}));
    } else if (name == "AcDbText" || name == "AcDbMText") {
      EXPECT_EQ(std::vector<std::string>(k.begin() + 4, k.end()),
                (std::vector<std::string>{"TextString", "InsertionPoint"}));
    } else if (name == "AcDbCircle") {
      EXPECT_EQ(std::vector<std::string>(k.begin() + 4, k.end()),
                (std::vector<std::string>{"center", "Radius"}));
    }
  }
  // Shortest round-trip numbers, text as UTF-8.
  EXPECT_NE(lines[6].find("\"Measurement\":25.004,"), std::string::npos);
  EXPECT_NE(r.out.find("\"TextString\":\"零件图 第一页\""), std::string::npos);
}

TEST(Inspect, TheRarerKindsReportTheirNameAndMeasurement) {
  Result r = inspect({fixture("dims_more_kinds.dxf")});
  ASSERT_EQ(r.code, 0) << r.err;
  auto lines = r.lines();
  ASSERT_EQ(lines.size(), 4u);
  const char* names[] = {"AcDb3PointAngularDimension", "AcDbArcDimension",
                         "AcDbRadialDimensionLarge"};
  const double measured[] = {std::numbers::pi / 3, 10 * std::numbers::pi,
                             120.5};
  for (std::size_t i = 0; i < 3; ++i) {
    Json item = parseJson(lines[i + 1]);
    EXPECT_EQ(item.get("ObjectName")->string, names[i]);
    EXPECT_NEAR(item.get("Measurement")->number, measured[i], 1e-9);
    EXPECT_EQ(item.get("TextHeight")->number, 2.5);
  }
}

TEST(Inspect, EscapesTextsForJson) {
  TempDir dir;
  std::string text = "a\"b\\c\td";
  writeBytes(dir.file("t.dxf"), dxf({{0, "SECTION"},
                                     {2, "ENTITIES"},
                                     {0, "TEXT"},
                                     {8, "0"},
                                     {10, "1"},
                                     {20, "2"},
                                     {40, "2.5"},
                                     {1, text},
                                     {0, "ENDSEC"},
                                     {0, "EOF"}}));
  Result r = inspect({dir.file("t.dxf")});
  ASSERT_EQ(r.code, 0) << r.err;
  Json item = parseJson(r.lines().at(1));
  EXPECT_EQ(item.get("TextString")->string, text);
  EXPECT_NE(r.out.find(R"("a\"b\\c\td")"), std::string::npos);
}

TEST(Inspect, UnreadableFilesExitWithTwo) {
  Result missing = inspect({"/nonexistent/part.dxf"});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("/nonexistent/part.dxf"), std::string::npos);
  Result broken = inspect({fixture("broken/truncated.dxf")});
  EXPECT_EQ(broken.code, 2);
  EXPECT_EQ(broken.out, "");
  EXPECT_NE(broken.err.find("line 39"), std::string::npos);
  EXPECT_EQ(inspect({}).code, 2);
  // Repairs are told on stderr; the drawing is still read.
  Result repaired = inspect({fixture("broken/missing_eof.dxf")});
  EXPECT_EQ(repaired.code, 0);
  EXPECT_NE(repaired.err.find("repaired"), std::string::npos);
  EXPECT_EQ(repaired.lines().size(), 3u);
}

}  // namespace
