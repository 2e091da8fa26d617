#include "cadhost/viewer/pick_guard.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace cadhost::viewer {

PickGuard::PickGuard(QWidget* owner, QWidget* view,
                     std::function<void()> cancel)
    : view_(view), owner_(owner), cancel_(std::move(cancel)) {
  QWidget* top = view->window();
  auto hold = [this](QWidget* w) {
    if (!w->isEnabled() || w->isHidden()) return;
    // The status line shows the prompt; it must stay readable.
    if (qobject_cast<QStatusBar*>(w)) return;
    w->setEnabled(false);
    held_.emplace_back(w);
  };
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w != top && !qobject_cast<QMenu*>(w)) hold(w);
  // Inside the view's window: everything beside the chain that leads from
  // the window down to the view.
  for (QWidget* at = view; at && at != top; at = at->parentWidget()) {
    QWidget* parent = at->parentWidget();
    if (!parent) break;
    for (QObject* child : parent->children()) {
      auto* sibling = qobject_cast<QWidget*>(child);
      if (sibling && sibling != at && !sibling->isWindow()) hold(sibling);
    }
  }
  qApp->installEventFilter(this);
  active_ = true;
}

PickGuard::~PickGuard() { release(); }

void PickGuard::release() {
  if (!active_) return;
  active_ = false;
  qApp->removeEventFilter(this);
  for (const auto& w : held_)
    if (w) w->setEnabled(true);
  held_.clear();
  for (const auto& w : closeAfter_)
    if (w) QTimer::singleShot(0, w.data(), [w] { w->close(); });
  closeAfter_.clear();
}

std::vector<QWidget*> PickGuard::held() const {
  std::vector<QWidget*> out;
  for (const auto& w : held_)
    if (w) out.push_back(w.data());
  return out;
}

bool PickGuard::inView(QObject* o) const {
  if (!view_ || !o || !o->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(o);
  return w == view_ || view_->isAncestorOf(w);
}

bool PickGuard::eventFilter(QObject* watched, QEvent* event) {
  if (!active_) return false;
  // The window system's input reaches a window object first, which hands
  // it to the widget under the mouse or with the focus: judged there.
  // Shortcuts go to actions and shortcut objects, none of them widgets.
  if (!watched->isWidgetType()) return event->type() == QEvent::Shortcut;
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Escape) {
        if (cancel_) cancel_();
        return true;
      }
      return !inView(watched);
    }
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
      return !inView(watched);
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (!inView(watched)) return true;
      // A right click gives the pick up, as Enter on an empty prompt does
      // in CAD programs.
      if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        if (cancel_) cancel_();
        return true;
      }
      return false;
    }
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
      return !inView(watched);
    case QEvent::Close: {
      // The asking handler is still running: the pick ends first, then the
      // window closes. The CAD window closing itself is its own business.
      auto* w = qobject_cast<QWidget*>(watched);
      if (!w || !w->isWindow() || w == owner_) return false;
      if (std::find(closeAfter_.begin(), closeAfter_.end(), w) ==
          closeAfter_.end())
        closeAfter_.emplace_back(w);
      event->ignore();
      if (cancel_) cancel_();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace cadhost::viewer
