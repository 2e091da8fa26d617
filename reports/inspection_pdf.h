// The inspection report of the numbered drawing in hand as one PDF: the
// drawing with each mark in its result's colour, then every dimension's
// limits, samples, instrument and verdict. The window and the command
// line both write it through here.
#pragma once

#include <functional>
#include <string>

#include "cadhost/viewer/export.h"
#include "reports/inspection.h"

namespace model {
class Form1;
}  // namespace model

namespace reports {

struct InspectionPdf {
  int pages = 0;
  // Dimensions whose mark was found in the drawing: none when the drawing
  // given is not the marked one.
  int marksFound = 0;
  reports::InspectionReport report;
};

// From what the dimensions store (the panel must have been left first).
// Raises std::runtime_error with the reason, in the user's words, when
// there is nothing to report or the file cannot be written; the file is
// then left as it was.
InspectionPdf writeInspectionPdf(model::Form1& f, const std::string& path,
                                 const cadhost::viewer::PdfOptions& options);

// "<drawing>-检验报告.pdf" beside the drawing.
std::string proposedReportPath(const model::Form1& f);

// Where the window's report goes, and on which paper; an empty path is a
// cancel.
struct ReportTarget {
  std::string path;
  cadhost::viewer::PdfOptions options;
};

// The window's "检验报告 PDF…": the panel is left first (a sample box that
// is no number stops it there), then `ask` asks where and on which paper,
// starting at the proposed path; the outcome is told in a message. Never
// over the drawing or its database.
void reportFromWindow(
    model::Form1& f,
    const std::function<ReportTarget(const std::string& proposed)>& ask);

}  // namespace reports
