// Speed of the drawing engine on a large drawing (about 30,000 entities,
// 5,000 dimensions, 20 MB): load, read every dimension property, save.
// The drawing is generated on first use by make_bench_drawing.py.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "cadhost/engine/embedded_host.h"

namespace {

std::string drawingPath() {
  if (const char* p = std::getenv("DIMMARK_BENCH_DRAWING")) return p;
  return DIMMARK_BENCH_DRAWING;
}

std::string savePath() { return drawingPath() + ".saved.dxf"; }

// What the extraction reads of every model-space item.
double readAll(cadhost::Document& doc) {
  double sum = 0;
  auto& ms = doc.GetModelSpace();
  for (int i = 0, n = ms.Count(); i < n; ++i) {
    cadhost::EntityRef e = ms.Item(i);
    std::string name = e->ObjectName();
    sum += e->Color();
    if (name.ends_with("Dimension")) {
      sum += e->Measurement() + e->TextPosition()[0] + e->TextHeight() +
             e->ToleranceDisplay() + e->ToleranceUpperLimit() +
             e->ToleranceLowerLimit() + e->PrimaryUnitsPrecision() +
             e->TolerancePrecision() +
             static_cast<double>(e->TextOverride().size());
    } else if (name == "AcDbText" || name == "AcDbMText") {
      sum +=
          e->InsertionPoint()[1] + static_cast<double>(e->TextString().size());
    }
  }
  for (const char* v : {"EXTMIN", "EXTMAX"})
    sum += std::get<cadhost::Point>(doc.GetVariable(v))[0];
  return sum;
}

void BM_Load(benchmark::State& state) {
  for (auto _ : state) {
    auto app = cadhost::engine::makeEmbeddedHost();
    auto doc = app->Open(drawingPath());
    benchmark::DoNotOptimize(doc->GetModelSpace().Count());
  }
}

void BM_ReadEveryProperty(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = app->Open(drawingPath());
  for (auto _ : state) benchmark::DoNotOptimize(readAll(*doc));
}

void BM_Save(benchmark::State& state) {
  auto app = cadhost::engine::makeEmbeddedHost();
  auto doc = app->Open(drawingPath());
  auto engine = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(doc);
  for (auto _ : state) engine->saveAs(savePath());
  std::remove(savePath().c_str());
}

// The measure of the issue: all three in one go.
void BM_LoadReadSave(benchmark::State& state) {
  for (auto _ : state) {
    auto app = cadhost::engine::makeEmbeddedHost();
    auto doc = app->Open(drawingPath());
    benchmark::DoNotOptimize(readAll(*doc));
    std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(doc)->saveAs(
        savePath());
  }
  std::remove(savePath().c_str());
}

// The extraction's own sequence per dimension: two precision writes, a
// move, the reads, an undo.
void BM_LoadAndExtract(benchmark::State& state) {
  for (auto _ : state) {
    auto app = cadhost::engine::makeEmbeddedHost();
    auto doc = app->Open(drawingPath());
    auto& ms = doc->GetModelSpace();
    double sum = 0;
    for (int i = 0, n = ms.Count(); i < n; ++i) {
      cadhost::EntityRef e = ms.Item(i);
      if (!e->ObjectName().ends_with("Dimension")) continue;
      bool angular = e->ObjectName() == "AcDb2LineAngularDimension";
      if (!angular) e->SetPrimaryUnitsPrecision(2);
      e->SetTolerancePrecision(2);
      e->Move({0, 0, 0}, {2, 0, 0});
      sum += e->Measurement() + static_cast<double>(e->TextOverride().size());
      doc->SendCommand("Undo\r\r");
      sum += e->ToleranceDisplay() + e->ToleranceLowerLimit() +
             e->ToleranceUpperLimit() + e->TextPosition()[1];
    }
    benchmark::DoNotOptimize(sum);
  }
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ReadEveryProperty)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadReadSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadAndExtract)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string path = drawingPath();
  if (!std::filesystem::exists(path)) {
    std::cerr << "generating " << path << " ...\n";
    std::string cmd = std::string("/usr/bin/python3 '") + DIMMARK_BENCH_SCRIPT +
                      "' '" + path + "'";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(path)) {
      std::cerr << "could not generate the benchmark drawing\n";
      return 2;
    }
  }
  std::cerr << path << ": " << std::filesystem::file_size(path) << " bytes\n";
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
