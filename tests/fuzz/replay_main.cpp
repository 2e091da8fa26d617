// Runs a fuzz target over saved inputs, without libFuzzer: the corpus in
// the repository (seeds and every input that ever broke a reader) is
// replayed by ctest in the normal and the sanitizer builds. A crash or a
// sanitizer report ends the run; so does an input that takes longer than
// --max-seconds, which is how a hang shows.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc,
                                                          char*** argv);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  double maxSeconds = 5;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--max-seconds" && i + 1 < argc) {
      maxSeconds = std::stod(argv[++i]);
    } else if (fs::is_directory(a)) {
      for (const auto& e : fs::directory_iterator(a))
        if (e.is_regular_file() && e.path().filename() != "README.md")
          inputs.push_back(e.path());
    } else if (fs::is_regular_file(a)) {
      inputs.emplace_back(a);
    } else {
      std::fprintf(stderr, "no such input: %s\n", a.c_str());
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs\n");
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int slow = 0;
  for (const auto& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto start = std::chrono::steady_clock::now();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                           bytes.size());
    std::chrono::duration<double> took =
        std::chrono::steady_clock::now() - start;
    if (took.count() > maxSeconds) {
      std::fprintf(stderr, "%s took %.1f s (more than %.1f s)\n",
                   p.string().c_str(), took.count(), maxSeconds);
      ++slow;
    }
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return slow == 0 ? 0 : 1;
}
