// Reading a saved FAI workbook back: the measured samples and instruments
// of its rows, by position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dimtable/dimtable.h"
#include "sheethost/host.h"

namespace reports {

// What a saved FAI workbook gives back for one position.
struct ReadRow {
  std::int32_t position = 0;
  dimtable::Measurement m;
};

struct ReadBack {
  std::vector<ReadRow> rows;  // rows with something to take
  std::int32_t marked = 0;    // rows with a mark in column A
  std::vector<std::string> refused;
};

// Rows from 11 down while column A holds a mark, at most one per position
// the measurement arrays hold. A row with anything in it that is not a
// measurement gives nothing and is named. The rows of notes (notes[p],
// where given) take 合格 and 不合格 instead of numbers.
ReadBack readBack(const sheethost::Worksheet& sheet, std::int32_t positions,
                  const std::vector<bool>& notes = {});

}  // namespace reports
