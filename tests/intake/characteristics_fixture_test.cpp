// Frames, roughness and notes read from drawings another DXF library wrote
// (tests/fixtures/dxf/make_characteristics.py), checked field by field
// against what the generator put in.
#include <gtest/gtest.h>

#include <map>

#include "cadhost/engine/plain_text.h"
#include "intake/annotations.h"
#include "intake/gdt_code.h"
#include "tests/cadhost/test_support.h"

namespace {

using namespace enginetest;
using cadhost::engine::Drawing;
using cadhost::engine::Entity;
using cadhost::engine::Tags;
using model::Frame;

Json expectations() {
  return parseJson(readBytes(fixture("characteristics.json")));
}

struct Loaded {
  Opened o;
  const Drawing& d;
  std::map<std::string, int> byHandle;  // model-space index

  explicit Loaded(const std::string& name)
      : o(open(fixture(name + ".dxf"))), d(o.engine->drawing()) {
    const auto& ms = d.modelSpace();
    for (std::size_t i = 0; i < ms.size(); ++i)
      if (auto h = cadhost::engine::findTag(tags(*ms[i]), 5))
        byHandle[std::string(h->value)] = static_cast<int>(i);
  }
  Tags tags(const Entity& e) const { return d.tags(e.rec); }
  const Entity& entity(const std::string& handle) {
    auto it = byHandle.find(handle);
    if (it == byHandle.end()) throw std::runtime_error("no entity " + handle);
    return *d.modelSpace()[static_cast<std::size_t>(it->second)];
  }
  cadhost::EntityRef item(const std::string& handle) {
    return o.ms().Item(byHandle.at(handle));
  }
};

std::string modifierText(const std::vector<model::Modifier>& mods) {
  std::string out;
  for (auto m : mods) out += model::symbolOf(m);
  return out;
}

std::string modifierText(const Json& mods) {
  std::string out;
  for (const auto& m : mods.array) out += m.string;
  return out;
}

void checkTolerance(const model::ToleranceValue& got, const Json& want,
                    const std::string& where) {
  std::string zone = got.zone == model::Zone::Diameter            ? "Ø"
                     : got.zone == model::Zone::SphericalDiameter ? "SØ"
                                                                  : "";
  EXPECT_EQ(zone, want.get("zone")->string) << where;
  EXPECT_EQ(got.text, want.get("value")->string) << where;
  ASSERT_TRUE(got.value) << where;
  EXPECT_DOUBLE_EQ(*got.value, want.get("number")->number) << where;
  EXPECT_EQ(modifierText(got.modifiers), modifierText(*want.get("modifiers")))
      << where;
}

void checkFrame(const Frame& f, const Json& want, const std::string& where) {
  EXPECT_EQ(f.understood(), want.get("understood")->boolean) << where;
  const Json& display = *want.get("display");
  ASSERT_EQ(f.rows.size(), display.array.size()) << where;
  for (std::size_t r = 0; r < f.rows.size(); ++r)
    EXPECT_EQ(model::rowText(f, r), display.array[r].string) << where;
  const Json* rows = want.get("rows");
  if (rows->type == Json::Null) return;  // shown as written, checked above
  ASSERT_EQ(f.rows.size(), rows->array.size()) << where;
  for (std::size_t r = 0; r < f.rows.size(); ++r) {
    const model::FrameRow& got = f.rows[r];
    const Json& w = rows->array[r];
    std::string at = where + " row " + std::to_string(r);
    if (w.get("symbol")->type == Json::Null)
      EXPECT_FALSE(got.symbol) << at;
    else if (got.symbol)
      EXPECT_EQ(model::infoOf(*got.symbol).name, w.get("symbol")->string) << at;
    else
      ADD_FAILURE() << at << ": no symbol";
    checkTolerance(got.tolerance, *w.get("tolerance"), at);
    const Json& t2 = *w.get("tolerance2");
    EXPECT_EQ(got.secondTolerance.has_value(), t2.type != Json::Null) << at;
    if (got.secondTolerance && t2.type != Json::Null)
      checkTolerance(*got.secondTolerance, t2, at + " tolerance 2");
    const Json& datums = *w.get("datums");
    ASSERT_EQ(got.datums.size(), datums.array.size()) << at;
    for (std::size_t k = 0; k < got.datums.size(); ++k) {
      EXPECT_EQ(got.datums[k].letters, datums.array[k].get("letters")->string)
          << at;
      EXPECT_EQ(modifierText(got.datums[k].modifiers),
                modifierText(*datums.array[k].get("modifiers")))
          << at;
    }
  }
  const Json& projected = *want.get("projected");
  EXPECT_EQ(f.projected.has_value(), projected.type != Json::Null) << where;
  if (f.projected && projected.type != Json::Null) {
    EXPECT_EQ(f.projected->heightText, projected.get("height")->string)
        << where;
  }
  EXPECT_EQ(f.datumIdentifier, want.get("identifier")->string) << where;
}

class Characteristics : public ::testing::TestWithParam<std::string> {};

TEST_P(Characteristics, EveryFrameAsTheGeneratorWroteIt) {
  Json want = expectations();
  Loaded l(GetParam());
  int tolerances = 0;
  for (const Entity* e : l.d.modelSpace()) tolerances += e->type == "TOLERANCE";
  int expected = 0;
  for (const Json& w : want.get("frames")->array) {
    std::string handle = w.get("handle")->string;
    const Entity& e = l.entity(handle);
    std::string where = GetParam() + " " + handle;
    if (w.get("entity")->string == "TOLERANCE") {
      ++expected;
      ASSERT_EQ(e.type, "TOLERANCE") << where;
      Frame f = intake::decodeToleranceText(
          cadhost::engine::textValue(l.d, l.tags(e), 1));
      checkFrame(f, w, where);
      // A leader carrying the frame points at it.
      if (w.get("leader")->type == Json::String) {
        Tags leader = l.tags(l.entity(w.get("leader")->string));
        EXPECT_EQ(cadhost::engine::integer(leader, 73, -1), 1) << where;
        auto points = cadhost::engine::findTag(leader, 340);
        ASSERT_TRUE(points) << where;
        EXPECT_EQ(points->value, handle) << where;
      }
    } else {
      auto f = intake::decodeMTextFrame(l.item(handle)->TextString());
      ASSERT_TRUE(f) << where;
      checkFrame(*f, w, where);
    }
  }
  // Every TOLERANCE of model space is among them.
  EXPECT_EQ(tolerances, expected);
  EXPECT_GT(expected, 20);
}

TEST_P(Characteristics, RoughnessOfBlocksAndTexts) {
  Json want = expectations();
  Loaded l(GetParam());
  for (const Json& w : want.get("roughness")->array) {
    std::string handle = w.get("handle")->string;
    std::string where = GetParam() + " " + handle;
    const Entity& e = l.entity(handle);
    std::vector<intake::Roughness> got;
    if (e.type == "INSERT") {
      auto parts = cadhost::engine::subRecords(l.tags(e));
      std::string block = cadhost::engine::textValue(l.d, parts[0], 2);
      EXPECT_EQ(block, w.get("block")->string) << where;
      std::vector<intake::Attribute> attributes;
      for (std::size_t k = 1; k < parts.size(); ++k)
        if (parts[k][0].value == "ATTRIB")
          attributes.push_back(
              {cadhost::engine::textValue(l.d, parts[k], 2),
               intake::plainText(cadhost::engine::textValue(l.d, parts[k], 1),
                                 false)});
      ASSERT_FALSE(attributes.empty()) << where;
      if (auto r = intake::roughnessOfBlock(block, attributes))
        got.push_back(*r);
    } else {
      got = intake::roughnessInText(
          intake::plainText(l.item(handle)->TextString(), e.type == "MTEXT"));
    }
    const Json& values = *w.get("values");
    ASSERT_EQ(got.size(), values.array.size()) << where;
    for (std::size_t k = 0; k < got.size(); ++k) {
      const Json& v = values.array[k];
      EXPECT_EQ(got[k].parameter, v.get("parameter")->string) << where;
      EXPECT_EQ(got[k].valueText, v.get("value")->string) << where;
      EXPECT_DOUBLE_EQ(got[k].value, v.get("number")->number) << where;
      EXPECT_EQ(got[k].lowerLimit, v.get("lower")->boolean) << where;
      EXPECT_EQ(got[k].rest, v.get("rest")->boolean) << where;
    }
  }
}

TEST_P(Characteristics, NotesAmongAllTheTexts) {
  Json want = expectations();
  Loaded l(GetParam());
  // Every text of the drawing, frames and roughness included, as the
  // extraction will hand them over.
  std::vector<intake::PlacedText> texts;
  std::vector<std::string> handles;
  for (const auto& [handle, index] : l.byHandle) {
    const Entity& e = l.entity(handle);
    if (e.type != "TEXT" && e.type != "MTEXT") continue;
    cadhost::EntityRef item = l.o.ms().Item(index);
    cadhost::Point at = item->InsertionPoint();
    texts.push_back({intake::plainText(item->TextString(), e.type == "MTEXT"),
                     at[0], at[1], item->Height()});
    handles.push_back(handle);
  }
  auto groups = intake::groupNotes(texts);
  const auto& wanted = want.get("notes")->array;
  ASSERT_EQ(groups.size(), wanted.size());
  std::map<std::string, const intake::NoteGroup*> byHeading;
  for (const auto& g : groups)
    byHeading[handles[static_cast<std::size_t>(g.headingSource)]] = &g;
  for (const Json& w : wanted) {
    std::string where = GetParam() + " " + w.get("heading_handle")->string;
    auto it = byHeading.find(w.get("heading_handle")->string);
    ASSERT_NE(it, byHeading.end()) << where;
    const intake::NoteGroup& g = *it->second;
    EXPECT_EQ(g.heading, w.get("heading")->string) << where;
    const auto& items = w.get("items")->array;
    ASSERT_EQ(g.items.size(), items.size()) << where;
    for (std::size_t k = 0; k < items.size(); ++k) {
      const intake::NoteItem& got = g.items[k];
      EXPECT_EQ(got.label, items[k].get("label")->string) << where;
      EXPECT_EQ(got.number, items[k].get("number")->number) << where;
      EXPECT_EQ(got.text, items[k].get("text")->string) << where;
      EXPECT_EQ(got.shown, items[k].get("shown")->string) << where;
      EXPECT_EQ(handles[static_cast<std::size_t>(got.source)],
                items[k].get("source")->string)
          << where;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drawings, Characteristics,
                         ::testing::Values("characteristics_r2010",
                                           "characteristics_r2000_gbk"));

}  // namespace
