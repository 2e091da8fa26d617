// The per-drawing dimension table: a SQLite file beside the drawing holding
// the table dim1, reached through a small connection / recordset pair with
// the semantics the handlers were written against (AddNew saves a pending
// row first, Update saves the last one, walks in row order).
//
// Writes are all-or-nothing per numbering pass: the rows saved by AddNew are
// held in a transaction that Update commits (or CommitTrans, when the
// connection has an explicit transaction open). A pass that is killed, or
// whose connection is closed before Update, leaves no row behind.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "dimtable/records.h"

namespace dimtable {

// Marks a SQLite file as ours ("DimM"), so that a foreign database is told
// apart before anything is written to it. Written by dim1.sql.
inline constexpr std::int32_t kApplicationId = 0x44696D4D;
// Layout of dim1; a file from a newer program is refused, not guessed at.
inline constexpr std::int32_t kSchemaVersion = 1;

// Every failure of the dimension table. The message is for the user (Chinese)
// and names the file; kind() lets a caller react to particular cases.
class DbError : public std::runtime_error {
 public:
  enum class Kind {
    NotFound,      // no file at the path
    NotOurs,       // the file is not a DimMark database (foreign, empty, ...)
    Version,       // ours, but from a newer version of the program
    Corrupt,       // ours, but damaged
    Busy,          // held by another program beyond the wait
    ReadOnly,      // the file or its folder cannot be written
    Io,            // any other failure of the file or the engine
    NotOpen,       // connection or recordset not open
    UnknownTable,  // a source other than dim1
    UnknownField,  // no such column
    NoRows,        // a move on a recordset without rows
    NoCurrentRow,  // a field read or a move at BOF or EOF
    BadValue,      // a value that does not convert to the field's type
    Transaction,   // CommitTrans / RollbackTrans without BeginTrans, nesting
    PassFailed,    // an earlier write of this pass failed; nothing was kept
    Copy,          // the template could not be copied beside the drawing
  };
  DbError(Kind kind, const std::string& message);
  Kind kind() const noexcept { return kind_; }

 private:
  Kind kind_;
};

// A field's value as the handlers read and write it: empty (Null), Yes/No,
// whole number, single, double or text, with the platform's conversions.
class Value {
 public:
  enum class Kind { Null, Bool, Int, Single, Double, Text };

  Value() = default;
  Value(bool v) : v_(v) {}
  template <typename T>
  requires(std::is_integral_v<T> && !std::is_same_v<T, bool> &&
           !std::is_same_v<T, char>) Value(T v)
      : v_(static_cast<std::int64_t>(v)) {}
  Value(float v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(std::string_view v) : v_(std::string(v)) {}
  Value(const char* v) : v_(std::string(v)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }

  // Null reads as "", 0 and False, as an empty field of a fresh record.
  // Numbers give their shortest text (a single as a single: 0.1 gives
  // "0.1"); Yes/No gives "True" / "False".
  std::string asText() const;
  // Texts must be a number as a whole (decimal point "."); True is -1.
  double asDouble() const;
  // Rounds halves to even; outside the 32-bit range raises.
  std::int32_t asInt() const;
  // Any non-zero number is True; texts "True"/"False" or a number.
  bool asBool() const;

  friend bool operator==(const Value&, const Value&) = default;

 private:
  std::variant<std::monostate, bool, std::int64_t, float, double, std::string>
      v_;
};

namespace detail {
struct ConnState;
}

// What was measured on one dimension: the dimension at that position of
// dim1's number1 order. A sample that is empty was not measured. A note is
// judged, not measured: each of its samples is 合格 (true) or 不合格.
struct Measurement {
  std::int32_t count = 0;  // samples chosen, 1 to 5
  std::array<std::optional<float>, 5> samples{};
  std::string instrument;
  std::array<std::optional<bool>, 5> passed{};

  bool measured() const {
    for (const auto& s : samples)
      if (s) return true;
    for (const auto& p : passed)
      if (p) return true;
    return false;
  }
  friend bool operator==(const Measurement&, const Measurement&) = default;
};

// The texts a note's sample results are stored and shown as.
inline constexpr std::string_view kPassed = "合格";
inline constexpr std::string_view kFailed = "不合格";

// What a characteristic's row of dim1 cannot say, kept by position in a
// table of its own beside dim1.
struct Characteristic {
  std::string kind;           // 形位公差, 粗糙度 or 技术要求
  std::string subtype;        // 位置度 …; empty where the kind has none
  std::int32_t frameRow = 0;  // 1 and 2: the rows of a composite frame
  Bound bound = Bound::None;
  std::string raw;  // the text as the drawing holds it
  friend bool operator==(const Characteristic&,
                         const Characteristic&) = default;
};

// The connection to one drawing's database, opened read/write.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(Connection&&) noexcept;
  Connection& operator=(Connection&&) noexcept;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Checks that the file is a DimMark database before anything can change
  // it; a foreign, empty or damaged file raises and is left as it was.
  // Opening an open connection closes it first.
  void Open(const std::string& path);
  // Rolls back a transaction or pass still open; committed rows stay.
  void Close();
  bool IsOpen() const;
  // The path given to Open, also after Close ("" before).
  const std::string& Path() const { return path_; }

  // Whether a numbering pass or transaction is open.
  bool InTransaction() const;
  // Until CommitTrans, Update saves rows without committing them.
  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  // Measurements live in a table of their own beside dim1 (made on the
  // first write in a database from before it existed; a note's results in
  // one more); dim1 is never touched. Each save is one transaction of its own,
  // unless a pass or transaction is open, which it then joins. A measurement
  // with no sample removes the position's entry.
  void SaveMeasurement(std::int32_t position, const Measurement& m);
  // Every stored measurement by position; rows that do not make a valid
  // measurement are left out.
  std::map<std::int32_t, Measurement> LoadMeasurements();

  // The characteristics among the rows, by position (their entries are
  // written with the rows, see Recordset::SetCharacteristic); none in a
  // database from before them.
  std::map<std::int32_t, Characteristic> LoadCharacteristics();

  // Gives up a numbering from position `first` on (1: all of it): the rows
  // of dim1 from the first-th in number1 order, and the measurements of
  // those positions, go in one transaction, so that the drawing can be
  // numbered again from there. Recordsets on this connection drop the rows
  // at their next look. Refused while a pass or transaction is open.
  void DeleteRowsFrom(std::int32_t first);

  // The zone grid chosen for the drawing, its two texts as typed ("1-8",
  // "A-D"), in a table of its own made on the first save (older databases
  // have none: nothing is stored).
  struct ZoneGridText {
    std::string columns;
    std::string rows;
    friend bool operator==(const ZoneGridText&, const ZoneGridText&) = default;
  };
  void SaveZoneGrid(const ZoneGridText& grid);
  std::optional<ZoneGridText> LoadZoneGrid();

 private:
  friend class Recordset;
  std::shared_ptr<detail::ConnState> state_;
  std::string path_;
};

// The rows of dim1 in number1 order, with a current row (or BOF / EOF) and
// at most one pending new row.
class Recordset {
 public:
  static constexpr std::size_t kFieldCount = 10;
  using Row = std::array<Value, kFieldCount>;

  Recordset();
  ~Recordset();
  Recordset(Recordset&&) noexcept;
  Recordset& operator=(Recordset&&) noexcept;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // The only source is the table "dim1" (any letter case). Positioned on
  // the first row; on an empty table both Eof() and Bof() are true.
  void Open(Connection& connection, std::string_view source);
  // Drops a pending new row that was not saved.
  void Close();
  bool IsOpen() const;

  // Saves a pending new row first, then begins a new one with the fields
  // empty, zero or False; the new row is the current row.
  void AddNew();
  // Only the pending new row takes values; number1 is given by the table.
  void Set(std::string_view field, const Value& value);
  // The pending new row is a characteristic: its entry is saved with the
  // row, in the same pass, at the row's position.
  void SetCharacteristic(const Characteristic& c);
  // Field names in any letter case; at BOF or EOF raises.
  Value Get(std::string_view field) const;
  // Saves a pending new row and commits the pass (unless BeginTrans).
  void Update();

  // Moving while a new row is pending saves it first, as Update does.
  // On a recordset without rows every move raises (Kind::NoRows).
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void Move(long n);
  // Named so because EOF is a macro of the C library.
  bool Eof() const;
  bool Bof() const;
  // Saved rows; a pending new row counts once saved.
  long RecordCount() const;

 private:
  detail::ConnState& state() const;
  void sync() const;
  void reload() const;
  void saveNewRow();
  std::size_t fieldIndex(std::string_view field) const;
  [[noreturn]] void fail(DbError::Kind kind, const std::string& what) const;

  std::shared_ptr<detail::ConnState> state_;
  mutable std::vector<Row> rows_;
  mutable long pos_ = 0;  // -1 is BOF, rows_.size() is EOF
  mutable std::uint64_t seenRollbacks_ = 0;
  std::optional<Row> pending_;
  std::optional<Characteristic> pendingCharacteristic_;
};

// Copies the template database byte for byte to dbPath. Refuses to replace
// an existing file; on any failure nothing is left at dbPath.
void copyTemplate(const std::string& templatePath, const std::string& dbPath);

}  // namespace dimtable
