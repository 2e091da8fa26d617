// One numbering pass as automatic marking writes it: AddNew and nine field
// sets per row, one Update at the end, into a fresh copy of the template.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "dimtable/dimtable.h"

namespace {

const std::string kTemplate = "dimdata/dimen.mdb";

std::string scratchPath() {
  auto dir = std::filesystem::temp_directory_path() /
             ("bench-dimtable-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / "part.mdb").string();
}

void writePass(dimtable::Recordset& rs, int n) {
  for (int p = 1; p <= n; ++p) {
    rs.AddNew();
    rs.Set("DIMNUM", p);
    rs.Set("DIMVALUE", "25.40");
    rs.Set("DIMUP", 0.1f);
    rs.Set("DIMLOW", 0.05f);
    rs.Set("DIMTYPE", "正交尺寸");
    rs.Set("DIMCHECK", false);
    rs.Set("DIMX", static_cast<float>(p) * 1.5f);
    rs.Set("DIMY", 20.0f);
    rs.Set("marknum", static_cast<short>(p));
  }
  rs.Update();
}

// The pass itself, with the connection and recordset opened as the
// handler opens them; the template copy is outside the timing.
void BM_NumberingPass(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string db = scratchPath();
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    state.PauseTiming();
    std::filesystem::remove(db);
    dimtable::copyTemplate(kTemplate, db);
    state.ResumeTiming();
    dimtable::Connection c;
    c.Open(db);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, rows);
    c.Close();
  }
  std::filesystem::remove_all(std::filesystem::path(db).parent_path());
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_NumberingPass)->Arg(5000)->Unit(benchmark::kMillisecond);

// Loading a numbered drawing: open, MoveLast, then the walk reading the
// eight columns of every row.
void BM_LoadWalk(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string db = scratchPath();
  std::filesystem::remove(db);
  dimtable::copyTemplate(kTemplate, db);
  {
    dimtable::Connection c;
    c.Open(db);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, rows);
  }
  for (auto _ : state) {  // NOLINT(clang-analyzer-deadcode.DeadStores)
    dimtable::Connection c;
    c.Open(db);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    rs.MoveLast();
    int count = rs.Get("number1").asInt();
    rs.MoveFirst();
    double sum = 0;
    for (int i = 1; i <= count; ++i) {
      sum += rs.Get("DIMNUM").asInt() + rs.Get("DIMUP").asDouble() +
             rs.Get("DIMLOW").asDouble() + rs.Get("DIMX").asDouble() +
             rs.Get("DIMY").asDouble() + rs.Get("DIMCHECK").asBool();
      benchmark::DoNotOptimize(rs.Get("DIMVALUE").asText());
      benchmark::DoNotOptimize(rs.Get("DIMTYPE").asText());
      rs.MoveNext();
    }
    benchmark::DoNotOptimize(sum);
  }
  std::filesystem::remove_all(std::filesystem::path(db).parent_path());
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_LoadWalk)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
