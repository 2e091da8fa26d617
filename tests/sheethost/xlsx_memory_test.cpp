// The reader is bounded in work, not only in bytes: whatever a workbook
// under 50 MB on disk holds, reading it back takes less than 500 MB, and
// one beyond the limits is refused with a message.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "sheethost/embedded/embedded_host.h"
#include "zip_fixture.h"

namespace {

namespace fs = std::filesystem;

// Digits a deflater cannot squeeze far: the archive stays within the ratio
// limit, so the reader has to unpack and look at all of it. Fewer kinds of
// digit pack tighter on disk.
std::string randomDigits(std::mt19937& rng, std::size_t n,
                         unsigned kinds = 10) {
  std::string s(n, '0');
  for (char& c : s) c = static_cast<char>('0' + rng() % kinds);
  return s;
}

// Opens the workbook and reads every cell of a block in a child process;
// its peak resident size in MB, or -1 when it failed. `refused` tells
// whether the workbook was refused with a message.
long peakMegabytesReading(const fs::path& file, bool* refused) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) return -1;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::close(pipeFd[0]);
    char outcome = 'r';
    try {
      sheethost::embedded::EmbeddedSheetApplication app;
      auto book = app.Open(file.string());
      auto sheet = book->Worksheets(1);
      for (int r = 1; r <= 200; ++r)
        for (int c = 1; c <= 11; ++c) (void)sheet->GetCell(r, c);
      outcome = 'o';
    } catch (const sheethost::SheetError& e) {
      outcome = e.plain().empty() ? 'x' : 'm';
    } catch (...) {
      outcome = 'x';
    }
    (void)!::write(pipeFd[1], &outcome, 1);
    ::_exit(0);
  }
  ::close(pipeFd[1]);
  char outcome = 0;
  (void)!::read(pipeFd[0], &outcome, 1);
  ::close(pipeFd[0]);
  int status = 0;
  struct rusage usage {};
  if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
    return -1;
  if (outcome != 'o' && outcome != 'm') return -1;
  *refused = outcome == 'm';
  return usage.ru_maxrss / 1024;
}

constexpr long kBudgetMb = 500;

class ReaderMemory : public ::testing::Test {
 protected:
  void expectWithinBudget(const fixture::BookSpec& spec, const char* what) {
    const auto file = dir / "big.xlsx";
    fixture::writeWorkbook(file, spec);
    ASSERT_LT(fs::file_size(file), 50u << 20) << what;
    // Within every limit: the reader must take it all in.
    bool refused = false;
    const long peak = peakMegabytesReading(file, &refused);
    ASSERT_GE(peak, 0) << what << ": the reader failed without a message";
    std::fprintf(stderr, "%s: %.1f MB on disk, peak %ld MB, %s\n", what,
                 static_cast<double>(fs::file_size(file)) / (1 << 20), peak,
                 refused ? "refused" : "read");
#if !defined(__SANITIZE_ADDRESS__)
    // The sanitizer's own shadow memory would be counted too.
    EXPECT_LT(peak, kBudgetMb) << what;
#endif
  }

  fixture::TempDir dir;
  std::mt19937 rng{7};
};

// Every limit reached at once: the most cells, the longest texts and the
// most bytes the reader takes.
TEST_F(ReaderMemory, AWorkbookAtEveryLimitStaysWithinTheBudget) {
  std::string body = "<sheetData>";
  const int rows = 24900, columns = 16;  // 398,400 cells
  for (int r = 1; r <= rows; ++r) {
    body += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 0; c < columns; ++c)
      body += "<c t=\"s\"><v>" + std::to_string(r % 30) + "</v></c>";
    body += "</row>";
  }
  body += "</sheetData>";
  std::string sst;
  for (int i = 0; i < 30; ++i)
    sst += "<si><t>" + randomDigits(rng, 1 << 20, 2) + "</t></si>";
  fixture::BookSpec spec;
  spec.sheetBody = body;
  spec.sst = sst;
  // Bytes up to the total limit in a sheet of one cell.
  spec.moreSheets.push_back({"more", "<sheetData><row r=\"1\"><c r=\"A1\"><v>" +
                                         randomDigits(rng, 31 << 20, 2) +
                                         "</v></c></row></sheetData>"});
  expectWithinBudget(spec, "cells, texts and bytes at their limits");
}

TEST_F(ReaderMemory, MoreCellsThanTheLimitAreRefusedWithAMessage) {
  std::string body = "<sheetData>";
  for (int r = 1; r <= 40000; ++r) {
    body += "<row r=\"" + std::to_string(r) + "\">";
    for (int c = 0; c < 16; ++c) body += "<c/>";
    body += "</row>";
  }
  body += "</sheetData>";
  fixture::BookSpec spec;
  spec.sheetBody = body;
  const auto file = dir / "cells.xlsx";
  fixture::writeWorkbook(file, spec);
  sheethost::embedded::EmbeddedSheetApplication app;
  try {
    app.Open(file.string());
    ADD_FAILURE() << "640,000 cells were read";
  } catch (const sheethost::SheetError& e) {
    EXPECT_NE(e.plain().find("单元格太多"), std::string::npos) << e.plain();
  }
}

}  // namespace
