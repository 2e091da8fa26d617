// The main window's handlers that reach into the subsystems: the wiring
// of every control to its handler, the load and the exit.
#include "app/shell.h"

#include <filesystem>
#include <string>
#include <vector>

#include "app/help.h"
#include "browse/browser.h"
#include "browse/entry_keys.h"
#include "browse/gauge_form.h"
#include "browse/import_form.h"
#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "intake/characteristics.h"
#include "intake/opening.h"
#include "marking/drawing_state.h"
#include "marking/marking.h"
#include "reports/fai.h"
#include "tolerance/editor.h"
#include "tolerance/tables.h"

namespace app {

void wireForm1(Form1& f) {
  f.Load = [&f] { Form_Load(f); };
  f.QueryUnload = [&f] { return confirmExit(f); };
  f.Unload = [&f] { exitProgram(f); };
  f.Resize = [&f] { f.Form_Resize(); };
  f.Timer1->Timer = [&f] { f.Timer1_Timer(); };
  f.ComExit->Click = [&f] { ComExit_Click(f); };
  f.ComAbout->Click = [&f] { ComAbout_Click(f); };
  f.ComHELP->Click = [&f] { ComHELP_Click(f); };

  f.Com1->Click = [&f] { intake::Com1_Click(f); };
  f.Com2->Click = [&f] {
    if (intake::Com2_Click(f)) marking::drawingOpened(f);
  };
  f.AcadDoc_Undo = [&f] { marking::drawingUndone(f); };
  f.ComToler->Click = [&f] { tolerance::ComToler_Click(f); };
  f.OptPlastic->Click = [&f] { tolerance::materialChanged(f); };
  f.OptMetal->Click = [&f] { tolerance::materialChanged(f); };

  f.comSort->Click = [&f] { marking::comSort_Click(f); };
  f.ComPart->Click = [&f] { marking::ComPart_Click(f); };
  f.ComFree->Click = [&f] { marking::ComFree_Click(f); };
  f.ComHadmark->Click = [&f] { marking::ComHadmark_Click(f); };
  f.ComLdefine->Click = [&f] { marking::ComLdefine_Click(f); };
  f.CheChars->Click = [&f] { intake::CheChars_Click(f); };

  f.Combo1->Click = [&f] { browse::Combo1_Click(f); };
  f.ComFirst->Click = [&f] { browse::ComFirst_Click(f); };
  f.ComProious->Click = [&f] { browse::ComProious_Click(f); };
  f.ComNext->Click = [&f] { browse::ComNext_Click(f); };
  f.ComLast->Click = [&f] { browse::ComLast_Click(f); };
  f.ComSearch->Click = [&f] { browse::ComSearch_Click(f); };
  f.ComFind->Click = [&f] { browse::ComFind_Click(f); };
  f.ComReview->Click = [&f] { browse::ComReview_Click(f); };
  f.Combo2->Click = [&f] { browse::Combo2_Click(f); };
  f.Combo3->Click = [&f] {
    browse::Combo3_Click(f);
    browse::showResults(f);
  };
  // A sample typed shows on its mark, and an NG one in its box, at once.
  for (forms::Control* box : f.Text7)
    box->Change = [&f] {
      browse::showResults(f);
      browse::colourSamples(f);
    };
  for (forms::Control* box : f.Combo4)
    box->Click = [&f] { browse::showResults(f); };
  f.CheCont->Click = [&f] { browse::CheCont_Click(f); };
  f.OptByDimension->Click = [&f] { browse::orderChosen(f); };
  f.OptBySample->Click = [&f] { browse::orderChosen(f); };
  for (int i = 0; i < static_cast<int>(f.Text7.size()); ++i)
    f.Text7[static_cast<size_t>(i)]->KeyPress = [&f, i](int& key) {
      browse::Text7_KeyPress(f, i, key);
    };

  f.ComOK->Click = [&f] { reports::ComOk_Click(f); };
  f.ComFresh->Click = [&f] { reports::ComFresh_Click(f); };
  f.ComCPK->Click = [&f] { reports::ComCPK_Click(f); };

  f.FrmInput->MouseDown = [&f](int b, int s, float x, float y) {
    f.FrmInput_MouseDown(b, s, x, y);
  };
  f.FrmSort->MouseDown = [&f](int b, int s, float x, float y) {
    f.FrmSort_MouseDown(b, s, x, y);
  };
  f.MouseDown = [&f](int b, int s, float x, float y) {
    f.Form_MouseDown(b, s, x, y);
  };

  // Menu items that run a button's click operation, whatever the button's
  // own state: the item's enabled state is all that guards them.
  auto forward = [](forms::Control* item, forms::Control* button) {
    item->Click = [button] {
      if (button->Click) button->Click();
    };
  };
  forward(f.mnufirst, f.ComFirst);
  forward(f.mnuPr, f.ComProious);
  forward(f.mnuNext, f.ComNext);
  forward(f.mnuLast, f.ComLast);
  forward(f.mnuReviw, f.ComReview);
  forward(f.mnuFAI, f.ComOK);
  forward(f.mnuFresh, f.ComFresh);
  forward(f.mnuCPK, f.ComCPK);
  forward(f.mnuAutomark, f.comSort);
  forward(f.mnuPartmark, f.ComPart);
  forward(f.mnuFreemark, f.ComFree);
  forward(f.mnuHadmark, f.ComHadmark);
  f.mnuImport->Click = [&f] { browse::mnuImport_Click(f); };
  f.mnuGauge->Click = [&f] { browse::mnuGauge_Click(f); };
  f.mnuUndo->Click = [&f] { marking::mnuUndo_Click(f); };
  f.mnuScalemax->Click = [&f] { marking::mnuScalemax_Click(f); };
  f.mnuScalemin->Click = [&f] { marking::mnuScalemin_Click(f); };
  f.mnuMovemark->Click = [&f] { marking::mnuMovemark_Click(f); };
  f.mnuColor->Click = [&f] { marking::mnuColor_Click(f); };
  f.mnuLayout->Click = [&f] { marking::mnuLayout_Click(f); };
}

void Form_Load(Form1& f) {
  tolerance::read(f);
  for (int i = 1; i <= 5; ++i) f.Combo3->addItem(std::to_string(i));
  for (int i = 0; i <= 7; ++i) f.CSearch1->addItem(std::to_string(i));
  for (int i = 0; i <= 9; ++i) {
    f.CSearch2->addItem(std::to_string(i));
    f.CSearch3->addItem(std::to_string(i));
  }
  f.CSearch1->setListIndex(0);
  f.CSearch2->setListIndex(0);
  f.CSearch3->setListIndex(0);
  f.setHeight(f.Frame2->height() + f.Picture1->height() + 350);
  f.marqueeTicks = 0;
  f.marqueeStep = -15;
  f.cpkColumn = 2;
  f.freeNext = 1;
  f.lastReviewed = 1;
  f.highlightColor = 1;
  f.ctx.zoneColumnCount = 8;
  f.ctx.zoneRowCount = 4;
  f.ctx.zoneColumnFirst = "1";
  f.ctx.zoneColumnLast = "8";
  f.ctx.zoneRowFirst = "A";
  f.ctx.zoneRowLast = "D";
  for (const char* c :
       {"1.红", "2.黄", "3.绿", "4.青", "5.蓝", "6.紫", "7.黑/白"})
    f.Combo2->addItem(c);
  // As the user left it the last time; off until then.
  if (auto v =
          f.ctx.desktop.setting(std::string(intake::kCharacteristicsSetting)))
    f.CheChars->setValue(*v == "1" ? 1 : 0);
  browse::loadEntrySettings(f);
  // The first thing to do is choosing a drawing.
  f.Com1->SetFocus();
}

namespace {

bool sheetsShowing(const Form1& f) {
  try {
    return f.excelApp && f.excelApp->Visible();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool confirmExit(Form1& f) {
  auto& ctx = f.ctx;
  std::vector<std::string> names;
  bool drawingUnsaved = false;
  try {
    if (ctx.cadDoc && !ctx.cadDoc->Saved()) {
      drawingUnsaved = true;
      names.push_back(
          std::filesystem::path(ctx.cadDoc->FullName()).filename().string() +
          "（图纸）");
    }
  } catch (const std::exception&) {
  }
  std::vector<sheethost::WorkbookRef> books;
  if (sheetsShowing(f)) {
    for (const auto& b : {f.faiBook, f.cpkBook}) {
      try {
        if (b && !b->Saved()) {
          books.push_back(b);
          names.push_back(b->Name() + "（报表）");
        }
      } catch (const std::exception&) {
      }
    }
  }
  if (names.empty()) return true;
  std::string text = "以下文件有没保存的修改：";
  for (const auto& n : names) text += "\n    " + n;
  text += "\n退出之前是否保存？";
  const forms::Answer a =
      ctx.desktop.message(text, forms::Buttons::SaveDiscardCancel, "");
  if (a == forms::Answer::Cancel) return false;
  if (a == forms::Answer::Discard) {
    // Given up: closed here, so nothing asks about it again on the way out.
    if (drawingUnsaved) {
      forms::resumeNext([&] { ctx.cadDoc->SetClosedHandler(nullptr); });
      forms::resumeNext([&] { ctx.cadDoc->Close(); });
    }
    return true;
  }
  // 保存: every file, or no exit; a save the user cancels keeps the program.
  try {
    if (drawingUnsaved && !ctx.cadDoc->Save()) return false;
    for (const auto& b : books)
      if (!b->Save()) return false;
  } catch (const std::exception& e) {
    ctx.desktop.message(std::string("保存失败，程序没有退出：") + e.what(),
                        forms::Buttons::Ok, "");
    return false;
  }
  return true;
}

void ComExit_Click(Form1& f) {
  if (!confirmExit(f)) return;
  exitProgram(f);
}

void exitProgram(Form1& f) {
  // Every step is tried; one that fails is skipped.
  if (f.ctx.cadDoc) {
    try {
      // Quitting closes the drawing: that is no news to the user.
      f.ctx.cadDoc->SetClosedHandler(nullptr);
    } catch (const std::exception&) {
    }
  }
  try {
    if (f.ctx.cadApp) f.ctx.cadApp->Quit();
  } catch (const std::exception&) {
  }
  f.ctx.modelSpace = nullptr;
  f.ctx.cadDoc.reset();
  f.ctx.cadApp.reset();
  intake::closeConnection(f);
  f.dimRs.reset();
  f.dbConn.reset();
  f.ctx.ended = true;
  throw forms::ProgramEnd{};
}

}  // namespace app
