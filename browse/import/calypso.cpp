// Table files as ZEISS CALYPSO writes them: tab-separated, one
// characteristic per line, a first line naming the columns (id, actual,
// nominal, uppertol, lowertol, type, partnb …). Without such a line the
// columns are id, actual, nominal, upper and lower tolerance. Tolerances
// are signed ("lowertol" -0.1 is 0.1 below the nominal); "partnb" tells
// the parts apart.
#include <map>

#include "browse/import/formats.h"
#include "browse/import/text.h"
#include "browse/reading.h"

namespace browse::import {

namespace {

enum Col { kId, kActual, kNominal, kUpper, kLower, kType, kPart, kUnit, kCols };

int columnOf(std::string_view heading) {
  const std::string h = text::lower(text::trim(heading));
  static const std::map<std::string, int> names = {{"id", kId},
                                                   {"name", kId},
                                                   {"characteristic", kId},
                                                   {"merkmal", kId},
                                                   {"actual", kActual},
                                                   {"measured", kActual},
                                                   {"istwert", kActual},
                                                   {"nominal", kNominal},
                                                   {"sollwert", kNominal},
                                                   {"uppertol", kUpper},
                                                   {"upper tol", kUpper},
                                                   {"uppertolerance", kUpper},
                                                   {"lowertol", kLower},
                                                   {"lower tol", kLower},
                                                   {"lowertolerance", kLower},
                                                   {"type", kType},
                                                   {"partnb", kPart},
                                                   {"part", kPart},
                                                   {"serialnumber", kPart},
                                                   {"unit", kUnit},
                                                   {"units", kUnit}};
  const auto it = names.find(h);
  return it == names.end() ? -1 : it->second;
}

}  // namespace

ParsedFile parseCalypso(std::string_view bytes) {
  ParsedFile out;
  out.format = Format::Calypso;
  const std::vector<std::string_view> lines = text::lines(bytes);
  std::size_t first = 0;
  while (first < lines.size() && text::trim(lines[first]).empty()) ++first;
  if (first == lines.size()) {
    out.error = "文件是空的";
    return out;
  }

  int col[kCols];
  for (int& c : col) c = -1;
  std::size_t dataFrom = first;
  const auto headings = text::split(lines[first], '\t');
  for (std::size_t i = 0; i < headings.size(); ++i) {
    const int c = columnOf(headings[i]);
    if (c >= 0 && col[c] < 0) col[c] = static_cast<int>(i);
  }
  if (col[kId] >= 0 || col[kActual] >= 0) {
    if (col[kId] < 0 || col[kActual] < 0) {
      out.error =
          std::string("表格缺少“") + (col[kId] < 0 ? "id" : "actual") + "”列";
      return out;
    }
    dataFrom = first + 1;
  } else {
    for (int c = kId; c <= kLower; ++c) col[c] = c;
  }

  // One decimal sign for the whole file: a table written with decimal
  // commas has no points in its numbers, and "10,250" is then 10.25.
  bool points = false, commas = false;
  for (std::size_t n = dataFrom; n < lines.size(); ++n) {
    const auto fields = text::split(lines[n], '\t');
    for (int c : {kActual, kNominal, kUpper, kLower}) {
      if (col[c] < 0 || static_cast<std::size_t>(col[c]) >= fields.size())
        continue;
      const std::string_view f = fields[static_cast<std::size_t>(col[c])];
      points = points || f.find('.') != f.npos;
      commas = commas || f.find(',') != f.npos;
    }
  }
  const ReadOptions numbers{commas && !points ? Comma::Decimal : Comma::Refuse,
                            false};
  if (commas && !points) out.notes.push_back("文件用逗号作小数点");

  std::map<std::string, std::size_t> partOf;
  for (std::size_t n = dataFrom; n < lines.size(); ++n) {
    if (text::trim(lines[n]).empty()) continue;
    const auto fields = text::split(lines[n], '\t');
    const auto get = [&](int c) -> std::string_view {
      if (col[c] < 0 || static_cast<std::size_t>(col[c]) >= fields.size())
        return {};
      return text::trim(fields[static_cast<std::size_t>(col[c])]);
    };
    Entry e;
    e.line = static_cast<int>(n) + 1;
    e.label = std::string(get(kId));
    e.kindName = std::string(get(kType));
    e.kind = kindFromName(e.kindName);
    e.nominal = readReading(get(kNominal), numbers).value;
    e.up = readReading(get(kUpper), numbers).value;
    if (const auto lower = readReading(get(kLower), numbers).value)
      e.low = 0.0 - *lower;  // not -0 for a lower tolerance of 0
    const std::string unit = text::lower(get(kUnit));
    const Reading value = readReading(get(kActual), numbers);
    if (unit == "in" || unit == "inch") {
      e.refusal = "是英寸，不是毫米";
    } else if (!unit.empty() && unit != "mm" && unit != "deg" &&
               unit != "\xC2\xB0") {
      e.refusal = "单位是“" + std::string(get(kUnit)) + "”，不是毫米";
    } else if (!value.value) {
      e.refusal = value.error.empty()
                      ? std::string("没有测量值")
                      : "“" + std::string(get(kActual)) + "”" + value.error;
    } else {
      e.value = value.value;
    }

    const std::string key(get(kPart));
    auto [it, fresh] = partOf.emplace(key, out.parts.size());
    if (fresh) {
      Part p;
      p.name = key;
      p.line = e.line;
      out.parts.push_back(std::move(p));
    }
    out.parts[it->second].entries.push_back(std::move(e));
  }
  if (out.parts.empty()) out.error = "表格里没有测量值";
  return out;
}

}  // namespace browse::import
