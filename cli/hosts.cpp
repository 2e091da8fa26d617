#include "cli/hosts.h"

#include <unistd.h>

#include <memory>
#include <system_error>
#include <vector>

#include "cadhost/engine/embedded_host.h"
#include "cli/drawing_host.h"
#include "forms/basic.h"
#include "reports/embedded/embedded_host.h"

namespace cli {

ScriptHosts embeddedHosts() {
  ScriptHosts h;
  h.cad = [](const std::string& className,
             std::shared_ptr<cadhost::PickSource> picks) {
    if (className != "AutoCAD.APPLICATION")
      throw cadhost::HostError("no CAD host of class " + className);
    return drawingHost(std::move(picks));
  };
  h.setCurrent = [](cadhost::Document& doc, const std::string& what,
                    const std::string& value) {
    auto* engineDoc = dynamic_cast<cadhost::engine::EngineDocument*>(&doc);
    if (!engineDoc) throw cadhost::HostError("this host has no current layer");
    if (what == "layer") return engineDoc->setCurrentLayer(value);
    const auto n = forms::ParseNumber(value);
    if (!n || *n != static_cast<int>(*n))
      throw cadhost::HostError("not a colour number: " + value);
    engineDoc->setCurrentColor(static_cast<int>(*n));
  };
  // Every instance the reports create, newest last, for the user's saves.
  auto instances = std::make_shared<std::vector<
      std::weak_ptr<reports::embedded::EmbeddedSheetApplication>>>();
  h.sheets = reports::embedded::makeSheetHost(
      [instances](const auto& app) { instances->push_back(app); });
  h.saveDrawing = [](cadhost::Document& doc, const std::string& path) {
    auto* engineDoc = dynamic_cast<cadhost::engine::EngineDocument*>(&doc);
    if (!engineDoc) throw cadhost::HostError("this host cannot save");
    engineDoc->saveAs(path);
  };
  h.undoDrawing = [](cadhost::Document& doc) {
    auto* engineDoc = dynamic_cast<cadhost::engine::EngineDocument*>(&doc);
    if (!engineDoc) throw cadhost::HostError("this host cannot undo");
    engineDoc->undoAsUser();
  };
  h.saveWorkbook = [instances](const std::string& name,
                               const std::string& path) {
    for (auto it = instances->rbegin(); it != instances->rend(); ++it) {
      auto app = it->lock();
      if (app && app->findWorkbook(name)) {
        app->saveWorkbook(name, path);
        return;
      }
    }
    throw reports::SheetError("no workbook " + name + " is open");
  };
  h.workbook = [instances](const std::string& name)
      -> std::shared_ptr<reports::embedded::EmbeddedWorkbook> {
    for (auto it = instances->rbegin(); it != instances->rend(); ++it)
      if (auto app = it->lock())
        if (auto book = app->findWorkbook(name)) return book;
    return nullptr;
  };
  return h;
}

}  // namespace cli
