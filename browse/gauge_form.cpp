#include "browse/gauge_form.h"

#include <algorithm>
#include <array>

#include "base/text.h"
#include "forms/desktop.h"
#include "model/form1.h"

namespace browse {

using forms::Kind;

namespace {

constexpr std::array<int, 8> kBauds = {1200,  2400,  4800,  9600,
                                       19200, 38400, 57600, 115200};
constexpr std::array<const char*, 3> kParities = {"无", "偶校验", "奇校验"};
constexpr std::array<const char*, 3> kStops = {"1", "1.5", "2"};
constexpr std::array<const char*, 3> kParts = {"整行", "第几个字段",
                                               "第几个字符起"};
constexpr std::array<ReadingPart::Mode, 3> kPartModes = {
    ReadingPart::Mode::Line, ReadingPart::Mode::Field,
    ReadingPart::Mode::Columns};

}  // namespace

FrmGauge::FrmGauge(model::Form1& main) : forms::Form("FrmGauge"), main_(main) {}

void FrmGauge::build() {
  setCaption("量具端口");
  setGeometry(0, 0, 5700, 4700);
  struct Row {
    forms::Control** label;
    const char* labelName;
    const char* caption;
    forms::Control** box;
    const char* boxName;
    Kind kind;
    int width;
  };
  int top = 240;
  for (const Row& r : {Row{&Label1, "Label1", "端口：", &txtPort, "txtPort",
                           Kind::TextBox, 3800},
                       Row{&Label2, "Label2", "找到的端口：", &cboFound,
                           "cboFound", Kind::ComboBox, 3800},
                       Row{&Label3, "Label3", "波特率：", &cboBaud, "cboBaud",
                           Kind::ComboBox, 1600},
                       Row{&Label4, "Label4", "数据位：", &cboData, "cboData",
                           Kind::ComboBox, 1600},
                       Row{&Label5, "Label5", "校验：", &cboParity, "cboParity",
                           Kind::ComboBox, 1600},
                       Row{&Label6, "Label6", "停止位：", &cboStop, "cboStop",
                           Kind::ComboBox, 1600},
                       Row{&Label7, "Label7", "读数：", &cboPart, "cboPart",
                           Kind::ComboBox, 2000}}) {
    *r.label = &add(Kind::Label, r.labelName);
    (*r.label)->setCaption(r.caption);
    (*r.label)->setGeometry(240, top + 60, 1400, 255);
    *r.box = &add(r.kind, r.boxName);
    (*r.box)->setGeometry(1650, top, r.width, 315);
    top += 420;
  }
  txtPart = &add(Kind::TextBox, "txtPart");
  txtPart->setGeometry(3750, 240 + 6 * 420, 1700, 315);
  txtPart->setToolTipText(
      "字段：2，或 -1 为最后一个；字符：4-13，或 4- 到行尾");
  lblState = &add(Kind::Label, "lblState");
  lblState->setGeometry(240, top + 60, 5200, 255);
  top += 480;
  struct B {
    forms::Control** slot;
    const char* name;
    const char* caption;
    int left;
  };
  for (const B& b : {B{&ComConnect, "ComConnect", "连接", 240},
                     B{&ComDisconnect, "ComDisconnect", "断开", 1990},
                     B{&ComClose, "ComClose", "关闭", 3740}}) {
    *b.slot = &add(Kind::CommandButton, b.name);
    (*b.slot)->setCaption(b.caption);
    (*b.slot)->setGeometry(b.left, top, 1500, 420);
  }
  ComConnect->setDefault(true);
  ComClose->setCancel(true);
  Load = [this] { Form_Load(); };
  cboFound->Click = [this] { cboFound_Click(); };
  cboPart->Click = [this] { txtPart->setEnabled(cboPart->listIndex() > 0); };
  ComConnect->Click = [this] { ComConnect_Click(); };
  ComDisconnect->Click = [this] { ComDisconnect_Click(); };
  ComClose->Click = [this] { hide(); };
}

void FrmGauge::Form_Load() {
  for (int b : kBauds) cboBaud->addItem(std::to_string(b));
  for (int d = 5; d <= 8; ++d) cboData->addItem(std::to_string(d));
  for (const char* p : kParities) cboParity->addItem(p);
  for (const char* s : kStops) cboStop->addItem(s);
  for (const char* p : kParts) cboPart->addItem(p);
  if (port)
    for (const auto& name : port->available()) cboFound->addItem(name);
  showSettings(loadGaugeSettings(main_.ctx.desktop));
  showState();
}

void FrmGauge::showSettings(const GaugeSettings& s) {
  txtPort->setText(s.port);
  const auto baud = std::find(kBauds.begin(), kBauds.end(), s.baud);
  cboBaud->setListIndex(
      baud == kBauds.end() ? 3 : static_cast<int>(baud - kBauds.begin()));
  cboData->setListIndex(s.dataBits - 5);
  cboParity->setListIndex(static_cast<int>(s.parity));
  cboStop->setListIndex(static_cast<int>(s.stopBits));
  const auto mode =
      std::find(kPartModes.begin(), kPartModes.end(), s.part.mode);
  cboPart->setListIndex(static_cast<int>(mode - kPartModes.begin()));
  txtPart->setText(whereText(s.part));
}

std::optional<GaugeSettings> FrmGauge::chosen(std::string& refusal) const {
  GaugeSettings s;
  s.port = std::string(base::trimmed(txtPort->text()));
  if (s.port.empty()) {
    refusal = "请填写量具所接的端口，例如 /dev/ttyUSB0。";
    return std::nullopt;
  }
  const int baud = cboBaud->listIndex();
  s.baud = kBauds[static_cast<std::size_t>(std::clamp(baud, 0, 7))];
  s.dataBits = std::clamp(cboData->listIndex(), 0, 3) + 5;
  s.parity = static_cast<GaugeSettings::Parity>(
      std::clamp(cboParity->listIndex(), 0, 2));
  s.stopBits = static_cast<GaugeSettings::StopBits>(
      std::clamp(cboStop->listIndex(), 0, 2));
  const auto mode = kPartModes[static_cast<std::size_t>(
      std::clamp(cboPart->listIndex(), 0, 2))];
  const auto part =
      readingPartOf(modeName(mode), base::trimmed(txtPart->text()));
  if (!part) {
    refusal = "读数位置“" + txtPart->text() +
              "”不对：字段填 2（或 -1 为最后一个），字符填 4-13（或 4- "
              "到行尾）。";
    return std::nullopt;
  }
  s.part = *part;
  return s;
}

void FrmGauge::cboFound_Click() {
  const int i = cboFound->listIndex();
  if (i >= 0 && i < cboFound->listCount())
    txtPort->setText(cboFound->list()[static_cast<std::size_t>(i)]);
}

void FrmGauge::ComConnect_Click() {
  auto& desktop = main_.ctx.desktop;
  std::string refusal;
  const auto s = chosen(refusal);
  if (!s) {
    desktop.message(refusal, forms::Buttons::Ok, "");
    return;
  }
  saveGaugeSettings(desktop, *s);
  if (!port) {
    desktop.message("这里没有量具端口可以连接。", forms::Buttons::Ok, "");
    return;
  }
  const std::string why = port->open(*s);
  if (!why.empty())
    desktop.message("量具端口“" + s->port + "”打不开：" + why,
                    forms::Buttons::Ok, "");
  showState();
  // Connected: the readings go to the sample boxes from now on.
  if (why.empty()) hide();
}

void FrmGauge::ComDisconnect_Click() {
  if (port) port->close();
  showState();
}

void FrmGauge::showState() {
  const std::string open = port ? port->openName() : std::string();
  lblState->setCaption(open.empty() ? "未连接" : "已连接：" + open);
  ComDisconnect->setEnabled(!open.empty());
  txtPart->setEnabled(cboPart->listIndex() > 0);
}

void mnuGauge_Click(model::Form1& f) {
  if (forms::Form* w = f.ctx.forms.find("FrmGauge")) {
    w->show();
    if (auto* g = dynamic_cast<FrmGauge*>(w)) g->showState();
  }
}

}  // namespace browse
