// The spreadsheet host as the reports drive it. Every failure raises
// SheetError.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace sheethost {

// what() is the detail; plain() the reason in the user's words, where the
// host knows one ("" otherwise).
class SheetError : public std::runtime_error {
 public:
  explicit SheetError(const std::string& what, std::string plain = {})
      : std::runtime_error(what), plain_(std::move(plain)) {}
  const std::string& plain() const { return plain_; }

 private:
  std::string plain_;
};

// A cell's content. A single keeps its own type so that it is written as its
// shortest text (0.1, not 0.100000001490116); doubles are written in full.
using CellValue = std::variant<std::monostate, std::string, double, float>;

class Worksheet {
 public:
  virtual ~Worksheet() = default;
  // The worksheet becomes its workbook's active sheet.
  virtual void Activate() = 0;
  // Rows and columns count from 1. An empty value clears the cell.
  virtual CellValue GetCell(int row, int column) const = 0;
  virtual void SetCell(int row, int column, const CellValue& value) = 0;
  // Sets a formula ("=IF(...)", as the host's Formula property takes it);
  // the cell then shows its result.
  virtual void SetFormula(int row, int column, const std::string& formula) = 0;
  // Whether the cell holds a formula (its value is then a result, not
  // something typed).
  virtual bool HasFormula(int /*row*/, int /*column*/) const { return false; }
  // Whether the cell's number format shows its number as a date or time.
  virtual bool IsDate(int /*row*/, int /*column*/) const { return false; }
  // Cells the program fills: a window showing the sheet keeps the user from
  // typing there, so that nothing typed is overwritten later.
  virtual void ReserveCells(int /*firstRow*/, int /*firstColumn*/,
                            int /*lastRow*/, int /*lastColumn*/) {}
};

using WorksheetRef = std::shared_ptr<Worksheet>;

class Workbook {
 public:
  virtual ~Workbook() = default;
  // Worksheets(index), from 1.
  virtual WorksheetRef Worksheets(int index) = 0;
  virtual WorksheetRef ActiveSheet() = 0;
  // False while changes since the last save (or since opening) are unsaved.
  virtual bool Saved() const { return true; }
  // Saves where it was last saved, asking the user where the first time;
  // false when nothing was written. Name: its file name ("fai.xlsx").
  virtual bool Save() { return false; }
  virtual std::string Name() const { return {}; }
  // Where a Save As should propose to put the workbook.
  virtual void SetSuggestedPath(const std::string& /*path*/) {}
};

using WorkbookRef = std::shared_ptr<Workbook>;

class SheetApplication {
 public:
  virtual ~SheetApplication() = default;
  // Workbooks.Open: the file is opened in place.
  virtual WorkbookRef Open(const std::string& path) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  // Called when the user closes the host's window.
  virtual void SetClosedHandler(std::function<void()> handler) = 0;
};

using SheetApplicationRef = std::shared_ptr<SheetApplication>;

// CreateObject("excel.application"): a new, invisible instance each call.
using SheetFactory =
    std::function<SheetApplicationRef(const std::string& className)>;

}  // namespace sheethost
