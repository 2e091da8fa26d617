// Opening a DWG drawing as the window does, from the click on "确定" to the
// extracted list: conversion by the converter process, load, extraction.
//   Cold: a converter of the window's kind is created for the drawing, as
//     when the user opens one right after the program starts.
//   ConverterStart: the warm converter's own start (optimising compile and
//     warm-up) and one conversion, the time a warm converter needs.
//   Warm: the converter is running already.
// The converter's peak memory is a counter. The drawing: --dwg=PATH or
// DIMMARK_BENCH_DWG, else the largest DWG fixture.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "cadhost/dwg/converter.h"
#include "cadhost/engine/embedded_host.h"
#include "cli/drawing_host.h"
#include "cli/session.h"

namespace fs = std::filesystem;

namespace {

std::string dwgPath = DIMMARK_BENCH_DWG;

double megabytes() {
  return static_cast<double>(fs::file_size(dwgPath)) / (1024.0 * 1024.0);
}

// A fresh copy of the drawing (no database beside it), opened through the
// program's handlers with `convert` as the host's converter.
void openThroughProgram(
    benchmark::State& state,
    const std::function<std::string(const std::string&)>& convert) {
  state.PauseTiming();
  fs::path dir = fs::path(DIMMARK_BENCH_DIR) / "work";
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::path copy = dir / "part.dwg";
  fs::copy_file(dwgPath, copy);
  auto session = std::make_unique<cli::Session>();
  if (!session->start()) state.SkipWithError("the program did not start");
  auto host = std::dynamic_pointer_cast<cadhost::engine::EngineApplication>(
      session->program().ctx.cadApp);
  host->dwgToDxf = convert;
  state.ResumeTiming();
  bool ok = session->openDrawing(copy.string(), std::nullopt, "");
  state.PauseTiming();
  if (!ok) state.SkipWithError(session->failure().c_str());
  state.counters["dimensions"] = session->program().ctx.dimCount;
  session.reset();
  state.ResumeTiming();
}

void BM_ColdOpen(benchmark::State& state) {
  for (auto _ : state) {
    cadhost::dwg::Converter converter(
        cadhost::dwg::warmSetup(cli::programDir()));
    openThroughProgram(state, [&](const std::string& p) {
      return converter.convert(p, nullptr);
    });
  }
  state.counters["MB"] = megabytes();
}

void BM_ConverterStart(benchmark::State& state) {
  long peak = 0;
  for (auto _ : state) {
    auto setup = cadhost::dwg::warmSetup(cli::programDir());
    setup.quickCommand.clear();  // wait for this converter's start
    cadhost::dwg::Converter converter(setup);
    converter.convert(dwgPath, nullptr);
    peak = std::max(peak, converter.peakMemoryKiB());
  }
  state.counters["converter_peak_MiB"] = static_cast<double>(peak) / 1024.0;
}

void BM_WarmOpen(benchmark::State& state) {
  auto setup = cadhost::dwg::warmSetup(cli::programDir());
  setup.quickCommand.clear();
  cadhost::dwg::Converter converter(setup);
  // Started and warm before the clock runs, as when the user opened the
  // file dialog a while ago.
  converter.convert(dwgPath, nullptr);
  for (auto _ : state) {
    openThroughProgram(state, [&](const std::string& p) {
      return converter.convert(p, nullptr);
    });
  }
  state.counters["MB"] = megabytes();
  state.counters["converter_peak_MiB"] =
      static_cast<double>(converter.peakMemoryKiB()) / 1024.0;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(dwgPath)));
}

void BM_WarmConvertOnly(benchmark::State& state) {
  auto setup = cadhost::dwg::warmSetup(cli::programDir());
  setup.quickCommand.clear();
  cadhost::dwg::Converter converter(setup);
  converter.convert(dwgPath, nullptr);
  for (auto _ : state)
    benchmark::DoNotOptimize(converter.convert(dwgPath, nullptr));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(fs::file_size(dwgPath)));
}

}  // namespace

// The work is done by another process: wall time is what counts.
BENCHMARK(BM_ColdOpen)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_ConverterStart)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();
BENCHMARK(BM_WarmOpen)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();
BENCHMARK(BM_WarmConvertOnly)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->UseRealTime();

int main(int argc, char** argv) {
  if (const char* env = std::getenv("DIMMARK_BENCH_DWG")) dwgPath = env;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--dwg=", 6) == 0)
      dwgPath = argv[i] + 6;
    else
      rest.push_back(argv[i]);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  benchmark::AddCustomContext("dwg", dwgPath);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
