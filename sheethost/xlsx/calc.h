// The computed values of a workbook: every cell's content in a fast index,
// each formula's result kept until any cell changes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sheethost/xlsx/formula.h"

namespace xlsx {

class Calculation {
 public:
  explicit Calculation(std::vector<std::string> sheetNames);
  Calculation(const Calculation&) = delete;
  Calculation& operator=(const Calculation&) = delete;
  ~Calculation();

  // A formula written for a cell. Its relative references are kept
  // relative to that cell, so that formulas reading alike from their cells
  // (a column of row checks) share one program: fewer to hold, and the
  // ones in use stay in the processor's cache.
  std::shared_ptr<const formula::Program> compile(std::string_view text,
                                                  int sheet, int row,
                                                  int column);

  // What a cell holds from now on; every computed result is forgotten.
  void setConstant(int sheet, int row, int column, Computed value);
  // A formula cell, with a program from compile(). A shared formula
  // takes the program compiled for the cell that holds its text.
  void setFormula(int sheet, int row, int column,
                  std::shared_ptr<const formula::Program> program);

  // A plain cell's value or a formula cell's result, computed on demand.
  // The reference stays valid until the next change.
  const Computed& value(int sheet, int row, int column);
  bool hasFormula(int sheet, int row, int column) const;

  // Runs a program from compile() as if it stood in the cell
  // (conditional formats).
  Computed evaluate(const formula::Program& program, int sheet, int row,
                    int column);

  // Computes every formula cell of a sheet and shows each result.
  void forEachFormula(
      int sheet,
      const std::function<void(int row, int column, const Computed&)>& visit);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace xlsx
