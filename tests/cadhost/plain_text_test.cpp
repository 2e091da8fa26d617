// Text as a reader sees it: codes resolved or dropped, the GD&T font's
// letters as the symbols it draws.
#include "cadhost/engine/plain_text.h"

#include <gtest/gtest.h>

namespace {

using cadhost::engine::gdtFontSymbol;
using cadhost::engine::multilinePlainText;
using cadhost::engine::singleLinePlainText;

std::string ml(std::string_view s) { return multilinePlainText(s).text; }

TEST(GdtFont, EveryLowerCaseLetterIsASymbolTheRestIsText) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  const std::string symbols = "∠⟂⏥⌓○∥⌭↗⌯⌖⌒ⓁⓂØ□Ⓟ℄◎Ⓢ⌰⏤⌴⌵↧⌲⌳";
  std::string all;
  for (char c : letters) all += gdtFontSymbol(c);
  EXPECT_EQ(all, symbols);
  for (char c : std::string("AZ09 .%-|"))
    EXPECT_TRUE(gdtFontSymbol(c).empty()) << c;
  // In the font, capitals and digits are text; outside it letters are.
  EXPECT_EQ(ml("{\\Fgdt;jA1}j"), "⌖A1j");
}

TEST(GdtFont, TheFontLastsToItsGroupsEndOrTheNextSwitch) {
  EXPECT_EQ(ml("{\\Fgdt;n}0.1{\\Fgdt;m}m"), "Ø0.1Ⓜm");
  EXPECT_EQ(ml("\\Fgdt;u\\Ftxt;u"), "⏤u");
  EXPECT_EQ(ml("{{\\Fgdt;a}b}c"), "∠bc");
  EXPECT_EQ(ml("{\\Fgdt.shx|b0|i0;j}"), "⌖");
  EXPECT_EQ(ml("{\\fAIGDT|b0|i0|c0|p34;n}68"), "Ø68");
  EXPECT_EQ(ml("{\\fArial|b1;n}"), "n");
  // A stray closing brace does not leave the font.
  EXPECT_EQ(ml("\\Fgdt;}j"), "⌖");
  // The box separator is no letter of the font.
  EXPECT_EQ(ml("\\Fgdt;j%%vn%%Vm"), "⌖%%vØ%%VⓂ");
  // A symbol font of the family whose letters we do not know: reported,
  // and its letters left as written.
  auto p = multilinePlainText("{\\Famgdt;x}%%v0.1");
  EXPECT_EQ(p.text, "x%%v0.1");
  EXPECT_EQ(p.unknown, std::vector<std::string>{"\\Famgdt;"});
  EXPECT_TRUE(multilinePlainText("{\\Fgdt;j}{\\fSimSun|b0;x}").unknown.empty());
}

TEST(MultilineText, LinesBreaksAndFormatting) {
  EXPECT_EQ(ml("a\\Pb^Jc\\Nd\\Xe"), "a\nb\nc\nd\ne");
  EXPECT_EQ(ml("1.^Itext"), "1.\ttext");
  EXPECT_EQ(ml("a^ b^x"), "a^b^x");
  EXPECT_EQ(ml("{\\H2.5;\\C1;\\W0.8x;\\Q15;\\T1.1;\\A1;\\c255;Ra}"), "Ra");
  EXPECT_EQ(ml("\\pxi-3,l3,t3;\\LA\\l\\OB\\o\\KC\\k"), "ABC");
  EXPECT_EQ(ml("\\\\ \\{x\\} a\\~b"), "\\ {x} a b");
  EXPECT_EQ(ml("\\S1/2;"), "1/2");
  EXPECT_EQ(ml("68\\S+0.1^ -0.2;"), "68+0.1/-0.2");
  EXPECT_EQ(ml("\\S1#4;x"), "1/4x");
  EXPECT_EQ(ml("\\Sa\\/b;"), "a/b");
  EXPECT_EQ(ml("{\\fArial|b0;\\H2\\;5;x}"), "x");
  auto p = multilinePlainText("a\\Zb\\");
  EXPECT_EQ(p.text, "ab\\");
  EXPECT_EQ(p.unknown, std::vector<std::string>{"\\Z"});
}

TEST(PercentCodes, InBothKindsOfText) {
  for (auto plain : {&singleLinePlainText, &multilinePlainText}) {
    auto t = [&](std::string_view s) { return plain(s, false).text; };
    EXPECT_EQ(t("%%c10 %%C10 %%d %%p0.1 100%%%"), "Ø10 Ø10 ° ±0.1 100%");
    EXPECT_EQ(t("%%127%%128%%129 %%065B"), "°±Ø AB");
    EXPECT_EQ(t("%%176"), "°");
    EXPECT_EQ(t("%%uA%%uB%%o%%k"), "AB");
    EXPECT_EQ(t("%%v %%x %%"), "%%v %%x %%");
  }
  // A text whose style uses the symbol font.
  EXPECT_EQ(singleLinePlainText("jn0.1", true).text, "⌖Ø0.1");
  EXPECT_EQ(singleLinePlainText("jn0.1").text, "jn0.1");
  // Single-line text has no format codes.
  EXPECT_EQ(singleLinePlainText("a\\Pb{c}^J").text, "a\\Pb{c}^J");
}

}  // namespace
