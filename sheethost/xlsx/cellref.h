// A1-style cell references and the shifting of a formula to another cell.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xlsx {

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;

// 1 -> "A", 27 -> "AA".
std::string columnName(int column);
std::string cellName(int row, int column);

struct CellRef {
  int row = 0;
  int column = 0;
};

// "B12" (no '$'); nothing when the text is not a cell inside the sheet.
std::optional<CellRef> parseCellRef(std::string_view text);

struct CellRange {
  int firstRow = 0;
  int firstColumn = 0;
  int lastRow = 0;
  int lastColumn = 0;

  bool empty() const { return firstRow == 0; }
  bool contains(int row, int column) const {
    return row >= firstRow && row <= lastRow && column >= firstColumn &&
           column <= lastColumn;
  }
  void extend(int row, int column);
  std::string text() const;  // "A1:K20", or "A1" for one cell
};

// "A1:K20" or "B3"; nothing when malformed.
std::optional<CellRange> parseRange(std::string_view text);

// The formula as it reads when copied dRow rows down and dCol columns right:
// relative references move, '$' parts stay, references pushed off the sheet
// become #REF!. Strings, quoted sheet names and structured references are
// left alone.
std::string shiftFormula(std::string_view formula, int dRow, int dCol);

}  // namespace xlsx
