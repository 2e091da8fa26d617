// The plain CSV: mark, value[, sample][, instrument], one value per line.
// Separated by commas, or by semicolons as spreadsheets write it where the
// comma is the decimal sign. A first line whose value is no number is a
// heading; "#" begins a comment line, unless a digit follows it ("#12"). A
// third field that is a whole number is the sample, any other text the
// instrument.
#include <cmath>
#include <map>

#include "browse/import/formats.h"
#include "browse/import/text.h"
#include "browse/reading.h"

namespace browse::import {

ParsedFile parseCsv(std::string_view bytes) {
  ParsedFile out;
  out.format = Format::Csv;
  const std::vector<std::string_view> lines = text::lines(bytes);
  char separator = 0;
  bool first = true;
  std::map<std::optional<int>, std::size_t> partOf;

  for (std::size_t n = 0; n < lines.size(); ++n) {
    const std::string_view t = text::trim(lines[n]);
    // "#" begins a comment, but "#12" is a mark.
    if (t.empty() ||
        (t.starts_with('#') && !(t.size() > 1 && t[1] >= '0' && t[1] <= '9')))
      continue;
    if (!separator) separator = t.find(';') != t.npos ? ';' : ',';
    // Quoted fields keep a comma; in a semicolon file it is the decimal
    // sign, in a comma file only where it cannot be a thousands grouping.
    const ReadOptions numbers{
        separator == ';' ? Comma::Decimal : Comma::IfUnambiguous, false};
    std::vector<std::string> fields = text::csvFields(t, separator);
    while (fields.size() > 1 && fields.back().empty()) fields.pop_back();
    const Reading value =
        readReading(fields.size() > 1 ? fields[1] : "", numbers);
    if (first) {
      first = false;
      if (!value.value && value.error != kOutOfRange) continue;  // a heading
    }

    Entry e;
    e.line = static_cast<int>(n) + 1;
    e.label = fields[0];
    std::optional<int> sample;
    std::string sampleRefusal;
    const auto sampleFrom = [&](const std::string& field) {
      if (field.empty()) return;
      const auto k = readReading(field, {Comma::Refuse, false}).value;
      if (k && *k >= 1 && *k <= 1000 && *k == std::floor(*k))
        sample = static_cast<int>(*k);
      else
        sampleRefusal = "样品号“" + field + "”不是正整数";
    };
    if (fields.size() > 4) {
      sampleRefusal = "多于4列（标号、数值、样品、量具）";
    } else if (fields.size() == 4) {
      sampleFrom(fields[2]);
      e.instrument = fields[3];
    } else if (fields.size() == 3) {
      const Reading third = readReading(fields[2], {Comma::Refuse, false});
      if (third.value || third.error == kOutOfRange)
        sampleFrom(fields[2]);
      else
        e.instrument = fields[2];
    }
    if (fields.size() < 2 || fields[1].empty()) {
      e.refusal = "没有数值";
    } else if (!sampleRefusal.empty()) {
      e.refusal = sampleRefusal;
    } else if (!value.value) {
      e.refusal = "“" + fields[1] + "”" + value.error;
    } else {
      e.value = value.value;
    }

    auto [it, fresh] = partOf.emplace(sample, out.parts.size());
    if (fresh) {
      Part p;
      p.sample = sample;
      p.line = e.line;
      out.parts.push_back(std::move(p));
    }
    out.parts[it->second].entries.push_back(std::move(e));
  }
  if (out.parts.empty()) out.error = "文件里没有测量值";
  return out;
}

}  // namespace browse::import
