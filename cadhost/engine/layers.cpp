#include "cadhost/engine/layers.h"

#include <cstdlib>
#include <string>

namespace cadhost::engine {

namespace {

// Index of the record's own tag with this code, outside 102 groups.
long ownIndex(const std::vector<Tag>& tags, std::size_t ownEnd, int code) {
  bool inGroup = false;
  for (std::size_t i = 0; i < ownEnd; ++i) {
    if (tags[i].code == 102) {
      inGroup = !tags[i].value.ends_with('}');
      continue;
    }
    if (!inGroup && tags[i].code == code) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace

bool layerOff(const Drawing& d, const TableEntry& layer) {
  return integer(ownTags(d.tags(layer.rec)), 62, 7) < 0;
}

bool layerFrozen(const Drawing& d, const TableEntry& layer) {
  return (integer(ownTags(d.tags(layer.rec)), 70, 0) & 1) != 0;
}

bool everyLayerHidden(const Drawing& d) {
  const Table* t = d.table("LAYER");
  if (!t) return false;
  bool any = false;
  for (const auto& e : t->entries) {
    if (e->rec.erased) continue;
    if (!layerOff(d, *e) && !layerFrozen(d, *e)) return false;
    any = true;
  }
  return any;
}

std::optional<std::vector<Tag>> switchedLayer(Drawing& d,
                                              const TableEntry& layer, bool on,
                                              bool thaw) {
  std::vector<Tag> tags = d.copyTags(layer.rec);
  const std::size_t ownEnd = ownTags(Tags(tags)).size();
  bool changed = false;
  long colour = ownIndex(tags, ownEnd, 62);
  long long aci =
      colour < 0
          ? 7
          : parseInt(tags[static_cast<std::size_t>(colour)].value).value_or(7);
  if (aci != 0 && (aci < 0) == on) {
    std::string text = std::to_string(on ? std::llabs(aci) : -std::llabs(aci));
    if (colour >= 0) {
      tags[static_cast<std::size_t>(colour)] = Tag{62, -1, d.keep(text)};
    } else {
      // No colour is white and on; off needs one written.
      long after = ownIndex(tags, ownEnd, 70);
      if (after < 0) after = ownIndex(tags, ownEnd, 2);
      auto at = after < 0 ? tags.begin() + static_cast<long>(ownEnd)
                          : tags.begin() + after + 1;
      tags.insert(at, Tag{62, -1, d.keep(text)});
    }
    changed = true;
  }
  if (thaw) {
    std::size_t end = ownTags(Tags(tags)).size();
    long flags = ownIndex(tags, end, 70);
    if (flags >= 0) {
      Tag& f = tags[static_cast<std::size_t>(flags)];
      long long v = parseInt(f.value).value_or(0);
      if (v & 1) {
        f = Tag{70, -1, d.keep(std::to_string(v & ~1LL))};
        changed = true;
      }
    }
  }
  if (!changed) return std::nullopt;
  return tags;
}

}  // namespace cadhost::engine
