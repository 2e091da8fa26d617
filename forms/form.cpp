#include "forms/form.h"

#include "forms/desktop.h"

namespace forms {

CommonDialog::CommonDialog(Form* form, std::string name)
    : Control(form, form, Kind::CommonDialog, std::move(name), -1) {}

bool CommonDialog::ShowOpen(Desktop& desktop) {
  OpenFileRequest req{Filter, DialogTitle, FileName, {}};
  auto chosen = desktop.openFile(req);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

Form::Form(std::string name)
    : Control(this, nullptr, Kind::Form, std::move(name), -1) {
  setVisible(false);
}

Form::~Form() = default;

Control& Form::add(Kind kind, std::string name, Control* container, int index) {
  controls_.push_back(std::make_unique<Control>(
      this, container ? container : this, kind, std::move(name), index));
  return *controls_.back();
}

CommonDialog& Form::addDialog(std::string name) {
  auto dialog = std::make_unique<CommonDialog>(this, std::move(name));
  CommonDialog& ref = *dialog;
  controls_.push_back(std::move(dialog));
  return ref;
}

Control* Form::find(std::string_view name, int index) const {
  for (const auto& c : controls_)
    if (c->name() == name && c->index() == index) return c.get();
  return nullptr;
}

void Form::load() {
  if (loaded_) return;
  controls_.clear();
  children_.clear();
  lastPopup_.reset();
  build();
  loaded_ = true;
  if (Load) Load();
}

void Form::show() {
  load();
  if (loaded_) setVisible(true);
}

void Form::hide() { setVisible(false); }

void Form::unload() {
  if (!loaded_) return;
  if (QueryUnload && !QueryUnload()) return;
  if (Unload) Unload();
  loaded_ = false;
  focusRequest_ = nullptr;  // its controls go with this life
  setVisible(false);
}

void Form::setHeight(int twips) {
  bool changed = twips != height();
  Control::setHeight(twips);
  if (changed && loaded_ && Resize) Resize();
}

void Form::resizeTo(int width, int height) {
  bool changed = width != this->width() || height != this->height();
  setWidth(width);
  Control::setHeight(height);
  if (changed && loaded_ && Resize) Resize();
}

void Form::popupMenu(Control& menu, float x, float y) {
  lastPopup_ = Popup{menu.name(), x, y};
  if (popupHandler) popupHandler(menu, x, y);
}

Form* FormSet::find(std::string_view name) const {
  for (Form* f : forms_)
    if (f->name() == name) return f;
  return nullptr;
}

const char* ButtonsName(Buttons b) {
  switch (b) {
    case Buttons::Ok:
      return "ok";
    case Buttons::YesNo:
      return "yesno";
    case Buttons::SaveDiscardCancel:
      return "savediscardcancel";
  }
  return "?";
}

const char* AnswerName(Answer a) {
  switch (a) {
    case Answer::Ok:
      return "ok";
    case Answer::Yes:
      return "yes";
    case Answer::No:
      return "no";
    case Answer::Save:
      return "save";
    case Answer::Discard:
      return "discard";
    case Answer::Cancel:
      return "cancel";
  }
  return "ok";
}

}  // namespace forms
