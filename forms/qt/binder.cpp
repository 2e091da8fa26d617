#include "forms/qt/binder.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <limits>

namespace forms::qt {
namespace {

const char* kControlProperty = "dimmarkControl";

// Forms are sized with their borders, as designed: the client area is the
// form's size less the frame and the title bar.
constexpr int kBorderWidth = 120;
constexpr int kBorderHeight = 350;

int vbButton(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton:
      return mouse::kLeft;
    case Qt::RightButton:
      return mouse::kRight;
    case Qt::MiddleButton:
      return mouse::kMiddle;
    default:
      return 0;
  }
}

int vbShift(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
         (m & Qt::AltModifier ? 4 : 0);
}

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

Binder::Binder(FormSet& forms, Runner run, QObject* parent)
    : QObject(parent), forms_(forms), run_(std::move(run)) {}

Binder::~Binder() {
  for (auto& v : views_)
    if (v->window) delete v->window.data();
}

QWidget* Binder::window(const Form& form) const {
  for (const auto& v : views_)
    if (v->form == &form) return v->window;
  return nullptr;
}

QWidget* Binder::widget(const Control& control) const {
  for (const auto& v : views_) {
    auto it = v->widgets.find(&control);
    if (it != v->widgets.end()) return it->second;
  }
  return nullptr;
}

Control* Binder::controlOf(QObject* o) const {
  QVariant p = o->property(kControlProperty);
  if (!p.isValid()) return nullptr;
  return reinterpret_cast<Control*>(p.value<quintptr>());
}

void Binder::act(const std::function<void()>& action) {
  bool alive = run_(action);
  refresh();
  if (!alive) QApplication::quit();
}

void Binder::refresh() {
  if (refreshing_) return;
  refreshing_ = true;
  for (Form* f : forms_.all()) {
    View* view = nullptr;
    for (auto& v : views_)
      if (v->form == f) view = v.get();
    if (!view) {
      views_.push_back(std::make_unique<View>());
      view = views_.back().get();
      view->form = f;
    }
    bool wanted = f->loaded() && f->visible();
    std::vector<const Control*> now;
    for (const auto& c : f->controls()) now.push_back(c.get());
    if (view->window && (!f->loaded() || now != view->built)) {
      // A new life of the form gets new widgets.
      QWidget* old = view->window;
      old->hide();
      for (QObject* child : old->findChildren<QObject*>()) {
        child->setProperty(kControlProperty, QVariant());
        child->blockSignals(true);
      }
      old->deleteLater();
      view->window = nullptr;
      view->widgets.clear();
      view->timers.clear();
    }
    if (f->loaded() && !view->window) {
      build(*view);
      if (placeWindow && placeWindow(*f, view->window)) view->placed = true;
    }
    if (view->window) {
      sync(*view);
      if (wanted && !view->window->isVisible()) {
        if (!view->placed) {
          // A window shows first in the middle of the screen.
          view->placed = true;
          if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area = screen->availableGeometry();
            view->window->move(area.center() - view->window->rect().center());
          }
        }
        view->window->show();
      }
      if (!wanted && view->window->isVisible()) view->window->hide();
    }
  }
  refreshing_ = false;
  applyFocus();
}

void Binder::build(View& v) {
  Form& f = *v.form;
  auto* win = new QWidget(nullptr, Qt::Window);
  win->setAttribute(Qt::WA_DeleteOnClose, false);
  win->setProperty(kControlProperty,
                   QVariant::fromValue(reinterpret_cast<quintptr>(&f)));
  win->installEventFilter(this);
  v.window = win;
  v.built.clear();
  for (const auto& c : f.controls()) v.built.push_back(c.get());

  // Containers first, so children find their parent widget.
  std::function<void(Control&, QWidget*)> place = [&](Control& parent,
                                                      QWidget* parentWidget) {
    for (Control* c : parent.children()) {
      QWidget* w = makeWidget(v, *c, parentWidget);
      if (w) place(*c, w);
    }
  };
  place(f, win);
  for (const auto& c : f.controls()) {
    if (c->kind() != Kind::Timer) continue;
    auto* t = new QTimer(win);
    Control* ctl = c.get();
    connect(t, &QTimer::timeout, this, [this, ctl, t] {
      if (!t->property(kControlProperty).isValid()) return;
      act([ctl] { ctl->tick(); });
    });
    t->setProperty(kControlProperty,
                   QVariant::fromValue(reinterpret_cast<quintptr>(ctl)));
    v.timers[ctl] = t;
  }
  nameBoxesByTheirLabels(v);
  // Buttons along the top stand above the banner.
  for (auto& [ctl, w] : v.widgets)
    if (w && ctl->kind() == Kind::CommandButton) w->raise();
  f.popupHandler = [this, &f](Control& menu, float x, float y) {
    showPopup(f, menu, x, y);
  };
}

QWidget* Binder::makeWidget(View& v, Control& c, QWidget* parent) {
  QWidget* w = nullptr;
  switch (c.kind()) {
    case Kind::Frame: {
      w = new QGroupBox(parent);
      w->installEventFilter(this);
      break;
    }
    case Kind::PictureBox: {
      auto* l = new QLabel(parent);
      l->setObjectName("banner");
      l->setStyleSheet(
          "QLabel#banner { background: qlineargradient(x1:0, y1:0, x2:1, "
          "y2:0, stop:0 #0b3d6b, stop:0.5 #1f6fb2, stop:1 #0b3d6b); }");
      l->lower();
      w = l;
      w->installEventFilter(this);
      break;
    }
    case Kind::Label: {
      auto* l = new QLabel(parent);
      if (parent && parent->objectName() == "banner")
        l->setStyleSheet("color: white; font-size: 14pt; font-weight: bold;");
      w = l;
      break;
    }
    case Kind::CommandButton: {
      auto* b = new QPushButton(parent);
      // Enter presses the button that has the focus, as Space does.
      b->setAutoDefault(true);
      connect(b, &QPushButton::clicked, this, [this, b] {
        if (Control* ctl = controlOf(b)) act([ctl] { ctl->userClick(); });
      });
      w = b;
      break;
    }
    case Kind::TextBox: {
      if (c.multiLine()) {
        auto* e = new QPlainTextEdit(parent);
        connect(e, &QPlainTextEdit::textChanged, this, [this, e] {
          if (refreshing_) return;
          if (Control* ctl = controlOf(e))
            act([ctl, e] { ctl->userType(e->toPlainText().toStdString()); });
        });
        w = e;
      } else {
        auto* e = new QLineEdit(parent);
        connect(e, &QLineEdit::textEdited, this, [this, e](const QString& t) {
          if (Control* ctl = controlOf(e))
            act([ctl, t] { ctl->userType(t.toStdString()); });
        });
        w = e;
      }
      w->installEventFilter(this);
      break;
    }
    case Kind::CheckBox: {
      auto* b = new QCheckBox(parent);
      // Toggled, not clicked: an assistive tool's Toggle changes it too.
      connect(b, &QCheckBox::toggled, this, [this, b] {
        if (refreshing_) return;
        if (Control* ctl = controlOf(b)) act([ctl] { ctl->userClick(); });
      });
      w = b;
      break;
    }
    case Kind::OptionButton: {
      auto* b = new QRadioButton(parent);
      // Exclusive as the model keeps them, so that assistive tools see
      // radio buttons. Toggled on, not clicked: their Toggle chooses too.
      b->setAutoExclusive(true);
      connect(b, &QRadioButton::toggled, this, [this, b](bool on) {
        if (refreshing_ || !on) return;
        if (Control* ctl = controlOf(b)) act([ctl] { ctl->userClick(); });
      });
      w = b;
      w->installEventFilter(this);
      break;
    }
    case Kind::WebBrowser: {
      auto* b = new QTextBrowser(parent);
      b->setOpenLinks(true);
      b->setOpenExternalLinks(true);  // web links to the user's browser
      // Where the user goes by a link is where the control is.
      connect(b, &QTextBrowser::sourceChanged, this, [&c](const QUrl& url) {
        if (url.isLocalFile()) c.setText(url.toLocalFile().toStdString());
      });
      w = b;
      break;
    }
    case Kind::ComboBox: {
      auto* b = new QComboBox(parent);
      b->setEditable(true);
      b->lineEdit()->setReadOnly(true);
      connect(b, QOverload<int>::of(&QComboBox::activated), this,
              [this, b](int i) {
                if (Control* ctl = controlOf(b))
                  act([ctl, i] { ctl->userSelect(i); });
              });
      w = b;
      break;
    }
    default:
      return nullptr;
  }
  w->setProperty(kControlProperty,
                 QVariant::fromValue(reinterpret_cast<quintptr>(&c)));
  v.widgets[&c] = w;
  return w;
}

void Binder::sync(View& v) {
  Form& f = *v.form;
  QWidget* win = v.window;
  win->setWindowTitle(q(f.caption()));
  QSize client(std::max(100, px(f.width() - kBorderWidth)),
               std::max(40, px(f.height() - kBorderHeight)));
  if (f.sizable) {
    // The user sizes it; the form follows the window (see Resize below).
    if (win->size() != client) win->resize(client);
  } else if (win->size() != client) {
    win->setFixedSize(client);
  }
  for (auto& [ctl, w] : v.widgets)
    if (w) syncControl(*ctl, w);
  syncOptionTabStops(v);
  syncBanners(v);
  syncLabelBuddies(v);
  for (auto& [ctl, t] : v.timers) {
    if (!t) continue;
    bool run = f.loaded() && ctl->enabled() && ctl->interval() > 0;
    if (run && (!t->isActive() || t->interval() != ctl->interval()))
      t->start(ctl->interval());
    if (!run && t->isActive()) t->stop();
  }
}

void Binder::syncControl(const Control& c, QWidget* w) {
  // Only what differs is set: every refresh passes here (the banner's
  // timer twenty times a second), and each change is news to assistive
  // tools.
  const bool wasRefreshing = refreshing_;
  refreshing_ = true;
  QSignalBlocker block(w);
  const QRect geometry(px(c.left()), px(c.top()), std::max(1, px(c.width())),
                       std::max(1, px(c.height())));
  if (w->geometry() != geometry) w->setGeometry(geometry);
  // A check box standing on its frame's title line hides the line behind
  // it, as the title does; elsewhere it shows the frame through.
  if (c.kind() == Kind::CheckBox) {
    const bool onTitle =
        c.top() == 0 && qobject_cast<QGroupBox*>(w->parentWidget());
    if (w->autoFillBackground() != onTitle) w->setAutoFillBackground(onTitle);
  }
  if (w->isEnabledTo(w->parentWidget()) != c.enabled())
    w->setEnabled(c.enabled());
  if (w->isHidden() == c.visible()) w->setVisible(c.visible());
  const QString tip = q(c.toolTipText());
  if (w->toolTip() != tip) w->setToolTip(tip);
  auto setText = [](auto* widget, const QString& text) {
    if (widget->text() != text) widget->setText(text);
  };
  switch (c.kind()) {
    case Kind::Frame: {
      auto* g = static_cast<QGroupBox*>(w);
      if (g->title() != q(c.caption())) g->setTitle(q(c.caption()));
      break;
    }
    case Kind::Label: {
      auto* l = static_cast<QLabel*>(w);
      setText(l, q(c.caption()));
      if (l->wordWrap() != c.multiLine()) l->setWordWrap(c.multiLine());
      if (c.backColor() >= 0) {
        const QString sheet = QString("background-color: #%1;")
                                  .arg(c.backColor(), 6, 16, QChar('0'));
        if (l->styleSheet() != sheet) {
          l->setAutoFillBackground(true);
          l->setStyleSheet(sheet);
        }
      }
      break;
    }
    case Kind::CommandButton:
      setText(static_cast<QPushButton*>(w), q(c.caption()));
      break;
    case Kind::TextBox: {
      // A box that only shows is no Tab stop; a click still selects in it.
      const auto policy = c.locked() ? Qt::ClickFocus : Qt::StrongFocus;
      if (w->focusPolicy() != policy) w->setFocusPolicy(policy);
      if (auto* e = qobject_cast<QLineEdit*>(w)) {
        setText(e, q(c.text()));
        if (e->isReadOnly() != c.locked()) e->setReadOnly(c.locked());
      } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        if (p->toPlainText() != q(c.text())) p->setPlainText(q(c.text()));
        if (p->isReadOnly() != c.locked()) p->setReadOnly(c.locked());
      }
      // After the read-only state, which turns the input method back on.
      if (!c.inputMethod()) {
        if (w->testAttribute(Qt::WA_InputMethodEnabled)) {
          w->setAttribute(Qt::WA_InputMethodEnabled, false);
          w->setInputMethodHints(Qt::ImhPreferNumbers | Qt::ImhLatinOnly |
                                 Qt::ImhNoPredictiveText);
          // The input method may hold the box already.
          if (w->hasFocus())
            QGuiApplication::inputMethod()->update(Qt::ImEnabled);
        }
      }
      {
        const QString sheet = c.backColor() < 0
                                  ? QString()
                                  : QString("background-color: #%1;")
                                        .arg(c.backColor(), 6, 16, QChar('0'));
        if (w->styleSheet() != sheet) w->setStyleSheet(sheet);
      }
      break;
    }
    case Kind::CheckBox: {
      auto* b = static_cast<QCheckBox*>(w);
      setText(b, q(c.caption()));
      if (b->isChecked() != (c.value() == 1)) b->setChecked(c.value() == 1);
      break;
    }
    case Kind::OptionButton: {
      auto* b = static_cast<QRadioButton*>(w);
      setText(b, q(c.caption()));
      const bool on = c.value() != 0;
      if (b->isChecked() != on) {
        // An exclusive group keeps one chosen; the model may choose none.
        b->setAutoExclusive(false);
        b->setChecked(on);
        b->setAutoExclusive(true);
      }
      break;
    }
    case Kind::ComboBox: {
      auto* b = static_cast<QComboBox*>(w);
      QStringList items;
      for (const auto& s : c.list()) items << q(s);
      QStringList have;
      for (int i = 0; i < b->count(); ++i) have << b->itemText(i);
      if (have != items) {
        b->clear();
        b->addItems(items);
      }
      if (b->currentIndex() != c.listIndex()) b->setCurrentIndex(c.listIndex());
      if (b->currentText() != q(c.text())) b->setEditText(q(c.text()));
      break;
    }
    case Kind::WebBrowser: {
      auto* b = static_cast<QTextBrowser*>(w);
      const QUrl url = QUrl::fromLocalFile(q(c.text()));
      if (!c.text().empty() && b->source() != url) b->setSource(url);
      break;
    }
    default:
      break;
  }
  refreshing_ = wasRefreshing;
}

void Binder::nameBoxesByTheirLabels(View& v) {
  // A box is named by the label just left of it on its row, as a person
  // reads the form; assistive tools say that name, and the label's
  // mnemonic, if any, leads to the box.
  for (auto& [box, bw] : v.widgets) {
    if (!bw || (box->kind() != Kind::TextBox && box->kind() != Kind::ComboBox))
      continue;
    const Control* best = nullptr;
    const int middle = box->top() + box->height() / 2;
    for (const Control* c : box->container()->children()) {
      if (c->kind() != Kind::Label || c->caption().empty()) continue;
      const int right = c->left() + c->width();
      if (middle < c->top() || middle > c->top() + c->height() ||
          right > box->left() + 60 || right < box->left() - 600)
        continue;
      if (!best || right > best->left() + best->width()) best = c;
    }
    if (!best) continue;
    QString name = q(best->caption()).trimmed();
    while (name.endsWith(QChar(0xFF1A)) || name.endsWith(QLatin1Char(':')))
      name.chop(1);
    bw->setAccessibleName(name);
    v.labelled[best].push_back(box);
  }
  syncLabelBuddies(v);
}

void Binder::syncLabelBuddies(View& v) {
  for (const auto& [label, boxes] : v.labelled) {
    auto lw = v.widgets.find(label);
    auto* l = lw != v.widgets.end() && lw->second
                  ? qobject_cast<QLabel*>(lw->second.data())
                  : nullptr;
    if (!l) continue;
    // The box shown, else the first: a hidden one leads nowhere.
    QWidget* buddy = nullptr;
    for (const Control* box : boxes) {
      QWidget* bw = v.widgets[box];
      if (!bw) continue;
      if (!buddy) buddy = bw;
      if (box->visible()) {
        buddy = bw;
        break;
      }
    }
    if (buddy && l->buddy() != buddy) l->setBuddy(buddy);
  }
}

void Binder::syncBanners(View& v) {
  // A moving picture ends where the buttons standing on it begin: what it
  // carries slides out of sight there rather than behind them.
  for (auto& [pic, pw] : v.widgets) {
    if (!pw || pic->kind() != Kind::PictureBox) continue;
    const int top = pic->top(), bottom = pic->top() + pic->height();
    int edge = std::numeric_limits<int>::max();
    for (const Control* c : pic->container() ? pic->container()->children()
                                             : std::vector<Control*>{})
      if (c->kind() == Kind::CommandButton && c->visible() &&
          c->top() < bottom && c->top() + c->height() > top &&
          c->left() > pic->left())
        edge = std::min(edge, c->left());
    if (edge == std::numeric_limits<int>::max()) {
      pw->clearMask();
      continue;
    }
    // A little short of the button, in the picture's own pixels.
    const int width = std::max(0, px(edge - pic->left()) - 6);
    pw->setMask(QRegion(0, 0, width, pw->height()));
  }
}

std::vector<Control*> Binder::optionGroup(const Control& option) const {
  std::vector<Control*> group;
  if (!option.container()) return group;
  for (Control* c : option.container()->children())
    if (c->kind() == Kind::OptionButton && c->effectiveVisible()) {
      QWidget* w = widget(*c);
      if (w && w->isEnabled()) group.push_back(c);
    }
  return group;
}

void Binder::syncOptionTabStops(View& v) {
  // The option buttons of one container are one Tab stop, the chosen one
  // (the first when none is); the arrow keys choose among them.
  std::map<const Control*, std::vector<const Control*>> groups;
  for (const Control* c : v.built)
    if (c->kind() == Kind::OptionButton) groups[c->container()].push_back(c);
  for (const auto& [container, options] : groups) {
    const Control* stop = options.front();
    for (const Control* c : options)
      if (c->value() != 0) {
        stop = c;
        break;
      }
    for (const Control* c : options) {
      auto it = v.widgets.find(c);
      if (it == v.widgets.end() || !it->second) continue;
      it->second->setFocusPolicy(c == stop ? Qt::StrongFocus : Qt::ClickFocus);
    }
  }
}

void Binder::applyFocus() {
  for (auto& v : views_) {
    Control* c = v->form->takeFocusRequest();
    if (!c || !v->window) continue;
    auto it = v->widgets.find(c);
    if (it != v->widgets.end() && it->second && it->second->isEnabled() &&
        it->second->isVisible())
      it->second->setFocus(Qt::OtherFocusReason);
  }
}

bool Binder::keyPress(QObject* watched, QKeyEvent* ke) {
  Control* ctl = controlOf(watched);
  if (!ctl) return false;
  const int key = ke->key();
  if (ctl->kind() == Kind::TextBox && ctl->KeyPress) {
    int code = 0;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
      code = 13;
    else if (key == Qt::Key_Backspace)
      code = 8;
    else if (!ke->text().isEmpty())
      code = ke->text().at(0).unicode();
    if (!code) return false;
    int left = code;
    act([ctl, code, &left] { left = ctl->userKeyPress(code); });
    // A handler that took the key (set it to 0) is the key's only use.
    return left == 0;
  }
  if (ctl->kind() == Kind::OptionButton &&
      (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up ||
       key == Qt::Key_Down)) {
    auto group = optionGroup(*ctl);
    auto at = std::find(group.begin(), group.end(), ctl);
    if (at == group.end() || group.size() < 2) return true;
    const bool back = key == Qt::Key_Left || key == Qt::Key_Up;
    const auto n = static_cast<long>(group.size());
    long i = (at - group.begin() + (back ? n - 1 : 1)) % n;
    Control* next = group[static_cast<size_t>(i)];
    act([next] { next->userClick(); });
    if (QWidget* w = widget(*next)) w->setFocus(Qt::TabFocusReason);
    return true;
  }
  if (ctl->kind() == Kind::Form &&
      (key == Qt::Key_Return || key == Qt::Key_Enter ||
       key == Qt::Key_Escape)) {
    // Enter that nothing in the window took presses its default button,
    // Esc its cancel button.
    const bool enter = key != Qt::Key_Escape;
    for (const auto& c : static_cast<Form*>(ctl)->controls())
      if (c->kind() == Kind::CommandButton &&
          (enter ? c->isDefault() : c->isCancel()) && c->reachable()) {
        Control* button = c.get();
        act([button] { button->userClick(); });
        return true;
      }
  }
  return false;
}

void Binder::showPopup(Form& form, Control& menu, float x, float y) {
  QWidget* win = window(form);
  if (!win) return;
  refresh();
  QMenu popup(win);
  for (Control* item : menu.children()) {
    if (item->kind() != Kind::Menu || !item->visible()) continue;
    QAction* a = popup.addAction(q(item->caption()));
    a->setEnabled(item->enabled());
    a->setData(QVariant::fromValue(reinterpret_cast<quintptr>(item)));
  }
  QPoint at = win->mapToGlobal(QPoint(static_cast<int>(x) / kTwipsPerPixel,
                                      static_cast<int>(y) / kTwipsPerPixel));
  QAction* chosen = popup.exec(at);
  if (!chosen) return;
  // The chosen item runs inside the handler that opened the popup, as the
  // platform's PopupMenu does.
  auto* item = reinterpret_cast<Control*>(chosen->data().value<quintptr>());
  item->userClick();
}

bool Binder::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Close: {
      auto it = std::find_if(views_.begin(), views_.end(), [&](const auto& v) {
        return v->window == watched;
      });
      if (it == views_.end()) break;
      // Closing a window unloads its form; the model decides what stays.
      event->ignore();
      Form* f = (*it)->form;
      act([f] { f->unload(); });
      return true;
    }
    case QEvent::Resize: {
      auto it = std::find_if(views_.begin(), views_.end(), [&](const auto& v) {
        return v->window == watched;
      });
      if (it == views_.end() || !(*it)->form->sizable || refreshing_) break;
      Form* f = (*it)->form;
      const QSize size = static_cast<QResizeEvent*>(event)->size();
      const int w = size.width() * kTwipsPerPixel + kBorderWidth;
      const int h = size.height() * kTwipsPerPixel + kBorderHeight;
      if (w != f->width() || h != f->height())
        act([f, w, h] { f->resizeTo(w, h); });
      break;
    }
    case QEvent::MouseButtonPress: {
      // A press that the control under the mouse left alone comes here
      // through its containers, the window last; the first with a
      // MouseDown takes it.
      Control* ctl = controlOf(watched);
      if (!ctl || !ctl->MouseDown) break;
      auto* me = static_cast<QMouseEvent*>(event);
      int button = vbButton(me->button());
      int shift = vbShift(me->modifiers());
      float x = static_cast<float>(me->position().x() * kTwipsPerPixel);
      float y = static_cast<float>(me->position().y() * kTwipsPerPixel);
      act([=] { ctl->userMouseDown(button, shift, x, y); });
      return true;
    }
    case QEvent::FocusOut: {
      Control* ctl = controlOf(watched);
      if (!ctl || ctl->kind() != Kind::TextBox) break;
      act([ctl] { ctl->userLeave(); });
      break;
    }
    case QEvent::KeyPress:
      if (keyPress(watched, static_cast<QKeyEvent*>(event))) return true;
      break;
    case QEvent::InputMethodQuery: {
      // A line edit answers ImEnabled itself, whatever its attribute says;
      // the input method asks this before it takes a key.
      static bool answering = false;
      Control* ctl = controlOf(watched);
      if (answering || !ctl || ctl->inputMethod()) break;
      auto* q = static_cast<QInputMethodQueryEvent*>(event);
      if (!(q->queries() & Qt::ImEnabled)) break;
      // The box answers the other queries; ImEnabled is ours.
      answering = true;
      QCoreApplication::sendEvent(watched, event);
      answering = false;
      q->setValue(Qt::ImEnabled, false);
      return true;
    }
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace forms::qt
