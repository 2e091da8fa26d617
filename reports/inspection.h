// The inspection report of a numbered drawing: every dimension with its
// limits, samples, instrument and verdict, the counts of the verdicts, and
// the header cells the inspector filled in the FAI workbook.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model/verdict.h"

namespace model {
class Form1;
}  // namespace model

namespace reports {

struct InspectionRow {
  std::string mark;
  std::string zone;
  std::string nominal;
  std::string upper;  // limits as the workbook computes them; empty when
  std::string lower;  // the nominal value is no number
  std::array<std::string, 5> samples;
  std::string instrument;
  model::Verdict verdict = model::Verdict::Unmeasured;
};

struct InspectionReport {
  std::string drawing;  // the drawing's file name
  // Label and value of each header cell that is filled ("零件号", "A-100").
  std::vector<std::pair<std::string, std::string>> header;
  int ok = 0, ng = 0, unmeasured = 0, noLimits = 0;
  std::vector<InspectionRow> rows;
};

// From the numbered drawing in hand and what its dimensions store; the
// header from the FAI workbook when one is open.
InspectionReport inspectionReport(model::Form1& f);

// A number as the report prints it: at most 15 significant digits, no
// trailing zeros (15 + 0.3 prints 15.3).
std::string reportNumber(double value);

}  // namespace reports
