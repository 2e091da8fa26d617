#include "cli/commands.h"

namespace cli {

int inspectCommand(const Args&, std::ostream&, std::ostream& err) {
  err << "inspect: the drawing engine is not built yet\n";
  return 2;
}

}  // namespace cli
