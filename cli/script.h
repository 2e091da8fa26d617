// Runs the whole program from a scenario file, as a user at the window
// would: clicks, typed texts, list choices, queued answers and picks, and
// dumps of controls and state as JSON lines.
#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>

#include "cadhost/host.h"
#include "reports/embedded/embedded_host.h"
#include "reports/sheet_host.h"

namespace app {
class Program;
}

namespace cli {

// What the script needs of the hosts beyond their interfaces.
struct ScriptHosts {
  // Creates the CAD host, taking its picks from the given source.
  std::function<cadhost::ApplicationRef(const std::string& className,
                                        std::shared_ptr<cadhost::PickSource>)>
      cad;
  reports::SheetFactory sheets;
  // The hosts' own save, as the user saves from their windows.
  std::function<void(cadhost::Document&, const std::string& path)> saveDrawing;
  // The layer or colour new entities take, as the user sets it in the CAD
  // window: what is "layer" or "colour".
  std::function<void(cadhost::Document&, const std::string& what,
                     const std::string& value)>
      setCurrent;
  // Ctrl+Z in the CAD window: the user's undo, which the program hears of.
  std::function<void(cadhost::Document&)> undoDrawing;
  std::function<void(const std::string& name, const std::string& path)>
      saveWorkbook;
  // The open workbook of that name (the newest instance first), or null.
  std::function<std::shared_ptr<reports::embedded::EmbeddedWorkbook>(
      const std::string& name)>
      workbook;
};

// Exit codes: 0 done, 2 a bad line (unknown command, control or property)
// or an unreadable file, 3 a question without a fitting answer.
int runScript(std::istream& in, const std::string& scriptName,
              const std::filesystem::path& programDir, const ScriptHosts& hosts,
              std::ostream& out, std::ostream& err);

// Splits a line into words; a text in double quotes is one word, in which a
// backslash escapes the next character. A '#' outside quotes starts a
// comment.
std::vector<std::string> splitWords(const std::string& line);

}  // namespace cli
