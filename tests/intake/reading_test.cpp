// Reading one dimension: value, override rules, general tolerance, angles.
#include "intake/reading.h"

#include "intake_fixture.h"

using namespace intake_test;
using intake::ISCONTAIN;
using intake::roundedText;

TEST(ReadingRules, IsContainFindsTheMeasurementMarker) {
  EXPECT_TRUE(ISCONTAIN("<>"));
  EXPECT_TRUE(ISCONTAIN("<>H7"));
  EXPECT_TRUE(ISCONTAIN("%%c<>"));
  EXPECT_TRUE(ISCONTAIN("R<> TYP"));
  EXPECT_FALSE(ISCONTAIN(""));
  EXPECT_FALSE(ISCONTAIN("<"));
  EXPECT_FALSE(ISCONTAIN("R5"));
  EXPECT_FALSE(ISCONTAIN("< >"));
  EXPECT_FALSE(ISCONTAIN("><"));
}

TEST(ReadingRules, RoundingIsHalfToEvenOnTheExactValueInShortestText) {
  EXPECT_EQ(roundedText(25.004, 2), "25");
  EXPECT_EQ(roundedText(12.50, 2), "12.5");
  EXPECT_EQ(roundedText(30.0, 2), "30");
  EXPECT_EQ(roundedText(0.125, 2), "0.12");
  EXPECT_EQ(roundedText(0.375, 2), "0.38");
  EXPECT_EQ(roundedText(2.5, 0), "2");
  EXPECT_EQ(roundedText(3.5, 0), "4");
  // 2.675 is a little below its decimal text as a double.
  EXPECT_EQ(roundedText(2.675, 2), "2.67");
  EXPECT_EQ(roundedText(-0.001, 2), "0");
  EXPECT_EQ(roundedText(-12.3456, 3), "-12.346");
  EXPECT_EQ(roundedText(1234567.891, 1), "1234567.9");
  EXPECT_EQ(roundedText(28.64788976, 1), "28.6");
}

TEST_F(Intake, EachDimensionGetsItsPrecisionAMoveAndAnUndo) {
  add("AcDbLine");
  add("AcDbLine");
  auto d = addDim("AcDbRotatedDimension", 25.004, 100, 50);
  open();
  const auto& calls = host->log.calls;
  std::vector<std::string> seen;
  for (const auto& c : calls)
    if (c.rfind("AcDbRotatedDimension.", 0) == 0 ||
        c.rfind("SendCommand", 0) == 0)
      seen.push_back(c);
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "AcDbRotatedDimension.PrimaryUnitsPrecision=2",
                      "AcDbRotatedDimension.TolerancePrecision=2",
                      "AcDbRotatedDimension.Move", "SendCommand Undo\r\r"}));
  // The undo took the move back before the text position was read.
  EXPECT_EQ(rec(1).x, 100);
  EXPECT_EQ(d->moved, (cadhost::Point{0, 0, 0}));
  EXPECT_EQ(rec(1).value, "25");
}

TEST_F(Intake, OverridesAreTheValueUnlessTheyShowTheMeasurement) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 10.126, 1, 1, "<>H7");
  addDim("AcDbRotatedDimension", 99, 2, 2, "R5");
  addDim("AcDbRotatedDimension", 99, 3, 3, "5");
  addDim("AcDbRotatedDimension", 99, 4, 4, "3X%%c12");
  open();
  EXPECT_EQ(rec(1).value, "10.13");
  EXPECT_EQ(rec(2).value, "R5");
  EXPECT_EQ(rec(3).value, "5");
  EXPECT_EQ(rec(4).value, "3X%%c12");
  // "R5" reads as 0: the first size range.
  EXPECT_EQ(rec(2).up, 0.15f);
  EXPECT_EQ(rec(2).low, 0.15f);
  // "3X%%c12" reads as 3.
  EXPECT_EQ(rec(4).up, 0.15f);
}

TEST_F(Intake, GeneralToleranceBySizeRangeWithInclusiveTops) {
  add("AcDbLine");
  add("AcDbLine");
  const double sizes[] = {0, 6, 6.01, 30, 120, 300, 600, 1200, 1200.01, -3};
  for (double s : sizes) addDim("AcDbAlignedDimension", s, 1, 1);
  open();
  const float plastic[] = {0.15f, 0.15f, 0.3f, 0.3f, 0.45f,
                           0.7f,  1.1f,  1.6f, 0,    0.15f};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(rec(i + 1).up, plastic[i]) << sizes[i];
    EXPECT_EQ(rec(i + 1).low, plastic[i]) << sizes[i];
  }
}

TEST_F(Intake, AShownToleranceIsTakenFromTheHost) {
  add("AcDbLine");
  add("AcDbLine");
  addDim("AcDbRotatedDimension", 40, 1, 1, "", 2, 0.02, 0.01);
  addDim("AcDbRotatedDimension", 40, 1, 1, "", 1, 0.05, 0.05);
  open();
  EXPECT_EQ(rec(1).up, 0.02f);
  EXPECT_EQ(rec(1).low, 0.01f);
  EXPECT_EQ(rec(2).up, 0.05f);
}

TEST_F(Intake, AFailingStepOfOneDimensionIsSkipped) {
  add("AcDbLine");
  add("AcDbLine");
  auto noPrecision = addDim("AcDbOrdinateDimension", 12.345, 7, 8);
  noPrecision->primaryPrecision.reset();
  noPrecision->tolerancePrecision.reset();
  auto noTolerance = addDim("AcDbRotatedDimension", 50, 9, 10);
  noTolerance->toleranceDisplay.reset();
  auto noPosition = addDim("AcDbRotatedDimension", 5, 11, 12);
  noPosition->textPosition.reset();
  open();
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(program->ctx.dimCount, 3);
  EXPECT_EQ(rec(1).value, "12.35");
  EXPECT_EQ(rec(1).x, 7);
  EXPECT_EQ(rec(2).up, 0);  // the tolerance step was skipped
  EXPECT_EQ(rec(2).value, "50");
  EXPECT_EQ(rec(3).x, 0);
  EXPECT_EQ(rec(3).entityIndex, 4);
}

TEST_F(Intake, AnglesAreReadInDegrees) {
  add("AcDbLine");
  add("AcDbLine");
  auto a = addDim("AcDb2LineAngularDimension", 0.5, 30, 40);
  addDim("AcDb2LineAngularDimension", 0.5, 31, 41, "", 2, 0.01, 0.02);
  addDim("AcDb2LineAngularDimension", 1.0, 32, 42, "45°");
  open(1);
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(rec(1).type, "角度尺寸");
  EXPECT_EQ(rec(1).value, "28.6");
  EXPECT_EQ(rec(1).up, 1.0f);  // the plastic angle tolerance
  EXPECT_EQ(rec(1).low, 1.0f);
  EXPECT_EQ(rec(1).x, 30);
  EXPECT_EQ(rec(2).up, static_cast<float>(0.01 * 180 / 3.1415926));
  EXPECT_EQ(rec(2).low, static_cast<float>(0.02 * 180 / 3.1415926));
  EXPECT_EQ(rec(3).value, "45°");
  // Angles get no precision writes; their move is 1 along X, taken back.
  EXPECT_FALSE(
      host->log.has("AcDb2LineAngularDimension.PrimaryUnitsPrecision=1"));
  EXPECT_EQ(a->moved, (cadhost::Point{0, 0, 0}));
}
