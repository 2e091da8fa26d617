// The one window of the program: the drawing in the centre, the main
// window's panel docked at the right and the workbooks docked below. The
// windows keep their own lives (the hosts show and hide them, their
// closing is still the hosts' closed notification); the workspace only
// holds them. Every dock can float and be docked again, and the
// arrangement is kept between runs.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <vector>

class QDockWidget;
class QLabel;
class QMenu;
class QScrollArea;
class QStackedWidget;

namespace app {

class Workspace : public QMainWindow {
 public:
  Workspace();
  ~Workspace() override;

  // The main window's panel (the binder's window of Form1): shown, it
  // shows the workspace; its closing is the program's exit.
  void adoptPanel(QWidget* panel);
  // The CAD host's window, in the centre.
  void adoptDrawing(QMainWindow* drawing);
  // The spreadsheet host's window, docked below the drawing.
  void adoptSheets(QMainWindow* sheets);

  QDockWidget* panelDock() const { return panelDock_; }
  QDockWidget* sheetDock() const { return sheetDock_; }
  // 窗口: one item per dock, and the arrangement as it first was.
  QMenu* windowMenu() const { return windowMenu_; }
  // A menu of the program's own, before 窗口 and after the drawing's.
  QMenu* addProgramMenu(const QString& title);
  void resetArrangement();

  // A size that fits the screen: at most its available area.
  void fitToScreen();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitPanel();
  // The drawing's menus stand in this window's menu bar while it shows.
  void syncDrawingMenus();
  void restoreArrangement();
  void showPanel();
  void fitSheets();
  void saveArrangement();

  QStackedWidget* centre_ = nullptr;
  QLabel* empty_ = nullptr;
  QDockWidget* panelDock_ = nullptr;
  QScrollArea* panelArea_ = nullptr;
  QDockWidget* sheetDock_ = nullptr;
  QMenu* windowMenu_ = nullptr;
  // The drawing's menus stand before this one.
  QAction* firstOwnMenu_ = nullptr;
  QByteArray defaultState_;
  std::vector<QAction*> drawingMenus_;
  QPointer<QWidget> panel_;
  QPointer<QMainWindow> drawing_;
  QPointer<QMainWindow> sheets_;
  bool restored_ = false;
};

}  // namespace app
