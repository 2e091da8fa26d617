#include "app/gauge_port.h"

#include <QSerialPortInfo>

#include <poll.h>

#include "model/form1.h"

namespace app {

SerialGauge::SerialGauge(model::Form1& main,
                         std::function<void(const std::function<void()>&)> act,
                         std::function<bool()> busy,
                         std::function<int()> focusedBox)
    : main_(main),
      act_(std::move(act)),
      busy_(std::move(busy)),
      focusedBox_(std::move(focusedBox)) {
  retry_.setSingleShot(true);
  retry_.setInterval(50);
  connect(&retry_, &QTimer::timeout, this, [this] { drain(); });
  connect(&port_, &QSerialPort::readyRead, this, [this] { readReady(); });
  connect(&port_, &QSerialPort::errorOccurred, this,
          [this](QSerialPort::SerialPortError e) { failed(e); });
}

SerialGauge::~SerialGauge() {
  port_.disconnect(this);
  if (port_.isOpen()) port_.close();
}

std::vector<std::string> SerialGauge::available() {
  std::vector<std::string> out;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
    out.push_back(info.systemLocation().toStdString());
  return out;
}

std::string SerialGauge::open(const browse::GaugeSettings& s) {
  close();
  port_.setPortName(QString::fromStdString(s.port));
  if (!port_.open(QIODevice::ReadOnly)) {
    const std::string why = port_.errorString().toStdString();
    port_.clearError();
    return why.empty() ? std::string("打不开") : why;
  }
  using P = QSerialPort;
  const P::Parity parity =
      s.parity == browse::GaugeSettings::Parity::Even  ? P::EvenParity
      : s.parity == browse::GaugeSettings::Parity::Odd ? P::OddParity
                                                       : P::NoParity;
  const P::StopBits stop =
      s.stopBits == browse::GaugeSettings::StopBits::Two ? P::TwoStop
      : s.stopBits == browse::GaugeSettings::StopBits::OneAndHalf
          ? P::OneAndHalfStop
          : P::OneStop;
  if (!port_.setBaudRate(s.baud) ||
      !port_.setDataBits(static_cast<P::DataBits>(s.dataBits)) ||
      !port_.setParity(parity) || !port_.setStopBits(stop) ||
      !port_.setFlowControl(P::NoFlowControl)) {
    const std::string why = port_.errorString().toStdString();
    port_.close();
    port_.clearError();
    return "设置不被接受（" + why + "）";
  }
  settings_ = s;
  feed_.reset();
  lastFocused_ = -1;
  queued_.clear();
  lost_ = false;
  return {};
}

void SerialGauge::close() {
  if (port_.isOpen()) {
    // What came before the close is still entered.
    queued_ += port_.readAll();
    port_.close();
  }
  port_.clearError();
  if (!queued_.isEmpty()) drain();
}

std::string SerialGauge::openName() const {
  return port_.isOpen() ? port_.portName().toStdString() : std::string();
}

void SerialGauge::readReady() {
  queued_ += port_.readAll();
  drain();
}

void SerialGauge::failed(QSerialPort::SerialPortError error) {
  // Only a port gone from under the program ends the connection; the
  // errors of opening are told by open(). A read that finds nothing is
  // reported as a read error too, with whatever errno was left: the port
  // is gone only if the line has hung up.
  if (error == QSerialPort::ReadError && !hungUp()) {
    port_.clearError();
    return;
  }
  if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
    return;
  if (!port_.isOpen() || lost_) return;
  lost_ = true;
  lostName_ = port_.portName().toStdString();
  lostWhy_ = port_.errorString().toStdString();
  queued_ += port_.readAll();
  // Closed outside the signal that told of it.
  QTimer::singleShot(0, this, [this] {
    if (port_.isOpen()) port_.close();
    port_.clearError();
    drain();
  });
}

bool SerialGauge::hungUp() {
  if (!port_.isOpen()) return true;
  pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialGauge::drain() {
  if (busy_ && busy_()) {
    retry_.start();
    return;
  }
  if (queued_.isEmpty() && !lost_) return;
  const std::string bytes = queued_.toStdString();
  queued_.clear();
  const bool lost = lost_ && !port_.isOpen();
  act_([this, bytes, lost] {
    // The window's focus counts only where the user moved it since the
    // last batch: the entry's own moves reach it later, if at all (not in a
    // window that is not active), and a stale focus would put the next
    // reading on the box before.
    const int focused = focusedBox_ ? focusedBox_() : -1;
    const int box = focused != lastFocused_ ? focused : -1;
    lastFocused_ = focused;
    if (!bytes.empty()) feed_.bytes(main_, bytes, box, settings_.part);
    if (lost) feed_.lost(main_, lostName_, lostWhy_);
  });
  if (lost) {
    lost_ = false;
    feed_.reset();
  }
}

}  // namespace app
