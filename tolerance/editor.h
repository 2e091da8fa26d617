// The tolerance editor window and the size-range editor.
#pragma once

#include <array>

#include "forms/form.h"

namespace model {
class Form1;
}  // namespace model

namespace tolerance {

// "公差编辑窗口": the general tolerances of the material chosen in the main
// window, one per size range and one for angles.
class FrmToler : public forms::Form {
 public:
  explicit FrmToler(model::Form1& main);

  forms::Control* Label1 = nullptr;
  std::array<forms::Control*, 6> Label2{};
  forms::Control* Label8 = nullptr;
  std::array<forms::Control*, 7> Text1{};
  forms::Control* ComAccept = nullptr;
  forms::Control* ComSave = nullptr;
  forms::Control* ComCancel = nullptr;
  forms::Control* ComDiv = nullptr;

  // Fills the grid from the bounds and tolerances in use.
  void rest();
  void Form_Load();
  // The window shown again: the boxes show the values in use again.
  void Form_Paint();
  void ComAccept_Click();
  void ComSave_Click();
  void ComCancel_Click();
  void ComDiv_Click();

 protected:
  void build() override;

 private:
  // The first box that is no number, reported; false when all are.
  bool checkBoxes();
  void close();

  model::Form1& main_;
};

// "公差分段窗口": the upper bounds of the six size ranges.
class Div : public forms::Form {
 public:
  Div(model::Form1& main, FrmToler& editor);

  std::array<forms::Control*, 7> Label1{};
  std::array<forms::Control*, 7> Text1{};
  forms::Control* ComOk = nullptr;
  forms::Control* ComCancel = nullptr;

  void Text1_LostFocus(int i);
  void Text1_KeyPress(int i, int& keyAscii);
  void ComOk_Click();
  void ComCancel_Click();

 protected:
  void build() override;

 private:
  // Box i+1 raised to box i when it reads less.
  void keepNextInOrder(int i);

  model::Form1& main_;
  FrmToler& editor_;
};

void ComToler_Click(model::Form1& f);

}  // namespace tolerance
