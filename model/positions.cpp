#include "model/positions.h"

#include <charconv>

namespace model {

namespace {

const dimtable::DimRecord* at(const std::vector<dimtable::DimRecord>& d,
                              std::int32_t p) {
  if (p < 1 || static_cast<std::size_t>(p) >= d.size()) return nullptr;
  return &d[static_cast<std::size_t>(p)];
}

}  // namespace

bool compositeHead(const std::vector<dimtable::DimRecord>& d, std::int32_t p) {
  const auto* r = at(d, p);
  const auto* next = at(d, p + 1);
  return r && next && r->frameRow == 1 && next->frameRow == 2;
}

bool compositeTail(const std::vector<dimtable::DimRecord>& d, std::int32_t p) {
  return compositeHead(d, p - 1);
}

std::int32_t unitLength(const std::vector<dimtable::DimRecord>& d,
                        std::int32_t p) {
  return compositeHead(d, p) ? 2 : 1;
}

bool anyComposite(const std::vector<dimtable::DimRecord>& d, std::int32_t first,
                  std::int32_t last) {
  for (std::int32_t p = first; p < last; ++p)
    if (compositeHead(d, p)) return true;
  return false;
}

std::int32_t markOwner(const std::vector<dimtable::DimRecord>& d,
                       std::int32_t p) {
  return compositeTail(d, p) ? p - 1 : p;
}

std::int32_t markOrdinal(const std::vector<dimtable::DimRecord>& d,
                         std::int32_t p) {
  std::int32_t n = 0;
  for (std::int32_t i = 1; i <= p; ++i)
    if (!compositeTail(d, i)) ++n;
  return n;
}

double rowMarkNumber(std::int32_t mark, std::int32_t frameRow) {
  if (frameRow < 1) return mark;
  // Read from its text, so that it is the double "7.1" reads as.
  const std::string text =
      std::to_string(mark) + "." + std::to_string(frameRow);
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

std::string drawnMarkNumber(const std::string& rowNumber) {
  const auto dot = rowNumber.find('.');
  if (dot == std::string::npos || dot + 2 != rowNumber.size()) return rowNumber;
  const char row = rowNumber[dot + 1];
  if (row != '1' && row != '2') return rowNumber;
  return rowNumber.substr(0, dot);
}

}  // namespace model
