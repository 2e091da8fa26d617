// A form: a window that owns its controls. Unloading a form ends its
// life; the next load builds fresh controls, as the platform does, while a
// hidden form keeps everything.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/control.h"

namespace forms {

class Desktop;

// The open-file dialog control: Filter, DialogTitle, FileName.
class CommonDialog : public Control {
 public:
  CommonDialog(Form* form, std::string name);
  std::string Filter;
  std::string DialogTitle;
  std::string FileName;
  // Shows the dialog. On a cancel FileName keeps its value and the result is
  // false.
  bool ShowOpen(Desktop& desktop);
};

class Form : public Control {
 public:
  explicit Form(std::string name);
  ~Form() override;

  // Adds a control; container null means the form itself.
  Control& add(Kind kind, std::string name, Control* container = nullptr,
               int index = -1);
  CommonDialog& addDialog(std::string name);

  // Lookup by name and index (-1 for a control outside any array).
  Control* find(std::string_view name, int index = -1) const;
  const std::vector<std::unique_ptr<Control>>& controls() const {
    return controls_;
  }

  bool loaded() const { return loaded_; }
  // Builds the controls and runs Load, once per life of the form.
  void load();
  // Loads if needed, then shows.
  void show();
  void hide();
  // Runs Unload; the form is gone until it is loaded again.
  void unload();

  void setHeight(int twips) override;
  // The user's resizing of a sizable window: both sides, one Resize.
  void resizeTo(int width, int height);
  // A window the user may resize; others keep the size the form gives.
  bool sizable = false;

  // Opens a menu as a popup at a point in the form's coordinates (twips).
  void popupMenu(Control& menu, float x, float y);
  struct Popup {
    std::string menu;
    float x = 0, y = 0;
  };
  const std::optional<Popup>& lastPopup() const { return lastPopup_; }
  void clearLastPopup() { lastPopup_.reset(); }
  // The window layer shows popups through this; without it a popup is only
  // recorded.
  std::function<void(Control& menu, float x, float y)> popupHandler;

  // The control that asked for the keyboard focus last (SetFocus), taken
  // by the window layer; null when none asked since.
  void requestFocus(Control* c) { focusRequest_ = c; }
  Control* takeFocusRequest() {
    Control* c = focusRequest_;
    focusRequest_ = nullptr;
    return c;
  }

  std::function<void()> Load;
  // Asked before Unload: false keeps the form as it is (the user cancelled).
  std::function<bool()> QueryUnload;
  std::function<void()> Unload;
  std::function<void()> Resize;

 protected:
  // Creates the controls of a fresh life of the form.
  virtual void build() {}

 private:
  std::vector<std::unique_ptr<Control>> controls_;
  bool loaded_ = false;
  std::optional<Popup> lastPopup_;
  Control* focusRequest_ = nullptr;
};

// The forms of one program, in the order they were registered.
class FormSet {
 public:
  void add(Form& form) { forms_.push_back(&form); }
  Form* find(std::string_view name) const;
  const std::vector<Form*>& all() const { return forms_; }

 private:
  std::vector<Form*> forms_;
};

}  // namespace forms
