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

namespace model {
class Form1;
}

namespace cli {

void dumpControl(const forms::Control& c, Json& j);
void dumpForm(const forms::Form& f, Json& j);
// hostState: "none", "running" or "quit".
void dumpState(app::Program& p, const std::string& hostState, Json& j);
// The marks of positions 1 to markedCount as the drawing holds them now:
// each part's geometry, colour and layer, null for a part not in the
// drawing (never drawn, deleted, or taken back).
void dumpMarks(const model::Form1& f, Json& j);
// The results on the marks: each numbered position's mark number, the
// verdict of what it stores, the colour its mark shows ("green", "red" or
// its "own": the panel's position as typed) and whether its mark was found.
void dumpResults(model::Form1& f, Json& j);

}  // namespace cli
