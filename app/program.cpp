#include "app/program.h"

#include "app/shell.h"
#include "tolerance/tables.h"

namespace app {

FrmDimen::FrmDimen(AppContext& ctx, Form1& main)
    : forms::Form("FrmDimen"), ctx_(ctx), main_(main) {}

void FrmDimen::build() {
  setCaption("DimMark");
  setGeometry(0, 0, 5400, 2700);
  Label1 = &add(forms::Kind::Label, "Label1");
  Label1->setCaption("DimMark");
  Label1->setGeometry(600, 600, 4200, 600);
  Label2 = &add(forms::Kind::Label, "Label2");
  Label2->setCaption("开始启动...");
  Label2->setGeometry(600, 1500, 4200, 375);
  Timer1 = &add(forms::Kind::Timer, "Timer1");
  Timer1->setInterval(300);
  Timer1->Timer = [this] { Timer1_Timer(); };
}

void FrmDimen::Timer1_Timer() {
  auto fail = [this](const std::string& text) {
    ctx_.desktop.message(text, forms::Buttons::Ok, "");
    // A host created before the failure is not left behind.
    try {
      if (ctx_.cadApp) ctx_.cadApp->Quit();
    } catch (const std::exception&) {
    }
    ctx_.cadApp.reset();
    ctx_.ended = true;
    throw forms::ProgramEnd{};
  };
  try {
    ctx_.cadApp = ctx_.cadFactory("AutoCAD.APPLICATION");
    if (!ctx_.cadApp) throw cadhost::HostError("no CAD host");
    main_.show();
    unload();
  } catch (const forms::ProgramEnd&) {
    try {
      if (ctx_.cadApp) ctx_.cadApp->Quit();
    } catch (const std::exception&) {
    }
    ctx_.cadApp.reset();
    throw;
  } catch (const tolerance::TableError& e) {
    fail(e.what());
  } catch (const std::exception&) {
    fail("Please confirm you installed it right!");
  }
}

Program::Program(forms::Desktop& desktop, cadhost::HostFactory cad,
                 sheethost::SheetFactory sheets,
                 std::filesystem::path programDir)
    : ctx(desktop, std::move(cad), std::move(sheets), std::move(programDir)),
      main(ctx),
      splash(ctx, main),
      form2(main),
      frmlocation(main),
      markfrm(main),
      frmToler(main),
      div(main, frmToler),
      frmHelp(ctx),
      frmAbout(ctx),
      frmGauge(main),
      frmImport(main) {
  main.wiring = wireForm1;
  ctx.forms.add(splash);
  ctx.forms.add(main);
  ctx.forms.add(form2);
  ctx.forms.add(frmlocation);
  ctx.forms.add(markfrm);
  ctx.forms.add(frmToler);
  ctx.forms.add(div);
  ctx.forms.add(frmHelp);
  ctx.forms.add(frmAbout);
  ctx.forms.add(frmGauge);
  ctx.forms.add(frmImport);
}

void Program::start() { splash.show(); }

void Program::endProgram() {
  ctx.ended = true;
  for (forms::Form* f : ctx.forms.all()) f->setVisible(false);
}

void Program::reportFailure(const std::exception& e) {
  try {
    ctx.desktop.message(std::string("程序错误：") + e.what(),
                        forms::Buttons::Ok, "");
  } catch (const std::exception&) {
  }
}

}  // namespace app
