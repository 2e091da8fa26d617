// "导入测量结果…": a CMM report, a table or a CSV read onto the marks. The
// user sees the review list first (matched, overwrites, mismatched,
// unmatched, beyond five samples) and confirms; only the values that match
// their mark are written, through the same store as typed samples.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "browse/import/match.h"
#include "dimtable/dimtable.h"
#include "forms/form.h"

namespace model {
class Form1;
}  // namespace model

namespace browse {

// The numbered rows of the drawing in hand, as the import matches them,
// with the position of each (positions[i] is rows[i]'s).
struct DrawingRows {
  std::vector<import::MarkRow> rows;
  std::vector<std::int32_t> positions;
};
DrawingRows drawingRows(const model::Form1& f);

// What the review would write: the measurement each position is to hold.
std::map<std::int32_t, dimtable::Measurement> importedMeasurements(
    const model::Form1& f, const DrawingRows& rows,
    const import::Review& review);

// Writes the matched and overwriting values: to the drawing's database in
// one transaction first, then into the program, the panel, the verdicts
// and the marks' colours. A database that refuses the write changes
// nothing and says why (false). The number of values written goes to
// *written.
bool applyImport(model::Form1& f, const DrawingRows& rows,
                 const import::Review& review, int* written = nullptr);

// One line of the review list, as the window shows it.
std::string reviewLine(const import::Review& review, std::size_t item,
                       const DrawingRows& rows);
// The counts, "匹配 8，覆盖已录入的值 1，不符 2 …".
std::string reviewCounts(const import::Review& review);

class FrmImport : public forms::Form {
 public:
  explicit FrmImport(model::Form1& main);

  forms::Control* lblFile = nullptr;
  forms::Control* Label1 = nullptr;
  forms::Control* cboSample = nullptr;
  forms::Control* lblCounts = nullptr;
  forms::Control* txtReview = nullptr;
  forms::Control* ComApply = nullptr;
  forms::Control* ComCancel = nullptr;

  // Shows the review of a file read for the drawing in hand.
  void showFile(const std::string& path, import::ParsedFile parsed);
  void cboSample_Click();
  void ComApply_Click();

  const import::Review& shown() const { return review_; }

 protected:
  void build() override;

 private:
  void reviewAgain();
  model::Form1& main_;
  std::string path_;
  import::ParsedFile parsed_;
  DrawingRows rows_;
  import::Review review_;
};

// The menu item: the file dialog, then the review window.
void mnuImport_Click(model::Form1& f);

}  // namespace browse
