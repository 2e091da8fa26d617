// The help and About windows.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "forms/form.h"

namespace model {
class Form1;
struct AppContext;
}  // namespace model

namespace app {
using model::Form1;

// "尺寸帮助": the help pages of the data folder in an HTML view.
class FrmHelp : public forms::Form {
 public:
  explicit FrmHelp(model::AppContext& ctx);

  forms::Control* WebBrowser1 = nullptr;

  void Form_Load();
  void Form_Resize();

 protected:
  void build() override;

 private:
  model::AppContext& ctx_;
};

// "关于": title, version and what the program does.
class FrmAbout : public forms::Form {
 public:
  explicit FrmAbout(model::AppContext& ctx);

  forms::Control* lblTitle = nullptr;
  forms::Control* lblVersion = nullptr;
  forms::Control* Text1 = nullptr;
  forms::Control* cmdOK = nullptr;
  forms::Control* cmdSysInfo = nullptr;

  void StartSysInfo();

  // Starts a program of the desktop without waiting for it; false when it
  // cannot be started. The window program sets it; without it nothing
  // starts.
  std::function<bool(const std::string& program)> launch;

 protected:
  void build() override;

 private:
  model::AppContext& ctx_;
};

// The system-information tools looked for, in order, on the PATH given.
std::string findSysInfoTool(const std::string& path);

void ComAbout_Click(Form1& f);
void ComHELP_Click(Form1& f);

}  // namespace app
