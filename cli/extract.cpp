// dimmark-cli extract: opens a drawing as "确定" does and prints what was
// read.
#include <iostream>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/session.h"

namespace cli {

int extractCommand(const Args& args, std::ostream& out, std::ostream& err) {
  Options o;
  try {
    o = parseOptions(args, {"--decimals", "--material", "--characteristics"});
  } catch (const std::invalid_argument& e) {
    err << "extract: " << e.what() << "\n";
    return 2;
  }
  if (o.positional.size() != 1) {
    err << "usage: dimmark-cli extract DRAWING [--decimals N] "
           "[--material plastic|metal] [--characteristics all|dimensions]\n";
    return 2;
  }
  std::optional<int> decimals;
  std::string material;
  if (!drawingOptions(o, "extract", decimals, material, err)) return 2;
  bool characteristics = false;
  if (!characteristicsOption(o, "extract", characteristics, err)) return 2;

  Session s;
  s.characteristics = characteristics;
  if (!s.start() || !s.openDrawing(o.positional[0], decimals, material)) {
    err << s.failure() << "\n";
    return 2;
  }
  const auto& ctx = s.program().ctx;
  const auto& f = s.main();
  for (int p = 1; p <= ctx.dimCount; ++p) {
    const auto& r = ctx.dimRecords[static_cast<size_t>(p)];
    Json j;
    j.beginObject()
        .field("position", p)
        .field("value", r.value)
        .field("up", r.up)
        .field("low", r.low)
        .field("x", r.x)
        .field("y", r.y)
        .field("type", r.type)
        .field("entityIndex", static_cast<std::int64_t>(r.entityIndex))
        .field("check", r.check != 0)
        .endObject();
    out << j.str() << "\n";
  }
  for (int t = 1; t < ctx.textNext; ++t) {
    const auto& r = ctx.textRecords[static_cast<size_t>(t)];
    Json j;
    j.beginObject()
        .field("text", r.text)
        .field("x", r.x)
        .field("y", r.y)
        .field("entityIndex", static_cast<std::int64_t>(r.entityIndex))
        .endObject();
    out << j.str() << "\n";
  }
  Json j;
  j.beginObject()
      .field("dimCount", static_cast<std::int64_t>(ctx.dimCount))
      .field("textCount", static_cast<std::int64_t>(ctx.textNext - 1))
      .field("newDatabase", f.newDatabase)
      .field("dimDecimals", static_cast<std::int64_t>(f.dimDecimals))
      .field("textHeight", f.textHeight)
      .endObject();
  out << j.str() << "\n";
  return 0;
}

}  // namespace cli
