// Dimensions: the effective dimension-style variables of one dimension
// (its own overrides, then its style, then the header, then the CAD
// defaults) and what the dimension displays, computed from its points.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cadhost/engine/drawing.h"

namespace cadhost::engine {

// Kinds of dimension, as the CAD host tells them apart.
enum class DimKind {
  Rotated,
  Aligned,
  Angular2Line,
  Diametric,
  Radial,
  Angular3Point,
  Ordinate,
  Arc,
  RadialLarge,
  Unknown
};
// Kind of a DIMENSION, ARC_DIMENSION or LARGE_RADIAL_DIMENSION record.
DimKind dimKind(std::string_view type, Tags tags);
bool isDimensionType(std::string_view type);
inline bool isAngular(DimKind k) {
  return k == DimKind::Angular2Line || k == DimKind::Angular3Point;
}

// A dimension-style variable: its group code in DIMSTYLE records and in
// the ACAD/DSTYLE override list, and its header name.
struct DimVar {
  int code;
  const char* name;  // without '$': "DIMTXT"
  enum Type { Real, Int, Text, Handle } type;
  double imperial;  // the CAD defaults for drawings in inches and mm
  double metric;
};
const DimVar* dimVarByName(std::string_view name);
const DimVar* dimVarByCode(int code);

// One value of a variable: a number, or text (names, handles).
struct DimValue {
  double number = 0;
  std::string text;
};

// The style overrides of one dimension (XDATA ACAD, list DSTYLE).
std::vector<std::pair<int, DimValue>> dimOverrides(Tags tags);

// The style variables of one dimension, its overrides and style record
// found once: the dimension's override, then its dimension style, then
// the header where it speaks for that style, else the CAD default.
class DimStyleView {
 public:
  DimStyleView(const Drawing& d, Tags dimension);
  DimValue value(const DimVar& var) const;
  double number(int code) const;
  const TableEntry* style() const { return style_; }
  const std::vector<std::pair<int, DimValue>>& overrides() const {
    return overrides_;
  }
  bool headerSpeaks() const { return headerSpeaks_; }

 private:
  const Drawing& d_;
  std::vector<std::pair<int, DimValue>> overrides_;
  const TableEntry* style_ = nullptr;
  Tags styleTags_;
  bool headerSpeaks_ = true;
};

// Whether the header's $DIMxxx values stand for this style: it is the
// current one ($DIMSTYLE), it has no record, or its record stores nothing.
bool headerSpeaksFor(const Drawing& d, const TableEntry* style);

// One variable for one dimension (see DimStyleView).
DimValue effectiveDimVar(const Drawing& d, Tags dimension, const DimVar& var);
double effectiveNumber(const Drawing& d, Tags dimension, std::string_view name);
// The header value alone (GetVariable), with the same fallbacks.
DimValue headerDimVar(const Drawing& d, const DimVar& var);

// The dimension's style record, null when the name is unknown.
const TableEntry* dimStyleOf(const Drawing& d, Tags dimension);

// What the dimension measures, before rounding: linear kinds in drawing
// units times the effective DIMLFAC, angles in radians.
double dimMeasurement(const Drawing& d, Tags dimension, DimKind kind);
// The measurement from the definition points alone; empty when they are
// missing or degenerate.
std::optional<double> geometricMeasurement(Tags dimension, DimKind kind);

// 0 none, 1 symmetrical, 2 deviation, 3 limits, 4 basic.
int toleranceDisplay(const Drawing& d, Tags dimension);
// The displayed text height: DIMTXT, or the text style's fixed height,
// times the dimension scale.
double dimTextHeight(const Drawing& d, Tags dimension);
// The effective DIMSCALE; 0 ("scale to layout") becomes the scale of the
// paper-space viewport showing the dimension, else the drawn text's.
double dimScale(const Drawing& d, Tags dimension);
// The height of the measurement text in the dimension's own block.
std::optional<double> drawnTextHeight(const Drawing& d, Tags dimension);

// Writes a variable into the dimension's DSTYLE overrides, adding the
// XDATA list when the dimension has none. `value` is already file text.
void setDimOverride(Drawing& d, std::vector<Tag>& tags, const DimVar& var,
                    std::string_view value);

}  // namespace cadhost::engine
