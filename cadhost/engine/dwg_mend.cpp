#include "cadhost/engine/dwg_mend.h"

#include <cmath>
#include <map>
#include <sstream>
#include <string>

#include "cadhost/engine/dimension.h"
#include "cadhost/engine/layers.h"

namespace cadhost::engine {

namespace {

bool agrees(double a, double b) {
  return std::fabs(a - b) <= 1e-9 + 1e-7 * std::fabs(b);
}

std::string handleOf(Tags own) {
  const Tag* h = findTag(own, 5);
  return h ? std::string(h->value) : std::string("?");
}

// The first ARC of the dimension's block: what the CAD drew for an angle.
std::optional<Point> arcCenter(const Drawing& d, Tags own) {
  const Tag* name = findTag(own, 2);
  if (!name) return std::nullopt;
  const Block* b = d.block(d.text(name->value));
  if (!b) return std::nullopt;
  for (const auto& e : b->entities)
    if (e->type == "ARC") return point(ownTags(d.tags(e->rec)), 10);
  return std::nullopt;
}

// Distance of p from the line through a and b.
double offLine(const Point& p, const Point& a, const Point& b) {
  double dx = b[0] - a[0], dy = b[1] - a[1];
  double len = std::hypot(dx, dy);
  if (len < 1e-12) return std::hypot(p[0] - a[0], p[1] - a[1]);
  return std::fabs((p[0] - a[0]) * dy - (p[1] - a[1]) * dx) / len;
}

// The index of a point's first coordinate tag among the dimension's own.
long pointTag(const std::vector<Tag>& tags, std::size_t ownEnd, int code) {
  for (std::size_t i = 0; i < ownEnd; ++i)
    if (tags[i].code == code) return static_cast<long>(i);
  return -1;
}

// Angular dimensions between two lines: LibreDWG writes the dimension
// arc's point as the definition point (10) and the second line's end as
// the arc point (16). Mended when the drawing shows it: the arc the CAD
// drew is centred where the lines meet read the other way, or the stored
// angle fits only that way.
bool mendAngle(Drawing& d, Entity& e, std::vector<std::string>& notes) {
  std::vector<Tag> tags = d.copyTags(e.rec);
  Tags own = ownTags(Tags(tags));
  auto p10 = point(own, 10), p13 = point(own, 13), p14 = point(own, 14),
       p15 = point(own, 15), p16 = point(own, 16);
  if (!p10 || !p13 || !p14 || !p15 || !p16) return false;
  const std::size_t ownEnd = own.size();
  std::vector<Tag> swapped = tags;
  for (int k = 0; k < 3; ++k) {
    long a = pointTag(swapped, ownEnd, 10 + 10 * k);
    long b = pointTag(swapped, ownEnd, 16 + 10 * k);
    if (a < 0 || b < 0) {
      if (k < 2) return false;
      continue;  // a flat arc point has no Z to trade
    }
    std::swap(swapped[a].value, swapped[b].value);
    swapped[a].origin = swapped[b].origin = -1;
  }

  bool swap = false;
  double size = std::hypot((*p14)[0] - (*p13)[0], (*p14)[1] - (*p13)[1]) +
                std::hypot((*p10)[0] - (*p15)[0], (*p10)[1] - (*p15)[1]);
  double tolerance = 1e-6 * std::max(size, 1.0);
  if (auto c = arcCenter(d, own)) {
    bool asRead = offLine(*c, *p13, *p14) < tolerance &&
                  offLine(*c, *p15, *p10) < tolerance;
    bool other = offLine(*c, *p13, *p14) < tolerance &&
                 offLine(*c, *p15, *p16) < tolerance;
    swap = other && !asRead;
  } else if (auto stored = real(own, 42)) {
    auto asRead = geometricMeasurement(own, DimKind::Angular2Line);
    auto other =
        geometricMeasurement(ownTags(Tags(swapped)), DimKind::Angular2Line);
    swap = other && agrees(*stored, *other) &&
           !(asRead && agrees(*stored, *asRead));
  }
  if (!swap) return false;
  notes.push_back("angular dimension " + handleOf(own) +
                  ": the arc point and the second line's end were "
                  "exchanged by LibreDWG; put back");
  d.setLoadedTags(e.rec, std::move(swapped));
  return true;
}

// Ordinate dimensions: the X or Y flag does not always survive the
// conversion. Taken from the measurement the CAD stored, or else from the
// leader as the CAD chooses it: a leader running up or down measures X.
bool mendOrdinate(Drawing& d, Entity& e, std::vector<std::string>& notes) {
  std::vector<Tag> tags = d.copyTags(e.rec);
  Tags own = ownTags(Tags(tags));
  auto origin = point(own, 10), feature = point(own, 13),
       leader = point(own, 14);
  long flagTag = pointTag(tags, own.size(), 70);
  if (!origin || !feature || !leader || flagTag < 0) return false;
  long long flags = parseInt(tags[flagTag].value).value_or(0);
  bool xType = (flags & 64) != 0;

  double axis = -real(own, 51, 0) * std::acos(-1.0) / 180;
  auto along = [&](const Point& v, bool x) {
    return x ? v[0] * std::cos(axis) + v[1] * std::sin(axis)
             : -v[0] * std::sin(axis) + v[1] * std::cos(axis);
  };
  Point fromOrigin{(*feature)[0] - (*origin)[0], (*feature)[1] - (*origin)[1],
                   0};
  Point run{(*leader)[0] - (*feature)[0], (*leader)[1] - (*feature)[1], 0};
  bool wantX = xType;
  std::string why;
  auto stored = real(own, 42);
  double mx = std::fabs(along(fromOrigin, true));
  double my = std::fabs(along(fromOrigin, false));
  if (stored && agrees(*stored, mx) != agrees(*stored, my)) {
    wantX = agrees(*stored, mx);
    why = "its stored measurement";
  } else if (!stored) {
    double rx = std::fabs(along(run, true)), ry = std::fabs(along(run, false));
    if (rx != ry) {
      wantX = ry > rx;
      why = "its leader";
    }
  }
  if (wantX == xType) return false;
  flags = wantX ? (flags | 64) : (flags & ~64LL);
  tags[flagTag].value = d.keep(std::to_string(flags));
  tags[flagTag].origin = -1;
  notes.push_back("ordinate dimension " + handleOf(own) + ": " +
                  (wantX ? "X" : "Y") + " type, as " + why +
                  " says (LibreDWG lost it)");
  d.setLoadedTags(e.rec, std::move(tags));
  return true;
}

// The layers' on/off states as the DWG has them, by handle: what the
// converter read through LibreDWG's object API ("999 DWG layers: 10:on
// 8A:off ..." among the file's first comments).
// Those comments are for this load: a drawing saved afterwards holds its
// layers as shown, and reads them so.
std::map<std::uint64_t, bool> takeDwgLayerStates(Drawing& d) {
  std::map<std::uint64_t, bool> off;
  const auto& tags = d.file().tags;
  for (std::uint32_t i = 0; i < tags.size() && tags[i].code == 999; ++i) {
    std::string_view v = tags[i].value;
    constexpr std::string_view kHead = "DWG layers:";
    if (!v.starts_with(kHead)) continue;
    d.leaveOutOfSaves(i);
    std::istringstream words{std::string(v.substr(kHead.size()))};
    for (std::string w; words >> w;) {
      auto colon = w.find(':');
      if (colon == std::string::npos) continue;
      auto h = parseHandle(std::string_view(w).substr(0, colon));
      std::string state = w.substr(colon + 1);
      if (h && (state == "on" || state == "off")) off[*h] = state == "off";
    }
  }
  return off;
}

std::string namesOf(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size() && i < 5; ++i)
    out += (i ? ", " : "") + names[i];
  if (names.size() > 5) out += ", ...";
  return out;
}

// LibreDWG's DXF writer in the converter negates every layer's colour,
// which says "off" (a DWG of R13 or R14, whose off layers have negative
// colours, comes out the other way round). The states the DWG holds put
// them back; without them the layers stay as written.
void mendLayers(Drawing& d, std::vector<std::string>& notes) {
  auto states = takeDwgLayerStates(d);
  Table* layers = d.mutableTable("LAYER");
  if (states.empty() || !layers) return;
  std::vector<std::string> turnedOn, turnedOff;
  for (auto& e : layers->entries) {
    if (e->rec.erased) continue;
    auto it = states.find(e->handle);
    if (it == states.end()) continue;
    const bool off = it->second;
    auto tags = switchedLayer(d, *e, !off);
    if (!tags) continue;
    d.setLoadedTags(e->rec, std::move(*tags));
    (off ? turnedOff : turnedOn).push_back(e->name);
  }
  if (!turnedOn.empty())
    notes.push_back(std::to_string(turnedOn.size()) +
                    " layers written off by LibreDWG are on in the DWG (" +
                    namesOf(turnedOn) + "); shown as the DWG has them");
  if (!turnedOff.empty())
    notes.push_back(std::to_string(turnedOff.size()) +
                    " layers written on by LibreDWG are off in the DWG (" +
                    namesOf(turnedOff) + "); hidden as the DWG has them");
}

}  // namespace

bool writtenByLibreDwg(const Drawing& d) {
  // Its DXF begins with a comment naming it.
  for (const Tag& t : d.file().tags) {
    if (t.code != 999) return false;
    std::string_view v = t.value;
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    if (v.starts_with("LibreDWG")) return true;
  }
  return false;
}

void mendLibreDwgOutput(Drawing& d) {
  if (!writtenByLibreDwg(d)) return;
  std::vector<std::string> notes;
  mendLayers(d, notes);
  for (Entity* e : d.mutableModelSpace()) {
    if (e->type != "DIMENSION") continue;
    Tags own = ownTags(d.tags(e->rec));
    DimKind kind = dimKind(e->type, own);
    if (kind == DimKind::Angular2Line)
      mendAngle(d, *e, notes);
    else if (kind == DimKind::Ordinate)
      mendOrdinate(d, *e, notes);
  }
  for (auto& n : notes) d.noteRepair(std::move(n));
}

}  // namespace cadhost::engine
