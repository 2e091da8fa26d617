#include "cadhost/viewer/scene.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/text.h"
#include "cadhost/engine/dimension.h"
#include "cadhost/engine/geometry.h"
#include "cadhost/viewer/palette.h"
#include "cadhost/viewer/scene_builder.h"

namespace cadhost::viewer {

using engine::Tag;
using engine::Tags;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxPrimsPerEntity = 1000000;
constexpr std::size_t kMaxVisitsPerEntity = 1000000;

Vec2 xy(const cadhost::Point& p) { return {p[0], p[1]}; }

Vec2 pt(Tags own, int code, Vec2 fallback = {0, 0}) {
  auto p = engine::point(own, code);
  return p ? xy(*p) : fallback;
}

std::string upper(std::string_view s) { return engine::upperCase(s); }

using base::trimmed;

// Segments for a circle of this many radians: about one per 5 degrees.
int arcSegments(double sweep) {
  // Compared as doubles: a sweep beyond an int (or NaN) must not be cast.
  double n = std::ceil(std::fabs(sweep) / (kPi / 36));
  return n >= 2 && n <= 720 ? static_cast<int>(n) : n > 720 ? 720 : 2;
}

// The part of a text's tags before an attribute's subclass marker.
Tags textPart(Tags own) {
  for (std::size_t k = 0; k < own.size(); ++k)
    if (own[k].code == 100 && trimmed(own[k].value).starts_with("AcDbAttr"))
      return own.subspan(0, k);
  return own;
}

// A "<>" left in a dimension's block text stands for the measurement.
void replaceMeasured(std::string& text, const std::string& value) {
  for (std::size_t at = text.find("<>"); at != std::string::npos;
       at = text.find("<>", at + value.size()))
    text.replace(at, 2, value);
}

}  // namespace

Affine ocsAffine(Tags own, double elevation) {
  engine::Ocs ocs = engine::ocsOf(own);
  if (ocs.isWorld() && elevation == 0) return {};
  cadhost::Point o = ocs.toWcs({0, 0, elevation});
  cadhost::Point x = engine::sub(ocs.toWcs({1, 0, elevation}), o);
  cadhost::Point y = engine::sub(ocs.toWcs({0, 1, elevation}), o);
  return {x[0], x[1], y[0], y[1], o[0], o[1]};
}

void bulgePoints(Vec2 p, Vec2 q, double bulge, std::vector<Vec2>& out) {
  double chord = std::hypot(q.x - p.x, q.y - p.y);
  if (std::fabs(bulge) < 1e-12 || chord < 1e-12 || !std::isfinite(bulge)) {
    out.push_back(q);
    return;
  }
  double theta = 4 * std::atan(bulge);  // signed included angle
  double r = chord / (2 * std::sin(std::fabs(theta) / 2));
  Vec2 mid{(p.x + q.x) / 2, (p.y + q.y) / 2};
  Vec2 dir{(q.x - p.x) / chord, (q.y - p.y) / chord};
  Vec2 left{-dir.y, dir.x};
  // Distance from the chord's middle to the centre, signed to the left.
  double h = r * std::cos(std::fabs(theta) / 2);
  double side = bulge > 0 ? 1 : -1;
  Vec2 c{mid.x + left.x * h * side, mid.y + left.y * h * side};
  double a0 = std::atan2(p.y - c.y, p.x - c.x);
  int n = arcSegments(theta);
  for (int k = 1; k < n; ++k) {
    double a = a0 + theta * k / n;
    out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  out.push_back(q);
}

// ------------------------------------------------------------ scene

Scene::Scene(const FontMetrics& metrics)
    : metrics_(metrics), builder_(std::make_unique<Builder>(*this, metrics)) {
  clear();
}

Scene::~Scene() = default;

void Scene::clear() {
  prims_.clear();
  points_.clear();
  arcs_.clear();
  fills_.clear();
  texts_.clear();
  dashes_.assign(1, {});
  rays_.clear();
  slots_.clear();
  slotOf_.clear();
  painted_.clear();
  nextOrder_ = 0;
  deadCount_ = 0;
  index_.clear();
  indexed_ = 0;
  indexStale_ = false;
  inOrder_ = true;
  extentsValid_ = false;
  builder_->dashCache.clear();
}

std::vector<Scene::TableMark> Scene::tableState(
    const engine::Drawing& d) const {
  std::vector<TableMark> out;
  for (const char* name : {"LAYER", "LTYPE", "STYLE", "DIMSTYLE"}) {
    const engine::Table* t = d.table(name);
    if (!t) continue;
    for (const auto& e : t->entries)
      if (!e->rec.erased) out.push_back({e.get(), e->rec.edited});
  }
  for (const auto& b : d.blocks())
    if (!b->begin.erased) out.push_back({b.get(), nullptr});
  return out;
}

void Scene::build(const engine::Drawing& d) {
  clear();
  tables_ = tableState(d);
  builder_->prepare(d);
  ++generation_;
  // Room for the usual share of primitives and points per entity, so the
  // arrays do not move while they fill.
  std::size_t n = d.modelSpace().size();
  prims_.reserve(n * 3 / 2 + 64);
  points_.reserve(n * 6 + 256);
  arcs_.reserve(n / 4 + 16);
  texts_.reserve(n / 4 + 16);
  slots_.reserve(n);
  slotOf_.reserve(n);
  for (const engine::Entity* e : d.modelSpace()) {
    Slot s;
    s.entity = e;
    s.order = nextOrder_++;
    s.present = true;
    s.seen = generation_;
    slotOf_[e] = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back(s);
    buildSlot(d, slots_.back());
  }
  reindex();
}

bool Scene::update(const engine::Drawing& d) {
  if (tableState(d) != tables_) {
    build(d);
    return true;
  }
  builder_->d = &d;
  ++generation_;
  bool changed = false;
  for (const engine::Entity* e : d.modelSpace()) {
    auto it = slotOf_.find(e);
    if (it == slotOf_.end()) {
      Slot s;
      s.entity = e;
      s.order = nextOrder_++;
      s.present = true;
      s.seen = generation_;
      slotOf_[e] = static_cast<std::uint32_t>(slots_.size());
      slots_.push_back(s);
      buildSlot(d, slots_.back());
      changed = true;
      continue;
    }
    Slot& s = slots_[it->second];
    s.seen = generation_;
    if (!s.present || s.edited != e->rec.edited) {
      killSlot(s);
      s.present = true;
      buildSlot(d, s);
      // Its new primitives come after later entities' ones.
      if (s.end > s.begin) inOrder_ = false;
      changed = true;
    }
  }
  for (Slot& s : slots_)
    if (s.present && s.seen != generation_) {
      killSlot(s);
      s.present = false;
      changed = true;
    }
  if (!changed) return false;
  std::size_t overlay = prims_.size() - indexed_;
  if (deadCount_ > prims_.size() / 2 + 1024) {
    build(d);  // mostly replaced: start afresh
  } else if (overlay > 4096 + indexed_ / 8) {
    reindex();
  }
  return true;
}

void Scene::buildSlot(const engine::Drawing& d, Slot& slot) {
  slot.edited = slot.entity->rec.edited;
  slot.begin = static_cast<std::uint32_t>(prims_.size());
  currentOrder_ = slot.order;
  builder_->d = &d;
  builder_->topLevel(*slot.entity);
  slot.end = static_cast<std::uint32_t>(prims_.size());
  if (overlay_.contains(slot.entity)) applyOverlay(slotOf_.at(slot.entity));
}

void Scene::applyOverlay(std::uint32_t slotIndex) {
  const Slot& slot = slots_[slotIndex];
  auto it = overlay_.find(slot.entity);
  if (it == overlay_.end() || !slot.present) return;
  const PrimColor shown{aciColor(it->second), ColorRole::Own};
  std::vector<PrimColor> own;
  own.reserve(slot.end - slot.begin);
  for (std::uint32_t i = slot.begin; i < slot.end; ++i) {
    own.push_back(prims_[i].color);
    // Wipeouts stay background: a result does not fill a mark.
    if (prims_[i].color.role != ColorRole::Background) prims_[i].color = shown;
  }
  painted_[slotIndex] = std::move(own);
}

void Scene::dropOverlay(std::uint32_t slotIndex, bool restore) {
  auto it = painted_.find(slotIndex);
  if (it == painted_.end()) return;
  const Slot& slot = slots_[slotIndex];
  if (restore && it->second.size() == slot.end - slot.begin)
    for (std::uint32_t i = slot.begin; i < slot.end; ++i)
      prims_[i].color = it->second[i - slot.begin];
  painted_.erase(it);
}

void Scene::setOverlay(std::unordered_map<const engine::Entity*, int> colors) {
  while (!painted_.empty()) dropOverlay(painted_.begin()->first, true);
  overlay_ = std::move(colors);
  for (const auto& entry : overlay_)
    if (auto it = slotOf_.find(entry.first); it != slotOf_.end())
      applyOverlay(it->second);
}

void Scene::killSlot(Slot& slot) {
  if (auto it = slotOf_.find(slot.entity); it != slotOf_.end())
    dropOverlay(it->second, false);
  for (std::uint32_t i = slot.begin; i < slot.end; ++i)
    if (!prims_[i].dead) {
      prims_[i].dead = true;
      ++deadCount_;
      extentsValid_ = false;
    }
  slot.begin = slot.end = 0;
}

void Scene::reindex() {
  indexed_ = static_cast<std::uint32_t>(prims_.size());
  indexStale_ = true;
  inOrder_ = true;
  for (std::uint32_t i = 1; i < prims_.size() && inOrder_; ++i)
    inOrder_ = prims_[i - 1].order <= prims_[i].order;
}

void Scene::ensureIndex() const {
  if (!indexStale_) return;
  indexStale_ = false;
  std::vector<SpatialIndex::Item> items;
  items.reserve(prims_.size());
  for (std::uint32_t i = 0; i < prims_.size(); ++i)
    if (i < indexed_ && !prims_[i].dead) items.push_back({prims_[i].box, i});
  index_.build(std::move(items));
}

Box Scene::extents() const {
  if (!extentsValid_) {
    extents_ = Box{};
    for (const Prim& p : prims_)
      if (!p.dead) extents_.add(p.box);
    extentsValid_ = true;
  }
  return extents_;
}

Box Scene::extents(bool plotOnly) const {
  if (!plotOnly) return extents();
  Box b;
  for (const Prim& p : prims_)
    if (!p.dead && p.plot) b.add(p.box);
  return b;
}

void Scene::query(const Box& box, std::vector<std::uint32_t>& out) const {
  out.clear();
  if (box.contains(extents())) {
    // Everything shows: no need for the index, nor for sorting when the
    // primitives already lie in draw order.
    for (std::uint32_t i = 0; i < prims_.size(); ++i)
      if (!prims_[i].dead) out.push_back(i);
    if (inOrder_) return;
    std::sort(out.begin(), out.end(), [&](std::uint32_t a, std::uint32_t b) {
      const Prim& pa = prims_[a];
      const Prim& pb = prims_[b];
      return pa.order != pb.order ? pa.order < pb.order : a < b;
    });
    return;
  }
  ensureIndex();
  index_.query(box, out);
  for (std::uint32_t i = indexed_; i < prims_.size(); ++i)
    if (prims_[i].box.intersects(box)) out.push_back(i);
  out.insert(out.end(), rays_.begin(), rays_.end());
  std::erase_if(out, [&](std::uint32_t i) { return prims_[i].dead; });
  std::sort(out.begin(), out.end(), [&](std::uint32_t a, std::uint32_t b) {
    const Prim& pa = prims_[a];
    const Prim& pb = prims_[b];
    return pa.order != pb.order ? pa.order < pb.order : a < b;
  });
}

void Scene::push(Prim p) {
  p.order = currentOrder_;
  prims_.push_back(p);
  extentsValid_ = false;
}

namespace {

Prim primOf(PrimKind k, const Scene::Style& s) {
  Prim p;
  p.kind = k;
  p.color = s.color;
  p.dash = s.dash;
  p.plot = s.plot;
  return p;
}

bool finite(Vec2 v) { return std::isfinite(v.x) && std::isfinite(v.y); }

}  // namespace

void Scene::addLine(Vec2 a, Vec2 b, const Style& s) {
  if (!finite(a) || !finite(b)) return;
  Prim p = primOf(PrimKind::Line, s);
  p.data = static_cast<std::uint32_t>(points_.size());
  p.count = 2;
  points_.push_back(a);
  points_.push_back(b);
  p.box.add(a);
  p.box.add(b);
  push(p);
}

void Scene::addLines(std::vector<Vec2> pairs, const Style& s) {
  if (pairs.size() < 2) return;
  pairs.resize(pairs.size() & ~std::size_t{1});
  Prim p = primOf(PrimKind::Lines, s);
  p.data = static_cast<std::uint32_t>(points_.size());
  p.count = static_cast<std::uint32_t>(pairs.size());
  for (Vec2 v : pairs) p.box.add(v);
  points_.insert(points_.end(), pairs.begin(), pairs.end());
  push(p);
}

void Scene::addPolyline(std::vector<Vec2> pts, bool closed, const Style& s,
                        double width) {
  std::erase_if(pts, [](Vec2 v) { return !finite(v); });
  if (pts.size() < 2) {
    if (pts.size() == 1) addPoint(pts[0], s);
    return;
  }
  Prim p = primOf(PrimKind::Polyline, s);
  p.closed = closed;
  p.width = static_cast<float>(width);
  p.data = static_cast<std::uint32_t>(points_.size());
  p.count = static_cast<std::uint32_t>(pts.size());
  for (Vec2 v : pts) p.box.add(v);
  if (width > 0) {
    p.box.x0 -= width / 2;
    p.box.y0 -= width / 2;
    p.box.x1 += width / 2;
    p.box.y1 += width / 2;
  }
  points_.insert(points_.end(), pts.begin(), pts.end());
  push(p);
}

void Scene::addArc(const ArcData& a, const Style& s) {
  if (!finite(a.center) || !(a.radius > 0) || !std::isfinite(a.radius) ||
      !std::isfinite(a.start) || !std::isfinite(a.sweep))
    return;
  Prim p = primOf(PrimKind::Arc, s);
  p.data = static_cast<std::uint32_t>(arcs_.size());
  arcs_.push_back(a);
  // Bounds from the end points and the quadrant points passed.
  auto at = [&](double t) {
    return Vec2{a.center.x + a.radius * std::cos(t),
                a.center.y + a.radius * std::sin(t)};
  };
  // From one turn only: the quarter points are counted between them.
  double start = engine::reduceAngle(a.start);
  double sweep = std::clamp(a.sweep, -2 * kPi, 2 * kPi);
  double lo = std::min(start, start + sweep);
  double hi = std::max(start, start + sweep);
  p.box.add(at(lo));
  p.box.add(at(hi));
  if (hi - lo >= 2 * kPi) {
    p.box.add(Vec2{a.center.x - a.radius, a.center.y - a.radius});
    p.box.add(Vec2{a.center.x + a.radius, a.center.y + a.radius});
  } else {
    // The quarter points the arc passes.
    for (auto q = static_cast<long long>(std::ceil(lo / (kPi / 2)));
         q * (kPi / 2) < hi; ++q)
      p.box.add(at(static_cast<double>(q) * (kPi / 2)));
  }
  push(p);
}

void Scene::addFill(std::vector<std::vector<Vec2>> rings, const Style& s) {
  Prim p = primOf(PrimKind::Fill, s);
  for (auto& r : rings) {
    std::erase_if(r, [](Vec2 v) { return !finite(v); });
    for (Vec2 v : r) p.box.add(v);
  }
  std::erase_if(rings, [](const auto& r) { return r.size() < 3; });
  if (rings.empty()) return;
  p.data = static_cast<std::uint32_t>(fills_.size());
  fills_.push_back(std::move(rings));
  push(p);
}

void Scene::addText(TextRun run, const Style& s, const Box& box) {
  if (run.text.isEmpty() || !finite(run.origin) || !(run.height > 0) ||
      !std::isfinite(run.height))
    return;
  Prim p = primOf(PrimKind::Text, s);
  p.data = static_cast<std::uint32_t>(texts_.size());
  p.box = box;
  texts_.push_back(std::move(run));
  push(p);
}

void Scene::addPoint(Vec2 v, const Style& s) {
  if (!finite(v)) return;
  Prim p = primOf(PrimKind::Point, s);
  p.data = static_cast<std::uint32_t>(points_.size());
  p.count = 1;
  points_.push_back(v);
  p.box.add(v);
  push(p);
}

void Scene::addRay(Vec2 base, Vec2 dir, bool bothWays, const Style& s) {
  double len = std::hypot(dir.x, dir.y);
  if (!finite(base) || !(len > 1e-300) || !std::isfinite(len)) return;
  Prim p = primOf(PrimKind::Ray, s);
  p.closed = bothWays;
  p.data = static_cast<std::uint32_t>(points_.size());
  p.count = 2;
  points_.push_back(base);
  points_.push_back({dir.x / len, dir.y / len});
  rays_.push_back(static_cast<std::uint32_t>(prims_.size()));
  push(p);
}

std::uint32_t Scene::internDashes(const std::vector<double>& pattern) {
  if (pattern.empty()) return 0;
  for (std::size_t i = 1; i < dashes_.size(); ++i)
    if (dashes_[i] == pattern) return static_cast<std::uint32_t>(i);
  dashes_.push_back(pattern);
  return static_cast<std::uint32_t>(dashes_.size() - 1);
}

// ------------------------------------------------------------ tables

void Scene::Builder::prepare(const engine::Drawing& drawing) {
  d = &drawing;
  layers.clear();
  linetypes.clear();
  styles.clear();
  dashCache.clear();
  ltscale = 1;
  mlineStylesRead = false;
  mlineStyles.clear();
  mlineStyleNames.clear();
  if (auto h = d->header("$LTSCALE"); h && !h->empty())
    ltscale = engine::parseReal((*h)[0].value).value_or(1);
  if (!(ltscale > 0) || !std::isfinite(ltscale)) ltscale = 1;

  if (const engine::Table* t = d->table("LTYPE"))
    for (const auto& e : t->entries) {
      if (e->rec.erased) continue;
      std::vector<double> pattern;
      for (const Tag& tag : engine::ownTags(d->tags(e->rec)))
        if (tag.code == 49)
          pattern.push_back(engine::parseReal(tag.value).value_or(0));
      linetypes[upper(e->name)] = std::move(pattern);
    }
  if (const engine::Table* t = d->table("LAYER"))
    for (const auto& e : t->entries) {
      if (e->rec.erased) continue;
      Tags own = engine::ownTags(d->tags(e->rec));
      LayerInfo l;
      long long color = engine::integer(own, 62, 7);
      l.off = color < 0;
      int aci = static_cast<int>(std::llabs(color));
      if (aci == 7 || aci < 1 || aci > 255)
        l.color = {Rgb{255, 255, 255}, ColorRole::Foreground};
      else
        l.color = {aciColor(aci), ColorRole::Own};
      if (const Tag* tc = engine::findTag(own, 420))
        if (auto v = engine::parseInt(tc->value))
          l.color = {trueColor(*v), ColorRole::Own};
      long long flags = engine::integer(own, 70, 0);
      l.frozen = (flags & 1) != 0;
      std::string lt = engine::textValue(*d, own, 6);
      if (!lt.empty()) l.linetype = upper(lt);
      l.plot = engine::integer(own, 290, 1) != 0 &&
               !engine::equalsNoCase(e->name, "DEFPOINTS");
      layers[upper(e->name)] = l;
    }
  if (const engine::Table* t = d->table("STYLE"))
    for (const auto& e : t->entries) {
      if (e->rec.erased) continue;
      Tags own = engine::ownTags(d->tags(e->rec));
      TextStyle s;
      s.fixedHeight = engine::real(own, 40, 0);
      s.widthFactor = engine::real(own, 41, 1);
      if (!(s.widthFactor > 0)) s.widthFactor = 1;
      s.oblique = engine::real(own, 50, 0) * kPi / 180;
      long long gen = engine::integer(own, 71, 0);
      s.backwards = (gen & 2) != 0;
      s.upsideDown = (gen & 4) != 0;
      std::string font = engine::upperCase(engine::textValue(*d, own, 3));
      s.trueType = font.ends_with(".TTF") || font.ends_with(".TTC") ||
                   font.ends_with(".OTF");
      styles[upper(e->name)] = s;
    }
}

const LayerInfo& Scene::Builder::layer(const std::string& name) const {
  auto it = layers.find(upper(name));
  return it == layers.end() ? defaultLayer : it->second;
}

const TextStyle& Scene::Builder::textStyle(const std::string& name) const {
  auto it = styles.find(upper(name.empty() ? "STANDARD" : name));
  return it == styles.end() ? defaultStyle : it->second;
}

PrimColor Scene::Builder::colorOf(int aci, const Context& c,
                                  const LayerInfo& l) const {
  if (aci == 0) return c.byBlock;
  if (aci < 0 || aci >= 256) return l.color;
  if (aci == 7) return {Rgb{255, 255, 255}, ColorRole::Foreground};
  return {aciColor(aci), ColorRole::Own};
}

std::uint32_t Scene::Builder::dashesFor(const std::string& linetype,
                                        double scale) {
  auto key = std::make_pair(linetype, scale);
  auto cached = dashCache.find(key);
  if (cached != dashCache.end()) return cached->second;
  std::uint32_t index = 0;
  auto it = linetypes.find(linetype);
  if (it != linetypes.end() && it->second.size() >= 2) {
    // Dash, gap, dash, gap...: a dot is a dash of length 0; a pattern
    // that starts with a gap is turned to start with its first dash.
    std::vector<double> raw = it->second;
    auto firstDash =
        std::find_if(raw.begin(), raw.end(), [](double v) { return v >= 0; });
    std::rotate(raw.begin(), firstDash, raw.end());
    std::vector<double> pattern;
    bool wantDash = true;
    for (double v : raw) {
      bool isDash = v >= 0;
      double len = std::fabs(v) * scale;
      if (isDash != wantDash) {
        if (pattern.empty()) continue;
        pattern.back() += len;  // two of a kind in a row
        continue;
      }
      pattern.push_back(len);
      wantDash = !wantDash;
    }
    if (pattern.size() % 2 == 1) pattern.push_back(0);
    bool anyGap = false;
    for (std::size_t i = 1; i < pattern.size(); i += 2)
      anyGap = anyGap || pattern[i] > 0;
    if (anyGap) index = scene.internDashes(pattern);
  }
  dashCache.emplace(key, index);
  return index;
}

bool Scene::Builder::resolve(Tags own, const Context& c, Style& out,
                             const LayerInfo** layerOut) {
  const Tag* layerTag = engine::findTag(own, 8);
  std::string_view rawLayer =
      layerTag ? trimmed(layerTag->value) : std::string_view("0");
  const LayerInfo* l;
  if (c.parentLayer && rawLayer == "0") {
    l = c.parentLayer;
  } else {
    l = &layer(d->text(rawLayer));
  }
  if (layerOut) *layerOut = l;
  if (l->off || l->frozen) return false;
  // Made invisible (60): how a dynamic block leaves out what its
  // visibility state does not show.
  if (engine::integer(own, 60, 0) & 1) return false;
  int aci = static_cast<int>(engine::integer(own, 62, 256));
  // The CAD host makes a dimension's block by block; some writers leave
  // its layer-0 parts by layer. Either way they show the dimension's
  // colour, as the host shows it after a change.
  if (c.dimensionBlock && rawLayer == "0" && aci == 256) aci = 0;
  out.color = colorOf(aci, c, *l);
  if (const Tag* tc = engine::findTag(own, 420))
    if (auto v = engine::parseInt(tc->value))
      out.color = {trueColor(*v), ColorRole::Own};
  if (c.wholeColor) out.color = *c.wholeColor;
  std::string lt = upper(engine::textValue(*d, own, 6));
  if (lt.empty() || lt == "BYLAYER") lt = l->linetype;
  if (lt == "BYBLOCK") lt = c.byBlockLinetype;
  double scale = ltscale * engine::real(own, 48, 1.0) * c.xf.scale();
  out.dash = (lt == "CONTINUOUS" || !(scale > 0)) ? 0 : dashesFor(lt, scale);
  out.plot = c.plot && l->plot;
  return true;
}

// ------------------------------------------------------------ helpers

void Scene::Builder::polyline(std::vector<Vec2> pts, bool closed,
                              const Affine& m, const Style& s, double width) {
  for (Vec2& p : pts) p = m(p);
  scene.addPolyline(std::move(pts), closed, s, width * m.scale());
}

void Scene::Builder::arc(Vec2 center, double r, double start, double sweep,
                         const Affine& m, const Style& s) {
  if (m.similar()) {
    Vec2 v = m.linear({std::cos(start), std::sin(start)});
    double sign = m.det() < 0 ? -1 : 1;
    scene.addArc({m(center), r * m.scale(), std::atan2(v.y, v.x), sweep * sign},
                 s);
    return;
  }
  // Squeezed by its block reference: an ellipse now.
  int n = arcSegments(sweep);
  std::vector<Vec2> pts;
  for (int k = 0; k <= n; ++k) {
    double a = start + sweep * k / n;
    pts.push_back(m({center.x + r * std::cos(a), center.y + r * std::sin(a)}));
  }
  scene.addPolyline(std::move(pts), std::fabs(sweep) >= 2 * kPi, s);
}

void Scene::Builder::fill(std::vector<std::vector<Vec2>> rings, const Affine& m,
                          const Style& s) {
  for (auto& r : rings)
    for (Vec2& p : r) p = m(p);
  scene.addFill(std::move(rings), s);
}

void Scene::Builder::run(TextRun r, const Affine& frame, const Style& s) {
  if (r.text.isEmpty()) return;
  const double h = r.height, wf = r.widthFactor;
  // The run's own axes: x along the baseline (one unit of width factor),
  // y up the letters.
  Vec2 ux{std::cos(r.rotation), std::sin(r.rotation)};
  Vec2 uy{-ux.y, ux.x};
  Vec2 vx = frame.linear(ux), vy = frame.linear(uy);
  double height = h * std::hypot(vy.x, vy.y);
  if (!(height > 0)) return;
  double rot = std::atan2(vy.y, vy.x) - kPi / 2;
  Vec2 dir{std::cos(rot), std::sin(rot)};
  double along = (vx.x * dir.x + vx.y * dir.y) / std::hypot(vy.x, vy.y);
  double width = metrics.width(r.text, r.trueType) * h * wf;
  Box box;
  double desc = metrics.descent() * h;
  for (double x : {0.0, width})
    for (double y : {-desc, h}) {
      Vec2 local{r.origin.x + ux.x * x + uy.x * y,
                 r.origin.y + ux.y * x + uy.y * y};
      box.add(frame(local));
    }
  TextRun out = std::move(r);
  out.origin = frame(out.origin);
  out.height = height;
  out.rotation = rot;
  out.widthFactor = wf * along;
  scene.addText(std::move(out), s, box);
}

void Scene::Builder::mtext(const MTextSpec& spec, const Affine& frame,
                           const Style& s, const Context& c,
                           const LayerInfo& l) {
  MTextLayout lay = layoutMText(spec, metrics);
  for (LaidRun& lr : lay.runs) {
    Style rs = s;
    if (lr.rgb)
      rs.color = {*lr.rgb, ColorRole::Own};
    else if (lr.aci >= 0)
      rs.color = colorOf(lr.aci, c, l);
    run(std::move(lr.run), frame, rs);
  }
  for (auto& [a, b] : lay.rules) scene.addLine(frame(a), frame(b), s);
}

void Scene::Builder::blockRef(const engine::Block& b, const Affine& m,
                              const Context& c) {
  Context child = c;
  child.xf = m;
  child.depth = c.depth + 1;
  for (const auto& e : b.entities) {
    if (overBudget()) return;
    ++visits;
    if (e->rec.erased || e->badGeometry) continue;
    // Attribute definitions are templates; their references show.
    if (e->type == "ATTDEF") continue;
    record(e->type, d->tags(e->rec), child);
  }
}

void Scene::Builder::arrow(Vec2 tip, Vec2 dir, double size,
                           const std::string& kind, const Style& s) {
  double len = std::hypot(dir.x, dir.y);
  if (!(size > 0) || len < 1e-300) return;
  Vec2 u{dir.x / len, dir.y / len}, n{-u.y, u.x};
  std::string k = upper(kind);
  if (k == "_NONE") return;
  if (k == "_ARCHTICK" || k == "_OBLIQUE" || k == "_INTEGRAL") {
    double t = size / 2;
    Vec2 a{tip.x + (u.x + n.x) * t, tip.y + (u.y + n.y) * t};
    Vec2 b{tip.x - (u.x + n.x) * t, tip.y - (u.y + n.y) * t};
    scene.addPolyline({a, b}, false, s, k == "_ARCHTICK" ? size / 10 : 0);
    return;
  }
  if (k == "_DOT" || k == "_DOTSMALL" || k == "_DOTBLANK") {
    double r = k == "_DOTSMALL" ? size / 8 : size / 4;
    std::vector<Vec2> ring;
    for (int i = 0; i < 24; ++i) {
      double a = 2 * kPi * i / 24;
      ring.push_back({tip.x + r * std::cos(a), tip.y + r * std::sin(a)});
    }
    if (k == "_DOTBLANK")
      scene.addPolyline(std::move(ring), true, s);
    else
      scene.addFill({std::move(ring)}, s);
    return;
  }
  Vec2 back{tip.x - u.x * size, tip.y - u.y * size};
  double half = size / 6;
  Vec2 p1{back.x + n.x * half, back.y + n.y * half};
  Vec2 p2{back.x - n.x * half, back.y - n.y * half};
  if (k == "_OPEN" || k == "_OPEN30" || k == "_OPEN90" || k == "_CLOSEDBLANK" ||
      k == "_CLOSED") {
    bool closed = k == "_CLOSEDBLANK" || k == "_CLOSED";
    scene.addPolyline({p1, tip, p2}, closed, s);
    return;
  }
  scene.addFill({{tip, p1, p2}}, s);
}

// ------------------------------------------------------------ entities

// Nested and arrayed block references multiply: the work of one entity is
// bounded by what it draws and by the block entities it visits.
bool Scene::Builder::overBudget() const {
  return scene.prims().size() - entityStart > kMaxPrimsPerEntity ||
         visits > kMaxVisitsPerEntity;
}

void Scene::Builder::topLevel(const engine::Entity& e) {
  entityStart = scene.prims().size();
  visits = 0;
  if (e.badGeometry) return;  // its numbers would only overflow
  Context c;
  Tags tags = d->tags(e.rec);
  if (engine::isDimensionType(e.type)) {
    Tags original;
    if (!e.rec.added) original = d->loadedTags(e.rec);
    dimension(e.type, tags, original, c);
    return;
  }
  if (e.type == "ATTDEF") {
    text(e.type, engine::ownTags(tags), c);  // shown by its tag
    return;
  }
  record(e.type, tags, c);
}

void Scene::Builder::record(std::string_view type, Tags tags,
                            const Context& c) {
  Tags own = engine::ownTags(tags);
  if (type == "LINE") {
    line(own, c);
  } else if (type == "CIRCLE" || type == "ARC") {
    circleOrArc(type, own, c);
  } else if (type == "ELLIPSE") {
    ellipse(own, c);
  } else if (type == "LWPOLYLINE") {
    lwpolyline(own, c);
  } else if (type == "POLYLINE") {
    polyline2(tags, c);
  } else if (type == "SPLINE") {
    spline(own, c);
  } else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") {
    text(type, own, c);
  } else if (type == "MTEXT") {
    mtextEntity(own, c);
  } else if (type == "INSERT") {
    insert(tags, c);
  } else if (engine::isDimensionType(type)) {
    dimension(type, tags, tags, c);
  } else if (type == "HATCH") {
    hatch(own, c);
  } else if (type == "SOLID" || type == "TRACE" || type == "3DFACE") {
    solid(type, own, c);
  } else if (type == "POINT") {
    point(own, c);
  } else if (type == "LEADER") {
    leader(own, c);
  } else if (type == "MULTILEADER" || type == "MLEADER") {
    mleader(own, c);
  } else if (type == "TOLERANCE") {
    tolerance(own, c);
  } else if (type == "IMAGE" || type == "WIPEOUT") {
    image(type, own, c);
  } else if (type == "XLINE" || type == "RAY") {
    ray(type, own, c);
  } else if (type == "ACAD_TABLE") {
    insert(tags, c);  // its anonymous block holds what it shows
  } else if (type == "MLINE") {
    mline(own, c);
  } else if (type == "MESH") {
    mesh(own, c);
  } else {
    // Proxies and entities of other programs show the graphics they
    // carry; 3D solids and regions have no picture here.
    proxyGraphics(own, c);
  }
}

void Scene::Builder::line(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  scene.addLine(c.xf(pt(own, 10)), c.xf(pt(own, 11)), s);
}

void Scene::Builder::point(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  scene.addPoint(c.xf(pt(own, 10)), s);
}

void Scene::Builder::circleOrArc(std::string_view type, Tags own,
                                 const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  cadhost::Point center = engine::point(own, 10).value_or(cadhost::Point{});
  Affine m = c.xf * ocsAffine(own, center[2]);
  double r = engine::real(own, 40, 0);
  if (!(r > 0)) return;
  if (type == "CIRCLE") {
    arc({center[0], center[1]}, r, 0, 2 * kPi, m, s);
    return;
  }
  // Reduced in degrees, where it is exact, then turned into radians.
  double a0 = engine::reduceDegrees(engine::real(own, 50, 0)) * kPi / 180;
  double a1 = engine::reduceDegrees(engine::real(own, 51, 360)) * kPi / 180;
  double sweep = engine::sweepBetween(a0, a1);
  if (!std::isfinite(a0) || !std::isfinite(sweep)) return;
  arc({center[0], center[1]}, r, a0, sweep, m, s);
}

void Scene::Builder::ellipse(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  cadhost::Point center = engine::point(own, 10).value_or(cadhost::Point{});
  cadhost::Point major =
      engine::point(own, 11).value_or(cadhost::Point{1, 0, 0});
  cadhost::Point normal =
      engine::point(own, 210).value_or(cadhost::Point{0, 0, 1});
  double ratio = engine::real(own, 40, 1);
  double nl = engine::length(normal);
  if (nl < 1e-300) return;
  cadhost::Point minor = engine::mul(engine::cross(normal, major), ratio / nl);
  double t0 = engine::reduceAngle(engine::real(own, 41, 0));
  double sweep = engine::sweepBetween(t0, engine::real(own, 42, 2 * kPi));
  if (!std::isfinite(t0) || !std::isfinite(sweep)) return;
  bool closed = std::fabs(sweep - 2 * kPi) < 1e-9;
  int n = std::max(8, arcSegments(sweep) * 2);
  std::vector<Vec2> pts;
  for (int k = 0; k <= n; ++k) {
    double t = t0 + sweep * k / n;
    pts.push_back(
        {center[0] + major[0] * std::cos(t) + minor[0] * std::sin(t),
         center[1] + major[1] * std::cos(t) + minor[1] * std::sin(t)});
  }
  if (closed) pts.pop_back();
  polyline(std::move(pts), closed, c.xf, s);
}

namespace {

// A polyline with widths: each segment of non-zero width is a filled
// band; widths that change along a segment taper it.
struct WideVertex {
  Vec2 p;
  double bulge = 0, w0 = 0, w1 = 0;
};

void emitPolyline(Scene::Builder& b, const std::vector<WideVertex>& v,
                  bool closed, const Affine& m, const Scene::Style& s,
                  double constantWidth) {
  if (v.empty()) return;
  bool varying = false;
  for (const WideVertex& w : v)
    varying = varying || w.w0 != w.w1 || w.w0 != v[0].w0;
  if (!varying) {
    std::vector<Vec2> pts{v[0].p};
    std::size_t n = closed ? v.size() : v.size() - 1;
    for (std::size_t k = 0; k < n; ++k)
      bulgePoints(v[k].p, v[(k + 1) % v.size()].p, v[k].bulge, pts);
    if (closed && pts.size() > 1) pts.pop_back();
    double width = constantWidth > 0 ? constantWidth : v[0].w0;
    b.polyline(std::move(pts), closed, m, s, width);
    return;
  }
  std::size_t n = closed ? v.size() : v.size() - 1;
  for (std::size_t k = 0; k < n; ++k) {
    const WideVertex& a = v[k];
    Vec2 q = v[(k + 1) % v.size()].p;
    std::vector<Vec2> pts{a.p};
    bulgePoints(a.p, q, a.bulge, pts);
    if (a.w0 <= 0 && a.w1 <= 0) {
      b.polyline(std::move(pts), false, m, s);
      continue;
    }
    // Offsets on both sides, the width running from w0 to w1.
    std::vector<Vec2> left, right;
    for (std::size_t i = 0; i < pts.size(); ++i) {
      double t = pts.size() > 1 ? static_cast<double>(i) /
                                      static_cast<double>(pts.size() - 1)
                                : 0;
      double w = (a.w0 + (a.w1 - a.w0) * t) / 2;
      Vec2 dir = i + 1 < pts.size()
                     ? Vec2{pts[i + 1].x - pts[i].x, pts[i + 1].y - pts[i].y}
                     : Vec2{pts[i].x - pts[i - 1].x, pts[i].y - pts[i - 1].y};
      double len = std::hypot(dir.x, dir.y);
      if (len < 1e-300) continue;
      Vec2 nrm{-dir.y / len, dir.x / len};
      left.push_back({pts[i].x + nrm.x * w, pts[i].y + nrm.y * w});
      right.push_back({pts[i].x - nrm.x * w, pts[i].y - nrm.y * w});
    }
    std::vector<Vec2> ring(left.begin(), left.end());
    ring.insert(ring.end(), right.rbegin(), right.rend());
    b.fill({std::move(ring)}, m, s);
  }
}

}  // namespace

void Scene::Builder::lwpolyline(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  std::vector<WideVertex> v;
  for (std::size_t k = 0; k < own.size(); ++k) {
    const Tag& t = own[k];
    if (t.code >= 1000) break;
    if (t.code == 10) {
      WideVertex w;
      w.p.x = engine::parseReal(t.value).value_or(0);
      if (k + 1 < own.size() && own[k + 1].code == 20)
        w.p.y = engine::parseReal(own[k + 1].value).value_or(0);
      v.push_back(w);
    } else if (!v.empty() && t.code == 42) {
      v.back().bulge = engine::parseReal(t.value).value_or(0);
    } else if (!v.empty() && t.code == 40) {
      v.back().w0 = engine::parseReal(t.value).value_or(0);
    } else if (!v.empty() && t.code == 41) {
      v.back().w1 = engine::parseReal(t.value).value_or(0);
    }
  }
  bool closed = (engine::integer(own, 70, 0) & 1) != 0;
  double width = engine::real(own, 43, 0);
  Affine m = c.xf * ocsAffine(own, engine::real(own, 38, 0));
  emitPolyline(*this, v, closed, m, s, width);
}

void Scene::Builder::polyline2(Tags tags, const Context& c) {
  Tags own = engine::ownTags(tags);
  Style s;
  if (!resolve(own, c, s)) return;
  long long flags = engine::integer(own, 70, 0);
  auto subs = engine::subRecords(tags);
  std::vector<Tags> vertices;
  for (std::size_t i = 1; i < subs.size(); ++i)
    if (engine::equalsNoCase(trimmed(subs[i][0].value), "VERTEX"))
      vertices.push_back(subs[i]);
  auto vpt = [](Tags v) {
    return engine::point(v, 10).value_or(cadhost::Point{});
  };
  if (flags & 64) {  // polyface mesh: vertices, then faces by index
    std::vector<Vec2> pts;
    std::vector<Vec2> edges;
    for (Tags v : vertices) {
      long long vf = engine::integer(v, 70, 0);
      if ((vf & 128) && !(vf & 64)) {
        int idx[4];
        int n = 0;
        for (int code : {71, 72, 73, 74}) {
          long long i = engine::integer(v, code, 0);
          if (i != 0) idx[n++] = static_cast<int>(i);
        }
        for (int k = 0; k < n; ++k) {
          int a = idx[k], b = idx[(k + 1) % n];
          if (a < 0) continue;  // invisible edge
          std::size_t ia = static_cast<std::size_t>(std::abs(a)) - 1;
          std::size_t ib = static_cast<std::size_t>(std::abs(b)) - 1;
          if (ia < pts.size() && ib < pts.size()) {
            edges.push_back(c.xf(pts[ia]));
            edges.push_back(c.xf(pts[ib]));
          }
        }
      } else {
        cadhost::Point p = vpt(v);
        pts.push_back({p[0], p[1]});
      }
    }
    scene.addLines(std::move(edges), s);
    return;
  }
  if (flags & 16) {  // polygon mesh: an M by N grid
    auto m = static_cast<std::size_t>(
        std::max<long long>(1, engine::integer(own, 71, 1)));
    auto n = static_cast<std::size_t>(
        std::max<long long>(1, engine::integer(own, 72, 1)));
    std::vector<Vec2> grid;
    for (Tags v : vertices) {
      cadhost::Point p = vpt(v);
      grid.push_back(c.xf({p[0], p[1]}));
    }
    if (grid.size() < m * n) return;
    std::vector<Vec2> edges;
    for (std::size_t i = 0; i < m; ++i)
      for (std::size_t j = 0; j < n; ++j) {
        if (j + 1 < n) {
          edges.push_back(grid[i * n + j]);
          edges.push_back(grid[i * n + j + 1]);
        }
        if (i + 1 < m) {
          edges.push_back(grid[i * n + j]);
          edges.push_back(grid[(i + 1) * n + j]);
        }
      }
    scene.addLines(std::move(edges), s);
    return;
  }
  bool closed = (flags & 1) != 0;
  if (flags & 8) {  // 3D polyline in world coordinates
    std::vector<Vec2> pts;
    for (Tags v : vertices) {
      if (engine::integer(v, 70, 0) & 16) continue;  // spline frame
      cadhost::Point p = vpt(v);
      pts.push_back({p[0], p[1]});
    }
    polyline(std::move(pts), closed, c.xf, s);
    return;
  }
  double w0 = engine::real(own, 40, 0), w1 = engine::real(own, 41, 0);
  std::vector<WideVertex> v;
  for (Tags vt : vertices) {
    if (engine::integer(vt, 70, 0) & 16) continue;  // spline frame
    cadhost::Point p = vpt(vt);
    WideVertex w;
    w.p = {p[0], p[1]};
    w.bulge = engine::real(vt, 42, 0);
    w.w0 = engine::real(vt, 40, w0);
    w.w1 = engine::real(vt, 41, w1);
    v.push_back(w);
  }
  double elevation = engine::point(own, 10).value_or(cadhost::Point{})[2];
  emitPolyline(*this, v, closed, c.xf * ocsAffine(own, elevation), s, 0);
}

void Scene::Builder::spline(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  int degree = static_cast<int>(engine::integer(own, 71, 3));
  std::vector<double> knots, weights;
  std::vector<Vec2> ctrl, fit;
  for (std::size_t k = 0; k < own.size(); ++k) {
    const Tag& t = own[k];
    if (t.code >= 1000) break;
    auto v = engine::parseReal(t.value).value_or(0);
    if (t.code == 40) knots.push_back(v);
    if (t.code == 41) weights.push_back(v);
    if ((t.code == 10 || t.code == 11) && k + 1 < own.size() &&
        own[k + 1].code == t.code + 10) {
      Vec2 p{v, engine::parseReal(own[k + 1].value).value_or(0)};
      (t.code == 10 ? ctrl : fit).push_back(p);
    }
  }
  bool closed = (engine::integer(own, 70, 0) & 1) != 0;
  std::vector<Vec2> pts =
      splinePoints(degree, knots, ctrl, weights,
                   std::clamp<std::size_t>(ctrl.size() * 8, 16, 2000));
  if (pts.empty()) {
    // No usable control frame: through the fit points, or the frame.
    polyline(fit.size() >= 2 ? fit : ctrl, closed && fit.size() >= 2, c.xf, s);
    return;
  }
  polyline(std::move(pts), false, c.xf, s);
}

void Scene::Builder::text(std::string_view type, Tags own, const Context& c,
                          const std::string* value) {
  Style s;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, s, &l)) return;
  bool attribute = type == "ATTRIB" || type == "ATTDEF";
  long long flags = engine::integer(own, 70, 0);
  if (attribute && (flags & 1)) return;  // invisible attribute
  if (type == "ATTRIB" && !c.dimensionText) {
    // A multi-line attribute carries its text as multiline text after
    // the 101 marker; that is what the CAD host shows (a definition shows
    // its tag).
    for (std::size_t k = 0; k < own.size(); ++k)
      if (own[k].code == 101) {
        Tags embedded = own.subspan(k + 1);
        if (engine::findTag(embedded, 1) || engine::findTag(embedded, 3)) {
          mtextBody(embedded, engine::textValue(*d, own, 7), s, *l, c);
          return;
        }
        break;
      }
  }
  std::string content = value              ? d->text(*value)
                        : type == "ATTDEF" ? engine::textValue(*d, own, 2)
                                           : engine::textValue(*d, own, 1);
  const TextStyle& st = textStyle(engine::textValue(*d, own, 7));
  double h = engine::real(own, 40, st.fixedHeight > 0 ? st.fixedHeight : 1);
  if (!(h > 0)) return;
  if (c.dimensionText && type == "TEXT") {
    // The dimension's own text in place of an outdated one, aligned as
    // the old one was.
    int ha = static_cast<int>(engine::integer(own, 72, 0));
    int va = static_cast<int>(engine::integer(own, 73, 0));
    bool aligned = ha != 0 || va != 0;
    Vec2 at = pt(own, aligned && engine::point(own, 11) ? 11 : 10);
    int column = ha == 1 || ha == 4 ? 1 : ha == 2 ? 2 : 0;
    int row = va == 3 ? 0 : (va == 2 || ha == 4) ? 1 : 2;
    MTextSpec spec;
    spec.content = *c.dimensionText;
    spec.height = h;
    spec.attachment = row * 3 + column + 1;
    spec.widthFactor = engine::real(own, 41, 1);
    Affine frame = c.xf * ocsAffine(own) * Affine::translate(at) *
                   Affine::rotate(engine::real(own, 50, 0) * kPi / 180);
    mtext(spec, frame, s, c, *l);
    return;
  }
  if (content.empty()) return;
  if (c.dimensionValue) replaceMeasured(content, *c.dimensionValue);
  double wf = engine::real(own, 41, 1);
  if (!(wf > 0)) wf = 1;
  double rot = engine::real(own, 50, 0) * kPi / 180;
  double oblique = engine::real(own, 51, st.oblique * 180 / kPi) * kPi / 180;
  // An attribute's own part reuses 71 for its kind (2: multi-line), which
  // is no mirroring: the generation flags come from the text's part.
  long long gen = engine::integer(attribute ? textPart(own) : own, 71, 0);
  int halign = static_cast<int>(engine::integer(own, 72, 0));
  int valign = static_cast<int>(engine::integer(own, attribute ? 74 : 73, 0));
  cadhost::Point p10 = engine::point(own, 10).value_or(cadhost::Point{});
  auto p11opt = engine::point(own, 11);
  cadhost::Point p11 = p11opt.value_or(p10);

  std::vector<TextPiece> pieces = decodeSingleLine(content);
  double total = 0;
  for (const TextPiece& pc : pieces)
    total += metrics.width(pc.text, st.trueType) * h * wf;
  Vec2 anchor{p10[0], p10[1]};
  double x = 0, y = 0;
  if (halign != 0 || valign != 0) {
    if (p11opt) anchor = {p11[0], p11[1]};
    if (halign == 3 || halign == 5) {
      // Aligned and fit run from the first to the second point.
      Vec2 a{p10[0], p10[1]}, b{p11[0], p11[1]};
      double len = std::hypot(b.x - a.x, b.y - a.y);
      anchor = a;
      if (len > 1e-12 && total > 0) {
        rot = std::atan2(b.y - a.y, b.x - a.x);
        if (halign == 3) {
          h *= len / total;
        } else {
          wf *= len / total;
        }
      }
    } else if (halign == 1 || halign == 4) {
      x = -total / 2;
    } else if (halign == 2) {
      x = -total;
    }
    if (halign == 4)
      y = -h / 2;
    else if (valign == 1)
      y = metrics.descent() * h;
    else if (valign == 2)
      y = -h / 2;
    else if (valign == 3)
      y = -h;
  }
  Affine frame = c.xf * ocsAffine(own, p10[2]) * Affine::translate(anchor) *
                 Affine::rotate(rot);
  if ((gen & 2) || st.backwards) frame = frame * Affine::scaling(-1, 1);
  if ((gen & 4) || st.upsideDown) frame = frame * Affine::scaling(1, -1);
  for (const TextPiece& pc : pieces) {
    double w = metrics.width(pc.text, st.trueType) * h * wf;
    TextRun r;
    r.text = pc.text;
    r.origin = {x, y};
    r.height = h;
    r.widthFactor = wf;
    r.oblique = oblique;
    r.underline = pc.underline;
    r.overline = pc.overline;
    r.strike = pc.strike;
    r.trueType = st.trueType;
    run(std::move(r), frame, s);
    x += w;
  }
}

void Scene::Builder::mtextEntity(Tags own, const Context& c) {
  Style s;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, s, &l)) return;
  mtextBody(own, engine::textValue(*d, own, 7), s, *l, c);
}

void Scene::Builder::mtextBody(Tags own, const std::string& styleName,
                               const Style& s, const LayerInfo& l,
                               const Context& c) {
  MTextSpec spec;
  if (c.dimensionText) {
    spec.content = *c.dimensionText;
  } else {
    // The text comes in pieces of 250 bytes: the 3s, then the 1.
    std::string raw, last;
    for (const Tag& t : own) {
      if (t.code >= 1000 || t.code == 101) break;
      if (t.code == 3) raw += t.value;
      if (t.code == 1) last = std::string(t.value);
    }
    spec.content = d->text(raw + last);
    if (c.dimensionValue) replaceMeasured(spec.content, *c.dimensionValue);
  }
  const TextStyle& st = textStyle(styleName);
  spec.height = engine::real(own, 40, st.fixedHeight > 0 ? st.fixedHeight : 1);
  spec.referenceWidth = engine::real(own, 41, 0);
  spec.attachment = static_cast<int>(engine::integer(own, 71, 1));
  spec.lineSpacing = engine::real(own, 44, 1);
  spec.widthFactor = st.widthFactor;
  spec.trueType = st.trueType;
  double rot = engine::real(own, 50, 0) * kPi / 180;
  if (auto dir = engine::point(own, 11)) {
    // The direction is in world coordinates; its angle is taken in the
    // text's own plane.
    cadhost::Point local = engine::ocsOf(own).fromWcs(*dir);
    if (std::hypot(local[0], local[1]) > 1e-12)
      rot = std::atan2(local[1], local[0]);
  }
  cadhost::Point at3 = engine::point(own, 10).value_or(cadhost::Point{});
  cadhost::Point atOcs = engine::ocsOf(own).fromWcs(at3);
  Affine frame = c.xf * ocsAffine(own, atOcs[2]) *
                 Affine::translate({atOcs[0], atOcs[1]}) * Affine::rotate(rot);
  mtext(spec, frame, s, c, l);
}

void Scene::Builder::insert(Tags tags, const Context& c) {
  Tags own = engine::ownTags(tags);
  Style s;
  const LayerInfo* l = nullptr;
  bool visible = resolve(own, c, s, &l);
  if (l->frozen || (engine::integer(own, 60, 0) & 1)) return;
  // An insert on a layer that is off still shows what its block keeps on
  // other layers; colour and layer 0 follow the insert.
  if (!visible) {
    int aci = static_cast<int>(engine::integer(own, 62, 256));
    s.color = colorOf(aci, c, *l);
  }
  const engine::Block* b =
      c.depth < kMaxDepth ? d->block(engine::textValue(*d, own, 2)) : nullptr;
  if (b) {
    Vec2 base = pt(engine::ownTags(d->tags(b->begin)), 10);
    cadhost::Point at = engine::point(own, 10).value_or(cadhost::Point{});
    double sx = engine::real(own, 41, 1), sy = engine::real(own, 42, 1);
    double rot = engine::real(own, 50, 0) * kPi / 180;
    long long cols =
        std::clamp<long long>(engine::integer(own, 70, 1), 1, 1000);
    long long rows =
        std::clamp<long long>(engine::integer(own, 71, 1), 1, 1000);
    // A table's 70 and 71 are its own, not an array's.
    bool table = trimmed(own[0].value) == "ACAD_TABLE";
    if (cols * rows > 10000 || table) cols = rows = 1;
    double cs = engine::real(own, 44, 0), rs = engine::real(own, 45, 0);
    Context child = c;
    child.byBlock = s.color;
    std::string lt = upper(engine::textValue(*d, own, 6));
    child.byBlockLinetype = lt.empty() || lt == "BYLAYER" ? l->linetype
                            : lt == "BYBLOCK"             ? c.byBlockLinetype
                                                          : lt;
    child.parentLayer = l;
    child.plot = s.plot;
    child.dimensionText = nullptr;
    child.dimensionValue = nullptr;
    child.dimensionBlock = false;
    Affine ocs = c.xf * ocsAffine(own, at[2]);
    // Each cell is a visit too: cells of an empty block draw nothing, yet
    // nested arrays of them multiply.
    for (long long i = 0; i < rows && !overBudget(); ++i)
      for (long long j = 0; j < cols && !overBudget(); ++j) {
        ++visits;
        Vec2 shift = Affine::rotate(rot).linear(
            {static_cast<double>(j) * cs, static_cast<double>(i) * rs});
        Affine m = ocs * Affine::translate({at[0] + shift.x, at[1] + shift.y}) *
                   Affine::rotate(rot) * Affine::scaling(sx, sy) *
                   Affine::translate({-base.x, -base.y});
        blockRef(*b, m, child);
      }
  }
  // The attributes go with their reference: hidden with its layer,
  // whatever layer each names.
  if (!visible) return;
  auto subs = engine::subRecords(tags);
  for (std::size_t i = 1; i < subs.size(); ++i)
    if (engine::equalsNoCase(trimmed(subs[i][0].value), "ATTRIB")) {
      Context ac = c;
      ac.dimensionText = nullptr;
      ac.dimensionValue = nullptr;
      text("ATTRIB", subs[i], ac);
    }
}

void Scene::Builder::solid(std::string_view type, Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  Vec2 p0 = pt(own, 10), p1 = pt(own, 11), p2 = pt(own, 12);
  Vec2 p3 = pt(own, 13, p2);
  if (type == "3DFACE") {
    long long hidden = engine::integer(own, 70, 0);
    Vec2 q[4] = {c.xf(p0), c.xf(p1), c.xf(p2), c.xf(p3)};
    std::vector<Vec2> edges;
    for (int k = 0; k < 4; ++k)
      if (!(hidden & (1 << k))) {
        edges.push_back(q[k]);
        edges.push_back(q[(k + 1) % 4]);
      }
    scene.addLines(std::move(edges), s);
    return;
  }
  // Corners come in the order 1, 2, 4, 3 around the outline.
  double z = engine::point(own, 10).value_or(cadhost::Point{})[2];
  std::vector<Vec2> ring{p0, p1, p3, p2};
  if (p3 == p2) ring.pop_back();
  fill({ring}, c.xf * ocsAffine(own, z), s);
}

void Scene::Builder::leader(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  std::vector<Vec2> pts;
  for (std::size_t k = 0; k < own.size(); ++k) {
    if (own[k].code >= 1000) break;
    if (own[k].code == 10 && k + 1 < own.size() && own[k + 1].code == 20)
      pts.push_back({engine::parseReal(own[k].value).value_or(0),
                     engine::parseReal(own[k + 1].value).value_or(0)});
  }
  if (pts.size() < 2) return;
  std::vector<Vec2> world;
  for (Vec2 p : pts) world.push_back(c.xf(p));
  if (engine::integer(own, 71, 1) != 0) {
    double size = engine::effectiveNumber(*d, own, "DIMASZ");
    double scale = engine::effectiveNumber(*d, own, "DIMSCALE");
    if (scale > 0) size *= scale;
    size *= c.xf.scale();
    Vec2 dir{world[0].x - world[1].x, world[0].y - world[1].y};
    std::string kind;
    if (const engine::DimVar* v = engine::dimVarByName("DIMLDRBLK"))
      if (auto h =
              engine::parseHandle(engine::effectiveDimVar(*d, own, *v).text))
        if (const engine::TableEntry* e = d->entryByHandle(*h)) kind = e->name;
    arrow(world[0], dir, size, kind, s);
  }
  scene.addPolyline(std::move(world), false, s);
}

void Scene::Builder::tolerance(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  std::string content = engine::textValue(*d, own, 1);
  double h = engine::dimTextHeight(*d, own);
  if (!(h > 0)) h = 2.5;
  Vec2 at = pt(own, 10), dir = pt(own, 11, {1, 0});
  Affine frame =
      c.xf * Affine::translate(at) * Affine::rotate(std::atan2(dir.y, dir.x));
  // Symbols of the GD&T font, by their letters.
  static const std::map<char, char16_t> gdt = {
      {'a', 0x2220}, {'b', 0x27C2}, {'c', 0x23E5}, {'d', 0x2313}, {'e', 0x25CB},
      {'f', 0x2225}, {'g', 0x232D}, {'h', 0x2197}, {'i', 0x232F}, {'j', 0x2316},
      {'k', 0x2312}, {'l', 0x24C1}, {'m', 0x24C2}, {'n', 0x00D8}, {'p', 0x24C5},
      {'r', 0x25CE}, {'s', 0x24C8}, {'t', 0x2330}, {'u', 0x23E4}};
  QString all = QString::fromUtf8(content);
  all.replace(QLatin1String("^J"), QLatin1String("\n"));
  double rowY = 0;
  const double gap = h * 0.5, rowH = h * 2;
  for (const QString& row : all.split('\n')) {
    double x = 0;
    for (QString cell : row.split(QLatin1String("%%v"))) {
      QString shown;
      for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell.mid(i, 6).compare(QLatin1String("{\\Fgdt"),
                                   Qt::CaseInsensitive) == 0) {
          qsizetype semi = cell.indexOf(';', i);
          qsizetype close = cell.indexOf('}', i);
          if (semi > 0 && close > semi) {
            for (qsizetype k = semi + 1; k < close; ++k) {
              auto it = gdt.find(static_cast<char>(cell[k].unicode()));
              shown += it != gdt.end() ? QChar(it->second) : cell[k];
            }
            i = close;
            continue;
          }
        }
        shown += cell[i];
      }
      shown.replace(QLatin1String("%%c"), QString(QChar(0x00D8)),
                    Qt::CaseInsensitive);
      double w = metrics.width(shown) * h + 2 * gap;
      std::vector<Vec2> frameBox{
          {x, rowY}, {x + w, rowY}, {x + w, rowY - rowH}, {x, rowY - rowH}};
      polyline(frameBox, true, frame, s);
      TextRun r;
      r.text = shown;
      r.origin = {x + gap, rowY - rowH / 2 - h / 2};
      r.height = h;
      run(std::move(r), frame, s);
      x += w;
    }
    rowY -= rowH;
  }
}

void Scene::Builder::image(std::string_view type, Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  Vec2 at = pt(own, 10), u = pt(own, 11, {1, 0}), v = pt(own, 12, {0, 1});
  Vec2 size = pt(own, 13, {1, 1});
  Vec2 p0 = at, p1{at.x + u.x * size.x, at.y + u.y * size.x};
  Vec2 p2{p1.x + v.x * size.y, p1.y + v.y * size.y};
  Vec2 p3{at.x + v.x * size.y, at.y + v.y * size.y};
  std::vector<Vec2> ring{c.xf(p0), c.xf(p1), c.xf(p2), c.xf(p3)};
  if (type == "WIPEOUT") {
    Style bg = s;
    bg.color.role = ColorRole::Background;
    scene.addFill({ring}, bg);
    return;
  }
  scene.addPolyline(std::move(ring), true, s);
}

void Scene::Builder::hatch(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  HatchData h = parseHatch(own);
  if (h.loops.empty()) return;
  Affine m = c.xf * ocsAffine(own, h.elevation);
  if (h.solid) {
    fill(h.loops, m, s);
    return;
  }
  std::vector<Vec2> strokes = hatchStrokes(h, 200000);
  if (strokes.empty()) {
    for (const auto& loop : h.loops) polyline(loop, true, m, s);
    return;
  }
  for (Vec2& p : strokes) p = m(p);
  Style plain = s;
  plain.dash = 0;  // the pattern's own dashes are in the strokes
  scene.addLines(std::move(strokes), plain);
}

}  // namespace cadhost::viewer
