#include "tolerance/tables.h"

#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "model/form1.h"
#include "forms/basic.h"

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

void replaceFile(const fs::path& file, const std::string& content) {
  fs::path tmp = file;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) throw TableError("无法写入文件：" + file.string());
    out << content;
    out.flush();
    if (!out) {
      out.close();
      std::error_code ec;
      fs::remove(tmp, ec);
      throw TableError("无法写入文件：" + file.string());
    }
  }
  std::error_code ec;
  fs::rename(tmp, file, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw TableError("无法写入文件：" + file.string());
  }
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
  std::string content;
  for (size_t i = 0; i < 6; ++i)
    content += forms::SingleText(bounds[i]) + "\r\n";
  replaceFile(file, content);
}

void writeTolerances(const fs::path& file,
                     const std::array<std::string, 7>& texts) {
  std::string content;
  for (const auto& t : texts) content += t + "\r\n";
  replaceFile(file, content);
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
