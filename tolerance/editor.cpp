#include "tolerance/editor.h"

#include "model/form1.h"

namespace tolerance {

// Filled by the tolerance editor work.
void ComToler_Click(model::Form1&) {}

}  // namespace tolerance
