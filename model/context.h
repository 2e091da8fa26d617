// The program-wide state: the hosts, the dimension and text lists, the
// measurement arrays, the tolerance tables and the zone grid. One object,
// passed by reference; it lives as long as the program.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cadhost/host.h"
#include "dimtable/records.h"
#include "forms/desktop.h"
#include "forms/form.h"
#include "sheethost/host.h"

namespace model {

struct AppContext {
  AppContext(forms::Desktop& desk, cadhost::HostFactory cad,
             sheethost::SheetFactory sheets, std::filesystem::path dir)
      : desktop(desk),
        cadFactory(std::move(cad)),
        sheetFactory(std::move(sheets)),
        programDir(std::move(dir)) {}

  // Ports.
  forms::Desktop& desktop;
  cadhost::HostFactory cadFactory;
  sheethost::SheetFactory sheetFactory;
  std::filesystem::path programDir;  // dimdata/ lies below it
  forms::FormSet forms;

  std::filesystem::path dataDir() const { return programDir / "dimdata"; }

  // The CAD host.
  cadhost::ApplicationRef cadApp;
  cadhost::DocumentRef cadDoc;
  cadhost::ModelSpace* modelSpace = nullptr;

  // The dimension list from 1; entry 0 is scratch.
  std::vector<dimtable::DimRecord> dimRecords;
  std::int32_t dimCount = 0;
  std::vector<dimtable::TextRecord> textRecords;
  std::int32_t textNext = 1;
  std::vector<dimtable::DimRecord> adoptedRecords;

  // Measurements per position 0..dimCount; samples 0..5 (0 unused). An
  // empty sample was not measured; a count of 0 means nothing is stored.
  std::vector<std::int32_t> sampleCounts;
  std::vector<std::array<std::optional<float>, 6>> samples;
  std::vector<std::string> instrumentCodes;
  // A note's result per sample, 1..5: 合格 (true) or 不合格; a position
  // beyond its size has none.
  std::vector<std::array<std::optional<bool>, 6>> passed;

  // General tolerances.
  std::array<float, 7> tolValues{};
  std::array<float, 7> sizeBounds{};
  std::int32_t sizeBoundCount = 0;

  // The zone grid, and its two texts as typed ("1-8", "A-D").
  std::string zoneColumnText = "1-8";
  std::string zoneRowText = "A-D";
  std::string zoneColumnFirst = "1";
  std::string zoneColumnLast = "8";
  std::int32_t zoneColumnCount = 8;
  std::string zoneRowFirst = "A";
  std::string zoneRowLast = "D";
  std::int32_t zoneRowCount = 4;

  // Set once the program has ended.
  bool ended = false;
};

}  // namespace model
