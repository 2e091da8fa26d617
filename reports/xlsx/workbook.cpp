#include "reports/xlsx/workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <unordered_map>

#include "reports/xlsx/calc.h"
#include "reports/xlsx/numfmt.h"
#include "reports/xlsx/styles.h"
#include "reports/xlsx/text.h"
#include "reports/xlsx/xml.h"

namespace xlsx {

namespace {

constexpr std::size_t kMaxCellText = 32767;  // the spreadsheet's own limit

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() &&
         text.substr(text.size() - tail.size()) == tail;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto low = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (low(a[i]) != low(b[i])) return false;
  }
  return true;
}

bool isTrue(const pugi::xml_attribute& attribute) {
  const std::string_view v = attribute.value();
  return v == "1" || v == "true";
}

// The cells a worksheet's XML holds, counted from its text without parsing
// it: every element named "c", whatever its prefix.
std::uint64_t countCells(std::string_view xml) {
  std::uint64_t count = 0;
  for (std::size_t at = xml.find('<'); at != std::string_view::npos;
       at = xml.find('<', at + 1)) {
    std::size_t name = at + 1;
    std::size_t end = name;
    while (end < xml.size() && xml[end] != '>' && xml[end] != '/' &&
           xml[end] != ' ' && xml[end] != '\t' && xml[end] != '\r' &&
           xml[end] != '\n')
      ++end;
    if (end >= xml.size() || end == name) continue;
    std::string_view tag = xml.substr(name, end - name);
    if (const auto colon = tag.rfind(':'); colon != std::string_view::npos)
      tag.remove_prefix(colon + 1);
    if (tag == "c") ++count;
  }
  return count;
}

long toLong(std::string_view text, long fallback) {
  long value = fallback;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size())
    return fallback;
  return value;
}

// Column of a normalised cell reference ("AB12" -> 28).
int columnOf(const char* ref) {
  int column = 0;
  for (; *ref >= 'A' && *ref <= 'Z'; ++ref)
    column = column * 26 + (*ref - 'A' + 1);
  return column;
}

// The attribute in the relationships namespace that names a related part
// ("r:id" under whichever prefix the file uses).
const char* relationshipId(const pugi::xml_node& node) {
  for (pugi::xml_attribute a = node.first_attribute(); a;
       a = a.next_attribute())
    if (endsWith(a.name(), ":id")) return a.value();
  return "";
}

// The default or prefixed namespace declared for the node's own name.
std::string namespaceOf(const pugi::xml_node& node) {
  const std::string prefix = prefixOf(node);
  const std::string attribute =
      prefix.empty() ? "xmlns" : "xmlns:" + prefix.substr(0, prefix.size() - 1);
  return node.attribute(attribute.c_str()).value();
}

void setAttribute(pugi::xml_node node, const char* name, const char* value) {
  pugi::xml_attribute a = node.attribute(name);
  if (!a) a = node.append_attribute(name);
  a.set_value(value);
}

// Text of a shared-string item or an inline string: plain or rich runs,
// phonetic hints left out.
std::string stringItemText(const pugi::xml_node& item) {
  std::string text;
  for (pugi::xml_node child = item.first_child(); child;
       child = child.next_sibling()) {
    const std::string_view name = localName(child);
    if (name == "t") {
      text += child.child_value();
    } else if (name == "r") {
      pugi::xml_node t = childByLocalName(child, "t");
      if (t) text += t.child_value();
    }
  }
  return unescapeCellText(text);
}

void setTextElement(pugi::xml_node t, std::string_view text) {
  const std::string escaped = escapeCellText(text);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
  if (!escaped.empty() && (blank(escaped.front()) || blank(escaped.back())))
    setAttribute(t, "xml:space", "preserve");
  t.text().set(escaped.c_str());
}

struct Part {
  std::string name;
  pugi::xml_document doc;
};

void loadPart(Part& part, const Package& package, const std::string& name) {
  part.name = package.actualName(name);
  parseXml(part.doc, package.get(part.name), part.name);
}

struct SharedStrings {
  std::string part;  // empty while the workbook has none
  pugi::xml_document doc;
  pugi::xml_node root;
  std::string itemName, textName;
  std::vector<std::string> texts;
  std::unordered_map<std::string, int> plainIndex;
  bool indexed = false;
  bool dirty = false;

  void load(const Package& package, const std::string& name) {
    part = package.actualName(name);
    parseXml(doc, package.get(part), part);
    root = doc.document_element();
    if (localName(root) != "sst")
      throw Error("'" + part + "' is not a shared string table");
    const std::string prefix = prefixOf(root);
    itemName = prefix + "si";
    textName = prefix + "t";
    for (pugi::xml_node si : root.children(itemName.c_str()))
      texts.push_back(stringItemText(si));
  }

  const std::string* at(long index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= texts.size())
      return nullptr;
    return &texts[static_cast<std::size_t>(index)];
  }

  // Index of an item holding just this text; rich items are not reused, so
  // that a plain value never picks up another cell's formatting.
  int add(std::string_view text) {
    if (!indexed) {
      int i = 0;
      for (pugi::xml_node si : root.children(itemName.c_str())) {
        pugi::xml_node first = si.first_child();
        if (first && !first.next_sibling() && first.name() == textName)
          plainIndex.emplace(texts[static_cast<std::size_t>(i)], i);
        ++i;
      }
      indexed = true;
    }
    std::string key(text);
    auto found = plainIndex.find(key);
    if (found != plainIndex.end()) return found->second;
    pugi::xml_node si = root.append_child(itemName.c_str());
    setTextElement(si.append_child(textName.c_str()), text);
    const int index = static_cast<int>(texts.size());
    texts.push_back(key);
    plainIndex.emplace(std::move(key), index);
    dirty = true;
    return index;
  }

  void create(const std::string& name, const std::string& ns) {
    part = name;
    root = doc.append_child("sst");
    root.append_attribute("xmlns").set_value(ns.c_str());
    itemName = "si";
    textName = "t";
    indexed = true;
    dirty = true;
  }

  std::string write() {
    // The reference count is optional and would be costly to keep exact.
    root.remove_attribute("count");
    setAttribute(root, "uniqueCount", std::to_string(texts.size()).c_str());
    return writeXml(doc);
  }
};

struct SharedFormula {
  int row = 0;
  int column = 0;
  std::string text;
};

struct ColumnStyle {
  int first = 0;
  int last = 0;
  std::string style;
};

// A conditional format of the cellIs or expression kind. Its formulas are
// written for the top left cell of its first range and move with the cell.
struct FormatRule {
  std::vector<CellRange> ranges;
  int anchorRow = 1, anchorColumn = 1;
  bool expression = false;
  std::string op;
  std::vector<std::shared_ptr<const formula::Program>> formulas;
  int dxf = -1;
  int priority = 0;
  bool stop = false;
};

}  // namespace

// ---------------------------------------------------------------------------

struct Workbook::Impl {
  std::filesystem::path path;
  Package package;
  std::string workbookPart;
  Part contentTypes, workbook, workbookRels;
  bool hasWorkbookRels = false;
  SharedStrings strings;
  std::vector<std::unique_ptr<Sheet>> sheets;
  std::vector<std::string> sheetParts;
  std::vector<int> sheetTabs;  // position of each worksheet among all tabs
  int active = 0;
  int activeAtOpen = 0;
  bool modified = false;
  std::string stylesPart, themePart;
  std::unique_ptr<Calculation> calculated;  // built when first asked
  std::unique_ptr<Styles> styles;
  Limits limits;

  void load();
  Calculation& calculation();
  const Styles& stylesheet();
  void beforeChange();
  int addSharedString(std::string_view text);
  void write(const std::filesystem::path& target);
  std::string relationshipTypeLike(std::string_view suffix) const;
};

struct Sheet::Impl {
  Workbook::Impl* book = nullptr;
  int index = 0;
  std::string name;
  Part part;
  std::string qRow, qC, qV, qF, qIs, qT, qExt;
  pugi::xml_node sheetData;
  std::map<int, pugi::xml_node> rows;
  std::map<long, SharedFormula> shared;  // by the si of its master
  std::vector<CellRange> arrays;
  std::vector<ColumnStyle> columnStyles;
  CellRange used;
  std::vector<FormatRule> rules;
  bool rulesRead = false;

  void load();
  Value valueOf(pugi::xml_node cell, int row, int column) const;
  Computed constantOf(pugi::xml_node cell, int row, int column) const;
  void feed(Calculation& calc);
  void refresh(int row, int column);
  void writeResults(Calculation& calc);
  int styleOf(int row, int column) const;
  const std::vector<FormatRule>& formatRules();
  bool holds(const FormatRule& rule, int row, int column);
  pugi::xml_node findCell(int row, int column) const;
  pugi::xml_node cellFor(int row, int column);
  void check(int row, int column) const;
  void expandShared(long si, pugi::xml_node master);
  void dropFormulaResults();
  void prepareSave();

  enum class Kind { text, number, formula, clear };
  void set(int row, int column, Kind kind, const std::string& payload);
};

// --- sheets ----------------------------------------------------------------

void Sheet::Impl::load() {
  pugi::xml_node root = part.doc.document_element();
  if (localName(root) != "worksheet")
    throw Error("'" + part.name + "' is not a worksheet");
  const std::string prefix = prefixOf(root);
  qRow = prefix + "row";
  qC = prefix + "c";
  qV = prefix + "v";
  qF = prefix + "f";
  qIs = prefix + "is";
  qT = prefix + "t";
  qExt = prefix + "extLst";
  sheetData = root.child((prefix + "sheetData").c_str());
  if (!sheetData) throw Error("'" + part.name + "' has no cell data");

  if (pugi::xml_node cols = root.child((prefix + "cols").c_str())) {
    const std::string colName = prefix + "col";
    for (pugi::xml_node col : cols.children(colName.c_str())) {
      const char* style = col.attribute("style").value();
      if (*style && std::strcmp(style, "0") != 0)
        columnStyles.push_back({col.attribute("min").as_int(),
                                col.attribute("max").as_int(), style});
    }
  }

  // Rows and cells may leave out their addresses; they are filled in so
  // that every later lookup can rely on them, and their order is checked.
  int previousRow = 0;
  for (pugi::xml_node row : sheetData.children(qRow.c_str())) {
    long number = previousRow + 1;
    if (pugi::xml_attribute attribute = row.attribute("r"))
      number = toLong(attribute.value(), 0);
    else
      row.append_attribute("r").set_value(number);
    // Checked before it is narrowed: 4294967307 is no row 11.
    if (number <= previousRow || number > kMaxRows)
      throw Error("'" + part.name + "': row " +
                      std::string(row.attribute("r").value()) +
                      " is out of order or off the sheet",
                  "工作表中有超出范围或顺序错乱的行号（" +
                      std::string(row.attribute("r").value()).substr(0, 20) +
                      "），文件已损坏");
    const int r = static_cast<int>(number);
    rows.emplace_hint(rows.end(), r, row);
    previousRow = r;

    int previousColumn = 0;
    for (pugi::xml_node cell : row.children(qC.c_str())) {
      int column = previousColumn + 1;
      pugi::xml_attribute ref = cell.attribute("r");
      if (ref) {
        const auto at = parseCellRef(ref.value());
        if (!at || at->row != r)
          throw Error("'" + part.name + "': cell '" + ref.value() +
                      "' does not belong to row " + std::to_string(r));
        column = at->column;
        // Lower-case letters would defeat the fast column lookup.
        ref.set_value(cellName(r, column).c_str());
      } else {
        if (column > kMaxColumns)
          throw Error("'" + part.name + "': row " + std::to_string(r) +
                      " runs off the sheet");
        cell.append_attribute("r").set_value(cellName(r, column).c_str());
      }
      if (column <= previousColumn)
        throw Error("'" + part.name + "': cells of row " + std::to_string(r) +
                    " are out of order");
      previousColumn = column;
      used.extend(r, column);

      pugi::xml_node f = cell.child(qF.c_str());
      if (!f) continue;
      const std::string_view type = f.attribute("t").value();
      if (type == "shared" && f.attribute("ref") && f.attribute("si"))
        shared[f.attribute("si").as_llong(-1)] = {r, column, f.child_value()};
      else if (type == "array")
        if (auto range = parseRange(f.attribute("ref").value()))
          arrays.push_back(*range);
    }
  }
}

pugi::xml_node Sheet::Impl::findCell(int row, int column) const {
  auto found = rows.find(row);
  if (found == rows.end()) return {};
  for (pugi::xml_node cell : found->second.children(qC.c_str())) {
    const int c = columnOf(cell.attribute("r").value());
    if (c == column) return cell;
    if (c > column) break;
  }
  return {};
}

pugi::xml_node Sheet::Impl::cellFor(int row, int column) {
  auto at = rows.lower_bound(row);
  pugi::xml_node rowNode;
  if (at != rows.end() && at->first == row) {
    rowNode = at->second;
  } else {
    rowNode = at == rows.end()
                  ? sheetData.append_child(qRow.c_str())
                  : sheetData.insert_child_before(qRow.c_str(), at->second);
    rowNode.append_attribute("r").set_value(row);
    rows.emplace_hint(at, row, rowNode);
  }

  pugi::xml_node before;
  for (pugi::xml_node cell : rowNode.children(qC.c_str())) {
    const int c = columnOf(cell.attribute("r").value());
    if (c == column) return cell;
    if (c > column) {
      before = cell;
      break;
    }
  }
  if (!before) before = rowNode.child(qExt.c_str());
  pugi::xml_node cell = before ? rowNode.insert_child_before(qC.c_str(), before)
                               : rowNode.append_child(qC.c_str());
  cell.append_attribute("r").set_value(cellName(row, column).c_str());

  // A new cell takes the style of its row or its column, as typing into an
  // empty cell would.
  std::string style;
  if (isTrue(rowNode.attribute("customFormat")))
    style = rowNode.attribute("s").value();
  if (style.empty())
    for (const auto& cs : columnStyles)
      if (column >= cs.first && column <= cs.last) style = cs.style;
  if (!style.empty() && style != "0")
    cell.append_attribute("s").set_value(style.c_str());

  // The row's span is only a hint; a wrong one is worse than none.
  if (pugi::xml_attribute spans = rowNode.attribute("spans")) {
    const std::string_view text = spans.value();
    const auto colon = text.find(':');
    const long first = toLong(text.substr(0, colon), 0);
    const long last =
        colon == std::string_view::npos ? 0 : toLong(text.substr(colon + 1), 0);
    if (column < first || column > last) rowNode.remove_attribute(spans);
  }
  used.extend(row, column);
  return cell;
}

void Sheet::Impl::check(int row, int column) const {
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
    throw Error("cell (" + std::to_string(row) + ", " + std::to_string(column) +
                ") lies outside the sheet");
}

void Sheet::Impl::expandShared(long si, pugi::xml_node master) {
  auto found = shared.find(si);
  if (found == shared.end()) return;
  const SharedFormula formula = found->second;
  shared.erase(found);
  // The other cells of the group keep their formula, each written out for
  // its own position, since the master that held the text goes away.
  for (auto& [r, rowNode] : rows) {
    for (pugi::xml_node cell : rowNode.children(qC.c_str())) {
      if (cell == master) continue;
      pugi::xml_node f = cell.child(qF.c_str());
      if (!f || std::strcmp(f.attribute("t").value(), "shared") != 0 ||
          f.attribute("si").as_llong(-1) != si)
        continue;
      const int column = columnOf(cell.attribute("r").value());
      const std::string text =
          shiftFormula(formula.text, r - formula.row, column - formula.column);
      f.remove_attribute("t");
      f.remove_attribute("si");
      f.remove_attribute("ref");
      f.text().set(text.c_str());
    }
  }
}

void Sheet::Impl::dropFormulaResults() {
  for (auto& entry : rows) {
    for (pugi::xml_node cell : entry.second.children(qC.c_str())) {
      if (!cell.child(qF.c_str())) continue;
      cell.remove_child(qV.c_str());
      cell.remove_attribute("t");
    }
  }
}

void Sheet::Impl::prepareSave() {
  dropFormulaResults();
  pugi::xml_node root = part.doc.document_element();
  if (pugi::xml_node dimension =
          root.child((prefixOf(root) + "dimension").c_str()))
    setAttribute(dimension, "ref", used.text().c_str());
}

void Sheet::Impl::set(int row, int column, Kind kind,
                      const std::string& payload) {
  check(row, column);
  for (const auto& range : arrays)
    if (range.contains(row, column))
      throw Error("cell " + cellName(row, column) +
                  " is part of an array formula and cannot be changed alone");
  // Clearing a cell the sheet does not hold changes nothing.
  if (kind == Kind::clear && !findCell(row, column)) return;
  book->beforeChange();
  int stringIndex = -1;
  if (kind == Kind::text) stringIndex = book->addSharedString(payload);

  pugi::xml_node cell = cellFor(row, column);
  if (pugi::xml_node f = cell.child(qF.c_str())) {
    if (std::strcmp(f.attribute("t").value(), "shared") == 0 &&
        f.attribute("ref"))
      expandShared(f.attribute("si").as_llong(-1), cell);
    cell.remove_child(f);
  }
  cell.remove_child(qV.c_str());
  cell.remove_child(qIs.c_str());
  cell.remove_attribute("t");
  cell.remove_attribute("cm");
  cell.remove_attribute("vm");
  if (kind == Kind::clear) return refresh(row, column);

  pugi::xml_node ext = cell.child(qExt.c_str());
  pugi::xml_node v =
      ext ? cell.insert_child_before(
                kind == Kind::formula ? qF.c_str() : qV.c_str(), ext)
          : cell.append_child(kind == Kind::formula ? qF.c_str() : qV.c_str());
  if (kind == Kind::formula) {
    v.text().set(payload.c_str());
  } else if (kind == Kind::text) {
    cell.append_attribute("t").set_value("s");
    v.text().set(std::to_string(stringIndex).c_str());
  } else {
    v.text().set(payload.c_str());
  }
  refresh(row, column);
}

// --- computed values ---------------------------------------------------------

Computed Sheet::Impl::constantOf(pugi::xml_node cell, int row,
                                 int column) const {
  if (std::strcmp(cell.attribute("t").value(), "e") == 0) {
    const std::string text = cell.child(qV.c_str()).child_value();
    if (auto e = parseError(text)) return *e;
    return text;
  }
  Value v;
  try {
    v = valueOf(cell, row, column);
  } catch (const Error&) {
    return ErrorValue::ref;  // a shared string the file does not have
  }
  switch (v.index()) {
    case 1:
      return std::get<std::string>(std::move(v));
    case 2:
      return std::get<double>(v);
    case 3:
      return std::get<bool>(v);
    default:
      return {};
  }
}

void Sheet::Impl::feed(Calculation& calc) {
  // A shared formula is compiled once, for the cell that carries its text.
  std::map<long, std::shared_ptr<const formula::Program>> programs;
  for (auto& [r, rowNode] : rows) {
    for (pugi::xml_node cell : rowNode.children(qC.c_str())) {
      const int c = columnOf(cell.attribute("r").value());
      pugi::xml_node f = cell.child(qF.c_str());
      const std::string_view type = f.attribute("t").value();
      if (!f || type == "dataTable") {
        Computed v = constantOf(cell, r, c);
        if (!std::holds_alternative<std::monostate>(v))
          calc.setConstant(index, r, c, std::move(v));
        continue;
      }
      if (type == "shared") {
        const long si = f.attribute("si").as_llong(-1);
        auto master = shared.find(si);
        if (master != shared.end()) {
          auto& program = programs[si];
          if (!program)
            program = calc.compile(master->second.text, index,
                                   master->second.row, master->second.column);
          calc.setFormula(index, r, c, program);
          continue;
        }
      }
      calc.setFormula(index, r, c, calc.compile(f.child_value(), index, r, c));
    }
  }
}

// After a change of one cell, the calculation learns what it holds now.
void Sheet::Impl::refresh(int row, int column) {
  Calculation* calc = book->calculated.get();
  if (!calc) return;
  pugi::xml_node cell = findCell(row, column);
  pugi::xml_node f = cell.child(qF.c_str());
  if (f)
    calc->setFormula(index, row, column,
                     calc->compile(f.child_value(), index, row, column));
  else
    calc->setConstant(index, row, column,
                      cell ? constantOf(cell, row, column) : Computed());
}

void Sheet::Impl::writeResults(Calculation& calc) {
  calc.forEachFormula(index, [&](int row, int column, const Computed& value) {
    pugi::xml_node cell = findCell(row, column);
    pugi::xml_node f = cell.child(qF.c_str());
    if (!f || std::holds_alternative<std::monostate>(value)) return;
    pugi::xml_node v = cell.insert_child_after(qV.c_str(), f);
    switch (value.index()) {
      case 1:
        cell.append_attribute("t").set_value("str");
        v.text().set(escapeCellText(std::get<std::string>(value)).c_str());
        break;
      case 2:
        v.text().set(formatNumber(std::get<double>(value)).c_str());
        break;
      case 3:
        cell.append_attribute("t").set_value("b");
        v.text().set(std::get<bool>(value) ? "1" : "0");
        break;
      default:
        cell.append_attribute("t").set_value("e");
        v.text().set(
            std::string(errorText(std::get<ErrorValue>(value))).c_str());
    }
  });
}

int Sheet::Impl::styleOf(int row, int column) const {
  if (pugi::xml_node cell = findCell(row, column))
    return cell.attribute("s").as_int(0);
  // An empty cell shows the style of its row or column.
  auto r = rows.find(row);
  if (r != rows.end() && isTrue(r->second.attribute("customFormat")))
    return r->second.attribute("s").as_int(0);
  for (const auto& cs : columnStyles)
    if (column >= cs.first && column <= cs.last)
      return static_cast<int>(toLong(cs.style, 0));
  return 0;
}

const std::vector<FormatRule>& Sheet::Impl::formatRules() {
  if (rulesRead) return rules;
  Calculation& calc = book->calculation();
  pugi::xml_node root = part.doc.document_element();
  for (pugi::xml_node cf : root.children()) {
    if (localName(cf) != "conditionalFormatting") continue;
    FormatRule base;
    std::string_view sqref = cf.attribute("sqref").value();
    while (!sqref.empty()) {
      const auto blank = sqref.find(' ');
      if (auto range = parseRange(sqref.substr(0, blank)))
        base.ranges.push_back(*range);
      sqref = blank == std::string_view::npos ? "" : sqref.substr(blank + 1);
    }
    if (base.ranges.empty()) continue;
    base.anchorRow = base.ranges[0].firstRow;
    base.anchorColumn = base.ranges[0].firstColumn;
    for (pugi::xml_node cfRule : cf.children()) {
      if (localName(cfRule) != "cfRule") continue;
      const std::string_view type = cfRule.attribute("type").value();
      if (type != "cellIs" && type != "expression") continue;
      FormatRule rule = base;
      rule.expression = type == "expression";
      rule.op = cfRule.attribute("operator").value();
      rule.dxf = cfRule.attribute("dxfId").as_int(-1);
      rule.priority = cfRule.attribute("priority").as_int(0);
      rule.stop = isTrue(cfRule.attribute("stopIfTrue"));
      for (pugi::xml_node f : cfRule.children())
        if (localName(f) == "formula")
          rule.formulas.push_back(calc.compile(
              f.child_value(), index, base.anchorRow, base.anchorColumn));
      if (rule.formulas.empty()) continue;
      rules.push_back(std::move(rule));
    }
  }
  std::stable_sort(rules.begin(), rules.end(),
                   [](const FormatRule& a, const FormatRule& b) {
                     return a.priority < b.priority;
                   });
  rulesRead = true;
  return rules;
}

bool Sheet::Impl::holds(const FormatRule& rule, int row, int column) {
  Calculation& calc = book->calculation();
  const Computed first = calc.evaluate(*rule.formulas[0], index, row, column);
  if (rule.expression) {
    if (const bool* b = std::get_if<bool>(&first)) return *b;
    if (const double* d = std::get_if<double>(&first)) return *d != 0;
    return false;
  }
  const Computed value = calc.value(index, row, column);
  const auto c = formula::compare(value, first);
  if (!c) return false;
  if (rule.op == "between" || rule.op == "notBetween") {
    if (rule.formulas.size() < 2) return false;
    const auto c2 = formula::compare(
        value, calc.evaluate(*rule.formulas[1], index, row, column));
    if (!c2) return false;
    const bool inside = (*c >= 0 && *c2 <= 0) || (*c <= 0 && *c2 >= 0);
    return rule.op == "between" ? inside : !inside;
  }
  if (rule.op == "equal") return *c == 0;
  if (rule.op == "notEqual") return *c != 0;
  if (rule.op == "greaterThan") return *c > 0;
  if (rule.op == "lessThan") return *c < 0;
  if (rule.op == "greaterThanOrEqual") return *c >= 0;
  if (rule.op == "lessThanOrEqual") return *c <= 0;
  return false;
}

Sheet::Sheet(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Sheet::~Sheet() = default;

const std::string& Sheet::name() const { return impl_->name; }

Value Sheet::value(int row, int column) const {
  pugi::xml_node cell = impl_->findCell(row, column);
  if (!cell) return {};
  return impl_->valueOf(cell, row, column);
}

Value Sheet::Impl::valueOf(pugi::xml_node cell, int row, int column) const {
  const std::string_view type = cell.attribute("t").value();
  if (type == "inlineStr") {
    pugi::xml_node is = cell.child(qIs.c_str());
    if (!is) return {};
    return stringItemText(is);
  }
  pugi::xml_node v = cell.child(qV.c_str());
  if (!v) return {};
  const std::string_view text = v.child_value();
  if (type == "s") {
    const long si = toLong(text, -1);
    const std::string* s = book->strings.at(si);
    if (!s)
      throw Error("'" + part.name + "': cell " + cellName(row, column) +
                  " refers to shared string " + std::string(text) +
                  ", which the workbook does not have");
    return *s;
  }
  if (type == "b") return text == "1" || text == "true";
  if (type == "str") return unescapeCellText(text);
  if (type == "e" || type == "d") return std::string(text);
  if (text.empty()) return {};
  if (auto number = parseNumber(text)) return *number;
  return std::string(text);
}

std::string Sheet::formula(int row, int column) const {
  pugi::xml_node cell = impl_->findCell(row, column);
  pugi::xml_node f = cell ? cell.child(impl_->qF.c_str()) : pugi::xml_node();
  if (!f) return {};
  if (std::strcmp(f.attribute("t").value(), "shared") == 0 &&
      !f.attribute("ref")) {
    auto found = impl_->shared.find(f.attribute("si").as_llong(-1));
    if (found == impl_->shared.end()) return {};
    return shiftFormula(found->second.text, row - found->second.row,
                        column - found->second.column);
  }
  return f.child_value();
}

void Sheet::setText(int row, int column, std::string_view text) {
  if (!isValidUtf8(text))
    throw Error("cell " + cellName(row, column) +
                ": the text is not valid UTF-8");
  if (utf16Length(text) > kMaxCellText)
    throw Error("cell " + cellName(row, column) + ": the text is longer than " +
                std::to_string(kMaxCellText) + " characters");
  // An empty text leaves an empty cell, as in the spreadsheet program.
  impl_->set(row, column, text.empty() ? Impl::Kind::clear : Impl::Kind::text,
             std::string(text));
}

void Sheet::setNumber(int row, int column, double value) {
  if (!std::isfinite(value))
    throw Error("cell " + cellName(row, column) + ": " + formatNumber(value) +
                " cannot be stored");
  impl_->set(row, column, Impl::Kind::number, formatNumber(value));
}

void Sheet::setNumber(int row, int column, float value) {
  if (!std::isfinite(value))
    throw Error("cell " + cellName(row, column) + ": " + formatNumber(value) +
                " cannot be stored");
  impl_->set(row, column, Impl::Kind::number, formatNumber(value));
}

void Sheet::clear(int row, int column) {
  impl_->set(row, column, Impl::Kind::clear, {});
}

void Sheet::setFormula(int row, int column, std::string_view text) {
  if (!text.empty() && text.front() == '=') text.remove_prefix(1);
  if (!isValidUtf8(text))
    throw Error("cell " + cellName(row, column) +
                ": the formula is not valid UTF-8");
  const auto program =
      impl_->book->calculation().compile(text, impl_->index, row, column);
  if (!program->problem.empty())
    throw Error("cell " + cellName(row, column) + ": the formula '=" +
                std::string(text) + "' does not parse: " + program->problem);
  impl_->set(row, column, Impl::Kind::formula, std::string(text));
}

Computed Sheet::computed(int row, int column) const {
  return impl_->book->calculation().value(impl_->index, row, column);
}

std::string Sheet::displayText(int row, int column) const {
  const Computed v = computed(row, column);
  switch (v.index()) {
    case 1:
      return std::get<std::string>(v);
    case 2:
      return formatValue(std::get<double>(v),
                         impl_->book->stylesheet()
                             .format(impl_->styleOf(row, column))
                             .numberFormat);
    case 3:
      return std::get<bool>(v) ? "TRUE" : "FALSE";
    case 4:
      return std::string(errorText(std::get<ErrorValue>(v)));
    default:
      return "";
  }
}

CellLook Sheet::look(int row, int column) const {
  const CellFormat format =
      impl_->book->stylesheet().format(impl_->styleOf(row, column));
  CellLook look;
  look.fontColor = format.fontColor;
  look.bold = format.bold;
  look.fillColor = format.fillColor;
  look.numberFormat = format.numberFormat;
  // The rule of the highest priority decides each property it sets.
  bool fontSet = false, boldSet = false, fillSet = false;
  for (const FormatRule& rule : impl_->formatRules()) {
    bool inside = false;
    for (const CellRange& r : rule.ranges)
      inside = inside || r.contains(row, column);
    if (!inside || !impl_->holds(rule, row, column)) continue;
    const Differential d = impl_->book->stylesheet().differential(rule.dxf);
    if (d.fontColor && !fontSet) look.fontColor = d.fontColor, fontSet = true;
    if (d.bold && !boldSet) look.bold = *d.bold, boldSet = true;
    if (d.fillColor && !fillSet) look.fillColor = d.fillColor, fillSet = true;
    if (rule.stop) break;
  }
  const std::string& h = format.horizontal;
  if (h == "center" || h == "centerContinuous") {
    look.horizontal = Alignment::center;
  } else if (h == "right") {
    look.horizontal = Alignment::right;
  } else if (h == "general") {
    const Computed v = computed(row, column);
    look.horizontal = std::holds_alternative<double>(v) ? Alignment::right
                      : std::holds_alternative<bool>(v) ||
                              std::holds_alternative<ErrorValue>(v)
                          ? Alignment::center
                          : Alignment::left;
  }
  return look;
}

CellRange Sheet::usedRange() const { return impl_->used; }

std::vector<CellRange> Sheet::mergedCells() const {
  std::vector<CellRange> ranges;
  pugi::xml_node root = impl_->part.doc.document_element();
  const std::string prefix = prefixOf(root);
  pugi::xml_node merges = root.child((prefix + "mergeCells").c_str());
  const std::string mergeName = prefix + "mergeCell";
  for (pugi::xml_node m : merges.children(mergeName.c_str()))
    if (auto range = parseRange(m.attribute("ref").value()))
      ranges.push_back(*range);
  return ranges;
}

std::map<int, double> Sheet::columnWidths() const {
  std::map<int, double> widths;
  pugi::xml_node root = impl_->part.doc.document_element();
  const std::string prefix = prefixOf(root);
  pugi::xml_node cols = root.child((prefix + "cols").c_str());
  const std::string colName = prefix + "col";
  for (pugi::xml_node c : cols.children(colName.c_str())) {
    const long first = c.attribute("min").as_int();
    const long last = c.attribute("max").as_int();
    const double width = c.attribute("width").as_double();
    // A sheet's own limits: 16,384 columns, widths up to 255 characters.
    if (first < 1 || last < first || last > 16384 || !(width >= 0) ||
        width > 255)
      continue;
    for (long col = first; col <= last && col <= first + 1024; ++col)
      widths[static_cast<int>(col)] = width;
  }
  return widths;
}

// --- workbook --------------------------------------------------------------

void Workbook::Impl::load() {
  if (!package.contains("[Content_Types].xml"))
    throw Error("not a workbook: it has no content types",
                "这不是 .xlsx 工作簿");
  loadPart(contentTypes, package, "[Content_Types].xml");
  if (!package.contains("_rels/.rels"))
    throw Error("not a workbook: it has no package relationships");
  Part rootRels;
  loadPart(rootRels, package, "_rels/.rels");
  for (pugi::xml_node rel : rootRels.doc.document_element().children())
    if (endsWith(rel.attribute("Type").value(), "/officeDocument"))
      workbookPart = resolveTarget("", rel.attribute("Target").value());
  if (workbookPart.empty() || !package.contains(workbookPart))
    throw Error("not a workbook: its main part is missing");
  loadPart(workbook, package, workbookPart);
  workbookPart = workbook.name;
  pugi::xml_node root = workbook.doc.document_element();
  if (localName(root) != "workbook")
    throw Error("not a workbook: '" + workbookPart + "' is a '" +
                std::string(localName(root)) + "'");

  const std::string relsName = relsPartOf(workbookPart);
  std::map<std::string, std::pair<std::string, std::string>> rels;
  if (package.contains(relsName)) {
    loadPart(workbookRels, package, relsName);
    hasWorkbookRels = true;
    for (pugi::xml_node rel : workbookRels.doc.document_element().children()) {
      if (std::strcmp(rel.attribute("TargetMode").value(), "External") == 0)
        continue;
      const std::string type = rel.attribute("Type").value();
      const std::string target =
          resolveTarget(workbookPart, rel.attribute("Target").value());
      rels[rel.attribute("Id").value()] = {type, target};
      if (endsWith(type, "/sharedStrings") && package.contains(target))
        strings.load(package, target);
      if (endsWith(type, "/styles")) stylesPart = target;
      if (endsWith(type, "/theme")) themePart = target;
    }
  }

  const std::string prefix = prefixOf(root);
  pugi::xml_node list = root.child((prefix + "sheets").c_str());
  int tab = 0;
  std::uint64_t cells = 0;
  const std::string sheetName = prefix + "sheet";
  for (pugi::xml_node entry : list.children(sheetName.c_str())) {
    auto rel = rels.find(relationshipId(entry));
    if (rel != rels.end() && endsWith(rel->second.first, "/worksheet")) {
      if (!package.contains(rel->second.second))
        throw Error("the worksheet '" +
                    std::string(entry.attribute("name").value()) +
                    "' is missing its part '" + rel->second.second + "'");
      // Each part is parsed once: two sheets of one part is no workbook a
      // spreadsheet program writes, only a way to make us work for ever.
      const std::string partName = package.actualName(rel->second.second);
      for (const std::string& seen : sheetParts)
        if (sameIgnoringCase(seen, partName))
          throw Error("the worksheets share the part '" + partName + "'");
      cells += countCells(package.get(partName));
      if (cells > limits.maxCells)
        throw Error("the worksheets hold more than " +
                        std::to_string(limits.maxCells) + " cells",
                    "工作簿的单元格太多（超过 " +
                        std::to_string(limits.maxCells) +
                        " 个），超出了本程序能读入的范围");
      auto impl = std::make_unique<Sheet::Impl>();
      impl->book = this;
      impl->index = static_cast<int>(sheets.size());
      impl->name = entry.attribute("name").value();
      loadPart(impl->part, package, rel->second.second);
      impl->load();
      sheetParts.push_back(impl->part.name);
      sheetTabs.push_back(tab);
      sheets.push_back(std::unique_ptr<Sheet>(new Sheet(std::move(impl))));
    }
    ++tab;
  }
  if (sheets.empty()) throw Error("the workbook has no worksheet");

  pugi::xml_node view = root.child((prefix + "bookViews").c_str())
                            .child((prefix + "workbookView").c_str());
  const int activeTab = view.attribute("activeTab").as_int(0);
  for (std::size_t i = 0; i < sheetTabs.size(); ++i)
    if (sheetTabs[i] == activeTab) active = static_cast<int>(i);
  activeAtOpen = active;
}

Calculation& Workbook::Impl::calculation() {
  if (calculated) return *calculated;
  std::vector<std::string> names;
  for (auto& sheet : sheets) names.push_back(sheet->name());
  auto made = std::make_unique<Calculation>(std::move(names));
  for (auto& sheet : sheets) sheet->impl_->feed(*made);
  calculated = std::move(made);
  return *calculated;
}

const Styles& Workbook::Impl::stylesheet() {
  if (styles) return *styles;
  // The look is no reason to refuse a workbook: a part that is missing or
  // broken leaves the default look.
  auto made = std::make_unique<Styles>();
  pugi::xml_document stylesDoc, themeDoc;
  try {
    if (!stylesPart.empty() && package.contains(stylesPart))
      parseXml(stylesDoc, package.get(package.actualName(stylesPart)),
               stylesPart);
  } catch (const Error&) {
    stylesDoc.reset();
  }
  try {
    if (!themePart.empty() && package.contains(themePart))
      parseXml(themeDoc, package.get(package.actualName(themePart)), themePart);
  } catch (const Error&) {
    themeDoc.reset();
  }
  made->read(stylesDoc, themeDoc);
  styles = std::move(made);
  return *styles;
}

void Workbook::Impl::beforeChange() {
  if (modified) return;
  // From the first change on, the results the file carried may be stale.
  for (auto& sheet : sheets) sheet->impl_->dropFormulaResults();
  modified = true;
}

std::string Workbook::Impl::relationshipTypeLike(
    std::string_view suffix) const {
  // Strict and transitional files name relationship types differently; a
  // new one follows the worksheets' naming.
  for (pugi::xml_node rel : workbookRels.doc.document_element().children()) {
    const std::string_view type = rel.attribute("Type").value();
    if (endsWith(type, "/worksheet"))
      return std::string(type.substr(0, type.size() - 9)) + std::string(suffix);
  }
  return "http://schemas.openxmlformats.org/officeDocument/2006/"
         "relationships/" +
         std::string(suffix);
}

int Workbook::Impl::addSharedString(std::string_view text) {
  if (strings.part.empty()) {
    if (!hasWorkbookRels) {
      workbookRels.name = relsPartOf(workbookPart);
      pugi::xml_node r = workbookRels.doc.append_child("Relationships");
      r.append_attribute("xmlns").set_value(
          "http://schemas.openxmlformats.org/package/2006/relationships");
      hasWorkbookRels = true;
    }
    const auto slash = workbookPart.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "" : workbookPart.substr(0, slash + 1);
    std::string name = folder + "sharedStrings.xml";
    for (int n = 2; package.contains(name); ++n)
      name = folder + "sharedStrings" + std::to_string(n) + ".xml";
    strings.create(name, namespaceOf(workbook.doc.document_element()));

    pugi::xml_node relsRoot = workbookRels.doc.document_element();
    int next = 1;
    for (pugi::xml_node rel : relsRoot.children()) {
      const std::string_view id = rel.attribute("Id").value();
      if (id.size() > 3 && id.substr(0, 3) == "rId")
        next = std::max(next, static_cast<int>(toLong(id.substr(3), 0)) + 1);
    }
    pugi::xml_node rel = relsRoot.append_child("Relationship");
    rel.append_attribute("Id").set_value(
        ("rId" + std::to_string(next)).c_str());
    rel.append_attribute("Type").set_value(
        relationshipTypeLike("sharedStrings").c_str());
    rel.append_attribute("Target").set_value(
        name.substr(folder.size()).c_str());

    pugi::xml_node types = contentTypes.doc.document_element();
    pugi::xml_node over = types.append_child("Override");
    over.append_attribute("PartName").set_value(("/" + name).c_str());
    over.append_attribute("ContentType")
        .set_value(
            "application/"
            "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+"
            "xml");
  }
  return strings.add(text);
}

void Workbook::Impl::write(const std::filesystem::path& target) {
  Calculation& computed = calculation();

  pugi::xml_node root = workbook.doc.document_element();
  const std::string prefix = prefixOf(root);

  // The calculation chain lists formula cells as they were; a stale one
  // makes the spreadsheet program repair the file.
  if (hasWorkbookRels) {
    pugi::xml_node relsRoot = workbookRels.doc.document_element();
    for (pugi::xml_node rel = relsRoot.first_child(); rel;) {
      pugi::xml_node next = rel.next_sibling();
      if (endsWith(rel.attribute("Type").value(), "/calcChain")) {
        const std::string part =
            resolveTarget(workbookPart, rel.attribute("Target").value());
        package.remove(part);
        pugi::xml_node types = contentTypes.doc.document_element();
        for (pugi::xml_node over = types.first_child(); over;) {
          pugi::xml_node after = over.next_sibling();
          if (sameIgnoringCase(over.attribute("PartName").value(), "/" + part))
            types.remove_child(over);
          over = after;
        }
        relsRoot.remove_child(rel);
      }
      rel = next;
    }
  }

  pugi::xml_node calc = root.child((prefix + "calcPr").c_str());
  if (!calc) {
    // calcPr has its fixed place in the workbook's element order.
    static const char* const later[] = {
        "oleSize",        "customWorkbookViews", "pivotCaches",
        "smartTagPr",     "smartTagTypes",       "webPublishing",
        "fileRecoveryPr", "webPublishObjects",   "extLst"};
    pugi::xml_node before;
    for (pugi::xml_node child = root.first_child(); child && !before;
         child = child.next_sibling())
      for (const char* name : later)
        if (localName(child) == name) before = child;
    const std::string name = prefix + "calcPr";
    calc = before ? root.insert_child_before(name.c_str(), before)
                  : root.append_child(name.c_str());
  }
  setAttribute(calc, "fullCalcOnLoad", "1");

  if (active != activeAtOpen) {
    pugi::xml_node views = root.child((prefix + "bookViews").c_str());
    if (!views) {
      views = root.insert_child_before((prefix + "bookViews").c_str(),
                                       root.child((prefix + "sheets").c_str()));
    }
    pugi::xml_node view = views.child((prefix + "workbookView").c_str());
    if (!view) view = views.append_child((prefix + "workbookView").c_str());
    setAttribute(
        view, "activeTab",
        std::to_string(sheetTabs[static_cast<std::size_t>(active)]).c_str());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      Sheet::Impl& s = *sheets[i]->impl_;
      pugi::xml_node sroot = s.part.doc.document_element();
      const std::string sp = prefixOf(sroot);
      pugi::xml_node sheetView = sroot.child((sp + "sheetViews").c_str())
                                     .child((sp + "sheetView").c_str());
      if (!sheetView) continue;
      if (static_cast<int>(i) == active)
        setAttribute(sheetView, "tabSelected", "1");
      else
        sheetView.remove_attribute("tabSelected");
    }
  }

  // The results go into the file only: in memory a formula cell keeps
  // carrying none, as after any change.
  for (auto& sheet : sheets) {
    Sheet::Impl& s = *sheet->impl_;
    s.prepareSave();
    std::string xml;
    try {
      s.writeResults(computed);
      xml = writeXml(s.part.doc);
    } catch (...) {
      s.dropFormulaResults();
      throw;
    }
    s.dropFormulaResults();
    package.put(s.part.name, std::move(xml));
  }
  if (strings.dirty) package.put(strings.part, strings.write());
  package.put(workbookPart, writeXml(workbook.doc));
  if (hasWorkbookRels)
    package.put(workbookRels.name, writeXml(workbookRels.doc));
  package.put(contentTypes.name, writeXml(contentTypes.doc));
  package.write(target);
}

Workbook::Workbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

Workbook Workbook::open(const std::filesystem::path& path,
                        const Limits& limits) {
  auto impl = std::make_unique<Impl>();
  impl->path = path;
  impl->limits = limits;
  impl->package = Package::read(path, limits);
  try {
    impl->load();
  } catch (const Error& e) {
    throw Error(path.string() + ": " + e.what(), e.plain());
  }
  return Workbook(std::move(impl));
}

const std::filesystem::path& Workbook::path() const { return impl_->path; }

int Workbook::sheetCount() const {
  return static_cast<int>(impl_->sheets.size());
}

Sheet& Workbook::sheet(int index) {
  if (index < 0 || index >= sheetCount())
    throw Error("the workbook has no sheet " + std::to_string(index + 1));
  return *impl_->sheets[static_cast<std::size_t>(index)];
}

const Sheet& Workbook::sheet(int index) const {
  return const_cast<Workbook*>(this)->sheet(index);
}

Sheet* Workbook::findSheet(std::string_view name) {
  for (auto& sheet : impl_->sheets)
    if (sheet->name() == name) return sheet.get();
  return nullptr;
}

int Workbook::activeSheet() const { return impl_->active; }

void Workbook::setActiveSheet(int index) {
  sheet(index);  // checks the index
  impl_->active = index;
}

bool Workbook::modified() const { return impl_->modified; }

void Workbook::calculate() {
  Calculation& calc = impl_->calculation();
  for (auto& sheet : impl_->sheets)
    calc.forEachFormula(sheet->impl_->index, [](int, int, const Computed&) {});
}

void Workbook::save(const std::filesystem::path& path, SaveMode mode) {
  std::error_code ec;
  if (mode == SaveMode::newFile && std::filesystem::exists(path, ec) &&
      std::filesystem::equivalent(path, impl_->path, ec))
    throw Error(path.string() +
                ": this is the file the workbook was opened from; it is "
                "not overwritten");
  impl_->write(path);
}

}  // namespace xlsx
