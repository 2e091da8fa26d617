// The drawings the benchmarks run on: written by the engine benchmark's
// script into the build's bench-data folder the first time, reused after.
// The including target defines DIMMARK_BENCH_SCRIPT and DIMMARK_BENCH_DIR.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// `counts` are the script's optional "TOTAL DIMENSIONS" arguments.
inline std::filesystem::path generatedDrawing(const std::string& name,
                                              const std::string& counts = "") {
  namespace fs = std::filesystem;
  const fs::path dir = DIMMARK_BENCH_DIR;
  fs::create_directories(dir);
  const fs::path p = dir / name;
  if (!fs::exists(p)) {
    const std::string cmd = std::string("/usr/bin/python3 ") +
                            DIMMARK_BENCH_SCRIPT + " " + p.string() + " " +
                            counts;
    if (std::system(cmd.c_str()) != 0) std::abort();
  }
  return p;
}

}  // namespace bench
