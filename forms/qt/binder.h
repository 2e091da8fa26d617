// The generic Qt binder: builds widgets from any form model (15 twips to a
// pixel), forwards what the user does to the model and refreshes the
// widgets from the model after every event.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "forms/form.h"

class QKeyEvent;
class QTimer;

namespace forms::qt {

inline constexpr int kTwipsPerPixel = 15;
inline int px(int twips) { return twips / kTwipsPerPixel; }

class Binder : public QObject {
  Q_OBJECT

 public:
  // run carries out one user action on the model and returns false once
  // the program has ended.
  using Runner = std::function<bool(const std::function<void()>&)>;

  Binder(FormSet& forms, Runner run, QObject* parent = nullptr);
  ~Binder() override;

  // Brings every window in line with its form: new forms get windows,
  // unloaded ones lose them.
  void refresh();

  // The window of a form, or null while it has none.
  QWidget* window(const Form& form) const;
  // The widget of a control, or null.
  QWidget* widget(const Control& control) const;

  // Runs a user action, then refreshes; quits the application when the
  // program ends.
  void act(const std::function<void()>& action);

  // Offered every new window of a form before it shows; true when the
  // caller has placed it (in a dock of its own window), so the binder
  // neither centres it nor treats it as a top-level window.
  std::function<bool(Form& form, QWidget* window)> placeWindow;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct View {
    Form* form = nullptr;
    QPointer<QWidget> window;
    std::vector<const Control*> built;  // the controls the widgets belong to
    std::map<const Control*, QPointer<QWidget>> widgets;
    std::map<const Control*, QPointer<QTimer>> timers;
    // The boxes each label names: more than one where boxes take turns in
    // one place (numbers or results), and the label leads to the shown one.
    std::map<const Control*, std::vector<const Control*>> labelled;
    bool placed = false;
  };

  void build(View& v);
  QWidget* makeWidget(View& v, Control& c, QWidget* parent);
  void sync(View& v);
  void syncControl(const Control& c, QWidget* w);
  void showPopup(Form& form, Control& menu, float x, float y);
  void syncOptionTabStops(View& v);
  void syncBanners(View& v);
  void nameBoxesByTheirLabels(View& v);
  void syncLabelBuddies(View& v);
  // The visible, enabled option buttons beside `option`, in order.
  std::vector<Control*> optionGroup(const Control& option) const;
  // Gives the focus to the controls that asked for it (SetFocus).
  void applyFocus();
  // Keys the binder gives meaning to; true when the key was used.
  bool keyPress(QObject* watched, QKeyEvent* event);
  Control* controlOf(QObject* o) const;

  FormSet& forms_;
  Runner run_;
  std::vector<std::unique_ptr<View>> views_;
  std::map<QObject*, Control*> owners_;
  std::map<QObject*, Form*> windows_;
  bool refreshing_ = false;
};

}  // namespace forms::qt
