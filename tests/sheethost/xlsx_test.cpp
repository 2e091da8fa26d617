// The workbook layer on small hand-written workbooks: what it reads, what
// it writes, and what it refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sheethost/xlsx/text.h"
#include "sheethost/xlsx/workbook.h"
#include "zip_fixture.h"

using fixture::BookSpec;
using fixture::TempDir;
using xlsx::Value;
using xlsx::Workbook;

namespace {

std::string text(const Value& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  return "<not a text>";
}

double number(const Value& v) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  return std::numeric_limits<double>::quiet_NaN();
}

bool empty(const Value& v) { return std::holds_alternative<std::monostate>(v); }

std::string sheetXml(const std::filesystem::path& file, int n = 1) {
  return fixture::readZip(file).at("xl/worksheets/sheet" + std::to_string(n) +
                                   ".xml");
}

// The error message of what throws, or "" when nothing throws.
template <typename F>
std::string errorOf(F&& f) {
  try {
    f();
  } catch (const xlsx::Error& e) {
    return e.what();
  }
  return "";
}

Workbook openSpec(const TempDir& dir, const BookSpec& spec,
                  const std::string& name = "book.xlsx") {
  fixture::writeWorkbook(dir / name, spec);
  return Workbook::open(dir / name);
}

}  // namespace

TEST(XlsxRead, EveryKindOfCellContent) {
  TempDir dir;
  BookSpec spec;
  spec.sst =
      "<si><t>零件号</t></si>"
      "<si><r><t>rich </t></r><r><rPr><b/></rPr><t>text</t></r>"
      "<rPh sb=\"0\" eb=\"1\"><t>ignored</t></rPh></si>"
      "<si><t xml:space=\"preserve\">  padded </t></si>";
  spec.sheetBody =
      "<sheetData><row r=\"2\">"
      "<c r=\"A2\" t=\"s\"><v>0</v></c>"
      "<c r=\"B2\" t=\"s\"><v>1</v></c>"
      "<c r=\"C2\" t=\"s\"><v>2</v></c>"
      "<c r=\"D2\" t=\"inlineStr\"><is><t>inline</t></is></c>"
      "<c r=\"E2\"><v>12.5</v></c>"
      "<c r=\"F2\" t=\"n\"><v>1E-3</v></c>"
      "<c r=\"G2\" t=\"b\"><v>1</v></c>"
      "<c r=\"H2\" t=\"e\"><v>#DIV/0!</v></c>"
      "<c r=\"I2\" t=\"str\"><f>A2&amp;\"x\"</f><v>零件号x</v></c>"
      "<c r=\"J2\"><f>E2*2</f><v>25</v></c>"
      "<c r=\"K2\"><f>E2*3</f></c>"
      "<c r=\"L2\" s=\"3\"/>"
      "<c r=\"M2\" t=\"s\"><v>7</v></c>"
      "</row></sheetData>";
  Workbook book = openSpec(dir, spec);
  const xlsx::Sheet& sheet = book.sheet(0);
  EXPECT_EQ(text(sheet.value(2, 1)), "零件号");
  EXPECT_EQ(text(sheet.value(2, 2)), "rich text");
  EXPECT_EQ(text(sheet.value(2, 3)), "  padded ");
  EXPECT_EQ(text(sheet.value(2, 4)), "inline");
  EXPECT_EQ(number(sheet.value(2, 5)), 12.5);
  EXPECT_EQ(number(sheet.value(2, 6)), 0.001);
  EXPECT_EQ(std::get<bool>(sheet.value(2, 7)), true);
  EXPECT_EQ(text(sheet.value(2, 8)), "#DIV/0!");
  // Formulas give the results the file carries, when it carries them.
  EXPECT_EQ(text(sheet.value(2, 9)), "零件号x");
  EXPECT_EQ(number(sheet.value(2, 10)), 25);
  EXPECT_TRUE(empty(sheet.value(2, 11)));
  EXPECT_EQ(sheet.formula(2, 10), "E2*2");
  EXPECT_TRUE(empty(sheet.value(2, 12)));
  EXPECT_TRUE(empty(sheet.value(1, 1)));
  EXPECT_TRUE(empty(sheet.value(2, 20)));
  // A reference to a string the table lacks is a broken file, said so.
  EXPECT_NE(errorOf([&] {
              (void)sheet.value(2, 13);
            }).find("refers to shared string 7"),
            std::string::npos);
}

TEST(XlsxRead, AddressesLeftOutAreFilledInAndDisorderIsRefused) {
  TempDir dir;
  BookSpec spec;
  spec.sheetBody =
      "<sheetData><row><c><v>1</v></c><c><v>2</v></c></row>"
      "<row><c r=\"C2\"><v>3</v></c><c><v>4</v></c></row></sheetData>";
  Workbook book = openSpec(dir, spec);
  EXPECT_EQ(number(book.sheet(0).value(1, 2)), 2);
  EXPECT_EQ(number(book.sheet(0).value(2, 4)), 4);

  spec.sheetBody = "<sheetData><row r=\"3\"/><row r=\"2\"/></sheetData>";
  fixture::writeWorkbook(dir / "rows.xlsx", spec);
  EXPECT_NE(
      errorOf([&] { Workbook::open(dir / "rows.xlsx"); }).find("out of order"),
      std::string::npos);
  spec.sheetBody =
      "<sheetData><row r=\"2\"><c r=\"B3\"><v>1</v></c></row></sheetData>";
  fixture::writeWorkbook(dir / "cells.xlsx", spec);
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "cells.xlsx");
            }).find("does not belong to row 2"),
            std::string::npos);
}

TEST(XlsxWrite, CellsAndRowsAreCreatedInOrderAndKeepTheirStyle) {
  TempDir dir;
  BookSpec spec;
  spec.sheetBody =
      "<cols><col min=\"4\" max=\"5\" width=\"9\" style=\"6\"/></cols>"
      "<sheetData>"
      "<row r=\"3\" spans=\"1:3\"><c r=\"A3\" s=\"2\"/><c r=\"C3\" s=\"4\"><v>"
      "9</v></c></row>"
      "<row r=\"7\" s=\"5\" customFormat=\"1\"><c r=\"B7\"><v>1</v></c></row>"
      "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:C1\"/>"
      "</mergeCells>";
  Workbook book = openSpec(dir, spec);
  xlsx::Sheet& sheet = book.sheet(0);
  sheet.setNumber(5, 2, 1.5);   // a new row between 3 and 7
  sheet.setNumber(1, 1, 2.0);   // before every row
  sheet.setNumber(9, 3, 3.0);   // after every row
  sheet.setText(3, 2, "中间");  // between A3 and C3
  sheet.setNumber(3, 4, 4.0);   // past the row's span, in a styled column
  sheet.setNumber(3, 1, 5.0);   // a styled cell keeps its style
  sheet.setText(7, 1, "行");    // a row with a style of its own
  book.save(dir / "out.xlsx");

  const std::string xml = sheetXml(dir / "out.xlsx");
  auto at = [&](const std::string& s) { return xml.find(s); };
  EXPECT_LT(at("<row r=\"1\""), at("<row r=\"3\""));
  EXPECT_LT(at("<row r=\"3\""), at("<row r=\"5\""));
  EXPECT_LT(at("<row r=\"5\""), at("<row r=\"7\""));
  EXPECT_LT(at("<row r=\"7\""), at("<row r=\"9\""));
  EXPECT_LT(at("r=\"A3\""), at("r=\"B3\""));
  EXPECT_LT(at("r=\"B3\""), at("r=\"C3\""));
  EXPECT_LT(at("r=\"C3\""), at("r=\"D3\""));
  EXPECT_NE(at("<c r=\"A3\" s=\"2\"><v>5</v>"), std::string::npos);
  EXPECT_NE(at("<c r=\"D3\" s=\"6\"><v>4</v>"), std::string::npos);
  EXPECT_NE(at("<c r=\"A7\" s=\"5\" t=\"s\">"), std::string::npos);
  EXPECT_EQ(at("spans="), std::string::npos);
  EXPECT_NE(at("<mergeCell ref=\"A1:C1\"/>"), std::string::npos);

  Workbook again = Workbook::open(dir / "out.xlsx");
  const xlsx::Sheet& s = again.sheet(0);
  EXPECT_EQ(number(s.value(5, 2)), 1.5);
  EXPECT_EQ(number(s.value(1, 1)), 2.0);
  EXPECT_EQ(text(s.value(3, 2)), "中间");
  EXPECT_EQ(number(s.value(3, 3)), 9);
  EXPECT_EQ(text(s.value(7, 1)), "行");
  EXPECT_EQ(number(s.value(7, 2)), 1);
  EXPECT_EQ(s.usedRange().text(), "A1:D9");
  ASSERT_EQ(s.mergedCells().size(), 1u);
  EXPECT_EQ(s.mergedCells()[0].text(), "A1:C1");
}

TEST(XlsxWrite, NumbersAreWrittenAsTheirShortestExactText) {
  TempDir dir;
  Workbook book = openSpec(dir, {});
  xlsx::Sheet& sheet = book.sheet(0);
  sheet.setNumber(1, 1, 0.1f);
  sheet.setNumber(1, 2, 12.50f);
  sheet.setNumber(1, 3, 6.0f);
  // A single widened to a double keeps every binary digit.
  sheet.setNumber(1, 4, 25.4 + static_cast<double>(0.1f));
  sheet.setNumber(1, 5, 25.4 - static_cast<double>(0.05f));
  sheet.setNumber(1, 6, -2.5e-300);
  sheet.setNumber(1, 7, 1.0 / 3.0);
  book.save(dir / "out.xlsx");

  const std::string xml = sheetXml(dir / "out.xlsx");
  EXPECT_NE(xml.find("<c r=\"A1\"><v>0.1</v>"), std::string::npos);
  EXPECT_NE(xml.find("<c r=\"B1\"><v>12.5</v>"), std::string::npos);
  EXPECT_NE(xml.find("<c r=\"C1\"><v>6</v>"), std::string::npos);
  EXPECT_NE(xml.find("<c r=\"D1\"><v>25.500000001490115</v>"),
            std::string::npos);
  EXPECT_NE(xml.find("<c r=\"E1\"><v>25.34999999925494</v>"),
            std::string::npos);
  Workbook again = Workbook::open(dir / "out.xlsx");
  EXPECT_EQ(number(again.sheet(0).value(1, 4)),
            25.4 + static_cast<double>(0.1f));
  EXPECT_EQ(number(again.sheet(0).value(1, 6)), -2.5e-300);
  EXPECT_EQ(number(again.sheet(0).value(1, 7)), 1.0 / 3.0);
}

TEST(XlsxWrite, TextsSurviveAsTheyWereGiven) {
  TempDir dir;
  BookSpec spec;
  spec.sst = "<si><t>已有</t></si><si><r><t>已有</t></r></si>";
  spec.sheetBody =
      "<sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c></row>"
      "</sheetData>";
  Workbook book = openSpec(dir, spec);
  xlsx::Sheet& sheet = book.sheet(0);
  const std::string tricky[] = {"tab\there",
                                "line\nbreak",
                                "cr\rlf",
                                std::string("nul\x01"
                                            "bell\x07",
                                            9),
                                "_x0041_ stays literal",
                                "  leading and trailing  ",
                                "<&>\"'",
                                "已有"};
  for (int i = 0; i < 8; ++i) sheet.setText(2, i + 1, tricky[i]);
  sheet.setText(3, 1, "");  // an empty text leaves the cell empty
  book.save(dir / "out.xlsx");

  auto parts = fixture::readZip(dir / "out.xlsx");
  const std::string& sst = parts.at("xl/sharedStrings.xml");
  EXPECT_NE(sst.find("_x0001_"), std::string::npos);
  EXPECT_NE(sst.find("_x000D_"), std::string::npos);
  EXPECT_NE(sst.find("_x005F_x0041_"), std::string::npos);
  // The plain item was reused, not added again; the rich one was not used.
  EXPECT_NE(
      parts.at("xl/worksheets/sheet1.xml").find("<c r=\"H2\" t=\"s\"><v>0</v>"),
      std::string::npos);
  EXPECT_NE(sst.find("uniqueCount=\"9\""), std::string::npos);

  Workbook again = Workbook::open(dir / "out.xlsx");
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(text(again.sheet(0).value(2, i + 1)), tricky[i]) << i;
  EXPECT_TRUE(empty(again.sheet(0).value(3, 1)));
}

TEST(XlsxWrite, ASharedStringTableIsAddedWhenTheBookHasNone) {
  TempDir dir;
  Workbook book = openSpec(dir, {});
  book.sheet(0).setText(1, 1, "标号");
  book.save(dir / "out.xlsx");
  auto parts = fixture::readZip(dir / "out.xlsx");
  ASSERT_TRUE(parts.count("xl/sharedStrings.xml"));
  EXPECT_NE(parts.at("[Content_Types].xml").find("/xl/sharedStrings.xml"),
            std::string::npos);
  EXPECT_NE(
      parts.at("xl/_rels/workbook.xml.rels")
          .find("relationships/sharedStrings\" Target=\"sharedStrings.xml\""),
      std::string::npos);
  EXPECT_EQ(text(Workbook::open(dir / "out.xlsx").sheet(0).value(1, 1)),
            "标号");
}

TEST(XlsxWrite, SavingAsksForRecalculationAndDropsStaleResults) {
  TempDir dir;
  BookSpec spec;
  spec.calcChain = true;
  spec.extraWorkbook =
      "<definedNames><definedName name=\"x\">Sheet1!$A$1</definedName>"
      "</definedNames><extLst/>";
  spec.sheetBody =
      "<sheetData><row r=\"1\"><c r=\"A1\"><v>2</v></c>"
      "<c r=\"B1\"><f>A1*2</f><v>4</v></c>"
      "<c r=\"C1\" t=\"str\"><f>\"n\"&amp;A1</f><v>n2</v></c></row>"
      "</sheetData>";
  Workbook book = openSpec(dir, spec);
  xlsx::Sheet& sheet = book.sheet(0);
  EXPECT_EQ(number(sheet.value(1, 2)), 4);
  sheet.setNumber(1, 1, 3.0);
  // The result the file carried no longer holds.
  EXPECT_TRUE(empty(sheet.value(1, 2)));
  EXPECT_EQ(sheet.formula(1, 2), "A1*2");
  book.save(dir / "out.xlsx");

  auto parts = fixture::readZip(dir / "out.xlsx");
  EXPECT_FALSE(parts.count("xl/calcChain.xml"));
  EXPECT_EQ(parts.at("[Content_Types].xml").find("calcChain"),
            std::string::npos);
  EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("calcChain"),
            std::string::npos);
  const std::string& wb = parts.at("xl/workbook.xml");
  const auto calc = wb.find("<calcPr fullCalcOnLoad=\"1\"/>");
  ASSERT_NE(calc, std::string::npos);
  EXPECT_LT(wb.find("</definedNames>"), calc);
  EXPECT_LT(calc, wb.find("<extLst"));
  // The stale results are replaced by fresh ones; in memory the cells
  // still carry none.
  const std::string& xml = parts.at("xl/worksheets/sheet1.xml");
  EXPECT_NE(xml.find("<c r=\"B1\"><f>A1*2</f><v>6</v></c>"), std::string::npos);
  EXPECT_NE(xml.find("<c r=\"C1\" t=\"str\"><f>\"n\"&amp;A1</f><v>n3</v></c>"),
            std::string::npos);
  EXPECT_TRUE(empty(sheet.value(1, 2)));
  EXPECT_TRUE(empty(sheet.value(1, 3)));
}

TEST(XlsxWrite, OverwritingTheMasterOfASharedFormulaKeepsTheOthers) {
  TempDir dir;
  BookSpec spec;
  spec.sheetBody =
      "<sheetData>"
      "<row r=\"2\"><c r=\"B2\"><f t=\"shared\" ref=\"B2:C4\" si=\"0\">"
      "A2*$A$1+SUM(A$1:A2)</f><v>1</v></c>"
      "<c r=\"C2\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>"
      "<row r=\"3\"><c r=\"B3\"><f t=\"shared\" si=\"0\"/><v>1</v></c></row>"
      "<row r=\"4\"><c r=\"C4\"><f t=\"shared\" si=\"0\"/><v>1</v></c>"
      "<c r=\"D4\"><f t=\"shared\" ref=\"D4:D5\" si=\"1\">D1</f></c></row>"
      "<row r=\"5\"><c r=\"D5\"><f t=\"shared\" si=\"1\"/></c></row>"
      "</sheetData>";
  Workbook book = openSpec(dir, spec);
  xlsx::Sheet& sheet = book.sheet(0);
  EXPECT_EQ(sheet.formula(4, 3), "B4*$A$1+SUM(B$1:B4)");
  sheet.setNumber(2, 2, 7.0);
  sheet.setNumber(5, 4, 1.0);  // a member only: the group stays shared
  EXPECT_TRUE(sheet.formula(2, 2).empty());
  EXPECT_EQ(sheet.formula(2, 3), "B2*$A$1+SUM(B$1:B2)");
  EXPECT_EQ(sheet.formula(3, 2), "A3*$A$1+SUM(A$1:A3)");
  book.save(dir / "out.xlsx");

  const std::string xml = sheetXml(dir / "out.xlsx");
  EXPECT_NE(xml.find("<c r=\"C4\"><f>B4*$A$1+SUM(B$1:B4)</f><v>7</v></c>"),
            std::string::npos);
  EXPECT_EQ(xml.find("si=\"0\""), std::string::npos);
  EXPECT_NE(xml.find("<f t=\"shared\" ref=\"D4:D5\" si=\"1\">D1</f>"),
            std::string::npos);
  Workbook again = Workbook::open(dir / "out.xlsx");
  EXPECT_EQ(number(again.sheet(0).value(2, 2)), 7);
  EXPECT_EQ(again.sheet(0).formula(3, 2), "A3*$A$1+SUM(A$1:A3)");
}

TEST(XlsxWrite, BadInputIsRefusedAndChangesNothing) {
  TempDir dir;
  BookSpec spec;
  spec.sheetBody =
      "<sheetData><row r=\"1\"><c r=\"A1\"><f t=\"array\" ref=\"A1:A2\">"
      "B1:B2*2</f><v>0</v></c></row><row r=\"2\"><c r=\"A2\"><v>0</v></c>"
      "</row></sheetData>";
  Workbook book = openSpec(dir, spec);
  xlsx::Sheet& sheet = book.sheet(0);
  EXPECT_NE(errorOf([&] { sheet.setNumber(0, 1, 1.0); }).find("outside"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { sheet.setNumber(1, 16385, 1.0); }).find("outside"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { sheet.setText(3, 1, "\xC3\x28"); }).find("UTF-8"),
            std::string::npos);
  EXPECT_NE(errorOf([&] {
              sheet.setText(3, 1, std::string(32768, 'x'));
            }).find("longer than 32767"),
            std::string::npos);
  EXPECT_NE(errorOf([&] {
              sheet.setNumber(3, 1, std::numeric_limits<double>::quiet_NaN());
            }).find("cannot be stored"),
            std::string::npos);
  EXPECT_NE(errorOf([&] {
              sheet.setNumber(3, 1, std::numeric_limits<float>::infinity());
            }).find("cannot be stored"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { sheet.setNumber(2, 1, 1.0); }).find("array formula"),
            std::string::npos);
  sheet.clear(40, 3);  // nothing there to clear
  sheet.setText(41, 3, "");
  EXPECT_FALSE(book.modified());
  EXPECT_EQ(number(sheet.value(1, 1)), 0);  // results still trusted
  EXPECT_EQ(sheet.usedRange().text(), "A1:A2");
}

TEST(XlsxWrite, PrefixedElementsAreReadAndWrittenUnderTheirPrefix) {
  TempDir dir;
  BookSpec spec;
  spec.rootTag = "x:worksheet";
  spec.sheetBody =
      "<x:sheetData><x:row r=\"1\"><x:c r=\"A1\"><x:v>5</x:v></x:c></x:row>"
      "</x:sheetData>";
  Workbook book = openSpec(dir, spec);
  EXPECT_EQ(number(book.sheet(0).value(1, 1)), 5);
  book.sheet(0).setNumber(2, 2, 6.0);
  book.save(dir / "out.xlsx");
  EXPECT_NE(sheetXml(dir / "out.xlsx")
                .find("<x:row r=\"2\"><x:c r=\"B2\"><x:v>6</x:v></x:c>"),
            std::string::npos);
}

TEST(XlsxWrite, SheetsAreFoundByNameAndTheActiveOneIsSaved) {
  TempDir dir;
  BookSpec spec;
  spec.sheetBody =
      "<sheetViews><sheetView tabSelected=\"1\" "
      "workbookViewId=\"0\"/></sheetViews><sheetData/>";
  spec.moreSheets = {{"第二",
                      "<sheetViews><sheetView workbookViewId=\"0\"/>"
                      "</sheetViews><sheetData/>"}};
  Workbook book = openSpec(dir, spec);
  ASSERT_EQ(book.sheetCount(), 2);
  EXPECT_EQ(book.findSheet("第二"), &book.sheet(1));
  EXPECT_EQ(book.findSheet("none"), nullptr);
  EXPECT_EQ(book.activeSheet(), 0);
  book.setActiveSheet(1);
  book.save(dir / "out.xlsx");
  auto parts = fixture::readZip(dir / "out.xlsx");
  EXPECT_NE(parts.at("xl/workbook.xml").find("activeTab=\"1\""),
            std::string::npos);
  EXPECT_EQ(parts.at("xl/worksheets/sheet1.xml").find("tabSelected"),
            std::string::npos);
  EXPECT_NE(parts.at("xl/worksheets/sheet2.xml").find("tabSelected=\"1\""),
            std::string::npos);
  EXPECT_EQ(Workbook::open(dir / "out.xlsx").activeSheet(), 1);
  EXPECT_NE(errorOf([&] { book.setActiveSheet(2); }).find("no sheet 3"),
            std::string::npos);
}

TEST(XlsxSave, TheSourceIsNeverOverwrittenUnlessAskedAndFailuresLeaveNoFile) {
  TempDir dir;
  Workbook book = openSpec(dir, {}, "template.xlsx");
  const std::string before = fixture::readFile(dir / "template.xlsx");
  book.sheet(0).setNumber(1, 1, 1.0);
  EXPECT_NE(
      errorOf([&] { book.save(dir / "template.xlsx"); }).find("opened from"),
      std::string::npos);
  EXPECT_NE(errorOf([&] {
              book.save(dir / "." / "template.xlsx");
            }).find("opened from"),
            std::string::npos);
  EXPECT_EQ(fixture::readFile(dir / "template.xlsx"), before);

  EXPECT_NE(errorOf([&] {
              book.save(dir / "missing" / "out.xlsx");
            }).find("cannot write"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

  // An existing file of another kind is replaced whole.
  fixture::writeFile(dir / "old.xlsx", "not a zip at all");
  book.save(dir / "old.xlsx");
  EXPECT_EQ(number(Workbook::open(dir / "old.xlsx").sheet(0).value(1, 1)), 1);

  book.save(dir / "template.xlsx", xlsx::SaveMode::overwriteSource);
  EXPECT_EQ(number(Workbook::open(dir / "template.xlsx").sheet(0).value(1, 1)),
            1);
}

TEST(XlsxOpen, BrokenFilesAreRefusedWithTheirReason) {
  TempDir dir;
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "none.xlsx");
            }).find("none.xlsx: no such file"),
            std::string::npos);

  fixture::writeFile(dir / "text.xlsx", "just some text");
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "text.xlsx");
            }).find("zip archive is broken"),
            std::string::npos);

  fixture::writeFile(dir / "old.xls",
                     std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) +
                         std::string(512, '\0'));
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "old.xls");
            }).find("old binary .xls workbook"),
            std::string::npos);

  fixture::writeWorkbook(dir / "good.xlsx", {});
  std::string bytes = fixture::readFile(dir / "good.xlsx");
  fixture::writeFile(dir / "cut.xlsx", bytes.substr(0, bytes.size() / 2));
  EXPECT_NE(errorOf([&] { Workbook::open(dir / "cut.xlsx"); }).find("broken"),
            std::string::npos);

  BookSpec spec;
  spec.sheetBody = "<sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></row>";
  fixture::writeWorkbook(dir / "xml.xlsx", spec);
  const std::string message =
      errorOf([&] { Workbook::open(dir / "xml.xlsx"); });
  EXPECT_NE(message.find("broken XML in 'xl/worksheets/sheet1.xml'"),
            std::string::npos)
      << message;

  auto entries = fixture::workbookEntries({});
  entries.erase(entries.begin() + 2);  // xl/workbook.xml
  fixture::writeZip(dir / "nobook.xlsx", entries);
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "nobook.xlsx");
            }).find("main part is missing"),
            std::string::npos);

  fixture::writeZip(dir / "other.zip", {{"readme.txt", "hello"}});
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "other.zip");
            }).find("not a workbook"),
            std::string::npos);
}

TEST(XlsxOpen, NoEntityIsEverExpanded) {
  TempDir dir;
  fixture::writeFile(dir / "secret.txt", "TOP SECRET");
  auto entries = fixture::workbookEntries({});
  for (auto& [name, data] : entries)
    if (name == "xl/worksheets/sheet1.xml")
      data =
          "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY x SYSTEM \"" +
          (dir / "secret.txt").string() +
          "\"><!ENTITY y \"expanded\">]><worksheet xmlns=\"" +
          std::string(fixture::kMainNs) +
          "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&x;&y;"
          "</t></is></c></row></sheetData></worksheet>";
  fixture::writeZip(dir / "dtd.xlsx", entries);
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "dtd.xlsx");
            }).find("document type declaration"),
            std::string::npos);
}

TEST(XlsxOpen, OversizedEntriesAreRefusedBeforeUnpacking) {
  TempDir dir;
  // 4 MiB of one character packs to a few kilobytes: a small zip bomb.
  BookSpec spec;
  spec.sheetBody = "<sheetData/><!--" + std::string(4 << 20, 'a') + "-->";
  fixture::writeWorkbook(dir / "bomb.xlsx", spec);
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "bomb.xlsx");
            }).find("possible zip bomb"),
            std::string::npos);

  fixture::writeZip(dir / "stored.xlsx", fixture::workbookEntries(spec), true);
  xlsx::Limits limits;
  limits.maxEntryBytes = 1 << 20;
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "stored.xlsx", limits);
            }).find("too large to unpack"),
            std::string::npos);
  limits = {};
  limits.maxTotalBytes = 2 << 20;
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "stored.xlsx", limits);
            }).find("unpacks to more than"),
            std::string::npos);
  limits = {};
  limits.maxFileBytes = 1 << 20;
  EXPECT_NE(errorOf([&] {
              Workbook::open(dir / "stored.xlsx", limits);
            }).find("file is too large"),
            std::string::npos);
  // The same content stored plainly is within the default limits.
  EXPECT_EQ(Workbook::open(dir / "stored.xlsx").sheetCount(), 1);
}

TEST(XlsxText, EscapesAndUtf8Checks) {
  EXPECT_EQ(xlsx::unescapeCellText("_xD83D__xDE00_"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(xlsx::unescapeCellText("_xD83D_ alone"), "_xD83D_ alone");
  EXPECT_EQ(xlsx::unescapeCellText("_x00e9_"), "\xC3\xA9");
  EXPECT_EQ(xlsx::escapeCellText("\xEF\xBF\xBF"), "_xFFFF_");
  EXPECT_TRUE(xlsx::isValidUtf8("零件 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(xlsx::isValidUtf8("\xE9\x9B"));      // cut short
  EXPECT_FALSE(xlsx::isValidUtf8("\xC0\xAF"));      // overlong
  EXPECT_FALSE(xlsx::isValidUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_EQ(xlsx::utf16Length("a零\xF0\x9F\x98\x80"), 4u);
  EXPECT_EQ(xlsx::parseNumber(" +1.5E2 "), 150.0);
  EXPECT_FALSE(xlsx::parseNumber("1,5").has_value());
  EXPECT_FALSE(xlsx::parseNumber("").has_value());
}
