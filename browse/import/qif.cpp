// QIF 3 results (ISO 23952): every MeasurementResults is one measured part;
// each characteristic measurement names its characteristic item, which
// carries the designator (the balloon) and leads to the nominal and the
// definition (the tolerance).
#include <algorithm>
#include <cmath>
#include <map>
#include <pugixml.hpp>

#include "browse/import/formats.h"
#include "browse/import/text.h"
#include "browse/reading.h"

namespace browse::import {

namespace {

std::string_view localName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == name.npos ? name : name.substr(colon + 1);
}

pugi::xml_node child(const pugi::xml_node& node, std::string_view name) {
  for (pugi::xml_node c : node.children())
    if (c.type() == pugi::node_element && localName(c) == name) return c;
  return {};
}

pugi::xml_node path(pugi::xml_node node,
                    std::initializer_list<std::string_view> names) {
  for (std::string_view name : names) {
    if (!node) break;
    node = child(node, name);
  }
  return node;
}

std::string textOf(const pugi::xml_node& node) {
  return std::string(text::trim(node.child_value()));
}

std::optional<double> numberOf(const pugi::xml_node& node) {
  if (!node) return std::nullopt;
  return readReading(node.child_value(), {Comma::Refuse, false}).value;
}

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         s.substr(s.size() - suffix.size()) == suffix;
}

bool isGeometric(Kind k) {
  return k >= Kind::Straightness && k <= Kind::OtherGeometric;
}

bool isAngular(std::string_view kindName) {
  return kindFromName(kindName) == Kind::Angle;
}

// Line numbers from the byte offsets pugixml keeps.
class Lines {
 public:
  explicit Lines(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] == '\n') breaks_.push_back(i);
  }
  int at(std::ptrdiff_t offset) const {
    if (offset < 0) return 0;
    const auto it = std::lower_bound(breaks_.begin(), breaks_.end(),
                                     static_cast<std::size_t>(offset));
    return static_cast<int>(it - breaks_.begin()) + 1;
  }

 private:
  std::vector<std::size_t> breaks_;
};

bool namesMillimetre(std::string_view name) {
  const std::string n = text::lower(text::trim(name));
  return n == "mm" || n == "millimeter" || n == "millimetre" ||
         n == "millimeters" || n == "millimetres";
}

bool namesDegree(std::string_view name) {
  const std::string n = text::lower(text::trim(name));
  return n == "degree" || n == "degrees" || n == "deg" || n == "\xC2\xB0";
}

// The unit of a FileUnits entry: its name, or its factor to the SI unit
// when the name is one we do not know.
bool unitIs(const pugi::xml_node& unit, bool (*names)(std::string_view),
            double siFactor) {
  if (names(child(unit, "UnitName").child_value())) return true;
  const auto factor = numberOf(path(unit, {"UnitConversion", "Factor"}));
  return factor && std::fabs(*factor - siFactor) <= siFactor * 1e-9;
}

struct Units {
  bool stated = false;
  std::string linear;   // the name of a linear unit other than mm
  std::string angular;  // the name of an angular unit other than degrees
};

Units unitsOf(const pugi::xml_node& root) {
  Units u;
  const pugi::xml_node primary = path(root, {"FileUnits", "PrimaryUnits"});
  if (!primary) return u;
  u.stated = true;
  // The PMI units, where given, are those of characteristics and their
  // measurements.
  pugi::xml_node linear = child(primary, "PMILinearUnit");
  if (!linear) linear = child(primary, "LinearUnit");
  if (linear && !unitIs(linear, namesMillimetre, 0.001))
    u.linear = textOf(child(linear, "UnitName"));
  pugi::xml_node angular = child(primary, "PMIAngularUnit");
  if (!angular) angular = child(primary, "AngularUnit");
  if (angular && !unitIs(angular, namesDegree, 0.017453292519943295))
    u.angular = textOf(child(angular, "UnitName"));
  return u;
}

// What the item, its nominal and its definition say of the characteristic.
void describe(Entry& e, const pugi::xml_node& item,
              const std::map<std::string, pugi::xml_node>& byId) {
  auto byRef = [&](const pugi::xml_node& ref) -> pugi::xml_node {
    const auto it = byId.find(textOf(ref));
    return ref && it != byId.end() ? it->second : pugi::xml_node();
  };
  const std::string designator =
      textOf(path(item, {"CharacteristicDesignator", "Designator"}));
  e.label = designator.empty() ? textOf(child(item, "Name")) : designator;
  const std::string_view type = localName(item);
  e.kindName = type.substr(
      0, type.size() - std::string_view("CharacteristicItem").size());
  e.kind = kindFromName(e.kindName);

  const pugi::xml_node nominal = byRef(child(item, "CharacteristicNominalId"));
  const pugi::xml_node definition =
      byRef(child(nominal, "CharacteristicDefinitionId"));
  e.nominal = numberOf(child(nominal, "TargetValue"));
  if (isGeometric(e.kind)) {
    // A geometric tolerance is a zone from 0 to its value.
    e.nominal = 0.0;
    if (const auto zone = numberOf(child(definition, "ToleranceValue"))) {
      e.up = *zone;
      e.low = 0.0;
    }
    return;
  }
  const pugi::xml_node tolerance = child(definition, "Tolerance");
  if (!tolerance) return;
  const auto max = numberOf(child(tolerance, "MaxValue"));
  const auto min = numberOf(child(tolerance, "MinValue"));
  if (textOf(child(tolerance, "DefinedAsLimit")) == "true") {
    if (e.nominal) {
      if (max) e.up = *max - *e.nominal;
      if (min) e.low = *e.nominal - *min;
    } else {
      e.upperLimit = max;
      e.lowerLimit = min;
    }
  } else {
    e.up = max;
    if (min) e.low = 0.0 - *min;
  }
}

// The name of the first device a list of ids names.
std::string deviceOf(const pugi::xml_node& ids,
                     const std::map<std::string, pugi::xml_node>& byId) {
  for (pugi::xml_node id : ids.children()) {
    if (id.type() != pugi::node_element || localName(id) != "Id") continue;
    const auto it = byId.find(textOf(id));
    if (it != byId.end()) return textOf(child(it->second, "Name"));
  }
  return {};
}

// Visits the elements below root in document order, without recursion (a
// file may nest deeper than the stack goes); visit returns whether to go
// below the element.
template <class Visit>
void walk(const pugi::xml_node& root, Visit visit) {
  pugi::xml_node n = root.first_child();
  while (n) {
    const bool below = n.type() == pugi::node_element && visit(n);
    if (below && n.first_child()) {
      n = n.first_child();
      continue;
    }
    while (n != root && !n.next_sibling()) n = n.parent();
    if (n == root) break;
    n = n.next_sibling();
  }
}

void collectIds(const pugi::xml_node& root,
                std::map<std::string, pugi::xml_node>& byId) {
  walk(root, [&](const pugi::xml_node& n) {
    if (const pugi::xml_attribute id = n.attribute("id"))
      byId.emplace(id.value(), n);
    return true;
  });
}

void measurementsIn(const pugi::xml_node& node,
                    std::vector<pugi::xml_node>& out) {
  for (pugi::xml_node c : node.children()) {
    if (c.type() != pugi::node_element) continue;
    const std::string_view name = localName(c);
    if (endsWith(name, "CharacteristicMeasurement") ||
        endsWith(name, "CharacteristicActual"))
      out.push_back(c);
  }
}

void resultsIn(const pugi::xml_node& root, std::vector<pugi::xml_node>& out) {
  walk(root, [&](const pugi::xml_node& n) {
    if (localName(n) != "MeasurementResults") return true;
    out.push_back(n);
    return false;
  });
}

}  // namespace

ParsedFile parseQif(std::string_view bytes) {
  ParsedFile out;
  out.format = Format::Qif;
  const Lines lines(bytes);
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default);
  if (!parsed) {
    out.error = "不是有效的XML（第" + std::to_string(lines.at(parsed.offset)) +
                "行：" + parsed.description() + "）";
    return out;
  }
  const pugi::xml_node root = doc.document_element();
  if (localName(root) != "QIFDocument") {
    out.error = "不是QIF文件（根元素不是QIFDocument）";
    return out;
  }
  const Units units = unitsOf(root);
  if (!units.linear.empty()) {
    out.error = "文件的长度单位是“" + units.linear +
                "”，不是毫米：请让测量软件按毫米输出";
    return out;
  }

  std::map<std::string, pugi::xml_node> byId;
  collectIds(root, byId);
  std::vector<pugi::xml_node> results;
  resultsIn(child(root, "Results"), results);
  if (results.empty()) {
    out.error = "文件里没有测量结果（MeasurementResults）";
    return out;
  }
  if (!units.stated) out.notes.push_back("文件没有写明单位，按毫米读取");

  for (const pugi::xml_node& result : results) {
    Part part;
    part.line = lines.at(result.offset_debug());
    const pugi::xml_node component = [&] {
      const auto it =
          byId.find(textOf(path(result, {"ActualComponentIds", "Id"})));
      return it == byId.end() ? pugi::xml_node() : it->second;
    }();
    part.name = textOf(child(component, "SerialNumber"));
    if (part.name.empty())
      part.name =
          "MeasurementResults " + std::string(result.attribute("id").value());

    std::vector<pugi::xml_node> measurements;
    const pugi::xml_node measured = child(result, "MeasuredCharacteristics");
    measurementsIn(child(measured, "CharacteristicMeasurements"), measurements);
    measurementsIn(child(measured, "CharacteristicActuals"), measurements);
    for (const pugi::xml_node& m : measurements) {
      Entry e;
      const pugi::xml_node value = child(m, "Value");
      e.line = lines.at((value ? value : m).offset_debug());
      const std::string itemId = textOf(child(m, "CharacteristicItemId"));
      const auto item = byId.find(itemId);
      if (item == byId.end()) {
        e.refusal = "找不到它的特性项（CharacteristicItemId " + itemId + "）";
        part.entries.push_back(std::move(e));
        continue;
      }
      describe(e, item->second, byId);
      e.instrument = deviceOf(child(m, "MeasurementDeviceIds"), byId);
      if (e.instrument.empty())
        e.instrument =
            deviceOf(child(item->second, "MeasurementDeviceIds"), byId);

      const bool angular = isAngular(e.kindName);
      // A value may name its own unit; else the file's applies.
      const std::string_view unit =
          value.attribute(angular ? "angularUnit" : "linearUnit").value();
      const bool unitOk =
          unit.empty() ? !(angular && !units.angular.empty())
                       : (angular ? namesDegree(unit) : namesMillimetre(unit));
      const Reading r =
          readReading(value.child_value(), {Comma::Refuse, false});
      if (!r.value && r.error.empty()) {
        e.refusal = "没有测量值";
      } else if (!r.value) {
        e.refusal = "“" + textOf(value) + "”" + r.error;
      } else if (!unitOk) {
        e.refusal = "单位是“" +
                    std::string(unit.empty() ? units.angular : unit) +
                    "”，不是" + (angular ? "度" : "毫米");
      } else {
        e.value = r.value;
      }
      part.entries.push_back(std::move(e));
    }
    out.parts.push_back(std::move(part));
  }
  return out;
}

}  // namespace browse::import
