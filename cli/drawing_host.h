// The CAD host as the command-line tool makes it: the drawing engine, with
// DWG drawings converted by a fresh converter process each.
#pragma once

#include <filesystem>
#include <memory>

#include "cadhost/host.h"

namespace cli {

cadhost::ApplicationRef drawingHost(
    std::shared_ptr<cadhost::PickSource> picks = nullptr);

// The folder of the running program; dimdata/ and dwg/ lie below it.
std::filesystem::path programDir();

}  // namespace cli
