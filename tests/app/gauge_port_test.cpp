// A gauge on a real serial line: a pseudo-terminal pair stands for the
// USB cable, the program reads the slave end through Qt Serial Port.
#include "app/gauge_port.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>

#include "browse/gauge.h"
#include "intake_fixture.h"

using namespace intake_test;

namespace {

class SerialLine : public Intake {
 protected:
  SerialLine() {
    int argc = 1;
    static char name[] = "gauge_port_tests";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
      app_ = std::make_unique<QCoreApplication>(argc, argv);
    char slave[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master_, &slaveFd_, slave, &raw, nullptr) == 0)
      slaveName_ = slave;
  }
  ~SerialLine() override {
    gauge_.reset();
    if (slaveFd_ >= 0) ::close(slaveFd_);
    if (master_ >= 0) ::close(master_);
  }
  void numbered() {
    add("AcDbLine");
    for (int i = 0; i < 3; ++i)
      addDim("AcDbRotatedDimension", 10.0 * (i + 1), 10.0 * i, 0,
             std::to_string(10 * (i + 1)));
    open();
    f().comSort->userClick();
    ASSERT_EQ(f().Combo1->listCount(), 3);
    desktop.takeMessages();
  }
  void connect() {
    ASSERT_FALSE(slaveName_.empty()) << "no pseudo-terminal";
    gauge_ = std::make_unique<app::SerialGauge>(
        f(), [this](const std::function<void()>& a) { program->run(a); },
        [this] { return busy; }, [] { return -1; });
    browse::GaugeSettings s;
    s.port = slaveName_;
    ASSERT_EQ(gauge_->open(s), "");
    // The program holds its own descriptor now.
    ::close(slaveFd_);
    slaveFd_ = -1;
  }
  void send(const std::string& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
  }
  // Events until the condition holds or two seconds have passed.
  bool until(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    // Asked once per round: the condition may take what it looks at.
    while (t.elapsed() < 2000) {
      if (done()) return true;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
  }
  std::optional<float> stored(int p, int k) {
    return program->ctx.samples[static_cast<size_t>(p)][static_cast<size_t>(k)];
  }

  std::unique_ptr<QCoreApplication> app_;
  int master_ = -1;
  int slaveFd_ = -1;
  std::string slaveName_;
  std::unique_ptr<app::SerialGauge> gauge_;
  bool busy = false;
};

}  // namespace

TEST_F(SerialLine, FifteenReadingsFillFiveSamplesOfThreeDimensionsInOrder) {
  numbered();
  f().OptBySample->userClick();
  connect();
  // Sample k of each dimension, then k + 1: 10.0k, 20.0k, 30.0k.
  std::string all;
  for (int k = 1; k <= 5; ++k)
    for (int d = 1; d <= 3; ++d)
      all += std::to_string(d * 10) + ".0" + std::to_string(k) + "\r\n";
  // In pieces that cut lines, as a slow cable delivers them.
  for (std::size_t at = 0; at < all.size(); at += 7) send(all.substr(at, 7));
  ASSERT_TRUE(until([&] { return gauge_->entered() == 15; }))
      << gauge_->entered();
  for (int d = 1; d <= 3; ++d) {
    EXPECT_EQ(program->ctx.sampleCounts[static_cast<size_t>(d)], 5) << d;
    for (int k = 1; k <= 5; ++k)
      EXPECT_FLOAT_EQ(*stored(d, k), static_cast<float>(d * 10 + k / 100.0))
          << d << " " << k;
  }
  EXPECT_TRUE(desktop.takeMessages().empty());
}

TEST_F(SerialLine, ReadingsWaitForARunningHandlerAndAVanishedPortKeepsThem) {
  numbered();
  connect();
  busy = true;  // a message box is open
  send("10.01\r\n10.02\r\n");
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 200) QCoreApplication::processEvents();
  EXPECT_FALSE(stored(1, 1));
  busy = false;
  ASSERT_TRUE(until([&] { return gauge_->entered() == 2; }));
  EXPECT_EQ(stored(1, 2), 10.02f);

  // Garbage, half a line, then the cable pulled out.
  send("1O.03\r\n##\r\n10.0");
  ASSERT_TRUE(until([&] { return desktop.takeMessages().size() == 1; }));
  ::close(master_);
  master_ = -1;
  ASSERT_TRUE(until([&] { return gauge_->openName().empty(); }));
  ASSERT_TRUE(until([&] {
    for (const auto& m : desktop.takeMessages())
      if (m.text.find("断开") != std::string::npos) return true;
    return false;
  }));
  EXPECT_EQ(stored(1, 1), 10.01f);
  EXPECT_EQ(stored(1, 2), 10.02f);
  EXPECT_FALSE(stored(1, 3));
  EXPECT_EQ(gauge_->entered(), 2);
}
