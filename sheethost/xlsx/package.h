// The zip container of a workbook, held in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xlsx {

// Every refusal of the layer: a broken file, an unsafe one, a bad value.
// what() names the part and the detail (English, for logs and the
// command line); plain() is the reason in the user's words.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& what, std::string plain = {})
      : std::runtime_error(what), plain_(std::move(plain)) {}
  const std::string& plain() const {
    static const std::string damaged = "文件已损坏，不是能读入的工作簿";
    return plain_.empty() ? damaged : plain_;
  }

 private:
  std::string plain_;
};

// Bounds on what a file may make us unpack, so that a crafted archive
// cannot exhaust memory.
struct Limits {
  std::uint64_t maxFileBytes = 256ull << 20;
  // With the cell limit below, these keep the reading of any workbook
  // under 500 MB of memory (measured by the tests).
  std::uint64_t maxEntryBytes = 32ull << 20;
  std::uint64_t maxTotalBytes = 96ull << 20;
  std::uint64_t maxEntries = 10000;
  // Uncompressed to compressed size; real sheets stay far below.
  double maxRatio = 200.0;
  // Entries up to this size are not held to the ratio.
  std::uint64_t ratioFreeBytes = 1ull << 20;
  // Cells of all worksheets together, counted before a sheet is parsed, so
  // that a small file of endless empty cells cannot take the memory.
  std::uint64_t maxCells = 400'000;
};

class Package {
 public:
  // Reads and unpacks the whole archive; refuses broken or oversized ones.
  static Package read(const std::filesystem::path& path,
                      const Limits& limits = {});
  static Package fromBytes(std::string_view bytes, const Limits& limits,
                           const std::string& label);

  // Entry names as stored; lookup also accepts another letter case, since
  // part names are case-insensitive.
  bool contains(std::string_view name) const;
  const std::string& get(std::string_view name) const;
  std::string actualName(std::string_view name) const;
  void put(const std::string& name, std::string data);
  void remove(std::string_view name);
  std::vector<std::string> names() const;

  // Written to a temporary file beside the target and renamed over it, so a
  // failure leaves the target as it was.
  void write(const std::filesystem::path& path) const;

 private:
  struct Entry {
    std::string name;
    std::string data;
  };
  const Entry* find(std::string_view name) const;
  std::vector<Entry> entries_;
};

}  // namespace xlsx
