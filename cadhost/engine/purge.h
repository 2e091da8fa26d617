// Removal of named objects nothing refers to: blocks, layers, text styles,
// line types and dimension styles.
#pragma once

#include <utility>
#include <vector>

#include "cadhost/engine/drawing.h"

namespace cadhost::engine {

using RecordChanges = std::vector<std::pair<Record*, Record::State>>;

// Erases every unreferenced named object (repeating while a removal frees
// more) and lists each changed record with its state before, for undo.
// Returns the number of named objects removed.
std::size_t purgeUnreferenced(Drawing& d, RecordChanges& changed);

}  // namespace cadhost::engine
