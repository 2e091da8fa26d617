#include "cadhost/engine/drawing.h"

#include <algorithm>
#include <cmath>

#include "base/text.h"

namespace cadhost::engine {

namespace {

using base::trimmed;

bool isZero(const Tag& t, std::string_view name) {
  return t.code == 0 && trimmed(t.value) == name;
}

// Index into tags of the first tag with this code, -1 when absent.
long findIndex(Tags tags, int code) {
  bool inGroup = false;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const Tag& t = tags[i];
    if (t.code == 0 && i > 0) break;
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

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string upperCase(std::string_view s) {
  std::string r(s);
  for (auto& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

const Tag* findTag(Tags tags, int code) {
  long i = findIndex(tags, code);
  return i < 0 ? nullptr : &tags[static_cast<std::size_t>(i)];
}

Tags ownTags(Tags tags) {
  for (std::size_t i = 1; i < tags.size(); ++i)
    if (tags[i].code == 0) return tags.subspan(0, i);
  return tags;
}

std::vector<Tags> subRecords(Tags tags) {
  std::vector<Tags> out;
  std::size_t start = 0;
  for (std::size_t i = 1; i <= tags.size(); ++i)
    if (i == tags.size() || tags[i].code == 0) {
      out.push_back(tags.subspan(start, i - start));
      start = i;
    }
  return out;
}

std::optional<double> real(Tags tags, int code) {
  const Tag* t = findTag(tags, code);
  if (!t) return std::nullopt;
  return parseReal(t->value);
}

double real(Tags tags, int code, double fallback) {
  return real(tags, code).value_or(fallback);
}

long long integer(Tags tags, int code, long long fallback) {
  const Tag* t = findTag(tags, code);
  if (!t) return fallback;
  return parseInt(t->value).value_or(fallback);
}

std::optional<Point> point(Tags tags, int code) {
  long i = findIndex(tags, code);
  if (i < 0) return std::nullopt;
  auto k = static_cast<std::size_t>(i);
  Point p{parseReal(tags[k].value).value_or(0.0), 0.0, 0.0};
  if (k + 1 < tags.size() && tags[k + 1].code == code + 10) {
    p[1] = parseReal(tags[k + 1].value).value_or(0.0);
    if (k + 2 < tags.size() && tags[k + 2].code == code + 20)
      p[2] = parseReal(tags[k + 2].value).value_or(0.0);
  }
  return p;
}

std::string textValue(const Drawing& d, Tags tags, int code) {
  const Tag* t = findTag(tags, code);
  return t ? d.text(t->value) : std::string();
}

Tags xdata(Tags tags, std::string_view appName) {
  Tags own = ownTags(tags);
  for (std::size_t i = 0; i < own.size(); ++i) {
    if (own[i].code != 1001 || !equalsNoCase(trimmed(own[i].value), appName))
      continue;
    std::size_t j = i + 1;
    while (j < own.size() && own[j].code != 1001) ++j;
    return own.subspan(i, j - i);
  }
  return {};
}

// ---------------------------------------------------------------- loading

namespace {

class Loader {
 public:
  explicit Loader(const TagFile& f) : f_(f), t_(f.tags) {}

  [[noreturn]] void fail(std::size_t tagIndex, const std::string& why) const {
    throw HostError(f_.where(tagIndex) + ": " + why);
  }
  std::size_t nextZero(std::size_t k, std::size_t limit) const {
    ++k;
    while (k < limit && t_[k].code != 0) ++k;
    return k;
  }
  std::string describe(std::size_t k) const {
    std::string v(trimmed(t_[k].value).substr(0, 40));
    return "group code " + std::to_string(t_[k].code) + " '" + v + "'";
  }

  const TagFile& f_;
  const std::vector<Tag, BigAllocator<Tag>>& t_;
};

}  // namespace

std::unique_ptr<Drawing> Drawing::load(Bytes bytes) {
  if (bytes.empty()) throw HostError("the file is empty");
  std::unique_ptr<Drawing> d(new Drawing());
  readTags(d->file_, std::move(bytes));
  if (d->file_.tags.empty()) throw HostError("the file holds no DXF data");
  d->parseStructure();
  d->indexHeader();
  // Handles first: the tables are indexed by the handles as repaired.
  d->checkHandles();
  d->indexTables();
  d->placeEntities();
  d->checkGeometry();
  return d;
}

void Drawing::parseStructure() {
  Loader L(file_);
  const auto& T = file_.tags;
  const std::size_t n = T.size();
  std::size_t i = 0;
  while (i < n && T[i].code == 999) ++i;
  if (i < n && !isZero(T[i], "SECTION"))
    L.fail(i, "this is not a DXF drawing (it must begin with a SECTION)");

  auto parseEntities = [&](std::size_t k, std::size_t limit, bool inBlock,
                           std::vector<std::unique_ptr<Entity>>& out) {
    while (k < limit) {
      if (T[k].code != 0)
        L.fail(k, "an entity was expected, found " + L.describe(k));
      std::string type = upperCase(trimmed(T[k].value));
      if (inBlock && type == "ENDBLK") return k;
      if (type == "BLOCK" || type == "SECTION" || type == "ENDSEC")
        L.fail(k, inBlock ? "a block has no ENDBLK"
                          : "a " + type + " inside the ENTITIES section");
      std::size_t end = L.nextZero(k, limit);
      // Followers belong to their entity: vertices of a polyline,
      // attributes of a block reference.
      std::string follower = type == "POLYLINE" ? "VERTEX"
                             : type == "INSERT" ? "ATTRIB"
                                                : "";
      if (!follower.empty()) {
        while (end < limit && isZero(T[end], follower))
          end = L.nextZero(end, limit);
        if (end < limit && isZero(T[end], "SEQEND")) {
          end = L.nextZero(end, limit);
        } else if (type == "POLYLINE") {
          repairs_.push_back(file_.where(k) +
                             ": a POLYLINE without SEQEND; its vertices end "
                             "at the next entity");
        }
      }
      auto e = std::make_unique<Entity>();
      e->rec.begin = static_cast<std::uint32_t>(k);
      e->rec.end = static_cast<std::uint32_t>(end);
      e->type = std::move(type);
      out.push_back(std::move(e));
      k = end;
    }
    return k;
  };

  bool sawEntities = false;
  while (i < n) {
    if (isZero(T[i], "EOF")) {
      hasEof_ = true;
      eofTag_ = static_cast<std::uint32_t>(i);
      break;
    }
    if (T[i].code == 999) {
      ++i;
      continue;
    }
    if (!isZero(T[i], "SECTION"))
      L.fail(i, "a SECTION was expected, found " + L.describe(i));
    if (i + 1 >= n || T[i + 1].code != 2)
      L.fail(i, "a SECTION without its name");
    std::string name = upperCase(trimmed(T[i + 1].value));
    std::size_t body = i + 2, j = body;
    for (; j < n; ++j) {
      if (T[j].code != 0) continue;
      std::string_view v = trimmed(T[j].value);
      if (v == "ENDSEC") break;
      if (v == "SECTION" || v == "EOF")
        L.fail(j, "the " + name + " section (" + file_.where(i) +
                      ") has no ENDSEC");
    }
    if (j >= n)
      L.fail(n - 1, "the file ends inside the " + name +
                        " section (ENDSEC missing; the file is truncated)");

    if (name == "HEADER") {
      header_.begin = static_cast<std::uint32_t>(body);
      header_.end = static_cast<std::uint32_t>(j);
      hasHeader_ = true;
    } else if (name == "TABLES") {
      std::size_t k = body;
      while (k < j) {
        if (!isZero(T[k], "TABLE"))
          L.fail(k, "a TABLE was expected, found " + L.describe(k));
        auto table = std::make_unique<Table>();
        std::size_t headEnd = L.nextZero(k, j);
        table->head.begin = static_cast<std::uint32_t>(k);
        table->head.end = static_cast<std::uint32_t>(headEnd);
        for (std::size_t q = k + 1; q < headEnd; ++q)
          if (T[q].code == 2) {
            table->name = upperCase(trimmed(T[q].value));
            break;
          }
        std::size_t m = headEnd;
        while (m < j && !isZero(T[m], "ENDTAB")) {
          if (isZero(T[m], "TABLE"))
            L.fail(m, "the " + table->name + " table (" + file_.where(k) +
                          ") has no ENDTAB");
          auto entry = std::make_unique<TableEntry>();
          std::size_t e = L.nextZero(m, j);
          entry->rec.begin = static_cast<std::uint32_t>(m);
          entry->rec.end = static_cast<std::uint32_t>(e);
          table->entries.push_back(std::move(entry));
          m = e;
        }
        if (m >= j) L.fail(k, "the " + table->name + " table has no ENDTAB");
        tables_.push_back(std::move(table));
        k = L.nextZero(m, j);
      }
    } else if (name == "BLOCKS") {
      std::size_t k = body;
      while (k < j) {
        if (!isZero(T[k], "BLOCK"))
          L.fail(k, "a BLOCK was expected, found " + L.describe(k));
        auto block = std::make_unique<Block>();
        std::size_t beginEnd = L.nextZero(k, j);
        block->begin.begin = static_cast<std::uint32_t>(k);
        block->begin.end = static_cast<std::uint32_t>(beginEnd);
        std::size_t m = parseEntities(beginEnd, j, true, block->entities);
        if (m >= j) {
          std::string blockName;
          for (std::size_t q = k + 1; q < beginEnd; ++q)
            if (T[q].code == 2)
              blockName = " " + std::string(trimmed(T[q].value));
          L.fail(k, "the block" + blockName + " has no ENDBLK");
        }
        std::size_t endEnd = L.nextZero(m, j);
        block->end.begin = static_cast<std::uint32_t>(m);
        block->end.end = static_cast<std::uint32_t>(endEnd);
        blocks_.push_back(std::move(block));
        k = endEnd;
      }
    } else if (name == "ENTITIES") {
      sawEntities = true;
      hasEntitiesSection_ = true;
      entitiesEnd_ = static_cast<std::uint32_t>(j);
      parseEntities(body, j, false, entities_);
    } else if (name == "OBJECTS") {
      std::size_t k = body;
      while (k < j) {
        if (T[k].code != 0)
          L.fail(k, "an object was expected, found " + L.describe(k));
        auto obj = std::make_unique<Object>();
        std::size_t e = L.nextZero(k, j);
        obj->rec.begin = static_cast<std::uint32_t>(k);
        obj->rec.end = static_cast<std::uint32_t>(e);
        obj->type = upperCase(trimmed(T[k].value));
        objects_.push_back(std::move(obj));
        k = e;
      }
    }
    i = j + 1;
  }
  if (!hasEof_) {
    eofTag_ = static_cast<std::uint32_t>(n);
    repairs_.push_back(file_.where(n) +
                       ": the file has no EOF marker; saving adds it");
  }
  if (!sawEntities)
    throw HostError(file_.where(n - 1) +
                    ": the drawing has no ENTITIES section");
}

void Drawing::indexHeader() {
  std::string codePage;
  if (hasHeader_) {
    Tags h = tags(header_);
    for (std::size_t k = 0; k < h.size(); ++k)
      if (h[k].code == 9)
        headerVars_.emplace(upperCase(trimmed(h[k].value)),
                            static_cast<std::uint32_t>(k));
    if (auto v = header("$ACADVER"); v && !v->empty()) {
      version_ = upperCase(trimmed((*v)[0].value));
      if (version_.size() >= 6 && version_.starts_with("AC"))
        release_ = static_cast<int>(
            parseInt(std::string_view(version_).substr(2, 4)).value_or(1009));
    }
    if (auto v = header("$DWGCODEPAGE"); v && !v->empty())
      codePage = std::string(trimmed((*v)[0].value));
  }
  codec_ = std::make_unique<Codec>(codePage, release_ >= 1021);
}

std::optional<Tags> Drawing::header(std::string_view name) const {
  std::string key = upperCase(name);
  if (!key.starts_with("$")) key.insert(key.begin(), '$');
  auto it = headerVars_.find(key);
  if (it == headerVars_.end()) return std::nullopt;
  Tags h = tags(header_);
  std::size_t k = it->second + 1, e = k;
  while (e < h.size() && h[e].code != 9) ++e;
  return h.subspan(k, e - k);
}

bool Drawing::setHeader(std::string_view name, std::vector<Tag> value) {
  if (!hasHeader_) return false;
  std::string key = upperCase(name);
  if (!key.starts_with("$")) key.insert(key.begin(), '$');
  std::vector<Tag> h = copyTags(header_);
  auto it = headerVars_.find(key);
  if (it != headerVars_.end()) {
    std::size_t k = it->second + 1, e = k;
    while (e < h.size() && h[e].code != 9) ++e;
    h.erase(h.begin() + static_cast<long>(k), h.begin() + static_cast<long>(e));
    h.insert(h.begin() + static_cast<long>(k), value.begin(), value.end());
  } else {
    h.push_back(Tag{9, -1, keep(key)});
    h.insert(h.end(), value.begin(), value.end());
  }
  setTags(header_, std::move(h));
  // The variables after the changed one have moved.
  headerVars_.clear();
  Tags t = tags(header_);
  for (std::size_t k = 0; k < t.size(); ++k)
    if (t[k].code == 9)
      headerVars_.emplace(upperCase(trimmed(t[k].value)),
                          static_cast<std::uint32_t>(k));
  return true;
}

void Drawing::indexTables() {
  for (auto& table : tables_) {
    int handleCode = table->name == "DIMSTYLE" ? 105 : 5;
    for (auto& entry : table->entries) {
      Tags t = tags(entry->rec);
      entry->name = textValue(*this, t, 2);
      if (const Tag* h = findTag(t, handleCode))
        entry->handle = parseHandle(h->value).value_or(0);
      if (entry->handle) entriesByHandle_.emplace(entry->handle, entry.get());
      if (table->name == "BLOCK_RECORD") {
        if (equalsNoCase(entry->name, "*MODEL_SPACE"))
          modelSpaceOwner_ = entry->handle;
        else if (equalsNoCase(entry->name, "*PAPER_SPACE"))
          paperSpaceOwner_ = entry->handle;
      }
    }
  }
  for (auto& block : blocks_) {
    block->name = textValue(*this, tags(block->begin), 2);
    blocksByName_.emplace(upperCase(block->name), block.get());
  }
  for (auto& obj : objects_)
    if (const Tag* h = findTag(tags(obj->rec), 5))
      obj->handle = parseHandle(h->value).value_or(0);
}

void Drawing::checkHandles() {
  struct Seen {
    std::uint64_t handle;
    std::uint32_t tag;
    Record* rec;
    std::size_t at;  // index of the handle tag within the record
  };
  std::vector<Seen> seen;
  seen.reserve(entities_.size() * 2 + 1024);
  struct Missing {
    Record* rec;
    std::size_t at;  // index of the sub-record's group 0 within the record
    int code;
  };
  std::vector<Missing> missing;

  auto scan = [&](Record& r, bool dimstyle) {
    Tags t = tags(r);
    for (std::size_t s = 0; s < t.size();) {
      std::size_t e = s + 1;
      while (e < t.size() && t[e].code != 0) ++e;
      int code = dimstyle ? 105 : 5;
      bool found = false;
      bool inGroup = false;
      for (std::size_t k = s + 1; k < e; ++k) {
        if (t[k].code == 102) {
          inGroup = !t[k].value.empty() && t[k].value.front() == '{';
          continue;
        }
        if (inGroup) continue;
        if (t[k].code >= 1000) break;
        if (t[k].code != code) continue;
        auto h = parseHandle(t[k].value);
        if (h && *h != 0) {
          seen.push_back(
              {*h,
               static_cast<std::uint32_t>(t[k].origin >= 0 ? t[k].origin : 0),
               &r, k});
          found = true;
        }
        break;
      }
      if (!found) missing.push_back({&r, s, code});
      s = e;
    }
  };
  for (auto& table : tables_) {
    scan(table->head, false);
    for (auto& entry : table->entries)
      scan(entry->rec, table->name == "DIMSTYLE");
  }
  for (auto& block : blocks_) {
    scan(block->begin, false);
    for (auto& e : block->entities) scan(e->rec, false);
    scan(block->end, false);
  }
  for (auto& e : entities_) scan(e->rec, false);
  for (auto& o : objects_) scan(o->rec, false);

  std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) {
    return a.handle != b.handle ? a.handle < b.handle : a.tag < b.tag;
  });
  // Later records that reuse a handle are given new ones: the first keeps
  // it, as references to table entries mean the first.
  std::vector<const Seen*> reused;
  for (std::size_t k = 1; k < seen.size(); ++k)
    if (seen[k].handle == seen[k - 1].handle) reused.push_back(&seen[k]);
  std::uint64_t maxHandle = seen.empty() ? 0 : seen.back().handle;

  int handling = 0;
  if (auto v = header("$HANDLING"); v && !v->empty())
    handling = static_cast<int>(parseInt((*v)[0].value).value_or(0));
  usesHandles_ = release_ >= 1012 || !seen.empty() || handling != 0;
  if (auto v = header("$HANDSEED"); v && !v->empty())
    fileHandseed_ = parseHandle((*v)[0].value).value_or(0);
  handseed_ = std::max<std::uint64_t>(fileHandseed_, 1);
  if (!usesHandles_) return;
  bool seedMissing = fileHandseed_ == 0;
  if (seedMissing || fileHandseed_ <= maxHandle) handseed_ = maxHandle + 1;
  if (!reused.empty()) {
    std::sort(reused.begin(), reused.end(),
              [](const Seen* a, const Seen* b) { return a->tag < b->tag; });
    std::unordered_map<Record*, std::vector<Tag>> changed;
    for (const Seen* s : reused) {
      auto [it, fresh] = changed.try_emplace(s->rec);
      if (fresh) it->second = copyTags(*s->rec);
      Tag& h = it->second[s->at];
      h = Tag{h.code, -1, keep(formatHandle(takeHandle()))};
    }
    for (auto& [rec, t] : changed) setLoadedTags(*rec, std::move(t));
    repairs_.push_back(
        file_.where(reused.front()->tag) + ": " +
        (reused.size() == 1
             ? std::string("1 record reused a handle; it got a new handle")
             : std::to_string(reused.size()) +
                   " records reused handles; the later ones got new handles"));
  }
  // R12 allowed records without handles; from R13 on every record has one.
  if (release_ >= 1012 && !missing.empty()) {
    std::size_t repaired = 0;
    std::string first = file_.where(missing.front().rec->begin);
    for (std::size_t k = 0; k < missing.size();) {
      Record* r = missing[k].rec;
      std::vector<Tag> t = copyTags(*r);
      std::size_t shift = 0;
      for (; k < missing.size() && missing[k].rec == r; ++k) {
        std::size_t at = missing[k].at + shift + 1;
        t.insert(t.begin() + static_cast<long>(at),
                 Tag{missing[k].code, -1, keep(formatHandle(takeHandle()))});
        ++shift;
        ++repaired;
      }
      setLoadedTags(*r, std::move(t));
    }
    repairs_.push_back(first + ": " + std::to_string(repaired) +
                       (repaired == 1 ? " record had" : " records had") +
                       " no handle; new handles were given");
  }
  if (seedMissing)
    repairs_.push_back("the header has no $HANDSEED; it is set to " +
                       formatHandle(handseed_));
  else if (fileHandseed_ <= maxHandle)
    repairs_.push_back("$HANDSEED " + formatHandle(fileHandseed_) +
                       " was not above the largest handle; it is raised to " +
                       formatHandle(handseed_));
}

void Drawing::placeEntities() {
  modelSpace_.reserve(entities_.size());
  for (auto& e : entities_) {
    Tags t = tags(e->rec);
    bool paper = integer(t, 67, 0) == 1;
    if (!paper && modelSpaceOwner_ != 0)
      if (const Tag* owner = findTag(t, 330)) {
        auto h = parseHandle(owner->value).value_or(0);
        paper = h != 0 && h != modelSpaceOwner_ && h == paperSpaceOwner_;
      }
    e->paperSpace = paper;
    bool stray =
        e->type == "VERTEX" || e->type == "ATTRIB" || e->type == "SEQEND";
    if (stray)
      repairs_.push_back(file_.where(e->rec.begin) + ": a " + e->type +
                         " outside its parent entity is left out of model "
                         "space");
    if (!paper && !stray) modelSpace_.push_back(e.get());
  }
}

namespace {

// Plain decimals of up to 15 integer digits are usable numbers; anything
// else (an exponent, inf, nan, a long run of digits) is read to be sure.
bool plainSmallNumber(std::string_view v) {
  int digits = 0;
  bool point = false;
  for (char c : v) {
    if (c >= '0' && c <= '9') {
      if (!point && ++digits > 15) return false;
    } else if (c == '.') {
      point = true;
    } else if (c != '-' && c != '+' && c != ' ' && c != '\t') {
      return false;
    }
  }
  return true;
}

// The first real of the record's own geometry (XDATA and application
// groups aside) that is not finite or beyond kMaxGeometry.
const Tag* badReal(Tags t) {
  bool inGroup = false, inXdata = false;
  for (const Tag& tag : t) {
    if (tag.code == 0) {
      inGroup = inXdata = false;
      continue;
    }
    if (tag.code == 102) {
      inGroup = !tag.value.empty() && tag.value.front() == '{';
      continue;
    }
    if (tag.code >= 1000) inXdata = true;
    if (inGroup || inXdata || valueType(tag.code) != ValueType::Real) continue;
    if (plainSmallNumber(tag.value)) continue;
    auto v = parseReal(tag.value);
    if (!v || !std::isfinite(*v) || std::fabs(*v) > kMaxGeometry) return &tag;
  }
  return nullptr;
}

}  // namespace

void Drawing::checkGeometry() {
  auto check = [&](Entity& e) {
    const Tag* bad = badReal(tags(e.rec));
    if (!bad) return;
    e.badGeometry = true;
    std::string value(trimmed(bad->value).substr(0, 40));
    repairs_.push_back(file_.where(e.rec.begin) + ": the " + e.type +
                       " has group code " + std::to_string(bad->code) + " '" +
                       value +
                       "', no usable number; it is left out of the extents "
                       "and the picture");
  };
  for (auto& b : blocks_)
    for (auto& e : b->entities) check(*e);
  for (auto& e : entities_) check(*e);
}

// ---------------------------------------------------------------- lookups

const Table* Drawing::table(std::string_view name) const {
  for (const auto& t : tables_)
    if (equalsNoCase(t->name, name)) return t.get();
  return nullptr;
}

Table* Drawing::mutableTable(std::string_view name) {
  for (auto& t : tables_)
    if (equalsNoCase(t->name, name)) return t.get();
  return nullptr;
}

const TableEntry* Drawing::tableEntry(std::string_view tableName,
                                      std::string_view name) const {
  std::string key = upperCase(tableName);
  auto t = entriesByName_.find(key);
  if (t == entriesByName_.end()) {
    const Table* table = this->table(tableName);
    if (!table) return nullptr;
    auto& index = entriesByName_[key];
    // The first of equal names wins, as a CAD reader keeps it.
    for (const auto& e : table->entries)
      index.emplace(upperCase(e->name), e.get());
    t = entriesByName_.find(key);
  }
  auto e = t->second.find(upperCase(name));
  if (e == t->second.end() || e->second->rec.erased) return nullptr;
  return e->second;
}

const TableEntry* Drawing::entryByHandle(std::uint64_t handle) const {
  auto it = entriesByHandle_.find(handle);
  if (it == entriesByHandle_.end() || it->second->rec.erased) return nullptr;
  return it->second;
}

const Block* Drawing::block(std::string_view name) const {
  auto it = blocksByName_.find(upperCase(name));
  if (it == blocksByName_.end() || it->second->begin.erased) return nullptr;
  return it->second;
}

Object* Drawing::objectByHandle(std::uint64_t handle) {
  for (auto& o : objects_)
    if (o->handle == handle) return o.get();
  return nullptr;
}

// ---------------------------------------------------------------- changes

Entity& Drawing::appendEntity(std::string type, std::vector<Tag> tags) {
  auto e = std::make_unique<Entity>();
  e->rec.added = true;
  e->type = std::move(type);
  setTags(e->rec, std::move(tags));
  e->rec.begin = e->rec.end = entitiesEnd_;
  Entity& ref = *e;
  entities_.push_back(std::move(e));
  modelSpace_.push_back(&ref);
  return ref;
}

std::size_t Drawing::modelSpaceIndex(const Entity* e) const {
  for (std::size_t k = modelSpace_.size(); k-- > 0;)
    if (modelSpace_[k] == e) return k;
  return modelSpace_.size();
}

void Drawing::removeFromModelSpace(Entity* e) {
  std::size_t k = modelSpaceIndex(e);
  if (k < modelSpace_.size())
    modelSpace_.erase(modelSpace_.begin() + static_cast<long>(k));
}

void Drawing::insertIntoModelSpace(Entity* e, std::size_t index) {
  index = std::min(index, modelSpace_.size());
  modelSpace_.insert(modelSpace_.begin() + static_cast<long>(index), e);
}

// ---------------------------------------------------------------- writing

void Drawing::serialize(
    const std::function<void(const char*, std::size_t)>& sink) const {
  struct Splice {
    std::uint32_t begin, end;
    const Record* rec;
    std::size_t order;
  };
  std::vector<Splice> splices;
  auto add = [&](const Record& r) {
    if (r.edited || r.erased)
      if (!(r.added && r.erased))
        splices.push_back({r.begin, r.end, &r, splices.size()});
  };
  for (const auto& t : tables_) {
    add(t->head);
    for (const auto& e : t->entries) add(e->rec);
  }
  for (const auto& b : blocks_) {
    add(b->begin);
    for (const auto& e : b->entities) add(e->rec);
    add(b->end);
  }
  for (const auto& e : entities_) add(e->rec);
  for (const auto& o : objects_) add(o->rec);
  for (const auto& r : leftOut_) add(r);

  // The header only changes where new handles were given.
  Record headerOut;
  std::vector<Tag> headerTags;
  const bool newHandles = usesHandles_ && handseed_ != fileHandseed_;
  if (hasHeader_ && (newHandles || header_.edited)) {
    headerTags = copyTags(header_);
    std::string value = formatHandle(handseed_);
    auto it = headerVars_.find("$HANDSEED");
    Arena& a = *file_.arena;
    if (!newHandles) {
      // Only a variable the user set has changed.
    } else if (it != headerVars_.end() && it->second + 1 < headerTags.size()) {
      headerTags[it->second + 1] = Tag{5, -1, a.store(value)};
    } else {
      headerTags.push_back(Tag{9, -1, a.store("$HANDSEED")});
      headerTags.push_back(Tag{5, -1, a.store(value)});
    }
    headerOut.begin = header_.begin;
    headerOut.end = header_.end;
    headerOut.edited =
        std::make_shared<const std::vector<Tag>>(std::move(headerTags));
    splices.push_back({header_.begin, header_.end, &headerOut, splices.size()});
  }
  std::stable_sort(
      splices.begin(), splices.end(), [](const Splice& a, const Splice& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.order < b.order;
      });

  const Bytes& bytes = file_.bytes;
  const auto& off = file_.offsets;
  // Runs of unchanged tags go to the sink straight from the file's bytes;
  // tags the engine made are formatted into a small buffer first.
  Bytes pending;
  std::uint32_t runFrom = 0, runTo = 0;  // the run of raw tags not yet sent
  auto sendRun = [&] {
    if (runFrom < runTo)
      sink(bytes.data() + off[runFrom], off[runTo] - off[runFrom]);
    runFrom = runTo = 0;
  };
  auto flush = [&] {
    if (!pending.empty()) sink(pending.data(), pending.size());
    pending.clear();
  };
  auto raw = [&](std::uint32_t from, std::uint32_t to) {
    if (from >= to) return;
    if (from == runTo && runFrom < runTo) {
      runTo = to;
      return;
    }
    sendRun();
    flush();
    runFrom = from;
    runTo = to;
  };
  auto emit = [&](const Tag& t) {
    if (t.origin >= 0) {
      raw(static_cast<std::uint32_t>(t.origin),
          static_cast<std::uint32_t>(t.origin) + 1);
    } else {
      sendRun();
      appendTag(pending, file_, t.code, t.value);
    }
  };
  if (off.front() > 0) sink(bytes.data(), off.front());
  std::uint32_t cursor = 0;
  for (const Splice& s : splices) {
    raw(cursor, s.begin);
    cursor = std::max(cursor, s.begin);
    if (!s.rec->erased)
      for (const Tag& t : tags(*s.rec)) emit(t);
    cursor = std::max(cursor, s.end);
  }
  auto total = static_cast<std::uint32_t>(file_.tags.size());
  raw(cursor, total);
  sendRun();
  if (!hasEof_) appendTag(pending, file_, 0, "EOF");
  flush();
  if (bytes.size() > off.back())
    sink(bytes.data() + off.back(), bytes.size() - off.back());
}

Bytes Drawing::serialize() const {
  Bytes out;
  out.reserve(file_.bytes.size() + file_.bytes.size() / 50 + 4096);
  serialize(
      [&](const char* data, std::size_t size) { out.append(data, size); });
  return out;
}

}  // namespace cadhost::engine
