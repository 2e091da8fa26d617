// The help and About windows.
#pragma once

namespace model {
class Form1;
}

namespace app {
using model::Form1;

void ComAbout_Click(Form1& f);
void ComHELP_Click(Form1& f);

}  // namespace app
