// The in-memory dimension and text lists shared by the subsystems.
#pragma once

#include <cstdint>
#include <string>

namespace dimtable {

// One dimension; row i of the table and entry i of the list describe the
// same dimension once it is numbered.
struct DimRecord {
  std::string value;  // nominal value text
  float x = 0;        // text position
  float y = 0;
  float up = 0;            // upper deviation
  float low = 0;           // lower deviation as a magnitude
  std::int16_t check = 0;  // 0 False, -1 True
  std::string type;        // one of the six kind names
  std::int32_t entityIndex = 0;
  std::string markText;  // an adopted mark's text
};

struct TextRecord {
  std::string text;
  float x = 0;
  float y = 0;
  std::int32_t entityIndex = 0;
};

}  // namespace dimtable
