#include "app/help.h"

#include <unistd.h>

#include <sstream>

#include "model/form1.h"

namespace app {

namespace fs = std::filesystem;

// ------------------------------------------------------------ help

FrmHelp::FrmHelp(model::AppContext& ctx) : forms::Form("frmHELP"), ctx_(ctx) {}

void FrmHelp::build() {
  setCaption("尺寸帮助");
  setGeometry(0, 0, 12000, 9000);
  sizable = true;
  WebBrowser1 = &add(forms::Kind::WebBrowser, "WebBrowser1");
  WebBrowser1->setGeometry(100, 0, 11800, 8600);
  Load = [this] { Form_Load(); };
  Resize = [this] { Form_Resize(); };
}

void FrmHelp::Form_Load() {
  WebBrowser1->setTop(0);
  WebBrowser1->setWidth(width() - 200);
  WebBrowser1->setHeight(height() - 400);
  WebBrowser1->setText(
      (ctx_.dataDir() / "DIMENHELP.files" / "frame.htm").string());
}

void FrmHelp::Form_Resize() {
  if (width() > 200) WebBrowser1->setWidth(width() - 200);
  if (height() > 400) WebBrowser1->setHeight(height() - 400);
}

// ------------------------------------------------------------ About

FrmAbout::FrmAbout(model::AppContext& ctx)
    : forms::Form("frmAbout"), ctx_(ctx) {}

void FrmAbout::build() {
  using forms::Kind;
  setCaption("关于");
  setGeometry(0, 0, 6480, 4300);
  lblTitle = &add(Kind::Label, "lblTitle");
  lblTitle->setCaption("DimMark 尺寸检测");
  lblTitle->setGeometry(1200, 240, 4800, 315);
  lblVersion = &add(Kind::Label, "lblVersion");
  lblVersion->setCaption("版本：V1.0");
  lblVersion->setGeometry(1200, 600, 4800, 255);
  Text1 = &add(Kind::TextBox, "Text1");
  Text1->setMultiLine(true);
  Text1->setLocked(true);
  Text1->setGeometry(240, 1020, 5880, 1860);
  static const char* const kLines[6] = {
      "介绍：用于统计，查询AutoCAD图档中的标注尺寸及公差",
      "，为尺寸编号，并将尺寸值、公差值，尺寸在图档中的",
      "位置等信息传送到EXCEL 报表中；为用户已经标号的AutoCAD图档关联相应的"
      "尺寸值；同时提供产品尺寸的",
      "实际测量值与测量仪器输入界面，输入测量值与测量仪",
      "器则可以传送到EXCEL报表中，最终生成FAI测量报告和",
      "选定尺寸的CPK报表。"};
  std::string text;
  for (const char* line : kLines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  Text1->setText(text);
  cmdOK = &add(Kind::CommandButton, "cmdOK");
  cmdOK->setCaption("退出");
  cmdOK->setGeometry(4680, 3060, 1440, 420);
  cmdSysInfo = &add(Kind::CommandButton, "cmdSysInfo");
  cmdSysInfo->setCaption("系统信息(&s)...");
  cmdSysInfo->setGeometry(2940, 3060, 1620, 420);
  cmdOK->Click = [this] { unload(); };
  cmdSysInfo->Click = [this] { StartSysInfo(); };
}

std::string findSysInfoTool(const std::string& path) {
  // The desktop's own tools for what the machine is and has.
  static const char* const kTools[] = {"hardinfo", "gnome-system-monitor",
                                       "ksysguard", "xfce4-taskmanager"};
  for (const char* tool : kTools) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      if (dir.empty()) continue;
      fs::path candidate = fs::path(dir) / tool;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
  }
  return {};
}

void FrmAbout::StartSysInfo() {
  const char* path = std::getenv("PATH");
  const std::string tool = findSysInfoTool(path ? path : "");
  if (tool.empty() || !launch || !launch(tool))
    ctx_.desktop.message("此时系统信息不可用", forms::Buttons::Ok, "");
}

// ------------------------------------------------------------ buttons

void ComAbout_Click(Form1& f) {
  if (forms::Form* w = f.ctx.forms.find("frmAbout")) w->show();
}

void ComHELP_Click(Form1& f) {
  if (forms::Form* w = f.ctx.forms.find("frmHELP")) w->show();
}

}  // namespace app
