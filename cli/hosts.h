// The embedded hosts as the command-line tool uses them.
#pragma once

#include <filesystem>

#include "cli/drawing_host.h"
#include "cli/script.h"

namespace cli {

ScriptHosts embeddedHosts();

}  // namespace cli
