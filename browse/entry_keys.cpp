#include "browse/entry_keys.h"

namespace browse {

void Text7_KeyPress(model::Form1& f, int index, int& keyAscii) {
  if (keyAscii != 13) return;
  keyAscii = 0;
  for (int i = index + 1; i < static_cast<int>(f.Text7.size()); ++i)
    if (f.Text7[static_cast<size_t>(i)]->reachable()) {
      f.Text7[static_cast<size_t>(i)]->SetFocus();
      return;
    }
  // The last sample of this dimension: on to the next one, whose first
  // sample takes the next reading. On the last dimension the focus stays.
  if (!f.ComNext->reachable() || f.currentPosition >= f.Combo1->listCount())
    return;
  const auto before = f.currentPosition;
  f.ComNext->userClick();
  if (f.currentPosition != before) f.Text7[0]->SetFocus();
}

}  // namespace browse
