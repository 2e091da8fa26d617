// The review list: the matching rules at their boundaries, and the report
// fixtures held against the drawing they were measured on.
#include "browse/import/match.h"
#include "import_test_util.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "browse/browser.h"

namespace {

using namespace browse::import;
using import_test::row;

std::string fixture(const std::string& name) {
  return import_test::readFile(std::string(DIMMARK_IMPORT_FIXTURES) + "/" +
                               name);
}

// The drawing of tests/fixtures/import/README.md.
std::vector<MarkRow> bracket() {
  return {row(1, 0, kindFromName("正交尺寸"), 80, 0.1, 0.1),
          row(2, 0, kindFromName("正交尺寸"), 45, 0.1, 0.1),
          row(3, 0, kindFromName("直径尺寸"), 10, 0.05, 0),
          row(4, 0, kindFromName("直径尺寸"), 10, 0.05, 0),
          row(5, 0, kindFromName("半径尺寸"), 5, 0.1, 0.1),
          row(6, 0, kindFromName("角度尺寸"), 30, 0.5, 0.5),
          row(7, 0, kindFromName("形位公差 平面度"), 0, 0.05, 0),
          row(8, 0, kindFromName("形位公差 位置度"), 0, 0.1, 0),
          row(9, 0, kindFromName("平行尺寸"), 25, 0.2, 0.1),
          row(10, 0, kindFromName("正交尺寸"), 12, 0.05, 0.05),
          row(11, 1, kindFromName("位置度"), 0, 0.2, 0),
          row(11, 2, kindFromName("位置度"), 0, 0.05, 0),
          row(12, 0, kindFromName("粗糙度"), 0, 1.6, 0)};
}

// A file of one part with these entries.
ParsedFile file(std::vector<Entry> entries) {
  ParsedFile f;
  f.parts.emplace_back();
  f.parts[0].entries = std::move(entries);
  return f;
}

Entry entry(const std::string& label, double value,
            std::optional<double> nominal = {}, Kind kind = Kind::Unknown) {
  Entry e;
  e.label = label;
  e.value = value;
  e.nominal = nominal;
  e.kind = kind;
  return e;
}

Status statusOf(const std::vector<MarkRow>& rows, const Entry& e) {
  return review(rows, file({e})).items.at(0).status;
}

TEST(ImportMatch, NominalOffByMoreThanTheLargerOf0001And1PercentOfTheBand) {
  // Band 0.2: 1% is 0.002.
  const std::vector<MarkRow> wide = {row(1, 0, Kind::Length, 10, 0.1, 0.1)};
  EXPECT_EQ(statusOf(wide, entry("1", 10.05, 10.002)), Status::Matched);
  EXPECT_EQ(statusOf(wide, entry("1", 10.05, 9.998)), Status::Matched);
  EXPECT_EQ(statusOf(wide, entry("1", 10.05, 10.0021)), Status::Mismatched);
  EXPECT_EQ(statusOf(wide, entry("1", 10.05, 9.9979)), Status::Mismatched);
  // Band 0.02: 0.001 is the larger.
  const std::vector<MarkRow> narrow = {row(1, 0, Kind::Length, 10, 0.01, 0.01)};
  EXPECT_EQ(statusOf(narrow, entry("1", 10, 10.001)), Status::Matched);
  EXPECT_EQ(statusOf(narrow, entry("1", 10, 10.0011)), Status::Mismatched);
  // Deviations as the drawing stores them, singles: the rule still holds.
  const std::vector<MarkRow> single = {
      row(1, 0, Kind::Length, 10, double(0.1f), double(0.1f))};
  EXPECT_EQ(statusOf(single, entry("1", 10, 10.002)), Status::Matched);
  // Limits without a nominal are held against the mark's limits.
  Entry limits = entry("1", 10);
  limits.upperLimit = 10.102;
  limits.lowerLimit = 9.9;
  EXPECT_EQ(statusOf(wide, limits), Status::Matched);
  limits.upperLimit = 10.1021;
  EXPECT_EQ(statusOf(wide, limits), Status::Mismatched);
  // A drawing value that is no number cannot be held against: said, taken.
  const std::vector<MarkRow> text = {row(1, 0, Kind::Length, {}, 0, 0)};
  const Review r = review(text, file({entry("1", 5, 5)}));
  EXPECT_EQ(r.items[0].status, Status::Matched);
  EXPECT_EQ(r.items[0].reason, "图纸上的值不是数字，未核对名义值");
  // Tolerances that differ are said, not refused.
  Entry tol = entry("1", 10.05, 10);
  tol.up = 0.2;
  tol.low = 0.1;
  const Review t = review(wide, file({tol}));
  EXPECT_EQ(t.items[0].status, Status::Matched);
  EXPECT_EQ(t.items[0].reason, "公差不同：文件+0.2/-0.1，图纸+0.1/-0.1");
}

TEST(ImportMatch, KindsThatContradict) {
  EXPECT_TRUE(kindsContradict(Kind::Flatness, Kind::Length));
  EXPECT_TRUE(kindsContradict(Kind::Length, Kind::Flatness));
  EXPECT_FALSE(kindsContradict(Kind::Diameter, Kind::Length));
  EXPECT_FALSE(kindsContradict(Kind::Length, Kind::Diameter));
  EXPECT_TRUE(kindsContradict(Kind::Radius, Kind::Diameter));
  EXPECT_TRUE(kindsContradict(Kind::Angle, Kind::Length));
  EXPECT_TRUE(kindsContradict(Kind::Angularity, Kind::Angle));
  EXPECT_FALSE(kindsContradict(Kind::Position, Kind::Position));
  EXPECT_TRUE(kindsContradict(Kind::Flatness, Kind::Straightness));
  EXPECT_FALSE(kindsContradict(Kind::SurfaceProfile, Kind::LineProfile));
  EXPECT_FALSE(kindsContradict(Kind::OtherGeometric, Kind::Flatness));
  EXPECT_TRUE(kindsContradict(Kind::OtherGeometric, Kind::Length));
  EXPECT_TRUE(kindsContradict(Kind::Roughness, Kind::Length));
  EXPECT_FALSE(kindsContradict(Kind::Unknown, Kind::Flatness));
  EXPECT_TRUE(kindsContradict(Kind::Unknown, Kind::Note));

  const std::pair<const char*, Kind> names[] = {
      {"正交尺寸", Kind::Length},
      {"绝对坐标尺寸", Kind::Length},
      {"弧长尺寸", Kind::Length},
      {"半径尺寸", Kind::Radius},
      {"直径尺寸", Kind::Diameter},
      {"角度尺寸", Kind::Angle},
      {"形位公差", Kind::OtherGeometric},
      {"同轴度（同心度）", Kind::Concentricity},
      {"圆跳动", Kind::CircularRunout},
      {"圆度", Kind::Circularity},
      {"技术要求", Kind::Note},
      {"TRUE POSITION", Kind::Position},
      {"AngularCoordinate", Kind::Angle},
      {"Angularity", Kind::Angularity},
      {"Roundness", Kind::Circularity},
      {"TOTAL RUNOUT", Kind::TotalRunout},
      {"CIRCULAR RUNOUT", Kind::CircularRunout},
      {"LOCATION", Kind::Unknown},
      {"Thread", Kind::Unknown}};
  for (const auto& [name, kind] : names)
    EXPECT_EQ(kindFromName(name), kind) << name;

  // Through the review: the mark's kind and the file's word are named.
  Entry flat = entry("1", 0.02, 0.0, Kind::Flatness);
  flat.kindName = "FLATNESS";
  const Review r = review(bracket(), file({flat}));
  EXPECT_EQ(r.items[0].status, Status::Mismatched);
  EXPECT_EQ(r.items[0].reason, "文件中是“FLATNESS”，图纸上标号1是线性尺寸");
  const std::vector<MarkRow> note = {row(4, 0, Kind::Note, {}, 0, 0)};
  EXPECT_EQ(review(note, file({entry("4", 1)})).items[0].reason,
            "图纸上标号4是技术要求，只记合格/不合格");
}

TEST(ImportMatch, SamplesInFileOrderFromTheFirstGivenAndNeverBeyondFive) {
  ParsedFile f;
  for (int k = 0; k < 3; ++k) {
    f.parts.emplace_back();
    f.parts.back().entries.push_back(entry("3", 10 + k * 0.01));
  }
  f.parts[1].sample = 1;  // the file numbers this part itself
  const std::vector<MarkRow> rows = bracket();
  const Review r = review(rows, f, {4});
  ASSERT_EQ(r.items.size(), 3u);
  EXPECT_EQ(r.items[0].sample, 4);
  EXPECT_EQ(r.items[1].sample, 1);
  EXPECT_EQ(r.items[2].sample, 5);
  EXPECT_EQ(r.count(Status::Matched), 3u);
  const Review beyond = review(rows, f, {5});
  EXPECT_EQ(beyond.items[2].status, Status::BeyondFive);
  EXPECT_EQ(beyond.items[2].reason, "只有5个样品，这是第6个");
  EXPECT_THROW(review(rows, f, {0}), std::invalid_argument);
}

TEST(ImportMatch, EnteredSamplesAndTwoValuesForOneSample) {
  std::vector<MarkRow> rows = bracket();
  rows[2].entered[0] = 10.01f;
  rows[3].entered[0] = 10.02f;
  const Review r =
      review(rows, file({entry("3", 10.02), entry("4", 10.02), entry("5", 5.01),
                         entry("#5", 5.02), entry("2", 45.01)}));
  EXPECT_EQ(r.items[0].status, Status::Overwrites);
  EXPECT_EQ(r.items[0].previous, 10.01f);
  EXPECT_EQ(r.items[0].reason, "将覆盖已录入的值10.01");
  EXPECT_EQ(r.items[1].status, Status::Matched);  // the same value again
  EXPECT_EQ(r.items[1].reason, "与已录入的值相同");
  EXPECT_EQ(r.items[2].status, Status::Conflict);
  EXPECT_EQ(r.items[3].status, Status::Conflict);
  EXPECT_EQ(r.items[4].status, Status::Matched);
}

TEST(ImportMatch, LabelsToRowsOfCompositeMarks) {
  std::vector<MarkRow> rows = bracket();
  const Review r =
      review(rows, file({entry("FCF11.2", 0.03), entry("11", 0.03),
                         entry("3.1", 10), entry("13", 1), entry("LOC1", 1)}));
  EXPECT_EQ(rows[*r.items[0].row].sub, 2);
  EXPECT_EQ(r.items[0].status, Status::Matched);
  EXPECT_EQ(r.items[1].reason,
            "标号11分几行（标号11.1 …），文件须写明是哪一行");
  EXPECT_EQ(r.items[2].reason, "标号3没有第1行");
  EXPECT_EQ(r.items[3].reason, "图纸上没有标号13");
  EXPECT_EQ(r.items[4].reason, "“LOC1”不是标号");
  for (std::size_t i = 1; i < 5; ++i)
    EXPECT_EQ(r.items[i].status, Status::Unmatched);
  rows.push_back(rows[0]);  // two rows claim mark 1
  EXPECT_EQ(review(rows, file({entry("1", 80)})).items[0].reason,
            "图纸上标号1不止一行");
}

TEST(ImportMatch, InstrumentsAsTheEightCodes) {
  const std::pair<const char*, const char*> names[] = {
      {"CMM", "CMM"},     {"cmm", "CMM"},
      {"CALIPERS", "DC"}, {"游标卡尺", "DC"},
      {"千分尺", "MIC"},  {"三坐标", "CMM"},
      {"检具", "AG"},     {"Height Gage", "HG"},
      {"AG", "AG"},       {"DIGITAL MICROMETER", "MIC"}};
  for (const auto& [name, code] : names)
    EXPECT_EQ(instrumentCode(name), code) << name;
  EXPECT_FALSE(instrumentCode("GAGE PINS"));
  EXPECT_FALSE(instrumentCode(""));
  for (const char* code : browse::kInstrumentCodes)
    EXPECT_EQ(instrumentCode(code), code);
}

TEST(ImportMatch, PcDmisReportOnTheBracket) {
  const ParsedFile f = parse(fixture("bracket_pcdmis.txt"));
  const Review r = review(bracket(), f);
  ASSERT_EQ(r.items.size(), 30u);
  for (const ReviewItem& i : r.items) {
    if (i.label == "LOC1") {
      EXPECT_EQ(i.status, Status::Unmatched);
      continue;
    }
    EXPECT_EQ(i.status, Status::Matched) << i.label << ": " << i.reason;
    EXPECT_EQ(i.sample, static_cast<int>(i.part) + 1);
    EXPECT_EQ(i.instrument, "CMM");
  }
  // The same report on a drawing whose marks 1 and 2 are numbered the other
  // way round: those two are refused, the rest land.
  std::vector<MarkRow> swapped = bracket();
  std::swap(swapped[0].mark, swapped[1].mark);
  const Review s = review(swapped, f);
  EXPECT_EQ(s.count(Status::Mismatched), 4u);
  EXPECT_EQ(s.count(Status::Matched), 24u - 4u);
}

TEST(ImportMatch, TablesAndCsvOnTheBracket) {
  const Review table =
      review(bracket(), parse(fixture("bracket_calypso_chr.txt")));
  EXPECT_EQ(table.count(Status::Matched), 22u);
  EXPECT_EQ(table.count(Status::Unmatched), 2u);  // "Cylinder1 Diameter"

  const Review csv = review(bracket(), parse(fixture("bracket_samples.csv")));
  ASSERT_EQ(csv.items.size(), 12u);
  EXPECT_EQ(csv.count(Status::Matched), 9u);
  EXPECT_EQ(csv.items[5].instrument, "MIC");  // 千分尺
  EXPECT_EQ(csv.items[7].instrument, "HG");   // 高度规
  EXPECT_EQ(csv.items[8].instrument, "CMM");  // none named
  EXPECT_EQ(csv.items[9].status, Status::BeyondFive);
  EXPECT_EQ(csv.items[10].status, Status::Unmatched);
  EXPECT_EQ(csv.items[11].status, Status::Unreadable);
  EXPECT_EQ(csv.items[11].reason, "“abc”不是有效数字");
  ParsedFile refused;
  refused.error = "文件里没有测量值";
  EXPECT_TRUE(review(bracket(), refused).items.empty());
}

}  // namespace
