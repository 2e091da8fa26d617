// The in-memory dimension and text lists shared by the subsystems.
#pragma once

#include <cstdint>
#include <string>

namespace dimtable {

// How a characteristic's value bounds its samples: a frame's tolerance or a
// roughness value is an upper limit; "L Ra 0.8" a lower one; a note, or a
// frame whose tolerance could not be read, has none.
enum class Bound : std::int8_t { None, Upper, Lower };

// One dimension, or one characteristic beside them (a frame's row, a
// roughness value, a note); row i of the table and entry i of the list
// describe the same one once it is numbered.
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
  // Characteristics only (kept beside dim1, whose columns stay as they are):
  // 1 and 2 for the rows of a composite frame, which share one mark, else 0;
  // the bound of the value; the text as the drawing holds it.
  std::int8_t frameRow = 0;
  Bound bound = Bound::None;
  std::string raw;
};

struct TextRecord {
  std::string text;
  float x = 0;
  float y = 0;
  std::int32_t entityIndex = 0;
};

}  // namespace dimtable
