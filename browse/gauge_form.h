// "量具端口": the settings of a gauge on a serial port, and connecting it.
#pragma once

#include <optional>
#include <string>

#include "browse/gauge.h"
#include "forms/form.h"

namespace model {
class Form1;
}  // namespace model

namespace browse {

class FrmGauge : public forms::Form {
 public:
  explicit FrmGauge(model::Form1& main);

  // The port this window connects; null where the program has none.
  GaugePort* port = nullptr;

  forms::Control* Label1 = nullptr;
  forms::Control* txtPort = nullptr;
  forms::Control* Label2 = nullptr;
  forms::Control* cboFound = nullptr;
  forms::Control* Label3 = nullptr;
  forms::Control* cboBaud = nullptr;
  forms::Control* Label4 = nullptr;
  forms::Control* cboData = nullptr;
  forms::Control* Label5 = nullptr;
  forms::Control* cboParity = nullptr;
  forms::Control* Label6 = nullptr;
  forms::Control* cboStop = nullptr;
  forms::Control* Label7 = nullptr;
  forms::Control* cboPart = nullptr;
  forms::Control* txtPart = nullptr;
  forms::Control* lblState = nullptr;
  forms::Control* ComConnect = nullptr;
  forms::Control* ComDisconnect = nullptr;
  forms::Control* ComClose = nullptr;

  void Form_Load();
  void cboFound_Click();
  void ComConnect_Click();
  void ComDisconnect_Click();
  // The state line and the buttons as the port stands.
  void showState();
  // What the controls say; nothing, with the reason, when they say it
  // wrongly.
  std::optional<GaugeSettings> chosen(std::string& refusal) const;

 protected:
  void build() override;

 private:
  void showSettings(const GaugeSettings& s);
  model::Form1& main_;
};

// "量具端口…": the settings window.
void mnuGauge_Click(model::Form1& f);

}  // namespace browse
