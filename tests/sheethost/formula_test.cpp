// Cell addresses and formulas moved to another cell.
#include <gtest/gtest.h>

#include "sheethost/xlsx/cellref.h"

using xlsx::shiftFormula;

TEST(CellRef, NamesAndParsingAgreeAtTheEdges) {
  EXPECT_EQ(xlsx::columnName(1), "A");
  EXPECT_EQ(xlsx::columnName(26), "Z");
  EXPECT_EQ(xlsx::columnName(27), "AA");
  EXPECT_EQ(xlsx::columnName(16384), "XFD");
  for (int column : {1, 26, 27, 52, 702, 703, 16384}) {
    auto ref = xlsx::parseCellRef(xlsx::cellName(7, column));
    ASSERT_TRUE(ref) << column;
    EXPECT_EQ(ref->column, column);
    EXPECT_EQ(ref->row, 7);
  }
  EXPECT_FALSE(xlsx::parseCellRef("XFE1"));
  EXPECT_FALSE(xlsx::parseCellRef("A0"));
  EXPECT_FALSE(xlsx::parseCellRef("A1048577"));
  EXPECT_FALSE(xlsx::parseCellRef("A"));
  EXPECT_FALSE(xlsx::parseCellRef("12"));
  EXPECT_FALSE(xlsx::parseCellRef("A1B"));
  EXPECT_EQ(xlsx::parseRange("B2:D9")->text(), "B2:D9");
  EXPECT_EQ(xlsx::parseRange("c3")->text(), "C3");
  EXPECT_FALSE(xlsx::parseRange("D9:B2"));
}

TEST(ShiftFormula, RelativePartsMoveAndAbsolutePartsStay) {
  EXPECT_EQ(shiftFormula("A1+$B1+C$1+$D$1", 2, 1), "B3+$B3+D$1+$D$1");
  EXPECT_EQ(shiftFormula("SUM(A1:B2)*2", 1, 0), "SUM(A2:B3)*2");
  EXPECT_EQ(shiftFormula("Sheet2!A1+'My Sheet'!B$2", 1, 1),
            "Sheet2!B2+'My Sheet'!C$2");
  EXPECT_EQ(shiftFormula("SUM(A:A)+SUM($B:C)+SUM(3:$4)", 1, 1),
            "SUM(B:B)+SUM($B:D)+SUM(4:$4)");
}

TEST(ShiftFormula, WhatOnlyLooksLikeAReferenceIsLeftAlone) {
  // Function names, strings, sheet names, numbers with exponents, errors,
  // structured references.
  EXPECT_EQ(shiftFormula("LOG10(A1)+ATAN2(B1,1)", 1, 0),
            "LOG10(A2)+ATAN2(B2,1)");
  EXPECT_EQ(shiftFormula("IF(A1=\"B2\",\"say \"\"C3\"\"\",1E+3)", 1, 0),
            "IF(A2=\"B2\",\"say \"\"C3\"\"\",1E+3)");
  EXPECT_EQ(shiftFormula("'A1'!B1+'it''s'!C1", 0, 1), "'A1'!C1+'it''s'!D1");
  EXPECT_EQ(shiftFormula("1.5E-3*A1+#N/A+#REF!", 1, 0), "1.5E-3*A2+#N/A+#REF!");
  EXPECT_EQ(shiftFormula("SUM(Table1[[#This Row],[A1]])+A1", 1, 0),
            "SUM(Table1[[#This Row],[A1]])+A2");
  EXPECT_EQ(shiftFormula("_xlfn.STDEV.S(A1:A9)", 0, 1), "_xlfn.STDEV.S(B1:B9)");
  EXPECT_EQ(shiftFormula("TRUE+myName+ABCD1", 1, 1), "TRUE+myName+ABCD1");
}

TEST(ShiftFormula, ReferencesPushedOffTheSheetBecomeRefErrors) {
  EXPECT_EQ(shiftFormula("A1+B2", -1, 0), "#REF!+B1");
  EXPECT_EQ(shiftFormula("XFD1", 0, 1), "#REF!");
  EXPECT_EQ(shiftFormula("A1048576", 1, 0), "#REF!");
  EXPECT_EQ(shiftFormula("SUM(A:B)", 0, -1), "SUM(#REF!)");
}
