#include "cli/hosts.h"

#include <unistd.h>

#include <system_error>

namespace cli {

ScriptHosts embeddedHosts() {
  ScriptHosts h;
  return h;
}

std::filesystem::path programDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

}  // namespace cli
