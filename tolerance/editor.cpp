#include "tolerance/editor.h"

#include <string>

#include "forms/basic.h"
#include "model/form1.h"
#include "tolerance/tables.h"

namespace tolerance {

namespace {

constexpr const char* kNotANumber = "不是有效数字";

}  // namespace

// ------------------------------------------------------------ FrmToler

FrmToler::FrmToler(model::Form1& main) : forms::Form("FrmToler"), main_(main) {}

void FrmToler::build() {
  using forms::Kind;
  setCaption("公差编辑窗口");
  setGeometry(0, 0, 5160, 5235);
  Label1 = &add(Kind::Label, "Label1");
  Label1->setGeometry(240, 150, 4500, 315);
  for (int i = 0; i < 7; ++i) {
    const int top = 600 + i * 420;
    auto& label = i < 6 ? add(Kind::Label, "Label2", nullptr, i)
                        : add(Kind::Label, "Label8");
    label.setGeometry(480, top + 45, 1800, 255);
    if (i < 6)
      Label2[static_cast<size_t>(i)] = &label;
    else
      Label8 = &label;
    auto& box = add(Kind::TextBox, "Text1", nullptr, i);
    box.setGeometry(2400, top, 1500, 315);
    Text1[static_cast<size_t>(i)] = &box;
  }
  Label8->setCaption("Angle");
  ComAccept = &add(Kind::CommandButton, "ComAccept");
  ComAccept->setCaption("确认");
  ComAccept->setGeometry(240, 3720, 1050, 420);
  ComSave = &add(Kind::CommandButton, "ComSave");
  ComSave->setCaption("存盘");
  ComSave->setGeometry(1440, 3720, 1050, 420);
  ComCancel = &add(Kind::CommandButton, "ComCancel");
  ComCancel->setCaption("取消");
  ComCancel->setGeometry(2640, 3720, 1050, 420);
  ComDiv = &add(Kind::CommandButton, "ComDiv");
  ComDiv->setCaption("分段...");
  ComDiv->setGeometry(3840, 3720, 1050, 420);
  ComAccept->Click = [this] { ComAccept_Click(); };
  ComSave->Click = [this] { ComSave_Click(); };
  ComCancel->Click = [this] { ComCancel_Click(); };
  ComDiv->Click = [this] { ComDiv_Click(); };
  Load = [this] { Form_Load(); };
}

void FrmToler::rest() {
  if (!loaded()) return;
  const auto& b = main_.ctx.sizeBounds;
  Label2[0]->setCaption("0-" + forms::SingleText(b[0]));
  for (size_t i = 1; i < 6; ++i)
    Label2[i]->setCaption(forms::SingleText(b[i - 1]) + "-" +
                          forms::SingleText(b[i]));
  for (size_t i = 0; i < 7; ++i)
    Text1[i]->setText(forms::SingleText(main_.ctx.tolValues[i]));
}

void FrmToler::Form_Load() {
  rest();
  Label1->setCaption(main_.OptPlastic->value() ? "塑胶件公差编辑 "
                                               : "铁件公差编辑");
}

void FrmToler::Form_Paint() { Form_Load(); }

bool FrmToler::checkBoxes() {
  for (forms::Control* box : Text1) {
    if (forms::IsNumeric(box->text())) continue;
    main_.ctx.desktop.message(box->text() + kNotANumber, forms::Buttons::Ok,
                              "");
    return false;
  }
  return true;
}

void FrmToler::close() {
  unload();
  main_.ctx.desktop.activateWindow(main_.caption());
}

void FrmToler::ComAccept_Click() {
  if (!checkBoxes()) return;
  for (size_t i = 0; i < 7; ++i)
    main_.ctx.tolValues[i] =
        static_cast<float>(*forms::ParseNumber(Text1[i]->text()));
  close();
}

void FrmToler::ComSave_Click() {
  if (!checkBoxes()) return;
  auto& ctx = main_.ctx;
  std::array<std::string, 7> texts;
  for (size_t i = 0; i < 7; ++i) texts[i] = Text1[i]->text();
  const auto dir = ctx.dataDir();
  const auto table =
      dir / (main_.OptPlastic->value() ? kPlasticFile : kMetalFile);
  // The tables in use change only once both files are written.
  try {
    writeTables(dir / kSizeFile, ctx.sizeBounds, table, texts);
  } catch (const TableError& e) {
    ctx.desktop.message(
        std::string("公差没有保存，原来的文件没有改动。") + e.what(),
        forms::Buttons::Ok, "");
    return;
  }
  for (size_t i = 0; i < 7; ++i)
    ctx.tolValues[i] = static_cast<float>(forms::Val(texts[i]));
  close();
}

void FrmToler::ComCancel_Click() { close(); }

void FrmToler::ComDiv_Click() {
  if (forms::Form* w = main_.ctx.forms.find("div")) w->show();
}

// ------------------------------------------------------------ Div

Div::Div(model::Form1& main, FrmToler& editor)
    : forms::Form("div"), main_(main), editor_(editor) {}

void Div::build() {
  using forms::Kind;
  setCaption("公差分段窗口");
  setGeometry(0, 0, 4440, 4455);
  static const char* const kStart[7] = {"6",   "30",   "120", "300",
                                        "600", "1200", " "};
  for (int i = 0; i < 7; ++i) {
    const size_t k = static_cast<size_t>(i);
    const int top = 240 + i * 450;
    Label1[k] = &add(Kind::Label, "Label1", nullptr, i);
    Label1[k]->setCaption(i == 0 ? "第一段从 0 到：" : "下一段到：");
    Label1[k]->setGeometry(240, top + 45, 1900, 255);
    Text1[k] = &add(Kind::TextBox, "Text1", nullptr, i);
    Text1[k]->setText(kStart[k]);
    Text1[k]->setGeometry(2200, top, 1500, 315);
    Text1[k]->LostFocus = [this, i] { Text1_LostFocus(i); };
    Text1[k]->KeyPress = [this, i](int& key) { Text1_KeyPress(i, key); };
  }
  ComOk = &add(Kind::CommandButton, "ComOk");
  ComOk->setCaption("确认");
  ComOk->setGeometry(600, 3480, 1200, 420);
  ComCancel = &add(Kind::CommandButton, "ComCancel");
  ComCancel->setCaption("取消");
  ComCancel->setGeometry(2400, 3480, 1200, 420);
  ComOk->Click = [this] { ComOk_Click(); };
  ComCancel->Click = [this] { ComCancel_Click(); };
}

void Div::keepNextInOrder(int i) {
  if (i > 5) return;
  forms::Control* here = Text1[static_cast<size_t>(i)];
  forms::Control* next = Text1[static_cast<size_t>(i + 1)];
  if (forms::Val(next->text()) < forms::Val(here->text()))
    next->setText(here->text());
}

void Div::Text1_LostFocus(int i) {
  if (i > 0) {
    forms::Control* before = Text1[static_cast<size_t>(i - 1)];
    forms::Control* here = Text1[static_cast<size_t>(i)];
    if (forms::Val(before->text()) > forms::Val(here->text()))
      here->setText(before->text());
  }
  keepNextInOrder(i);
}

void Div::Text1_KeyPress(int i, int& keyAscii) {
  if (keyAscii == 13) keepNextInOrder(i);
}

void Div::ComOk_Click() {
  for (size_t i = 0; i < 6; ++i) {
    if (forms::IsNumeric(Text1[i]->text())) continue;
    main_.ctx.desktop.message(Text1[i]->text() + kNotANumber,
                              forms::Buttons::Ok, "");
    return;
  }
  for (size_t i = 0; i < 6; ++i)
    main_.ctx.sizeBounds[i] =
        static_cast<float>(*forms::ParseNumber(Text1[i]->text()));
  unload();
  editor_.rest();
}

void Div::ComCancel_Click() {
  unload();
  main_.ctx.desktop.activateWindow(editor_.caption());
}

void ComToler_Click(model::Form1& f) {
  forms::Form* w = f.ctx.forms.find("FrmToler");
  if (!w) return;
  // Shown again, it shows the values in use again.
  if (w->loaded()) {
    if (auto* editor = dynamic_cast<FrmToler*>(w)) editor->Form_Paint();
  }
  w->show();
}

}  // namespace tolerance
