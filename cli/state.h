// JSON dumps of controls, forms and the program's state.
#pragma once

#include <string>

#include "cli/json.h"

namespace forms {
class Control;
class Form;
}  // namespace forms

namespace app {
class Program;
}

namespace cli {

void dumpControl(const forms::Control& c, Json& j);
void dumpForm(const forms::Form& f, Json& j);
// hostState: "none", "running" or "quit".
void dumpState(app::Program& p, const std::string& hostState, Json& j);

}  // namespace cli
