// The gauge's serial port in the window's program (Qt Serial Port). Bytes
// are kept as they come and handed to the main window between its events:
// a line arriving while a message box or a pick holds a handler waits for
// it, so nothing is lost and nothing runs inside another handler.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "browse/gauge.h"

namespace model {
class Form1;
}  // namespace model

namespace app {

class SerialGauge : public QObject, public browse::GaugePort {
 public:
  // act runs a step on the model as a user action (the binder's act);
  // busy tells whether a handler is running now; focusedBox gives the
  // sample box (0 to 4) that has the keyboard focus, or -1.
  SerialGauge(model::Form1& main,
              std::function<void(const std::function<void()>&)> act,
              std::function<bool()> busy, std::function<int()> focusedBox);
  ~SerialGauge() override;

  std::vector<std::string> available() override;
  std::string open(const browse::GaugeSettings& settings) override;
  void close() override;
  std::string openName() const override;

  // Readings entered since the port was opened.
  int entered() const { return feed_.entered(); }

 private:
  void readReady();
  void failed(QSerialPort::SerialPortError error);
  // The line is gone: the device hung up or reports an error.
  bool hungUp();
  // Hands what came to the model, once no handler is running.
  void drain();

  model::Form1& main_;
  std::function<void(const std::function<void()>&)> act_;
  std::function<bool()> busy_;
  std::function<int()> focusedBox_;
  // The sample box that had the window's focus at the last batch.
  int lastFocused_ = -1;
  QSerialPort port_;
  browse::GaugeSettings settings_;
  browse::GaugeFeed feed_;
  QByteArray queued_;
  // The port went away: told once the bytes before it are entered.
  bool lost_ = false;
  std::string lostName_;
  std::string lostWhy_;
  QTimer retry_;
};

}  // namespace app
