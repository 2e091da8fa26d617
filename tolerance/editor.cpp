#include "tolerance/editor.h"

#include "app/form1.h"

namespace tolerance {

// Filled by the tolerance editor work.
void ComToler_Click(app::Form1&) {}

}  // namespace tolerance
