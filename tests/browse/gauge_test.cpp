// A gauge on a serial port: its lines, the part of a line that is the
// reading, its settings, and the readings entered into the panel.
#include "browse/gauge.h"

#include "browse/entry_keys.h"
#include "browse/gauge_form.h"
#include "intake_fixture.h"

using namespace intake_test;
using browse::LineSplitter;
using browse::ReadingPart;

namespace {

std::vector<std::string> texts(const std::vector<LineSplitter::Line>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(l.overlong ? "<long>" : l.text);
  return out;
}

}  // namespace

TEST(GaugeLines, EndAtCrLfOrBothAndComeInPieces) {
  LineSplitter s;
  s.feed("12.3");
  EXPECT_TRUE(s.take().empty());
  EXPECT_EQ(s.pending(), "12.3");
  s.feed("4\r\n+5.000\r\r\n-0.5\n\n7");
  EXPECT_EQ(texts(s.take()),
            (std::vector<std::string>{"12.34", "+5.000", "-0.5"}));
  EXPECT_EQ(s.pending(), "7");
  // A CR at the end of one piece and the LF at the start of the next are
  // one line end.
  s.feed("\r");
  s.feed("\n8\r");
  EXPECT_EQ(texts(s.take()), (std::vector<std::string>{"7", "8"}));
  // Noise without line ends is cut at a bound and told as one line.
  s.feed(std::string(3 * LineSplitter::kLongest, 'x'));
  EXPECT_EQ(s.pending().size(), LineSplitter::kLongest);
  s.feed("\n1.5\n");
  EXPECT_EQ(texts(s.take()), (std::vector<std::string>{"<long>", "1.5"}));
}

TEST(GaugeLines, ThePartOfALineThatIsTheReading) {
  const auto field = *browse::readingPartOf("field", "2");
  const auto last = *browse::readingPartOf("field", "-1");
  const auto cols = *browse::readingPartOf("columns", "4-");
  const auto cut = *browse::readingPartOf("columns", "4-9");
  EXPECT_EQ(browse::partOfLine("01A+00012.345", cols), "+00012.345");
  EXPECT_EQ(browse::partOfLine("01A+00012.345", cut), "+00012");
  EXPECT_EQ(browse::partOfLine("X  12.5 mm", field), "12.5");
  EXPECT_EQ(browse::partOfLine("X\t12.5;mm", last), "mm");
  EXPECT_EQ(browse::partOfLine("12.5", field), std::nullopt);
  EXPECT_EQ(browse::partOfLine("01", cols), std::nullopt);
  // Characters, not bytes: a full-width reading keeps its characters.
  EXPECT_EQ(browse::partOfLine("Ｘ：１２。５",
                               *browse::readingPartOf("columns", "3-")),
            "１２。５");
  for (auto [mode, where] : {std::pair{"field", "0"},
                             {"field", "x"},
                             {"columns", "5-4"},
                             {"columns", "0-"},
                             {"columns", "-3"},
                             {"rows", "1"}})
    EXPECT_FALSE(browse::readingPartOf(mode, where)) << mode << " " << where;
  for (const auto& p : {field, last, cols, cut, ReadingPart{}})
    EXPECT_EQ(
        browse::readingPartOf(browse::modeName(p.mode), browse::whereText(p)),
        p);
}

TEST(GaugeSettings, AreKeptAndWhatNoLongerReadsIsTheDefault) {
  forms::AnswerQueue q;
  forms::ScriptedDesktop d(q);
  EXPECT_EQ(browse::loadGaugeSettings(d), browse::GaugeSettings{});
  browse::GaugeSettings s;
  s.port = "/dev/ttyUSB1";
  s.baud = 4800;
  s.dataBits = 7;
  s.parity = browse::GaugeSettings::Parity::Even;
  s.stopBits = browse::GaugeSettings::StopBits::Two;
  s.part = *browse::readingPartOf("columns", "4-");
  browse::saveGaugeSettings(d, s);
  EXPECT_EQ(browse::loadGaugeSettings(d), s);
  d.setSetting("measure/gauge/dataBits", "9");
  d.setSetting("measure/gauge/partWhere", "zz");
  const auto back = browse::loadGaugeSettings(d);
  EXPECT_EQ(back.dataBits, 8);
  EXPECT_EQ(back.part, ReadingPart{});
  EXPECT_EQ(back.port, "/dev/ttyUSB1");
}

namespace {

class Gauge : public Intake {
 protected:
  void numbered() {
    add("AcDbLine");
    for (int i = 0; i < 3; ++i)
      addDim("AcDbRotatedDimension", 10.0 * (i + 1), 10.0 * i, 0,
             std::to_string(10 * (i + 1)));
    open();
    f().comSort->userClick();
    desktop.takeMessages();
  }
  void send(const std::string& bytes, int focused = -1) {
    feed.bytes(f(), bytes, focused, part);
  }
  std::optional<float> stored(int p, int k) {
    return program->ctx.samples[static_cast<size_t>(p)][static_cast<size_t>(k)];
  }
  browse::GaugeFeed feed;
  ReadingPart part;
};

}  // namespace

TEST_F(Gauge, LinesEnterTheFocusedBoxAndMoveOnInTheOrder) {
  numbered();
  f().OptBySample->userClick();
  // The port takes the continuous road whether or not Enter does.
  ASSERT_EQ(f().CheCont->value(), 0);
  send("10.01\r\n20.01\r\n30", 0);
  EXPECT_EQ(stored(1, 1), 10.01f);
  EXPECT_EQ(stored(2, 1), 20.01f);
  EXPECT_FALSE(stored(3, 1));  // half a line: not yet
  send(".01\r\n");
  EXPECT_EQ(stored(3, 1), 30.01f);
  // Round again from the first dimension, second sample.
  EXPECT_EQ(f().Combo1->listIndex(), 0);
  EXPECT_EQ(f().entryBox, 1);
  send("10.02\r\n");
  EXPECT_EQ(stored(1, 2), 10.02f);
  // The box the user put the focus in takes the next one.
  f().ComLast->userClick();
  send("30.05\r\n", 4);
  EXPECT_EQ(stored(3, 5), 30.05f);
  EXPECT_EQ(program->ctx.sampleCounts[3], 5);
  EXPECT_EQ(feed.entered(), 5);
  EXPECT_TRUE(messages().empty());
}

// A gauge that sends faster than the window takes its bytes: one batch of
// many lines. The focus the batch came in with takes the first only; each
// next reading goes where the one before moved the entry.
TEST_F(Gauge, ABatchOfLinesFollowsTheOrderNotTheFocusItCameIn) {
  numbered();
  f().Combo3->userSelect(1);  // two samples each, by dimension
  send("10.01\r\n10.02\r\n20.01\r\n20.02\r\n30.01\r\n30.02\r\n", 0);
  for (int p = 1; p <= 3; ++p)
    for (int k = 1; k <= 2; ++k)
      EXPECT_EQ(stored(p, k),
                10.0f * static_cast<float>(p) + 0.01f * static_cast<float>(k))
          << p << "/" << k;
  EXPECT_EQ(feed.entered(), 6);
}

TEST_F(Gauge, GarbageIsToldOnceAndMovesNothing) {
  numbered();
  part = *browse::readingPartOf("columns", "4-");
  send("01A+00010.010\r\n", 0);
  EXPECT_EQ(stored(1, 1), 10.01f);
  const auto before = f().entryBox;
  send("01A+0001O.0\r\n\x01\x02\xff\r\n01A\r\n");
  auto m = messages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0],
            "量具端口收到的“01A+0001O.0”中的“+0001O.0”不是有效数字，没有输入，"
            "位置不变。此后的无效数据不再提示，直到收到下一个读数。");
  EXPECT_EQ(f().entryBox, before);
  EXPECT_FALSE(stored(1, 2));
  // A reading gets through; the next garbage is told again.
  send("01A+00010.020\r\n01A?\r\n");
  EXPECT_EQ(stored(1, 2), 10.02f);
  EXPECT_EQ(messages().size(), 1u);
}

TEST_F(Gauge, AReadingWithNowhereToGoIsToldAndAVanishedPortKeepsAll) {
  send("12.5\r\n13.5\r\n", -1);
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"量具读数“12.5”没有输入：请先打开图纸并"
                                      "标号，测量值面板才能输入。"}));
  numbered();
  send("10.01\r\n10.0");
  feed.lost(f(), "/dev/ttyUSB0", "No such device");
  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "量具端口“/dev/ttyUSB0”断开了（No such device）。"
                "已输入的读数都已保存；最后半行“10.0”不完整，没有输入。"}));
  EXPECT_EQ(stored(1, 1), 10.01f);
  EXPECT_FALSE(stored(1, 2));
}

TEST_F(Gauge, TheSettingsWindowRefusesWhatCannotBeAPortSetting) {
  numbered();
  auto& w = program->frmGauge;
  f().mnuGauge->userClick();
  ASSERT_TRUE(w.visible());
  EXPECT_EQ(w.lblState->caption(), "未连接");
  EXPECT_FALSE(w.ComDisconnect->enabled());
  EXPECT_EQ(w.cboBaud->text(), "9600");
  w.ComConnect->userClick();
  EXPECT_EQ(
      messages(),
      (std::vector<std::string>{"请填写量具所接的端口，例如 /dev/ttyUSB0。"}));
  w.txtPort->userType("/dev/ttyACM0");
  w.cboPart->userSelect(2);
  w.txtPart->userType("x");
  w.ComConnect->userClick();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_FALSE(desktop.setting("measure/gauge/port"));  // nothing kept
  w.txtPart->userType("4-");
  w.cboBaud->userSelect(7);
  w.ComConnect->userClick();
  // Without a port to open (the command line has none) it says so, and
  // the settings are kept for a program that has one.
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"这里没有量具端口可以连接。"}));
  const auto kept = browse::loadGaugeSettings(desktop);
  EXPECT_EQ(kept.port, "/dev/ttyACM0");
  EXPECT_EQ(kept.baud, 115200);
  EXPECT_EQ(kept.part, *browse::readingPartOf("columns", "4-"));
}
