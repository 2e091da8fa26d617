// Choosing and opening a drawing from the file frame.
#pragma once

namespace app {
class Form1;
}

namespace intake {

void Com1_Click(app::Form1& f);
void Com2_Click(app::Form1& f);

// Closes the dimension database at exit; a connection never opened is
// skipped.
void closeConnection(app::Form1& f);

}  // namespace intake
