// A loaded DXF drawing: every tag of the file, grouped into the records of
// its sections (header variables, table entries, blocks, entities,
// objects). This is also the read-only view a renderer walks:
//
//   const Drawing& d = doc.drawing();
//   for (const Entity* e : d.modelSpace()) {
//     Tags t = d.tags(e->rec);           // the entity's tags, edits applied
//     if (e->type == "LINE") { Point a = *point(t, 10), b = *point(t, 11); }
//     if (e->type == "INSERT") { const Block* b = d.block(textValue(d, t, 2));
//     }
//   }
//
// - Entities: `type` is the DXF name (LINE, LWPOLYLINE, DIMENSION, ...).
//   An entity with followers (POLYLINE and its VERTEX/SEQEND, INSERT and
//   its ATTRIB/SEQEND) is one record; subRecords() splits it.
// - Texts in tags are file bytes; textValue() / Drawing::text() give UTF-8.
// - Points of planar kinds (CIRCLE, ARC, TEXT, INSERT, LWPOLYLINE, SOLID,
//   the text point 11 of dimensions) are in the entity's OCS: ocsOf(tags)
//   in geometry.h converts them. Most drawings have the world OCS.
// - A dimension's picture is the block named by its group 2, drawn in
//   world coordinates shifted by its group 12 (absent: no shift).
// - Layers, line types, text styles, dimension styles: table("LAYER") and
//   tableEntry("LAYER", name); a layer's colour is its group 62 (negative
//   when the layer is off), its flags group 70 (1 = frozen).
// - Header variables: header("$INSUNITS") gives the tags after the name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "cadhost/engine/codepage.h"
#include "cadhost/engine/dxf_tags.h"
#include "cadhost/host.h"

namespace cadhost::engine {

// One entity, table entry, BLOCK or ENDBLK, or object of the file. Its tags
// are the file's tags [begin, end) until an edit replaces them.
struct Record {
  std::uint32_t begin = 0, end = 0;
  std::shared_ptr<const std::vector<Tag>> edited;
  bool erased = false;
  bool added = false;  // made by the engine, not read from the file

  struct State {
    std::shared_ptr<const std::vector<Tag>> edited;
    bool erased = false;
  };
  State state() const { return {edited, erased}; }
  void restore(const State& s) {
    edited = s.edited;
    erased = s.erased;
  }
};

struct Entity {
  Record rec;
  std::string type;  // DXF name: LINE, DIMENSION, ...
  bool paperSpace = false;
  // A number of its geometry is not finite or beyond any drawing's size
  // (see kMaxGeometry): kept as read and saved, but left out of extents
  // and picture.
  bool badGeometry = false;
  // The host's reference for this entity, so Item(i) hands out one object.
  mutable std::weak_ptr<cadhost::Entity> ref;
};

struct TableEntry {
  Record rec;
  std::string name;  // UTF-8
  std::uint64_t handle = 0;
};

struct Table {
  std::string name;  // LAYER, LTYPE, STYLE, DIMSTYLE, BLOCK_RECORD, ...
  Record head;       // TABLE and its tags up to the first entry
  std::vector<std::unique_ptr<TableEntry>> entries;
};

struct Block {
  Record begin;  // BLOCK
  Record end;    // ENDBLK
  std::string name;
  std::vector<std::unique_ptr<Entity>> entities;
};

struct Object {
  Record rec;
  std::string type;
  std::uint64_t handle = 0;
};

// The first tag with this code among the record's own tags (up to the first
// follower), skipping 102 application groups and embedded objects.
const Tag* findTag(Tags tags, int code);
// The entity's own tags without followers.
Tags ownTags(Tags tags);
// The record split at every group 0: the entity, then its followers.
std::vector<Tags> subRecords(Tags tags);
std::optional<double> real(Tags tags, int code);
double real(Tags tags, int code, double fallback);
long long integer(Tags tags, int code, long long fallback);
std::optional<Point> point(Tags tags, int code);
// The decoded text of the first tag with this code, empty when absent.
class Drawing;
std::string textValue(const Drawing& d, Tags tags, int code);
// XDATA of one application: from its 1001 tag to the next 1001 or the end.
Tags xdata(Tags tags, std::string_view appName);

// Beyond this no fraction of a unit is left in a double: no drawing's
// coordinate, size or angle.
inline constexpr double kMaxGeometry = 1e15;

bool equalsNoCase(std::string_view a, std::string_view b);
std::string upperCase(std::string_view s);

class Drawing {
 public:
  // Reads a DXF file's bytes. Raises HostError with the line and reason
  // for a broken file; what it repairs is listed in repairs().
  static std::unique_ptr<Drawing> load(Bytes bytes);

  // Tags of a record as they stand, edits applied.
  Tags tags(const Record& r) const {
    if (r.edited) return Tags(*r.edited);
    return Tags(file_.tags.data() + r.begin, r.end - r.begin);
  }
  std::string text(std::string_view raw) const { return codec_->decode(raw); }
  std::string encode(std::string_view utf8) const {
    return codec_->encode(utf8);
  }
  const Codec& codec() const { return *codec_; }

  const std::string& version() const { return version_; }  // "AC1032"
  int release() const { return release_; }                 // 1032
  bool hasSubclassMarkers() const { return release_ >= 1012; }
  bool binary() const { return file_.binary; }
  const std::string& lineEnding() const { return file_.eol; }
  const TagFile& file() const { return file_; }
  const std::vector<std::string>& repairs() const { return repairs_; }
  void noteRepair(std::string what) { repairs_.push_back(std::move(what)); }

  // Header variable by name ("$EXTMIN" or "EXTMIN", any case): its value
  // tags.
  std::optional<Tags> header(std::string_view name) const;

  const std::vector<std::unique_ptr<Table>>& tables() const { return tables_; }
  const Table* table(std::string_view name) const;
  const TableEntry* tableEntry(std::string_view table,
                               std::string_view name) const;
  const TableEntry* entryByHandle(std::uint64_t handle) const;
  const std::vector<std::unique_ptr<Block>>& blocks() const { return blocks_; }
  const Block* block(std::string_view name) const;
  const std::vector<std::unique_ptr<Object>>& objects() const {
    return objects_;
  }

  // Model-space entities in file order, deleted ones left out.
  const std::vector<Entity*>& modelSpace() const { return modelSpace_; }
  // Every entity of the ENTITIES section, paper space and deleted included.
  const std::vector<std::unique_ptr<Entity>>& entities() const {
    return entities_;
  }

  std::uint64_t handseed() const { return handseed_; }
  bool usesHandles() const { return usesHandles_; }
  std::uint64_t modelSpaceRecordHandle() const { return modelSpaceOwner_; }

  // ---- changes (used by the host; every one keeps the file's tags) ----
  Arena& arena() { return *file_.arena; }
  std::string_view keep(std::string_view text) { return arena().store(text); }
  void setTags(Record& r, std::vector<Tag> tags) {
    r.edited = std::make_shared<const std::vector<Tag>>(std::move(tags));
  }
  // A record put right while loading: saved like an edit, yet part of the
  // drawing as loaded, which a viewer compares later edits with.
  void setLoadedTags(Record& r, std::vector<Tag> tags) {
    setTags(r, std::move(tags));
    loaded_[&r] = r.edited;
  }
  // A tag of the file (a converter's note to the loader) that saves leave
  // out.
  void leaveOutOfSaves(std::uint32_t tagIndex) {
    Record r;
    r.begin = tagIndex;
    r.end = tagIndex + 1;
    r.erased = true;
    leftOut_.push_back(r);
  }
  Tags loadedTags(const Record& r) const {
    auto it = loaded_.find(&r);
    if (it != loaded_.end()) return Tags(*it->second);
    return Tags(file_.tags.data() + r.begin, r.end - r.begin);
  }
  std::vector<Tag> copyTags(const Record& r) const {
    Tags t = tags(r);
    return std::vector<Tag>(t.begin(), t.end());
  }
  std::uint64_t takeHandle() { return handseed_++; }
  // Gives a header variable ("$CLAYER") these value tags, adding it when
  // the header lacks it; false for a drawing without a header.
  bool setHeader(std::string_view name, std::vector<Tag> value);
  // Appends an entity to model space; returns it.
  Entity& appendEntity(std::string type, std::vector<Tag> tags);
  // Removes / reinserts at a model-space index (undo of a delete).
  void removeFromModelSpace(Entity* e);
  void insertIntoModelSpace(Entity* e, std::size_t index);
  std::size_t modelSpaceIndex(const Entity* e) const;
  std::vector<Entity*>& mutableModelSpace() { return modelSpace_; }

  Table* mutableTable(std::string_view name);
  std::vector<std::unique_ptr<Block>>& mutableBlocks() { return blocks_; }
  std::vector<std::unique_ptr<Object>>& mutableObjects() { return objects_; }
  Object* objectByHandle(std::uint64_t handle);

  // The whole file with its edits, in its own version, encoding, line
  // endings and format.
  Bytes serialize() const;
  // The same, handed on in pieces (the unchanged runs straight from the
  // file's bytes).
  void serialize(
      const std::function<void(const char*, std::size_t)>& sink) const;

 private:
  Drawing() = default;
  void parseStructure();
  void indexHeader();
  void indexTables();
  void checkHandles();
  void placeEntities();
  void checkGeometry();

  TagFile file_;
  std::unique_ptr<Codec> codec_;
  std::string version_ = "AC1009";
  int release_ = 1009;
  std::vector<std::string> repairs_;
  std::unordered_map<const Record*, std::shared_ptr<const std::vector<Tag>>>
      loaded_;
  std::vector<Record> leftOut_;

  Record header_;
  bool hasHeader_ = false;
  std::unordered_map<std::string, std::uint32_t> headerVars_;  // tag index
  std::vector<std::unique_ptr<Table>> tables_;
  std::vector<std::unique_ptr<Block>> blocks_;
  std::vector<std::unique_ptr<Object>> objects_;
  std::vector<std::unique_ptr<Entity>> entities_;
  std::vector<Entity*> modelSpace_;
  std::unordered_map<std::uint64_t, const TableEntry*> entriesByHandle_;
  std::unordered_map<std::string, const Block*> blocksByName_;  // upper case
  // Table entries by table and name, upper case; built when first asked.
  mutable std::unordered_map<std::string,
                             std::unordered_map<std::string, const TableEntry*>>
      entriesByName_;

  std::uint32_t entitiesEnd_ = 0;  // tag index of the ENTITIES section's ENDSEC
  bool hasEntitiesSection_ = false;
  std::uint32_t eofTag_ = 0;  // where a missing ENTITIES section would go
  bool hasEof_ = false;
  std::uint64_t handseed_ = 1;
  std::uint64_t fileHandseed_ = 0;  // as the file had it, 0 when missing
  bool usesHandles_ = false;
  std::uint64_t modelSpaceOwner_ = 0;
  std::uint64_t paperSpaceOwner_ = 0;
};

}  // namespace cadhost::engine
