// The look of cells as the file gives it: cell formats (styles.xml
// cellXfs with their fonts, fills and number formats), the differential
// formats of conditional formatting, and the theme's colours.
#pragma once

#include <cstdint>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace xlsx {

// Colours are 0xRRGGBB.
struct CellFormat {
  std::optional<std::uint32_t> fontColor;  // nothing: the automatic colour
  bool bold = false;
  std::optional<std::uint32_t> fillColor;  // nothing: no fill
  std::string horizontal;                  // "general", "center", ...
  std::string numberFormat;                // "General", "0.00", ...
};

// What a true conditional format changes; nothing: left as it is.
struct Differential {
  std::optional<std::uint32_t> fontColor;
  std::optional<bool> bold;
  std::optional<std::uint32_t> fillColor;
};

class Styles {
 public:
  // Either document may be empty (a workbook without styles or theme).
  void read(const pugi::xml_document& styles, const pugi::xml_document& theme);

  // An index the file does not have gives the default format.
  CellFormat format(int index) const;
  Differential differential(int index) const;

 private:
  std::optional<std::uint32_t> color(const pugi::xml_node& node) const;

  std::vector<std::uint32_t> theme_;    // in the order colour indexes use
  std::vector<std::uint32_t> indexed_;  // the file's palette or the default
  std::vector<CellFormat> formats_;
  std::vector<Differential> differentials_;
};

}  // namespace xlsx
