#include "app/form1.h"
#include "marking/marking.h"

namespace marking {

// Filled by the zone grid work.
void ComLdefine_Click(app::Form1&) {}

}  // namespace marking
