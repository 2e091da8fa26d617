// Characteristic kinds, the fourteen geometrical characteristics and how a
// frame is shown.
#include "model/characteristic.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace model;

TEST(Geometric, TheFourteenByNameAndSymbol) {
  const std::vector<std::pair<std::string, std::string>> issue = {
      {"直线度", "⏤"},
      {"平面度", "⏥"},
      {"圆度", "○"},
      {"圆柱度", "⌭"},
      {"线轮廓度", "⌒"},
      {"面轮廓度", "⌓"},
      {"平行度", "∥"},
      {"垂直度", "⟂"},
      {"倾斜度", "∠"},
      {"位置度", "⌖"},
      {"同轴度（同心度）", "◎"},
      {"对称度", "⌯"},
      {"圆跳动", "↗"},
      {"全跳动", "⌰"}};
  auto all = geometricCharacteristics();
  ASSERT_EQ(all.size(), issue.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].name, issue[i].first);
    EXPECT_EQ(all[i].symbol, issue[i].second) << issue[i].first;
    EXPECT_EQ(&infoOf(all[i].id), &all[i]);
    EXPECT_EQ(geometricOfSymbol(all[i].symbol), all[i].id);
    EXPECT_EQ(geometricOfName(all[i].name), all[i].id);
    // The type text a row stores leads back to the same characteristic.
    std::string type = gdtType(all[i].id);
    EXPECT_EQ(kindOfType(type), CharacteristicKind::Gdt) << type;
    EXPECT_EQ(gdtSubtypeOf(type), all[i].id) << type;
  }
}

TEST(Geometric, LookAlikesAndShortNames) {
  EXPECT_EQ(geometricOfSymbol("⊥"), Geometric::Perpendicularity);
  EXPECT_EQ(geometricOfSymbol("⊕"), Geometric::Position);
  EXPECT_EQ(geometricOfSymbol("≡"), Geometric::Symmetry);
  EXPECT_EQ(geometricOfSymbol("▱"), Geometric::Flatness);
  EXPECT_EQ(geometricOfSymbol("◯"), Geometric::Circularity);
  EXPECT_EQ(geometricOfName("同轴度"), Geometric::Concentricity);
  EXPECT_EQ(geometricOfName("同心度"), Geometric::Concentricity);
  for (std::string_view no : {"", "Ø", "j", "⌖⌖", "位置"}) {
    EXPECT_FALSE(geometricOfSymbol(no)) << no;
    EXPECT_FALSE(geometricOfName(no)) << no;
  }
}

TEST(Kinds, DimensionKindsStayDimensions) {
  EXPECT_EQ(kindOfType("粗糙度"), CharacteristicKind::Roughness);
  EXPECT_EQ(kindOfType("技术要求"), CharacteristicKind::Note);
  EXPECT_EQ(kindOfType("形位公差"), CharacteristicKind::Gdt);
  EXPECT_EQ(gdtSubtypeOf("形位公差"), std::nullopt);
  EXPECT_EQ(gdtSubtypeOf("形位公差/圆度X"), std::nullopt);
  for (std::string_view dim :
       {"正交尺寸", "平行尺寸", "半径尺寸", "直径尺寸", "角度尺寸",
        "绝对坐标尺寸", "弧长尺寸", "", "形位公差X", "粗糙度 "}) {
    EXPECT_EQ(kindOfType(dim), CharacteristicKind::Dimension) << dim;
    EXPECT_EQ(gdtSubtypeOf(dim), std::nullopt) << dim;
  }
}

TEST(Modifiers, CircledLetters) {
  std::set<std::string_view> seen;
  for (auto m :
       {Modifier::MaximumMaterial, Modifier::LeastMaterial,
        Modifier::RegardlessOfSize, Modifier::ProjectedZone,
        Modifier::FreeState, Modifier::TangentPlane, Modifier::Unilateral}) {
    EXPECT_EQ(modifierOfSymbol(symbolOf(m)), m);
    seen.insert(symbolOf(m));
  }
  EXPECT_EQ(seen,
            (std::set<std::string_view>{"Ⓜ", "Ⓛ", "Ⓢ", "Ⓟ", "Ⓕ", "Ⓣ", "Ⓤ"}));
  EXPECT_FALSE(modifierOfSymbol("M"));
  EXPECT_FALSE(modifierOfSymbol("Ⓐ"));
}

TEST(DrawingNumber, DecimalPointOrCommaAndNothingElse) {
  EXPECT_EQ(drawingNumber("0.05"), 0.05);
  EXPECT_EQ(drawingNumber(".00125"), 0.00125);
  EXPECT_EQ(drawingNumber("0,05"), 0.05);
  EXPECT_EQ(drawingNumber("12"), 12.0);
  EXPECT_EQ(drawingNumber("5."), 5.0);
  for (std::string_view bad : {"", ".", ",", "0.05/100", "1.2.3", "1,2.3", " 1",
                               "1 ", "-0.1", "+1", "1e3", "Ø1", "０.１"})
    EXPECT_FALSE(drawingNumber(bad)) << bad;
}

ToleranceValue tol(std::string text, Zone zone = Zone::Width,
                   std::vector<Modifier> mods = {}) {
  ToleranceValue t;
  t.zone = zone;
  t.value = drawingNumber(text);
  t.text = std::move(text);
  t.modifiers = std::move(mods);
  return t;
}

TEST(FrameText, AsTheDrawingShowsIt) {
  Frame f;
  FrameRow r;
  r.symbol = Geometric::Position;
  r.tolerance = tol("0.05", Zone::Diameter, {Modifier::MaximumMaterial});
  r.datums = {{"A", {}}, {"B", {Modifier::MaximumMaterial}}, {"", {}}};
  f.rows.push_back(r);
  EXPECT_EQ(rowText(f, 0), "⌖ Ø0.05 Ⓜ | A | B Ⓜ | ");
  f.rows[0].datums.pop_back();
  EXPECT_EQ(rowText(f, 0), "⌖ Ø0.05 Ⓜ | A | B Ⓜ");
  EXPECT_EQ(frameText(f), rowText(f, 0));
  EXPECT_EQ(rowText(f, 1), "");

  // The projected zone follows the first row's tolerance, once, even when
  // the compartment holds its sign too.
  f.projected = ProjectedZone{"12", 12.0};
  f.rows[0].tolerance.modifiers.push_back(Modifier::ProjectedZone);
  EXPECT_EQ(rowText(f, 0), "⌖ Ø0.05 Ⓜ Ⓟ12 | A | B Ⓜ");

  // A composite frame's second row without a symbol shares the first's;
  // the projected zone is not repeated there.
  FrameRow second;
  second.tolerance = tol("0.1", Zone::SphericalDiameter);
  second.secondTolerance = tol("0,02");
  f.rows.push_back(second);
  EXPECT_TRUE(f.composite());
  EXPECT_EQ(f.symbolOf(1), Geometric::Position);
  EXPECT_EQ(rowText(f, 1), "⌖ SØ0.1 | 0,02");
  EXPECT_EQ(frameText(f), rowText(f, 0) + " / " + rowText(f, 1));

  // A row not understood is shown compartment by compartment.
  f.rows[1].understood = false;
  f.rows[1].cells = {"x", "0.1/100", "A"};
  EXPECT_EQ(rowText(f, 1), "x | 0.1/100 | A");
}

}  // namespace
