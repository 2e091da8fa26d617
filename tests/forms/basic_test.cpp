#include "forms/basic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace forms;

TEST(Val, ReadsTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(Val("12"), 12);
  EXPECT_DOUBLE_EQ(Val(" 7"), 7);
  EXPECT_DOUBLE_EQ(Val("3A"), 3);
  EXPECT_DOUBLE_EQ(Val("7--25.40"), 7);
  EXPECT_DOUBLE_EQ(Val("-2.5mm"), -2.5);
  EXPECT_DOUBLE_EQ(Val("+4"), 4);
  EXPECT_DOUBLE_EQ(Val(".5"), 0.5);
  EXPECT_DOUBLE_EQ(Val("1.2.3"), 1.2);
  EXPECT_DOUBLE_EQ(Val("1e3"), 1000);
  EXPECT_DOUBLE_EQ(Val("2.5E-1x"), 0.25);
  // An exponent without digits is not part of the number.
  EXPECT_DOUBLE_EQ(Val("5e"), 5);
  EXPECT_DOUBLE_EQ(Val("5e+"), 5);
  // The decimal point is "." whatever the locale; a comma ends the number.
  EXPECT_DOUBLE_EQ(Val("1,000"), 1);
  // Blanks inside the number are skipped, as the original runtime does.
  EXPECT_DOUBLE_EQ(Val("1 2"), 12);
}

TEST(Val, NoNumberGivesZero) {
  EXPECT_EQ(Val(""), 0);
  EXPECT_EQ(Val("   "), 0);
  EXPECT_EQ(Val("abc"), 0);
  EXPECT_EQ(Val("A3"), 0);
  EXPECT_EQ(Val("-"), 0);
  EXPECT_EQ(Val("."), 0);
  EXPECT_EQ(Val("%%c12"), 0);
}

TEST(ParseNumber, AcceptsWholeNumbersOnly) {
  EXPECT_EQ(ParseNumber("0.05"), 0.05);
  EXPECT_EQ(ParseNumber("  12.5  "), 12.5);
  EXPECT_EQ(ParseNumber("-3"), -3);
  EXPECT_EQ(ParseNumber("+3"), 3);
  EXPECT_EQ(ParseNumber("1,000"), 1000);
  EXPECT_EQ(ParseNumber("1,234,567.5"), 1234567.5);
  EXPECT_EQ(ParseNumber("1e3"), 1000);
  EXPECT_EQ(ParseNumber("2.5E-2"), 0.025);
  EXPECT_EQ(ParseNumber(".5"), 0.5);
  EXPECT_EQ(ParseNumber("5."), 5);

  for (const char* bad : {"", " ", "abc", "1a", "1.2.3", ",1", "1e", "1e+",
                          "--1", "1 2", "-", "."})
    EXPECT_FALSE(ParseNumber(bad).has_value()) << bad;
  EXPECT_FALSE(IsNumeric(""));
  EXPECT_TRUE(IsNumeric("6"));
  // Too large for any number.
  EXPECT_FALSE(IsNumeric("1e999"));
}

TEST(SingleText, ShortestTextThatReadsBack) {
  EXPECT_EQ(SingleText(6), "6");
  EXPECT_EQ(SingleText(0.1f), "0.1");
  EXPECT_EQ(SingleText(12.50f), "12.5");
  EXPECT_EQ(SingleText(0.05f), "0.05");
  EXPECT_EQ(SingleText(1200), "1200");
  EXPECT_EQ(SingleText(-0.25f), "-0.25");
  EXPECT_EQ(SingleText(0), "0");
  EXPECT_EQ(SingleText(-0.0f), "0");
  EXPECT_EQ(SingleText(25.4f), "25.4");
  EXPECT_EQ(SingleText(1234567), "1234567");
  EXPECT_EQ(SingleText(1e10f), "1E+10");
  EXPECT_EQ(SingleText(1.5e-7f), "1.5E-07");
  EXPECT_EQ(SingleText(0.00001f), "0.00001");
  // Every text reads back as the same single.
  for (float v : {0.1f, 1.0f / 3, 123.456f, 9.99e-4f, 65535.5f, 3.4e38f}) {
    std::string t = SingleText(v);
    EXPECT_EQ(static_cast<float>(Val(t)), v) << t;
  }
}

TEST(DoubleText, FullPrecisionWhenNeeded) {
  EXPECT_EQ(DoubleText(25.4 + static_cast<double>(0.1f)), "25.500000001490115");
  EXPECT_EQ(DoubleText(30), "30");
  EXPECT_EQ(DoubleText(0.1), "0.1");
}

TEST(Rounding, HalvesGoToEven) {
  EXPECT_EQ(ToInt16(0.5), 0);
  EXPECT_EQ(ToInt16(1.5), 2);
  EXPECT_EQ(ToInt16(2.5), 2);
  EXPECT_EQ(ToInt16(-0.5), 0);
  EXPECT_EQ(ToInt16(-1.5), -2);
  EXPECT_EQ(ToInt16(-2.5), -2);
  EXPECT_EQ(ToInt16(2.4999), 2);
  EXPECT_EQ(ToInt16(2.5001), 3);
  EXPECT_EQ(ToInt16(-1), -1);
  EXPECT_EQ(ToInt32(1e9 + 0.5), 1000000000);
  EXPECT_EQ(ToInt32(1e9 + 1.5), 1000000002);
}

TEST(Rounding, RefusesValuesOutOfRange) {
  EXPECT_EQ(ToInt16(32767), 32767);
  EXPECT_EQ(ToInt16(-32768), -32768);
  EXPECT_EQ(ToInt16(32767.4), 32767);
  EXPECT_THROW(ToInt16(32767.5), OverflowError);  // rounds to 32768
  EXPECT_THROW(ToInt16(-32768.6), OverflowError);
  EXPECT_THROW(ToInt16(std::nan("")), OverflowError);
  EXPECT_EQ(ToInt32(2147483647.0), 2147483647);
  EXPECT_THROW(ToInt32(2147483647.5), OverflowError);
  EXPECT_THROW(ToInt32(-3e9), OverflowError);
  EXPECT_THROW(ToInt32(std::numeric_limits<double>::infinity()), OverflowError);
}
