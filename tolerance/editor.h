// The tolerance editor window and the size-range editor.
#pragma once

namespace app {
class Form1;
}

namespace tolerance {

void ComToler_Click(app::Form1& f);

}  // namespace tolerance
