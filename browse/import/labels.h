// The mark number a file's label names.
#pragma once

#include <optional>
#include <string_view>

namespace browse::import {

struct MarkRef {
  int mark = 0;
  int sub = 0;  // row of a composite or sub-characteristic ("12.1"), else 0
  friend bool operator==(const MarkRef&, const MarkRef&) = default;
};

// The mark a label names in any usual form: "12", "#12", "No.12",
// "DIM 12", "ITEM 12", "FCF12", "序号12", "12号", "①", leading zeros, any
// case, full-width digits; "12.1" is row 1 of mark 12. Marks run from 1 to
// 32767, rows from 1 to 99. A label that names no number in such a form
// ("DIST1", "W1RFTMRA02V", "-NONE-", "12A", "12.0") names no mark.
std::optional<MarkRef> markOfLabel(std::string_view label);

}  // namespace browse::import
