// Feature control frames from their text: the compartment layout, what is
// not understood, frames typed as multiline text.
#include "intake/gdt_code.h"

#include <gtest/gtest.h>

namespace {

using namespace model;
using intake::decodeMTextFrame;
using intake::decodeToleranceText;

std::vector<std::string> letters(const FrameRow& r) {
  std::vector<std::string> out;
  for (const auto& d : r.datums) out.push_back(d.letters);
  return out;
}

TEST(ToleranceText, TheHostsLayoutAndTheShortOne) {
  // Symbol, tolerance 1, tolerance 2 (empty), datums.
  Frame f = decodeToleranceText(
      "{\\Fgdt;j}%%v{\\Fgdt;n}0.05{\\Fgdt;m}%%v%%vA%%vB{\\Fgdt;m}%%vC");
  ASSERT_TRUE(f.understood()) << f.notUnderstood.front();
  ASSERT_EQ(f.rows.size(), 1u);
  const FrameRow& r = f.rows[0];
  EXPECT_EQ(r.symbol, Geometric::Position);
  EXPECT_EQ(r.tolerance.zone, Zone::Diameter);
  EXPECT_EQ(r.tolerance.text, "0.05");
  EXPECT_EQ(r.tolerance.value, 0.05);
  EXPECT_EQ(r.tolerance.modifiers,
            std::vector<Modifier>{Modifier::MaximumMaterial});
  EXPECT_FALSE(r.secondTolerance);
  EXPECT_EQ(letters(r), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(r.datums[1].modifiers,
            std::vector<Modifier>{Modifier::MaximumMaterial});
  EXPECT_EQ(rowText(f, 0), "⌖ Ø0.05 Ⓜ | A | B Ⓜ | C");

  // Without the second tolerance compartment the third holds a datum: a
  // datum never reads as a number.
  f = decodeToleranceText("{\\Fgdt;j}%%v0.1%%vA%%vB%%vC");
  EXPECT_TRUE(f.understood());
  EXPECT_EQ(letters(f.rows[0]), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_FALSE(f.rows[0].secondTolerance);

  f = decodeToleranceText("{\\Fgdt;c}%%v0.1%%v0.02Ⓛ%%vA");
  ASSERT_TRUE(f.rows[0].secondTolerance);
  EXPECT_EQ(f.rows[0].secondTolerance->value, 0.02);
  EXPECT_EQ(letters(f.rows[0]), std::vector<std::string>{"A"});

  // A blank compartment between two datums keeps its place.
  f = decodeToleranceText("{\\Fgdt;j}%%v0.1%%v%%vA%%v%%vC");
  EXPECT_TRUE(f.understood());
  EXPECT_EQ(letters(f.rows[0]), (std::vector<std::string>{"A", "", "C"}));
}

TEST(ToleranceText, RowsProjectedZoneAndIdentifier) {
  Frame f = decodeToleranceText(
      "{\\Fgdt;j}%%v{\\Fgdt;n}0.5{\\Fgdt;m}%%v%%vA%%vB%%vC^J"
      "%%v{\\Fgdt;n}0.1%%v%%vA^J12.5{\\Fgdt;p}^J-D-");
  ASSERT_TRUE(f.understood()) << f.notUnderstood.front();
  ASSERT_EQ(f.rows.size(), 2u);
  EXPECT_FALSE(f.rows[1].symbol);
  EXPECT_EQ(f.symbolOf(1), Geometric::Position);
  EXPECT_EQ(f.rows[1].tolerance.value, 0.1);
  ASSERT_TRUE(f.projected);
  EXPECT_EQ(f.projected->heightText, "12.5");
  EXPECT_EQ(f.projected->height, 12.5);
  EXPECT_EQ(f.datumIdentifier, "D");
  EXPECT_EQ(frameText(f), "⌖ Ø0.5 Ⓜ Ⓟ12.5 | A | B | C / ⌖ Ø0.1 | A");

  // Rows as paragraphs, a projected sign in the compartment with its
  // height, a sign alone on its line.
  f = decodeToleranceText("⌖%%vØ0.1ⓂⓅ 8%%vA\\P⌖%%v0.02%%vA");
  EXPECT_TRUE(f.understood());
  EXPECT_EQ(f.rows.size(), 2u);
  ASSERT_TRUE(f.projected);
  EXPECT_EQ(f.projected->height, 8.0);
  f = decodeToleranceText("{\\Fgdt;j}%%v0.1^J{\\Fgdt;p}");
  ASSERT_TRUE(f.projected);
  EXPECT_EQ(f.projected->heightText, "");
  EXPECT_TRUE(f.understood());
}

TEST(ToleranceText, WhatCannotBeReadIsKeptAndNamed) {
  struct Case {
    std::string text, notUnderstood, shown;
  };
  const std::vector<Case> cases = {
      {"{\\Fgdt;j}%%v0.05/100%%vA", "0.05/100", "⌖ | 0.05/100 | A"},
      {"{\\Fgdt;v}%%v0.1", "⌴", "⌴ | 0.1"},
      {"{\\Fgdt;j}%%v0.1%%va", "a", "⌖ | 0.1 | a"},
      {"{\\Fgdt;j}%%v0.1%%vA%%vB%%vC%%vD", "D", "⌖ | 0.1 | A | B | C | D"},
      {"{\\Fgdt;j}%%v0.1%%vA{\\Fgdt;j}", "A⌖", "⌖ | 0.1 | A⌖"},
      {"{\\Fgdt;j}", "⌖", "⌖"},
      {"{\\Fgdt;j}%%v%%vA", "", "⌖ |  | A"},
      {"{\\Fgdt;j}%%v0.1\\Z", "\\Z", "⌖ 0.1"},
      {"{\\Fgdt;j}%%v0.1^J12x{\\Fgdt;p}", "12xⓅ", "⌖ 0.1"},
      {"{\\Fgdt;j}%%v0.1^Jnote", "note", "⌖ 0.1"},
  };
  for (const Case& c : cases) {
    Frame f = decodeToleranceText(c.text);
    EXPECT_FALSE(f.understood()) << c.text;
    EXPECT_EQ(f.raw, c.text);
    ASSERT_FALSE(f.rows.empty()) << c.text;
    EXPECT_NE(std::find(f.notUnderstood.begin(), f.notUnderstood.end(),
                        c.notUnderstood),
              f.notUnderstood.end())
        << c.text;
    EXPECT_EQ(rowText(f, 0), c.shown) << c.text;
  }
  Frame empty = decodeToleranceText("");
  EXPECT_FALSE(empty.understood());
  EXPECT_TRUE(empty.rows.empty());
}

TEST(ToleranceText, EveryCutOfAFrameDecodesAndKeepsItsText) {
  // Truncated or damaged text never throws and never loses the text.
  const std::string full =
      "{\\Fgdt;j}%%vS{\\Fgdt;n}0,5{\\Fgdt;m}%%v0.1%%vA-B{\\Fgdt;s}%%vB%%vC^J"
      "{\\Fgdt;j}%%v0.1%%v%%vA^J12{\\Fgdt;p}^JE";
  ASSERT_TRUE(decodeToleranceText(full).understood());
  for (std::size_t n = 0; n <= full.size(); ++n) {
    Frame f = decodeToleranceText(full.substr(0, n));
    EXPECT_EQ(f.raw, full.substr(0, n));
    for (std::size_t r = 0; r < f.rows.size(); ++r) rowText(f, r);
  }
}

TEST(MTextFrame, TypedWithBlanksBarsOrBoxSeparators) {
  auto f = decodeMTextFrame("{\\Fgdt;j} %%c 0.1 {\\Fgdt;m} A B{\\Fgdt;l}");
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->understood());
  EXPECT_EQ(frameText(*f), "⌖ Ø0.1 Ⓜ | A | B Ⓛ");
  f = decodeMTextFrame("⊥|0.02|A\\P⊥|0.01");
  ASSERT_TRUE(f);
  EXPECT_EQ(frameText(*f), "⟂ 0.02 | A / ⟂ 0.01");
  f = decodeMTextFrame("{\\Fgdt;u}%%v0.02");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->rows[0].symbol, Geometric::Straightness);
  // Another line in the text: the frame is read and the line named.
  f = decodeMTextFrame("4X Ø6.5\\P⌖Ø0.1Ⓜ A B");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->notUnderstood, std::vector<std::string>{"4X Ø6.5"});
  EXPECT_EQ(f->rows[0].tolerance.value, 0.1);
  // Not frames: a symbol without a tolerance, ordinary text.
  for (std::string_view text : {"∠30°", "⌖", "Ra 1.6", "", "%%v", "A%%vB"})
    EXPECT_FALSE(decodeMTextFrame(text)) << text;
}

}  // namespace
