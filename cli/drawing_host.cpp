#include "cli/drawing_host.h"

#include "cadhost/dwg/converter.h"
#include "cadhost/engine/embedded_host.h"

namespace cli {

cadhost::ApplicationRef drawingHost(
    std::shared_ptr<cadhost::PickSource> picks) {
  auto app =
      std::make_shared<cadhost::engine::EngineApplication>(std::move(picks));
  // A run of the tool is short: no converter is kept between drawings.
  app->dwgToDxf = [](const std::string& path) {
    cadhost::dwg::Converter converter(cadhost::dwg::oneShotSetup(programDir()));
    return converter.convert(path, nullptr);
  };
  return app;
}

std::filesystem::path programDir() {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::current_path();
  return exe.parent_path();
}

bool samePath(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::equivalent(a, b, ec)) return true;
  return fs::absolute(a, ec).lexically_normal() ==
         fs::absolute(b, ec).lexically_normal();
}

}  // namespace cli
