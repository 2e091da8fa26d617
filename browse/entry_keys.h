// The keyboard in the measurement panel: Enter in a sample box goes on to
// the next sample, and from the last one to the next dimension.
#pragma once

#include "model/form1.h"

namespace browse {

void Text7_KeyPress(model::Form1& f, int index, int& keyAscii);

}  // namespace browse
