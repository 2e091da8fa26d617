// The walk over model space that lists every frame row, roughness value and
// note item, checked against what the generator of the fixture drawings put
// in (tests/fixtures/dxf/make_characteristics.py): each exactly once, in the
// order of their entities, with the limits the verdict will use.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "intake/characteristics.h"
#include "model/characteristic.h"
#include "tests/cadhost/test_support.h"

namespace {

using namespace enginetest;
using dimtable::Bound;

struct Want {
  int entity = 0;
  int order = 0;
  model::CharacteristicKind kind{};
  std::string value;  // the shown text, or a part of it
  bool exact = true;
  std::int8_t frameRow = 0;
  double up = 0;
  Bound bound = Bound::None;
};

class Walk : public ::testing::TestWithParam<std::string> {};

TEST_P(Walk, EveryCharacteristicOnceInEntityOrder) {
  const Json want = parseJson(readBytes(fixture("characteristics.json")));
  Opened o = open(fixture(GetParam() + ".dxf"));
  std::map<std::string, int> byHandle;
  cadhost::ModelSpace& ms = o.ms();
  const auto& d = o.engine->drawing();
  for (std::size_t i = 0; i < d.modelSpace().size(); ++i)
    if (auto h = cadhost::engine::findTag(d.tags(d.modelSpace()[i]->rec), 5))
      byHandle[std::string(h->value)] = static_cast<int>(i);

  std::vector<Want> wanted;
  for (const Json& f : want.get("frames")->array) {
    const auto& display = f.get("display")->array;
    const Json* rows = f.get("rows");
    for (std::size_t r = 0; r < display.size(); ++r) {
      Want w;
      w.entity = byHandle.at(f.get("handle")->string);
      w.order = static_cast<int>(r);
      w.kind = model::CharacteristicKind::Gdt;
      w.value = display[r].string;
      w.frameRow = display.size() == 2 ? static_cast<std::int8_t>(r + 1) : 0;
      // A frame not understood keeps its text and gets no limit.
      if (f.get("understood")->boolean && rows->type != Json::Null) {
        const Json* t = rows->array[r].get("tolerance");
        if (t->type != Json::Null) {
          w.up = t->get("number")->number;
          w.bound = Bound::Upper;
        }
      }
      wanted.push_back(w);
    }
  }
  for (const Json& g : want.get("roughness")->array) {
    int k = 0;
    for (const Json& v : g.get("values")->array) {
      Want w;
      w.entity = byHandle.at(g.get("handle")->string);
      w.order = k++;
      w.kind = model::CharacteristicKind::Roughness;
      w.value = v.get("value")->string;
      w.exact = false;
      w.up = v.get("number")->number;
      w.bound = v.get("lower")->boolean ? Bound::Lower : Bound::Upper;
      wanted.push_back(w);
    }
  }
  for (const Json& n : want.get("notes")->array) {
    int k = 0;
    for (const Json& item : n.get("items")->array) {
      Want w;
      w.entity = byHandle.at(item.get("source")->string);
      w.order = ++k;
      w.kind = model::CharacteristicKind::Note;
      w.value = item.get("shown")->string;
      wanted.push_back(w);
    }
  }
  std::stable_sort(
      wanted.begin(), wanted.end(), [](const Want& a, const Want& b) {
        return std::tie(a.entity, a.order) < std::tie(b.entity, b.order);
      });

  const auto got = intake::readCharacteristics(ms);
  ASSERT_EQ(got.size(), wanted.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    const auto& g = got[i];
    const Want& w = wanted[i];
    const std::string where = GetParam() + " #" + std::to_string(i);
    EXPECT_EQ(g.entityIndex, w.entity) << where;
    EXPECT_EQ(model::kindOfType(g.type), w.kind) << where << " " << g.type;
    if (w.exact)
      EXPECT_EQ(g.value, w.value) << where;
    else
      EXPECT_NE(g.value.find(w.value), std::string::npos)
          << where << " " << g.value;
    EXPECT_EQ(g.frameRow, w.frameRow) << where;
    EXPECT_EQ(g.bound, w.bound) << where;
    EXPECT_FLOAT_EQ(g.up, static_cast<float>(w.up)) << where;
    EXPECT_EQ(g.low, 0.0f) << where;
    // The entry stands where its entity is drawn (a note item on its line).
    if (w.kind != model::CharacteristicKind::Note) {
      const cadhost::Point at = ms.Item(w.entity)->InsertionPoint();
      EXPECT_FLOAT_EQ(g.x, static_cast<float>(at[0])) << where;
      EXPECT_FLOAT_EQ(g.y, static_cast<float>(at[1])) << where;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Drawings, Walk,
                         ::testing::Values("characteristics_r2010",
                                           "characteristics_r2000_gbk"));

}  // namespace

namespace {

// A drawing numbered before holds its marks: a number beside a note's line
// is not read into the note.
TEST(Walk, MarksBesideANoteAreNoPartOfIt) {
  Opened o = open(fixture("characteristics_r2010.dxf"));
  cadhost::ModelSpace& ms = o.ms();
  const auto before = intake::readCharacteristics(ms);
  std::vector<std::string> notes;
  for (const auto& r : before)
    if (model::kindOfType(r.type) == model::CharacteristicKind::Note) {
      notes.push_back(r.value);
      // Left of the item, on its line, as a mark's number stands.
      ms.AddCircle({r.x - 3, r.y + 1, 0}, 2.5);
      ms.AddText(std::to_string(notes.size() + 40), {r.x - 4, r.y, 0}, 3);
    }
  ASSERT_GT(notes.size(), 10u);
  std::vector<std::string> after;
  for (const auto& r : intake::readCharacteristics(ms))
    if (model::kindOfType(r.type) == model::CharacteristicKind::Note)
      after.push_back(r.value);
  EXPECT_EQ(after, notes);
}

}  // namespace
