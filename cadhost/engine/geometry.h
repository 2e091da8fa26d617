// Vector helpers, the object coordinate system (OCS) of planar entities,
// and the geometry edits and bounds of entities over their tags.
#pragma once

#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "cadhost/engine/drawing.h"

namespace cadhost::engine {

inline Point add(const Point& a, const Point& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Point sub(const Point& a, const Point& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Point mul(const Point& a, double f) {
  return {a[0] * f, a[1] * f, a[2] * f};
}
inline double dot(const Point& a, const Point& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Point cross(const Point& a, const Point& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
          a[0] * b[1] - a[1] * b[0]};
}
inline double length(const Point& a) { return std::sqrt(dot(a, a)); }
inline double distance2d(const Point& a, const Point& b) {
  return std::hypot(a[0] - b[0], a[1] - b[1]);
}

// The arbitrary-axis coordinate system of an extrusion direction.
class Ocs {
 public:
  explicit Ocs(const Point& extrusion = {0, 0, 1});
  bool isWorld() const { return world_; }
  Point toWcs(const Point& p) const;
  Point fromWcs(const Point& p) const;

 private:
  bool world_ = true;
  Point ax_{1, 0, 0}, ay_{0, 1, 0}, az_{0, 0, 1};
};

// Angles as files give them may be any size, or not finite. These reduce
// them once, so that no loop steps through turns: an angle to [0, 2π), and
// the counter-clockwise sweep from one angle to another to (0, 2π], equal
// angles making a full turn. NaN when an angle is not finite.
double reduceAngle(double radians);
double sweepBetween(double startRadians, double endRadians);
double reduceDegrees(double degrees);  // to [0, 360)

// The OCS of an entity's tags (group 210), world when absent.
Ocs ocsOf(Tags tags);

// Axis-aligned bounds in WCS.
struct Bounds {
  Point min{1e300, 1e300, 1e300};
  Point max{-1e300, -1e300, -1e300};
  bool empty() const { return min[0] > max[0]; }
  void add(const Point& p);
  void add(const Bounds& b);
};

// Moves or scales an entity's tags in place. Returns false when the entity
// kind has no such edit here (its tags are then unchanged).
bool translateEntity(std::string_view type, std::vector<Tag>& tags,
                     const Point& delta, Arena& arena);
bool scaleEntity(std::string_view type, std::vector<Tag>& tags,
                 const Point& base, double factor, Arena& arena);

// Bounds of model space computed from the geometry; blocks are followed
// through block references and dimension blocks.
Bounds modelSpaceBounds(const Drawing& d);
// Whether the base point of every model-space entity lies inside the box
// grown by `slack`: a quick test of header extents for staleness.
bool anchorsWithin(const Drawing& d, const Point& lo, const Point& hi,
                   double slack);
Bounds entityBounds(const Drawing& d, const Entity& e, int depth = 0);

}  // namespace cadhost::engine
