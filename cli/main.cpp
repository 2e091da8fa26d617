// dimmark-cli: the program's handlers on real files, without a window.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "cli/hosts.h"
#include "cli/script.h"

namespace {

const char* kUsage =
    "usage: dimmark-cli COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  script FILE       run the program from a scenario file\n"
    "  inspect DRAWING   print the drawing's model space as JSON lines\n"
    "  extract DRAWING [--decimals N] [--material plastic|metal]\n"
    "         [--characteristics all|dimensions]\n"
    "                    open the drawing as \"确定\" does, print what was "
    "read\n"
    "  number DRAWING [--order ltr|btt] [--start N] [--decimals N]\n"
    "         [--material plastic|metal] [--characteristics all|dimensions]\n"
    "         --save-as OUT.dxf\n"
    "                    number the drawing automatically, save the marked\n"
    "                    drawing, print the browse list\n"
    "  report DRAWING --fai OUT.xlsx [--samples FILE.csv]\n"
    "         [--cpk OUT.xlsx --cpk-marks 3,7,9] [--grid 1-8,A-D]\n"
    "         [--characteristics all|dimensions]\n"
    "                    load a numbered drawing, fill and save the FAI "
    "(and CPK) workbook\n"
    "  export DRAWING (--pdf OUT.pdf [--paper A3] | --png OUT.png "
    "[--width PX])\n"
    "                    draw the drawing into a vector PDF or a PNG\n"
    "  adopt DRAWING (--layer NAME | --colour N) [--save-as OUT.dxf]\n"
    "        [--decimals N] [--material plastic|metal]\n"
    "                    adopt the number texts of a drawing numbered by "
    "hand,\n"
    "                    print the browse list\n"
    "  import DRAWING FILE [--sample K] [--format "
    "auto|qif|pcdmis|calypso|csv]\n"
    "         [--apply]\n"
    "                    hold a measurement file (QIF results, a PC-DMIS\n"
    "                    report, a table, a CSV) against the marks, print\n"
    "                    the review; --apply writes the matched values\n"
    "  With --characteristics all, feature control frames, roughness and\n"
    "  technical notes are read and numbered with the dimensions.\n"
    "  --help            this text\n"
    "  --version         the version\n";

int scriptCommand(const cli::Args& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1) {
    err << "usage: dimmark-cli script FILE\n";
    return 2;
  }
  std::ifstream in(args[0]);
  if (!in) {
    err << "cannot read " << args[0] << "\n";
    return 2;
  }
  return cli::runScript(in, args[0], cli::programDir(), cli::embeddedHosts(),
                        out, err);
}

}  // namespace

int main(int argc, char** argv) {
  cli::Args args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string cmd = args[0];
  cli::Args rest(args.begin() + 1, args.end());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (cmd == "--version") {
    std::cout << "dimmark-cli " DIMMARK_VERSION "\n";
    return 0;
  }
  if (cmd == "script") return scriptCommand(rest, std::cout, std::cerr);
  if (cmd == "inspect") return cli::inspectCommand(rest, std::cout, std::cerr);
  if (cmd == "extract") return cli::extractCommand(rest, std::cout, std::cerr);
  if (cmd == "number") return cli::numberCommand(rest, std::cout, std::cerr);
  if (cmd == "report") return cli::reportCommand(rest, std::cout, std::cerr);
  if (cmd == "export") return cli::exportCommand(rest, std::cout, std::cerr);
  if (cmd == "adopt") return cli::adoptCommand(rest, std::cout, std::cerr);
  if (cmd == "import") return cli::importCommand(rest, std::cout, std::cerr);
  std::cerr << "unknown command: " << cmd << "\n" << kUsage;
  return 2;
}
