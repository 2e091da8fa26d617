// Formulas computed by the workbook layer, where the spreadsheet programs'
// rules are easy to get wrong: empty cells, texts, booleans and errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "sheethost/xlsx/numfmt.h"
#include "sheethost/xlsx/text.h"
#include "sheethost/xlsx/workbook.h"
#include "zip_fixture.h"

using fixture::TempDir;
using xlsx::Computed;
using xlsx::ErrorValue;
using xlsx::Workbook;

namespace {

// A cell's content as a test writes it: "=..." a formula, "'..." a text,
// TRUE / FALSE, "#..." an error value, anything else a number.
using Cells = std::vector<std::pair<std::string, std::string>>;

std::string escapeXml(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

std::string sheetData(const Cells& cells) {
  std::map<int, std::map<int, std::string>> rows;
  for (const auto& [ref, content] : cells) {
    const auto at = xlsx::parseCellRef(ref);
    EXPECT_TRUE(at) << ref;
    std::string c = "<c r=\"" + ref + "\"";
    if (content.rfind("=", 0) == 0)
      c += "><f>" + escapeXml(content.substr(1)) + "</f></c>";
    else if (content.rfind("'", 0) == 0)
      c += " t=\"inlineStr\"><is><t>" + escapeXml(content.substr(1)) +
           "</t></is></c>";
    else if (content == "TRUE" || content == "FALSE")
      c += " t=\"b\"><v>" + std::string(content == "TRUE" ? "1" : "0") +
           "</v></c>";
    else if (content.rfind("#", 0) == 0)
      c += " t=\"e\"><v>" + escapeXml(content) + "</v></c>";
    else
      c += "><v>" + content + "</v></c>";
    rows[at->row][at->column] = c;
  }
  std::string xml = "<sheetData>";
  for (const auto& [r, row] : rows) {
    xml += "<row r=\"" + std::to_string(r) + "\">";
    for (const auto& entry : row) xml += entry.second;
    xml += "</row>";
  }
  return xml + "</sheetData>";
}

// A workbook of one or more sheets, opened from a file of its own.
class Book {
 public:
  explicit Book(const Cells& first,
                std::vector<std::pair<std::string, Cells>> more = {}) {
    fixture::BookSpec spec;
    spec.sheetBody = sheetData(first);
    for (const auto& [name, cells] : more)
      spec.moreSheets.push_back({name, sheetData(cells)});
    fixture::writeWorkbook(dir_ / "book.xlsx", spec);
    book_ = std::make_unique<Workbook>(Workbook::open(dir_ / "book.xlsx"));
  }

  xlsx::Sheet& sheet(int index = 0) { return book_->sheet(index); }
  Workbook& workbook() { return *book_; }
  const TempDir& dir() const { return dir_; }

  // What a cell computes to, as a short text: "n:16", "s:abc", "b:TRUE",
  // "e:#VALUE!" or "empty".
  std::string at(const std::string& ref, int sheetIndex = 0) {
    const auto r = xlsx::parseCellRef(ref);
    return show(sheet(sheetIndex).computed(r->row, r->column));
  }

  static std::string show(const Computed& v) {
    switch (v.index()) {
      case 1:
        return "s:" + std::get<std::string>(v);
      case 2:
        return "n:" + xlsx::formatNumber(std::get<double>(v));
      case 3:
        return std::get<bool>(v) ? "b:TRUE" : "b:FALSE";
      case 4:
        return "e:" + std::string(xlsx::errorText(std::get<ErrorValue>(v)));
      default:
        return "empty";
    }
  }

 private:
  TempDir dir_;
  std::unique_ptr<Workbook> book_;
};

// Formulas in column B, each checked against what it must give.
void expectAll(Book& book,
               const std::vector<std::pair<std::string, std::string>>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(book.at("Z" + std::to_string(i + 1)), cases[i].second)
        << cases[i].first;
}

Cells withFormulas(
    Cells cells,
    const std::vector<std::pair<std::string, std::string>>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i)
    cells.push_back({"Z" + std::to_string(i + 1), "=" + cases[i].first});
  return cells;
}

}  // namespace

TEST(Evaluate, EmptyCellsEmptyTextsAndZerosAreThreeDifferentThings) {
  // A1 empty, B1 an empty text from a formula, C1 zero.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A1+1", "n:1"},
      {"A1", "n:0"},
      {"A1=\"\"", "b:TRUE"},
      {"A1=0", "b:TRUE"},
      {"A1=FALSE", "b:TRUE"},
      {"A1<1", "b:TRUE"},
      {"A1&\"x\"", "s:x"},
      {"B1=\"\"", "b:TRUE"},
      {"B1=0", "b:FALSE"},
      {"B1+1", "e:#VALUE!"},
      {"C1=\"\"", "b:FALSE"},
      {"ISNUMBER(A1)", "b:FALSE"},
      {"ISNUMBER(C1)", "b:TRUE"},
      {"COUNT(A1:C1)", "n:1"},
      {"IF(A1,\"y\",\"n\")", "s:n"},
      {"NOT(A1)", "b:TRUE"},
      {"IF(TRUE,A1)=\"\"", "b:TRUE"},
      {"IF(FALSE,1)", "b:FALSE"},
      {"IF(FALSE,1,)", "n:0"}};
  Book book(withFormulas({{"B1", "=\"\""}, {"C1", "0"}}, cases));
  expectAll(book, cases);
}

TEST(Evaluate, NumericTextsCountInArithmeticButRangesTakeOnlyNumbers) {
  const Cells cells = {{"A1", "'15"},  {"A2", "5"},         {"A3", "TRUE"},
                       {"A4", "'abc"}, {"A5", "-2.5"},      {"B1", "'25.40"},
                       {"B2", "'Φ8"},  {"B3", "' 1,234.5 "}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A1+1", "n:16"},
      {"A1*A3", "n:15"},
      {"A4*1", "e:#VALUE!"},
      {"COUNT(A1:A5)", "n:2"},
      {"MIN(A1:A5)", "n:-2.5"},
      {"MAX(A1:A4)", "n:5"},
      {"SUM(A1:A5)", "n:2.5"},
      {"AVERAGE(A1:A5)", "n:1.25"},
      {"COUNT(\"15\",TRUE,\"x\",A4)", "n:2"},
      {"MIN(\"3\",7)", "n:3"},
      {"MAX(\"x\",1)", "e:#VALUE!"},
      {"VALUE(A1)", "n:15"},
      {"VALUE(B1)+0.1", "n:25.5"},
      {"VALUE(B2)", "e:#VALUE!"},
      {"IFERROR(VALUE(B2)+1,\"\")", "s:"},
      {"VALUE(B3)", "n:1234.5"},
      {"VALUE(\"1,23\")", "e:#VALUE!"},
      {"VALUE(\"50%\")", "n:0.5"},
      {"VALUE(\"\")", "e:#VALUE!"},
      {"AND(A1:A4)", "b:TRUE"},
      {"OR(A4)", "e:#VALUE!"}};
  Book book(withFormulas(cells, cases));
  expectAll(book, cases);
}

TEST(Evaluate, StatisticsOfTooFewValues) {
  const Cells cells = {{"A1", "10.02"}, {"A2", "10.02"}, {"A3", "10.02"},
                       {"B1", "7"},     {"C1", "1"},     {"C2", "2"},
                       {"C3", "3"},     {"C4", "4"}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"MIN(D1:D9)", "n:0"},
      {"MAX(D1:D9)", "n:0"},
      {"SUM(D1:D9)", "n:0"},
      {"AVERAGE(D1:D9)", "e:#DIV/0!"},
      {"STDEV(B1)", "e:#DIV/0!"},
      {"STDEV(B1:B9)", "e:#DIV/0!"},
      {"STDEV(C1:C4)", "n:1.2909944487358056"},
      // Equal values have no spread at all, so Cp stays undefined.
      {"STDEV(A1:A3)", "n:0"},
      {"AVERAGE(A1:A3)=A1", "b:TRUE"}};
  Book book(withFormulas(cells, cases));
  expectAll(book, cases);
}

TEST(Evaluate, ErrorsPropagateUnlessCaughtOrOnlyCounted) {
  const Cells cells = {{"A1", "=1/0"}, {"A2", "#N/A"}, {"A3", "4"}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"A1", "e:#DIV/0!"},
      {"A2", "e:#N/A"},
      {"A1+1", "e:#DIV/0!"},
      {"A2+A1", "e:#N/A"},  // the left one first
      {"A1&A2", "e:#DIV/0!"},
      {"-A2", "e:#N/A"},
      {"A1=1", "e:#DIV/0!"},
      {"SUM(A1:A3)", "e:#DIV/0!"},
      {"MAX(A2:A3)", "e:#N/A"},
      {"COUNT(A1:A3)", "n:1"},
      {"ISNUMBER(A1)", "b:FALSE"},
      {"IFERROR(A1,\"x\")", "s:x"},
      {"IFERROR(A3,\"x\")", "n:4"},
      {"IFERROR(FOO(1),\"ok\")", "s:ok"},
      {"IF(A1,1,2)", "e:#DIV/0!"},
      {"IF(TRUE,1,A1)", "n:1"},  // the branch not taken is not computed
      {"AND(TRUE,A1)", "e:#DIV/0!"},
      {"NOT(A2)", "e:#N/A"},
      {"SQRT(-1)", "e:#NUM!"},
      {"0^-1", "e:#DIV/0!"},
      {"10^400", "e:#NUM!"},
      {"ROUND(A2,1)", "e:#N/A"},
      {"#REF!", "e:#REF!"},
      {"ABS(\"x\")", "e:#VALUE!"}};
  Book book(withFormulas(cells, cases));
  expectAll(book, cases);
}

TEST(Evaluate, OperatorsBindAsInTheSpreadsheets) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"-2^2", "n:4"},  // negation before '^'
      {"2^-1", "n:0.5"},
      {"-2^2+1", "n:5"},
      {"0-2^2", "n:-4"},
      {"2^3^2", "n:64"},  // left to right
      {"1+2*3", "n:7"},
      {"(1+2)*3", "n:9"},
      {"10-4-3", "n:3"},
      {"12/3/2", "n:2"},
      {"50%", "n:0.5"},
      {"-50%*2", "n:-1"},
      {"200%%", "n:0.02"},
      {"\"a\"&1+2", "s:a3"},  // '&' after '+'
      {"1+2&3", "s:33"},
      {"1=1&\"\"", "b:FALSE"},  // "1" is a text, not 1
      {"1&2=\"12\"", "b:TRUE"},
      {"\"x\"&TRUE", "s:xTRUE"},
      {"0.1+0.2&\"\"", "s:0.3"},
      {"15+0.3&\"\"", "s:15.3"},
      {"1/3&\"\"", "s:0.333333333333333"},
      {"--\"3\"", "n:3"},
      {"+\"abc\"", "s:abc"},
      {" 1 + 2 ", "n:3"},
      {"0.3-0.1-0.2", "n:0"}};
  Book book(withFormulas({}, cases));
  expectAll(book, cases);
}

TEST(Evaluate, ComparisonsOfMixedKinds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1<\"a\"", "b:TRUE"},  // numbers before texts before booleans
      {"\"z\"<TRUE", "b:TRUE"},      {"2>\"1\"", "b:FALSE"},
      {"TRUE>99", "b:TRUE"},         {"\"10\"=10", "b:FALSE"},
      {"\"abc\"=\"ABC\"", "b:TRUE"}, {"\"a\"<\"B\"", "b:TRUE"},
      {"\"ab\"<\"abc\"", "b:TRUE"},  {"0.1+0.2=0.3", "b:TRUE"},
      {"1E-9>0", "b:TRUE"},          {"FALSE<TRUE", "b:TRUE"},
      {"\"NG\"<>\"ng\"", "b:FALSE"}};
  Book book(withFormulas({}, cases));
  expectAll(book, cases);
}

TEST(Evaluate, RoundTakesHalvesAwayFromZeroOnTheShownDigits) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ROUND(2.5,0)", "n:3"},        {"ROUND(-2.5,0)", "n:-3"},
      {"ROUND(0.5,0)", "n:1"},        {"ROUND(2.675,2)", "n:2.68"},
      {"ROUND(1.005,2)", "n:1.01"},   {"ROUND(-1.005,2)", "n:-1.01"},
      {"ROUND(0.125,2)", "n:0.13"},   {"ROUND(0.004,2)", "n:0"},
      {"ROUND(0.005,2)", "n:0.01"},   {"ROUND(9.995,2)", "n:10"},
      {"ROUND(1234.5,-2)", "n:1200"}, {"ROUND(-1250,-2)", "n:-1300"},
      {"ROUND(2.55,1.9)", "n:2.6"},  // places are cut to whole numbers
      {"ROUND(1E20,2)", "n:1e+20"},   {"ROUND(15.3000000119209,4)", "n:15.3"}};
  Book book(withFormulas({}, cases));
  expectAll(book, cases);
}

TEST(Evaluate, UnknownNamesAndBrokenFormulasGiveErrorValues) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"FOO(1)", "e:#NAME?"},
      {"_xlfn.STDEV.S(1,2,3)", "n:1"},
      {"myName+1", "e:#NAME?"},
      {"'No such'!A1", "e:#REF!"},
      {"1+", "e:#NAME?"},
      {"SUM(1", "e:#NAME?"},
      {"\"abc", "e:#NAME?"},
      {"IF(1)", "e:#NAME?"},
      {"ROUND(1)", "e:#NAME?"},
      {"1 2", "e:#NAME?"},
      {")", "e:#NAME?"},
      {"A1:", "e:#NAME?"},
      {"#BOGUS!", "e:#NAME?"},
      {"", "e:#NAME?"},
      {std::string(150, '(') + "1" + std::string(150, ')'), "e:#NAME?"},
      {std::string(50, '(') + "1" + std::string(50, ')'), "n:1"}};
  Book book(withFormulas({}, cases));
  expectAll(book, cases);

  // Typed in, a formula that does not parse is refused and changes nothing.
  xlsx::Sheet& sheet = book.sheet();
  sheet.setNumber(1, 1, 5.0);
  for (const char* bad : {"=1+", "=SUM(A1", "=IF(1)"}) {
    try {
      sheet.setFormula(1, 1, bad);
      ADD_FAILURE() << bad << " was taken";
    } catch (const xlsx::Error& e) {
      EXPECT_NE(std::string(e.what()).find("does not parse"),
                std::string::npos);
    }
  }
  EXPECT_EQ(book.at("A1"), "n:5");
  EXPECT_EQ(sheet.formula(1, 1), "");
  sheet.setFormula(1, 1, "=FOO(1)");  // unknown, but well formed
  EXPECT_EQ(book.at("A1"), "e:#NAME?");
}

TEST(Evaluate, LongFormulasAndLongChainsTakeNoDeepStack) {
  std::string sum = "1";
  for (int i = 0; i < 3000; ++i) sum += "+1";
  std::string negations(5000, '-');
  Book book({{"A1", "=" + sum}, {"A2", "=" + negations + "1"}});
  EXPECT_EQ(book.at("A1"), "n:3001");
  EXPECT_EQ(book.at("A2"), "n:1");

  // Every row refers to the one above; the last is asked for first.
  xlsx::Sheet& sheet = book.sheet();
  const int rows = 50000;
  sheet.setNumber(1, 2, 1.0);
  for (int r = 2; r <= rows; ++r)
    sheet.setFormula(r, 2, "B" + std::to_string(r - 1) + "+1");
  EXPECT_EQ(book.at("B" + std::to_string(rows)), "n:" + std::to_string(rows));
  sheet.setNumber(1, 2, 10.0);
  EXPECT_EQ(book.at("B" + std::to_string(rows)),
            "n:" + std::to_string(rows + 9));
  // Closing the chain into a ring: every cell of it is an error.
  sheet.setFormula(1, 2, "B" + std::to_string(rows) + "+1");
  EXPECT_EQ(book.at("B" + std::to_string(rows)), "e:#REF!");
  EXPECT_EQ(book.at("B1"), "e:#REF!");
  EXPECT_EQ(book.at("B2"), "e:#REF!");
}

TEST(Evaluate, CircularReferencesGiveErrorsWhereverTheyAreEntered) {
  Book book({{"A1", "=B1+1"},
             {"B1", "=A1+1"},
             {"C1", "=C1"},
             {"D1", "=A1*0"},
             {"E1", "=IF(FALSE,E1,7)"},
             {"F1", "=SUM(F2:F3)"},
             {"F2", "=F1"}});
  EXPECT_EQ(book.at("B1"), "e:#REF!");
  EXPECT_EQ(book.at("A1"), "e:#REF!");
  EXPECT_EQ(book.at("C1"), "e:#REF!");
  EXPECT_EQ(book.at("D1"), "e:#REF!");
  EXPECT_EQ(book.at("E1"), "n:7");  // the self-reference is never reached
  EXPECT_EQ(book.at("F1"), "e:#REF!");
  // Breaking the ring brings the values back.
  book.sheet().setNumber(1, 2, 4.0);
  EXPECT_EQ(book.at("A1"), "n:5");
  EXPECT_EQ(book.at("D1"), "n:0");
}

TEST(Evaluate, OtherSheetsAreReadByNameAndFollowTheirChanges) {
  Book book({{"A1", "=Data!A1*2"},
             {"A2", "='My sheet'!B2&\"!\""},
             {"A3", "='my SHEET'!B2"},
             {"A4", "=SUM(Data!A1:A3)"},
             {"A5", "='it''s'!A1"},
             {"A6", "=Data!A1:A3"},  // no cell of it in row 6
             {"A7", "=COUNT(Data!A:A)"},
             {"B2", "=Data!$A2+Data!A$3"}},
            {{"Data", {{"A1", "3"}, {"A2", "4"}, {"A3", "=A1+A2"}}},
             {"My sheet", {{"B2", "'hello"}}},
             {"it's", {{"A1", "=Sheet1!A1+1"}}}});
  EXPECT_EQ(book.at("A1"), "n:6");
  EXPECT_EQ(book.at("A2"), "s:hello!");
  EXPECT_EQ(book.at("A3"), "s:hello");
  EXPECT_EQ(book.at("A4"), "n:14");
  EXPECT_EQ(book.at("A5"), "n:7");
  EXPECT_EQ(book.at("A6"), "e:#VALUE!");
  EXPECT_EQ(book.at("A7"), "n:3");
  EXPECT_EQ(book.at("B2"), "n:11");
  EXPECT_EQ(book.at("A1", 3), "n:7");

  book.sheet(1).setNumber(1, 1, 10.0);
  EXPECT_EQ(book.at("A1"), "n:20");
  EXPECT_EQ(book.at("A4"), "n:28");
  EXPECT_EQ(book.at("A5"), "n:21");
  EXPECT_EQ(book.at("A3", 1), "n:14");
}

TEST(Evaluate, ChangesAreSeenAtOnceAndFileResultsAreNotTrusted) {
  Book book({{"A1", "2"},
             {"B1", "=A1*10"},
             {"C1", "=IF(B1>25,\"big\",\"small\")"},
             {"D1", "=A1:A3"}});  // a column read in its own row
  xlsx::Sheet& sheet = book.sheet();
  EXPECT_EQ(book.at("C1"), "s:small");
  EXPECT_EQ(book.at("D1"), "n:2");
  sheet.setNumber(1, 1, 3.0);
  EXPECT_EQ(book.at("B1"), "n:30");
  EXPECT_EQ(book.at("C1"), "s:big");
  sheet.setText(1, 1, "4");
  EXPECT_EQ(book.at("B1"), "n:40");
  sheet.clear(1, 1);
  EXPECT_EQ(book.at("B1"), "n:0");
  EXPECT_EQ(book.at("A1"), "empty");
  sheet.setFormula(1, 1, "=5-2");
  EXPECT_EQ(book.at("B1"), "n:30");
  sheet.setNumber(1, 2, 1.0);  // the formula gives way to a number
  EXPECT_EQ(book.at("C1"), "s:small");
  EXPECT_EQ(sheet.formula(1, 2), "");
}

TEST(Evaluate, SharedFormulasMoveWithTheirCells) {
  fixture::BookSpec spec;
  spec.sheetBody =
      "<sheetData>"
      "<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"B1\"><f t=\"shared\" "
      "ref=\"B1:B3\" si=\"0\">A1*$A$1+SUM(A$1:A1)</f><v>99</v></c></row>"
      "<row r=\"2\"><c r=\"A2\"><v>2</v></c><c r=\"B2\"><f t=\"shared\" "
      "si=\"0\"/><v>99</v></c></row>"
      "<row r=\"3\"><c r=\"A3\"><v>3</v></c><c r=\"B3\"><f t=\"shared\" "
      "si=\"0\"/><v>99</v></c></row>"
      "</sheetData>";
  TempDir dir;
  fixture::writeWorkbook(dir / "s.xlsx", spec);
  Workbook book = Workbook::open(dir / "s.xlsx");
  xlsx::Sheet& sheet = book.sheet(0);
  // The file's results (99) are what the file says, not what we compute.
  EXPECT_EQ(std::get<double>(sheet.value(3, 2)), 99);
  EXPECT_EQ(Book::show(sheet.computed(1, 2)), "n:2");
  EXPECT_EQ(Book::show(sheet.computed(2, 2)), "n:5");
  EXPECT_EQ(Book::show(sheet.computed(3, 2)), "n:9");
  sheet.setNumber(1, 2, 0.0);  // the master goes; the others keep theirs
  sheet.setNumber(1, 1, 2.0);
  EXPECT_EQ(Book::show(sheet.computed(2, 2)), "n:8");
  EXPECT_EQ(Book::show(sheet.computed(3, 2)), "n:13");
}

TEST(DisplayText, NumbersInTheFormatsOfCommonSheets) {
  const std::vector<std::tuple<std::string, double, std::string>> cases = {
      {"General", 15 + 0.3, "15.3"},
      {"General", 0.1 + 0.2, "0.3"},
      {"General", 1.0 / 3, "0.333333333333333"},
      {"General", -25.4, "-25.4"},
      {"General", 1e20, "1E+20"},
      {"General", 0.00001, "1E-05"},
      {"General", 123456789012345.0, "123456789012345"},
      {"0", 2.5, "3"},
      {"0", -2.5, "-3"},
      {"0.00", 2.675, "2.68"},
      {"0.00", -0.001, "0.00"},
      {"0.0000", 25.4, "25.4000"},
      {"0.00000", 1.0 / 3, "0.33333"},
      {"0%", 0.125, "13%"},
      {"0.00%", 0.12345, "12.35%"},
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"#,##0.00", -1234.5, "-1,234.50"},
      {"#,##0.00", 999.999, "1,000.00"},
      {"#,##0", 0.4, "0"},
      {"#,##0.00;(#,##0.00)", -5, "(5.00)"},
      {"0.00;-0.00;\"zero\"", 0, "zero"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"0.0\" mm\"", 2.25, "2.3 mm"},
      {"[Red]0.0", 2.25, "2.3"},
      {"yyyy-mm-dd", 45000, "45000"},  // dates are not read: General
      {"@", 5, "5"}};
  for (const auto& [code, value, shown] : cases)
    EXPECT_EQ(xlsx::formatValue(value, code), shown) << code << " " << value;
}

TEST(NumberFormat, DatesAndTimesAreKnownForWhatTheyAre) {
  // A measurement read back must not be a date the cell shows.
  for (const char* code :
       {"yyyy-mm-dd", "mm-dd-yy", "d-mmm", "h:mm", "[h]:mm:ss", "mm:ss",
        "yyyy\"年\"m\"月\"d\"日\"", "[$-409]d/m/yyyy"})
    EXPECT_TRUE(xlsx::isDateFormat(code)) << code;
  for (const char* code :
       {"General", "0.00", "#,##0.00;[Red](#,##0.00)", "0.0\" mm\"", "0.00\\m",
        "@", "0.00E+00", "[Red]0.0", "0.0_)"})
    EXPECT_FALSE(xlsx::isDateFormat(code)) << code;
  for (int id :
       {14, 15, 16, 17, 18, 19, 20, 21, 22, 27, 36, 45, 46, 47, 50, 58})
    EXPECT_TRUE(xlsx::isDateFormat(xlsx::builtinFormat(id))) << id;
  for (int id : {0, 1, 2, 3, 4, 9, 10, 11, 37, 40, 48, 49})
    EXPECT_FALSE(xlsx::isDateFormat(xlsx::builtinFormat(id))) << id;
}

TEST(DisplayText, BooleansErrorsAndTextsShowAsTheyAre) {
  Book book({{"A1", "=1/0"}, {"A2", "=1<2"}, {"A3", "'0.50"}, {"A4", "=A9"}});
  xlsx::Sheet& sheet = book.sheet();
  EXPECT_EQ(sheet.displayText(1, 1), "#DIV/0!");
  EXPECT_EQ(sheet.displayText(2, 1), "TRUE");
  EXPECT_EQ(sheet.displayText(3, 1), "0.50");
  EXPECT_EQ(sheet.displayText(4, 1), "0");
  EXPECT_EQ(sheet.displayText(5, 1), "");
  EXPECT_EQ(sheet.look(1, 1).horizontal, xlsx::Alignment::center);
  EXPECT_EQ(sheet.look(3, 1).horizontal, xlsx::Alignment::left);
  EXPECT_EQ(sheet.look(4, 1).horizontal, xlsx::Alignment::right);
}

TEST(Evaluate, SavedFormulaCellsCarryTheirResultsInFull) {
  Book book({{"A1", "=1/3"},
             {"A2", "=\"a<b&c\""},
             {"A3", "=\"x\"&\"\""},
             {"A4", "=2>1"},
             {"A5", "=1/0"},
             {"A6", "=\"\""},
             {"B1", "7"}});
  xlsx::Sheet& sheet = book.sheet();
  sheet.setFormula(1, 2, "A1*3");
  book.workbook().save(book.dir() / "out.xlsx");
  const std::string xml =
      fixture::readZip(book.dir() / "out.xlsx").at("xl/worksheets/sheet1.xml");
  for (const char* cell :
       {"<c r=\"A1\"><f>1/3</f><v>0.3333333333333333</v></c>",
        "<c r=\"A2\" t=\"str\"><f>\"a&lt;b&amp;c\"</f><v>a&lt;b&amp;c</v></c>",
        "<c r=\"A3\" t=\"str\"><f>\"x\"&amp;\"\"</f><v>x</v></c>",
        "<c r=\"A4\" t=\"b\"><f>2&gt;1</f><v>1</v></c>",
        "<c r=\"A5\" t=\"e\"><f>1/0</f><v>#DIV/0!</v></c>",
        "<c r=\"A6\" t=\"str\"><f>\"\"</f><v></v></c>",
        "<c r=\"B1\"><f>A1*3</f><v>1</v></c>"})
    EXPECT_NE(xml.find(cell), std::string::npos) << cell;
  EXPECT_NE(fixture::readZip(book.dir() / "out.xlsx")
                .at("xl/workbook.xml")
                .find("fullCalcOnLoad=\"1\""),
            std::string::npos);
  // What the file carried is still told apart from what we compute: the
  // results went into the file, not into the cells.
  EXPECT_TRUE(std::holds_alternative<std::monostate>(sheet.value(1, 1)));
  EXPECT_EQ(book.at("A1"), "n:0.3333333333333333");

  Workbook again = Workbook::open(book.dir() / "out.xlsx");
  EXPECT_EQ(std::get<double>(again.sheet(0).value(1, 1)), 1.0 / 3);
  EXPECT_EQ(std::get<std::string>(again.sheet(0).value(3, 1)), "x");
  EXPECT_EQ(std::get<bool>(again.sheet(0).value(4, 1)), true);
}
