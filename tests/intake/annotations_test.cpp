// Surface roughness and technical notes from texts.
#include "intake/annotations.h"

#include <gtest/gtest.h>

namespace {

using namespace intake;

std::vector<std::string> shown(const std::vector<Roughness>& rs) {
  std::vector<std::string> out;
  for (const auto& r : rs) out.push_back(roughnessText(r));
  return out;
}

TEST(Roughness, WrittenEveryWay) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Ra 1.6", {"Ra 1.6"}},
      {"Ra1.6", {"Ra 1.6"}},
      {"RA 0.8", {"Ra 0.8"}},
      {"Ra 3,2", {"Ra 3,2"}},
      {"Rz6.3μm", {"Rz 6.3"}},
      {"Rmax 12.5", {"Rmax 12.5"}},
      {"RMAX12.5", {"Rmax 12.5"}},
      {"Ra=0.8 Ra≤0.4 Ra：0.2", {"Ra 0.8", "Ra 0.4", "Ra 0.2"}},
      {"Ra max 0.8", {"Ra 0.8"}},
      {"Ra1.6, Rz6.3", {"Ra 1.6", "Rz 6.3"}},
      {"未注表面粗糙度Ra3.2", {"Ra 3.2"}},
      {"U Ra 3.2\nL Ra 0.8", {"Ra 3.2", "L Ra 0.8"}},
      {"其余 Ra6.3", {"其余 Ra 6.3"}},
      {"-0.8/Ra 3.2", {"Ra 3.2"}},
      // Not roughness.
      {"R5", {}},
      {"Radius 5", {}},
      {"Rzeppa 2", {}},
      {"PRa 1.6", {}},
      {"Ra", {}},
      {"Ra .", {}},
      {"AL Ra 0.8", {"Ra 0.8"}},
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(shown(roughnessInText(text)), want) << text;
  auto r = roughnessInText("L Ra 0,4");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].lowerLimit);
  EXPECT_EQ(r[0].value, 0.4);
  EXPECT_EQ(r[0].valueText, "0,4");
  EXPECT_TRUE(isRestNote("其余"));
  EXPECT_FALSE(isRestNote("Ra 1.6"));
}

TEST(Roughness, OfABlockWithAttributes) {
  auto of = [](std::string_view name, std::vector<Attribute> attributes) {
    auto r = roughnessOfBlock(name, attributes);
    return r ? roughnessText(*r) : std::string("none");
  };
  EXPECT_EQ(of("粗糙度", {{"RA", "1.6"}}), "Ra 1.6");
  EXPECT_EQ(of("X", {{"rz", " 6,3 "}}), "Rz 6,3");
  EXPECT_EQ(of("X", {{"RMAX", "25"}}), "Rmax 25");
  // The value naming its parameter wins over the tag.
  EXPECT_EQ(of("X", {{"RA", "Rz 3.2"}}), "Rz 3.2");
  EXPECT_EQ(of("X", {{"NOTE", "其余"}, {"RA", "0.8"}}), "其余 Ra 0.8");
  // A bare number counts only in a block named as a roughness symbol, and
  // only when it is the one number there.
  EXPECT_EQ(of("表面粗糙度", {{"V", "12.5"}}), "12.5");
  EXPECT_EQ(of("ccd-2", {{"V", "3.2"}, {"NO", "A"}}), "3.2");
  EXPECT_EQ(of("Roughness", {{"V", "3.2"}, {"W", "1.6"}}), "none");
  EXPECT_EQ(of("TITLE", {{"SCALE", "2"}}), "none");
  EXPECT_EQ(of("粗糙度", {{"V", "abc"}}), "none");
  EXPECT_EQ(of("粗糙度", {}), "none");
}

std::vector<std::string> itemTexts(const NoteGroup& g) {
  std::vector<std::string> out;
  for (const auto& i : g.items) out.push_back(i.label + "|" + i.text);
  return out;
}

TEST(Notes, Headings) {
  EXPECT_EQ(notesHeading("技术要求"), "");
  EXPECT_EQ(notesHeading("  技 术 要 求 ："), "");
  EXPECT_EQ(notesHeading("技术要求：1.去毛刺"), "1.去毛刺");
  EXPECT_EQ(notesHeading("技术要求 1、去毛刺"), "1、去毛刺");
  EXPECT_EQ(notesHeading("Technical Requirements:"), "");
  EXPECT_EQ(notesHeading("NOTES"), "");
  EXPECT_EQ(notesHeading("Note: break edges"), "break edges");
  EXPECT_EQ(notesHeading("NOTES ON ASSEMBLY"), std::nullopt);
  EXPECT_EQ(notesHeading("技术要求见附页"), std::nullopt);
  EXPECT_EQ(notesHeading("1. 技术要求"), std::nullopt);
}

TEST(Notes, NumberingStylesAndContinuedItems) {
  auto g = notesOfText(
      "技术要求\n1. 未注圆角R0.5\n2、去毛刺\n（3）调质\n(4)发黑\n5)涂油\n"
      "６．全角\n1.6mm 厚的板\n");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->heading, "技术要求");
  // The first item sets the style; another style numbered on is still an
  // item, a number like 1.6 is not one.
  EXPECT_EQ(itemTexts(*g),
            (std::vector<std::string>{"1.|未注圆角R0.5", "2、|去毛刺",
                                      "（3）|调质", "(4)|发黑", "5)|涂油",
                                      "６．|全角1.6mm 厚的板"}));
  EXPECT_EQ(g->items[5].number, 6);
  EXPECT_EQ(g->items[1].line, 2);

  // A list inside an item stays in it; English lines join with a blank.
  g = notesOfText(
      "NOTES:\n1. MATERIAL:\n(1) STEEL\n(2) HARDENED\n2. BREAK\nEDGES");
  ASSERT_TRUE(g);
  EXPECT_EQ(itemTexts(*g),
            (std::vector<std::string>{"1.|MATERIAL: (1) STEEL (2) HARDENED",
                                      "2.|BREAK EDGES"}));
  EXPECT_EQ(g->items[1].shown, "2. BREAK EDGES");

  // Unnumbered requirements are one each; nothing is left out.
  g = notesOfText("\n技术要求：去毛刺\n\n锐边倒钝");
  ASSERT_TRUE(g);
  EXPECT_EQ(itemTexts(*g), (std::vector<std::string>{"|去毛刺", "|锐边倒钝"}));
  EXPECT_EQ(g->items[0].number, 0);

  EXPECT_FALSE(notesOfText("1. 去毛刺\n技术要求"));
  EXPECT_TRUE(notesOfText("技术要求")->items.empty());
}

TEST(Notes, GroupsOfTextsOnTheDrawing) {
  // Two groups side by side, a heading with its first item beside it, a
  // text far below, a label far to the right.
  std::vector<PlacedText> texts = {
      {"技术要求", 10, 100, 5},       {"1.", 0, 90, 3.5},
      {"去毛刺", 7, 90.5, 3.5},       {"2.锐边", 0, 84, 3.5},
      {"倒钝", 0, 78, 3.5},           {"比例 1:1", 0, 40, 3.5},
      {"NOTES: 1) A", 300, 100, 3.5}, {"2) B", 300, 94, 3.5},
      {"图号", 200, 84, 3.5},
  };
  auto groups = groupNotes(texts);
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].headingSource, 0);
  EXPECT_EQ(itemTexts(groups[0]),
            (std::vector<std::string>{"1.|去毛刺", "2.|锐边倒钝"}));
  EXPECT_EQ(groups[0].items[0].source, 1);
  EXPECT_EQ(groups[0].items[1].source, 3);
  EXPECT_EQ(groups[1].heading, "NOTES:");
  EXPECT_EQ(itemTexts(groups[1]), (std::vector<std::string>{"1)|A", "2)|B"}));
  EXPECT_EQ(groups[1].items[0].source, 6);

  // A heading whose text holds its items takes no text from below.
  texts = {{"技术要求\n1.去毛刺", 0, 100, 3.5}, {"2.倒钝", 0, 88, 3.5}};
  groups = groupNotes(texts);
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(itemTexts(groups[0]), std::vector<std::string>{"1.|去毛刺"});
  EXPECT_EQ(groups[0].items[0].line, 1);
}

}  // namespace
