#include "tolerance/tables.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <vector>

#include "forms/basic.h"
#include "model/form1.h"

namespace tolerance {
namespace fs = std::filesystem;
namespace {

std::vector<std::string> readLines(const fs::path& file, const char* what) {
  std::ifstream in(file, std::ios::binary);
  if (!in)
    throw TableError(std::string("无法读取") + what + "：" + file.string());
  std::stringstream ss;
  ss << in.rdbuf();
  std::string data = ss.str();
  if (data.rfind("\xEF\xBB\xBF", 0) == 0) data.erase(0, 3);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < data.size()) {
    size_t nl = data.find('\n', start);
    std::string line = data.substr(
        start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

float toSingle(const std::string& line, const fs::path& file, size_t lineNo,
               const char* what) {
  auto v = forms::ParseNumber(line);
  if (!v || *v > 3.4028234663852886e38 || *v < -3.4028234663852886e38)
    throw TableError(std::string(what) + " " + file.string() + " 第 " +
                     std::to_string(lineNo) + " 行不是有效数字：\"" + line +
                     "\"");
  return static_cast<float>(*v);
}

std::string reasonOf(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return "没有写入权限";
    case EROFS:
      return "文件夹是只读的";
    case ENOSPC:
    case EDQUOT:
      return "磁盘已满";
    case ENOENT:
    case ENOTDIR:
      return "文件夹不存在";
    default:
      return std::strerror(err);
  }
}

[[noreturn]] void cannotWrite(const fs::path& file, int err) {
  throw TableError("无法写入文件 " + file.string() + "：" + reasonOf(err));
}

// The content written beside the file and flushed to the disk; the file
// itself is untouched. Returns the path written.
fs::path writeBeside(const fs::path& file, const std::string& content) {
  fs::path tmp = file;
  tmp += ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) cannotWrite(file, errno);
  const char* p = content.data();
  size_t left = content.size();
  int err = 0;
  while (left > 0 && err == 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno != EINTR) err = errno;
      continue;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (err == 0 && ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err != 0) {
    ::unlink(tmp.c_str());
    cannotWrite(file, err);
  }
  return tmp;
}

void putInPlace(const fs::path& tmp, const fs::path& file) {
  if (::rename(tmp.c_str(), file.c_str()) != 0) {
    int err = errno;
    ::unlink(tmp.c_str());
    cannotWrite(file, err);
  }
}

void replaceFile(const fs::path& file, const std::string& content) {
  putInPlace(writeBeside(file, content), file);
}

std::string sizeContent(const std::array<float, 7>& bounds) {
  std::string content;
  for (size_t i = 0; i < 6; ++i)
    content += forms::SingleText(bounds[i]) + "\r\n";
  return content;
}

std::string toleranceContent(const std::array<std::string, 7>& texts) {
  std::string content;
  for (const auto& t : texts) content += t + "\r\n";
  return content;
}

}  // namespace

void readSizeBounds(const fs::path& file, std::array<float, 7>& bounds,
                    std::int32_t& count) {
  const char* what = "公差分段文件";
  if (!fs::exists(file)) throw TableError("缺少公差分段文件：" + file.string());
  auto lines = readLines(file, what);
  if (lines.empty())
    throw TableError(std::string(what) + " " + file.string() + " 是空的");
  if (lines.size() > bounds.size())
    throw TableError(std::string(what) + " " + file.string() + " 第 " +
                     std::to_string(bounds.size() + 1) +
                     " 行多余：最多只能有 7 行");
  std::array<float, 7> read{};
  for (size_t i = 0; i < lines.size(); ++i)
    read[i] = toSingle(lines[i], file, i + 1, what);
  bounds = read;
  count = static_cast<std::int32_t>(lines.size()) - 1;
}

void readTolerances(const fs::path& file, std::array<float, 7>& values) {
  const char* what = "公差文件";
  auto lines = readLines(file, what);
  if (lines.size() < values.size())
    throw TableError(std::string(what) + " " + file.string() + " 只有 " +
                     std::to_string(lines.size()) + " 行，第 " +
                     std::to_string(lines.size() + 1) + " 行缺少：需要 7 行");
  std::array<float, 7> read{};
  for (size_t i = 0; i < values.size(); ++i)
    read[i] = toSingle(lines[i], file, i + 1, what);
  values = read;
}

void writeSizeBounds(const fs::path& file, const std::array<float, 7>& bounds) {
  replaceFile(file, sizeContent(bounds));
}

void writeTolerances(const fs::path& file,
                     const std::array<std::string, 7>& texts) {
  replaceFile(file, toleranceContent(texts));
}

void writeTables(const fs::path& sizeFile, const std::array<float, 7>& bounds,
                 const fs::path& toleranceFile,
                 const std::array<std::string, 7>& texts) {
  // Both written beside their files before either replaces its file.
  const fs::path sizeTmp = writeBeside(sizeFile, sizeContent(bounds));
  fs::path tolTmp;
  try {
    tolTmp = writeBeside(toleranceFile, toleranceContent(texts));
  } catch (...) {
    ::unlink(sizeTmp.c_str());
    throw;
  }
  std::optional<std::string> oldSizes;
  {
    std::ifstream in(sizeFile, std::ios::binary);
    if (in) {
      std::stringstream ss;
      ss << in.rdbuf();
      oldSizes = ss.str();
    }
  }
  try {
    putInPlace(sizeTmp, sizeFile);
  } catch (...) {
    ::unlink(tolTmp.c_str());
    throw;
  }
  try {
    putInPlace(tolTmp, toleranceFile);
  } catch (...) {
    // Rarely reached (both lie in one folder): the bounds go back.
    try {
      if (oldSizes) replaceFile(sizeFile, *oldSizes);
    } catch (const TableError&) {
    }
    throw;
  }
}

void read(model::Form1& f) {
  auto& ctx = f.ctx;
  ctx.sizeBoundCount = 0;
  readSizeBounds(ctx.dataDir() / kSizeFile, ctx.sizeBounds, ctx.sizeBoundCount);
  fs::path table =
      ctx.dataDir() / (f.OptPlastic->value() ? kPlasticFile : kMetalFile);
  if (!fs::exists(table)) {
    ctx.desktop.message("缺少公差文件", forms::Buttons::Ok, "System hink ");
    throw forms::ProgramEnd{};
  }
  readTolerances(table, ctx.tolValues);
}

void materialChanged(model::Form1& f) {
  auto& ctx = f.ctx;
  fs::path table =
      ctx.dataDir() / (f.OptPlastic->value() ? kPlasticFile : kMetalFile);
  if (!fs::exists(table)) {
    ctx.desktop.message("缺少公差文件", forms::Buttons::Ok, "System hink ");
    return;
  }
  try {
    readTolerances(table, ctx.tolValues);
  } catch (const TableError& e) {
    ctx.desktop.message(e.what(), forms::Buttons::Ok, "");
  }
}

}  // namespace tolerance
