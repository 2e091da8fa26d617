// The subcommands of dimmark-cli. Each takes the words after its name and
// returns the process exit code: 0 on success, 2 with the message on err.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

class QGuiApplication;

namespace cli {

using Args = std::vector<std::string>;

int inspectCommand(const Args& args, std::ostream& out, std::ostream& err);
int extractCommand(const Args& args, std::ostream& out, std::ostream& err);
int numberCommand(const Args& args, std::ostream& out, std::ostream& err);
int reportCommand(const Args& args, std::ostream& out, std::ostream& err);
int exportCommand(const Args& args, std::ostream& out, std::ostream& err);
int adoptCommand(const Args& args, std::ostream& out, std::ostream& err);
int importCommand(const Args& args, std::ostream& out, std::ostream& err);

// Fonts and painting need a GUI application: one is made (offscreen
// without a display) unless the process has one, and lives as long as
// the returned holder.
class PaintingApplication {
 public:
  PaintingApplication();
  ~PaintingApplication();
  PaintingApplication(const PaintingApplication&) = delete;
  PaintingApplication& operator=(const PaintingApplication&) = delete;

 private:
  std::unique_ptr<QGuiApplication> app_;
};

}  // namespace cli
