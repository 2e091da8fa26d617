// Filling 5,000 FAI rows (6 cells each) through the spreadsheet host and
// saving the workbook: the report of a large drawing.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "reports/embedded/embedded_host.h"

namespace {

const std::string kTemplate = std::string(DIMMARK_TEMPLATE_DIR) + "/fai.xlsx";

std::string output() {
  return (std::filesystem::temp_directory_path() / "dimmark_bench_fai.xlsx")
      .string();
}

void fill(reports::Worksheet& sheet, int rows) {
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
  auto factory = reports::embedded::makeSheetHost();
  for (auto _ : state) {
    auto app =
        std::dynamic_pointer_cast<reports::embedded::EmbeddedSheetApplication>(
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
  auto factory = reports::embedded::makeSheetHost();
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
  auto factory = reports::embedded::makeSheetHost();
  auto app =
      std::dynamic_pointer_cast<reports::embedded::EmbeddedSheetApplication>(
          factory("excel.application"));
  auto wb = app->Open(kTemplate);
  fill(*wb->Worksheets(1), 5000);
  for (auto _ : state) app->saveWorkbook("fai.xlsx", output());
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
