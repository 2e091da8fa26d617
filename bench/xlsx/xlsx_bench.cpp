// Filling 5,000 FAI rows (6 cells each) through the spreadsheet host and
// saving the workbook: the report of a large drawing. Computing the
// formulas of a filled FAI template: once, again after a change, and for
// the cells a window shows.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "sheethost/embedded/embedded_host.h"

namespace {

const std::string kTemplate = std::string(DIMMARK_TEMPLATE_DIR) + "/fai.xlsx";

std::string output() {
  return (std::filesystem::temp_directory_path() / "dimmark_bench_fai.xlsx")
      .string();
}

void fill(sheethost::Worksheet& sheet, int rows) {
  for (int p = 1; p <= rows; ++p) {
    const int r = p + 10;
    sheet.SetCell(r, 2, std::string("C") + std::to_string(1 + p % 8));
    sheet.SetCell(r, 1, static_cast<double>(p));
    sheet.SetCell(r, 4, std::to_string(10 + p % 90) + ".50");
    sheet.SetCell(r, 5, 0.1f);
    sheet.SetCell(r, 6, 0.05f);
    sheet.SetCell(r, 3, std::string(p % 2 ? "卡尺" : "千分尺"));
  }
}

// Open the template, fill the rows, save: what one report costs.
void BM_FillAndSaveFai(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  auto factory = sheethost::embedded::makeSheetHost();
  for (auto _ : state) {
    auto app = std::dynamic_pointer_cast<
        sheethost::embedded::EmbeddedSheetApplication>(
        factory("excel.application"));
    auto book = app->Open(kTemplate);
    fill(*book->Worksheets(1), rows);
    app->saveWorkbook("fai.xlsx", output());
  }
  state.SetItemsProcessed(state.iterations() * rows * 6);
}
BENCHMARK(BM_FillAndSaveFai)->Arg(5000)->Unit(benchmark::kMillisecond);

// The parts on their own.
void BM_OpenTemplate(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(xlsx::Workbook::open(kTemplate));
}
BENCHMARK(BM_OpenTemplate)->Unit(benchmark::kMillisecond);

void BM_Fill(benchmark::State& state) {
  auto factory = sheethost::embedded::makeSheetHost();
  for (auto _ : state) {
    state.PauseTiming();
    auto app = factory("excel.application");
    auto sheet = app->Open(kTemplate)->Worksheets(1);
    state.ResumeTiming();
    fill(*sheet, 5000);
  }
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
  auto factory = sheethost::embedded::makeSheetHost();
  auto app =
      std::dynamic_pointer_cast<sheethost::embedded::EmbeddedSheetApplication>(
          factory("excel.application"));
  auto wb = app->Open(kTemplate);
  fill(*wb->Worksheets(1), 5000);
  for (auto _ : state) app->saveWorkbook("fai.xlsx", output());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// Thirty FAI rows as the report fills them, samples included.
void fillThirty(xlsx::Sheet& sheet) {
  for (int p = 1; p <= 30; ++p) {
    const int r = p + 10;
    sheet.setText(r, 2, std::string("C") + std::to_string(1 + p % 8));
    sheet.setNumber(r, 1, static_cast<double>(p));
    sheet.setText(r, 4, std::to_string(10 + p % 90) + ".50");
    sheet.setNumber(r, 5, 0.1f);
    sheet.setNumber(r, 6, 0.05f);
    sheet.setText(r, 3, std::string(p % 2 ? "卡尺" : "千分尺"));
    for (int k = 0; k < 1 + p % 5; ++k)
      sheet.setNumber(r, 7 + k, 10.0 + p % 90 + 0.01 * (k - 2) + 0.5);
  }
}

// Fill 30 rows of a freshly opened template, then compute every formula
// cell (about 5,000): the first look at a new report, reading and
// compiling the formulas included.
void BM_FillThirtyAndComputeFai(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto book =
        std::make_unique<xlsx::Workbook>(xlsx::Workbook::open(kTemplate));
    state.ResumeTiming();
    fillThirty(book->sheet(0));
    book->calculate();
    state.PauseTiming();
    book.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FillThirtyAndComputeFai)->Unit(benchmark::kMillisecond);

// One sample changes, every formula cell is computed again.
void BM_RecalculateFaiAfterAChange(benchmark::State& state) {
  xlsx::Workbook book = xlsx::Workbook::open(kTemplate);
  xlsx::Sheet& sheet = book.sheet(0);
  fillThirty(sheet);
  book.calculate();
  double sample = 10.0;
  for (auto _ : state) {
    sheet.setNumber(12, 8, sample += 0.001);
    book.calculate();
  }
}
BENCHMARK(BM_RecalculateFaiAfterAChange)->Unit(benchmark::kMillisecond);

// One sample changes and a window shows 40 rows: value, text and look of
// each visible cell.
void BM_VisibleCellsAfterAChange(benchmark::State& state) {
  xlsx::Workbook book = xlsx::Workbook::open(kTemplate);
  xlsx::Sheet& sheet = book.sheet(0);
  fillThirty(sheet);
  book.calculate();
  double sample = 10.0;
  for (auto _ : state) {
    sheet.setNumber(12, 8, sample += 0.001);
    for (int r = 1; r <= 40; ++r)
      for (int c = 1; c <= 16; ++c) {
        benchmark::DoNotOptimize(sheet.displayText(r, c));
        benchmark::DoNotOptimize(sheet.look(r, c));
      }
  }
}
BENCHMARK(BM_VisibleCellsAfterAChange)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
