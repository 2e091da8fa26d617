// The tolerance editor window and the size-range editor.
#pragma once

namespace model {
class Form1;
}  // namespace model

namespace tolerance {

void ComToler_Click(model::Form1& f);

}  // namespace tolerance
