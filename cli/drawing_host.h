// The CAD host as the command-line tool makes it: the drawing engine, with
// DWG drawings converted by a fresh converter process each.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "cadhost/host.h"

namespace cli {

cadhost::ApplicationRef drawingHost(
    std::shared_ptr<cadhost::PickSource> picks = nullptr);

// The folder of the running program; dimdata/ and dwg/ lie below it.
std::filesystem::path programDir();

// Whether two paths name one file, or would once the second is written.
bool samePath(const std::string& a, const std::string& b);

}  // namespace cli
