// Control models with the event semantics of the original forms platform:
// every event runs synchronously, nested in whatever caused it. Setting a
// list's ListIndex from code runs its Click at once; option buttons are
// exclusive within their container; a disabled container disables what it
// holds. Geometry is in twips.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace forms {

// A property set to a value the control refuses (an out-of-range
// ListIndex, for instance).
class PropertyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Ends the program at once, as the platform's End statement does. It is not
// an std::exception so that handlers skipping failed steps let it pass.
struct ProgramEnd {};

enum class Kind {
  Form,
  Frame,
  PictureBox,
  Label,
  CommandButton,
  TextBox,
  CheckBox,
  OptionButton,
  ComboBox,
  Menu,
  Timer,
  CommonDialog,
  // An HTML view; its text is the file it shows.
  WebBrowser,
};

const char* KindName(Kind kind);

namespace mouse {
inline constexpr int kLeft = 1;
inline constexpr int kRight = 2;
inline constexpr int kMiddle = 4;
}  // namespace mouse

class Form;

class Control {
 public:
  Control(Form* form, Control* container, Kind kind, std::string name,
          int index);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Identity.
  const std::string& name() const { return name_; }
  int index() const { return index_; }  // -1 when not in a control array
  std::string displayName() const;      // Text7(0)
  Kind kind() const { return kind_; }
  Form* form() const { return form_; }
  Control* container() const { return container_; }
  const std::vector<Control*>& children() const { return children_; }

  // Properties.
  const std::string& caption() const { return caption_; }
  void setCaption(std::string caption) { caption_ = std::move(caption); }

  // A text box's or combo box's text. A change runs Change.
  const std::string& text() const { return text_; }
  void setText(std::string text);

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }
  // Enabled, and every container enabled as well.
  bool effectiveEnabled() const;

  bool visible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }
  bool effectiveVisible() const;

  // Check box: 0 cleared, 1 ticked. Option button: 0 or 1; setting 1 clears
  // the other option buttons of the same container and runs Click.
  int value() const { return value_; }
  void setValue(int value);

  int left() const { return left_; }
  int top() const { return top_; }
  int width() const { return width_; }
  int height() const { return height_; }
  void setLeft(int v) { left_ = v; }
  void setTop(int v) { top_ = v; }
  void setWidth(int v) { width_ = v; }
  virtual void setHeight(int v) { height_ = v; }
  void setGeometry(int left, int top, int width, int height);

  // Lists.
  void addItem(std::string item);
  void clear();
  int listCount() const { return static_cast<int>(list_.size()); }
  const std::vector<std::string>& list() const { return list_; }
  int listIndex() const { return listIndex_; }
  // Runs Click at once, even when the index does not change. An index
  // outside -1 .. ListCount-1 raises PropertyError and changes nothing.
  void setListIndex(int index);

  bool locked() const { return locked_; }
  void setLocked(bool locked) { locked_ = locked; }
  bool multiLine() const { return multiLine_; }
  void setMultiLine(bool m) { multiLine_ = m; }
  // False: the desktop's input method stays out of this text box, so a
  // gauge's digits and point arrive as the keys it sends, whatever mode
  // the user's Chinese input is in.
  bool inputMethod() const { return inputMethod_; }
  void setInputMethod(bool on) { inputMethod_ = on; }
  // Background colour as 0xRRGGBB; -1 for the default.
  int backColor() const { return backColor_; }
  void setBackColor(int rgb) { backColor_ = rgb; }

  // Command buttons: Enter anywhere in the window presses the default
  // button, Esc the cancel button.
  bool isDefault() const { return default_; }
  void setDefault(bool d) { default_ = d; }
  bool isCancel() const { return cancel_; }
  void setCancel(bool c) { cancel_ = c; }

  // The hint shown when the mouse rests on the control.
  const std::string& toolTipText() const { return toolTip_; }
  void setToolTipText(std::string t) { toolTip_ = std::move(t); }

  // Asks for the keyboard focus; the window layer gives it once the event
  // that asked is over.
  void SetFocus();

  // Timers: interval in milliseconds; ticks only while enabled, interval
  // above 0 and the form loaded.
  int interval() const { return interval_; }
  void setInterval(int ms) { interval_ = ms; }

  // Events, set by the form that owns the control.
  std::function<void()> Click;
  std::function<void()> Change;
  std::function<void()> LostFocus;
  std::function<void(int button, int shift, float x, float y)> MouseDown;
  std::function<void(int& keyAscii)> KeyPress;
  std::function<void()> Timer;

  // What a user does. Each refuses (returns false, changes nothing) when
  // the control cannot be reached: not enabled or not visible.
  bool reachable() const;
  bool userClick();
  bool userType(std::string text);
  bool userSelect(int index);
  bool userSetValue(int value);
  bool userMouseDown(int button, int shift, float x, float y);
  // The key as the handler left it: 0 when it took the key.
  int userKeyPress(int keyAscii);
  bool userLeave();

  // Fires the timer once (for the binder's timers and scripted ticks).
  void tick();

 private:
  friend class Form;
  Form* form_;
  Control* container_;
  Kind kind_;
  std::string name_;
  int index_;
  std::vector<Control*> children_;

  std::string caption_;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  int value_ = 0;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::vector<std::string> list_;
  int listIndex_ = -1;
  bool locked_ = false;
  bool multiLine_ = false;
  bool inputMethod_ = true;
  int backColor_ = -1;
  int interval_ = 0;
  bool default_ = false;
  bool cancel_ = false;
  std::string toolTip_;
};

}  // namespace forms
