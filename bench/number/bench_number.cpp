// Numbering 5,000 dimensions (sort, rows, marks, save) and browsing them,
// through the same handlers as the window, on the embedded hosts.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "bench/bench_drawing.h"
#include "browse/browser.h"
#include "cadhost/engine/embedded_host.h"
#include "cli/session.h"

namespace fs = std::filesystem;

namespace {

fs::path sourceDrawing() { return bench::generatedDrawing("bench_30k.dxf"); }

// A fresh copy of the drawing, opened and read as "确定" does.
struct Opened {
  fs::path dir;
  std::unique_ptr<cli::Session> session;
  Opened() {
    dir = fs::path(DIMMARK_BENCH_DIR) / "work";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(sourceDrawing(), dir / "part.dxf");
    session = std::make_unique<cli::Session>();
    if (!session->start() ||
        !session->openDrawing((dir / "part.dxf").string(), std::nullopt, ""))
      std::abort();
  }
};

void BM_NumberAndSave(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Opened o;
    auto& f = o.session->main();
    state.ResumeTiming();
    f.comSort->userClick();
    auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        f.ctx.cadDoc);
    doc->saveAs((o.dir / "marked.dxf").string());
    state.PauseTiming();
    if (f.Combo1->listCount() != f.ctx.dimCount || f.ctx.dimCount < 5000)
      state.SkipWithError("not every dimension was numbered");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_NumberAndSave)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BrowseStep(benchmark::State& state) {
  Opened o;
  auto& f = o.session->main();
  f.comSort->userClick();
  for (auto _ : state) {
    // Next dimension with its save and restore, then show it in the drawing.
    if (f.Combo1->listIndex() + 1 >= f.Combo1->listCount())
      f.ComFirst->userClick();
    f.ComNext->userClick();
    f.ComReview->userClick();
  }
}
BENCHMARK(BM_BrowseStep)->Unit(benchmark::kMicrosecond);

// The same with every dimension measured: each step also brings the
// result colours of all 5,000 marks up to date, once per sample box the
// step fills.
void BM_BrowseStepMeasured(benchmark::State& state) {
  Opened o;
  auto& f = o.session->main();
  f.comSort->userClick();
  for (int p = 1; p <= f.Combo1->listCount(); ++p) {
    dimtable::Measurement m;
    m.count = 2;
    const float v = static_cast<float>(std::strtod(
        f.ctx.dimRecords[static_cast<size_t>(p)].value.c_str(), nullptr));
    m.samples[0] = v;
    m.samples[1] = p % 2 ? v : v + 10;
    browse::storeMeasurement(f.ctx, p, m);
  }
  for (auto _ : state) {
    if (f.Combo1->listIndex() + 1 >= f.Combo1->listCount())
      f.ComFirst->userClick();
    f.ComNext->userClick();
  }
}
BENCHMARK(BM_BrowseStepMeasured)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
