// A measurement file held against the drawing's numbered rows: the review
// list the user confirms before anything is written. Nothing here writes.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browse/import/result.h"

namespace browse::import {

// One numbered row of the drawing, as the matching needs it.
struct MarkRow {
  int mark = 0;
  int sub = 0;  // row n of a composite mark ("12.1"), else 0
  // Nothing when the drawing's value is no number ("C5").
  std::optional<double> nominal;
  double up = 0;              // upper deviation
  double low = 0;             // lower deviation as a magnitude
  Kind kind = Kind::Unknown;  // kindFromName of the row's kind name
  // Samples 1 to 5 as they are stored now; nothing where not measured.
  std::array<std::optional<float>, 5> entered;
  // The instrument code stored with them ("DC"); one per mark.
  std::string instrument;
};

enum class Status {
  Matched,     // would be written
  Overwrites,  // would be written over the sample entered before
  Mismatched,  // the file's nominal or kind does not fit the mark
  Unmatched,   // the label names no mark of the drawing
  BeyondFive,  // a sample beyond the fifth
  Conflict,    // more than one value for one mark and sample
  Unreadable,  // the file's value is refused (its reason says why)
};
// "matched", "overwrites", … for the command line's JSON.
const char* statusName(Status status);
// "匹配", "覆盖", … for the window.
const char* statusTitle(Status status);

struct ReviewItem {
  Status status = Status::Unmatched;
  std::size_t part = 0;   // index into ParsedFile::parts
  std::size_t entry = 0;  // index into that part's entries
  std::string label;
  int line = 0;
  std::optional<std::size_t> row;  // index into the rows, when it has one
  int sample = 0;                  // the sample it would fill, from 1
  std::optional<double> value;
  std::optional<float> previous;  // Overwrites: the sample as entered
  // One of the eight instrument codes: the file's instrument, "CMM" when
  // the file names none, empty when it names one that is not among them.
  std::string instrument;
  // Why it is not imported; for one that is, what the user should know
  // (tolerances that differ, an instrument not among the eight).
  std::string reason;
};

struct Review {
  std::vector<ReviewItem> items;  // in the file's order
  std::size_t count(Status status) const;
};

struct MatchOptions {
  // The sample the file's first part fills; the parts after it fill the
  // next ones. Parts that carry their sample number keep it.
  int firstSample = 1;
};

// The review of a parsed file against the drawing's rows. A file refused as
// a whole (ParsedFile::error) has no items. firstSample must be 1 or more
// (std::invalid_argument otherwise).
Review review(const std::vector<MarkRow>& rows, const ParsedFile& file,
              const MatchOptions& options = {});

// True when a value of the file's kind cannot belong to a mark of the
// other: a flatness result on a linear dimension, a diameter on a radius,
// any number on a technical requirement. Unknown kinds contradict nothing.
bool kindsContradict(Kind file, Kind mark);

// The code of the eight instruments ("DC" … "AG") a file's instrument name
// means: the code itself, the panel's caption ("游标卡尺") or the usual
// words ("CALIPERS", "三坐标"); nothing for a name not among them.
std::optional<std::string> instrumentCode(std::string_view name);

}  // namespace browse::import
