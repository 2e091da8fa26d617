// Readings entered one after the other as a gauge sends them, through the
// window's own continuous entry: read, stored in the drawing's database,
// judged, and on to the next box of the order (a browse step when the
// dimension changes). What one reading costs bounds the readings per
// minute the program can take.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/bench_drawing.h"
#include "browse/entry_keys.h"
#include "browse/gauge.h"
#include "cli/session.h"

namespace fs = std::filesystem;

namespace {

struct Numbered {
  fs::path dir;
  std::unique_ptr<cli::Session> session;
  explicit Numbered(const fs::path& source) {
    dir = fs::path(DIMMARK_BENCH_DIR) / "gauge-work";
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(source, dir / "part.dxf");
    session = std::make_unique<cli::Session>();
    if (!session->start() ||
        !session->openDrawing((dir / "part.dxf").string(), std::nullopt, ""))
      std::abort();
    session->main().comSort->userClick();
    session->main().CheCont->userClick();
  }
};

// Arguments: the drawing's dimensions, and 1 for "按样品" (each reading
// moves to the next dimension) or 0 for "按尺寸" (five boxes, then on).
void BM_GaugeReading(benchmark::State& state) {
  const auto dims = state.range(0);
  const fs::path source = bench::generatedDrawing(
      "bench_gauge_" + std::to_string(dims) + ".dxf",
      std::to_string(dims * 6) + " " + std::to_string(dims));
  Numbered n(source);
  auto& f = n.session->main();
  if (state.range(1))
    f.OptBySample->userClick();
  else
    f.Combo3->userSelect(4);
  browse::GaugeFeed feed;
  const browse::ReadingPart line;
  for (auto _ : state) feed.bytes(f, "10.01\r\n", -1, line);
  if (feed.entered() != static_cast<int>(state.iterations()))
    state.SkipWithError("a reading was not entered");
}
BENCHMARK(BM_GaugeReading)
    ->Args({60, 0})
    ->Args({60, 1})
    ->Args({5000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()  // the database's commit waits for the disk
    ->Iterations(250);

}  // namespace

BENCHMARK_MAIN();
