// Layers that show nothing: off (a negative colour, group 62) or frozen
// (group 70, bit 1). The CAD program draws nothing of a drawing whose every
// layer is so, which a converter's fault can cause (see dwg_mend.h).
#pragma once

#include <optional>
#include <vector>

#include "cadhost/engine/drawing.h"

namespace cadhost::engine {

bool layerOff(const Drawing& d, const TableEntry& layer);
bool layerFrozen(const Drawing& d, const TableEntry& layer);

// True when the drawing has layers and every one is off or frozen.
bool everyLayerHidden(const Drawing& d);

// The layer's tags turned on (`on`) or off, or thawed as well when `thaw`;
// nothing when the layer is so already. A colour 0 carries no sign and is
// left alone.
std::optional<std::vector<Tag>> switchedLayer(Drawing& d,
                                              const TableEntry& layer, bool on,
                                              bool thaw = false);

}  // namespace cadhost::engine
