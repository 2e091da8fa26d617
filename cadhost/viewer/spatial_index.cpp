#include "cadhost/viewer/spatial_index.h"

#include <algorithm>
#include <cmath>

namespace cadhost::viewer {

namespace {

constexpr std::size_t kFanout = 16;

double cx(const Box& b) { return (b.x0 + b.x1) * 0.5; }
double cy(const Box& b) { return (b.y0 + b.y1) * 0.5; }

// Sort-tile-recursive order: vertical slices by x, each slice by y, so
// that runs of kFanout items make compact nodes.
template <typename T, typename BoxOf>
void strOrder(std::vector<T>& items, BoxOf boxOf) {
  std::size_t n = items.size();
  if (n <= kFanout) return;
  std::sort(items.begin(), items.end(), [&](const T& a, const T& b) {
    return cx(boxOf(a)) < cx(boxOf(b));
  });
  std::size_t leaves = (n + kFanout - 1) / kFanout;
  auto slices = static_cast<std::size_t>(
      std::ceil(std::sqrt(static_cast<double>(leaves))));
  std::size_t perSlice = slices * kFanout;
  for (std::size_t s = 0; s < n; s += perSlice) {
    auto b = items.begin() + static_cast<long>(s);
    auto e = items.begin() + static_cast<long>(std::min(n, s + perSlice));
    std::sort(b, e, [&](const T& x, const T& y) {
      return cy(boxOf(x)) < cy(boxOf(y));
    });
  }
}

}  // namespace

void SpatialIndex::clear() {
  nodes_.clear();
  entries_.clear();
  entryBoxes_.clear();
  leaves_ = 0;
}

void SpatialIndex::build(std::vector<Item> items) {
  clear();
  std::erase_if(items, [](const Item& i) { return i.box.empty(); });
  leaves_ = items.size();
  if (items.empty()) return;
  strOrder(items, [](const Item& i) -> const Box& { return i.box; });
  entries_.reserve(items.size());
  entryBoxes_.reserve(items.size());
  for (const Item& i : items) {
    entries_.push_back(i.id);
    entryBoxes_.push_back(i.box);
  }

  std::vector<Node> level;
  for (std::size_t s = 0; s < items.size(); s += kFanout) {
    Node n;
    n.leaf = true;
    n.first = static_cast<std::uint32_t>(s);
    n.count = static_cast<std::uint32_t>(std::min(kFanout, items.size() - s));
    for (std::uint32_t k = 0; k < n.count; ++k) n.box.add(entryBoxes_[s + k]);
    level.push_back(n);
  }
  while (true) {
    strOrder(level, [](const Node& n) -> const Box& { return n.box; });
    auto base = static_cast<std::uint32_t>(nodes_.size());
    nodes_.insert(nodes_.end(), level.begin(), level.end());
    if (level.size() == 1) break;
    std::vector<Node> parents;
    for (std::size_t s = 0; s < level.size(); s += kFanout) {
      Node p;
      p.first = base + static_cast<std::uint32_t>(s);
      p.count = static_cast<std::uint32_t>(std::min(kFanout, level.size() - s));
      for (std::uint32_t k = 0; k < p.count; ++k)
        p.box.add(nodes_[p.first + k].box);
      parents.push_back(p);
    }
    level = std::move(parents);
  }
}

void SpatialIndex::query(const Box& box,
                         std::vector<std::uint32_t>& out) const {
  if (nodes_.empty()) return;
  std::vector<std::uint32_t> stack;
  stack.reserve(256);
  stack.push_back(static_cast<std::uint32_t>(nodes_.size() - 1));
  while (!stack.empty()) {
    const Node& n = nodes_[stack.back()];
    stack.pop_back();
    if (!n.box.intersects(box)) continue;
    if (n.leaf) {
      if (box.contains(n.box)) {
        out.insert(out.end(), entries_.begin() + n.first,
                   entries_.begin() + n.first + n.count);
        continue;
      }
      for (std::uint32_t k = n.first; k < n.first + n.count; ++k)
        if (entryBoxes_[k].intersects(box)) out.push_back(entries_[k]);
      continue;
    }
    for (std::uint32_t k = n.first; k < n.first + n.count; ++k)
      stack.push_back(k);
  }
}

}  // namespace cadhost::viewer
