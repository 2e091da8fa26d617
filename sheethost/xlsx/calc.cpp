#include "sheethost/xlsx/calc.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace xlsx {

namespace {

std::uint64_t keyOf(int row, int column) {
  return (static_cast<std::uint64_t>(row) << 16) |
         static_cast<std::uint64_t>(column);
}

// Cell address to slot, open addressing: a lookup is a multiply and a
// probe or two, which is what keeps a full recalculation in milliseconds.
class CellIndex {
 public:
  int find(std::uint64_t key) const {
    if (keys_.empty()) return -1;
    for (std::size_t i = hash(key);; i = (i + 1) & mask_) {
      if (keys_[i] == key) return values_[i];
      if (keys_[i] == 0) return -1;
    }
  }

  void insert(std::uint64_t key, int value) {
    if ((count_ + 1) * 2 > keys_.size()) grow();
    std::size_t i = hash(key);
    while (keys_[i] != 0) i = (i + 1) & mask_;
    keys_[i] = key;
    values_[i] = value;
    ++count_;
  }

 private:
  std::size_t hash(std::uint64_t key) const {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 20) &
           mask_;
  }

  void grow() {
    std::vector<std::uint64_t> keys = std::move(keys_);
    std::vector<int> values = std::move(values_);
    const std::size_t size = keys.empty() ? 64 : keys.size() * 2;
    keys_.assign(size, 0);
    values_.assign(size, 0);
    mask_ = size - 1;
    count_ = 0;
    for (std::size_t i = 0; i < keys.size(); ++i)
      if (keys[i] != 0) insert(keys[i], values[i]);
  }

  std::vector<std::uint64_t> keys_;  // 0: free (row 0 does not exist)
  std::vector<int> values_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

struct Slot {
  int row = 0, column = 0;
  Computed constant;
  std::shared_ptr<const formula::Program> program;
  Computed result;
  std::uint32_t stamp = 0;  // the generation `result` belongs to
  bool active = false;      // being computed: met again, it is a cycle
};

struct SheetCells {
  CellIndex index;
  std::vector<Slot> slots;
};

struct CellId {
  int sheet;
  int slot;
};

const Computed kCircular = ErrorValue::ref;

bool sameProgram(const formula::Program& a, const formula::Program& b) {
  auto sameCode = [](const formula::Instruction& x,
                     const formula::Instruction& y) {
    return x.op == y.op && x.a == y.a && x.b == y.b &&
           std::memcmp(&x.number, &y.number, sizeof x.number) == 0;
  };
  auto sameRef = [](const formula::RefSpec& x, const formula::RefSpec& y) {
    return x.sheet == y.sheet && x.firstRow == y.firstRow &&
           x.firstColumn == y.firstColumn && x.lastRow == y.lastRow &&
           x.lastColumn == y.lastColumn && x.firstRowFixed == y.firstRowFixed &&
           x.firstColumnFixed == y.firstColumnFixed &&
           x.lastRowFixed == y.lastRowFixed &&
           x.lastColumnFixed == y.lastColumnFixed;
  };
  return std::equal(a.code.begin(), a.code.end(), b.code.begin(), b.code.end(),
                    sameCode) &&
         std::equal(a.refs.begin(), a.refs.end(), b.refs.begin(), b.refs.end(),
                    sameRef) &&
         a.texts == b.texts && a.problem == b.problem;
}

std::uint64_t fingerprint(const formula::Program& p) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  auto mix = [&h](std::uint64_t v) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
  };
  for (const formula::Instruction& in : p.code) {
    std::uint64_t bits;
    std::memcpy(&bits, &in.number, sizeof bits);
    mix(static_cast<std::uint64_t>(in.op) << 40 ^
        static_cast<std::uint32_t>(in.a) ^
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(in.b)) << 20);
    mix(bits);
  }
  for (const formula::RefSpec& r : p.refs) {
    mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.firstRow))
            << 32 |
        static_cast<std::uint32_t>(r.firstColumn));
    mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(r.lastRow))
            << 32 |
        static_cast<std::uint32_t>(r.lastColumn));
    mix(static_cast<std::uint64_t>(r.sheet) << 4 | r.firstRowFixed |
        r.firstColumnFixed << 1 | r.lastRowFixed << 2 | r.lastColumnFixed << 3);
  }
  for (const std::string& t : p.texts) mix(std::hash<std::string>()(t));
  return h;
}

}  // namespace

struct Calculation::Impl : formula::Cells {
  std::vector<std::string> names;
  std::vector<SheetCells> sheets;
  std::uint32_t generation = 1;
  std::vector<CellId> work;     // cells being computed, innermost last
  std::vector<CellId> pending;  // cells a run found not yet computed
  // Programs by what they do, relative to their cells.
  std::unordered_map<std::uint64_t,
                     std::vector<std::shared_ptr<const formula::Program>>>
      programs;

  Slot& slot(CellId id) {
    return sheets[static_cast<std::size_t>(id.sheet)]
        .slots[static_cast<std::size_t>(id.slot)];
  }

  Slot& slotFor(int sheet, int row, int column) {
    SheetCells& s = sheets.at(static_cast<std::size_t>(sheet));
    const std::uint64_t key = keyOf(row, column);
    int i = s.index.find(key);
    if (i < 0) {
      i = static_cast<int>(s.slots.size());
      s.slots.push_back({});
      s.slots.back().row = row;
      s.slots.back().column = column;
      s.index.insert(key, i);
    }
    return s.slots[static_cast<std::size_t>(i)];
  }

  void changed() {
    if (++generation == 0) {
      // After four billion changes the stamps start over.
      for (SheetCells& s : sheets)
        for (Slot& slot : s.slots) slot.stamp = 0;
      generation = 1;
    }
  }

  formula::CellRead readSlot(int sheet, int index) {
    Slot& s = slot({sheet, index});
    if (!s.program) {
      if (std::holds_alternative<std::monostate>(s.constant)) return {};
      return {&s.constant, false};
    }
    if (s.stamp == generation) return {&s.result, false};
    if (s.active) return {&kCircular, false};
    pending.push_back({sheet, index});
    return {nullptr, true};
  }

  formula::CellRead read(int sheet, int row, int column) override {
    if (sheet < 0 || static_cast<std::size_t>(sheet) >= sheets.size())
      return {&kCircular, false};
    const int i =
        sheets[static_cast<std::size_t>(sheet)].index.find(keyOf(row, column));
    if (i < 0) return {};
    return readSlot(sheet, i);
  }

  void forEach(
      int sheet, const CellRange& range,
      const std::function<void(const formula::CellRead&)>& visit) override {
    if (sheet < 0 || static_cast<std::size_t>(sheet) >= sheets.size()) return;
    SheetCells& s = sheets[static_cast<std::size_t>(sheet)];
    const std::uint64_t area =
        static_cast<std::uint64_t>(range.lastRow - range.firstRow + 1) *
        static_cast<std::uint64_t>(range.lastColumn - range.firstColumn + 1);
    if (area <= s.slots.size() + 64) {
      for (int r = range.firstRow; r <= range.lastRow; ++r)
        for (int c = range.firstColumn; c <= range.lastColumn; ++c) {
          const int i = s.index.find(keyOf(r, c));
          if (i >= 0) visit(readSlot(sheet, i));
        }
      return;
    }
    // A range far larger than the sheet's cells (A:A): walk the cells.
    std::vector<int> inside;
    for (std::size_t i = 0; i < s.slots.size(); ++i)
      if (range.contains(s.slots[i].row, s.slots[i].column))
        inside.push_back(static_cast<int>(i));
    std::sort(inside.begin(), inside.end(), [&](int a, int b) {
      const Slot& x = s.slots[static_cast<std::size_t>(a)];
      const Slot& y = s.slots[static_cast<std::size_t>(b)];
      return keyOf(x.row, x.column) < keyOf(y.row, y.column);
    });
    for (int i : inside) visit(readSlot(sheet, i));
  }

  // Computes a formula cell without recursion: a run that meets cells not
  // yet computed puts them on the work list above itself and runs again
  // once they are done, so a chain of any length takes no stack.
  void compute(CellId start) {
    work.clear();
    work.push_back(start);
    try {
      while (!work.empty()) {
        const CellId id = work.back();
        Slot& s = slot(id);
        if (s.stamp == generation) {
          s.active = false;
          work.pop_back();
          continue;
        }
        s.active = true;
        pending.clear();
        bool waiting = false;
        Computed v = formula::evaluate(
            *s.program, {id.sheet, s.row, s.column, s.row, s.column}, *this,
            &waiting);
        if (!waiting) {
          s.result = std::move(v);
          s.stamp = generation;
          s.active = false;
          work.pop_back();
        } else {
          work.insert(work.end(), pending.begin(), pending.end());
        }
      }
    } catch (...) {
      for (const CellId& id : work) slot(id).active = false;
      work.clear();
      throw;
    }
  }

  const Computed& valueOf(CellId id) {
    Slot& s = slot(id);
    if (!s.program) return s.constant;
    if (s.stamp != generation) compute(id);
    return s.result;
  }
};

Calculation::Calculation(std::vector<std::string> sheetNames)
    : impl_(std::make_unique<Impl>()) {
  impl_->sheets.resize(sheetNames.size());
  impl_->names = std::move(sheetNames);
}

Calculation::~Calculation() = default;

std::shared_ptr<const formula::Program> Calculation::compile(
    std::string_view text, int sheet, int row, int column) {
  const std::vector<std::string>& names = impl_->names;
  auto program = formula::compile(text, sheet, [&](std::string_view name) {
    auto low = [](char c) {
      return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    for (std::size_t i = 0; i < names.size(); ++i)
      if (std::equal(names[i].begin(), names[i].end(), name.begin(), name.end(),
                     [&](char a, char b) { return low(a) == low(b); }))
        return static_cast<int>(i);
    return -1;
  });
  // Relative parts count from the cell: run at offsets (row, column), the
  // program reads what the text says.
  for (formula::RefSpec& r : program->refs) {
    if (!r.firstRowFixed) r.firstRow -= row;
    if (!r.lastRowFixed) r.lastRow -= row;
    if (!r.firstColumnFixed) r.firstColumn -= column;
    if (!r.lastColumnFixed) r.lastColumn -= column;
  }
  auto& candidates = impl_->programs[fingerprint(*program)];
  for (const auto& candidate : candidates)
    if (sameProgram(*candidate, *program)) return candidate;
  candidates.push_back(std::move(program));
  return candidates.back();
}

void Calculation::setConstant(int sheet, int row, int column, Computed value) {
  Slot& s = impl_->slotFor(sheet, row, column);
  s.constant = std::move(value);
  s.program.reset();
  s.result = {};
  impl_->changed();
}

void Calculation::setFormula(int sheet, int row, int column,
                             std::shared_ptr<const formula::Program> program) {
  Slot& s = impl_->slotFor(sheet, row, column);
  s.constant = {};
  s.program = std::move(program);
  s.result = {};
  impl_->changed();
}

const Computed& Calculation::value(int sheet, int row, int column) {
  static const Computed kEmpty;
  if (sheet < 0 || static_cast<std::size_t>(sheet) >= impl_->sheets.size())
    return kEmpty;
  const int i = impl_->sheets[static_cast<std::size_t>(sheet)].index.find(
      keyOf(row, column));
  if (i < 0) return kEmpty;
  return impl_->valueOf({sheet, i});
}

bool Calculation::hasFormula(int sheet, int row, int column) const {
  if (sheet < 0 || static_cast<std::size_t>(sheet) >= impl_->sheets.size())
    return false;
  const SheetCells& s = impl_->sheets[static_cast<std::size_t>(sheet)];
  const int i = s.index.find(keyOf(row, column));
  return i >= 0 && s.slots[static_cast<std::size_t>(i)].program != nullptr;
}

Computed Calculation::evaluate(const formula::Program& program, int sheet,
                               int row, int column) {
  const formula::Where where{sheet, row, column, row, column};
  for (;;) {
    impl_->pending.clear();
    bool waiting = false;
    Computed v = formula::evaluate(program, where, *impl_, &waiting);
    if (!waiting) return v;
    // Each round computes at least one more cell, so this ends.
    const std::vector<CellId> needed = impl_->pending;
    for (const CellId& id : needed) impl_->valueOf(id);
  }
}

void Calculation::forEachFormula(
    int sheet,
    const std::function<void(int row, int column, const Computed&)>& visit) {
  SheetCells& s = impl_->sheets.at(static_cast<std::size_t>(sheet));
  for (std::size_t i = 0; i < s.slots.size(); ++i) {
    if (!s.slots[i].program) continue;
    const Computed& v = impl_->valueOf({sheet, static_cast<int>(i)});
    visit(s.slots[i].row, s.slots[i].column, v);
  }
}

}  // namespace xlsx
