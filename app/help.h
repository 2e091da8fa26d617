// The help and About windows.
#pragma once

namespace app {
class Form1;

void ComAbout_Click(Form1& f);
void ComHELP_Click(Form1& f);

}  // namespace app
