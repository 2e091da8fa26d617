#include "sheethost/embedded/embedded_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

#include "sheethost/xlsx/numfmt.h"

namespace sheethost::embedded {

namespace detail {

struct Observers {
  std::vector<std::weak_ptr<SheetObserver>> list;

  template <typename Call>
  void notify(Call call) {
    // A copy, so that an observer may add another while it is told.
    const auto current = list;
    bool expired = false;
    for (const auto& weak : current) {
      if (auto observer = weak.lock())
        call(*observer);
      else
        expired = true;
    }
    if (expired)
      std::erase_if(list, [](const auto& weak) { return weak.expired(); });
  }
};

struct Reserved {
  int sheet, firstRow, firstColumn, lastRow, lastColumn;
};

struct BookState {
  xlsx::Workbook book;
  std::string path;
  std::shared_ptr<Observers> observers;
  EmbeddedWorkbook* owner = nullptr;  // cleared when the workbook goes
  bool unsaved = false;
  std::string suggestedPath;
  std::string savedPath;
  std::vector<Reserved> reserved;

  // Tells the window; every change leaves the workbook unsaved.
  void changed(int sheet, int row, int column) {
    unsaved = true;
    if (owner)
      observers->notify(
          [&](SheetObserver& o) { o.cellChanged(*owner, sheet, row, column); });
  }

  BookState(xlsx::Workbook b, std::string p, std::shared_ptr<Observers> o)
      : book(std::move(b)), path(std::move(p)), observers(std::move(o)) {}
};

}  // namespace detail

namespace {

std::string lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string fileNameOf(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool samePath(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return a == b;
}

// A text typed into a cell that is a plain decimal number as a whole.
std::optional<double> wholeNumber(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  // "007" is a code, not the number 7.
  const std::size_t first = (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (first + 1 < n && text[first] == '0' && text[first + 1] >= '0' &&
      text[first + 1] <= '9')
    return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exp = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++exp;
    if (exp == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  const double d = std::strtod(text.c_str(), nullptr);
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

void checkCell(int row, int column) {
  if (row < 1 || row > xlsx::kMaxRows || column < 1 ||
      column > xlsx::kMaxColumns)
    throw SheetError("Cells(" + std::to_string(row) + ", " +
                     std::to_string(column) + ") lies outside the sheet");
}

class EmbeddedWorksheet : public Worksheet {
 public:
  EmbeddedWorksheet(std::shared_ptr<detail::BookState> state, int index)
      : state_(std::move(state)), index_(index) {}

  void Activate() override {
    state_->book.setActiveSheet(index_ - 1);
    if (auto* owner = state_->owner)
      state_->observers->notify(
          [&](SheetObserver& o) { o.sheetActivated(*owner, index_); });
  }

  CellValue GetCell(int row, int column) const override {
    checkCell(row, column);
    try {
      const xlsx::Value value = sheet().value(row, column);
      if (const auto* text = std::get_if<std::string>(&value)) return *text;
      if (const auto* number = std::get_if<double>(&value)) return *number;
      if (const auto* flag = std::get_if<bool>(&value))
        return std::string(*flag ? "TRUE" : "FALSE");
      return {};
    } catch (const xlsx::Error& e) {
      throw SheetError(e.what());
    }
  }

  void SetCell(int row, int column, const CellValue& value) override {
    checkCell(row, column);
    try {
      xlsx::Sheet& target = sheet();
      if (const auto* text = std::get_if<std::string>(&value))
        target.setText(row, column, *text);
      else if (const auto* number = std::get_if<double>(&value))
        target.setNumber(row, column, *number);
      else if (const auto* single = std::get_if<float>(&value))
        target.setNumber(row, column, *single);
      else
        target.clear(row, column);
    } catch (const xlsx::Error& e) {
      throw SheetError(e.what());
    }
    state_->changed(index_, row, column);
  }

  void SetFormula(int row, int column, const std::string& formula) override {
    checkCell(row, column);
    try {
      sheet().setFormula(row, column, formula);
    } catch (const xlsx::Error& e) {
      throw SheetError(e.what());
    }
    state_->changed(index_, row, column);
  }

  bool HasFormula(int row, int column) const override {
    checkCell(row, column);
    return !sheet().formula(row, column).empty();
  }

  bool IsDate(int row, int column) const override {
    checkCell(row, column);
    return xlsx::isDateFormat(sheet().look(row, column).numberFormat);
  }

  void ReserveCells(int firstRow, int firstColumn, int lastRow,
                    int lastColumn) override {
    checkCell(firstRow, firstColumn);
    checkCell(lastRow, lastColumn);
    state_->reserved.push_back(
        {index_, std::min(firstRow, lastRow), std::min(firstColumn, lastColumn),
         std::max(firstRow, lastRow), std::max(firstColumn, lastColumn)});
  }

 private:
  xlsx::Sheet& sheet() const { return state_->book.sheet(index_ - 1); }

  std::shared_ptr<detail::BookState> state_;
  int index_;
};

}  // namespace

// --- workbook --------------------------------------------------------------

EmbeddedWorkbook::EmbeddedWorkbook(std::shared_ptr<detail::BookState> state)
    : state_(std::move(state)) {
  state_->owner = this;
  // One object per sheet, so that every Worksheets(i) gives the same one.
  for (int i = 1; i <= state_->book.sheetCount(); ++i)
    sheets_.push_back(std::make_shared<EmbeddedWorksheet>(state_, i));
}

EmbeddedWorkbook::~EmbeddedWorkbook() { state_->owner = nullptr; }

WorksheetRef EmbeddedWorkbook::Worksheets(int index) {
  if (index < 1 || index > worksheetCount())
    throw SheetError("Worksheets(" + std::to_string(index) +
                     "): " + fileName() + " has " +
                     std::to_string(worksheetCount()) + " worksheet(s)");
  return sheets_[static_cast<std::size_t>(index - 1)];
}

WorksheetRef EmbeddedWorkbook::ActiveSheet() {
  return sheets_[static_cast<std::size_t>(state_->book.activeSheet())];
}

const std::string& EmbeddedWorkbook::path() const { return state_->path; }

std::string EmbeddedWorkbook::fileName() const {
  return fileNameOf(state_->path);
}

int EmbeddedWorkbook::worksheetCount() const {
  return state_->book.sheetCount();
}

std::string EmbeddedWorkbook::worksheetName(int index) const {
  return sheetContent(index).name();
}

int EmbeddedWorkbook::activeIndex() const {
  return state_->book.activeSheet() + 1;
}

const xlsx::Sheet& EmbeddedWorkbook::sheetContent(int index) const {
  if (index < 1 || index > worksheetCount())
    throw SheetError("Worksheets(" + std::to_string(index) +
                     "): " + fileName() + " has " +
                     std::to_string(worksheetCount()) + " worksheet(s)");
  return state_->book.sheet(index - 1);
}

bool EmbeddedWorkbook::modified() const { return state_->book.modified(); }

bool EmbeddedWorkbook::Saved() const { return !state_->unsaved; }

bool EmbeddedWorkbook::Save() {
  if (!state_->savedPath.empty()) {
    saveAs(state_->savedPath);
    return true;
  }
  return askAndSave && askAndSave(*this);
}

void EmbeddedWorkbook::SetSuggestedPath(const std::string& path) {
  state_->suggestedPath = path;
}

const std::string& EmbeddedWorkbook::suggestedPath() const {
  return state_->suggestedPath;
}

const std::string& EmbeddedWorkbook::savedPath() const {
  return state_->savedPath;
}

bool EmbeddedWorkbook::reserved(int sheetIndex, int row, int column) const {
  for (const auto& r : state_->reserved)
    if (r.sheet == sheetIndex && row >= r.firstRow && row <= r.lastRow &&
        column >= r.firstColumn && column <= r.lastColumn)
      return true;
  return false;
}

bool EmbeddedWorkbook::hasFormula(int sheetIndex, int row, int column) const {
  return !sheetContent(sheetIndex).formula(row, column).empty();
}

void EmbeddedWorkbook::typeCell(int sheetIndex, int row, int column,
                                const std::string& text) {
  checkCell(row, column);
  if (reserved(sheetIndex, row, column))
    throw SheetError("该单元格由程序填写，不能在这里修改");
  if (hasFormula(sheetIndex, row, column))
    throw SheetError("该单元格是公式，不能在这里修改");
  xlsx::Sheet& sheet = state_->book.sheet(sheetIndex - 1);
  try {
    if (text.empty()) {
      sheet.clear(row, column);
    } else if (auto number = wholeNumber(text)) {
      sheet.setNumber(row, column, *number);
    } else {
      sheet.setText(row, column, text);
    }
  } catch (const xlsx::Error& e) {
    throw SheetError(e.what());
  }
  state_->changed(sheetIndex, row, column);
}

void EmbeddedWorkbook::saveAs(const std::string& path, bool overwriteSource) {
  try {
    state_->book.save(path, overwriteSource ? xlsx::SaveMode::overwriteSource
                                            : xlsx::SaveMode::newFile);
  } catch (const xlsx::Error& e) {
    throw SheetError("cannot save " + fileName() + ": " + e.what(), e.plain());
  }
  state_->unsaved = false;
  state_->savedPath = path;
}

// --- application -----------------------------------------------------------

EmbeddedSheetApplication::EmbeddedSheetApplication()
    : observers_(std::make_shared<detail::Observers>()) {}

EmbeddedSheetApplication::~EmbeddedSheetApplication() = default;

WorkbookRef EmbeddedSheetApplication::Open(const std::string& path) {
  const std::string name = fileNameOf(path);
  for (const auto& book : books_) {
    if (samePath(book->path(), path)) return book;
    if (lower(book->fileName()) == lower(name))
      throw SheetError("cannot open " + path + ": a workbook named " +
                       book->fileName() + " is already open (" + book->path() +
                       ")");
  }
  std::shared_ptr<detail::BookState> state;
  try {
    state = std::make_shared<detail::BookState>(xlsx::Workbook::open(path),
                                                path, observers_);
  } catch (const xlsx::Error& e) {
    throw SheetError(std::string("cannot open the workbook ") + e.what(),
                     e.plain());
  }
  std::shared_ptr<EmbeddedWorkbook> book(new EmbeddedWorkbook(state));
  books_.push_back(book);
  observers_->notify([&](SheetObserver& o) { o.workbookOpened(*book); });
  return book;
}

bool EmbeddedSheetApplication::Visible() const { return visible_; }

void EmbeddedSheetApplication::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  observers_->notify([&](SheetObserver& o) { o.visibilityChanged(visible); });
}

void EmbeddedSheetApplication::SetClosedHandler(std::function<void()> handler) {
  closedHandler_ = std::move(handler);
}

const std::vector<std::shared_ptr<EmbeddedWorkbook>>&
EmbeddedSheetApplication::workbooks() const {
  return books_;
}

std::shared_ptr<EmbeddedWorkbook> EmbeddedSheetApplication::findWorkbook(
    const std::string& openedName) const {
  for (const auto& book : books_)
    if (book->path() == openedName) return book;
  const std::string wanted = lower(fileNameOf(openedName));
  for (const auto& book : books_)
    if (lower(book->fileName()) == wanted) return book;
  return nullptr;
}

void EmbeddedSheetApplication::saveWorkbook(const std::string& openedName,
                                            const std::string& path,
                                            bool overwriteSource) {
  auto book = findWorkbook(openedName);
  if (!book) throw SheetError("no open workbook is named " + openedName);
  book->saveAs(path, overwriteSource);
}

void EmbeddedSheetApplication::closeWindow() {
  SetVisible(false);
  // A copy: the handler may replace itself while it runs.
  if (auto handler = closedHandler_) handler();
}

void EmbeddedSheetApplication::addObserver(
    const std::shared_ptr<SheetObserver>& observer) {
  observers_->list.push_back(observer);
}

SheetFactory makeSheetHost(InstanceHook onCreate) {
  return [onCreate = std::move(onCreate)](
             const std::string& className) -> SheetApplicationRef {
    if (lower(className) != "excel.application")
      throw SheetError("CreateObject(\"" + className +
                       "\"): no such class; the spreadsheet host is "
                       "\"excel.application\"");
    auto app = std::make_shared<EmbeddedSheetApplication>();
    if (onCreate) onCreate(app);
    return app;
  };
}

}  // namespace sheethost::embedded
