// PC-DMIS report exports, as text or with comma-separated fields: blocks
// that begin "DIM name= TYPE OF FEATURE ... UNITS=MM", a heading line that
// begins "AX" and names the columns (NOMINAL, +TOL, -TOL, MEAS, DEV,
// OUTTOL …), then one line per axis. "-TOL" is a magnitude below the
// nominal, as the drawing keeps it. A "SER NUMBER : …" line in the page
// header naming another serial number begins the next part, when reports
// of several parts follow each other.
#include <algorithm>
#include <cstdlib>

#include "browse/import/formats.h"
#include "browse/import/text.h"
#include "browse/reading.h"

namespace browse::import {

namespace {

enum class Role { Axis, Nominal, Plus, Minus, Meas, Other };

Role roleOf(std::string_view heading) {
  const std::string h = text::lower(text::trim(heading));
  if (h == "ax" || h == "axis") return Role::Axis;
  if (h == "nominal" || h == "nom") return Role::Nominal;
  if (h == "+tol" || h == "tol+" || h == "plus") return Role::Plus;
  if (h == "-tol" || h == "tol-" || h == "minus") return Role::Minus;
  if (h == "meas" || h == "measured" || h == "actual") return Role::Meas;
  return Role::Other;
}

struct Column {
  Role role = Role::Other;
  std::size_t end = 0;  // where the heading ends: values are right-aligned
};

struct Block {
  bool open = false;
  std::string name;
  std::string type;  // "LOCATION", "2D DISTANCE", "TRUE POSITION" …
  Kind kind = Kind::Unknown;
  std::string unitRefusal;  // set when the block is not in millimetres
  std::vector<Column> columns;
  char separator = 0;  // ',' for the CSV form, else blanks
};

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

// "LOCATION OF CIRCLE CIR1 UNITS=MM" gives "LOCATION": the words before
// the feature, which may have names of any kind.
std::string typeOf(std::string_view description) {
  const std::string d = upper(description);
  std::size_t end = d.size();
  for (const char* word : {" OF ", " FROM ", " BETWEEN ", "UNITS="}) {
    const std::size_t at = d.find(word);
    if (at != std::string::npos) end = std::min(end, at);
  }
  return std::string(text::trim(std::string_view(d).substr(0, end)));
}

std::string unitsOf(std::string_view description) {
  const std::string d = upper(description);
  const std::size_t at = d.find("UNITS=");
  if (at == std::string::npos) return {};
  std::size_t end = at + 6;
  while (end < d.size() && d[end] != ' ' && d[end] != ',' && d[end] != '\t')
    ++end;
  return d.substr(at + 6, end - at - 6);
}

Kind kindOfAxis(std::string_view axis) {
  for (const char* a : {"D", "PD", "DF"})
    if (axis == a) return Kind::Diameter;
  if (axis == "R") return Kind::Radius;
  if (axis == "A" || axis == "PA") return Kind::Angle;
  for (const char* a : {"X", "Y", "Z", "L", "H", "T", "RT", "S", "RS", "PR"})
    if (axis == a) return Kind::Length;
  if (axis == "TP") return Kind::Position;
  return Kind::Unknown;
}

bool isAxis(std::string_view s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s)
    if (!(c >= 'A' && c <= 'Z')) return false;
  return true;
}

// "SER NUMBER : 0002" and the like, anywhere in a header line.
std::optional<std::string> serialIn(std::string_view line) {
  const std::string l = text::lower(line);
  for (const char* key :
       {"serial number", "ser number", "serial no", "ser no"}) {
    std::size_t at = l.find(key);
    if (at == std::string::npos) continue;
    at += std::string_view(key).size();
    while (at < l.size() && (l[at] == ' ' || l[at] == '.')) ++at;
    if (at >= l.size() || (l[at] != ':' && l[at] != '=')) continue;
    ++at;
    while (at < l.size() && l[at] == ' ') ++at;
    std::size_t end = at;
    while (end < l.size() && l[end] != ' ' && l[end] != '\t' && l[end] != ',')
      ++end;
    if (end > at) return std::string(line.substr(at, end - at));
  }
  return std::nullopt;
}

// Whether a field after the line's first reads as a number.
bool holdsNumber(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  if (separator == ',') {
    fields = text::split(line, ',');
  } else {
    for (const text::Word& w : text::words(line)) fields.push_back(w.text);
  }
  for (std::size_t i = 1; i < fields.size(); ++i)
    if (readReading(text::trim(fields[i]), {Comma::IfUnambiguous, false}).value)
      return true;
  return false;
}

}  // namespace

ParsedFile parsePcDmis(std::string_view bytes) {
  ParsedFile out;
  out.format = Format::PcDmis;
  Part part;
  Block block;
  bool unitsUnstated = false;
  auto finishPart = [&] {
    if (!part.entries.empty()) out.parts.push_back(std::move(part));
    part = {};
  };

  const std::vector<std::string_view> lines = text::lines(bytes);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    const int lineNo = static_cast<int>(n) + 1;
    const std::string_view raw = lines[n];
    const std::string_view t = text::trim(raw);
    if (t.empty()) continue;

    if (text::startsWithNoCase(t, "DIM ") && t.find('=') != t.npos) {
      const std::size_t eq = t.find('=');
      block = {};
      block.open = true;
      block.name = std::string(text::trim(t.substr(4, eq - 4)));
      std::string description(t.substr(eq + 1));
      for (char& c : description)
        if (c == ',') c = ' ';
      block.type = typeOf(description);
      block.kind = kindFromName(block.type);
      const std::string units = unitsOf(description);
      if (units.empty()) {
        unitsUnstated = true;
      } else if (units == "IN" || units == "INCH") {
        block.unitRefusal = "是英寸（UNITS=IN），不是毫米";
      } else if (units != "MM") {
        block.unitRefusal = "单位是“" + units + "”，不是毫米";
      }
      continue;
    }
    if (text::startsWithNoCase(t, "END OF DIMENSION")) {
      block = {};
      continue;
    }
    // The page header names the part; it comes again on every page, and
    // a page may break inside a dimension.
    if (const auto serial = serialIn(t)) {
      block = {};
      if (*serial != part.name) {
        finishPart();
        part.name = *serial;
        part.line = lineNo;
      }
      continue;
    }
    if (!block.open) continue;

    // The heading: the columns of the lines that follow.
    const bool commas = t.find(',') != t.npos;
    if (text::startsWithNoCase(t, "AX") &&
        (t.size() == 2 || t[2] == ' ' || t[2] == ',' || t[2] == '\t')) {
      block.columns.clear();
      block.separator = commas ? ',' : 0;
      if (commas) {
        for (std::string_view h : text::split(t, ','))
          block.columns.push_back({roleOf(h), 0});
      } else {
        for (const text::Word& w : text::words(raw))
          block.columns.push_back({roleOf(w.text), w.at + w.text.size()});
      }
      continue;
    }
    if (block.columns.empty()) continue;

    // Other text inside a block ("PART NAME : …" after a page break).
    if (!holdsNumber(t, block.separator)) continue;

    // A line of one axis: its fields under the columns.
    std::vector<std::string_view> fields(block.columns.size());
    bool misaligned = false;
    if (block.separator == ',') {
      const auto parts = text::split(t, ',');
      for (std::size_t i = 0; i < parts.size() && i < fields.size(); ++i)
        fields[i] = text::trim(parts[i]);
    } else {
      // The text form is a fixed-width table: each value stands right-
      // aligned under its heading, and a field may be left blank (a
      // position's -TOL). The tolerance bar after the values is no field.
      std::vector<text::Word> ws;
      for (const text::Word& w : text::words(raw))
        if (w.text.find_first_not_of("-+#<>=*|") != std::string_view::npos)
          ws.push_back(w);
      std::vector<std::string_view> aligned(fields.size());
      bool alignedOk = !ws.empty();
      if (alignedOk) aligned[0] = ws[0].text;
      for (std::size_t i = 1; alignedOk && i < ws.size(); ++i) {
        const long end = static_cast<long>(ws[i].at + ws[i].text.size());
        std::size_t best = 1;
        long bestDistance = -1;
        for (std::size_t c = 1; c < block.columns.size(); ++c) {
          const long d =
              std::labs(static_cast<long>(block.columns[c].end) - end);
          if (bestDistance < 0 || d < bestDistance) {
            best = c;
            bestDistance = d;
          }
        }
        if (bestDistance < 0 || bestDistance > 6 || !aligned[best].empty())
          alignedOk = false;
        else
          aligned[best] = ws[i].text;
      }
      if (alignedOk) {
        fields = aligned;
      } else if (ws.size() == fields.size()) {
        // Not aligned, but one value for each column.
        for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = ws[i].text;
      } else {
        misaligned = true;
        if (!ws.empty()) fields[0] = ws[0].text;
      }
    }
    std::string_view axisText, nominal, plus, minus, meas;
    bool hasMeas = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      switch (block.columns[i].role) {
        case Role::Axis:
          axisText = fields[i];
          break;
        case Role::Nominal:
          nominal = fields[i];
          break;
        case Role::Plus:
          plus = fields[i];
          break;
        case Role::Minus:
          minus = fields[i];
          break;
        case Role::Meas:
          meas = fields[i];
          hasMeas = true;
          break;
        case Role::Other:
          break;
      }
    }
    const std::string axis = upper(axisText);
    if (!isAxis(axis) || axis == "V") continue;  // a vector is no result
    // A position's X, Y and size lines are where the feature lies; its
    // result is the TP line.
    if (block.kind == Kind::Position && axis != "TP") continue;

    Entry e;
    e.label = block.name;
    e.axis = axis;
    e.kindName = block.type;
    e.kind = block.kind != Kind::Unknown ? block.kind : kindOfAxis(axis);
    e.line = lineNo;
    const ReadOptions numbers{
        block.separator == ',' ? Comma::Refuse : Comma::IfUnambiguous, false};
    e.nominal = readReading(nominal, numbers).value;
    e.up = readReading(plus, numbers).value;
    e.low = readReading(minus, numbers).value;
    if (e.kind >= Kind::Straightness && e.kind <= Kind::OtherGeometric) {
      // A zone from 0: "MMC" or "RFS" stand where a nominal would.
      e.nominal = 0.0;
      if (e.up && !e.low) e.low = 0.0;
    }
    const Reading value = readReading(meas, numbers);
    if (!hasMeas) {
      e.refusal = "报告没有MEAS列";
    } else if (misaligned) {
      e.refusal = "这一行的数值对不上列";
    } else if (!block.unitRefusal.empty()) {
      e.refusal = block.unitRefusal;
    } else if (!value.value) {
      e.refusal = value.error.empty()
                      ? std::string("没有测量值")
                      : "“" + std::string(meas) + "”" + value.error;
    } else {
      e.value = value.value;
    }
    if (part.entries.empty() && part.line == 0) part.line = lineNo;
    part.entries.push_back(std::move(e));
  }
  finishPart();
  if (out.parts.empty()) out.error = "文件里没有尺寸块（DIM 名称= …，AX …）";
  if (unitsUnstated) out.notes.push_back("有尺寸块没有写明单位，按毫米读取");
  return out;
}

}  // namespace browse::import
