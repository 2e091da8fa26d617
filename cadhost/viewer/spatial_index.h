// Axis-aligned boxes and a packed R-tree over them: built once from a list
// of boxes, it answers which of them touch a query box.
#pragma once

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "cadhost/viewer/canvas.h"

namespace cadhost::viewer {

struct Box {
  double x0 = std::numeric_limits<double>::infinity();
  double y0 = std::numeric_limits<double>::infinity();
  double x1 = -std::numeric_limits<double>::infinity();
  double y1 = -std::numeric_limits<double>::infinity();

  bool empty() const { return x0 > x1 || y0 > y1; }
  void add(Vec2 p) {
    if (!(p.x == p.x) || !(p.y == p.y)) return;  // NaN
    if (p.x < x0) x0 = p.x;
    if (p.x > x1) x1 = p.x;
    if (p.y < y0) y0 = p.y;
    if (p.y > y1) y1 = p.y;
  }
  void add(const Box& b) {
    if (b.empty()) return;
    add(Vec2{b.x0, b.y0});
    add(Vec2{b.x1, b.y1});
  }
  bool intersects(const Box& b) const {
    return x0 <= b.x1 && b.x0 <= x1 && y0 <= b.y1 && b.y0 <= y1;
  }
  bool contains(const Box& b) const {
    return x0 <= b.x0 && b.x1 <= x1 && y0 <= b.y0 && b.y1 <= y1;
  }
  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
};

class SpatialIndex {
 public:
  struct Item {
    Box box;
    std::uint32_t id;
  };
  // Indexes the items; empty boxes are left out.
  void build(std::vector<Item> items);
  // Appends the ids whose boxes touch `box` (in no particular order).
  void query(const Box& box, std::vector<std::uint32_t>& out) const;
  void clear();
  std::size_t size() const { return leaves_; }

 private:
  struct Node {
    Box box;
    std::uint32_t first = 0;  // first child node, or first leaf entry
    std::uint32_t count = 0;
    bool leaf = false;
  };
  std::vector<Node> nodes_;             // root last
  std::vector<std::uint32_t> entries_;  // ids in leaf order
  std::vector<Box> entryBoxes_;
  std::size_t leaves_ = 0;
};

}  // namespace cadhost::viewer
