// Inside the scene: how entities become primitives. Shared by the files
// that build them (scene.cpp, dimension_view.cpp); not for other users.
#pragma once

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cadhost/engine/drawing.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"

namespace cadhost::viewer {

// x' = a x + c y + e, y' = b x + d y + f
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

  Vec2 operator()(Vec2 p) const {
    return {a * p.x + c * p.y + e, b * p.x + d * p.y + f};
  }
  Vec2 linear(Vec2 v) const { return {a * v.x + c * v.y, b * v.x + d * v.y}; }
  // This after o.
  Affine operator*(const Affine& o) const {
    return {a * o.a + c * o.b, b * o.a + d * o.b,     a * o.c + c * o.d,
            b * o.c + d * o.d, a * o.e + c * o.f + e, b * o.e + d * o.f + f};
  }
  double det() const { return a * d - b * c; }
  // Keeps circles circles (uniform scale, rotation, mirror).
  bool similar() const {
    double s1 = a * a + b * b, s2 = c * c + d * d;
    double tol = 1e-9 * std::max(s1, s2);
    return std::fabs(s1 - s2) <= tol && std::fabs(a * c + b * d) <= tol;
  }
  double scale() const { return std::sqrt(std::fabs(det())); }

  static Affine translate(Vec2 t) { return {1, 0, 0, 1, t.x, t.y}; }
  static Affine rotate(double rad) {
    double cs = std::cos(rad), sn = std::sin(rad);
    return {cs, sn, -sn, cs, 0, 0};
  }
  static Affine scaling(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
};

// The projection to the XY plane of an object coordinate system at an
// elevation.
Affine ocsAffine(engine::Tags own, double elevation = 0);

struct LayerInfo {
  PrimColor color;
  std::string linetype = "CONTINUOUS";
  bool off = false, frozen = false, plot = true;
};

struct TextStyle {
  double widthFactor = 1, oblique = 0, fixedHeight = 0;
  bool backwards = false, upsideDown = false;
  bool trueType = false;  // its font is TrueType
};

// What a block reference hands down to the entities of its block.
struct Context {
  Affine xf;
  int depth = 0;
  PrimColor byBlock;  // what colour 0 means
  std::string byBlockLinetype = "CONTINUOUS";
  const LayerInfo* parentLayer = nullptr;  // what layer 0 means
  bool plot = true;
  // A dimension's own text, when the text of its block is out of date.
  const std::string* dimensionText = nullptr;
  // The measured value that "<>" in the block's texts stands for.
  const std::string* dimensionValue = nullptr;
  // Inside a dimension's block, whose layer-0 parts follow the
  // dimension's colour.
  bool dimensionBlock = false;
  // A dimension recoloured since loading (the browser's highlight) shows
  // every part in its new colour, not only the parts drawn by block.
  std::optional<PrimColor> wholeColor;
};

struct Scene::Builder {
  Builder(Scene& s, const FontMetrics& m) : scene(s), metrics(m) {}

  // Reads the tables once per build.
  void prepare(const engine::Drawing& d);
  // One model-space entity.
  void topLevel(const engine::Entity& e);
  // An entity record (with its followers) under a context.
  void record(std::string_view type, engine::Tags tags, const Context& c);

  // The entity's colour, line type and plot flag; false when its layer
  // hides it.
  bool resolve(engine::Tags own, const Context& c, Style& out,
               const LayerInfo** layer = nullptr);
  PrimColor colorOf(int aci, const Context& c, const LayerInfo& layer) const;
  std::uint32_t dashesFor(const std::string& linetype, double scale);
  const LayerInfo& layer(const std::string& name) const;
  const TextStyle& textStyle(const std::string& name) const;

  // Geometry in local coordinates, mapped by m.
  void polyline(std::vector<Vec2> pts, bool closed, const Affine& m,
                const Style& s, double width = 0);
  void arc(Vec2 center, double r, double start, double sweep, const Affine& m,
           const Style& s);
  void fill(std::vector<std::vector<Vec2>> rings, const Affine& m,
            const Style& s);
  // A run laid out in a frame; `frame` maps the frame to the world.
  void run(TextRun r, const Affine& frame, const Style& s);
  void mtext(const MTextSpec& spec, const Affine& frame, const Style& s,
             const Context& c, const LayerInfo& layer);
  void blockRef(const engine::Block& b, const Affine& m, const Context& c);
  // A filled arrowhead (or the named kind) with its tip at `tip` pointing
  // along `dir`, in world coordinates.
  void arrow(Vec2 tip, Vec2 dir, double size, const std::string& kind,
             const Style& s);

  void line(engine::Tags own, const Context& c);
  void circleOrArc(std::string_view type, engine::Tags own, const Context& c);
  void ellipse(engine::Tags own, const Context& c);
  void lwpolyline(engine::Tags own, const Context& c);
  void polyline2(engine::Tags tags, const Context& c);
  void spline(engine::Tags own, const Context& c);
  // `value` (file text) stands in for the text of the entity.
  void text(std::string_view type, engine::Tags own, const Context& c,
            const std::string* value = nullptr);
  void mleader(engine::Tags own, const Context& c);
  PrimColor rawColor(long long raw, const Style& entity, const Context& c,
                     const LayerInfo& l) const;
  void mtextEntity(engine::Tags own, const Context& c);
  // Multiline text from these tags (an MTEXT's, or those embedded in a
  // multi-line attribute), already resolved to `s`.
  void mtextBody(engine::Tags own, const std::string& styleName, const Style& s,
                 const LayerInfo& l, const Context& c);
  void insert(engine::Tags tags, const Context& c);
  void dimension(std::string_view type, engine::Tags tags,
                 engine::Tags original, const Context& c);
  void dimensionFromPoints(std::string_view type, engine::Tags own,
                           const Context& c, const Style& s);
  void hatch(engine::Tags own, const Context& c);
  void solid(std::string_view type, engine::Tags own, const Context& c);
  void leader(engine::Tags own, const Context& c);
  void tolerance(engine::Tags own, const Context& c);
  void image(std::string_view type, engine::Tags own, const Context& c);
  void point(engine::Tags own, const Context& c);
  void ray(std::string_view type, engine::Tags own, const Context& c);
  void mline(engine::Tags own, const Context& c);
  void mesh(engine::Tags own, const Context& c);
  // The graphics a proxy carries (groups 92 and 310); false when it has
  // none.
  bool proxyGraphics(engine::Tags own, const Context& c);

  Scene& scene;
  const FontMetrics& metrics;
  const engine::Drawing* d = nullptr;
  std::map<std::string, LayerInfo> layers;  // upper-case names
  std::map<std::string, std::vector<double>> linetypes;
  std::map<std::string, TextStyle> styles;
  std::map<std::pair<std::string, double>, std::uint32_t> dashCache;
  double ltscale = 1;
  // Where the primitives of the model-space entity being built begin: a
  // block nested many times over must not flood the scene.
  std::size_t entityStart = 0;
  std::size_t visits = 0;  // block entities visited for it
  bool overBudget() const;
  // Multiline styles by handle and by upper-case name, read at the first
  // multiline.
  bool mlineStylesRead = false;
  std::map<std::uint64_t, std::vector<engine::Tag>> mlineStyles;
  std::map<std::string, std::vector<engine::Tag>> mlineStyleNames;
  LayerInfo defaultLayer;
  TextStyle defaultStyle;
};

// The measured value as the dimension style writes it (no prefix, no
// tolerance).
std::string dimensionValue(const engine::Drawing& d, std::string_view type,
                           engine::Tags tags);
// The text a dimension shows, in multiline-text codes, from its
// measurement and its style with overrides.
std::string dimensionText(const engine::Drawing& d, std::string_view type,
                          engine::Tags tags);

// Boundary loops and pattern of a hatch, in its object coordinates.
struct HatchLine {
  double angle = 0;
  Vec2 base, offset;
  std::vector<double> dashes;
};
struct HatchData {
  bool solid = false;
  double elevation = 0;
  std::vector<std::vector<Vec2>> loops;
  std::vector<HatchLine> lines;
};
HatchData parseHatch(engine::Tags own);
// The pattern's strokes clipped to the loops (even-odd), as segment
// pairs; empty when there would be more than `limit` of them, or when
// cutting the lines with the loops' edges would take too long.
std::vector<Vec2> hatchStrokes(const HatchData& h, std::size_t limit);

// Points along a B-spline (NURBS with weights); empty when the knots do
// not fit the control points or the degree is beyond 25.
std::vector<Vec2> splinePoints(int degree, const std::vector<double>& knots,
                               const std::vector<Vec2>& ctrl,
                               std::vector<double> weights,
                               std::size_t samples);

// Points along a circular arc of a polyline segment with a bulge,
// excluding the start point.
void bulgePoints(Vec2 p, Vec2 q, double bulge, std::vector<Vec2>& out);

}  // namespace cadhost::viewer
