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
// Asks once about every unsaved drawing and workbook (保存 / 不保存 /
// 取消); false when the program is to stay.
bool confirmExit(Form1& f);
// "退出系统": asks, then the exit sequence.
void ComExit_Click(Form1& f);
// The exit sequence itself: the host quits, the table closes, the end.
void exitProgram(Form1& f);

}  // namespace app
