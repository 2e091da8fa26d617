// A scripted spreadsheet host for report tests: workbooks are maps of
// cells; every open and cell write is logged.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sheethost/host.h"

namespace fakes {

class FakeWorkbook;

class FakeWorksheet : public sheethost::Worksheet {
 public:
  explicit FakeWorksheet(FakeWorkbook& book) : book_(book) {}
  std::map<std::pair<int, int>, sheethost::CellValue> cells;
  void Activate() override;
  sheethost::CellValue GetCell(int r, int c) const override {
    auto it = cells.find({r, c});
    return it == cells.end() ? sheethost::CellValue{} : it->second;
  }
  // An empty value clears the cell, as in a spreadsheet.
  void SetCell(int r, int c, const sheethost::CellValue& v) override {
    formulas.erase({r, c});
    if (std::holds_alternative<std::monostate>(v))
      cells.erase({r, c});
    else
      cells[{r, c}] = v;
  }
  // Kept as written; nothing computes them here.
  std::map<std::pair<int, int>, std::string> formulas;
  void SetFormula(int r, int c, const std::string& f) override {
    cells.erase({r, c});
    formulas[{r, c}] = f;
  }
  bool HasFormula(int r, int c) const override {
    return formulas.contains({r, c});
  }

 private:
  FakeWorkbook& book_;
};

class FakeWorkbook : public sheethost::Workbook {
 public:
  explicit FakeWorkbook(std::string p) : path(std::move(p)) {
    sheets.push_back(std::make_shared<FakeWorksheet>(*this));
    active = sheets.front();
  }
  std::string path;
  std::vector<std::shared_ptr<FakeWorksheet>> sheets;
  std::shared_ptr<FakeWorksheet> active;
  sheethost::WorksheetRef Worksheets(int i) override {
    if (i < 1 || i > static_cast<int>(sheets.size()))
      throw sheethost::SheetError("no worksheet " + std::to_string(i));
    return sheets[static_cast<size_t>(i - 1)];
  }
  sheethost::WorksheetRef ActiveSheet() override { return active; }
};

inline void FakeWorksheet::Activate() {
  for (auto& s : book_.sheets)
    if (s.get() == this) book_.active = s;
}

class FakeSheetApplication : public sheethost::SheetApplication {
 public:
  std::vector<std::string> opened;
  std::map<std::string, std::shared_ptr<FakeWorkbook>> books;
  bool visible = false;
  std::function<void()> closedHandler;
  // Paths Open refuses.
  std::vector<std::string> unreadable;

  sheethost::WorkbookRef Open(const std::string& path) override {
    for (const auto& u : unreadable)
      if (u == path) throw sheethost::SheetError("cannot open " + path);
    opened.push_back(path);
    auto b = std::make_shared<FakeWorkbook>(path);
    books[path] = b;
    return b;
  }
  bool Visible() const override { return visible; }
  void SetVisible(bool v) override { visible = v; }
  void SetClosedHandler(std::function<void()> h) override {
    closedHandler = std::move(h);
  }
};

}  // namespace fakes
