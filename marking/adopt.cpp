#include "app/form1.h"
#include "marking/marking.h"

namespace marking {

// Filled by the adoption work.
void ComHadmark_Click(app::Form1&) {}

}  // namespace marking
