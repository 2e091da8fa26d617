// The one window of the program: the drawing in the centre, the main
// window's panel docked at the right and the workbooks docked below. The
// windows keep their own lives (the hosts show and hide them, their
// closing is still the hosts' closed notification); the workspace only
// holds them. Every dock can float and be docked again, and the
// arrangement is kept between runs.
#pragma once

#include <QMainWindow>
#include <QPointer>

class QDockWidget;
class QLabel;
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

  // A size that fits the screen: at most its available area.
  void fitToScreen();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitPanel();
  void restoreArrangement();
  void saveArrangement();

  QStackedWidget* centre_ = nullptr;
  QLabel* empty_ = nullptr;
  QDockWidget* panelDock_ = nullptr;
  QScrollArea* panelArea_ = nullptr;
  QDockWidget* sheetDock_ = nullptr;
  QPointer<QWidget> panel_;
  QPointer<QMainWindow> drawing_;
  QPointer<QMainWindow> sheets_;
  bool restored_ = false;
};

}  // namespace app
