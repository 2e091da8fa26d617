// Text as the CAD host shows it: the %% codes, alignment of single-line
// text, and the format codes, lines, stacks and wrapping of multiline
// text.
#include <numbers>

#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::layoutMText;
using cadhost::viewer::MTextSpec;
using cadhost::viewer::Scene;

double width(const char* utf8, double h) {
  return metrics().width(QString::fromUtf8(utf8)) * h;
}

TEST(SingleLineText, PercentCodesAndToggles) {
  auto pieces = cadhost::viewer::decodeSingleLine("%%c20%%p0.1 45%%d %%%");
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].text, QString::fromUtf8("Ø20±0.1 45° %"));
  pieces = cadhost::viewer::decodeSingleLine("A%%uBC%%uD%%065");
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].text, QStringLiteral("A"));
  EXPECT_FALSE(pieces[0].underline);
  EXPECT_EQ(pieces[1].text, QStringLiteral("BC"));
  EXPECT_TRUE(pieces[1].underline);
  EXPECT_EQ(pieces[2].text, QStringLiteral("DA"));
  EXPECT_FALSE(pieces[2].underline);
}

TEST(SingleLineText, AlignmentPointsAndRotation) {
  Dxf dxf;
  // Left on the baseline at (0,0); centred, right and middle on (50,0).
  dxf.entity("TEXT").point(10, 0, 0).tag(40, 2.0).tag(1, "LEFT");
  dxf.entity("TEXT")
      .point(10, 0, 10)
      .point(11, 50, 10)
      .tag(40, 2.0)
      .tag(1, "CENTRE")
      .tag(72, "1");
  dxf.entity("TEXT")
      .point(10, 0, 20)
      .point(11, 50, 20)
      .tag(40, 2.0)
      .tag(1, "RIGHT")
      .tag(72, "2");
  dxf.entity("TEXT")
      .point(10, 0, 30)
      .point(11, 50, 30)
      .tag(40, 2.0)
      .tag(1, "MIDDLE")
      .tag(72, "4");
  dxf.entity("TEXT")
      .point(10, 0, 40)
      .point(11, 50, 40)
      .tag(40, 2.0)
      .tag(1, "TOP")
      .tag(72, "0")
      .tag(73, "3");
  // Fit between two points: the width factor stretches.
  dxf.entity("TEXT")
      .point(10, 0, 50)
      .point(11, 40, 50)
      .tag(40, 2.0)
      .tag(1, "FIT")
      .tag(72, "5");
  dxf.entity("TEXT")
      .point(10, 0, 60)
      .tag(40, 2.0)
      .tag(50, 30.0)
      .tag(41, 0.8)
      .tag(1, "TURNED");
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);
  auto at = [&](const char* s) {
    auto t = c.texts(QString::fromUtf8(s));
    EXPECT_EQ(t.size(), 1u) << s;
    return t.empty() ? Vec2{1e9, 1e9} : t[0]->points[0];
  };
  EXPECT_TRUE(near(at("LEFT"), {0, 0}));
  EXPECT_TRUE(near(at("CENTRE"), {50 - width("CENTRE", 2) / 2, 10}));
  EXPECT_TRUE(near(at("RIGHT"), {50 - width("RIGHT", 2), 20}));
  EXPECT_TRUE(near(at("MIDDLE"), {50 - width("MIDDLE", 2) / 2, 29}));
  EXPECT_TRUE(near(at("TOP"), {50, 38}));
  auto fit = c.texts(QStringLiteral("FIT"));
  ASSERT_EQ(fit.size(), 1u);
  EXPECT_NEAR(fit[0]->run.widthFactor * width("FIT", 2), 40, 1e-9);
  auto turned = c.texts(QStringLiteral("TURNED"));
  ASSERT_EQ(turned.size(), 1u);
  EXPECT_NEAR(turned[0]->run.rotation, std::numbers::pi / 6, 1e-12);
  EXPECT_NEAR(turned[0]->run.widthFactor, 0.8, 1e-12);
}

TEST(MultilineText, LinesColoursAndHeights) {
  MTextSpec spec;
  spec.content = "\\A1;第一行\\P{\\C1;红}字\\P{\\H2x;BIG}";
  spec.height = 3;
  auto lay = layoutMText(spec, metrics());
  ASSERT_EQ(lay.runs.size(), 4u);
  EXPECT_EQ(lay.runs[0].run.text, QString::fromUtf8("第一行"));
  EXPECT_TRUE(near(lay.runs[0].run.origin, {0, -3}));
  // Lines are 5/3 of the height apart.
  EXPECT_EQ(lay.runs[1].run.text, QString::fromUtf8("红"));
  EXPECT_EQ(lay.runs[1].aci, 1);
  EXPECT_TRUE(near(lay.runs[1].run.origin, {0, -3 - 5}));
  EXPECT_EQ(lay.runs[2].run.text, QString::fromUtf8("字"));
  EXPECT_EQ(lay.runs[2].aci, -1);
  EXPECT_NEAR(lay.runs[2].run.origin.x, width("红", 3), 1e-9);
  EXPECT_NEAR(lay.runs[3].run.height, 6, 1e-12);
  EXPECT_NEAR(lay.runs[3].run.origin.y, -8 - 10, 1e-9);

  // Middle centre: the block of lines centred on the insertion point.
  spec.content = "AB\\PABCD";
  spec.attachment = 5;
  lay = layoutMText(spec, metrics());
  ASSERT_EQ(lay.runs.size(), 2u);
  double total = 3 + 5;  // first cap height plus one line step
  EXPECT_NEAR(lay.runs[0].run.origin.y, -3 + total / 2, 1e-9);
  EXPECT_NEAR(lay.runs[0].run.origin.x, -width("AB", 3) / 2, 1e-9);
  EXPECT_NEAR(lay.runs[1].run.origin.x, -width("ABCD", 3) / 2, 1e-9);
}

TEST(MultilineText, StacksAndWrapping) {
  MTextSpec spec;
  spec.content = "12{\\H0.5x;\\S+0.1^-0.2;}";
  spec.height = 4;
  auto lay = layoutMText(spec, metrics());
  ASSERT_EQ(lay.runs.size(), 3u);
  EXPECT_EQ(lay.runs[1].run.text, QStringLiteral("+0.1"));
  EXPECT_EQ(lay.runs[2].run.text, QStringLiteral("-0.2"));
  EXPECT_NEAR(lay.runs[1].run.height, 2, 1e-12);
  EXPECT_NEAR(lay.runs[1].run.origin.x, width("12", 4), 1e-9);
  EXPECT_NEAR(lay.runs[2].run.origin.x, width("12", 4), 1e-9);
  EXPECT_GT(lay.runs[1].run.origin.y, lay.runs[2].run.origin.y + 2);
  // A fraction gets its bar.
  spec.content = "\\S1/2;";
  lay = layoutMText(spec, metrics());
  EXPECT_EQ(lay.rules.size(), 1u);

  // Wrapping at the reference width, between words and between CJK
  // characters.
  spec.content = "aaa bbb ccc";
  spec.height = 1;
  spec.referenceWidth = width("aaa bbb", 1) * 1.01;
  lay = layoutMText(spec, metrics());
  ASSERT_EQ(lay.runs.size(), 2u);
  EXPECT_EQ(lay.runs[0].run.text.trimmed(), QStringLiteral("aaa bbb"));
  EXPECT_EQ(lay.runs[1].run.text, QStringLiteral("ccc"));
  spec.content = "未注倒角均为一毫米";
  spec.referenceWidth = width("未注倒角", 1) * 1.01;
  lay = layoutMText(spec, metrics());
  ASSERT_EQ(lay.runs.size(), 3u);
  EXPECT_EQ(lay.runs[0].run.text, QString::fromUtf8("未注倒角"));
  EXPECT_EQ(lay.runs[2].run.text, QString::fromUtf8("米"));
  // A word longer than the width stays whole.
  spec.content = "abcdefghijkl";
  spec.referenceWidth = width("abc", 1);
  EXPECT_EQ(layoutMText(spec, metrics()).runs.size(), 1u);
}

TEST(MultilineText, EntityInPiecesTurnedAndColoured) {
  // The text comes in a 3 and a 1; the direction vector turns it.
  Dxf dxf("AC1021");
  dxf.layer("NOTES", 3);
  dxf.entity("MTEXT", "NOTES")
      .point(10, 10, 20)
      .tag(40, 2.0)
      .tag(71, "1")
      .tag(3, "技术")
      .tag(1, "要求{\\C5;蓝}")
      .point(11, 0, 1);
  auto d = load(dxf);
  Scene scene(metrics());
  scene.build(*d);
  RecordingCanvas c = drawAll(scene);
  auto runs = c.of(Call::Text);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0]->run.text, QString::fromUtf8("技术要求"));
  EXPECT_EQ(runs[0]->color, kGreen);
  EXPECT_EQ(runs[1]->color, kBlue);
  EXPECT_NEAR(runs[0]->run.rotation, std::numbers::pi / 2, 1e-12);
  // Turned a quarter: the text reads upwards, its first baseline 2 to
  // the right of the insertion point.
  EXPECT_TRUE(near(runs[0]->points[0], {12, 20}));
  EXPECT_NEAR(runs[1]->points[0].y, 20 + width("技术要求", 2), 1e-9);
}

}  // namespace
