#include "zip_fixture.h"

#include <zip.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fixture {

TempDir::TempDir() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("dimmark-xlsx-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeZip(const std::filesystem::path& path, const Entries& entries,
              bool stored) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!za) throw std::runtime_error("test zip: cannot create " + path.string());
  for (const auto& [name, data] : entries) {
    zip_source_t* source = zip_source_buffer(za, data.data(), data.size(), 0);
    const zip_int64_t index = zip_file_add(za, name.c_str(), source, 0);
    if (index < 0) {
      zip_source_free(source);
      zip_discard(za);
      throw std::runtime_error("test zip: cannot add " + name);
    }
    // Big entries pack fast rather than small: tests make tens of MB.
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                             stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                             data.size() > (1u << 20) ? 1 : 9);
  }
  if (zip_close(za) != 0) {
    zip_discard(za);
    throw std::runtime_error("test zip: cannot write " + path.string());
  }
}

std::map<std::string, std::string> readZip(const std::filesystem::path& path) {
  int error = 0;
  zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (!za) throw std::runtime_error("test zip: cannot open " + path.string());
  std::map<std::string, std::string> entries;
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(static_cast<std::size_t>(st.size), '\0');
    zip_file_t* file = zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0);
    zip_fread(file, data.data(), data.size());
    zip_fclose(file);
    entries[st.name] = std::move(data);
  }
  zip_discard(za);
  return entries;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

Entries workbookEntries(const BookSpec& spec) {
  const std::string rel =
      "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
      "content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/"
      "vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
  std::string rels =
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/"
      "relationships\">";
  std::string sheets = "<sheets>";
  Entries entries;

  std::vector<std::pair<std::string, std::string>> all = {
      {"Sheet1", spec.sheetBody}};
  all.insert(all.end(), spec.moreSheets.begin(), spec.moreSheets.end());
  const std::string prefix =
      spec.rootTag.find(':') == std::string::npos
          ? ""
          : spec.rootTag.substr(0, spec.rootTag.find(':'));
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string n = std::to_string(i + 1);
    types +=
        "<Override PartName=\"/xl/worksheets/sheet" + n +
        ".xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel +
            "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    sheets += "<sheet name=\"" + all[i].first + "\" sheetId=\"" + n +
              "\" r:id=\"rId" + n + "\"/>";
    const std::string xmlns = prefix.empty()
                                  ? " xmlns=\"" + std::string(kMainNs) + "\""
                                  : " xmlns:" + prefix + "=\"" + kMainNs + "\"";
    entries.push_back({"xl/worksheets/sheet" + n + ".xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><" +
                           spec.rootTag + xmlns + ">" + all[i].second + "</" +
                           spec.rootTag + ">"});
  }
  if (!spec.sst.empty()) {
    types +=
        "<Override PartName=\"/xl/sharedStrings.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    rels += "<Relationship Id=\"rId90\" Type=\"" + rel +
            "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    entries.push_back(
        {"xl/sharedStrings.xml",
         "<sst xmlns=\"" + std::string(kMainNs) + "\">" + spec.sst + "</sst>"});
  }
  if (spec.calcChain) {
    types +=
        "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>";
    rels += "<Relationship Id=\"rId91\" Type=\"" + rel +
            "/calcChain\" Target=\"calcChain.xml\"/>";
    entries.push_back(
        {"xl/calcChain.xml", "<calcChain xmlns=\"" + std::string(kMainNs) +
                                 "\"><c r=\"B1\" i=\"1\"/></calcChain>"});
  }
  types += "</Types>";
  rels += "</Relationships>";
  sheets += "</sheets>";

  entries.insert(
      entries.begin(),
      {{"[Content_Types].xml", types},
       {"_rels/.rels",
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/"
        "package/2006/relationships\"><Relationship Id=\"rId1\" "
        "Type=\"" +
            rel +
            "/officeDocument\" Target=\"xl/workbook.xml\"/>"
            "</Relationships>"},
       {"xl/workbook.xml", "<workbook xmlns=\"" + std::string(kMainNs) +
                               "\" xmlns:r=\"" + rel + "\">" + sheets +
                               spec.extraWorkbook + "</workbook>"},
       {"xl/_rels/workbook.xml.rels", rels}});
  return entries;
}

void writeWorkbook(const std::filesystem::path& path, const BookSpec& spec) {
  writeZip(path, workbookEntries(spec));
}

}  // namespace fixture
