// The inspection report PDF of 500 numbered dimensions, a third of them
// measured OK, a third NG: the drawing page with the results on the marks,
// the table over its pages. Goal: under a second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "bench/bench_drawing.h"
#include "browse/browser.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "model/form1.h"
#include "reports/inspection_pdf.h"

namespace fs = std::filesystem;

namespace {

fs::path sourceDrawing() {
  return bench::generatedDrawing("bench_report_500.dxf", "3000 500");
}

void BM_InspectionPdf(benchmark::State& state) {
  cli::PaintingApplication painting;
  const fs::path dir = fs::path(DIMMARK_BENCH_DIR) / "report-work";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(sourceDrawing(), dir / "part.dxf");
  cli::Session session;
  if (!session.start() ||
      !session.openDrawing((dir / "part.dxf").string(), std::nullopt, ""))
    std::abort();
  auto& f = session.main();
  f.comSort->userClick();
  if (f.Combo1->listCount() < 500) {
    state.SkipWithError("the drawing was not numbered");
    return;
  }
  // Two of every three dimensions measured: on the nominal, or far off.
  for (int p = 1; p <= f.Combo1->listCount(); ++p) {
    if (p % 3 == 0) continue;
    dimtable::Measurement m;
    m.count = 2;
    const float v = static_cast<float>(std::strtod(
        f.ctx.dimRecords[static_cast<size_t>(p)].value.c_str(), nullptr));
    m.samples[0] = v;
    m.samples[1] = p % 3 == 1 ? v : v + 50;
    m.instrument = "DC";
    browse::storeMeasurement(f.ctx, p, m);
  }
  const std::string out = (dir / "report.pdf").string();
  int pages = 0;
  for (auto _ : state) pages = reports::writeInspectionPdf(f, out, {}).pages;
  state.counters["pages"] = pages;
  state.counters["dimensions"] = f.Combo1->listCount();
}
BENCHMARK(BM_InspectionPdf)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
