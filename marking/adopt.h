// Adopting the marks a drawing already holds: "标号特征窗口", in which the
// user says whether the number texts are told by their colour or by their
// layer.
#pragma once

#include <string>

#include "forms/form.h"

namespace model {
class Form1;
}  // namespace model

namespace marking {

class Markfrm : public forms::Form {
 public:
  explicit Markfrm(model::Form1& main);

  forms::Control* Label1 = nullptr;
  forms::Control* Optcolor = nullptr;
  forms::Control* Optlayout = nullptr;
  forms::Control* ComConfirm = nullptr;
  forms::Control* ComCancel = nullptr;

  // CECOLOR or CLAYER as read at the last confirmation.
  std::string markSetting;

  void ComConfirm_Click();
  void ComCancel_Click();

 protected:
  void build() override;

 private:
  model::Form1& main_;
};

// Sorts the adopted marks by number, writes their rows and fills the
// browse list.
void re(model::Form1& f);

}  // namespace marking
