// The embedded hosts as the command-line tool uses them.
#pragma once

#include <filesystem>

#include "cli/script.h"

namespace cli {

ScriptHosts embeddedHosts();
// The folder of the running program; dimdata/ lies below it.
std::filesystem::path programDir();

}  // namespace cli
