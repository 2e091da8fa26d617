#include "app/sheet_window.h"

#include <QAction>
#include <QBrush>
#include <QCloseEvent>
#include <QColor>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
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
  switch (role) {
    case Qt::DisplayRole:
      // Formulas show their results, computed here, as in any spreadsheet.
      return qs(sheet.displayText(row, column));
    case Qt::EditRole: {
      // What the user edits is what the cell holds.
      const xlsx::Computed v = sheet.computed(row, column);
      if (const auto* t = std::get_if<std::string>(&v)) return qs(*t);
      if (const auto* d = std::get_if<double>(&v))
        return qs(forms::DoubleText(*d));
      return qs(sheet.displayText(row, column));
    }
    case Qt::ToolTipRole: {
      const std::string f = sheet.formula(row, column);
      if (!f.empty()) return qs("=" + f);
      if (book_->reserved(sheet_, row, column))
        return QStringLiteral("由程序填写");
      return {};
    }
    case Qt::TextAlignmentRole: {
      const xlsx::CellLook look = sheet.look(row, column);
      Qt::Alignment a = Qt::AlignVCenter;
      if (look.horizontal == xlsx::Alignment::center)
        a |= Qt::AlignHCenter;
      else if (look.horizontal == xlsx::Alignment::right)
        a |= Qt::AlignRight;
      else
        a |= Qt::AlignLeft;
      return static_cast<int>(a);
    }
    case Qt::ForegroundRole: {
      const xlsx::CellLook look = sheet.look(row, column);
      if (!look.fontColor) return {};
      return QBrush(QColor(static_cast<QRgb>(*look.fontColor)));
    }
    case Qt::BackgroundRole: {
      const xlsx::CellLook look = sheet.look(row, column);
      if (!look.fillColor) return {};
      return QBrush(QColor(static_cast<QRgb>(*look.fillColor)));
    }
    case Qt::FontRole: {
      const xlsx::CellLook look = sheet.look(row, column);
      if (!look.bold) return {};
      QFont font;
      font.setBold(true);
      return font;
    }
    default:
      return {};
  }
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(index);
  if (!index.isValid()) return f;
  const int row = index.row() + 1;
  const int column = index.column() + 1;
  if (!book_->reserved(sheet_, row, column) &&
      !book_->hasFormula(sheet_, row, column))
    f |= Qt::ItemIsEditable;
  return f;
}

bool SheetModel::setData(const QModelIndex& index, const QVariant& value,
                         int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const int row = index.row() + 1;
  const int column = index.column() + 1;
  const std::string text = value.toString().trimmed().toStdString();
  bool done = false;
  auto type = [&] {
    try {
      book_->typeCell(sheet_, row, column, text);
      done = true;
    } catch (const reports::SheetError& e) {
      if (refused) refused(qs(e.what()));
    }
  };
  if (run)
    run(type);
  else
    type();
  return done;
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
  // Formulas anywhere may follow the cell: the whole sheet is redrawn, which
  // costs only the visible cells.
  emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
}

// --- window ----------------------------------------------------------------

QAction* SheetWindow::addReportAction(const QString& text,
                                      std::function<void()> run) {
  auto* action = new QAction(text, this);
  connect(action, &QAction::triggered, this, [run = std::move(run)] {
    if (run) run();
  });
  fileMenu_->insertAction(closeAction_, action);
  fileMenu_->insertSeparator(closeAction_);
  toolBar_->addSeparator();
  toolBar_->addAction(action);
  return action;
}

SheetWindow::SheetWindow(std::shared_ptr<EmbeddedSheetApplication> app,
                         ActionRunner run)
    : app_(std::move(app)), run_(std::move(run)) {
  setWindowTitle("DimMark 电子表格");
  resize(1000, 640);
  books_ = new QTabWidget(this);
  books_->setDocumentMode(true);
  setCentralWidget(books_);

  auto* save = new QAction("保存", this);
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] { this->save(); });
  auto* saveAs = new QAction("另存为…", this);
  saveAs->setShortcut(QKeySequence::SaveAs);
  // Beside the drawing in one window, Ctrl+S saves what has the focus:
  // these keys belong to the workbooks while they have it.
  for (QAction* a : {save, saveAs}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
  connect(saveAs, &QAction::triggered, this, [this] { saveAsDialog(); });
  auto* openIt = new QAction("用电子表格程序打开", this);
  openIt->setToolTip("保存后，在系统的电子表格程序中打开当前工作簿");
  connect(openIt, &QAction::triggered, this, [this] { openExternally(); });
  QMenu* file = menuBar()->addMenu("文件");
  file->addAction(save);
  file->addAction(saveAs);
  file->addSeparator();
  file->addAction(openIt);
  file->addSeparator();
  auto* close = new QAction("关闭", this);
  connect(close, &QAction::triggered, this, [this] { this->close(); });
  file->addAction(close);
  QToolBar* bar = addToolBar("文件");
  bar->addAction(save);
  bar->addAction(saveAs);
  bar->addAction(openIt);
  fileMenu_ = file;
  toolBar_ = bar;
  closeAction_ = close;
  connect(books_, &QTabWidget::currentChanged, this,
          [this] { showWhereSaved(); });

  confirmDiscard = [this] {
    return QMessageBox::question(
               this, "DimMark",
               "工作簿还没有保存，关闭后填写的内容将丢失。确定关闭吗？") ==
           QMessageBox::Yes;
  };
  askSavePath = [this](const QString& start) {
    return QFileDialog::getSaveFileName(this, "另存为", start,
                                        "Excel 工作簿 (*.xlsx)");
  };
  openFile = [](const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  };
  for (const auto& book : app_->workbooks()) addBook(*book);
}

SheetWindow::~SheetWindow() {
  for (Book& b : list_) b.book->askAndSave = nullptr;
}

void SheetWindow::setInstance(std::shared_ptr<EmbeddedSheetApplication> app) {
  if (app == app_) return;
  // The tabs of the instance let go; its models go with their tabs.
  while (books_->count() > 0) {
    QWidget* tab = books_->widget(0);
    books_->removeTab(0);
    delete tab;
  }
  for (Book& b : list_) b.book->askAndSave = nullptr;
  list_.clear();
  app_ = std::move(app);
  for (const auto& book : app_->workbooks()) addBook(*book);
}

void SheetWindow::showWhereSaved() {
  auto book = currentBook();
  if (!book) return;
  if (book->savedPath().empty())
    showStatus("还没有保存；保存时建议：" + proposedPath());
  else if (!book->Saved())
    showStatus("有没保存的修改（上次保存到 " + qs(book->savedPath()) + "）");
  else
    showStatus("已保存 " + qs(book->savedPath()));
}

void SheetWindow::showWhereSavedLater() {
  // After the handler that filled the workbook has named it.
  if (statusPending_) return;
  statusPending_ = true;
  QTimer::singleShot(0, this, [this] {
    statusPending_ = false;
    showWhereSaved();
  });
}

void SheetWindow::showStatus(const QString& text) {
  statusBar()->showMessage(text);
}

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
  // The program's own saves (at exit) ask where, as Save does here.
  ref->askAndSave = [this](EmbeddedWorkbook& which) {
    const int i = books_->indexOf(find(which) ? find(which)->sheets : nullptr);
    if (i >= 0) books_->setCurrentIndex(i);
    save();
    return which.Saved();
  };
  b.sheets = new QTabWidget;
  b.sheets->setTabPosition(QTabWidget::South);
  for (int i = 1; i <= book.worksheetCount(); ++i) {
    auto* model = new SheetModel(ref, i, b.sheets);
    model->run = run_;
    model->refused = [this](const QString& why) { showStatus(why); };
    auto* view = new QTableView;
    view->setModel(model);
    // Tab leaves the workbook for the next control; the arrows move
    // between cells.
    view->setTabKeyNavigation(false);
    view->setEditTriggers(QAbstractItemView::DoubleClicked |
                          QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    view->horizontalHeader()->setDefaultSectionSize(80);
    view->verticalHeader()->setDefaultSectionSize(22);
    // The columns as wide as the workbook makes them, in characters of
    // its default font: about the width of a digit each, plus a margin.
    const int digit = view->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (const auto& [column, width] : book.sheetContent(i).columnWidths())
      view->setColumnWidth(column - 1,
                           static_cast<int>(width * digit + 0.5) + 5);
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
  showWhereSavedLater();
}

void SheetWindow::cellChanged(EmbeddedWorkbook& book, int sheet, int row,
                              int column) {
  Book* b = find(book);
  if (!b || sheet < 1 || sheet > static_cast<int>(b->models.size())) return;
  b->models[static_cast<size_t>(sheet - 1)]->cellChanged(row, column);
  // A change after a save: the status line no longer says it is saved.
  showWhereSavedLater();
}

void SheetWindow::sheetActivated(EmbeddedWorkbook& book, int sheet) {
  Book* b = find(book);
  if (!b) return;
  b->sheets->setCurrentIndex(sheet - 1);
  books_->setCurrentWidget(b->sheets);
  showWhereSavedLater();
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
  showStatus("已保存 " + path);
  return true;
}

QString SheetWindow::proposedPath() const {
  auto book = currentBook();
  if (!book) return {};
  if (!book->savedPath().empty()) return qs(book->savedPath());
  if (!book->suggestedPath().empty()) return qs(book->suggestedPath());
  if (isTemplate(book->path()))
    return QDir::home().filePath(qs(book->fileName()));
  return qs(book->path());
}

void SheetWindow::saveAsDialog() {
  if (!currentBook() || !askSavePath) return;
  const QString path = askSavePath(proposedPath());
  if (path.isEmpty()) return;
  QString why;
  if (!saveCurrentAs(path, &why))
    QMessageBox::warning(this, "DimMark", "保存失败：" + why);
}

void SheetWindow::save() {
  auto book = currentBook();
  if (!book) return;
  if (book->savedPath().empty()) {
    saveAsDialog();
    return;
  }
  QString why;
  if (!saveCurrentAs(qs(book->savedPath()), &why))
    QMessageBox::warning(this, "DimMark", "保存失败：" + why);
}

void SheetWindow::openExternally() {
  auto book = currentBook();
  if (!book) return;
  // What the desktop's program opens is the file: it must hold the latest.
  if (book->savedPath().empty() || !book->Saved()) save();
  if (book->savedPath().empty() || !book->Saved()) return;
  if (!openFile || !openFile(qs(book->savedPath())))
    QMessageBox::warning(
        this, "DimMark",
        "没有找到能打开 " + qs(book->savedPath()) + " 的电子表格程序。");
}

void SheetWindow::closeEvent(QCloseEvent* event) {
  // The model decides: the host hides the window and tells the program.
  event->ignore();
  const bool unsaved =
      std::any_of(list_.begin(), list_.end(),
                  [](const Book& b) { return !b.book->Saved(); });
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
        SheetWindows& owner)
      : app_(app), owner_(owner) {}

  void workbookOpened(EmbeddedWorkbook& book) override {
    active_ = &book;
    if (auto* w = shown()) w->addBook(book);
  }
  void cellChanged(EmbeddedWorkbook& book, int sheet, int row,
                   int column) override {
    if (auto* w = shown()) w->cellChanged(book, sheet, row, column);
  }
  void sheetActivated(EmbeddedWorkbook& book, int sheet) override {
    active_ = &book;
    if (auto* w = shown()) w->sheetActivated(book, sheet);
  }
  void visibilityChanged(bool visible) override {
    auto app = app_.lock();
    if (!app) return;
    if (visible) {
      SheetWindow* w = owner_.window_;
      if (!w) {
        w = new SheetWindow(app, owner_.run_);
        owner_.window_ = w;
        if (owner_.onWindow) owner_.onWindow(w);
      } else {
        w->setInstance(app);
      }
      // What was activated while no window showed comes to the front.
      for (const auto& book : app->workbooks())
        if (book.get() == active_)
          w->sheetActivated(*book, book->activeIndex());
      w->show();
      w->raise();
      w->activateWindow();
    } else if (auto* w = shown()) {
      w->hide();
      w->deleteLater();
      owner_.window_.clear();
    }
  }

  bool expired() const { return app_.expired(); }
  bool watches(const EmbeddedSheetApplication& app) const {
    auto held = app_.lock();
    return held.get() == &app;
  }

 private:
  // The window while it shows this instance.
  SheetWindow* shown() const {
    SheetWindow* w = owner_.window_;
    auto app = app_.lock();
    return w && app && w->instance() == app ? w : nullptr;
  }

  std::weak_ptr<EmbeddedSheetApplication> app_;
  SheetWindows& owner_;
  // The workbook opened or activated last; compared, never followed.
  const EmbeddedWorkbook* active_ = nullptr;
};

SheetWindows::SheetWindows(ActionRunner run) : run_(std::move(run)) {}

SheetWindows::~SheetWindows() { delete window_.data(); }

void SheetWindows::attach(
    const std::shared_ptr<EmbeddedSheetApplication>& app) {
  std::erase_if(watches_, [](const auto& w) { return w->expired(); });
  auto watch = std::make_shared<Watch>(app, *this);
  app->addObserver(watch);
  watches_.push_back(std::move(watch));
}

SheetWindow* SheetWindows::windowOf(const EmbeddedSheetApplication& app) const {
  SheetWindow* w = window_;
  return w && w->instance().get() == &app ? w : nullptr;
}

reports::SheetFactory windowSheetHost(
    ActionRunner run, std::function<void(SheetWindow*)> onWindow) {
  auto windows = std::make_shared<SheetWindows>(std::move(run));
  windows->onWindow = std::move(onWindow);
  return reports::embedded::makeSheetHost(
      [windows](const std::shared_ptr<EmbeddedSheetApplication>& app) {
        windows->attach(app);
      });
}

}  // namespace app
