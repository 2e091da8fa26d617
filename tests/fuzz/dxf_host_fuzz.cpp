// Fuzz target: a drawing's bytes through the embedded CAD host as the
// program drives it: the load and its repairs, every property of every
// model-space entity (each dimension property above all), the variables
// the extraction reads with the extents, the purge, a move and its undo,
// the marks added, and the save, which must load again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "cadhost/engine/embedded_host.h"

namespace {

template <typename F>
void tolerate(F&& f) {
  try {
    f();
  } catch (const cadhost::HostError&) {
    // A property the entity lacks: the handlers skip it too.
  }
}

void readEntity(cadhost::Entity& e) {
  tolerate([&] { e.ObjectName(); });
  tolerate([&] { e.Color(); });
  tolerate([&] { e.Layer(); });
  tolerate([&] { e.center(); });
  tolerate([&] { e.Radius(); });
  tolerate([&] { e.TextString(); });
  tolerate([&] { e.InsertionPoint(); });
  tolerate([&] { e.Name(); });
  tolerate([&] { e.GetAttributes(); });
  tolerate([&] { e.Measurement(); });
  tolerate([&] { e.TextPosition(); });
  tolerate([&] { e.TextHeight(); });
  tolerate([&] { e.TextOverride(); });
  tolerate([&] { e.ToleranceDisplay(); });
  tolerate([&] { e.ToleranceUpperLimit(); });
  tolerate([&] { e.ToleranceLowerLimit(); });
  tolerate([&] { e.PrimaryUnitsPrecision(); });
  tolerate([&] { e.TextPrecision(); });
  tolerate([&] { e.TolerancePrecision(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  auto app = std::make_shared<cadhost::engine::EngineApplication>(nullptr);
  // The converter hook hands the bytes to the host's own Open: no file.
  app->dwgToDxf = [&](const std::string&) { return bytes; };
  std::shared_ptr<cadhost::engine::EngineDocument> doc;
  try {
    doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        app->Open("fuzz.dwg"));
  } catch (const cadhost::HostError&) {
    return 0;  // refused with a message
  }
  if (!doc) std::abort();

  for (const char* name :
       {"EXTMIN", "EXTMAX", "dimdec", "dimtxt", "dimlfac", "CECOLOR", "CLAYER"})
    tolerate([&] { doc->GetVariable(name); });

  // As the extraction walks: every entity read, each dimension set to the
  // chosen decimals and moved, read, and the move undone.
  cadhost::ModelSpace& ms = doc->GetModelSpace();
  tolerate([&] { doc->PurgeAll(); });
  const int count = ms.Count();
  for (int i = 0; i < count; ++i) {
    cadhost::EntityRef e;
    tolerate([&] { e = ms.Item(i); });
    if (!e) continue;
    readEntity(*e);
    tolerate([&] { e->SetPrimaryUnitsPrecision(2); });
    tolerate([&] { e->SetTolerancePrecision(2); });
    tolerate([&] { e->Move({0, 0, 0}, {2, 0, 0}); });
    tolerate([&] { e->Measurement(); });
    tolerate([&] { doc->SendCommand("Undo\r\r"); });
  }
  // A mark beside the first entity, scaled as the mark editing does.
  tolerate([&] {
    auto circle = ms.AddCircle({1, 2, 0}, 2.5);
    auto text = ms.AddText("1", {0, 1, 0}, 3.0);
    circle->ScaleEntity({1, 2, 0}, 1.5);
    text->ScaleEntity({1, 2, 0}, 1.5);
  });
  tolerate([&] { doc->GetVariable("EXTMAX"); });

  // What the host saves, it opens again.
  const auto saved = doc->drawing().serialize();
  try {
    cadhost::engine::Drawing::load(saved);
  } catch (const cadhost::HostError&) {
    std::abort();
  }
  app->Quit();
  return 0;
}
