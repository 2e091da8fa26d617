// One reading of a gauge or a typed box, whatever the input method did to it.
#include "browse/reading.h"

#include <gtest/gtest.h>

#include <cmath>

#include "browse/import/labels.h"

namespace {

using browse::Comma;
using browse::readReading;
using browse::Unit;

TEST(Reading, InputMethodFormsReadAsTheNumberTyped) {
  // Full-width digits and points, the Chinese full stop, blanks of any
  // width, the gauge's CR/LF and a millimetre suffix.
  for (const char* text : {"1.02", "１．０２", "1。02", "1．02", "１。０２",
                           " 1.02\r\n", "1.02\n", "\t1.02 ",
                           "\xE3\x80\x80"
                           "1.02"
                           "\xE3\x80\x80",
                           "1.02mm", "1.02 MM", "１．０２ｍｍ", "1.02㎜",
                           "1.02毫米", "+1.02", "＋１．０２",
                           "\xC2\xA0"
                           "1.02"}) {
    const auto r = readReading(text);
    ASSERT_TRUE(r.value) << text << ": " << r.error;
    EXPECT_EQ(*r.value, 1.02) << text;
  }
  EXPECT_EQ(readReading("1.02mm").unit, Unit::Millimetre);
  EXPECT_EQ(readReading("1.02").unit, Unit::None);
}

TEST(Reading, SignsAsGaugesAndInputMethodsSendThem) {
  for (const char* text : {"-0.05", "－０．０５",
                           "\xE2\x88\x92"
                           "0.05",
                           "- 0.05",
                           "\xEF\xB9\xA3"
                           "0.05",
                           "-   0.050"})
    EXPECT_EQ(readReading(text).value, -0.05) << text;
  const auto zero = readReading("-0.000");
  ASSERT_TRUE(zero.value);
  EXPECT_FALSE(std::signbit(*zero.value));  // no negative zero stored
  EXPECT_EQ(readReading("+00012.345").value, 12.345);
}

TEST(Reading, ACommaIsTheDecimalPointOnlyWhereItCannotGroupThousands) {
  EXPECT_EQ(readReading("1,5").value, 1.5);
  EXPECT_EQ(readReading("0,123").value, 0.123);
  EXPECT_EQ(readReading("1234,567").value, 1234.567);
  EXPECT_EQ(readReading("12,3456").value, 12.3456);
  EXPECT_EQ(readReading("１，５").value, 1.5);
  for (const char* ambiguous : {"1,234", "12,345", "-999,000"}) {
    const auto r = readReading(ambiguous);
    EXPECT_FALSE(r.value) << ambiguous;
    EXPECT_EQ(r.error, "中的逗号分不清是小数点还是千位分隔") << ambiguous;
  }
  // Groupings no gauge sends.
  for (const char* grouped : {"1,234.5", "1,234,567", "1.2.3"})
    EXPECT_EQ(readReading(grouped).error, browse::kNotANumber) << grouped;
  // A file decides for all its numbers.
  EXPECT_EQ(readReading("1,234", {Comma::Decimal}).value, 1.234);
  EXPECT_EQ(readReading("1,5", {Comma::Refuse}).error, browse::kNotANumber);
}

TEST(Reading, UnitsOtherThanMillimetresAreRefusedNotConverted) {
  for (const char* inch : {"0.3937 in", "0.3937\"", "0.3937inch", "0.3937英寸",
                           "0.3937 IN", "0.3937″"}) {
    const auto r = readReading(inch);
    EXPECT_FALSE(r.value) << inch;
    EXPECT_EQ(r.error, "是英寸读数：请把量具设为毫米") << inch;
  }
  EXPECT_EQ(readReading("12µm").error, "带有单位“µm”：请把量具设为毫米");
  EXPECT_EQ(readReading("12 um").error, "带有单位“um”：请把量具设为毫米");
  for (const char* angle : {"30°", "30 deg", "30度", "３０°"}) {
    const auto r = readReading(angle);
    EXPECT_EQ(r.value, 30.0) << angle;
    EXPECT_EQ(r.unit, Unit::Degree) << angle;
  }
  EXPECT_EQ(readReading("12mm", {Comma::Refuse, false}).error,
            browse::kNotANumber);
}

TEST(Reading, EmptyIsNotMeasuredAndOtherTextIsNoNumber) {
  for (const char* empty : {"", "  ", "\r\n", "\xE3\x80\x80"}) {
    const auto r = readReading(empty);
    EXPECT_FALSE(r.value);
    EXPECT_TRUE(r.error.empty()) << empty;
  }
  for (const char* text : {"abc", ".", "-", "+", "1e", "e5", "12abc", "12 34",
                           "0x10", "nan", "inf", "1-", "--1", "12。5。"})
    EXPECT_EQ(readReading(text).error, browse::kNotANumber) << text;
}

TEST(Reading, ValuesMustFitTheSingleTheyAreStoredIn) {
  EXPECT_EQ(readReading("1.5E2").value, 150.0);
  EXPECT_TRUE(readReading("3.4e38").value);
  EXPECT_TRUE(readReading("1e-40").value);  // tiny, but not 0 as a single
  for (const char* text : {"1e39", "-1e39", "3.5e38", "1e-50", "1e400"})
    EXPECT_EQ(readReading(text).error, browse::kOutOfRange) << text;
}

TEST(Labels, EveryUsualFormNamesItsMark) {
  using browse::import::markOfLabel;
  using browse::import::MarkRef;
  const std::pair<const char*, MarkRef> named[] = {
      {"12", {12, 0}},         {"#12", {12, 0}},      {"No.12", {12, 0}},
      {"NO. 12", {12, 0}},     {"no12", {12, 0}},     {"Nr. 12", {12, 0}},
      {"DIM 12", {12, 0}},     {"dim12", {12, 0}},    {"DIM_012", {12, 0}},
      {"ITEM 12", {12, 0}},    {"Item #12", {12, 0}}, {"FCF12", {12, 0}},
      {"BALLOON 12", {12, 0}}, {"序号12", {12, 0}},   {"12号", {12, 0}},
      {"１２", {12, 0}},       {" 12 ", {12, 0}},     {"12.1", {12, 1}},
      {"FCF12.2", {12, 2}},    {"No.3.10", {3, 10}},  {"⑦", {7, 0}},
      {"⑳", {20, 0}},          {"32767", {32767, 0}}, {"№5", {5, 0}}};
  for (const auto& [label, ref] : named) {
    const auto got = markOfLabel(label);
    ASSERT_TRUE(got) << label;
    EXPECT_EQ(*got, ref) << label;
  }
  for (const char* none : {"",
                           "DIST1",
                           "LOC1",
                           "W1RFTMRA02V",
                           "W1RXXMRA19P",
                           "-NONE-",
                           "12A",
                           "12.0",
                           "12.01",
                           "12.100",
                           "0",
                           "No.0",
                           "32768",
                           "-3",
                           "D12",
                           "A3",
                           "%%c12",
                           "DIM",
                           "12.",
                           "1 2",
                           "Cylinder1 Diameter",
                           "12-1"})
    EXPECT_FALSE(markOfLabel(none)) << none;
}

}  // namespace
