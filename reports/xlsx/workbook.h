// A workbook (.xlsx) opened from a file, changed cell by cell and saved to
// another file. Everything the cells do not touch (styles, merged cells,
// formulas, shared formulas, other parts) is written back as it was read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "reports/xlsx/cellref.h"
#include "reports/xlsx/formula.h"
#include "reports/xlsx/package.h"

namespace xlsx {

// A cell as read: nothing, a text, a number or a boolean. An error value
// (#DIV/0!) reads as its text.
using Value = std::variant<std::monostate, std::string, double, bool>;

class Workbook;

enum class Alignment { left, center, right };

// How a cell looks: its format as the file gives it, changed by the sheet's
// conditional formats that hold for it. Colours are 0xRRGGBB.
struct CellLook {
  std::optional<std::uint32_t> fontColor;  // nothing: the automatic colour
  bool bold = false;
  std::optional<std::uint32_t> fillColor;  // nothing: no fill
  // A cell aligned "general" gives numbers right, booleans and errors
  // centred, texts left.
  Alignment horizontal = Alignment::left;
  std::string numberFormat = "General";
};

class Sheet {
 public:
  Sheet(const Sheet&) = delete;
  Sheet& operator=(const Sheet&) = delete;
  ~Sheet();

  const std::string& name() const;

  // Rows and columns count from 1. A formula cell gives the result the file
  // carried; once the workbook has been changed that result may be stale,
  // so it reads as nothing.
  Value value(int row, int column) const;
  // The formula of a cell without '=', "" when it has none.
  std::string formula(int row, int column) const;

  // The value the program computes: a plain cell's value, a formula cell's
  // result, always up to date with the latest change (results are kept
  // until the next one). What cannot be computed is an error value: #NAME?
  // for an unknown function or a formula that does not parse, #REF! for a
  // circular reference or a sheet the workbook does not have.
  Computed computed(int row, int column) const;
  // The computed value as the cell shows it, in its number format.
  std::string displayText(int row, int column) const;
  CellLook look(int row, int column) const;

  // Setting a cell replaces its value and any formula and keeps its style;
  // a missing row or cell is created in order. Bad input (an address off
  // the sheet, a text that is not UTF-8 or too long, a number that is not
  // finite, a cell inside an array formula) throws and changes nothing.
  void setText(int row, int column, std::string_view text);
  void setNumber(int row, int column, double value);
  void setNumber(int row, int column, float value);
  void clear(int row, int column);
  // A formula, with or without its leading '='. One that does not parse
  // throws with the reason and changes nothing.
  void setFormula(int row, int column, std::string_view formula);

  // Every cell the sheet holds, empty ones with a style included.
  CellRange usedRange() const;
  std::vector<CellRange> mergedCells() const;
  // The widths the sheet gives its columns, in characters of the default
  // font, by column; columns it leaves to the default are absent.
  std::map<int, double> columnWidths() const;

 private:
  friend class Workbook;
  struct Impl;
  explicit Sheet(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

enum class SaveMode {
  newFile,          // refuses the file the workbook was opened from
  overwriteSource,  // allowed to replace it
};

class Workbook {
 public:
  static Workbook open(const std::filesystem::path& path,
                       const Limits& limits = {});

  Workbook(Workbook&&) noexcept;
  Workbook& operator=(Workbook&&) noexcept;
  ~Workbook();

  const std::filesystem::path& path() const;

  // Worksheets only, counted from 0 in the order of their tabs.
  int sheetCount() const;
  Sheet& sheet(int index);
  const Sheet& sheet(int index) const;
  Sheet* findSheet(std::string_view name);

  int activeSheet() const;
  void setActiveSheet(int index);

  bool modified() const;

  // Computes every formula cell now (saving does it anyway).
  void calculate();

  // Formula cells carry our computed results, and a full recalculation is
  // asked for, so that every reader shows results and the spreadsheet
  // program computes them again on open.
  void save(const std::filesystem::path& path,
            SaveMode mode = SaveMode::newFile);

  struct Impl;

 private:
  explicit Workbook(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace xlsx
