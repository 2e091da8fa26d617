// Spreadsheet formulas: compiled once into a small stack program and run
// over the cells of a workbook, with the spreadsheet programs' rules for
// empty cells, texts, booleans and error values.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sheethost/xlsx/cellref.h"

namespace xlsx {

enum class ErrorValue : std::uint8_t { null, div0, value, ref, name, num, na };

// A computed cell: nothing, a text, a number, a boolean or an error value.
using Computed =
    std::variant<std::monostate, std::string, double, bool, ErrorValue>;

std::string_view errorText(ErrorValue error);  // "#DIV/0!"
std::optional<ErrorValue> parseError(std::string_view text);

namespace formula {

enum class Op : std::uint8_t {
  number,
  text,
  boolean,
  error,
  missing,  // an argument left out: IF(A1,,1)
  ref,
  negate,
  percent,
  add,
  subtract,
  multiply,
  divide,
  power,
  concat,
  equal,
  notEqual,
  less,
  greater,
  lessEqual,
  greaterEqual,
  call,
  ifTest,   // a: else branch, b: end
  ifError,  // a: end
  jump,     // a: target
};

// A reference as written: relative parts move with the cell that runs the
// program (shared formulas, conditional formats), '$' parts stay.
struct RefSpec {
  int sheet = 0;
  int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
  bool firstRowFixed = false, firstColumnFixed = false;
  bool lastRowFixed = false, lastColumnFixed = false;
};

struct Instruction {
  Op op;
  std::int32_t a = 0;
  std::int32_t b = 0;
  double number = 0;
};

struct Program {
  std::vector<Instruction> code;
  std::vector<std::string> texts;
  std::vector<RefSpec> refs;
  std::string problem;  // why the text does not parse; empty when it does
};

// Index of a sheet by its name (any letter case); -1 when there is none.
using SheetLookup = std::function<int(std::string_view)>;

// Compiles a formula (without '=') for a cell of sheet `sheet`. A text that
// does not parse gives a program whose problem says why; it evaluates to
// #NAME?.
std::shared_ptr<Program> compile(std::string_view text, int sheet,
                                 const SheetLookup& sheets);

// What a program reads. A cell that holds a formula not computed yet is
// "pending": the evaluator notes it and the caller computes it and runs the
// program again.
struct CellRead {
  const Computed* value = nullptr;  // nullptr: an empty cell
  bool pending = false;
};

class Cells {
 public:
  virtual ~Cells() = default;
  virtual CellRead read(int sheet, int row, int column) = 0;
  // Every cell the sheet holds inside the range, row by row.
  virtual void forEach(int sheet, const CellRange& range,
                       const std::function<void(const CellRead&)>& visit) = 0;
};

// The cell that runs the program, and how far it lies from the cell the
// formula was written for.
struct Where {
  int sheet = 0;
  int row = 1;
  int column = 1;
  int rowOffset = 0;
  int columnOffset = 0;
};

// Runs a program; the result is a plain value (an empty cell reads as 0).
// `pending` tells whether a cell it needs was not computed yet.
Computed evaluate(const Program& program, const Where& where, Cells& cells,
                  bool* pending);

// The spreadsheet's comparison: numbers before texts before booleans,
// texts without regard to case, an empty cell as 0, "" or FALSE. Nothing
// when either side is an error.
std::optional<int> compare(const Computed& a, const Computed& b);

// A text as VALUE() reads it ("15", " 1,250.5 "); nothing when VALUE()
// gives #VALUE!.
std::optional<double> valueNumber(std::string_view text);

}  // namespace formula
}  // namespace xlsx
