// dimmark-cli number: opens a drawing, numbers it automatically as
// "自动标号" does, and saves the marked drawing to a new file.
#include <filesystem>
#include <iostream>

#include "cadhost/engine/embedded_host.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "forms/basic.h"

namespace cli {

int numberCommand(const Args& args, std::ostream& out, std::ostream& err) {
  const char* usage =
      "usage: dimmark-cli number DRAWING [--order ltr|btt] [--start N] "
      "[--decimals N] [--material plastic|metal] --save-as OUT.dxf\n";
  Options o;
  try {
    o = parseOptions(
        args, {"--order", "--start", "--decimals", "--material", "--save-as"});
  } catch (const std::invalid_argument& e) {
    err << "number: " << e.what() << "\n" << usage;
    return 2;
  }
  auto saveAs = o.get("--save-as");
  if (o.positional.size() != 1 || !saveAs) {
    err << usage;
    return 2;
  }
  const std::string drawing = o.positional[0];
  std::error_code ec;
  if (std::filesystem::equivalent(drawing, *saveAs, ec)) {
    err << "number: the marked drawing is saved to a new file, never over "
           "the drawing itself\n";
    return 2;
  }
  std::string order = o.get("--order").value_or("ltr");
  if (order != "ltr" && order != "btt") {
    err << "number: --order takes ltr or btt\n";
    return 2;
  }
  std::optional<int> decimals;
  if (auto d = o.get("--decimals")) {
    auto n = forms::ParseNumber(*d);
    if (!n || *n < 0 || *n > 4 || *n != static_cast<int>(*n)) {
      err << "number: --decimals takes 0 to 4\n";
      return 2;
    }
    decimals = static_cast<int>(*n);
  }
  std::string material = o.get("--material").value_or("");
  if (!material.empty() && material != "plastic" && material != "metal") {
    err << "number: --material takes plastic or metal\n";
    return 2;
  }

  Session s;
  if (!s.start() || !s.openDrawing(drawing, decimals, material)) {
    err << s.failure() << "\n";
    return 2;
  }
  auto& f = s.main();
  if (!f.newDatabase) {
    err << "该图档已经标号：尺寸数据库 " << f.dbPath << " 已经存在\n";
    return 2;
  }
  s.takeMessages();
  s.program().run([&] {
    if (auto start = o.get("--start")) f.Text8->userType(*start);
    (order == "btt" ? f.OptToptobot : f.OptRighttoleft)->userClick();
    f.comSort->userClick();
  });
  std::string shown = s.takeMessages();
  if (!shown.empty() || (f.numberedRows == 0 && f.ctx.dimCount > 0)) {
    err << (shown.empty() ? "number: the dimensions were not numbered\n"
                          : shown);
    return 2;
  }
  try {
    auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        f.ctx.cadDoc);
    if (!doc) throw cadhost::HostError("no drawing is open");
    doc->saveAs(*saveAs);
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 2;
  }
  for (const auto& entry : f.Combo1->list()) out << entry << "\n";
  return 0;
}

}  // namespace cli
