// A report as one PDF: the drawing on its first page, then a table over
// as many pages as it needs, every page numbered. Vector output; the
// fonts of the texts are embedded.
#pragma once

#include <string>
#include <vector>

#include "cadhost/viewer/export.h"
#include "cadhost/viewer/scene.h"

namespace cadhost::viewer {

// Texts in UTF-8.
struct PrintedTable {
  std::string title;                // at the top of every page
  std::vector<std::string> header;  // "零件号：A-100", on the first pages
  std::string summary;              // the counts, on the first pages
  std::string legend;               // under the drawing
  std::vector<std::string> columns;
  std::vector<double> widths;  // relative, one per column
  enum class Tone { Plain, Good, Bad, Muted };
  struct Row {
    std::vector<std::string> cells;
    Tone tone = Tone::Plain;  // of the cell in toneColumn
  };
  std::vector<Row> rows;
  int toneColumn = -1;
};

// The drawing page takes the paper of `options` in landscape; the table
// pages the same paper upright. Returns the number of pages. Raises
// std::runtime_error with the reason when the file cannot be written; an
// existing file is replaced only once the new one is whole.
int exportReportPdf(const Scene& scene, const PrintedTable& table,
                    const std::string& path, const PdfOptions& options = {});

}  // namespace cadhost::viewer
