// Dimensions as other CAD programs write them: R12 without subclass
// markers, stored measurements that disagree with the points, style values
// from overrides, styles and the header, angles in every sector.
#include <cmath>
#include <numbers>

#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::HostError;
using cadhost::Point;
using Tags = std::initializer_list<std::pair<int, std::string>>;

constexpr double kPi = std::numbers::pi;

// An R12 drawing with a header, one dimension style and the given
// dimension tags (after "0 DIMENSION").
std::string drawing(Tags dimension, Tags header = {}, Tags style = {}) {
  std::string s =
      dxf({{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"}});
  for (const auto& [c, v] : header) s += dxf({{c, v}});
  s += dxf({{0, "ENDSEC"},
            {0, "SECTION"},
            {2, "TABLES"},
            {0, "TABLE"},
            {2, "STYLE"},
            {70, "1"},
            {0, "STYLE"},
            {2, "BIG"},
            {70, "0"},
            {40, "4.2"},
            {0, "ENDTAB"},
            {0, "TABLE"},
            {2, "DIMSTYLE"},
            {70, "1"},
            {0, "DIMSTYLE"},
            {2, "S1"},
            {70, "0"},
            {140, "2.5"},
            {147, "0.625"}});
  for (const auto& [c, v] : style) s += dxf({{c, v}});
  s += dxf({{0, "ENDTAB"},
            {0, "ENDSEC"},
            {0, "SECTION"},
            {2, "ENTITIES"},
            {0, "DIMENSION"},
            {8, "DIM"},
            {3, "S1"}});
  for (const auto& [c, v] : dimension) s += dxf({{c, v}});
  s += dxf({{0, "ENDSEC"}, {0, "EOF"}});
  return s;
}

class Dimensions : public ::testing::Test {
 protected:
  cadhost::EntityRef load(Tags dimension, Tags header = {}, Tags style = {}) {
    opened_ = openText(dir_, "d.dxf", drawing(dimension, header, style));
    return opened_.ms().Item(0);
  }
  TempDir dir_;
  Opened opened_;
};

TEST_F(Dimensions, AStoredMeasurementCountsOnlyWhereItAgreesWithThePoints) {
  // A rotated dimension of 25.004 between its extension points.
  for (const char* stored : {"", "0", "-1", "99.5", "25.0040000000001"}) {
    std::string m = stored;
    auto d = m.empty() ? load({{70, "0"},
                               {13, "0"},
                               {23, "0"},
                               {14, "25.004"},
                               {24, "3"},
                               {11, "12"},
                               {21, "10"}})
                       : load({{70, "0"},
                               {42, m},
                               {13, "0"},
                               {23, "0"},
                               {14, "25.004"},
                               {24, "3"},
                               {11, "12"},
                               {21, "10"}});
    EXPECT_NEAR(d->Measurement(), 25.004, 1e-12) << "group 42 = " << m;
    EXPECT_EQ(d->ObjectName(), "AcDbRotatedDimension");
    EXPECT_EQ(d->TextPosition(), (Point{12, 10, 0}));
  }
}

TEST_F(Dimensions, LengthFactorAppliesToLinearKindsOnly) {
  auto d = load({{70, "1"}, {13, "0"}, {23, "0"}, {14, "3"}, {24, "4"}},
                {{9, "$DIMLFAC"}, {40, "3"}}, {{144, "2"}});
  EXPECT_DOUBLE_EQ(d->Measurement(), 10);  // the style's factor wins
  // A negative factor is meant for paper space.
  d = load({{70, "1"}, {13, "0"}, {23, "0"}, {14, "3"}, {24, "4"}}, {},
           {{144, "-2"}});
  EXPECT_DOUBLE_EQ(d->Measurement(), 5);
  d = load({{70, "4"}, {10, "0"}, {20, "0"}, {15, "3"}, {25, "4"}}, {},
           {{144, "0.5"}});
  EXPECT_EQ(d->ObjectName(), "AcDbRadialDimension");
  EXPECT_DOUBLE_EQ(d->Measurement(), 2.5);
  d = load({{70, "5"},
            {13, "1"},
            {23, "0"},
            {14, "0"},
            {24, "1"},
            {15, "0"},
            {25, "0"},
            {10, "1"},
            {20, "1"}},
           {}, {{144, "0.5"}});
  EXPECT_DOUBLE_EQ(d->Measurement(), kPi / 2);
}

TEST_F(Dimensions, ThreePointAnglesFollowTheArcPoint) {
  // Legs at 0 and 90 degrees around the origin.
  auto angle = [&](const char* ax, const char* ay) {
    return load({{70, "5"},
                 {13, "5"},
                 {23, "0"},
                 {14, "0"},
                 {24, "5"},
                 {15, "0"},
                 {25, "0"},
                 {10, ax},
                 {20, ay}})
        ->Measurement();
  };
  EXPECT_NEAR(angle("3", "3"), kPi / 2, 1e-12);
  EXPECT_NEAR(angle("-3", "-3"), 3 * kPi / 2, 1e-12);
  EXPECT_NEAR(angle("-3", "1"), 3 * kPi / 2, 1e-12);
}

TEST_F(Dimensions, TwoLineAnglesTakeTheSectorOfTheArcPoint) {
  // Lines through (10, 0) at 0 and 60 degrees; the arc point picks one of
  // the four sectors.
  auto angle = [&](double degrees) {
    double a = degrees * kPi / 180;
    std::string x = std::to_string(10 + 5 * std::cos(a));
    std::string y = std::to_string(5 * std::sin(a));
    return load({{70, "2"},
                 {13, "10"},
                 {23, "0"},
                 {14, "20"},
                 {24, "0"},
                 {15, "10"},
                 {25, "0"},
                 {10, std::to_string(10 + std::cos(kPi / 3))},
                 {20, std::to_string(std::sin(kPi / 3))},
                 {16, x},
                 {26, y}})
        ->Measurement();
  };
  EXPECT_NEAR(angle(30), kPi / 3, 1e-5);
  EXPECT_NEAR(angle(120), 2 * kPi / 3, 1e-5);
  EXPECT_NEAR(angle(210), kPi / 3, 1e-5);
  EXPECT_NEAR(angle(300), 2 * kPi / 3, 1e-5);
}

TEST_F(Dimensions, ScalingChangesLengthsButNotAngles) {
  auto linear = load({{70, "1"},
                      {42, "5"},
                      {13, "0"},
                      {23, "0"},
                      {14, "3"},
                      {24, "4"},
                      {11, "1"},
                      {21, "1"}});
  linear->ScaleEntity({0, 0, 0}, 2);
  EXPECT_DOUBLE_EQ(linear->Measurement(), 10);
  EXPECT_EQ(linear->TextPosition(), (Point{2, 2, 0}));
  auto angle = load({{70, "5"},
                     {42, "1.5707963267948966"},
                     {13, "5"},
                     {23, "0"},
                     {14, "0"},
                     {24, "5"},
                     {15, "0"},
                     {25, "0"},
                     {10, "3"},
                     {20, "3"}});
  angle->ScaleEntity({1, 1, 0}, 3);
  EXPECT_DOUBLE_EQ(angle->Measurement(), kPi / 2);
  const auto& d = opened_.engine->drawing();
  EXPECT_EQ(cadhost::engine::real(d.tags(d.modelSpace()[0]->rec), 42, 0),
            1.5707963267948966);
}

TEST_F(Dimensions, OrdinatesMeasureAlongTheirAxis) {
  Tags x = {{70, "70"}, {10, "5"},  {20, "90"}, {13, "20"},
            {23, "70"}, {14, "20"}, {24, "60"}};  // 64: X type
  EXPECT_DOUBLE_EQ(load(x)->Measurement(), 15);
  Tags y = {{70, "6"},  {10, "5"},  {20, "90"}, {13, "20"},
            {23, "70"}, {14, "30"}, {24, "70"}};
  EXPECT_DOUBLE_EQ(load(y)->Measurement(), 20);
}

TEST_F(Dimensions, AMirroredDimensionReportsWorldPoints) {
  // Extrusion -Z: the text position (OCS) is mirrored in X.
  auto d = load({{70, "1"},
                 {13, "-1"},
                 {23, "0"},
                 {14, "-7"},
                 {24, "0"},
                 {11, "4"},
                 {21, "2"},
                 {31, "0"},
                 {210, "0"},
                 {220, "0"},
                 {230, "-1"}});
  EXPECT_DOUBLE_EQ(d->Measurement(), 6);
  EXPECT_EQ(d->TextPosition(), (Point{-4, 2, 0}));
}

TEST_F(Dimensions, ToleranceModesComeFromOverridesStyleAndHeader) {
  auto mode = [&](Tags overrides, Tags header, Tags style) {
    std::vector<std::pair<int, std::string>> tags = {
        {70, "0"}, {13, "0"}, {23, "0"}, {14, "10"}, {24, "0"}};
    if (overrides.size()) {
      tags.insert(tags.end(), {{1001, "ACAD"}, {1000, "DSTYLE"}, {1002, "{"}});
      tags.insert(tags.end(), overrides);
      tags.push_back({1002, "}"});
    }
    std::string s = drawing({}, header, style);
    std::string body;
    for (const auto& [c, v] : tags) body += dxf({{c, v}});
    s.insert(s.find("  0\nENDSEC\n  0\nEOF"), body);
    return openText(dir_, "t.dxf", s).ms().Item(0)->ToleranceDisplay();
  };
  EXPECT_EQ(mode({}, {}, {}), 0);
  EXPECT_EQ(mode({{1070, "71"},
                  {1070, "1"},
                  {1070, "47"},
                  {1040, "0.1"},
                  {1070, "48"},
                  {1040, "0.1"}},
                 {}, {}),
            1);
  EXPECT_EQ(
      mode({{1070, "71"}, {1070, "1"}, {1070, "47"}, {1040, "0.1"}}, {}, {}),
      2);
  EXPECT_EQ(mode({}, {}, {{71, "1"}, {72, "1"}}), 3);  // limits win
  EXPECT_EQ(mode({{1070, "147"}, {1040, "-0.625"}}, {}, {}), 4);
  // The header's $DIMTOL is the current style's: S1 without DIMTOL takes
  // it only when the header names S1, else the CAD default (off).
  EXPECT_EQ(
      mode({}, {{9, "$DIMTOL"}, {70, "1"}, {9, "$DIMTP"}, {40, "0.2"}}, {}), 0);
  EXPECT_EQ(mode({},
                 {{9, "$DIMSTYLE"},
                  {2, "S1"},
                  {9, "$DIMTOL"},
                  {70, "1"},
                  {9, "$DIMTP"},
                  {40, "0.2"}},
                 {}),
            2);
  // An override switches the style's tolerance off again.
  EXPECT_EQ(mode({{1070, "71"}, {1070, "0"}}, {}, {{71, "1"}}), 0);
}

TEST_F(Dimensions, AngularTolerancesAreReportedInRadians) {
  auto d = load({{70, "5"},
                 {13, "5"},
                 {23, "0"},
                 {14, "0"},
                 {24, "5"},
                 {15, "0"},
                 {25, "0"},
                 {10, "3"},
                 {20, "3"}},
                {}, {{71, "1"}, {47, "0.5"}, {48, "0.25"}});
  EXPECT_EQ(d->ToleranceDisplay(), 2);
  EXPECT_DOUBLE_EQ(d->ToleranceUpperLimit(), 0.5 * kPi / 180);
  EXPECT_DOUBLE_EQ(d->ToleranceLowerLimit(), 0.25 * kPi / 180);
  EXPECT_EQ(d->TextPrecision(), 0);
}

TEST_F(Dimensions, TextHeightIsTheTextSizeOrTheStylesFixedHeightScaled) {
  Tags line = {{70, "0"}, {13, "0"}, {23, "0"}, {14, "10"}, {24, "0"}};
  EXPECT_DOUBLE_EQ(load(line)->TextHeight(), 2.5);
  EXPECT_DOUBLE_EQ(load(line, {}, {{40, "4"}})->TextHeight(), 10);
  EXPECT_DOUBLE_EQ(load(line, {}, {{40, "0"}})->TextHeight(), 2.5);
  // R12 names the text style in the header, for the current style; its
  // fixed height is scaled as DIMTXT is.
  EXPECT_DOUBLE_EQ(
      load(line, {{9, "$DIMSTYLE"}, {2, "S1"}, {9, "$DIMTXSTY"}, {7, "BIG"}},
           {{40, "4"}})
          ->TextHeight(),
      4.2 * 4);
  EXPECT_DOUBLE_EQ(
      load(line, {{9, "$DIMTXSTY"}, {7, "BIG"}}, {{40, "4"}})->TextHeight(),
      10);
  // The header's scale is the current style's alone.
  Tags scaled = {{9, "$DIMSCALE"}, {40, "100"}};
  EXPECT_DOUBLE_EQ(load(line, scaled)->TextHeight(), 2.5);
  EXPECT_DOUBLE_EQ(
      load(line, {{9, "$DIMSTYLE"}, {2, "S1"}, {9, "$DIMSCALE"}, {40, "100"}})
          ->TextHeight(),
      250);
  // Scale to layout with neither a viewport nor a drawn block: as drawn 1:1.
  EXPECT_DOUBLE_EQ(load(line, scaled, {{40, "0"}})->TextHeight(), 2.5);
}

TEST_F(Dimensions, PrecisionsOfR12FollowTheUnitPrecision) {
  auto d = load({{70, "0"}, {13, "0"}, {23, "0"}, {14, "10"}, {24, "0"}},
                {{9, "$LUPREC"}, {70, "3"}});
  EXPECT_EQ(d->PrimaryUnitsPrecision(), 3);
  EXPECT_EQ(d->TolerancePrecision(), 3);
  EXPECT_EQ(std::get<double>(opened_.doc->GetVariable("dimdec")), 3);
  // A write becomes the dimension's own override, also in R12.
  d->SetPrimaryUnitsPrecision(1);
  opened_.engine->saveAs(dir_.file("w.dxf"));
  Opened again = open(dir_.file("w.dxf"));
  EXPECT_EQ(again.ms().Item(0)->PrimaryUnitsPrecision(), 1);
  EXPECT_EQ(again.ms().Item(0)->TolerancePrecision(), 3);
  std::string saved = readBytes(dir_.file("w.dxf"));
  EXPECT_NE(saved.find("1001\nACAD\n1000\nDSTYLE\n1002\n{\n1070\n271\n1070\n1\n"
                       "1002\n}\n"),
            std::string::npos);
}

TEST_F(Dimensions, KindsAndTheirNames) {
  struct Kind {
    const char* type;
    const char* name;
  };
  for (auto [type, name] :
       {Kind{"0", "AcDbRotatedDimension"}, Kind{"33", "AcDbAlignedDimension"},
        Kind{"2", "AcDb2LineAngularDimension"},
        Kind{"163", "AcDbDiametricDimension"}, Kind{"4", "AcDbRadialDimension"},
        Kind{"5", "AcDb3PointAngularDimension"},
        Kind{"198", "AcDbOrdinateDimension"}})
    EXPECT_EQ(load({{70, type}})->ObjectName(), name) << type;
  // A dimension without its points measures 0 rather than failing.
  EXPECT_EQ(load({{70, "1"}})->Measurement(), 0);
}

}  // namespace
