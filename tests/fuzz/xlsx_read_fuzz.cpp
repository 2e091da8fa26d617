// Fuzz target: bytes opened as a workbook by the program's spreadsheet host
// and read as the FAI read-back reads a saved report, then shown as the
// sheet window shows it (computed values, their formats, the looks).
//
// The input is the workbook file itself when it begins as a zip does;
// otherwise it lists the parts, each after a line "==> NAME <==", which
// are packed uncompressed, so that mutations reach the XML inside.
#include <unistd.h>
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reports/readback.h"
#include "sheethost/embedded/embedded_host.h"

namespace {

struct Part {
  std::string name;
  std::string_view content;
};

std::vector<Part> partsOf(std::string_view in) {
  std::vector<Part> parts;
  const std::string_view open = "==> ", close = " <==";
  std::size_t at = 0, contentStart = 0;
  auto endPart = [&](std::size_t end) {
    if (!parts.empty())
      parts.back().content = in.substr(contentStart, end - contentStart);
  };
  while (at < in.size()) {
    std::size_t eol = in.find('\n', at);
    std::size_t next = eol == in.npos ? in.size() : eol + 1;
    std::string_view line = in.substr(at, next - at);
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.starts_with(open) && line.ends_with(close) &&
        line.size() > open.size() + close.size()) {
      endPart(at);
      parts.push_back(
          {std::string(line.substr(open.size(),
                                   line.size() - open.size() - close.size())),
           {}});
      contentStart = next;
    }
    at = next;
  }
  endPart(in.size());
  return parts;
}

bool writeZip(const std::string& path, const std::vector<Part>& parts) {
  int error = 0;
  zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!z) return false;
  for (const Part& p : parts) {
    zip_source_t* src =
        zip_source_buffer(z, p.content.data(), p.content.size(), 0);
    if (!src) break;
    zip_int64_t index = zip_file_add(z, p.name.c_str(), src, ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(src);
      continue;  // a name the archive refuses: the part is left out
    }
    zip_set_file_compression(z, static_cast<zip_uint64_t>(index), ZIP_CM_STORE,
                             0);
  }
  if (zip_close(z) != 0) {
    zip_discard(z);
    return false;
  }
  return true;
}

const std::string& scratchPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("dimmark-fuzz-" + std::to_string(::getpid()) + ".xlsx"))
          .string();
  static const bool cleanup = [] {
    std::atexit([] { std::remove(scratchPath().c_str()); });
    return true;
  }();
  (void)cleanup;
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::string& path = scratchPath();
  std::remove(path.c_str());
  if (in.starts_with("PK")) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    std::fwrite(in.data(), 1, in.size(), f);
    std::fclose(f);
  } else if (!writeZip(path, partsOf(in))) {
    return 0;
  }

  sheethost::embedded::EmbeddedSheetApplication app;
  std::shared_ptr<sheethost::embedded::EmbeddedWorkbook> book;
  try {
    book = std::dynamic_pointer_cast<sheethost::embedded::EmbeddedWorkbook>(
        app.Open(path));
  } catch (const sheethost::SheetError&) {
    return 0;  // refused with a message
  }
  if (!book) std::abort();
  try {
    reports::readBack(*book->ActiveSheet(), 300);
  } catch (const sheethost::SheetError&) {
  }
  // What the sheet window shows of each sheet's first screens.
  for (int s = 1; s <= book->worksheetCount(); ++s) {
    const xlsx::Sheet& sheet = book->sheetContent(s);
    const xlsx::CellRange used = sheet.usedRange();
    if (used.empty()) continue;
    for (int r = used.firstRow; r <= used.lastRow && r < used.firstRow + 60;
         ++r)
      for (int c = used.firstColumn;
           c <= used.lastColumn && c < used.firstColumn + 20; ++c) {
        sheet.displayText(r, c);
        sheet.look(r, c);
        sheet.formula(r, c);
      }
    sheet.mergedCells();
  }
  return 0;
}
