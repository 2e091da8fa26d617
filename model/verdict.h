// The judgement of a dimension from its nominal value, deviations and
// measured samples: the rule of the FAI workbook's verdict column, shared
// by the marks in the CAD window and the inspection report. Characteristics
// are judged by the same rule for their kind: a frame's or a roughness
// value's samples lie from 0 to the value, a lower-limit roughness value's
// at or above it, and a note's results are all 合格.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dimtable/dimtable.h"
#include "dimtable/records.h"

namespace model {

enum class Verdict {
  Unmeasured,  // no sample
  Ok,          // every sample within the limits, limits included
  Ng,          // a sample outside
  NoLimits,    // samples, but the nominal value is no number (a text
               // override such as "%%c10"): the workbook leaves it blank
};

struct Limits {
  double upper = 0;
  double lower = 0;
};

// The limits as the workbook computes them: VALUE(nominal) + up and
// VALUE(nominal) - low, each deviation as its cell holds it.
std::optional<Limits> limitsOf(std::string_view nominal, float up, float low);

// Samples 1 to m.count that hold a value count; the workbook's margin of
// 1E-9 absorbs the binary rounding of the limits.
Verdict judge(std::string_view nominal, float up, float low,
              const dimtable::Measurement& m);

// The limits of a dimension or characteristic as its FAI row computes
// them; a side without a limit is empty. Nothing for a dimension whose
// nominal value is no number, a note, or a frame whose tolerance could not
// be read.
struct Bounds {
  std::optional<double> upper;
  std::optional<double> lower;
};
std::optional<Bounds> boundsOf(const dimtable::DimRecord& r);

// The verdict of what a position stores, by the rule of its kind. A note
// is NG when one of its samples is 不合格, OK when it has results and none
// is, and not measured without results.
Verdict judge(const dimtable::DimRecord& r, const dimtable::Measurement& m);

// The same rule as formulas of the FAI row `row` of a characteristic
// (columns A mark, E and F deviations, G to K samples; L upper and M lower
// limit, P verdict), for the spreadsheet host and any other program that
// opens the workbook. Nothing for a dimension: its row keeps the
// template's formulas. An empty text keeps the template's formula there.
struct RowFormulas {
  std::string upper;
  std::string lower;
  std::string verdict;
};
std::optional<RowFormulas> faiFormulas(const dimtable::DimRecord& r, int row);

// "OK", "NG", "未测", "无法判定".
const char* verdictText(Verdict v);

// A number to the 15 significant digits a spreadsheet shows: 15 + 0.3
// gives 15.3, not 15.300000000000001.
double spreadsheetDigits(double value);

// A single as its workbook cell holds it: the shortest text that reads
// back as the single, read as a double (0.3f is 0.3, not 0.300000011...).
double cellDouble(float value);

}  // namespace model
