// Choosing and opening a drawing from the file frame, and the file type
// window.
#pragma once

#include <string>

#include "forms/form.h"

namespace model {
class Form1;
}  // namespace model

namespace intake {

// Where a drawing's database lies: its path minus the last four characters
// (counted as characters, not bytes), plus ".mdb". Raises
// std::length_error for a name shorter than that.
std::string databasePath(const std::string& fileName);

// The file type window: a native drawing, or one converted from an older
// Pro/E release whose number of decimals is chosen by hand.
class Form2 : public forms::Form {
 public:
  explicit Form2(model::Form1& main);

  forms::Control* Option1 = nullptr;
  forms::Control* Option2 = nullptr;
  forms::Control* Label1 = nullptr;
  forms::Control* Combo1 = nullptr;
  forms::Control* Command1 = nullptr;

  void Form_Load();
  void Option_Click();
  void Combo1_Click();
  void Command1_Click();

 protected:
  void build() override;

 private:
  model::Form1& main_;
};

// DWG and DXF together first, then each alone.
inline constexpr const char* kDrawingFilter =
    "图纸|*.dwg;*.dxf|DWG 图纸|*.dwg|DXF 图纸|*.dxf";

void Com1_Click(model::Form1& f);
// Before a drawing is opened: the drawing in hand and the workbooks shown,
// if they have unsaved changes, are saved or given up as the user says
// (保存 / 不保存 / 取消), in one question naming them all.
enum class OpenChoice { NothingToSave, Saved, Discard, Cancel };
OpenChoice saveBeforeOpening(model::Form1& f);
// The drawing in hand was saved under another name: its database is copied
// beside it (when none lies there) and the program follows it there.
void drawingSavedAs(model::Form1& f, const std::string& path);
// "确定": true when the drawing was opened (nothing of the one before
// stays on show then).
bool Com2_Click(model::Form1& f);
// Runs the file dialog and folds the window back to the file frame.
void openfile(model::Form1& f);
// Opens the drawing and reads its dimensions and texts; true once it is
// open.
bool acd(model::Form1& f);
// Reads the open drawing afresh as one new to the program (its database
// holding no rows): every dimension and text of model space.
void readAsNew(model::Form1& f);

// The arrays of the other panels, sized for positions up to dimCount;
// nothing of the drawing before is shown or kept for this one.
void sizeMarkArrays(model::Form1& f);

// Closes the dimension database at exit; a connection never opened is
// skipped.
void closeConnection(model::Form1& f);

}  // namespace intake
