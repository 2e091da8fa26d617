#include "sheethost/xlsx/package.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace xlsx {

namespace {
const char* const kTooBig =
    "文件解压后太大，超出了本程序能读入的范围（可能是被恶意构造的压缩包）";
}  // namespace

namespace {

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto low = [](char c) {
             return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
           };
           return low(x) == low(y);
         });
}

struct ArchiveCloser {
  void operator()(zip_t* za) const { zip_discard(za); }
};
struct FileCloser {
  void operator()(zip_file_t* zf) const { zip_fclose(zf); }
};

std::string sizeText(std::uint64_t bytes) {
  return std::to_string(bytes) + " bytes";
}

}  // namespace

Package Package::read(const std::filesystem::path& path, const Limits& limits) {
  const std::string label = path.string();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec))
    throw Error(label + ": no such file", "文件不存在");
  if (!std::filesystem::is_regular_file(path, ec))
    throw Error(label + ": not a file", "这不是一个文件");
  const auto size = std::filesystem::file_size(path, ec);
  if (ec)
    throw Error(label + ": cannot read it (" + ec.message() + ")",
                "无法读取文件");
  if (size > limits.maxFileBytes)
    throw Error(label + ": the file is too large (" + sizeText(size) +
                    ", limit " + sizeText(limits.maxFileBytes) + ")",
                "文件太大，超出了本程序能读入的范围");
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw Error(label + ": cannot open it (" + std::strerror(errno) + ")",
                "无法打开文件（没有权限或文件被占用）");
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
    throw Error(label + ": cannot read it", "无法读取文件");
  return fromBytes(bytes, limits, label);
}

Package Package::fromBytes(std::string_view bytes, const Limits& limits,
                           const std::string& label) {
  if (bytes.empty()) throw Error(label + ": the file is empty", "文件为空");
  // The old binary format and password-protected workbooks are compound
  // files, not zips; the plain "not a zip" would leave the user guessing.
  if (bytes.substr(0, 8) ==
      std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
    throw Error(label +
                    ": an old binary .xls workbook or a password-protected "
                    "one; only unprotected .xlsx workbooks can be read",
                "这是旧的 .xls 工作簿或有密码保护的工作簿；请在电子表格程序中"
                "去掉密码并另存为 .xlsx");
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source =
      zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) {
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(label + ": cannot read it (" + message + ")");
  }
  std::unique_ptr<zip_t, ArchiveCloser> archive(
      zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
  if (!archive) {
    zip_source_free(source);
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(
        label + ": not a workbook, the zip archive is broken (" + message + ")",
        "这不是 .xlsx 工作簿，或文件已损坏");
  }
  zip_error_fini(&error);

  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries)
    throw Error(label + ": the archive has too many entries (" +
                    std::to_string(count) + ")",
                kTooBig);

  Package package;
  std::uint64_t total = 0;
  for (zip_int64_t index = 0; index < count; ++index) {
    const auto at = static_cast<zip_uint64_t>(index);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), at, 0, &st) != 0)
      throw Error(label + ": broken zip entry " + std::to_string(index) + " (" +
                  zip_strerror(archive.get()) + ")");
    const std::uint64_t need =
        ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE;
    if ((st.valid & need) != need)
      throw Error(label + ": broken zip entry " + std::to_string(index));
    const std::string name = st.name;
    if (!name.empty() && name.back() == '/') continue;  // a folder
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
        st.encryption_method != ZIP_EM_NONE)
      throw Error(label + ": entry '" + name +
                      "' is encrypted; protected workbooks are not supported",
                  "工作簿有密码保护，请先在电子表格程序中去掉密码");
    if (package.find(name))
      throw Error(label + ": entry '" + name + "' appears twice");

    // Sizes come from the archive's directory; they are checked before
    // anything is inflated, and the inflated data is held to them.
    if (st.size > limits.maxEntryBytes)
      throw Error(label + ": entry '" + name + "' is too large to unpack (" +
                      sizeText(st.size) + ", limit " +
                      sizeText(limits.maxEntryBytes) + ")",
                  kTooBig);
    total += st.size;
    if (total > limits.maxTotalBytes)
      throw Error(label + ": the archive unpacks to more than " +
                      sizeText(limits.maxTotalBytes),
                  kTooBig);
    if (st.size > limits.ratioFreeBytes &&
        (st.comp_size == 0 ||
         static_cast<double>(st.size) / static_cast<double>(st.comp_size) >
             limits.maxRatio))
      throw Error(label + ": entry '" + name + "' is compressed " +
                      (st.comp_size == 0
                           ? std::string("from nothing")
                           : std::to_string(st.size / st.comp_size) + ":1") +
                      ", refused as a possible zip bomb",
                  kTooBig);

    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive.get(), at, 0));
    if (!file)
      throw Error(label + ": cannot unpack entry '" + name + "' (" +
                  zip_strerror(archive.get()) + ")");
    std::string data(static_cast<std::size_t>(st.size), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
      const zip_int64_t n =
          zip_fread(file.get(), data.data() + got, data.size() - got);
      if (n < 0)
        throw Error(label + ": cannot unpack entry '" + name + "' (" +
                    zip_file_strerror(file.get()) + ")");
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    char extra;
    if (got != data.size() || zip_fread(file.get(), &extra, 1) != 0)
      throw Error(label + ": entry '" + name +
                  "' does not match the size the archive gives");
    package.entries_.push_back({name, std::move(data)});
  }
  return package;
}

const Package::Entry* Package::find(std::string_view name) const {
  for (const auto& entry : entries_)
    if (entry.name == name) return &entry;
  for (const auto& entry : entries_)
    if (sameNameIgnoringCase(entry.name, name)) return &entry;
  return nullptr;
}

bool Package::contains(std::string_view name) const {
  return find(name) != nullptr;
}

const std::string& Package::get(std::string_view name) const {
  const Entry* entry = find(name);
  if (!entry)
    throw Error("the workbook has no part '" + std::string(name) + "'");
  return entry->data;
}

std::string Package::actualName(std::string_view name) const {
  const Entry* entry = find(name);
  return entry ? entry->name : std::string(name);
}

void Package::put(const std::string& name, std::string data) {
  if (auto* entry = const_cast<Entry*>(find(name))) {
    entry->data = std::move(data);
    return;
  }
  entries_.push_back({name, std::move(data)});
}

void Package::remove(std::string_view name) {
  const Entry* entry = find(name);
  if (!entry) return;
  entries_.erase(entries_.begin() + (entry - entries_.data()));
}

std::vector<std::string> Package::names() const {
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (const auto& entry : entries_) names.push_back(entry.name);
  return names;
}

void Package::write(const std::filesystem::path& path) const {
  const std::string label = path.string();
  int code = 0;
  // libzip writes a temporary file and renames it over the target on close.
  std::unique_ptr<zip_t, ArchiveCloser> archive(
      zip_open(label.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
  if (!archive) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string message = zip_error_strerror(&error);
    zip_error_fini(&error);
    throw Error(label + ": cannot write it (" + message + ")", "无法写入文件");
  }
  for (const auto& entry : entries_) {
    zip_source_t* source = zip_source_buffer(archive.get(), entry.data.data(),
                                             entry.data.size(), 0);
    if (!source)
      throw Error(
          label + ": cannot write it (" + zip_strerror(archive.get()) + ")",
          "无法写入文件");
    const zip_int64_t index = zip_file_add(archive.get(), entry.name.c_str(),
                                           source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      throw Error(
          label + ": cannot write it (" + zip_strerror(archive.get()) + ")",
          "无法写入文件");
    }
    // A fast deflate level: sheets are repetitive and shrink well anyway.
    zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index),
                             ZIP_CM_DEFLATE, 1);
  }
  if (zip_close(archive.get()) != 0)
    throw Error(
        label + ": cannot write it (" + zip_strerror(archive.get()) + ")",
        "无法写入文件");
  (void)archive.release();  // closed, nothing left to discard
}

}  // namespace xlsx
