// DWG drawings in the engine: converted through the host's hook, they keep
// the DWG's path (and with it the database's name) and are never written
// over the DWG.
#include <cmath>
#include <filesystem>

#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::HostError;
using cadhost::engine::EngineApplication;
using cadhost::engine::EngineDocument;

struct DwgHost {
  std::shared_ptr<EngineApplication> app =
      std::make_shared<EngineApplication>(nullptr);
  std::vector<std::string> asked;
  std::string dxf = readBytes(fixture("dims_r2018.dxf"));
  DwgHost() {
    app->dwgToDxf = [this](const std::string& path) {
      asked.push_back(path);
      return dxf;
    };
  }
  std::shared_ptr<EngineDocument> open(const std::string& path) {
    return std::dynamic_pointer_cast<EngineDocument>(app->Open(path));
  }
};

std::string saveError(EngineDocument& doc, const std::string& path) {
  try {
    doc.saveAs(path);
  } catch (const HostError& e) {
    return e.what();
  }
  return "(saved)";
}

TEST(DwgOpen, ADwgOpensThroughTheHookAndKeepsItsPath) {
  TempDir dir;
  std::string dwg = dir.file("part.dwg");
  writeBytes(dwg, "AC1032 not really a drawing");
  DwgHost h;
  auto doc = h.open(dwg);
  ASSERT_EQ(h.asked, std::vector<std::string>{dwg});
  EXPECT_EQ(doc->path(), dwg);
  EXPECT_TRUE(doc->fromDwg());
  EXPECT_EQ(h.app->Caption(), "DimMark CAD - part.dwg");
  EXPECT_EQ(doc->GetModelSpace().Count(),
            open(fixture("dims_r2018.dxf")).ms().Count());

  // Never over the DWG, however its name is spelt.
  std::filesystem::create_symlink(dwg, dir.file("link.dxf"));
  for (const std::string& target :
       {dwg, dir.file("./part.dwg"), dir.file("link.dxf"),
        dir.file("other.DWG")}) {
    EXPECT_NE(saveError(*doc, target), "(saved)") << target;
  }
  EXPECT_EQ(readBytes(dwg), "AC1032 not really a drawing");
  EXPECT_FALSE(std::filesystem::exists(dir.file("other.DWG")));

  // Saved as DXF, the drawing belongs to the DXF.
  EXPECT_EQ(saveError(*doc, dir.file("part.dxf")), "(saved)");
  EXPECT_EQ(doc->path(), dir.file("part.dxf"));
  EXPECT_FALSE(doc->fromDwg());
  EXPECT_EQ(readBytes(dir.file("part.dxf")), h.dxf);
  // ...and still never goes over the DWG.
  EXPECT_NE(saveError(*doc, dwg), "(saved)");
  EXPECT_EQ(readBytes(dwg), "AC1032 not really a drawing");
}

TEST(DwgOpen, DwgBytesUnderAnotherNameAreConvertedToo) {
  DwgHost h;
  std::string path = fixture("broken/dwg_inside.dxf");
  auto doc = h.open(path);
  EXPECT_EQ(h.asked, std::vector<std::string>{path});
  EXPECT_TRUE(doc->fromDwg());
  EXPECT_NE(saveError(*doc, path), "(saved)");
}

TEST(DwgOpen, AFailedOrCancelledConversionOpensNothing) {
  TempDir dir;
  std::string dwg = dir.file("part.dwg");
  writeBytes(dwg, "AC1032");
  DwgHost h;
  h.app->dwgToDxf = [](const std::string&) -> std::string {
    throw HostError("DWG 图纸“part.dwg”无法转换：转换程序意外终止（信号 11）");
  };
  try {
    h.open(dwg);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_STREQ(e.what(),
                 "DWG 图纸“part.dwg”无法转换：转换程序意外终止（信号 11）");
  }
  h.app->dwgToDxf = [](const std::string&) -> std::string {
    throw cadhost::Cancelled("cancelled");
  };
  EXPECT_THROW(h.open(dwg), cadhost::Cancelled);
  // A converter that answers something that is not DXF.
  h.app->dwgToDxf = [](const std::string&) -> std::string { return "garbage"; };
  try {
    h.open(dwg);
    FAIL();
  } catch (const HostError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("part.dwg: line 1:", 0), 0u)
        << e.what();
  }
  EXPECT_TRUE(h.app->documents().empty());
  EXPECT_EQ(h.app->Caption(), "DimMark CAD");
}

}  // namespace

namespace {

// Two dimensions as LibreDWG writes them from a DWG: an angle between two
// lines with its arc point and the second line's end exchanged (the arc
// the CAD drew is centred at 13), and an X ordinate that lost its X flag;
// a Y ordinate whose stored measurement outweighs its leader; a Y ordinate
// left as it is.
std::string libreDwgText(bool signed_) {
  std::string s = signed_ ? "999\nLibreDWG 0.13.3\n" : "";
  s += R"(0
SECTION
2
BLOCKS
0
BLOCK
8
0
2
*D7
70
1
10
0
20
0
30
0
3
*D7
0
ARC
8
0
10
490.6216519543077
20
4118.24274338716
30
0
40
487.19
50
143.04
51
250.46
0
ENDBLK
8
0
0
ENDSEC
0
SECTION
2
ENTITIES
0
DIMENSION
8
0
2
*D7
10
3.542714605046058
20
4128.871501442696
30
0
11
25.89
21
3978.37
31
0
70
34
13
490.6216519543077
23
4118.24274338716
33
0
14
-276.8548009664508
24
4701.847034571434
34
0
15
172.7442546208081
25
3207.985617767696
35
0
16
490.6216519543077
26
4118.24274338716
36
0
0
DIMENSION
8
0
10
0
20
0
30
0
11
4818.68
21
4190.65
31
0
70
166
13
4630.519359082828
23
4515.678949653964
33
0
14
4820.765738000104
24
4198.776713909552
34
0
0
DIMENSION
8
0
10
0
20
0
30
0
11
4818.68
21
4190.65
31
0
70
38
42
4515.678949653964
13
4630.519359082828
23
4515.678949653964
33
0
14
4640.0
24
4198.776713909552
34
0
0
DIMENSION
8
0
10
0
20
0
30
0
11
4405.91
21
4179.73
31
0
70
38
13
3869.53
23
4177.65
33
0
14
4405.91
24
4179.73
34
0
0
ENDSEC
0
EOF
)";
  return s;
}

std::vector<double> measurements(cadhost::ModelSpace& ms) {
  std::vector<double> out;
  for (int i = 0; i < ms.Count(); ++i) out.push_back(ms.Item(i)->Measurement());
  return out;
}

TEST(DwgOpen, WhatLibreDwgWritesWronglyIsMendedFromTheDrawing) {
  TempDir dir;
  const double deg = std::acos(-1.0) / 180;
  Opened mended = openText(dir, "converted.dxf", libreDwgText(true));
  auto m = measurements(mended.ms());
  ASSERT_EQ(m.size(), 4u);
  EXPECT_NEAR(m[0], 108 * deg, 1e-6);
  EXPECT_NEAR(m[1], 4630.519359082828, 1e-9);
  EXPECT_NEAR(m[2], 4515.678949653964, 1e-9);
  EXPECT_NEAR(m[3], 4177.65, 1e-9);
  EXPECT_EQ(mended.engine->repairs().size(), 2u);
  // Mended while loading, not edited: the dimension blocks still fit.
  for (const auto* e : mended.engine->drawing().modelSpace())
    EXPECT_EQ(mended.engine->drawing().loadedTags(e->rec).data(),
              mended.engine->drawing().tags(e->rec).data());

  // Saved and read again, it needs no mending and reads the same.
  mended.engine->saveAs(dir.file("saved.dxf"));
  Opened again = open(dir.file("saved.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());
  auto m2 = measurements(again.ms());
  ASSERT_EQ(m2.size(), 4u);
  for (std::size_t i = 0; i < m.size(); ++i) EXPECT_NEAR(m2[i], m[i], 1e-9);

  // The same entities from any other writer are taken as they are.
  Opened plain = openText(dir, "plain.dxf", libreDwgText(false));
  auto p = measurements(plain.ms());
  EXPECT_NEAR(p[0], 42.34 * deg, 0.01 * deg);
  EXPECT_NEAR(p[1], 4515.678949653964, 1e-9);
  EXPECT_TRUE(plain.engine->repairs().empty());
}

}  // namespace
