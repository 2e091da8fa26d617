#include "cadhost/engine/purge.h"

#include <set>
#include <string>
#include <unordered_set>

#include "base/text.h"

namespace cadhost::engine {

namespace {

using base::trimmed;

bool isPointerCode(int code) {
  // Owner links (330) point upwards and keep nothing alive.
  return (code >= 320 && code < 370 && code != 330) ||
         (code >= 390 && code < 400) || code == 480 || code == 481 ||
         code == 1005;
}

struct Names {
  std::set<std::string> layers, linetypes, styles, dimstyles, blocks;
  std::unordered_set<std::uint64_t> handles;
};

class Purger {
 public:
  Purger(Drawing& d, RecordChanges& changed) : d_(d), changed_(changed) {}

  std::size_t run() {
    std::size_t total = 0;
    // Removing a block can free the layers and styles only it used.
    for (int pass = 0; pass < 8; ++pass) {
      std::size_t n = pass1();
      total += n;
      if (n == 0) break;
    }
    if (total > 0) fixCounts();
    return total;
  }

 private:
  void erase(Record& r) {
    if (r.erased) return;
    changed_.emplace_back(&r, r.state());
    r.erased = true;
  }

  void handlesOf(Tags t, Names& n) {
    for (const Tag& tag : t)
      if (isPointerCode(tag.code))
        if (auto h = parseHandle(tag.value); h && *h) n.handles.insert(*h);
  }

  void namesOfEntity(Tags t, Names& n, std::vector<const Block*>& todo) {
    for (Tags sub : subRecords(t)) {
      std::string type = upperCase(trimmed(sub[0].value));
      Tags own = ownTags(sub);
      if (const Tag* l = findTag(own, 8))
        n.layers.insert(upperCase(d_.text(trimmed(l->value))));
      if (const Tag* l = findTag(own, 6))
        n.linetypes.insert(upperCase(d_.text(trimmed(l->value))));
      if (type == "TEXT" || type == "MTEXT" || type == "ATTDEF" ||
          type == "ATTRIB" || type == "ARCALIGNEDTEXT")
        if (const Tag* s = findTag(own, 7))
          n.styles.insert(upperCase(d_.text(trimmed(s->value))));
      if (type == "DIMENSION" || type == "ARC_DIMENSION" ||
          type == "LARGE_RADIAL_DIMENSION" || type == "LEADER" ||
          type == "TOLERANCE")
        if (const Tag* s = findTag(own, 3))
          n.dimstyles.insert(upperCase(d_.text(trimmed(s->value))));
      if (type == "INSERT" || type == "DIMENSION" || type == "ARC_DIMENSION" ||
          type == "LARGE_RADIAL_DIMENSION")
        if (const Tag* b = findTag(own, 2)) {
          std::string name = d_.text(trimmed(b->value));
          if (n.blocks.insert(upperCase(name)).second)
            if (const Block* blk = d_.block(name)) todo.push_back(blk);
        }
    }
    handlesOf(t, n);
  }

  Names collect() {
    Names n;
    std::vector<const Block*> todo;
    for (const auto& e : d_.entities())
      if (!e->rec.erased) namesOfEntity(d_.tags(e->rec), n, todo);
    // Layout blocks are always in use.
    for (const auto& b : d_.blocks())
      if (!b->begin.erased && b->name.starts_with("*") &&
          (equalsNoCase(b->name.substr(0, 6), "*MODEL") ||
           equalsNoCase(b->name.substr(0, 6), "*PAPER")))
        todo.push_back(b.get());
    std::set<const Block*> done;
    while (!todo.empty()) {
      const Block* b = todo.back();
      todo.pop_back();
      if (!done.insert(b).second) continue;
      Tags begin = d_.tags(b->begin);
      if (const Tag* l = findTag(begin, 8))
        n.layers.insert(upperCase(d_.text(trimmed(l->value))));
      handlesOf(begin, n);
      for (const auto& e : b->entities)
        if (!e->rec.erased) namesOfEntity(d_.tags(e->rec), n, todo);
    }
    // Table entries refer to each other: layers to line types, dimension
    // styles to text styles, arrow blocks and line types.
    for (const auto& table : d_.tables())
      for (const auto& entry : table->entries) {
        if (entry->rec.erased) continue;
        Tags t = ownTags(d_.tags(entry->rec));
        if (table->name == "LAYER") {
          if (const Tag* l = findTag(t, 6))
            n.linetypes.insert(upperCase(d_.text(trimmed(l->value))));
        } else if (table->name == "DIMSTYLE") {
          for (int code : {5, 6, 7})
            if (const Tag* b = findTag(t, code))
              n.blocks.insert(upperCase(d_.text(trimmed(b->value))));
        }
        if (table->name != "BLOCK_RECORD") handlesOf(t, n);
      }
    for (const auto& o : d_.objects())
      if (!o->rec.erased) handlesOf(d_.tags(o->rec), n);
    // Current settings of the header.
    auto headerName = [&](const char* var, std::set<std::string>& into) {
      if (auto h = d_.header(var); h && !h->empty())
        into.insert(upperCase(d_.text(trimmed((*h)[0].value))));
    };
    headerName("$CLAYER", n.layers);
    headerName("$CELTYPE", n.linetypes);
    headerName("$TEXTSTYLE", n.styles);
    headerName("$DIMTXSTY", n.styles);
    headerName("$DIMSTYLE", n.dimstyles);
    for (const char* v : {"$DIMBLK", "$DIMBLK1", "$DIMBLK2", "$DIMLDRBLK"})
      headerName(v, n.blocks);
    for (const char* v : {"$DIMLTYPE", "$DIMLTEX1", "$DIMLTEX2"})
      headerName(v, n.linetypes);
    return n;
  }

  // Extension dictionaries and what they own go with their owner.
  void eraseOwned(Tags t) {
    bool inXdict = false;
    for (const Tag& tag : ownTags(t)) {
      if (tag.code == 102) {
        inXdict = trimmed(tag.value) == "{ACAD_XDICTIONARY";
        continue;
      }
      if (inXdict && tag.code == 360) eraseObject(tag.value, 0);
    }
  }

  void eraseObject(std::string_view handleText, int depth) {
    auto h = parseHandle(handleText);
    if (!h || depth > 32) return;
    Object* o = d_.objectByHandle(*h);
    if (!o || o->rec.erased) return;
    erase(o->rec);
    for (const Tag& tag : d_.tags(o->rec))
      if (tag.code == 360) eraseObject(tag.value, depth + 1);
  }

  std::size_t pass1() {
    Names n = collect();
    std::size_t removed = 0;
    auto keepEntry = [&](const std::string& table, const TableEntry& e) {
      std::string name = upperCase(e.name);
      if (name.empty() || name.find('|') != std::string::npos) return true;
      if (n.handles.count(e.handle)) return true;
      Tags t = ownTags(d_.tags(e.rec));
      long long flags = integer(t, 70, 0);
      if (flags & 16) return true;  // belongs to an external reference
      if (table == "LAYER")
        return name == "0" || name == "DEFPOINTS" || n.layers.count(name);
      if (table == "LTYPE")
        return name == "BYLAYER" || name == "BYBLOCK" || name == "CONTINUOUS" ||
               n.linetypes.count(name);
      if (table == "STYLE")
        return name == "STANDARD" || (flags & 1) || n.styles.count(name);
      if (table == "DIMSTYLE") {
        if (name == "STANDARD" || n.dimstyles.count(name)) return true;
        // Child styles (NAME$2) live with their parent.
        auto dollar = name.find('$');
        return dollar != std::string::npos &&
               n.dimstyles.count(name.substr(0, dollar));
      }
      return true;
    };
    for (const char* tableName : {"LAYER", "LTYPE", "STYLE", "DIMSTYLE"}) {
      Table* table = d_.mutableTable(tableName);
      if (!table) continue;
      for (auto& e : table->entries) {
        if (e->rec.erased || keepEntry(tableName, *e)) continue;
        eraseOwned(d_.tags(e->rec));
        erase(e->rec);
        touched_.insert(table);
        erasedHandles_.insert(e->handle);
        ++removed;
      }
    }
    Table* records = d_.mutableTable("BLOCK_RECORD");
    for (auto& b : d_.mutableBlocks()) {
      if (b->begin.erased || b->name.empty() || b->name.starts_with("*"))
        continue;
      std::string name = upperCase(b->name);
      if (name.find('|') != std::string::npos || n.blocks.count(name)) continue;
      long long flags = integer(ownTags(d_.tags(b->begin)), 70, 0);
      if (flags & (4 | 8 | 16 | 32)) continue;  // external references
      TableEntry* record = nullptr;
      if (records)
        for (auto& e : records->entries)
          if (!e->rec.erased && equalsNoCase(e->name, b->name))
            record = e.get();
      if (record && n.handles.count(record->handle)) continue;
      if (record) {
        eraseOwned(d_.tags(record->rec));
        erase(record->rec);
        touched_.insert(records);
        erasedHandles_.insert(record->handle);
      }
      eraseOwned(d_.tags(b->begin));
      erase(b->begin);
      for (auto& e : b->entities) erase(e->rec);
      erase(b->end);
      ++removed;
    }
    return removed;
  }

  // Group 70 of a table's head counts its entries; the head of the
  // dimension styles also lists them by handle (340) with their number (71).
  void fixCounts() {
    for (Table* table : touched_) {
      std::size_t live = 0;
      for (const auto& e : table->entries) live += !e->rec.erased;
      std::vector<Tag> tags = d_.copyTags(table->head);
      std::vector<Tag> out;
      out.reserve(tags.size());
      bool countDone = false;
      for (std::size_t k = 0; k < tags.size(); ++k) {
        const Tag& t = tags[k];
        if (k > 0 && t.code == 70 && !countDone) {
          countDone = true;
          if (parseInt(t.value) != static_cast<long long>(live)) {
            out.push_back(Tag{70, -1, d_.keep(std::to_string(live))});
            continue;
          }
        }
        if (t.code == 340)
          if (auto h = parseHandle(t.value); h && erasedHandles_.count(*h))
            continue;
        out.push_back(t);
      }
      long long listed = 0;
      for (const Tag& t : out) listed += t.code == 340;
      for (Tag& t : out)
        if (t.code == 71 && table->name == "DIMSTYLE" &&
            parseInt(t.value) != listed)
          t = Tag{71, -1, d_.keep(std::to_string(listed))};
      changed_.emplace_back(&table->head, table->head.state());
      d_.setTags(table->head, std::move(out));
    }
  }

  Drawing& d_;
  RecordChanges& changed_;
  std::set<Table*> touched_;
  std::unordered_set<std::uint64_t> erasedHandles_;
};

}  // namespace

std::size_t purgeUnreferenced(Drawing& d, RecordChanges& changed) {
  return Purger(d, changed).run();
}

}  // namespace cadhost::engine
