// Positions and marks when characteristics are numbered too: the two rows
// of a composite frame are two positions (each has its own samples and
// verdict) under one mark, listed as n.1 and n.2. Without composite frames
// every position has its own mark, numbered p + markBase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dimtable/records.h"

namespace model {

// The first row of a composite frame whose second row follows at p + 1.
bool compositeHead(const std::vector<dimtable::DimRecord>& d, std::int32_t p);
// The second row of a composite frame, its first row at p - 1: it has no
// mark of its own.
bool compositeTail(const std::vector<dimtable::DimRecord>& d, std::int32_t p);

// The positions from p that move together in every reordering: 2 from the
// first row of a composite frame, else 1.
std::int32_t unitLength(const std::vector<dimtable::DimRecord>& d,
                        std::int32_t p);
// Any composite frame among positions first to last.
bool anyComposite(const std::vector<dimtable::DimRecord>& d, std::int32_t first,
                  std::int32_t last);

// The position whose mark position p shows: its frame's first row for a
// second row, else p itself.
std::int32_t markOwner(const std::vector<dimtable::DimRecord>& d,
                       std::int32_t p);

// How many marks positions 1 to p have: p without composite frames.
std::int32_t markOrdinal(const std::vector<dimtable::DimRecord>& d,
                         std::int32_t p);

// The number a row stores in marknum: the mark's number, or n.1 and n.2
// for the rows of a composite frame (-3.1 below 0).
double rowMarkNumber(std::int32_t mark, std::int32_t frameRow);

// The whole number of a mark as the drawing shows it, from the number a
// row or list entry gives ("7.2" gives "7"): the part before a row's
// ".1" or ".2".
std::string drawnMarkNumber(const std::string& rowNumber);

}  // namespace model
