// The report and table formats read into the neutral result.
#include <gtest/gtest.h>

#include <cmath>

#include "browse/import/result.h"
#include "import_test_util.h"

namespace {

using namespace browse::import;
using import_test::row;

std::string fixture(const std::string& name) {
  return import_test::readFile(std::string(DIMMARK_IMPORT_FIXTURES) + "/" +
                               name);
}

const Entry* find(const Part& part, const std::string& label,
                  const std::string& axis = "") {
  for (const Entry& e : part.entries)
    if (e.label == label && (axis.empty() || e.axis == axis)) return &e;
  return nullptr;
}

TEST(ImportFormats, DetectedFromTheirContent) {
  EXPECT_EQ(detectFormat(fixture("bracket_pcdmis.txt")), Format::PcDmis);
  EXPECT_EQ(detectFormat(fixture("bracket_pcdmis.csv")), Format::PcDmis);
  EXPECT_EQ(detectFormat(fixture("bracket_calypso_chr.txt")), Format::Calypso);
  EXPECT_EQ(detectFormat(fixture("bracket_calypso_de_chr.txt")),
            Format::Calypso);
  EXPECT_EQ(detectFormat(fixture("bracket_samples.csv")), Format::Csv);
  EXPECT_EQ(detectFormat("\xEF\xBB\xBF<?xml version=\"1.0\"?><QIFDocument/>"),
            Format::Qif);
  for (Format f : {Format::Auto, Format::Qif, Format::PcDmis, Format::Calypso,
                   Format::Csv})
    EXPECT_EQ(formatNamed(formatName(f)), f);
  EXPECT_FALSE(formatNamed("xlsx"));
}

TEST(ImportFormats, PcDmisTextReportOfTwoParts) {
  const ParsedFile f = parse(fixture("bracket_pcdmis.txt"));
  ASSERT_TRUE(f.error.empty()) << f.error;
  EXPECT_EQ(f.format, Format::PcDmis);
  ASSERT_EQ(f.parts.size(), 2u);
  EXPECT_EQ(f.parts[0].name, "0001");
  EXPECT_EQ(f.parts[1].name, "0002");
  for (const Part& p : f.parts) EXPECT_EQ(p.entries.size(), 15u);

  const Part& p = f.parts[0];
  const Entry* d1 = find(p, "1");
  ASSERT_TRUE(d1);
  EXPECT_EQ(d1->value, 80.042);
  EXPECT_EQ(d1->nominal, 80.0);
  EXPECT_EQ(d1->up, 0.1);
  EXPECT_EQ(d1->low, 0.1);
  EXPECT_EQ(d1->kind, Kind::Length);
  EXPECT_EQ(d1->kindName, "2D DISTANCE");
  EXPECT_EQ(d1->line, 9);
  // A location's axis tells its kind; -TOL is a magnitude.
  EXPECT_EQ(find(p, "3")->kind, Kind::Diameter);
  EXPECT_EQ(find(p, "3")->low, 0.0);
  EXPECT_EQ(find(p, "5")->kind, Kind::Radius);
  EXPECT_EQ(find(p, "6")->kind, Kind::Angle);
  EXPECT_EQ(find(p, "2")->axis, "Z");
  EXPECT_EQ(find(p, "LOC1", "D")->value, 6.004);
  EXPECT_EQ(find(p, "LOC1", "X")->value, 20.012);
  // Flatness and position: a zone from 0; a position gives its TP line only,
  // with its blank -TOL and MMC in the nominal column.
  const Entry* flat = find(p, "7");
  EXPECT_EQ(flat->kind, Kind::Flatness);
  EXPECT_EQ(flat->nominal, 0.0);
  EXPECT_EQ(flat->up, 0.05);
  const Entry* tp = find(p, "8");
  ASSERT_TRUE(tp);
  EXPECT_EQ(tp->axis, "TP");
  EXPECT_EQ(tp->value, 0.046);
  EXPECT_EQ(tp->up, 0.1);
  EXPECT_EQ(tp->low, 0.0);
  EXPECT_EQ(tp->kind, Kind::Position);
  EXPECT_EQ(find(p, "8", "DF"), nullptr);
  EXPECT_EQ(find(p, "11.2")->value, 0.031);
  EXPECT_EQ(find(p, "No.10")->value, 12.061);
  EXPECT_EQ(find(f.parts[1], "9")->value, 24.968);
  EXPECT_EQ(find(f.parts[1], "11.1")->value, 0.112);
}

TEST(ImportFormats, PcDmisCommaSeparatedWithABlockInInches) {
  const ParsedFile f = parse(fixture("bracket_pcdmis.csv"));
  ASSERT_TRUE(f.error.empty()) << f.error;
  ASSERT_EQ(f.parts.size(), 1u);
  const Part& p = f.parts[0];
  EXPECT_EQ(p.name, "0003");
  ASSERT_EQ(p.entries.size(), 5u);
  EXPECT_EQ(find(p, "1")->value, 80.015);
  EXPECT_EQ(find(p, "3")->value, 10.009);
  EXPECT_EQ(find(p, "8")->value, 0.024);
  const Entry* inch = find(p, "9");
  EXPECT_FALSE(inch->value);
  EXPECT_EQ(inch->refusal, "是英寸（UNITS=IN），不是毫米");
}

TEST(ImportFormats, PcDmisLinesThatFitNoColumnAreRefused) {
  const std::string report =
      "DIM 4= LOCATION OF CIRCLE CIR3  UNITS=MM\n"
      "AX      NOMINAL       +TOL       -TOL       MEAS        DEV     OUTTOL\n"
      "D   10.000 0.050   10.018      0.018\n"     // shifted, short
      "D 10.000 0.050 0.000 10.018 0.018 0.000\n"  // unaligned, whole
      "DIM 5= FLATNESS OF PLANE PLN1  UNITS=MM\n"
      "AX      NOMINAL       +TOL       -TOL        DEV     OUTTOL\n"
      "M         0.000      0.050      0.000      0.021      0.000\n";
  const ParsedFile f = parse(report, Format::PcDmis);
  ASSERT_EQ(f.parts.size(), 1u);
  const auto& e = f.parts[0].entries;
  ASSERT_EQ(e.size(), 3u);
  EXPECT_EQ(e[0].refusal, "这一行的数值对不上列");
  EXPECT_EQ(e[1].value, 10.018);
  EXPECT_EQ(e[2].refusal, "报告没有MEAS列");
  EXPECT_FALSE(parse("PART NAME : X\n", Format::PcDmis).error.empty());
}

TEST(ImportFormats, PcDmisPageHeadersNameTheParts) {
  const std::string heading = "AX NOMINAL +TOL -TOL MEAS DEV OUTTOL\n";
  const std::string report =
      "REV NUMBER : C   SER NUMBER : 0007   STATS COUNT : 1\n"
      "DIM 1= 2D DISTANCE FROM PLANE PLN1 TO PLANE PLN2  UNITS=MM\n" +
      heading + "M 80.000 0.100 0.100 80.042 0.042 0.000\n" +
      // The next page of the same part breaks into the dimension list.
      "PART NAME : BRACKET-A\n"
      "REV NUMBER : C   SER NUMBER : 0007   STATS COUNT : 1\n"
      "DIM 2= LOCATION OF PLANE PLN3  UNITS=MM\n" +
      heading + "Z 45.000 0.100 0.100 44.968 -0.032 0.000\n" +
      // The next part's report, a dimension still open.
      "PART NAME : BRACKET-A\n"
      "REV NUMBER : C   SER NUMBER : 0008   STATS COUNT : 2\n"
      "DIM 1= 2D DISTANCE FROM PLANE PLN1 TO PLANE PLN2  UNITS=MM\n" +
      heading + "M 80.000 0.100 0.100 79.990 -0.010 0.000\n";
  const ParsedFile f = parse(report);
  ASSERT_EQ(f.parts.size(), 2u);
  EXPECT_EQ(f.parts[0].name, "0007");
  ASSERT_EQ(f.parts[0].entries.size(), 2u);
  EXPECT_EQ(f.parts[0].entries[1].value, 44.968);
  EXPECT_EQ(f.parts[1].name, "0008");
  ASSERT_EQ(f.parts[1].entries.size(), 1u);
  EXPECT_EQ(f.parts[1].entries[0].value, 79.99);
}

TEST(ImportFormats, CalypsoTableWithPartsAndSignedTolerances) {
  const ParsedFile f = parse(fixture("bracket_calypso_chr.txt"));
  ASSERT_TRUE(f.error.empty()) << f.error;
  ASSERT_EQ(f.parts.size(), 2u);
  EXPECT_EQ(f.parts[0].name, "1");
  EXPECT_EQ(f.parts[1].name, "2");
  const Part& p = f.parts[0];
  ASSERT_EQ(p.entries.size(), 12u);
  const Entry* d9 = find(p, "9");
  EXPECT_EQ(d9->value, 25.0719);
  EXPECT_EQ(d9->nominal, 25.0);
  EXPECT_EQ(d9->up, 0.2);
  EXPECT_EQ(d9->low, 0.1);  // lowertol -0.1
  EXPECT_EQ(d9->line, 10);
  EXPECT_EQ(find(p, "2")->kind, Kind::Length);  // "Z-Value"
  EXPECT_EQ(find(p, "No.4")->kind, Kind::Diameter);
  EXPECT_EQ(find(p, "7")->kind, Kind::Flatness);
  EXPECT_EQ(find(f.parts[1], "11.1")->value, 0.1342);

  const ParsedFile de = parse(fixture("bracket_calypso_de_chr.txt"));
  ASSERT_EQ(de.parts.size(), 1u);
  EXPECT_EQ(de.parts[0].name, "17");
  EXPECT_EQ(find(de.parts[0], "1")->value, 80.0212);
  EXPECT_EQ(find(de.parts[0], "1")->low, 0.1);
  EXPECT_EQ(find(de.parts[0], "3")->kind, Kind::Diameter);  // "Durchmesser"
  EXPECT_EQ(find(de.parts[0], "6")->kind, Kind::Angle);     // "Winkel"
  EXPECT_EQ(de.notes, std::vector<std::string>{"文件用逗号作小数点"});
}

TEST(ImportFormats, TableWithoutHeadingOrWithoutItsColumns) {
  const ParsedFile bare =
      parse("3\t10.02\t10\t0.05\t0\n4\t10.03\n", Format::Calypso);
  ASSERT_EQ(bare.parts.size(), 1u);
  const Entry& e = bare.parts[0].entries[0];
  EXPECT_EQ(e.label, "3");
  EXPECT_EQ(e.value, 10.02);
  EXPECT_EQ(e.nominal, 10.0);
  EXPECT_EQ(e.low, 0.0);
  EXPECT_FALSE(std::signbit(*e.low));
  EXPECT_FALSE(bare.parts[0].entries[1].nominal);
  EXPECT_EQ(parse("id\tnominal\n3\t10\n", Format::Calypso).error,
            "表格缺少“actual”列");
}

TEST(ImportFormats, PlainCsvBySample) {
  const ParsedFile f = parse(fixture("bracket_samples.csv"));
  ASSERT_TRUE(f.error.empty()) << f.error;
  ASSERT_EQ(f.parts.size(), 4u);  // samples 1, 2, 3, 6
  EXPECT_EQ(f.parts[0].sample, 1);
  EXPECT_EQ(f.parts[3].sample, 6);
  const Part& s1 = f.parts[0];
  EXPECT_EQ(find(s1, "3")->value, 10.02);  // typed full-width
  EXPECT_EQ(find(s1, "3")->instrument, "千分尺");
  EXPECT_EQ(find(s1, "1")->instrument, "DC");
  EXPECT_EQ(find(s1, "#12")->instrument, "");
  EXPECT_EQ(find(s1, "5")->refusal, "“abc”不是有效数字");
  EXPECT_EQ(find(s1, "1")->line, 2);

  const ParsedFile semi = parse(fixture("bracket_samples_semicolon.csv"));
  ASSERT_EQ(semi.parts.size(), 1u);
  EXPECT_FALSE(semi.parts[0].sample);
  EXPECT_EQ(find(semi.parts[0], "1")->value, 80.031);
  EXPECT_EQ(find(semi.parts[0], "9")->value, 25.085);

  // A third field is the sample when it is a number, else the instrument;
  // a sample that is no whole number refuses the line.
  const ParsedFile three =
      parse("4,10.03,CMM\n4,10.04,2.5\n\"4\",\"10,5\"\n", Format::Csv);
  ASSERT_EQ(three.parts.size(), 1u);
  EXPECT_EQ(three.parts[0].entries[0].instrument, "CMM");
  EXPECT_EQ(three.parts[0].entries[1].refusal, "样品号“2.5”不是正整数");
  EXPECT_EQ(three.parts[0].entries[2].value, 10.5);
}

TEST(ImportFormats, FilesThatCannotBeReadChangeNothing) {
  EXPECT_EQ(parse("1,10.5\n\xC1\xFA,3\n", Format::Csv).error,
            "文件不是UTF-8编码：请另存为UTF-8后再导入");
  EXPECT_EQ(parse("mark,value\n", Format::Csv).error, "文件里没有测量值");
  const ParsedFile missing = parseFile("/nonexistent/report.txt");
  EXPECT_EQ(missing.error, "无法读取文件“/nonexistent/report.txt”");
  EXPECT_TRUE(missing.parts.empty());
}

}  // namespace
