#include "intake/characteristics.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "forms/desktop.h"
#include "intake/annotations.h"
#include "intake/gdt_code.h"
#include "intake/opening.h"
#include "model/characteristic.h"
#include "model/form1.h"

namespace intake {

namespace {

using dimtable::Bound;
using dimtable::DimRecord;

// MTEXT line spacing at its default factor: 5/3 of the text height.
constexpr double kLineSpacing = 5.0 / 3.0;

struct Found {
  DimRecord record;
  int order = 0;  // within its entity
};

void addFrame(std::vector<Found>& out, const model::Frame& frame,
              const cadhost::Point& at, int entity) {
  const bool composite = frame.rows.size() == 2;
  for (std::size_t row = 0; row < frame.rows.size(); ++row) {
    const model::FrameRow& r = frame.rows[row];
    DimRecord d;
    const auto symbol = frame.symbolOf(row);
    d.type = symbol ? model::gdtType(*symbol) : std::string(model::kGdtKind);
    d.value = model::rowText(frame, row);
    // A value of 0 with the tolerance as its upper deviation; a tolerance
    // that could not be read gives no limit rather than a made-up one.
    if (r.understood && r.tolerance.value) {
      d.up = static_cast<float>(*r.tolerance.value);
      d.bound = Bound::Upper;
    }
    d.x = static_cast<float>(at[0]);
    d.y = static_cast<float>(at[1]);
    d.entityIndex = entity;
    d.frameRow = composite ? static_cast<std::int8_t>(row + 1) : 0;
    d.raw = frame.raw;
    out.push_back({std::move(d), static_cast<int>(row)});
  }
}

void addRoughness(std::vector<Found>& out, const Roughness& r,
                  const cadhost::Point& at, int entity, const std::string& raw,
                  int order) {
  DimRecord d;
  d.type = std::string(model::kRoughnessKind);
  d.value = roughnessText(r);
  d.up = static_cast<float>(r.value);
  d.bound = r.lowerLimit ? Bound::Lower : Bound::Upper;
  d.x = static_cast<float>(at[0]);
  d.y = static_cast<float>(at[1]);
  d.entityIndex = entity;
  d.raw = raw;
  out.push_back({std::move(d), order});
}

bool isMarkNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
}

struct Text {
  int entity = 0;
  bool multiline = false;
  std::string raw;
  cadhost::Point at{};
};

}  // namespace

std::vector<DimRecord> readCharacteristics(cadhost::ModelSpace& ms) {
  std::vector<Found> found;
  std::vector<Text> texts;
  std::vector<PlacedText> placed;
  const int count = ms.Count();
  for (int i = 0; i < count; ++i) {
    try {
      cadhost::EntityRef e = ms.Item(i);
      const std::string name = e->ObjectName();
      if (name == "AcDbFcf") {
        // A leader that carries a frame points at this entity: read once.
        addFrame(found, decodeToleranceText(e->TextString()),
                 e->InsertionPoint(), i);
      } else if (name == "AcDbBlockReference") {
        std::vector<Attribute> attributes;
        std::string raw = e->Name();
        for (const auto& a : e->GetAttributes()) {
          attributes.push_back({a.TagString, plainText(a.TextString, false)});
          raw += "\n" + a.TagString + "=" + a.TextString;
        }
        if (auto r = roughnessOfBlock(e->Name(), attributes))
          addRoughness(found, *r, e->InsertionPoint(), i, raw, 0);
      } else if (name == "AcDbText" || name == "AcDbMText") {
        Text t{i, name == "AcDbMText", e->TextString(), e->InsertionPoint()};
        if (t.multiline) {
          if (auto frame = decodeMTextFrame(t.raw)) {
            addFrame(found, *frame, t.at, i);
            continue;
          }
        }
        placed.push_back(
            {plainText(t.raw, t.multiline), t.at[0], t.at[1], e->Height()});
        texts.push_back(std::move(t));
      }
    } catch (const std::exception&) {
      // Read what can be read; this entity is passed over.
    }
  }

  // A bare whole number is a mark (ours, or one drawn by hand) standing
  // beside a note's line, not a part of it.
  std::vector<PlacedText> forNotes = placed;
  for (auto& t : forNotes)
    if (isMarkNumber(t.text)) t.text.clear();
  std::vector<bool> inNotes(texts.size(), false);
  for (const NoteGroup& g : groupNotes(forNotes)) {
    for (int s : g.sources) inNotes[static_cast<std::size_t>(s)] = true;
    int order = 0;
    for (const NoteItem& item : g.items) {
      const auto s = static_cast<std::size_t>(item.source);
      const Text& t = texts[s];
      const double h = placed[s].height;
      DimRecord d;
      d.type = std::string(model::kNoteKind);
      d.value = item.shown;
      d.x = static_cast<float>(t.at[0]);
      // A single-line text stands on its baseline; a multiline text hangs
      // from its top, one line spacing per line.
      d.y = static_cast<float>(
          t.multiline ? t.at[1] - h - item.line * kLineSpacing * h : t.at[1]);
      d.entityIndex = t.entity;
      d.raw = item.shown;
      found.push_back({std::move(d), ++order});
    }
  }
  for (std::size_t s = 0; s < texts.size(); ++s) {
    if (inNotes[s]) continue;
    int order = 0;
    for (const Roughness& r : roughnessInText(placed[s].text))
      addRoughness(found, r, texts[s].at, texts[s].entity, texts[s].raw,
                   order++);
  }

  std::stable_sort(found.begin(), found.end(),
                   [](const Found& a, const Found& b) {
                     if (a.record.entityIndex != b.record.entityIndex)
                       return a.record.entityIndex < b.record.entityIndex;
                     return a.order < b.order;
                   });
  std::vector<DimRecord> out;
  out.reserve(found.size());
  for (auto& f : found) out.push_back(std::move(f.record));
  return out;
}

namespace {

// The first position of a characteristic, or dimCount + 1.
std::int32_t firstCharacteristic(const model::Form1& f) {
  const auto& d = f.ctx.dimRecords;
  for (std::int32_t p = 1; p <= f.ctx.dimCount; ++p)
    if (static_cast<std::size_t>(p) < d.size() &&
        model::kindOfType(d[static_cast<std::size_t>(p)].type) !=
            model::CharacteristicKind::Dimension)
      return p;
  return f.ctx.dimCount + 1;
}

// A drawing read as new whose list may still change: nothing numbered,
// adopted or begun.
bool listOpen(const model::Form1& f) {
  return f.ctx.cadDoc && f.ctx.modelSpace && f.newDatabase &&
         f.numberedRows == 0 && f.freeNext <= 1 && f.zoneMarkedCount == 0;
}

}  // namespace

bool hasCharacteristics(const model::Form1& f) {
  return firstCharacteristic(f) <= f.ctx.dimCount;
}

void addCharacteristics(model::Form1& f) {
  auto& ctx = f.ctx;
  if (!ctx.modelSpace || hasCharacteristics(f)) return;
  std::vector<DimRecord> more = readCharacteristics(*ctx.modelSpace);
  if (more.empty()) return;
  const auto need = static_cast<std::size_t>(ctx.dimCount) + more.size() + 1;
  for (auto* list : {&ctx.dimRecords, &ctx.adoptedRecords})
    if (list->size() < need) list->resize(need);
  for (auto& r : more)
    ctx.dimRecords[static_cast<std::size_t>(++ctx.dimCount)] = std::move(r);
  sizeMarkArrays(f);
}

void dropCharacteristics(model::Form1& f) {
  auto& ctx = f.ctx;
  const std::int32_t first = firstCharacteristic(f);
  if (first > ctx.dimCount) return;
  for (std::int32_t p = first; p <= ctx.dimCount; ++p)
    ctx.dimRecords[static_cast<std::size_t>(p)] = {};
  ctx.dimCount = first - 1;
  sizeMarkArrays(f);
}

void CheChars_Click(model::Form1& f) {
  const bool on = f.CheChars->value() == 1;
  f.ctx.desktop.setSetting(std::string(kCharacteristicsSetting),
                           on ? "1" : "0");
  if (!f.ctx.cadDoc) return;
  if (!listOpen(f)) {
    f.ctx.desktop.message(
        "图纸“" + std::filesystem::path(f.drawingPath).filename().string() +
            "”已经标号，这次的标号不变；形位公差、粗糙度、技术要求" +
            (on ? "从下一张新图纸起一起标号。" : "从下一张新图纸起不再标号。"),
        forms::Buttons::Ok, "");
    return;
  }
  if (on)
    addCharacteristics(f);
  else
    dropCharacteristics(f);
}

}  // namespace intake
