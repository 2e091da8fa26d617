#include "app/sheet_window.h"

#include <QAction>
#include <QBrush>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/hosts.h"
#include "forms/basic.h"

namespace app {

using reports::embedded::EmbeddedSheetApplication;
using reports::embedded::EmbeddedWorkbook;

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return std::filesystem::absolute(a, ec).lexically_normal() ==
         std::filesystem::absolute(b, ec).lexically_normal();
}

// The templates beside the program are never replaced by a save.
bool isTemplate(const std::string& path) {
  const std::filesystem::path data =
      std::filesystem::path(
          QCoreApplication::applicationDirPath().toStdString()) /
      "dimdata";
  std::error_code ec;
  return std::filesystem::equivalent(std::filesystem::path(path).parent_path(),
                                     data, ec);
}

}  // namespace

// --- model -----------------------------------------------------------------

SheetModel::SheetModel(std::shared_ptr<EmbeddedWorkbook> book, int sheetIndex,
                       QObject* parent)
    : QAbstractTableModel(parent), book_(std::move(book)), sheet_(sheetIndex) {
  const xlsx::CellRange used = book_->sheetContent(sheet_).usedRange();
  // A little room beyond what the sheet holds, as a spreadsheet shows.
  rows_ = std::max(used.empty() ? 0 : used.lastRow, 1) + 20;
  columns_ = std::max(used.empty() ? 0 : used.lastColumn, 1) + 2;
}

int SheetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int SheetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns_;
}

QVariant SheetModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const xlsx::Sheet& sheet = book_->sheetContent(sheet_);
  const int row = index.row() + 1;
  const int column = index.column() + 1;
  if (role != Qt::DisplayRole && role != Qt::EditRole &&
      role != Qt::ForegroundRole && role != Qt::TextAlignmentRole)
    return {};
  const xlsx::Value v = sheet.value(row, column);
  const bool number = std::holds_alternative<double>(v);
  if (role == Qt::TextAlignmentRole)
    return static_cast<int>((number ? Qt::AlignRight : Qt::AlignLeft) |
                            Qt::AlignVCenter);
  if (std::holds_alternative<std::monostate>(v)) {
    // A formula whose result is not known here: the spreadsheet program
    // computes it when the saved file is opened.
    const std::string f = sheet.formula(row, column);
    if (f.empty()) return {};
    if (role == Qt::ForegroundRole) return QBrush(Qt::gray);
    return qs("=" + f);
  }
  if (role == Qt::ForegroundRole) return {};
  if (const auto* t = std::get_if<std::string>(&v)) return qs(*t);
  if (const auto* d = std::get_if<double>(&v)) return qs(forms::DoubleText(*d));
  if (const auto* b = std::get_if<bool>(&v))
    return *b ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
  return {};
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation,
                                int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return qs(xlsx::columnName(section + 1));
  return section + 1;
}

void SheetModel::cellChanged(int row, int column) {
  if (row > rows_) {
    beginInsertRows({}, rows_, row - 1);
    rows_ = row;
    endInsertRows();
  }
  if (column > columns_) {
    beginInsertColumns({}, columns_, column - 1);
    columns_ = column;
    endInsertColumns();
  }
  const QModelIndex at = index(row - 1, column - 1);
  emit dataChanged(at, at);
}

// --- window ----------------------------------------------------------------

SheetWindow::SheetWindow(std::shared_ptr<EmbeddedSheetApplication> app,
                         ActionRunner run)
    : app_(std::move(app)), run_(std::move(run)) {
  setWindowTitle("DimMark 电子表格");
  resize(1000, 640);
  books_ = new QTabWidget(this);
  books_->setDocumentMode(true);
  setCentralWidget(books_);

  auto* saveAs = new QAction("另存为…", this);
  saveAs->setShortcut(QKeySequence::SaveAs);
  connect(saveAs, &QAction::triggered, this, [this] { saveAsDialog(); });
  QMenu* file = menuBar()->addMenu("文件");
  file->addAction(saveAs);
  auto* close = new QAction("关闭", this);
  connect(close, &QAction::triggered, this, [this] { this->close(); });
  file->addAction(close);
  addToolBar("文件")->addAction(saveAs);
  connect(books_, &QTabWidget::currentChanged, this, [this] {
    if (auto book = currentBook()) statusBar()->showMessage(qs(book->path()));
  });

  confirmDiscard = [this] {
    return QMessageBox::question(
               this, "DimMark",
               "工作簿还没有保存，关闭后填写的内容将丢失。确定关闭吗？") ==
           QMessageBox::Yes;
  };
  for (const auto& book : app_->workbooks()) addBook(*book);
}

SheetWindow::~SheetWindow() = default;

SheetWindow::Book* SheetWindow::find(const EmbeddedWorkbook& book) {
  for (Book& b : list_)
    if (b.book.get() == &book) return &b;
  return nullptr;
}

void SheetWindow::addBook(EmbeddedWorkbook& book) {
  if (find(book)) return;
  std::shared_ptr<EmbeddedWorkbook> ref = app_->findWorkbook(book.path());
  if (!ref || ref.get() != &book) return;
  Book b;
  b.book = ref;
  b.sheets = new QTabWidget;
  b.sheets->setTabPosition(QTabWidget::South);
  for (int i = 1; i <= book.worksheetCount(); ++i) {
    auto* model = new SheetModel(ref, i, b.sheets);
    auto* view = new QTableView;
    view->setModel(model);
    view->horizontalHeader()->setDefaultSectionSize(80);
    view->verticalHeader()->setDefaultSectionSize(22);
    for (const xlsx::CellRange& m : book.sheetContent(i).mergedCells())
      view->setSpan(m.firstRow - 1, m.firstColumn - 1,
                    m.lastRow - m.firstRow + 1,
                    m.lastColumn - m.firstColumn + 1);
    b.sheets->addTab(view, qs(book.worksheetName(i)));
    b.models.push_back(model);
  }
  b.sheets->setCurrentIndex(book.activeIndex() - 1);
  list_.push_back(std::move(b));
  books_->addTab(list_.back().sheets, qs(book.fileName()));
}

void SheetWindow::cellChanged(EmbeddedWorkbook& book, int sheet, int row,
                              int column) {
  Book* b = find(book);
  if (!b || sheet < 1 || sheet > static_cast<int>(b->models.size())) return;
  b->models[static_cast<size_t>(sheet - 1)]->cellChanged(row, column);
  b->unsaved = true;
}

void SheetWindow::sheetActivated(EmbeddedWorkbook& book, int sheet) {
  Book* b = find(book);
  if (!b) return;
  b->sheets->setCurrentIndex(sheet - 1);
  books_->setCurrentWidget(b->sheets);
}

std::shared_ptr<EmbeddedWorkbook> SheetWindow::currentBook() const {
  const int i = books_->currentIndex();
  if (i < 0 || i >= static_cast<int>(list_.size())) return nullptr;
  return list_[static_cast<size_t>(i)].book;
}

SheetModel* SheetWindow::model(int book, int sheet) const {
  if (book < 0 || book >= static_cast<int>(list_.size())) return nullptr;
  const auto& models = list_[static_cast<size_t>(book)].models;
  if (sheet < 0 || sheet >= static_cast<int>(models.size())) return nullptr;
  return models[static_cast<size_t>(sheet)];
}

bool SheetWindow::saveCurrentAs(const QString& chosen, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  auto book = currentBook();
  if (!book) return fail("没有打开的工作簿");
  QString path = chosen;
  if (!path.endsWith(".xlsx", Qt::CaseInsensitive)) path += ".xlsx";
  const std::string target = path.toStdString();
  const bool over = samePath(target, book->path());
  if (over && isTemplate(book->path()))
    return fail("模板文件 " + qs(book->fileName()) +
                " 不能被覆盖，请另选文件名");
  try {
    app_->saveWorkbook(book->path(), target, over);
  } catch (const reports::SheetError& e) {
    return fail(qs(e.what()));
  }
  for (Book& b : list_)
    if (b.book == book) b.unsaved = false;
  statusBar()->showMessage("已保存 " + path);
  return true;
}

void SheetWindow::saveAsDialog() {
  auto book = currentBook();
  if (!book) return;
  QString start = isTemplate(book->path())
                      ? QDir::home().filePath(qs(book->fileName()))
                      : qs(book->path());
  const QString path = QFileDialog::getSaveFileName(this, "另存为", start,
                                                    "Excel 工作簿 (*.xlsx)");
  if (path.isEmpty()) return;
  QString why;
  if (!saveCurrentAs(path, &why))
    QMessageBox::warning(this, "DimMark", "保存失败：" + why);
}

void SheetWindow::closeEvent(QCloseEvent* event) {
  // The model decides: the host hides the window and tells the program.
  event->ignore();
  const bool unsaved = std::any_of(list_.begin(), list_.end(),
                                   [](const Book& b) { return b.unsaved; });
  if (unsaved && confirmDiscard && !confirmDiscard()) return;
  auto app = app_;  // the window may go while the host reports
  auto closeIt = [app] { app->closeWindow(); };
  if (run_)
    run_(closeIt);
  else
    closeIt();
}

// --- the windows of all instances -------------------------------------------

class SheetWindows::Watch : public reports::embedded::SheetObserver {
 public:
  Watch(const std::shared_ptr<EmbeddedSheetApplication>& app,
        const ActionRunner& run)
      : app_(app), run_(run) {}
  ~Watch() override { delete window_.data(); }

  void workbookOpened(EmbeddedWorkbook& book) override {
    active_ = &book;
    if (window_) window_->addBook(book);
  }
  void cellChanged(EmbeddedWorkbook& book, int sheet, int row,
                   int column) override {
    if (window_) window_->cellChanged(book, sheet, row, column);
  }
  void sheetActivated(EmbeddedWorkbook& book, int sheet) override {
    active_ = &book;
    if (window_) window_->sheetActivated(book, sheet);
  }
  void visibilityChanged(bool visible) override {
    if (visible) {
      auto app = app_.lock();
      if (!app) return;
      // The window holds its instance: one the program has let go of stays
      // open until the user closes it.
      if (!window_) {
        window_ = new SheetWindow(app, run_);
        // What was activated while no window showed comes to the front.
        for (const auto& book : app->workbooks())
          if (book.get() == active_)
            window_->sheetActivated(*book, book->activeIndex());
      }
      window_->show();
      window_->raise();
      window_->activateWindow();
    } else if (window_) {
      window_->hide();
      window_->deleteLater();
      window_.clear();
    }
  }

  bool expired() const { return app_.expired() && !window_; }
  bool watches(const EmbeddedSheetApplication& app) const {
    auto held = app_.lock();
    return held.get() == &app;
  }
  SheetWindow* window() const { return window_.data(); }

 private:
  std::weak_ptr<EmbeddedSheetApplication> app_;
  const ActionRunner& run_;
  QPointer<SheetWindow> window_;
  // The workbook opened or activated last; compared, never followed.
  const EmbeddedWorkbook* active_ = nullptr;
};

SheetWindows::SheetWindows(ActionRunner run) : run_(std::move(run)) {}

SheetWindows::~SheetWindows() = default;

void SheetWindows::attach(
    const std::shared_ptr<EmbeddedSheetApplication>& app) {
  std::erase_if(watches_, [](const auto& w) { return w->expired(); });
  auto watch = std::make_shared<Watch>(app, run_);
  app->addObserver(watch);
  watches_.push_back(std::move(watch));
}

SheetWindow* SheetWindows::windowOf(const EmbeddedSheetApplication& app) const {
  for (const auto& w : watches_)
    if (w->watches(app)) return w->window();
  return nullptr;
}

reports::SheetFactory windowSheetHost(ActionRunner run) {
  auto windows = std::make_shared<SheetWindows>(std::move(run));
  return reports::embedded::makeSheetHost(
      [windows](const std::shared_ptr<EmbeddedSheetApplication>& app) {
        windows->attach(app);
      });
}

}  // namespace app
