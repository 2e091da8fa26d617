// The main window's handlers that belong to the program itself.
#pragma once

#include "model/form1.h"

namespace app {

using model::AppContext;
using model::Form1;

// Connects every control of the main window to its handler; the form runs
// it each time it builds its controls.
void wireForm1(Form1& f);
void Form_Load(Form1& f);
void ComExit_Click(Form1& f);

}  // namespace app
