// QIF results from the QIF standard's public samples: every value lands on
// the mark its designator names, and nowhere else.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "browse/import/labels.h"
#include "browse/import/match.h"
#include "import_test_util.h"

namespace {

using namespace browse::import;
using import_test::row;

std::string fixture(const std::string& name) {
  return import_test::readFile(std::string(DIMMARK_QIF_FIXTURES) + "/" + name);
}

std::string lineOf(const std::string& text, int line) {
  std::istringstream in(text);
  std::string l;
  for (int i = 0; i < line && std::getline(in, l);) ++i;
  return l;
}

// The drawing the sample results were measured against, as its marks say.
std::vector<MarkRow> sampleDrawing() {
  return {row(1, 0, Kind::Length, 2466.729, 0, 0),
          row(2, 0, Kind::Length, 774.27, 0.2, 0.2),
          row(3, 0, Kind::Length, 945.0027, 0.2, 0.2),
          row(4, 0, Kind::SurfaceProfile, 0, 1.5, 0),
          row(5, 0, Kind::SurfaceProfile, 0, 4, 0),
          row(6, 0, Kind::Diameter, 10, 0.4, 0.4),
          row(7, 0, Kind::Position, 0, 1, 0),
          row(8, 0, Kind::Diameter, 10, 0.4, 0.4),
          row(9, 0, Kind::Position, 0, 1, 0),
          row(10, 0, Kind::Length, 50, 0.1, 0.1),
          row(11, 0, Kind::Length, 81.21, 0.5, 0.5)};
}

TEST(ImportQif, SampleResultsReadWithWhatTheirItemsSay) {
  const std::string bytes = fixture("QIF_Results_Sample.QIF");
  const ParsedFile f = parse(bytes);
  ASSERT_TRUE(f.error.empty()) << f.error;
  EXPECT_EQ(f.format, Format::Qif);
  EXPECT_TRUE(f.notes.empty());
  ASSERT_EQ(f.parts.size(), 1u);
  const Part& p = f.parts[0];
  EXPECT_EQ(p.name, "MeasurementResults 89");  // its component has no serial
  std::vector<std::string> labels;
  for (const Entry& e : p.entries) labels.push_back(e.label);
  EXPECT_EQ(labels,
            (std::vector<std::string>{"5", "5", "1", "2", "3", "4", "4", "6",
                                      "7", "8", "9", "-NONE-", "11"}));
  const Entry& dist = p.entries[12];  // named DIST1, designated 11
  EXPECT_DOUBLE_EQ(*dist.value, 81.220808617516994);
  EXPECT_EQ(dist.kindName, "DistanceBetween");
  EXPECT_EQ(dist.kind, Kind::Length);
  EXPECT_DOUBLE_EQ(*dist.nominal, 81.208839738425993);
  EXPECT_EQ(dist.up, 0.5);
  EXPECT_EQ(dist.low, 0.5);
  EXPECT_NE(lineOf(bytes, dist.line).find("<Value>81.220808617516994</Value>"),
            std::string::npos);
  // Limits without a nominal stay limits; a geometric zone starts at 0.
  const Entry& limits = p.entries[4];
  EXPECT_FALSE(limits.nominal);
  EXPECT_DOUBLE_EQ(*limits.upperLimit, 945.20274658203107);
  EXPECT_DOUBLE_EQ(*limits.lowerLimit, 944.80274658203098);
  const Entry& position = p.entries[8];
  EXPECT_EQ(position.kind, Kind::Position);
  EXPECT_EQ(position.nominal, 0.0);
  EXPECT_EQ(position.up, 1.0);
  EXPECT_EQ(position.instrument, "GAGE PINS");
  EXPECT_EQ(p.entries[9].instrument, "CALIPERS");
  EXPECT_EQ(p.entries[2].instrument, "CMM");
  EXPECT_EQ(p.entries[0].kind, Kind::SurfaceProfile);  // PointProfile
}

TEST(ImportQif, SampleResultsLandOnTheirDesignatedMarksOnly) {
  const ParsedFile f = parse(fixture("QIF_Results_Sample.QIF"));
  const std::vector<MarkRow> rows = sampleDrawing();
  const Review r = review(rows, f);
  ASSERT_EQ(r.items.size(), 13u);
  std::map<int, double> landed;
  for (const ReviewItem& i : r.items) {
    if (i.status != Status::Matched) continue;
    const int mark = rows[*i.row].mark;
    EXPECT_EQ(markOfLabel(i.label)->mark, mark) << i.label;
    EXPECT_EQ(i.sample, 1);
    EXPECT_TRUE(landed.emplace(mark, *i.value).second);
  }
  const std::map<int, double> expected = {
      {1, 2466.9000000000001}, {2, 774.30999999999995}, {3, 944.84000000000003},
      {6, 9.499476},           {7, 0.897298445619006},  {8, 10.199987999999999},
      {9, 1.137681133150282},  {11, 81.220808617516994}};
  EXPECT_EQ(landed, expected);
  // A profile measured twice in one part: neither value is taken.
  EXPECT_EQ(r.count(Status::Conflict), 4u);
  EXPECT_EQ(r.items[0].reason, "标号5的样品1有2个值（第803、814行）");
  EXPECT_EQ(r.items[11].status, Status::Unmatched);
  EXPECT_EQ(r.items[11].reason, "“-NONE-”不是标号");
  EXPECT_EQ(r.items[8].instrument, "");  // GAGE PINS is none of the eight
  EXPECT_EQ(r.items[8].reason, "量具“GAGE PINS”不在八种量具之内");
  EXPECT_EQ(r.items[9].instrument, "DC");
  EXPECT_EQ(r.items[2].instrument, "CMM");
}

TEST(ImportQif, AFileNumberedForAnotherDrawingImportsNothingOnTheSwappedMarks) {
  std::vector<MarkRow> rows = sampleDrawing();
  std::swap(rows[1].nominal, rows[2].nominal);
  const Review r = review(rows, parse(fixture("QIF_Results_Sample.QIF")));
  EXPECT_EQ(r.items[3].status, Status::Mismatched);
  EXPECT_EQ(r.items[3].reason,
            "名义值不符：文件774.27，图纸945.003（可能标号错位）");
  EXPECT_EQ(r.items[4].status, Status::Mismatched);
  EXPECT_EQ(r.items[4].reason.rfind("极限不符：文件944.803～945.203", 0), 0u)
      << r.items[4].reason;
  EXPECT_EQ(r.count(Status::Matched), 6u);
}

TEST(ImportQif, SixPartsAreSixSamplesByTheirDesignators) {
  const std::string bytes = fixture("SheetMetal_QIF_Results_6_samples.QIF");
  const ParsedFile f = parse(bytes);
  ASSERT_TRUE(f.error.empty()) << f.error;
  ASSERT_EQ(f.parts.size(), 6u);
  std::set<std::string> labels;
  for (std::size_t k = 0; k < 6; ++k) {
    EXPECT_EQ(f.parts[k].name, "SN580280" + std::to_string(k + 1));
    EXPECT_EQ(f.parts[k].entries.size(), 38u);
    for (const Entry& e : f.parts[k].entries) labels.insert(e.label);
  }
  EXPECT_EQ(labels.size(), 21u);
  // Its designators name no mark number: nothing lands anywhere.
  std::vector<MarkRow> rows;
  for (int m = 1; m <= 30; ++m)
    rows.push_back(row(m, 0, Kind::Unknown, {}, 0, 0));
  const Review r = review(rows, f);
  EXPECT_EQ(r.items.size(), 228u);
  EXPECT_EQ(r.count(Status::Unmatched), 228u);

  // Designated by balloon number instead (the items keep their names):
  // each part fills its own sample of the mark its designator names.
  std::string numbered = bytes;
  for (std::size_t at = 0;
       (at = numbered.find("<Designator>W1R", at)) != std::string::npos;) {
    at += std::string("<Designator>").size();
    const std::size_t end = numbered.find("</Designator>", at);
    // "W1RXXMRA19P" is balloon 19.
    const std::string digits = numbered.substr(end - 3, 2);
    numbered.replace(at, end - at, "No." + std::to_string(std::stoi(digits)));
  }
  const Review n = review(rows, parse(numbered));
  ASSERT_EQ(n.items.size(), 228u);
  const std::vector<double> mark19 = {1.076016018900693, 0.846893312561925,
                                      0.870594612505491, 0.897298445619864,
                                      0.927405867333758};
  std::vector<double> got19;
  for (const ReviewItem& i : n.items) {
    const int named = markOfLabel(i.label)->mark;
    if (i.row) {
      EXPECT_EQ(rows[*i.row].mark, named);
    }
    if (i.sample == 6) {
      EXPECT_EQ(i.status, Status::BeyondFive);
    }
    if (named == 19 && i.status == Status::Matched) {
      EXPECT_EQ(i.sample, static_cast<int>(got19.size()) + 1);
      got19.push_back(*i.value);
    }
  }
  EXPECT_EQ(got19, mark19);
  EXPECT_EQ(n.count(Status::Matched), 4u * 5);    // the four positions
  EXPECT_EQ(n.count(Status::Conflict), 34u * 5);  // profiles, twice a part
  EXPECT_EQ(n.count(Status::BeyondFive), 38u);    // the sixth part
}

std::string tinyQif(const std::string& units) {
  return "<?xml version=\"1.0\"?>\n"
         "<QIFDocument xmlns=\"http://qifstandards.org/xsd/qif3\">" +
         units +
         "<Characteristics><CharacteristicItems>"
         "<AngleCharacteristicItem id=\"1\"><Name>A1</Name>"
         "<CharacteristicDesignator><Designator>6</Designator>"
         "</CharacteristicDesignator></AngleCharacteristicItem>"
         "<DiameterCharacteristicItem id=\"2\"><Name>3</Name>"
         "</DiameterCharacteristicItem>"
         "</CharacteristicItems></Characteristics>"
         "<Results><MeasurementResultsSet><MeasurementResults id=\"9\">"
         "<MeasuredCharacteristics><CharacteristicMeasurements>"
         "<AngleCharacteristicMeasurement id=\"10\"><CharacteristicItemId>1"
         "</CharacteristicItemId><Value>30.2</Value>"
         "</AngleCharacteristicMeasurement>"
         "<DiameterCharacteristicMeasurement id=\"11\"><CharacteristicItemId>"
         "2</CharacteristicItemId><Value linearUnit=\"in\">0.394</Value>"
         "</DiameterCharacteristicMeasurement>"
         "<DiameterCharacteristicMeasurement id=\"12\"><CharacteristicItemId>"
         "77</CharacteristicItemId><Value>1</Value>"
         "</DiameterCharacteristicMeasurement>"
         "</CharacteristicMeasurements></MeasuredCharacteristics>"
         "</MeasurementResults></MeasurementResultsSet></Results>"
         "</QIFDocument>\n";
}

std::string unit(const char* kind, const char* name) {
  return std::string("<") + kind + "><SIUnitName>x</SIUnitName><UnitName>" +
         name + "</UnitName></" + kind + ">";
}

TEST(ImportQif, UnitsOtherThanMillimetresAndDegreesAreRefused) {
  const ParsedFile none = parse(tinyQif(""));
  ASSERT_TRUE(none.error.empty()) << none.error;
  EXPECT_EQ(none.notes,
            std::vector<std::string>{"文件没有写明单位，按毫米读取"});
  const auto& e = none.parts[0].entries;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].value, 30.2);
  EXPECT_EQ(e[0].label, "6");
  EXPECT_EQ(e[1].label, "3");  // no designator: its name
  EXPECT_EQ(e[1].refusal, "单位是“in”，不是毫米");
  EXPECT_EQ(e[2].refusal, "找不到它的特性项（CharacteristicItemId 77）");

  const ParsedFile radian = parse(tinyQif(
      "<FileUnits><PrimaryUnits>" + unit("AngularUnit", "radian") +
      unit("LinearUnit", "millimeter") + "</PrimaryUnits></FileUnits>"));
  EXPECT_EQ(radian.parts[0].entries[0].refusal, "单位是“radian”，不是度");

  const ParsedFile inch =
      parse(tinyQif("<FileUnits><PrimaryUnits>" + unit("LinearUnit", "inch") +
                    "</PrimaryUnits></FileUnits>"));
  EXPECT_EQ(inch.error,
            "文件的长度单位是“inch”，不是毫米：请让测量软件按毫米输出");
  EXPECT_TRUE(inch.parts.empty());
}

TEST(ImportQif, WhatIsNoQifResultIsRefusedAsAWhole) {
  EXPECT_EQ(parse("<QIFDocument><Results>", Format::Qif)
                .error.rfind("不是有效的XML（第1行", 0),
            0u);
  EXPECT_EQ(parse("<Workbook/>").error, "不是QIF文件（根元素不是QIFDocument）");
  EXPECT_EQ(parse("<QIFDocument><Characteristics/></QIFDocument>").error,
            "文件里没有测量结果（MeasurementResults）");
  // Nested deeper than a recursive reader's stack would go.
  std::string deep = "<QIFDocument><Results>";
  for (int i = 0; i < 300000; ++i) deep += "<a>";
  for (int i = 0; i < 300000; ++i) deep += "</a>";
  deep += "</Results></QIFDocument>";
  EXPECT_EQ(parse(deep).error, "文件里没有测量结果（MeasurementResults）");
}

}  // namespace
