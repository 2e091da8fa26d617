#include "app/help.h"

#include "model/form1.h"

namespace app {

// Filled by the help and About work.
void ComAbout_Click(Form1&) {}
void ComHELP_Click(Form1&) {}

}  // namespace app
