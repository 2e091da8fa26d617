// The drawing as the viewer draws it: every visible entity of model space
// turned into primitives in world coordinates, with resolved colours and
// line types, indexed by area. Built once per drawing and brought up to
// date entity by entity after edits.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#include "cadhost/engine/drawing.h"
#include "cadhost/viewer/canvas.h"
#include "cadhost/viewer/spatial_index.h"

namespace cadhost::viewer {

class FontMetrics;

// How a primitive is coloured: its own colour, or the drawing's
// foreground (colour 7: white on screen, black on paper), or the
// background (wipeouts).
enum class ColorRole : std::uint8_t { Own, Foreground, Background };

struct PrimColor {
  Rgb rgb{255, 255, 255};
  ColorRole role = ColorRole::Foreground;
  bool operator==(const PrimColor&) const = default;
};

enum class PrimKind : std::uint8_t {
  Line,
  Lines,
  Polyline,
  Arc,
  Fill,
  Text,
  Point,
  // An endless line (closed: both ways) from its first point along its
  // second; drawn across the view, framing nothing.
  Ray
};

struct ArcData {
  Vec2 center;
  double radius = 0, start = 0, sweep = 0;
};

struct Prim {
  PrimKind kind = PrimKind::Line;
  bool closed = false;  // polylines
  bool plot = true;     // drawn on paper too
  bool dead = false;    // replaced by a later build of its entity
  PrimColor color;
  float width = 0;          // drawing units
  std::uint32_t dash = 0;   // index into dashes(); 0 is continuous
  std::uint32_t order = 0;  // draw order of its entity
  std::uint32_t data = 0;   // first point, or index of its arc/fill/text
  std::uint32_t count = 0;  // number of points
  Box box;
};

class Scene {
 public:
  explicit Scene(const FontMetrics& metrics);
  ~Scene();
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Builds everything anew from the drawing.
  void build(const engine::Drawing& d);
  // Rebuilds only the entities that changed, appeared or went away since
  // the last build or update; tables changed means a full build. Returns
  // true when anything changed.
  bool update(const engine::Drawing& d);
  // Forgets everything: an empty scene.
  void reset() { clear(); }

  // Colours (colour numbers) shown over these entities' own, kept through
  // rebuilds until the next call; an empty set gives every entity its own
  // colour back. The drawing is not touched.
  void setOverlay(std::unordered_map<const engine::Entity*, int> colors);
  const std::unordered_map<const engine::Entity*, int>& overlay() const {
    return overlay_;
  }

  // Bounds of everything visible; empty for an empty drawing. Endless
  // lines do not count; with `plotOnly`, neither do non-plotting layers.
  Box extents() const;
  Box extents(bool plotOnly) const;
  // Builds the area index now rather than at the first query that needs
  // it (the first picture, showing everything, does not).
  void ensureIndex() const;
  // Living primitives that touch the box, in draw order.
  void query(const Box& box, std::vector<std::uint32_t>& out) const;

  const std::vector<Prim>& prims() const { return prims_; }
  const Prim& prim(std::uint32_t i) const { return prims_[i]; }
  std::span<const Vec2> points(const Prim& p) const {
    return std::span<const Vec2>(points_.data() + p.data, p.count);
  }
  const ArcData& arc(const Prim& p) const { return arcs_[p.data]; }
  const std::vector<std::vector<Vec2>>& fill(const Prim& p) const {
    return fills_[p.data];
  }
  const TextRun& text(const Prim& p) const { return texts_[p.data]; }
  std::span<const double> dashes(std::uint32_t index) const {
    return dashes_[index];
  }
  std::size_t livingCount() const { return prims_.size() - deadCount_; }

  // For the builder: stores primitives of the entity being built.
  struct Style {
    PrimColor color;
    std::uint32_t dash = 0;
    bool plot = true;
  };
  void addLine(Vec2 a, Vec2 b, const Style& s);
  void addLines(std::vector<Vec2> pairs, const Style& s);
  void addPolyline(std::vector<Vec2> pts, bool closed, const Style& s,
                   double width = 0);
  void addArc(const ArcData& a, const Style& s);
  void addFill(std::vector<std::vector<Vec2>> rings, const Style& s);
  void addText(TextRun run, const Style& s, const Box& box);
  void addPoint(Vec2 p, const Style& s);
  void addRay(Vec2 base, Vec2 dir, bool bothWays, const Style& s);
  std::uint32_t internDashes(const std::vector<double>& pattern);
  const FontMetrics& metrics() const { return metrics_; }

  // Turns entities into primitives (scene_builder.h).
  struct Builder;

 private:
  struct Slot {
    const engine::Entity* entity = nullptr;
    // The tag version it was built from, held so that its address cannot
    // be reused by a later edit.
    std::shared_ptr<const std::vector<engine::Tag>> edited;
    bool present = false;
    std::uint32_t order = 0;
    std::uint32_t begin = 0, end = 0;  // its primitives
    std::uint64_t seen = 0;
  };

  void clear();
  void buildSlot(const engine::Drawing& d, Slot& slot);
  // Paints a slot's primitives in its overlay colour, keeping their own.
  void applyOverlay(std::uint32_t slotIndex);
  void dropOverlay(std::uint32_t slotIndex, bool restore);
  void killSlot(Slot& slot);
  void reindex();
  void push(Prim p);
  // What the tables and blocks looked like at the last build; the edited
  // tags are held so that their addresses cannot be reused.
  struct TableMark {
    const void* entry;
    std::shared_ptr<const std::vector<engine::Tag>> edited;
    bool operator==(const TableMark&) const = default;
  };
  std::vector<TableMark> tableState(const engine::Drawing& d) const;

  const FontMetrics& metrics_;
  std::unique_ptr<Builder> builder_;
  std::vector<Prim> prims_;
  std::vector<Vec2> points_;
  std::vector<ArcData> arcs_;
  std::vector<std::vector<std::vector<Vec2>>> fills_;
  std::vector<TextRun> texts_;
  std::vector<std::vector<double>> dashes_;
  std::vector<std::uint32_t> rays_;  // in no box: every query takes them
  std::vector<Slot> slots_;
  std::unordered_map<const engine::Entity*, std::uint32_t> slotOf_;
  std::uint32_t currentOrder_ = 0;
  std::uint32_t nextOrder_ = 0;
  std::uint64_t generation_ = 0;
  std::vector<TableMark> tables_;
  std::size_t deadCount_ = 0;
  std::unordered_map<const engine::Entity*, int> overlay_;
  // The own colours of the primitives painted over, by slot.
  std::unordered_map<std::uint32_t, std::vector<PrimColor>> painted_;
  mutable SpatialIndex index_;
  std::uint32_t indexed_ = 0;  // primitives [0, indexed_) go into index_
  mutable bool indexStale_ = false;
  bool inOrder_ = true;  // primitives lie in draw order
  mutable Box extents_;
  mutable bool extentsValid_ = false;
};

}  // namespace cadhost::viewer
