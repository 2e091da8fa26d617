// dimmark-cli number: opens a drawing, numbers it automatically as
// "自动标号" does, and saves the marked drawing to a new file.
#include <cctype>
#include <filesystem>
#include <iostream>

#include "cadhost/engine/embedded_host.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "dimtable/dimtable.h"
#include "intake/opening.h"
#include "marking/marking.h"

namespace cli {

namespace fs = std::filesystem;

int numberCommand(const Args& args, std::ostream& out, std::ostream& err) {
  const char* usage =
      "usage: dimmark-cli number DRAWING [--order ltr|btt] [--start N] "
      "[--decimals N] [--material plastic|metal]\n"
      "                          [--characteristics all|dimensions] "
      "--save-as OUT.dxf\n";
  Options o;
  try {
    o = parseOptions(args, {"--order", "--start", "--decimals", "--material",
                            "--save-as", "--characteristics"});
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
  if (samePath(drawing, *saveAs)) {
    err << "number: the marked drawing is saved to a new file, never over "
           "the drawing itself\n";
    return 2;
  }
  if (samePath(databaseOf(drawing), *saveAs)) {
    err << "number: " << *saveAs << " is the drawing's database\n";
    return 2;
  }
  // Saved under another name, the marked drawing would never open again.
  std::string ext = fs::path(*saveAs).extension().string();
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".dxf") {
    err << "number: --save-as takes a file name ending in .dxf, not \""
        << *saveAs << "\"\n";
    return 2;
  }
  std::string order = o.get("--order").value_or("ltr");
  if (order != "ltr" && order != "btt") {
    err << "number: --order takes ltr or btt, not \"" << order << "\"\n";
    return 2;
  }
  auto start = o.get("--start");
  if (start && !wholeNumber(*start, -32768, 32767)) {
    err << "number: --start takes a whole number from -32768 to 32767, not \""
        << *start << "\"\n";
    return 2;
  }
  std::optional<int> decimals;
  std::string material;
  if (!drawingOptions(o, "number", decimals, material, err)) return 2;
  bool characteristics = false;
  if (!characteristicsOption(o, "number", characteristics, err)) return 2;
  // Before anything is numbered: a drawing numbered but never saved would
  // have to be numbered again.
  try {
    cadhost::engine::checkSaveTarget(*saveAs);
  } catch (const cadhost::HostError& e) {
    err << "number: " << e.what() << "\n";
    return 2;
  }

  // A database this run makes goes again when it numbers nothing.
  std::error_code ec;
  const bool hadDatabase = fs::exists(databaseOf(drawing), ec);
  Session s;
  s.characteristics = characteristics;
  auto unmade = [&] {
    auto& f = s.main();
    if (hadDatabase || f.dbPath.empty()) return;
    f.dimRs.reset();
    if (f.dbConn) f.dbConn->Close();
    f.dbConn.reset();
    fs::remove(f.dbPath, ec);
  };
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
  // The rows wait uncommitted until the marked drawing is saved: a save
  // that fails, or a kill on the way, leaves the drawing unnumbered.
  f.deferNumberingCommit = true;
  s.program().run([&] {
    if (start) f.Text8->userType(*start);
    (order == "btt" ? f.OptToptobot : f.OptRighttoleft)->userClick();
    f.comSort->userClick();
  });
  std::string shown = s.takeMessages();
  if (!shown.empty() || (f.numberedRows == 0 && f.ctx.dimCount > 0)) {
    s.program().run([&] { marking::rollbackNumbering(f); });
    unmade();
    err << (shown.empty() ? "number: the dimensions were not numbered\n"
                          : shown);
    return 2;
  }
  bool saved = false;
  try {
    auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        f.ctx.cadDoc);
    if (!doc) throw cadhost::HostError("no drawing is open");
    doc->saveAs(*saveAs);
    saved = true;
    marking::commitNumbering(f);
  } catch (const std::exception& e) {
    // Not numbered after all: the rows go, and so does a marked drawing
    // whose rows could not be kept.
    s.program().run([&] { marking::rollbackNumbering(f); });
    unmade();
    if (saved) fs::remove(*saveAs, ec);
    err << "number: " << e.what() << "\n";
    return 2;
  }
  // As the window's Save As does: the marked drawing takes a copy of the
  // database, so it opens as numbered (and reports) on its own. One
  // already there is left as it is, with a note.
  s.takeMessages();
  s.program().run([&] { intake::drawingSavedAs(f, *saveAs); });
  err << s.takeMessages();
  for (const auto& entry : f.Combo1->list()) out << entry << "\n";
  return 0;
}

}  // namespace cli
