// dimmark-cli adopt: brings in a drawing numbered by hand. The drawing's
// current layer or colour is set to the marks' (as the user does in the
// CAD window), and the marks are adopted as "已经标号" does.
#include <filesystem>
#include <iostream>

#include "cadhost/engine/embedded_host.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "dimtable/dimtable.h"
#include "forms/basic.h"

namespace cli {
namespace {

// Takes back the database this run made beside the drawing, so that the
// next attempt finds the drawing as it was.
void dropNewDatabase(model::Form1& f) {
  if (!f.newDatabase || f.dbPath.empty()) return;
  f.dimRs.reset();
  if (f.dbConn) {
    try {
      f.dbConn->Close();
    } catch (const std::exception&) {
    }
  }
  f.dbConn.reset();
  std::error_code ec;
  std::filesystem::remove(f.dbPath, ec);
}

}  // namespace

int adoptCommand(const Args& args, std::ostream& out, std::ostream& err) {
  const char* usage =
      "usage: dimmark-cli adopt DRAWING (--layer NAME | --colour N) "
      "[--save-as OUT.dxf] [--decimals N] [--material plastic|metal]\n";
  Options o;
  try {
    o = parseOptions(
        args, {"--layer", "--colour", "--save-as", "--decimals", "--material"});
  } catch (const std::invalid_argument& e) {
    err << "adopt: " << e.what() << "\n" << usage;
    return 2;
  }
  const auto layer = o.get("--layer");
  const auto colour = o.get("--colour");
  if (o.positional.size() != 1 || layer.has_value() == colour.has_value()) {
    err << usage;
    return 2;
  }
  const std::string drawing = o.positional[0];
  std::optional<int> colourNumber;
  if (colour) {
    auto n = forms::ParseNumber(*colour);
    // By layer (256) and by block (0) are no colour of the marks' own.
    if (!n || *n < 1 || *n > 255 || *n != static_cast<int>(*n)) {
      err << "adopt: --colour takes a colour number, 1 to 255\n";
      return 2;
    }
    colourNumber = static_cast<int>(*n);
  }
  if (layer && layer->empty()) {
    err << "adopt: --layer takes the name of the marks' layer\n";
    return 2;
  }
  const auto saveAs = o.get("--save-as");
  if (saveAs && samePath(drawing, *saveAs)) {
    err << "adopt: the drawing is saved to a new file, never over the "
           "drawing itself\n";
    return 2;
  }
  std::optional<int> decimals;
  std::string material;
  if (!drawingOptions(o, "adopt", decimals, material, err)) return 2;

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
  auto fail = [&](const std::string& why) {
    err << why << (why.empty() || why.back() == '\n' ? "" : "\n");
    dropNewDatabase(f);
    return 2;
  };
  auto doc =
      std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(f.ctx.cadDoc);
  if (!doc) return fail("adopt: no drawing is open");
  try {
    if (layer)
      doc->setCurrentLayer(*layer);
    else
      doc->setCurrentColor(*colourNumber);
  } catch (const std::exception& e) {
    return fail(std::string("adopt: ") + e.what());
  }
  s.takeMessages();
  auto& markfrm = s.program().markfrm;
  s.program().run([&] {
    f.ComHadmark->userClick();
    (layer ? markfrm.Optlayout : markfrm.Optcolor)->userClick();
    markfrm.ComConfirm->userClick();
  });
  const std::string shown = s.takeMessages();
  if (!shown.empty() || f.numberedRows == 0)
    return fail(shown.empty() ? "adopt: no mark was adopted" : shown);
  if (saveAs) {
    try {
      doc->saveAs(*saveAs);
    } catch (const std::exception& e) {
      return fail(e.what());
    }
  }
  for (const auto& entry : f.Combo1->list()) out << entry << "\n";
  return 0;
}

}  // namespace cli
