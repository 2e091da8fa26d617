// The whole program without its windows: the context, the splash and the
// main window. The Qt program and the command-line tool both run this.
#pragma once

#include <filesystem>

#include "app/help.h"
#include "browse/gauge_form.h"
#include "browse/import_form.h"
#include "forms/form.h"
#include "intake/opening.h"
#include "marking/adopt.h"
#include "marking/zonegrid.h"
#include "model/context.h"
#include "model/form1.h"
#include "tolerance/editor.h"

namespace app {

using model::AppContext;
using model::Form1;

// The splash window: its timer brings the program up.
class FrmDimen : public forms::Form {
 public:
  FrmDimen(AppContext& ctx, Form1& main);

  forms::Control* Label1 = nullptr;  // company
  forms::Control* Label2 = nullptr;  // "开始启动..."
  forms::Control* Timer1 = nullptr;

  void Timer1_Timer();

 protected:
  void build() override;

 private:
  AppContext& ctx_;
  Form1& main_;
};

class Program {
 public:
  Program(forms::Desktop& desktop, cadhost::HostFactory cad,
          sheethost::SheetFactory sheets, std::filesystem::path programDir);

  AppContext ctx;
  Form1 main;
  FrmDimen splash;
  intake::Form2 form2;
  marking::Frmlocation frmlocation;
  marking::Markfrm markfrm;
  tolerance::FrmToler frmToler;
  tolerance::Div div;
  FrmHelp frmHelp;
  FrmAbout frmAbout;
  browse::FrmGauge frmGauge;
  browse::FrmImport frmImport;

  // Shows the splash; its timer does the rest.
  void start();

  void reportFailure(const std::exception& e);
  // The program's end: no window stays.
  void endProgram();

  // Runs one user action or timer tick. Returns false once the program has
  // ended (in this action or before).
  template <typename F>
  bool run(F&& action) {
    if (ctx.ended) return false;
    try {
      action();
    } catch (const forms::ProgramEnd&) {
      endProgram();
    } catch (const std::exception& e) {
      // A failure no handler provides for is shown, and the program goes on.
      reportFailure(e);
    }
    return !ctx.ended;
  }
};

}  // namespace app
