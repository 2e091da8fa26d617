#include "app/workspace.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QStackedWidget>
#include <algorithm>

namespace app {

namespace {

// A dock whose close button closes the window it holds, which may refuse
// (a workbook with unsaved changes whose user says no).
class HostDock : public QDockWidget {
 public:
  using QDockWidget::QDockWidget;

 protected:
  void closeEvent(QCloseEvent* event) override {
    QWidget* held = widget();
    if (held && held->isVisible()) {
      held->close();
      if (held->isVisible()) {
        event->ignore();
        return;
      }
    }
    QDockWidget::closeEvent(event);
  }
};

QSettings settings() {
  return QSettings(QStringLiteral("DimMark"), QStringLiteral("workspace"));
}

}  // namespace

Workspace::Workspace() {
  setObjectName(QStringLiteral("workspace"));
  setWindowTitle(QStringLiteral("DimMark 尺寸检测"));
  centre_ = new QStackedWidget(this);
  empty_ = new QLabel(QStringLiteral("打开图纸后，图纸显示在这里。"), centre_);
  empty_->setAlignment(Qt::AlignCenter);
  centre_->addWidget(empty_);
  setCentralWidget(centre_);

  panelDock_ = new QDockWidget(QStringLiteral("尺寸检测"), this);
  panelDock_->setObjectName(QStringLiteral("panel"));
  // The panel is the program: it floats and docks, but closes only by
  // 退出系统.
  panelDock_->setFeatures(QDockWidget::DockWidgetMovable |
                          QDockWidget::DockWidgetFloatable);
  panelArea_ = new QScrollArea(panelDock_);
  panelArea_->setFrameShape(QFrame::NoFrame);
  panelArea_->setWidgetResizable(false);
  panelDock_->setWidget(panelArea_);
  addDockWidget(Qt::RightDockWidgetArea, panelDock_);

  sheetDock_ = new HostDock(QStringLiteral("报表"), this);
  sheetDock_->setObjectName(QStringLiteral("sheets"));
  addDockWidget(Qt::BottomDockWidgetArea, sheetDock_);
  sheetDock_->hide();

  // The panel keeps the full height at the right; the workbooks go under
  // the drawing only.
  setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
  setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);

  // Every dock can be brought back from here, whatever became of it.
  windowMenu_ = menuBar()->addMenu(QStringLiteral("窗口"));
  QAction* panelItem = panelDock_->toggleViewAction();
  panelItem->setText(QStringLiteral("尺寸检测面板"));
  windowMenu_->addAction(panelItem);
  QAction* sheetsItem = sheetDock_->toggleViewAction();
  sheetsItem->setText(QStringLiteral("报表"));
  sheetsItem->setEnabled(false);  // until there are workbooks
  windowMenu_->addAction(sheetsItem);
  windowMenu_->addSeparator();
  connect(windowMenu_->addAction(QStringLiteral("恢复默认布局")),
          &QAction::triggered, this, [this] { resetArrangement(); });
  defaultState_ = saveState();

  // Ctrl+S with the focus in the panel saves the drawing; in the drawing
  // and in the workbooks their own 保存 takes it.
  auto* save = new QShortcut(QKeySequence::Save, panelDock_);
  save->setContext(Qt::WidgetWithChildrenShortcut);
  connect(save, &QShortcut::activated, this, [this] {
    if (!drawing_ || drawing_->isHidden()) return;
    if (auto* a = drawing_->findChild<QAction*>(QStringLiteral("saveDrawing")))
      a->trigger();
  });
  fitToScreen();
}

Workspace::~Workspace() = default;

void Workspace::fitToScreen() {
  QScreen* screen =
      this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  QSize size = this->size();
  if (!restored_ || size.width() > area.width() ||
      size.height() > area.height()) {
    size =
        QSize(std::min(area.width(), std::max(area.width() * 9 / 10, 900)),
              std::min(area.height(), std::max(area.height() * 9 / 10, 600)));
    resize(size);
  }
  QRect frame = frameGeometry();
  if (!area.contains(frame)) {
    // Title bar and all within the screen.
    move(area.topLeft() +
         QPoint(std::max(0, (area.width() - frame.width()) / 2),
                std::max(0, (area.height() - frame.height()) / 2)));
  }
}

void Workspace::adoptPanel(QWidget* panel) {
  if (panel_ == panel) return;
  panel_ = panel;
  panel->setWindowFlags(Qt::Widget);
  panelArea_->setWidget(panel);  // the old panel goes with the area
  panel->installEventFilter(this);
  fitPanel();
  if (panel->isVisible() || !panel->isHidden()) {
    panelDock_->show();
    if (!isVisible()) {
      restoreArrangement();
      show();
    }
  }
}

QMenu* Workspace::addProgramMenu(const QString& title) {
  auto* menu = new QMenu(title, this);
  menuBar()->insertMenu(windowMenu_->menuAction(), menu);
  if (!firstOwnMenu_) firstOwnMenu_ = menu->menuAction();
  return menu;
}

void Workspace::fitPanel() {
  // The dock is as wide as the panel laid out in it, never narrower, so
  // no control is cut; its height follows the panel's own rules.
  if (!panel_) return;
  const int bar = panelArea_->verticalScrollBar()->sizeHint().width();
  const int width = panel_->width() + bar + 2 * panelArea_->frameWidth();
  panelArea_->setMinimumWidth(std::min(width, 700));
  resizeDocks({panelDock_}, {width}, Qt::Horizontal);
}

void Workspace::adoptDrawing(QMainWindow* drawing) {
  if (drawing_ == drawing) return;
  drawing_ = drawing;
  drawing->setWindowFlags(Qt::Widget);
  centre_->addWidget(drawing);
  drawing->installEventFilter(this);
  centre_->setCurrentWidget(drawing->isHidden() ? static_cast<QWidget*>(empty_)
                                                : drawing);
  // One menu bar: the drawing's menus join this window's, before 窗口.
  for (QAction* m : drawingMenus_) menuBar()->removeAction(m);
  drawingMenus_.clear();
  for (QAction* m : drawing->menuBar()->actions()) {
    menuBar()->insertAction(
        firstOwnMenu_ ? firstOwnMenu_ : windowMenu_->menuAction(), m);
    drawingMenus_.push_back(m);
  }
  drawing->menuBar()->hide();
  syncDrawingMenus();
}

void Workspace::syncDrawingMenus() {
  const bool shown = drawing_ && !drawing_->isHidden();
  for (QAction* m : drawingMenus_) m->setVisible(shown);
}

void Workspace::adoptSheets(QMainWindow* sheets) {
  if (sheets_ == sheets) return;
  sheets_ = sheets;
  sheets->setWindowFlags(Qt::Widget);
  // Its toolbar holds what its File menu does, and the dock closes it: the
  // rows go to the workbook.
  sheets->menuBar()->hide();
  sheetDock_->setWidget(sheets);
  sheets->installEventFilter(this);
  if (!sheets->isHidden()) {
    sheetDock_->show();
    sheetDock_->raise();
  }
}

bool Workspace::eventFilter(QObject* watched, QEvent* event) {
  const auto type = event->type();
  if (type == QEvent::Resize && watched == panel_) fitPanel();
  if (type != QEvent::Show && type != QEvent::Hide)
    return QMainWindow::eventFilter(watched, event);
  const bool shown = type == QEvent::Show;
  if (watched == panel_) {
    if (!shown && isVisible() && panel_->isHidden()) {
      // The program ends. The arrangement is kept as the user left it,
      // before the panel's dock goes with the panel.
      saveArrangement();
      panelDock_->hide();
      hide();
    } else if (shown) {
      panelDock_->setVisible(true);
    }
    if (shown && !isVisible()) {
      restoreArrangement();
      show();
    }
  } else if (watched == drawing_) {
    if (shown || drawing_->isHidden()) {
      centre_->setCurrentWidget(shown ? static_cast<QWidget*>(drawing_.data())
                                      : empty_);
      syncDrawingMenus();
    }
  } else if (watched == sheets_) {
    // The dock follows its window: shown when the host shows the
    // workbooks, gone when they are closed.
    if (shown) {
      sheetDock_->show();
      sheetDock_->raise();
      fitSheets();
    } else if (sheets_->isHidden()) {
      sheetDock_->hide();
    }
    sheetDock_->toggleViewAction()->setEnabled(!sheets_->isHidden());
  }
  return QMainWindow::eventFilter(watched, event);
}

void Workspace::closeEvent(QCloseEvent* event) {
  // Closing the workspace is closing the panel: the program's exit, which
  // may ask about unsaved work and stay.
  if (panel_ && !panel_->isHidden()) {
    event->ignore();
    panel_->close();
    return;
  }
  saveArrangement();
  event->accept();
}

void Workspace::restoreArrangement() {
  if (restored_) return;
  restored_ = true;
  QSettings s = settings();
  if (s.contains(QStringLiteral("geometry")))
    restoreGeometry(s.value(QStringLiteral("geometry")).toByteArray());
  if (s.contains(QStringLiteral("state")))
    restoreState(s.value(QStringLiteral("state")).toByteArray());
  // The sheets dock shows with its workbooks, not because it showed last
  // time.
  if (!sheets_ || sheets_->isHidden()) sheetDock_->hide();
  showPanel();
  fitToScreen();
}

void Workspace::showPanel() {
  // The panel is the program: whatever was saved, it shows, on a screen.
  panelDock_->show();
  if (panelDock_->isFloating()) {
    const QRect frame = panelDock_->frameGeometry();
    bool seen = false;
    for (QScreen* screen : QGuiApplication::screens())
      seen = seen || screen->availableGeometry().intersects(frame);
    if (!seen) panelDock_->setFloating(false);
  }
}

void Workspace::fitSheets() {
  // Workbooks squeezed into a strip show a row or two: give them nearly
  // half the height below the drawing (the drawing, fitted, shrinks with
  // it). A height the user chose, larger than that strip, stays.
  if (sheetDock_->isFloating()) return;
  const int strip = 200;
  if (sheetDock_->height() >= strip) return;
  const int wanted = std::max(strip + 60, height() * 45 / 100);
  resizeDocks({sheetDock_}, {wanted}, Qt::Vertical);
}

void Workspace::resetArrangement() {
  restoreState(defaultState_);
  if (!sheets_ || sheets_->isHidden()) sheetDock_->hide();
  showPanel();
  fitPanel();
}

void Workspace::saveArrangement() {
  if (!restored_) return;
  QSettings s = settings();
  s.setValue(QStringLiteral("geometry"), saveGeometry());
  s.setValue(QStringLiteral("state"), saveState());
}

}  // namespace app
