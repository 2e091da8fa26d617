#include "forms/control.h"

#include "forms/form.h"

namespace forms {

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Form:
      return "Form";
    case Kind::Frame:
      return "Frame";
    case Kind::PictureBox:
      return "PictureBox";
    case Kind::Label:
      return "Label";
    case Kind::CommandButton:
      return "CommandButton";
    case Kind::TextBox:
      return "TextBox";
    case Kind::CheckBox:
      return "CheckBox";
    case Kind::OptionButton:
      return "OptionButton";
    case Kind::ComboBox:
      return "ComboBox";
    case Kind::WebBrowser:
      return "WebBrowser";
    case Kind::Menu:
      return "Menu";
    case Kind::Timer:
      return "Timer";
    case Kind::CommonDialog:
      return "CommonDialog";
  }
  return "Control";
}

Control::Control(Form* form, Control* container, Kind kind, std::string name,
                 int index)
    : form_(form),
      container_(container),
      kind_(kind),
      name_(std::move(name)),
      index_(index) {
  if (container_) container_->children_.push_back(this);
}

Control::~Control() = default;

std::string Control::displayName() const {
  if (index_ < 0) return name_;
  return name_ + "(" + std::to_string(index_) + ")";
}

void Control::setText(std::string text) {
  if (text_.compare(text) == 0) return;
  text_ = std::move(text);
  if (Change) Change();
}

bool Control::effectiveEnabled() const {
  for (const Control* c = this; c; c = c->container_)
    if (!c->enabled_) return false;
  return true;
}

bool Control::effectiveVisible() const {
  for (const Control* c = this; c; c = c->container_)
    if (!c->visible_) return false;
  return true;
}

void Control::setValue(int value) {
  if (kind_ == Kind::OptionButton) {
    bool on = value != 0;
    bool was = value_ != 0;
    value_ = on ? 1 : 0;
    if (on && container_) {
      for (Control* sibling : container_->children_)
        if (sibling != this && sibling->kind_ == Kind::OptionButton)
          sibling->value_ = 0;
    }
    if (on && !was && Click) Click();
    return;
  }
  if (kind_ == Kind::CheckBox) {
    if (value < 0 || value > 2) throw PropertyError("Invalid property value");
    if (value == value_) return;
    value_ = value;
    if (Click) Click();
    return;
  }
  value_ = value;
}

void Control::setGeometry(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  setHeight(height);
}

void Control::addItem(std::string item) { list_.push_back(std::move(item)); }

void Control::clear() {
  list_.clear();
  listIndex_ = -1;
  text_.clear();
}

void Control::setListIndex(int index) {
  if (index < -1 || index >= listCount())
    throw PropertyError("Invalid property value");
  listIndex_ = index;
  text_ = index >= 0 ? list_[static_cast<size_t>(index)] : std::string();
  if (Click) Click();
}

bool Control::reachable() const {
  if (form_ && form_ != this && !form_->loaded()) return false;
  if (kind_ == Kind::Menu) {
    // A popup menu's top level is hidden from the menu bar; its items are
    // reached through the popup.
    if (!visible_) return false;
    for (const Control* c = this; c && c->kind_ == Kind::Menu;
         c = c->container_)
      if (!c->enabled_) return false;
    return true;
  }
  return effectiveEnabled() && effectiveVisible();
}

bool Control::userClick() {
  if (!reachable()) return false;
  switch (kind_) {
    case Kind::CheckBox:
      setValue(value_ == 1 ? 0 : 1);
      return true;
    case Kind::OptionButton:
      if (value_ == 0) {
        setValue(1);
      } else if (Click) {
        Click();
      }
      return true;
    default:
      if (Click) Click();
      return true;
  }
}

bool Control::userType(std::string text) {
  if (!reachable() || locked_) return false;
  setText(std::move(text));
  return true;
}

bool Control::userSelect(int index) {
  if (!reachable()) return false;
  setListIndex(index);
  return true;
}

bool Control::userSetValue(int value) {
  if (!reachable()) return false;
  setValue(value);
  return true;
}

bool Control::userMouseDown(int button, int shift, float x, float y) {
  if (!reachable()) return false;
  if (MouseDown) MouseDown(button, shift, x, y);
  return true;
}

int Control::userKeyPress(int keyAscii) {
  if (!reachable()) return keyAscii;
  if (KeyPress) KeyPress(keyAscii);
  return keyAscii;
}

void Control::SetFocus() {
  if (form_) form_->requestFocus(this);
}

bool Control::userLeave() {
  if (!reachable()) return false;
  if (LostFocus) LostFocus();
  return true;
}

void Control::tick() {
  if (Timer) Timer();
}

}  // namespace forms
