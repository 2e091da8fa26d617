// The window of the program's own spreadsheet host: while an instance is
// visible it shows the instance's workbooks as tabs and their cells as
// tables, follows every cell the reports set, and saves a workbook when the
// user asks. Closing it is the host's closed notification.
#pragma once

#include <QAbstractTableModel>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "reports/embedded/embedded_host.h"

class QTabWidget;
class QTableView;

namespace app {

// Runs one action on the program and brings its windows up to date (the
// binder's act); without one the action simply runs.
using ActionRunner = std::function<void(const std::function<void()>&)>;

// The cells of one worksheet, read live from the workbook.
class SheetModel : public QAbstractTableModel {
 public:
  SheetModel(std::shared_ptr<reports::embedded::EmbeddedWorkbook> book,
             int sheetIndex, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role) const override;

  // A cell the host has set (1-based); the table grows to hold it.
  void cellChanged(int row, int column);

 private:
  std::shared_ptr<reports::embedded::EmbeddedWorkbook> book_;
  int sheet_;
  int rows_;
  int columns_;
};

class SheetWindow : public QMainWindow {
 public:
  SheetWindow(std::shared_ptr<reports::embedded::EmbeddedSheetApplication> app,
              ActionRunner run);
  ~SheetWindow() override;

  void addBook(reports::embedded::EmbeddedWorkbook& book);
  void cellChanged(reports::embedded::EmbeddedWorkbook& book, int sheet,
                   int row, int column);
  void sheetActivated(reports::embedded::EmbeddedWorkbook& book, int sheet);

  // The workbook of the current tab, and its Save As without the dialog.
  // False, with the reason in error, when nothing was written.
  std::shared_ptr<reports::embedded::EmbeddedWorkbook> currentBook() const;
  bool saveCurrentAs(const QString& path, QString* error = nullptr);

  QTabWidget* books() const { return books_; }
  SheetModel* model(int book, int sheet) const;  // from 0

  // Asked before a window with unsaved changes closes; the default asks
  // the user.
  std::function<bool()> confirmDiscard;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Book {
    std::shared_ptr<reports::embedded::EmbeddedWorkbook> book;
    QTabWidget* sheets = nullptr;
    std::vector<SheetModel*> models;
    bool unsaved = false;
  };
  Book* find(const reports::embedded::EmbeddedWorkbook& book);
  void saveAsDialog();

  std::shared_ptr<reports::embedded::EmbeddedSheetApplication> app_;
  ActionRunner run_;
  QTabWidget* books_ = nullptr;
  std::vector<Book> list_;
};

// Every sheet window of the program: one per instance, made when the
// instance becomes visible.
class SheetWindows {
 public:
  explicit SheetWindows(ActionRunner run = {});
  ~SheetWindows();
  SheetWindows(const SheetWindows&) = delete;
  SheetWindows& operator=(const SheetWindows&) = delete;

  // For makeSheetHost: watches each new instance.
  void attach(
      const std::shared_ptr<reports::embedded::EmbeddedSheetApplication>& app);
  // The window of an instance while it is shown, else null.
  SheetWindow* windowOf(
      const reports::embedded::EmbeddedSheetApplication& app) const;

 private:
  class Watch;
  ActionRunner run_;
  std::vector<std::shared_ptr<Watch>> watches_;
};

}  // namespace app
