// The program run headless for one job of the command-line tool: started as
// at the window, with the embedded hosts and a desktop that answers No to
// questions and gives the file named on the command line to file dialogs.
#pragma once

#include "cli/drawing_host.h"

#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "app/program.h"
#include "cli/script.h"
#include "forms/scripted_desktop.h"

namespace cli {

class Session {
 public:
  Session();

  app::Program& program() { return *program_; }
  model::Form1& main() { return program_->main; }
  forms::AnswerQueue& answers() { return *queue_; }
  const ScriptHosts& hosts() const { return hosts_; }

  // Starts the program; false (with the messages in failure()) when it
  // could not.
  bool start();
  // The material option and the file frame's road to "确定": the file type
  // window (the Pro/E type when decimals are given), the dialog, "确定".
  // False when a message was shown on the way.
  bool openDrawing(const std::string& path, std::optional<int> decimals,
                   const std::string& material);
  // The marking panel's "形位公差、粗糙度、技术要求一起标号" as openDrawing
  // sets it, as the setting of an earlier run would (off by default).
  bool characteristics = false;

  // The messages shown since the last call, one per line.
  std::string takeMessages();
  const std::string& failure() const { return failure_; }

 private:
  bool quietSince(size_t before);

  ScriptHosts hosts_;
  std::shared_ptr<forms::AnswerQueue> queue_;
  forms::ScriptedDesktop desktop_;
  std::unique_ptr<app::Program> program_;
  std::string failure_;
};

// Reads "--name value" options after the positional words; unknown ones
// raise std::invalid_argument.
struct Options {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> named;
  std::optional<std::string> get(const std::string& name) const;
};
Options parseOptions(const std::vector<std::string>& args,
                     const std::vector<std::string>& known);

// A whole number as an option gives it (digits with an optional sign),
// within [lo, hi]; nothing otherwise.
std::optional<long> wholeNumber(const std::string& text, long lo, long hi);

// --decimals (0 to 4) and --material (plastic or metal) as extract and
// number take them. False, with the option and the text on err, for
// anything else.
bool drawingOptions(const Options& o, const std::string& command,
                    std::optional<int>& decimals, std::string& material,
                    std::ostream& err);

// --characteristics all|dimensions (dimensions when not given). False, with
// the text on err, for anything else.
bool characteristicsOption(const Options& o, const std::string& command,
                           bool& all, std::ostream& err);

// The drawing's path minus its last four characters (counted as
// characters, not bytes), plus ".mdb": where its database lies.
std::string databaseOf(const std::string& drawing);

// Why `command` cannot work on the numbered drawing whose database is
// `db` (no such file, not .dxf or .dwg, no database), or nothing. Checked
// before opening: opening a drawing without a database would make an empty
// one beside it.
std::string notNumbered(const std::string& command, const std::string& drawing,
                        const std::string& db);

}  // namespace cli
