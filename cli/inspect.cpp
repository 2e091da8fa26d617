// dimmark-cli inspect DRAWING: what the CAD host reports about a drawing,
// one JSON object per line: the document, then every model-space item.
#include <charconv>
#include <cmath>
#include <functional>
#include <string>

#include "cadhost/engine/embedded_host.h"
#include "cli/commands.h"
#include "cli/drawing_host.h"

namespace cli {

namespace {

void appendNumber(std::string& out, double v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, p);
}

void appendString(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      default:
        if (c < 0x20) {
          static const char* hex = "0123456789abcdef";
          out += "\\u00";
          out += hex[c >> 4];
          out += hex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

void appendPoint(std::string& out, const cadhost::Point& p) {
  out += '[';
  for (int k = 0; k < 3; ++k) {
    if (k) out += ',';
    appendNumber(out, p[static_cast<std::size_t>(k)]);
  }
  out += ']';
}

void appendValue(std::string& out, const cadhost::Variable& v) {
  if (const double* d = std::get_if<double>(&v))
    appendNumber(out, *d);
  else if (const std::string* s = std::get_if<std::string>(&v))
    appendString(out, *s);
  else
    appendPoint(out, std::get<cadhost::Point>(v));
}

// Builds one object; a property the host refuses is left out.
class Line {
 public:
  template <typename F>
  void field(const char* key, F&& read) {
    std::string value;
    try {
      using R = decltype(read());
      R r = read();
      if constexpr (std::is_same_v<R, std::string>)
        appendString(value, r);
      else if constexpr (std::is_same_v<R, cadhost::Point>)
        appendPoint(value, r);
      else if constexpr (std::is_same_v<R, cadhost::Variable>)
        appendValue(value, r);
      else
        appendNumber(value, static_cast<double>(r));
    } catch (const cadhost::HostError&) {
      return;
    }
    text_ += text_.empty() ? "{" : ",";
    appendString(text_, key);
    text_ += ':';
    text_ += value;
  }
  std::string done() { return (text_.empty() ? "{" : text_) + "}\n"; }

 private:
  std::string text_;
};

bool endsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() &&
         s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

int inspectCommand(const Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: dimmark-cli inspect DRAWING\n";
    return 2;
  }
  try {
    auto app = drawingHost();
    cadhost::DocumentRef doc = app->Open(args[0]);
    if (auto engine =
            std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(doc))
      for (const std::string& note : engine->repairs())
        err << args[0] << ": repaired: " << note << '\n';
    cadhost::ModelSpace& ms = doc->GetModelSpace();
    int count = ms.Count();

    Line head;
    head.field("count", [&] { return count; });
    for (const char* var : {"EXTMIN", "EXTMAX", "dimdec", "dimtxt", "dimlfac",
                            "CECOLOR", "CLAYER"})
      head.field(var, [&] { return doc->GetVariable(var); });
    std::string text = head.done();

    for (int i = 0; i < count; ++i) {
      cadhost::EntityRef e = ms.Item(i);
      Line line;
      line.field("index", [&] { return i; });
      std::string name = e->ObjectName();
      line.field("ObjectName", [&] { return name; });
      line.field("Layer", [&] { return e->Layer(); });
      line.field("Color", [&] { return e->Color(); });
      if (endsWith(name, "Dimension") || endsWith(name, "DimensionLarge")) {
        line.field("Measurement", [&] { return e->Measurement(); });
        line.field("TextPosition", [&] { return e->TextPosition(); });
        line.field("TextOverride", [&] { return e->TextOverride(); });
        line.field("TextHeight", [&] { return e->TextHeight(); });
        line.field("ToleranceDisplay", [&] { return e->ToleranceDisplay(); });
        line.field("ToleranceUpperLimit",
                   [&] { return e->ToleranceUpperLimit(); });
        line.field("ToleranceLowerLimit",
                   [&] { return e->ToleranceLowerLimit(); });
        line.field("PrimaryUnitsPrecision",
                   [&] { return e->PrimaryUnitsPrecision(); });
        line.field("TolerancePrecision",
                   [&] { return e->TolerancePrecision(); });
      } else if (name == "AcDbText" || name == "AcDbMText") {
        line.field("TextString", [&] { return e->TextString(); });
        line.field("InsertionPoint", [&] { return e->InsertionPoint(); });
      } else if (name == "AcDbCircle") {
        line.field("center", [&] { return e->center(); });
        line.field("Radius", [&] { return e->Radius(); });
      }
      text += line.done();
      // Large drawings: hand lines on as they come.
      if (text.size() > (1 << 16)) {
        out << text;
        text.clear();
      }
    }
    out << text;
    out.flush();
    return 0;
  } catch (const cadhost::HostError& e) {
    // The host's messages name the file already.
    err << e.what() << '\n';
    return 2;
  } catch (const std::exception& e) {
    err << args[0] << ": " << e.what() << '\n';
    return 2;
  }
}

}  // namespace cli
