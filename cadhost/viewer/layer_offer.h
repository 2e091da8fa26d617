// A drawing whose every layer is off or frozen opens blank: the user is
// told so and may show the layers.
#pragma once

#include <QString>
#include <functional>

#include "cadhost/engine/embedded_host.h"

namespace cadhost::viewer {

// Asks through `confirm` when every layer of the drawing is hidden and, on
// yes, shows them all: a view the user chose (EngineDocument::
// showAllLayers). True when the layers were shown.
bool offerToShowLayers(engine::EngineDocument& doc,
                       const std::function<bool(const QString&)>& confirm);

}  // namespace cadhost::viewer
