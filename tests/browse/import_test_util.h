// What the import tests share: reading a fixture, writing a drawing's row.
#pragma once

#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "browse/import/match.h"

namespace import_test {

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline browse::import::MarkRow row(int mark, int sub, browse::import::Kind kind,
                                   std::optional<double> nominal, double up,
                                   double low) {
  browse::import::MarkRow r;
  r.mark = mark;
  r.sub = sub;
  r.kind = kind;
  r.nominal = nominal;
  r.up = up;
  r.low = low;
  return r;
}

}  // namespace import_test
