// Zones of the drawing: the label of a point on the grid of column and row
// labels ("C3"), as the marking, the workbooks and the inspection report
// show it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cadhost/host.h"
#include "dimtable/records.h"

namespace model {

struct AppContext;
class Form1;

// The character code of a label: the first code point of a UTF-8 text
// (a stray byte counts as its own value). 0 for an empty text.
std::int32_t labelCode(std::string_view text);

// The first and the last character of a label text, whole code points.
std::string_view firstChar(std::string_view s);
std::string_view lastChar(std::string_view s);

// Whether a label count fits the grid's 16-bit counters.
bool fitsInt16(std::int32_t v);

// The label count of "first…last": b - a + 1 when a < b, else b - a - 1.
std::int32_t labelCount(std::int32_t first, std::int32_t last);

// Column width (or row height) of the grid over one axis of the extents;
// negative when the labels run downwards.
float zoneSize(double extMin, double extMax, std::int32_t count);

// Row character followed by column character, e.g. "C3", for the point
// (x, y). width and height come from zoneSize.
std::string zoneLabel(const AppContext& ctx, const cadhost::Point& extMin,
                      float width, float height, float x, float y);

// The grid's zone size over the open drawing's extents, into the form.
void computeZoneSize(Form1& f);
// The zone of a dimension, with the zone size computed last.
std::string zoneOf(const Form1& f, const dimtable::DimRecord& d);
// The zone of position p's dimension on the drawing's grid ("B3"), as the
// workbooks show it.
std::string zoneOfPosition(Form1& f, std::int32_t p);

}  // namespace model
