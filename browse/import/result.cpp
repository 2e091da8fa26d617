#include "browse/import/result.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "browse/import/formats.h"
#include "browse/import/text.h"
#include "reports/xlsx/text.h"

namespace browse::import {

namespace {

// Checked in order: a longer name before one it contains ("angularity"
// before "angular", "circular runout" before "runout").
constexpr std::pair<const char*, Kind> kNames[] = {
    {"技术要求", Kind::Note},
    {"粗糙度", Kind::Roughness},
    {"直线度", Kind::Straightness},
    {"平面度", Kind::Flatness},
    {"圆柱度", Kind::Cylindricity},
    {"圆跳动", Kind::CircularRunout},
    {"全跳动", Kind::TotalRunout},
    {"圆度", Kind::Circularity},
    {"线轮廓度", Kind::LineProfile},
    {"面轮廓度", Kind::SurfaceProfile},
    {"平行度", Kind::Parallelism},
    {"垂直度", Kind::Perpendicularity},
    {"倾斜度", Kind::Angularity},
    {"位置度", Kind::Position},
    {"同轴度", Kind::Concentricity},
    {"同心度", Kind::Concentricity},
    {"对称度", Kind::Symmetry},
    {"形位公差", Kind::OtherGeometric},
    {"直径", Kind::Diameter},
    {"半径", Kind::Radius},
    {"角度", Kind::Angle},
    {"正交尺寸", Kind::Length},
    {"平行尺寸", Kind::Length},
    {"坐标", Kind::Length},
    {"弧长", Kind::Length},
    {"距离", Kind::Length},
    {"长度", Kind::Length},
    {"宽度", Kind::Length},
    {"高度", Kind::Length},
    {"深度", Kind::Length},
    {"厚度", Kind::Length},
    // The English words, compared without blanks, "_" and "-".
    {"totalrunout", Kind::TotalRunout},
    {"runout", Kind::CircularRunout},
    {"angularity", Kind::Angularity},
    {"perpendicular", Kind::Perpendicularity},
    {"squareness", Kind::Perpendicularity},
    {"parallel", Kind::Parallelism},
    {"flatness", Kind::Flatness},
    {"straightness", Kind::Straightness},
    {"cylindricity", Kind::Cylindricity},
    {"roundness", Kind::Circularity},
    {"circularity", Kind::Circularity},
    {"lineprofile", Kind::LineProfile},
    {"profileofaline", Kind::LineProfile},
    {"profileofline", Kind::LineProfile},
    {"profile", Kind::SurfaceProfile},
    {"position", Kind::Position},
    {"concentric", Kind::Concentricity},
    {"coaxial", Kind::Concentricity},
    {"symmetry", Kind::Symmetry},
    {"sphericity", Kind::OtherGeometric},
    {"conicity", Kind::OtherGeometric},
    {"ellipticity", Kind::OtherGeometric},
    {"toroidicity", Kind::OtherGeometric},
    {"otherform", Kind::OtherGeometric},
    {"surfacetexture", Kind::Roughness},
    {"roughness", Kind::Roughness},
    {"diameter", Kind::Diameter},
    {"radius", Kind::Radius},
    {"angle", Kind::Angle},
    {"angular", Kind::Angle},
    {"distance", Kind::Length},
    {"length", Kind::Length},
    {"width", Kind::Length},
    {"height", Kind::Length},
    {"depth", Kind::Length},
    {"thickness", Kind::Length},
    {"coordinate", Kind::Length},
    {"chord", Kind::Length},
    {"square", Kind::Length},
    {"userdefinedlinear", Kind::Length},
    {"xvalue", Kind::Length},
    {"yvalue", Kind::Length},
    {"zvalue", Kind::Length},
    // German, as a table file of a German installation names its types.
    {"gesamtrundlauf", Kind::TotalRunout},
    {"rundlauf", Kind::CircularRunout},
    {"planlauf", Kind::CircularRunout},
    {"rechtwinklig", Kind::Perpendicularity},
    {"neigung", Kind::Angularity},
    {"ebenheit", Kind::Flatness},
    {"geradheit", Kind::Straightness},
    {"rundheit", Kind::Circularity},
    {"zylinderform", Kind::Cylindricity},
    {"koaxialit", Kind::Concentricity},
    {"symmetrie", Kind::Symmetry},
    {"rauheit", Kind::Roughness},
    {"durchmesser", Kind::Diameter},
    {"winkel", Kind::Angle},
    {"abstand", Kind::Length},
};

}  // namespace

Kind kindFromName(std::string_view name) {
  std::string key;
  for (char c : text::lower(name))
    if (c != ' ' && c != '_' && c != '-' && c != '\t') key += c;
  for (const auto& [word, kind] : kNames)
    if (key.find(word) != std::string::npos) return kind;
  return Kind::Unknown;
}

const char* kindTitle(Kind kind) {
  switch (kind) {
    case Kind::Unknown:
      return "未知";
    case Kind::Length:
      return "线性尺寸";
    case Kind::Diameter:
      return "直径";
    case Kind::Radius:
      return "半径";
    case Kind::Angle:
      return "角度";
    case Kind::Straightness:
      return "直线度";
    case Kind::Flatness:
      return "平面度";
    case Kind::Circularity:
      return "圆度";
    case Kind::Cylindricity:
      return "圆柱度";
    case Kind::LineProfile:
      return "线轮廓度";
    case Kind::SurfaceProfile:
      return "面轮廓度";
    case Kind::Parallelism:
      return "平行度";
    case Kind::Perpendicularity:
      return "垂直度";
    case Kind::Angularity:
      return "倾斜度";
    case Kind::Position:
      return "位置度";
    case Kind::Concentricity:
      return "同轴度";
    case Kind::Symmetry:
      return "对称度";
    case Kind::CircularRunout:
      return "圆跳动";
    case Kind::TotalRunout:
      return "全跳动";
    case Kind::OtherGeometric:
      return "形位公差";
    case Kind::Roughness:
      return "粗糙度";
    case Kind::Note:
      return "技术要求";
  }
  return "未知";
}

std::optional<Format> formatNamed(std::string_view name) {
  for (Format f : {Format::Auto, Format::Qif, Format::PcDmis, Format::Calypso,
                   Format::Csv})
    if (name == formatName(f)) return f;
  return std::nullopt;
}

const char* formatName(Format format) {
  switch (format) {
    case Format::Auto:
      return "auto";
    case Format::Qif:
      return "qif";
    case Format::PcDmis:
      return "pcdmis";
    case Format::Calypso:
      return "calypso";
    case Format::Csv:
      return "csv";
  }
  return "auto";
}

Format detectFormat(std::string_view bytes) {
  const std::vector<std::string_view> lines = text::lines(bytes);
  std::string_view first;
  for (std::string_view line : lines) {
    if (!text::trim(line).empty()) {
      first = text::trim(line);
      break;
    }
  }
  if (first.starts_with('<')) return Format::Qif;
  for (std::string_view line : lines) {
    const std::string_view t = text::trim(line);
    if (text::startsWithNoCase(t, "DIM ") && t.find('=') != t.npos)
      return Format::PcDmis;
  }
  if (first.find('\t') != first.npos) return Format::Calypso;
  return Format::Csv;
}

ParsedFile parse(std::string_view bytes, Format format) {
  if (format == Format::Auto) format = detectFormat(bytes);
  // The XML declares its own encoding; the text formats must be UTF-8 so
  // that labels and instruments read as written.
  if (format != Format::Qif && !xlsx::isValidUtf8(bytes)) {
    ParsedFile out;
    out.format = format;
    out.error = "文件不是UTF-8编码：请另存为UTF-8后再导入";
    return out;
  }
  switch (format) {
    case Format::Qif:
      return parseQif(bytes);
    case Format::PcDmis:
      return parsePcDmis(bytes);
    case Format::Calypso:
      return parseCalypso(bytes);
    case Format::Auto:
    case Format::Csv:
      break;
  }
  return parseCsv(bytes);
}

ParsedFile parseFile(const std::string& path, Format format) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();
  if (!in || in.bad()) {
    ParsedFile out;
    out.format = format;
    out.error = "无法读取文件“" + path + "”";
    return out;
  }
  return parse(bytes.str(), format);
}

}  // namespace browse::import
