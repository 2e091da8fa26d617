// Small workbooks written entry by entry, and raw access to saved ones, for
// the tests of the workbook layer and the spreadsheet host.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fixture {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const {
    return path_ / name;
  }

 private:
  std::filesystem::path path_;
};

// stored = true writes the entries uncompressed.
void writeZip(const std::filesystem::path& path, const Entries& entries,
              bool stored = false);
std::map<std::string, std::string> readZip(const std::filesystem::path& path);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A one-sheet workbook whose sheetData (and more) is given. The shared
// strings part is added when sst is not empty; extraWorkbook goes after the
// sheets element of workbook.xml.
struct BookSpec {
  std::string sheetBody = "<sheetData/>";
  std::string sst;
  std::string extraWorkbook;
  bool calcChain = false;
  std::string rootTag = "worksheet";  // with a prefix: "x:worksheet"
  std::vector<std::pair<std::string, std::string>> moreSheets;  // name, body
};
Entries workbookEntries(const BookSpec& spec);
void writeWorkbook(const std::filesystem::path& path, const BookSpec& spec);

inline const char* kMainNs =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

}  // namespace fixture
