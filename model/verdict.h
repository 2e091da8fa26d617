// The judgement of a dimension from its nominal value, deviations and
// measured samples: the rule of the FAI workbook's verdict column, shared
// by the marks in the CAD window and the inspection report.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "dimtable/dimtable.h"

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

// "OK", "NG", "未测", "无法判定".
const char* verdictText(Verdict v);

// A number to the 15 significant digits a spreadsheet shows: 15 + 0.3
// gives 15.3, not 15.300000000000001.
double spreadsheetDigits(double value);

// A single as its workbook cell holds it: the shortest text that reads
// back as the single, read as a double (0.3f is 0.3, not 0.300000011...).
double cellDouble(float value);

}  // namespace model
