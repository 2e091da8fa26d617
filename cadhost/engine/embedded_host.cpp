#include "cadhost/engine/embedded_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <numbers>

#include "base/text.h"
#include "cadhost/engine/dimension.h"
#include "cadhost/engine/dwg_mend.h"
#include "cadhost/engine/geometry.h"
#include "cadhost/engine/layers.h"
#include "cadhost/engine/purge.h"

namespace cadhost::engine {

// ------------------------------------------------------------ state

struct UndoStep {
  RecordChanges records;
  enum class Op { None, Added, Deleted } op = Op::None;
  Entity* entity = nullptr;
  std::size_t index = 0;        // model-space index of a deleted entity
  std::vector<UndoStep> group;  // the steps of one undo mark, oldest first
};

struct DocState {
  std::unique_ptr<Drawing> drawing;
  std::string path;
  std::string dwgSource;  // the DWG it was converted from, never written
  bool fromDwg = false;   // until saved as DXF
  bool closed = false;
  std::function<void()> onClosed;
  std::function<void(const std::string&)> onSavedAs;
  std::function<void()> onUndone;
  std::vector<UndoStep> undo;
  int markDepth = 0;
  std::size_t markStart = 0;  // where the open undo mark's steps begin
  std::uint64_t revision = 0;
  std::uint64_t savedRevision = 0;  // the revision on disk
  // The layer (file bytes) and colour the user made current; a drawing
  // without a header keeps them only here.
  std::optional<std::string> currentLayer;
  std::optional<long long> currentColor;
  std::uint64_t boundsRevision = ~std::uint64_t{0};
  Bounds bounds;
  // Colours shown over entities, never written (ShowResultColors).
  std::unordered_map<const Entity*, int> resultColors;
  std::uint64_t resultsRevision = 0;

  void check() const {
    if (closed) throw HostError("the drawing is closed");
  }

  // One change of one record through the interface: one undo step.
  template <typename F>
  void edit(Record& r, F&& f) {
    std::vector<Tag> tags = drawing->copyTags(r);
    f(tags);
    UndoStep step;
    step.records.emplace_back(&r, r.state());
    drawing->setTags(r, std::move(tags));
    undo.push_back(std::move(step));
    ++revision;
  }

  void takeBack(UndoStep& step) {
    for (auto it = step.group.rbegin(); it != step.group.rend(); ++it)
      takeBack(*it);
    for (auto it = step.records.rbegin(); it != step.records.rend(); ++it)
      it->first->restore(it->second);
    if (step.op == UndoStep::Op::Added) {
      step.entity->rec.erased = true;
      drawing->removeFromModelSpace(step.entity);
    } else if (step.op == UndoStep::Op::Deleted) {
      step.entity->rec.erased = false;
      drawing->insertIntoModelSpace(step.entity, step.index);
    }
  }

  void undoLast() {
    if (undo.empty()) return;
    UndoStep step = std::move(undo.back());
    undo.pop_back();
    takeBack(step);
    if (markStart > undo.size()) markStart = undo.size();
    ++revision;
  }

  void startMark() {
    if (markDepth++ == 0) markStart = undo.size();
  }

  void endMark() {
    if (markDepth == 0 || --markDepth > 0) return;
    if (undo.size() - markStart < 2) return;  // nothing to join
    UndoStep joined;
    auto first = undo.begin() + static_cast<std::ptrdiff_t>(markStart);
    joined.group.assign(std::make_move_iterator(first),
                        std::make_move_iterator(undo.end()));
    undo.erase(first, undo.end());
    undo.push_back(std::move(joined));
  }
};

namespace {

constexpr double kPi = std::numbers::pi;

std::string fileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

bool endsWithNoCase(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         equalsNoCase(std::string_view(s).substr(s.size() - suffix.size()),
                      suffix);
}

using base::trimmed;

// The layer new entities go to, as the file writes it.
std::string currentLayerRaw(const DocState& s) {
  if (s.currentLayer) return *s.currentLayer;
  if (auto h = s.drawing->header("$CLAYER"); h && !h->empty()) {
    std::string_view v = trimmed((*h)[0].value);
    if (!v.empty()) return std::string(v);
  }
  return "0";
}

long long currentColorNumber(const DocState& s) {
  if (s.currentColor) return *s.currentColor;
  if (auto h = s.drawing->header("$CECOLOR"); h && !h->empty())
    return parseInt((*h)[0].value).value_or(kColorByLayer);
  return kColorByLayer;
}

// Index of a tag with the code among the entity's own tags, skipping
// application groups; -1 when absent.
long ownIndex(const std::vector<Tag>& tags, int code) {
  bool inGroup = false;
  for (std::size_t i = 1; i < tags.size(); ++i) {
    const Tag& t = tags[i];
    if (t.code == 0) break;
    if (t.code == 102) {
      inGroup = !t.value.empty() && t.value.front() == '{';
      continue;
    }
    if (inGroup) continue;
    if (t.code == 101 || t.code >= 1000) break;
    if (t.code == code) return static_cast<long>(i);
  }
  return -1;
}

// Where common entity data (layer, colour) goes when a tag is missing:
// after the AcDbEntity marker, or after the handle and owner links.
std::size_t commonInsertPos(const std::vector<Tag>& tags) {
  bool inGroup = false;
  std::size_t pos = 1;
  for (std::size_t i = 1; i < tags.size(); ++i) {
    const Tag& t = tags[i];
    if (t.code == 0) break;
    if (t.code == 102) {
      inGroup = !t.value.empty() && t.value.front() == '{';
      pos = i + 1;
      continue;
    }
    if (inGroup) {
      pos = i + 1;
      continue;
    }
    if (t.code == 100) {
      if (equalsNoCase(trimmed(t.value), "AcDbEntity")) return i + 1;
      break;
    }
    if (t.code == 5 || t.code == 330 || t.code == 360) {
      pos = i + 1;
      continue;
    }
    break;
  }
  return pos;
}

bool looksLikeDwg(std::string_view bytes) {
  // DWG files begin with their version, "AC1015", and binary data.
  return bytes.size() >= 6 && bytes.starts_with("AC1") &&
         (bytes.size() == 6 || (bytes[6] != '\n' && bytes[6] != '\r'));
}

const char* kDwgMessage =
    "DWG drawings must first be converted to DXF (no converter is set up): ";

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  auto ca = std::filesystem::weakly_canonical(a, ec);
  if (ec) return false;
  auto cb = std::filesystem::weakly_canonical(b, ec);
  return !ec && ca == cb;
}

// ------------------------------------------------------------ entities

class EngineEntity : public cadhost::Entity {
 public:
  EngineEntity(std::shared_ptr<DocState> doc, engine::Entity* node)
      : doc_(std::move(doc)), node_(node) {}

  std::string ObjectName() const override {
    check();
    return objectNameOf(*doc_->drawing, *node_);
  }

  int Color() const override {
    check();
    return static_cast<int>(integer(own(), 62, kColorByLayer));
  }

  void SetColor(int color) override {
    check();
    if (color < 0 || color > 256)
      throw HostError("colour " + std::to_string(color) +
                      " is not a colour number (0 to 256)");
    doc_->edit(node_->rec, [&](std::vector<Tag>& t) {
      // A true colour would win over the colour number.
      for (std::size_t i = t.size(); i-- > 1;)
        if ((t[i].code == 420 || t[i].code == 430) &&
            static_cast<long>(i) == ownIndex(t, t[i].code))
          t.erase(t.begin() + static_cast<long>(i));
      Tag tag{62, -1, doc_->drawing->keep(std::to_string(color))};
      long i = ownIndex(t, 62);
      if (i >= 0) {
        t[static_cast<std::size_t>(i)] = tag;
      } else if (color != kColorByLayer) {
        long layer = ownIndex(t, 8);
        std::size_t at = layer >= 0 ? static_cast<std::size_t>(layer) + 1
                                    : commonInsertPos(t);
        if (at < t.size() && t[at].code == 6) ++at;
        t.insert(t.begin() + static_cast<long>(at), tag);
      }
    });
  }

  std::string Layer() const override {
    check();
    const Tag* t = findTag(own(), 8);
    return t ? doc_->drawing->text(t->value) : std::string("0");
  }

  void SetLayer(const std::string& layer) override {
    check();
    const Drawing& d = *doc_->drawing;
    if (layer.empty()) throw HostError("a layer name cannot be empty");
    const Table* layers = d.table("LAYER");
    const TableEntry* entry = d.tableEntry("LAYER", layer);
    if (layers && !entry) throw HostError("the drawing has no layer " + layer);
    std::string name = entry ? entry->name : layer;
    doc_->edit(node_->rec, [&](std::vector<Tag>& t) {
      Tag tag{8, -1, doc_->drawing->keep(doc_->drawing->encode(name))};
      long i = ownIndex(t, 8);
      if (i >= 0)
        t[static_cast<std::size_t>(i)] = tag;
      else
        t.insert(t.begin() + static_cast<long>(commonInsertPos(t)), tag);
    });
  }

  void Move(const Point& from, const Point& to) override {
    check();
    Point delta = sub(to, from);
    std::vector<Tag> probe = doc_->drawing->copyTags(node_->rec);
    if (!translateEntity(node_->type, probe, delta, doc_->drawing->arena()))
      throw HostError(ObjectName() + " cannot be moved by this host");
    doc_->edit(node_->rec, [&](std::vector<Tag>& t) { t = std::move(probe); });
  }

  void ScaleEntity(const Point& base, double factor) override {
    check();
    if (!(factor > 0) || !std::isfinite(factor))
      throw HostError("the scale factor must be a positive number");
    std::vector<Tag> probe = doc_->drawing->copyTags(node_->rec);
    if (!scaleEntity(node_->type, probe, base, factor, doc_->drawing->arena()))
      throw HostError(ObjectName() + " cannot be scaled by this host");
    doc_->edit(node_->rec, [&](std::vector<Tag>& t) { t = std::move(probe); });
  }

  void Delete() override {
    check();
    UndoStep step;
    step.op = UndoStep::Op::Deleted;
    step.entity = node_;
    step.index = doc_->drawing->modelSpaceIndex(node_);
    node_->rec.erased = true;
    doc_->drawing->removeFromModelSpace(node_);
    doc_->undo.push_back(std::move(step));
    ++doc_->revision;
  }

  Point center() const override {
    check();
    require(node_->type == "CIRCLE" || node_->type == "ARC", "center");
    Tags t = own();
    return ocsOf(t).toWcs(point(t, 10).value_or(Point{0, 0, 0}));
  }

  double Radius() const override {
    check();
    require(node_->type == "CIRCLE" || node_->type == "ARC", "Radius");
    return real(own(), 40, 0);
  }

  std::string TextString() const override {
    check();
    require(isText(), "TextString");
    Tags t = own();
    if (node_->type != "MTEXT") return textValue(*doc_->drawing, t, 1);
    // MTEXT keeps long contents in chunks of group 3 before the last part.
    std::string raw;
    bool inGroup = false;
    for (std::size_t i = 1; i < t.size(); ++i) {
      if (t[i].code == 102) {
        inGroup = !t[i].value.empty() && t[i].value.front() == '{';
        continue;
      }
      if (inGroup) continue;
      if (t[i].code == 101 || t[i].code >= 1000) break;
      if (t[i].code == 3 || t[i].code == 1) raw += t[i].value;
      if (t[i].code == 1) break;
    }
    return doc_->drawing->text(raw);
  }

  double Height() const override {
    check();
    require(isText(), "Height");
    return real(own(), 40, 0);
  }

  Point InsertionPoint() const override {
    check();
    require(isText(), "InsertionPoint");
    Tags t = own();
    Point p = point(t, 10).value_or(Point{0, 0, 0});
    return node_->type == "MTEXT" ? p : ocsOf(t).toWcs(p);
  }

  double Measurement() const override {
    Tags t = dimension("Measurement");
    return dimMeasurement(*doc_->drawing, t, dimKind(node_->type, t));
  }

  Point TextPosition() const override {
    Tags t = dimension("TextPosition");
    if (auto p = point(t, 11)) return ocsOf(t).toWcs(*p);
    return point(t, 10).value_or(Point{0, 0, 0});
  }

  double TextHeight() const override {
    return dimTextHeight(*doc_->drawing, dimension("TextHeight"));
  }

  std::string TextOverride() const override {
    Tags t = dimension("TextOverride");
    return textValue(*doc_->drawing, t, 1);
  }

  int ToleranceDisplay() const override {
    return toleranceDisplay(*doc_->drawing, dimension("ToleranceDisplay"));
  }

  double ToleranceUpperLimit() const override {
    return limit("ToleranceUpperLimit", "DIMTP");
  }

  double ToleranceLowerLimit() const override {
    return limit("ToleranceLowerLimit", "DIMTM");
  }

  int PrimaryUnitsPrecision() const override {
    return precision("PrimaryUnitsPrecision", "DIMDEC", false);
  }
  void SetPrimaryUnitsPrecision(int decimals) override {
    setPrecision("PrimaryUnitsPrecision", "DIMDEC", decimals, false);
  }
  int TextPrecision() const override {
    return precision("TextPrecision", "DIMADEC", true);
  }
  void SetTextPrecision(int decimals) override {
    setPrecision("TextPrecision", "DIMADEC", decimals, true);
  }
  int TolerancePrecision() const override {
    return precision("TolerancePrecision", "DIMTDEC", false);
  }
  void SetTolerancePrecision(int decimals) override {
    setPrecision("TolerancePrecision", "DIMTDEC", decimals, false);
  }

  const DocState* state() const { return doc_.get(); }
  const engine::Entity* node() const { return node_; }

 private:
  void check() const {
    doc_->check();
    if (node_->rec.erased) throw HostError("the entity was deleted");
  }
  Tags own() const { return ownTags(doc_->drawing->tags(node_->rec)); }
  bool isText() const {
    return node_->type == "TEXT" || node_->type == "MTEXT" ||
           node_->type == "ATTDEF";
  }
  void require(bool has, const char* property) const {
    if (!has)
      throw HostError(objectNameOf(*doc_->drawing, *node_) +
                      " has no property " + property);
  }
  Tags dimension(const char* property) const {
    check();
    require(isDimensionType(node_->type), property);
    return own();
  }
  bool angular() const { return isAngular(dimKind(node_->type, own())); }
  double limit(const char* property, const char* var) const {
    Tags t = dimension(property);
    double v = effectiveNumber(*doc_->drawing, t, var);
    // Angular tolerances are written in degrees; the host reports radians
    // as it does for every angle.
    return angular() ? v * kPi / 180.0 : v;
  }
  int precision(const char* property, const char* var, bool angularOnly) const {
    Tags t = dimension(property);
    if (angularOnly) require(angular(), property);
    return static_cast<int>(
        std::lround(effectiveNumber(*doc_->drawing, t, var)));
  }
  void setPrecision(const char* property, const char* var, int decimals,
                    bool angularOnly) {
    dimension(property);
    if (angularOnly) require(angular(), property);
    if (decimals < 0 || decimals > 8)
      throw HostError(std::string(property) + " must be 0 to 8, not " +
                      std::to_string(decimals));
    const DimVar* dv = dimVarByName(var);
    doc_->edit(node_->rec, [&](std::vector<Tag>& t) {
      setDimOverride(*doc_->drawing, t, *dv, std::to_string(decimals));
    });
  }

  std::shared_ptr<DocState> doc_;
  engine::Entity* node_;
};

cadhost::EntityRef refFor(const std::shared_ptr<DocState>& doc,
                          engine::Entity* node) {
  if (auto existing = node->ref.lock()) return existing;
  auto ref = std::make_shared<EngineEntity>(doc, node);
  node->ref = ref;
  return ref;
}

}  // namespace

std::string objectNameOf(const Drawing& d, const Entity& e) {
  static const std::map<std::string, std::string, std::less<>> names = {
      {"LINE", "AcDbLine"},
      {"POINT", "AcDbPoint"},
      {"CIRCLE", "AcDbCircle"},
      {"ARC", "AcDbArc"},
      {"TEXT", "AcDbText"},
      {"MTEXT", "AcDbMText"},
      {"LWPOLYLINE", "AcDbPolyline"},
      {"ELLIPSE", "AcDbEllipse"},
      {"SPLINE", "AcDbSpline"},
      {"SOLID", "AcDbSolid"},
      {"TRACE", "AcDbTrace"},
      {"3DFACE", "AcDbFace"},
      {"HATCH", "AcDbHatch"},
      {"LEADER", "AcDbLeader"},
      {"MULTILEADER", "AcDbMLeader"},
      {"MLEADER", "AcDbMLeader"},
      {"TOLERANCE", "AcDbFcf"},
      {"ATTDEF", "AcDbAttributeDefinition"},
      {"ATTRIB", "AcDbAttribute"},
      {"VIEWPORT", "AcDbViewport"},
      {"XLINE", "AcDbXline"},
      {"RAY", "AcDbRay"},
      {"3DSOLID", "AcDb3dSolid"},
      {"REGION", "AcDbRegion"},
      {"BODY", "AcDbBody"},
      {"IMAGE", "AcDbRasterImage"},
      {"WIPEOUT", "AcDbWipeout"},
      {"MLINE", "AcDbMline"},
      {"SHAPE", "AcDbShape"},
      {"ACAD_TABLE", "AcDbTable"},
      {"OLE2FRAME", "AcDbOle2Frame"},
      {"OLEFRAME", "AcDbOleFrame"},
      {"MESH", "AcDbSubDMesh"},
      {"HELIX", "AcDbHelix"},
      {"SURFACE", "AcDbSurface"},
      {"EXTRUDEDSURFACE", "AcDbExtrudedSurface"},
      {"LOFTEDSURFACE", "AcDbLoftedSurface"},
      {"REVOLVEDSURFACE", "AcDbRevolvedSurface"},
      {"SWEPTSURFACE", "AcDbSweptSurface"},
      {"PLANESURFACE", "AcDbPlaneSurface"},
      {"NURBSURFACE", "AcDbNurbSurface"},
      {"LIGHT", "AcDbLight"},
      {"SECTION", "AcDbSection"},
      {"PDFUNDERLAY", "AcDbPdfReference"},
      {"DWFUNDERLAY", "AcDbDwfReference"},
      {"DGNUNDERLAY", "AcDbDgnReference"},
      {"ARCALIGNEDTEXT", "AcDbArcAlignedText"},
      {"RTEXT", "RText"},
      {"ACAD_PROXY_ENTITY", "AcDbProxyEntity"},
      {"POINTCLOUD", "AcDbPointCloud"},
      {"GEOPOSITIONMARKER", "AcDbGeoPositionMarker"},
      {"CAMERA", "AcDbCamera"},
      {"MPOLYGON", "AcDbMPolygon"},
      {"ARC_DIMENSION", "AcDbArcDimension"},
      {"LARGE_RADIAL_DIMENSION", "AcDbRadialDimensionLarge"},
  };
  Tags t = ownTags(d.tags(e.rec));
  if (e.type == "DIMENSION") {
    switch (dimKind(e.type, t)) {
      case DimKind::Rotated:
        return "AcDbRotatedDimension";
      case DimKind::Aligned:
        return "AcDbAlignedDimension";
      case DimKind::Angular2Line:
        return "AcDb2LineAngularDimension";
      case DimKind::Diametric:
        return "AcDbDiametricDimension";
      case DimKind::Radial:
        return "AcDbRadialDimension";
      case DimKind::Angular3Point:
        return "AcDb3PointAngularDimension";
      case DimKind::Ordinate:
        return "AcDbOrdinateDimension";
      default:
        return "AcDbDimension";
    }
  }
  if (e.type == "POLYLINE") {
    long long flags = integer(t, 70, 0);
    if (flags & 16) return "AcDbPolygonMesh";
    if (flags & 64) return "AcDbPolyFaceMesh";
    if (flags & 8) return "AcDb3dPolyline";
    return "AcDb2dPolyline";
  }
  if (e.type == "INSERT")
    return integer(t, 70, 1) > 1 || integer(t, 71, 1) > 1
               ? "AcDbMInsertBlock"
               : "AcDbBlockReference";
  if (auto it = names.find(e.type); it != names.end()) return it->second;
  // Custom classes name themselves in their last subclass marker.
  std::string marker;
  for (const Tag& tag : t)
    if (tag.code == 100) marker = std::string(trimmed(tag.value));
  if (!marker.empty() && marker != "AcDbEntity") return marker;
  std::string name = "AcDb";
  bool start = true;
  for (char c : e.type) {
    if (c == '_') {
      start = true;
      continue;
    }
    name += start ? c : static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    start = false;
  }
  return name;
}

// ------------------------------------------------------------ model space

class EngineDocument::Space : public cadhost::ModelSpace {
 public:
  explicit Space(std::shared_ptr<DocState> s) : s_(std::move(s)) {}

  int Count() const override {
    s_->check();
    return static_cast<int>(s_->drawing->modelSpace().size());
  }

  EntityRef Item(int index) override {
    s_->check();
    const auto& ms = s_->drawing->modelSpace();
    if (index < 0 || static_cast<std::size_t>(index) >= ms.size())
      throw HostError("model space has no item " + std::to_string(index) +
                      " (it holds " + std::to_string(ms.size()) + ")");
    return refFor(s_, ms[static_cast<std::size_t>(index)]);
  }

  EntityRef AddCircle(const Point& center, double radius) override {
    s_->check();
    if (!(radius > 0) || !std::isfinite(radius))
      throw HostError("a circle needs a positive radius");
    checkPoint(center);
    Drawing& d = *s_->drawing;
    std::vector<Tag> t = start("CIRCLE", "AcDbCircle");
    addPoint(t, 10, center);
    t.push_back(Tag{40, -1, d.keep(formatReal(radius))});
    return add("CIRCLE", std::move(t));
  }

  EntityRef AddText(const std::string& text, const Point& insertion,
                    double height) override {
    s_->check();
    if (!(height > 0) || !std::isfinite(height))
      throw HostError("a text needs a positive height");
    checkPoint(insertion);
    Drawing& d = *s_->drawing;
    std::vector<Tag> t = start("TEXT", "AcDbText");
    addPoint(t, 10, insertion);
    t.push_back(Tag{40, -1, d.keep(formatReal(height))});
    t.push_back(Tag{1, -1, d.keep(d.encode(text))});
    if (auto style = d.header("$TEXTSTYLE"); style && !style->empty()) {
      std::string_view name = trimmed((*style)[0].value);
      if (!equalsNoCase(name, "STANDARD") &&
          d.tableEntry("STYLE", d.text(name)))
        t.push_back(Tag{7, -1, d.keep(name)});
    }
    if (d.hasSubclassMarkers()) t.push_back(Tag{100, -1, d.keep("AcDbText")});
    return add("TEXT", std::move(t));
  }

 private:
  static void checkPoint(const Point& p) {
    for (double v : p)
      if (!std::isfinite(v)) throw HostError("a point must be finite");
  }

  void addPoint(std::vector<Tag>& t, int code, const Point& p) {
    Drawing& d = *s_->drawing;
    for (int k = 0; k < 3; ++k)
      t.push_back(Tag{code + 10 * k, -1, d.keep(formatReal(p[k]))});
  }

  // The head of a new entity: handle, owner, current layer and colour.
  std::vector<Tag> start(const char* type, const char* subclass) {
    Drawing& d = *s_->drawing;
    std::vector<Tag> t;
    t.push_back(Tag{0, -1, d.keep(type)});
    if (d.usesHandles())
      t.push_back(Tag{5, -1, d.keep(formatHandle(d.takeHandle()))});
    bool markers = d.hasSubclassMarkers();
    if (markers && d.modelSpaceRecordHandle())
      t.push_back(
          Tag{330, -1, d.keep(formatHandle(d.modelSpaceRecordHandle()))});
    if (markers) t.push_back(Tag{100, -1, d.keep("AcDbEntity")});
    t.push_back(Tag{8, -1, d.keep(currentLayerRaw(*s_))});
    long long color = currentColorNumber(*s_);
    if (color != kColorByLayer)
      t.push_back(Tag{62, -1, d.keep(std::to_string(color))});
    if (markers) t.push_back(Tag{100, -1, d.keep(subclass)});
    return t;
  }

  EntityRef add(const char* type, std::vector<Tag> t) {
    engine::Entity& e = s_->drawing->appendEntity(type, std::move(t));
    UndoStep step;
    step.op = UndoStep::Op::Added;
    step.entity = &e;
    s_->undo.push_back(std::move(step));
    ++s_->revision;
    return refFor(s_, &e);
  }

  std::shared_ptr<DocState> s_;
};

class EngineDocument::Picks : public cadhost::Utility {
 public:
  Picks(std::shared_ptr<DocState> s, std::weak_ptr<EngineApplication> app)
      : s_(std::move(s)), app_(std::move(app)) {}

  Point GetPoint(const std::optional<Point>&,
                 const std::string& prompt) override {
    return source().pickPoint(prompt);
  }
  Point GetCorner(const Point& base, const std::string& prompt) override {
    return source().pickCorner(base, prompt);
  }

 private:
  PickSource& source() {
    s_->check();
    auto app = app_.lock();
    if (!app || app->hasQuit()) throw HostError("the CAD host is closed");
    if (!app->pickSource())
      throw HostError("no drawing window is open to pick a point in");
    return *app->pickSource();
  }

  std::shared_ptr<DocState> s_;
  std::weak_ptr<EngineApplication> app_;
};

// ------------------------------------------------------------ document

EngineDocument::EngineDocument(std::shared_ptr<DocState> state,
                               std::weak_ptr<EngineApplication> app)
    : state_(std::move(state)),
      app_(std::move(app)),
      space_(std::make_unique<Space>(state_)),
      picks_(std::make_unique<Picks>(state_, app_)) {}

EngineDocument::~EngineDocument() = default;

namespace {

// The save writes here first and renames it over the target, so that a
// failed save leaves the old file whole.
std::string savingPath(const std::string& path) { return path + ".saving"; }

// A temporary file left by a save that was interrupted is ours to remove;
// a folder of that name is not.
void removeStraySave(const std::string& path) {
  const std::string tmp = savingPath(path);
  struct stat st {};
  if (::lstat(tmp.c_str(), &st) != 0) return;
  if (S_ISDIR(st.st_mode))
    throw HostError("cannot write " + path + ": " + tmp + " is a folder");
  if (::unlink(tmp.c_str()) != 0 && errno != ENOENT)
    throw HostError("cannot write " + path + ": " + tmp +
                    " cannot be removed (" + std::strerror(errno) + ")");
}

// A fresh temporary file, never one reached through a link.
int createSaving(const std::string& path) {
  removeStraySave(path);
  int fd = ::open(savingPath(path).c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0)
    throw HostError("cannot write " + path + ": " + std::strerror(errno));
  return fd;
}

void refuseDwgName(const std::string& path) {
  if (endsWithNoCase(path, ".dwg"))
    throw HostError("this host writes DXF only; choose a .dxf file name");
}

}  // namespace

void checkSaveTarget(const std::string& path) {
  refuseDwgName(path);
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw HostError("cannot write " + path + ": it is a folder");
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) parent = ".";
  if (!std::filesystem::is_directory(parent, ec))
    throw HostError("cannot write " + path + ": the folder " + parent.string() +
                    " does not exist");
  int fd = createSaving(path);
  ::close(fd);
  ::unlink(savingPath(path).c_str());
}

void EngineDocument::saveAs(const std::string& path) {
  state_->check();
  refuseDwgName(path);
  if (!state_->dwgSource.empty() && sameFile(path, state_->dwgSource))
    throw HostError("the drawing was opened from the DWG " + path +
                    ", which is never written over; choose a .dxf file name");
  const std::string tmp = savingPath(path);
  int fd = createSaving(path);
  std::FILE* out = ::fdopen(fd, "wb");
  if (!out) {
    ::close(fd);
    ::unlink(tmp.c_str());
    throw HostError("cannot write " + path + ": " + std::strerror(errno));
  }
  bool ok = true;
  state_->drawing->serialize([&](const char* data, std::size_t size) {
    ok = ok && std::fwrite(data, 1, size, out) == size;
  });
  // On the disk before it takes the name, so the name never shows half a
  // drawing.
  ok = std::fflush(out) == 0 && ::fsync(fd) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    ::unlink(tmp.c_str());
    throw HostError("cannot write " + path);
  }
  std::error_code ec;
  std::filesystem::rename(tmp, path, ec);
  if (ec) {
    ::unlink(tmp.c_str());
    throw HostError("cannot write " + path + ": " + ec.message());
  }
  const bool renamed = path != state_->path;
  state_->path = path;
  state_->fromDwg = false;
  state_->savedRevision = state_->revision;
  if (renamed && state_->onSavedAs) {
    auto handler = state_->onSavedAs;  // it may replace itself
    handler(path);
  }
}

void EngineDocument::SetSavedAsHandler(
    std::function<void(const std::string& path)> handler) {
  state_->check();
  state_->onSavedAs = std::move(handler);
}

bool EngineDocument::Saved() const {
  return state_->closed || state_->revision == state_->savedRevision;
}

void EngineDocument::MarkSaved() { state_->savedRevision = state_->revision; }

std::string EngineDocument::FullName() const { return state_->path; }

bool EngineDocument::Save() {
  state_->check();
  auto app = app_.lock();
  if (app && app->saveHook) {
    auto hook = app->saveHook;
    return hook(*this);
  }
  if (state_->fromDwg)
    throw HostError(
        "a drawing opened from DWG is saved as DXF under a name "
        "the user gives");
  saveAs(state_->path);
  return true;
}

void EngineDocument::Close() { close(); }

void EngineDocument::close() {
  if (state_->closed) return;
  auto keepAlive = weak_from_this().lock();  // the host may hold the last ref
  state_->closed = true;
  ++state_->revision;
  if (auto app = app_.lock()) app->forget(this);
  if (state_->onClosed) {
    auto handler = std::move(state_->onClosed);
    state_->onClosed = nullptr;
    handler();
  }
}

bool EngineDocument::isClosed() const { return state_->closed; }
const std::string& EngineDocument::path() const { return state_->path; }
bool EngineDocument::fromDwg() const { return state_->fromDwg; }
const Drawing& EngineDocument::drawing() const { return *state_->drawing; }
const std::vector<std::string>& EngineDocument::repairs() const {
  return state_->drawing->repairs();
}
std::uint64_t EngineDocument::revision() const { return state_->revision; }

void EngineDocument::ShowResultColors(
    const std::vector<std::pair<EntityRef, int>>& colors) {
  state_->check();
  std::unordered_map<const Entity*, int> shown;
  for (const auto& [ref, color] : colors) {
    const auto* e = dynamic_cast<const EngineEntity*>(ref.get());
    // Another drawing's entity, or a colour no palette has, shows nothing.
    if (!e || e->state() != state_.get() || color < 1 || color > 255) continue;
    shown[e->node()] = color;
  }
  if (shown == state_->resultColors) return;
  state_->resultColors = std::move(shown);
  ++state_->resultsRevision;
}

const std::unordered_map<const Entity*, int>& EngineDocument::resultColors()
    const {
  return state_->resultColors;
}

std::uint64_t EngineDocument::resultsRevision() const {
  return state_->resultsRevision;
}
std::size_t EngineDocument::undoDepth() const { return state_->undo.size(); }

ModelSpace& EngineDocument::GetModelSpace() {
  state_->check();
  return *space_;
}

Variable EngineDocument::GetVariable(const std::string& name) {
  state_->check();
  const Drawing& d = *state_->drawing;
  std::string key = upperCase(trimmed(name));
  if (key.starts_with("$")) key.erase(0, 1);

  if (key == "EXTMIN" || key == "EXTMAX") {
    auto headerPoint = [&](const char* var) -> std::optional<Point> {
      auto h = d.header(var);
      if (!h) return std::nullopt;
      return point(*h, 10);
    };
    auto hmin = headerPoint("$EXTMIN"), hmax = headerPoint("$EXTMAX");
    bool valid = hmin && hmax;
    if (valid)
      for (int k = 0; k < 3; ++k)
        valid = valid && std::isfinite((*hmin)[k]) &&
                std::isfinite((*hmax)[k]) && std::fabs((*hmin)[k]) < 1e19 &&
                std::fabs((*hmax)[k]) < 1e19 && (*hmin)[k] <= (*hmax)[k];
    if (valid) {
      // Extents of a single point are degenerate; extents that miss
      // entities are stale.
      double size =
          std::hypot((*hmax)[0] - (*hmin)[0], (*hmax)[1] - (*hmin)[1]);
      valid = size > 0 && anchorsWithin(d, *hmin, *hmax, 0.1 * size + 1e-6);
    }
    if (valid) return key == "EXTMIN" ? *hmin : *hmax;
    if (state_->boundsRevision != state_->revision) {
      state_->bounds = modelSpaceBounds(d);
      state_->boundsRevision = state_->revision;
    }
    const Bounds& geo = state_->bounds;
    if (geo.empty()) {
      // Nothing to measure: what the header says, if anything.
      auto h = key == "EXTMIN" ? hmin : hmax;
      return h ? *h : Point{0, 0, 0};
    }
    return key == "EXTMIN" ? geo.min : geo.max;
  }
  if (key == "CECOLOR") {
    long long c = currentColorNumber(*state_);
    if (c == kColorByLayer) return std::string("bylayer");
    if (c == kColorByBlock) return std::string("byblock");
    return std::to_string(c);
  }
  if (key == "CLAYER") return d.text(currentLayerRaw(*state_));
  if (const DimVar* var = dimVarByName(key)) {
    DimValue v = headerDimVar(d, *var);
    if (var->type == DimVar::Real || var->type == DimVar::Int) return v.number;
    return v.text;
  }
  auto h = d.header(key);
  if (!h || h->empty()) throw HostError("unknown system variable " + name);
  const Tag& first = (*h)[0];
  if (first.code == 10) return point(*h, 10).value_or(Point{0, 0, 0});
  if (isNumeric(valueType(first.code)))
    return parseReal(first.value).value_or(0.0);
  return d.text(first.value);
}

void EngineDocument::PurgeAll() {
  state_->check();
  UndoStep step;
  purgeUnreferenced(*state_->drawing, step.records);
  if (step.records.empty()) return;
  state_->undo.push_back(std::move(step));
  ++state_->revision;
}

std::string EngineDocument::currentLayer() const {
  return state_->drawing->text(currentLayerRaw(*state_));
}

int EngineDocument::currentColor() const {
  return static_cast<int>(currentColorNumber(*state_));
}

void EngineDocument::setCurrentLayer(const std::string& layer) {
  state_->check();
  Drawing& d = *state_->drawing;
  const TableEntry* entry = d.tableEntry("LAYER", layer);
  // Layer 0 is in every drawing, listed or not.
  if (!entry && layer != "0")
    throw HostError("the drawing has no layer \"" + layer + "\"");
  std::string raw = d.encode(entry ? entry->name : layer);
  d.setHeader("$CLAYER", {Tag{8, -1, d.keep(raw)}});
  state_->currentLayer = raw;
  ++state_->revision;
}

void EngineDocument::setCurrentColor(int color) {
  state_->check();
  if (color < kColorByBlock || color > kColorByLayer)
    throw HostError("colour " + std::to_string(color) +
                    " is not a colour number (0 to 256)");
  Drawing& d = *state_->drawing;
  d.setHeader("$CECOLOR", {Tag{62, -1, d.keep(std::to_string(color))}});
  state_->currentColor = color;
  ++state_->revision;
}

std::vector<std::string> EngineDocument::layers() const {
  std::vector<std::string> names;
  if (const Table* t = state_->drawing->table("LAYER"))
    for (const auto& e : t->entries) names.push_back(e->name);
  if (std::find(names.begin(), names.end(), "0") == names.end())
    names.insert(names.begin(), "0");
  return names;
}

bool EngineDocument::everyLayerHidden() const {
  return !state_->closed && engine::everyLayerHidden(*state_->drawing);
}

int EngineDocument::showAllLayers() {
  state_->check();
  Drawing& d = *state_->drawing;
  Table* t = d.mutableTable("LAYER");
  if (!t) return 0;
  int changed = 0;
  for (auto& e : t->entries) {
    if (e->rec.erased) continue;
    if (auto tags = switchedLayer(d, *e, true, true)) {
      d.setTags(e->rec, std::move(*tags));
      ++changed;
    }
  }
  if (changed == 0) return 0;
  const bool saved = Saved();
  ++state_->revision;
  if (saved) state_->savedRevision = state_->revision;
  return changed;
}

void EngineDocument::StartUndoMark() {
  state_->check();
  state_->startMark();
}

void EngineDocument::EndUndoMark() {
  state_->check();
  state_->endMark();
}

void EngineDocument::SendCommand(const std::string& command) {
  state_->check();
  if (command.size() == 6 && equalsNoCase(command.substr(0, 4), "UNDO") &&
      command.substr(4) == "\r\r") {
    state_->undoLast();
    return;
  }
  std::string shown;
  for (char c : command)
    shown += c == '\r' ? std::string("\\r") : std::string(1, c);
  throw HostError("the host does not know the command \"" + shown +
                  "\" (only Undo is understood)");
}

bool EngineDocument::undoAsUser() {
  state_->check();
  if (state_->undo.empty()) return false;
  state_->undoLast();
  if (auto handler = state_->onUndone) handler();  // it may replace itself
  return true;
}

void EngineDocument::SetUndoneHandler(std::function<void()> handler) {
  state_->check();
  state_->onUndone = std::move(handler);
}

Utility& EngineDocument::GetUtility() {
  state_->check();
  return *picks_;
}

Application& EngineDocument::GetApplication() {
  state_->check();
  auto app = app_.lock();
  if (!app || app->hasQuit()) throw HostError("the CAD host is closed");
  return *app;
}

void EngineDocument::SetClosedHandler(std::function<void()> handler) {
  state_->check();
  state_->onClosed = std::move(handler);
}

// ------------------------------------------------------------ application

EngineApplication::EngineApplication(std::shared_ptr<PickSource> picks)
    : picks_(std::move(picks)) {}

EngineApplication::~EngineApplication() = default;

void EngineApplication::checkRunning() const {
  if (quit_) throw HostError("the CAD host is closed");
}

std::string EngineApplication::Caption() const {
  checkRunning();
  if (documents_.empty()) return "DimMark CAD";
  return "DimMark CAD - " + fileName(documents_.back()->path());
}

DocumentRef EngineApplication::Open(const std::string& path) {
  checkRunning();
  bool dwg = endsWithNoCase(path, ".dwg");
  Bytes bytes;
  if (!dwg) {
    bytes = readFileBytes(path);
    // A DWG under another name is still a DWG.
    dwg = looksLikeDwg(std::string_view(bytes.data(), bytes.size()));
  }
  if (dwg) {
    if (!dwgToDxf) throw HostError(kDwgMessage + path);
    auto hook = dwgToDxf;  // the conversion may run the event loop
    std::string dxf = hook(path);
    checkRunning();
    bytes.assign(dxf.begin(), dxf.end());
  }
  auto state = std::make_shared<DocState>();
  try {
    state->drawing = Drawing::load(std::move(bytes));
  } catch (const HostError& e) {
    throw HostError(fileName(path) + ": " + e.what());
  }
  mendLibreDwgOutput(*state->drawing);
  state->path = path;
  if (dwg) {
    state->dwgSource = path;
    state->fromDwg = true;
  }
  auto doc = std::make_shared<EngineDocument>(state, weak_from_this());
  documents_.push_back(doc);
  return doc;
}

bool EngineApplication::Visible() const {
  checkRunning();
  return visible_;
}

void EngineApplication::SetVisible(bool visible) {
  checkRunning();
  visible_ = visible;
}

void EngineApplication::Quit() {
  if (quit_) return;
  if (beforeQuit) {
    auto hook = beforeQuit;
    hook();
  }
  // Closing fires handlers that may look at the host: copy first.
  auto open = documents_;
  for (auto& doc : open) doc->close();
  documents_.clear();
  quit_ = true;
  visible_ = false;
}

void EngineApplication::ZoomCenter(const Point& center, double height) {
  checkRunning();
  if (!(height > 0) || !std::isfinite(height))
    throw HostError("the zoom height must be a positive number");
  viewCenter_ = center;
  viewHeight_ = height;
}

std::shared_ptr<EngineDocument> EngineApplication::activeDocument() const {
  return documents_.empty() ? nullptr : documents_.back();
}

std::vector<std::shared_ptr<EngineDocument>> EngineApplication::documents()
    const {
  return documents_;
}

void EngineApplication::setPickSource(std::shared_ptr<PickSource> picks) {
  picks_ = std::move(picks);
}

void EngineApplication::forget(const EngineDocument* doc) {
  std::erase_if(documents_, [&](const std::shared_ptr<EngineDocument>& d) {
    return d.get() == doc;
  });
}

cadhost::ApplicationRef makeEmbeddedHost(
    std::shared_ptr<cadhost::PickSource> picks) {
  return std::make_shared<EngineApplication>(std::move(picks));
}

}  // namespace cadhost::engine
