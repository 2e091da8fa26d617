// What waits while the CAD window asks for a pick. The program's handler
// that asked is blocked in the pick's event loop, so nothing else of the
// program may run meanwhile; the drawing view alone takes the mouse (picks,
// pans, zooms), Esc anywhere and a right click in the view give up the
// pick. The rest is greyed so that the user sees what waits, wherever the
// CAD window is placed: a window of its own or the centre of another.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

namespace cadhost::viewer {

class PickGuard : public QObject {
 public:
  // `owner` is the CAD window, which handles its own closing; `cancel`
  // gives up the pick and is called from the guard's event filter.
  PickGuard(QWidget* owner, QWidget* view, std::function<void()> cancel);
  ~PickGuard() override;
  PickGuard(const PickGuard&) = delete;
  PickGuard& operator=(const PickGuard&) = delete;

  // Gives everything back; a window the user asked to close while the pick
  // was pending is closed once the asking handler has returned.
  void release();

  // The widgets greyed for this pick (tests).
  std::vector<QWidget*> held() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool inView(QObject* o) const;

  QPointer<QWidget> view_;
  QPointer<QWidget> owner_;
  std::function<void()> cancel_;
  std::vector<QPointer<QWidget>> held_;
  std::vector<QPointer<QWidget>> closeAfter_;
  bool active_ = false;
};

}  // namespace cadhost::viewer
