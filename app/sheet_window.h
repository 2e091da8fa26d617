// The window of the program's own spreadsheet host: while an instance is
// visible it shows the instance's workbooks as tabs and their cells as
// tables, follows every cell the reports set, and saves a workbook when the
// user asks. Closing it is the host's closed notification.
#pragma once

#include <QAbstractTableModel>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "sheethost/embedded/embedded_host.h"

class QAction;
class QMenu;
class QToolBar;

class QTabWidget;
class QTableView;

namespace app {

// Runs one action on the program and brings its windows up to date (the
// binder's act); without one the action simply runs.
using ActionRunner = std::function<void(const std::function<void()>&)>;

// The cells of one worksheet, read live from the workbook.
class SheetModel : public QAbstractTableModel {
 public:
  SheetModel(std::shared_ptr<sheethost::embedded::EmbeddedWorkbook> book,
             int sheetIndex, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;
  // Cells the user may type into: neither the program's nor formulas.
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value,
               int role) override;

  // Runs the typing through the program, and tells why one was refused.
  ActionRunner run;
  std::function<void(const QString&)> refused;

  // A cell the host has set (1-based); the table grows to hold it.
  void cellChanged(int row, int column);

 private:
  std::shared_ptr<sheethost::embedded::EmbeddedWorkbook> book_;
  int sheet_;
  int rows_;
  int columns_;
};

class SheetWindow : public QMainWindow {
 public:
  SheetWindow(
      std::shared_ptr<sheethost::embedded::EmbeddedSheetApplication> app,
      ActionRunner run);
  ~SheetWindow() override;

  // The instance whose workbooks the window shows. A new report's instance
  // takes the window over; the one before (let go by the program) goes.
  void setInstance(
      std::shared_ptr<sheethost::embedded::EmbeddedSheetApplication> app);
  const std::shared_ptr<sheethost::embedded::EmbeddedSheetApplication>&
  instance() const {
    return app_;
  }

  void addBook(sheethost::embedded::EmbeddedWorkbook& book);
  void cellChanged(sheethost::embedded::EmbeddedWorkbook& book, int sheet,
                   int row, int column);
  void sheetActivated(sheethost::embedded::EmbeddedWorkbook& book, int sheet);

  // The workbook of the current tab, and its Save As without the dialog.
  // False, with the reason in error, when nothing was written.
  std::shared_ptr<sheethost::embedded::EmbeddedWorkbook> currentBook() const;
  bool saveCurrentAs(const QString& path, QString* error = nullptr);
  // Where Save As starts: the name proposed for the workbook (beside the
  // drawing), else where it was saved or opened; never over a template.
  QString proposedPath() const;
  // Ctrl+S: where the workbook was last saved, or Save As the first time.
  void save();
  // Opens the saved workbook in the desktop's spreadsheet program.
  void openExternally();

  // An action of the window's toolbar and File menu that runs `run` (the
  // inspection report, beside the workbooks it summarises).
  QAction* addReportAction(const QString& text, std::function<void()> run);

  QTabWidget* books() const { return books_; }
  SheetModel* model(int book, int sheet) const;  // from 0

  // Asked before a window with unsaved changes closes; the default asks
  // the user.
  std::function<bool()> confirmDiscard;
  // Asks for a file to save to, starting at the proposed path; the default
  // shows the file dialog. An empty answer is a cancel.
  std::function<QString(const QString& start)> askSavePath;
  // Hands a saved file to the desktop; the default opens it there.
  std::function<bool(const QString& path)> openFile;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Book {
    std::shared_ptr<sheethost::embedded::EmbeddedWorkbook> book;
    QTabWidget* sheets = nullptr;
    std::vector<SheetModel*> models;
  };
  Book* find(const sheethost::embedded::EmbeddedWorkbook& book);
  void saveAsDialog();
  void showStatus(const QString& text);
  // Where the shown workbook is saved, or the name proposed for it.
  void showWhereSaved();
  void showWhereSavedLater();

  std::shared_ptr<sheethost::embedded::EmbeddedSheetApplication> app_;
  ActionRunner run_;
  QTabWidget* books_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QAction* closeAction_ = nullptr;
  std::vector<Book> list_;
  bool statusPending_ = false;
};

// The sheet window of the program: made when an instance first becomes
// visible, and taken over by each later instance that is shown (a new
// report), so stale windows never stack up.
class SheetWindows {
 public:
  explicit SheetWindows(ActionRunner run = {});
  ~SheetWindows();
  SheetWindows(const SheetWindows&) = delete;
  SheetWindows& operator=(const SheetWindows&) = delete;

  // For makeSheetHost: watches each new instance.
  void attach(
      const std::shared_ptr<sheethost::embedded::EmbeddedSheetApplication>&
          app);
  // Told of every window made, so that it can be placed.
  std::function<void(SheetWindow*)> onWindow;

  // The window while it shows this instance, else null.
  SheetWindow* windowOf(
      const sheethost::embedded::EmbeddedSheetApplication& app) const;
  SheetWindow* window() const { return window_.data(); }

 private:
  class Watch;
  ActionRunner run_;
  std::vector<std::shared_ptr<Watch>> watches_;
  QPointer<SheetWindow> window_;
};

}  // namespace app
