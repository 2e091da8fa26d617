#include "dimtable/dimtable.h"

#include <fcntl.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "base/text.h"

namespace dimtable {

DbError::DbError(Kind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind) {}

namespace {

using Kind = DbError::Kind;

// How long a database held by another program is waited for.
constexpr int kBusyTimeoutMs = 2000;

std::string inQuotes(std::string_view s) { return "“" + std::string(s) + "”"; }

bool iequals(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return lower(x) == lower(y);
  });
}

// ---- values ---------------------------------------------------------------

using base::trimmed;

// A text that is a number as a whole; "inf" and "nan" are not numbers here.
std::optional<double> parseNumber(std::string_view text) {
  std::string_view s = trimmed(text);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  std::string_view digits = s;
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  if (digits.empty() || !(std::isdigit(static_cast<unsigned char>(digits[0])) ||
                          digits[0] == '.')) {
    return std::nullopt;
  }
  double v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

[[noreturn]] void badValue(const std::string& what) {
  throw DbError(Kind::BadValue, what);
}

template <typename F>
std::string shortest(F v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::int32_t toInt32(double d, const std::string& shown) {
  if (!std::isfinite(d)) badValue(inQuotes(shown) + "不是有限的数值");
  double r = std::nearbyint(d);  // halves to even in the default mode
  if (r < std::numeric_limits<std::int32_t>::min() ||
      r > std::numeric_limits<std::int32_t>::max()) {
    badValue(inQuotes(shown) + "超出了整数的范围");
  }
  return static_cast<std::int32_t>(r);
}

}  // namespace

std::string Value::asText() const {
  switch (kind()) {
    case Kind::Null:
      return "";
    case Kind::Bool:
      return std::get<bool>(v_) ? "True" : "False";
    case Kind::Int:
      return std::to_string(std::get<std::int64_t>(v_));
    case Kind::Single:
      return shortest(std::get<float>(v_));
    case Kind::Double:
      return shortest(std::get<double>(v_));
    case Kind::Text:
      return std::get<std::string>(v_);
  }
  return "";
}

double Value::asDouble() const {
  switch (kind()) {
    case Kind::Null:
      return 0;
    case Kind::Bool:
      return std::get<bool>(v_) ? -1 : 0;
    case Kind::Int:
      return static_cast<double>(std::get<std::int64_t>(v_));
    case Kind::Single:
      return std::get<float>(v_);
    case Kind::Double:
      return std::get<double>(v_);
    case Kind::Text: {
      const std::string& s = std::get<std::string>(v_);
      if (auto v = parseNumber(s)) return *v;
      badValue(inQuotes(s) + "不是数字");
    }
  }
  return 0;
}

std::int32_t Value::asInt() const {
  switch (kind()) {
    case Kind::Null:
      return 0;
    case Kind::Bool:
      return std::get<bool>(v_) ? -1 : 0;
    case Kind::Int: {
      std::int64_t i = std::get<std::int64_t>(v_);
      if (i < std::numeric_limits<std::int32_t>::min() ||
          i > std::numeric_limits<std::int32_t>::max()) {
        badValue(inQuotes(std::to_string(i)) + "超出了整数的范围");
      }
      return static_cast<std::int32_t>(i);
    }
    case Kind::Single:
    case Kind::Double:
    case Kind::Text:
      return toInt32(asDouble(), asText());
  }
  return 0;
}

bool Value::asBool() const {
  switch (kind()) {
    case Kind::Null:
      return false;
    case Kind::Bool:
      return std::get<bool>(v_);
    case Kind::Int:
      return std::get<std::int64_t>(v_) != 0;
    case Kind::Single:
      return std::get<float>(v_) != 0;
    case Kind::Double:
      return std::get<double>(v_) != 0;
    case Kind::Text: {
      const std::string& s = std::get<std::string>(v_);
      if (iequals(trimmed(s), "true")) return true;
      if (iequals(trimmed(s), "false")) return false;
      if (auto v = parseNumber(s)) return *v != 0;
      badValue(inQuotes(s) + "不是是/否值");
    }
  }
  return false;
}

// ---- the file -------------------------------------------------------------

namespace {

enum class Header {
  Ours,
  Empty,
  Access,
  Foreign,
  OtherSqlite,
  Newer,
  Damaged,
};

std::uint32_t bigEndian32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
         (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}

// Tells our files from others by their first 100 bytes alone, so that a
// foreign file is refused before the engine has touched it.
Header classify(const unsigned char* b, std::size_t n) {
  if (n == 0) return Header::Empty;
  if (n >= 19 && (std::memcmp(b + 4, "Standard Jet DB", 15) == 0 ||
                  std::memcmp(b + 4, "Standard ACE DB", 15) == 0)) {
    return Header::Access;
  }
  if (n < 100 || std::memcmp(b, "SQLite format 3", 16) != 0) {
    return Header::Foreign;
  }
  if (bigEndian32(b + 68) != static_cast<std::uint32_t>(kApplicationId)) {
    return Header::OtherSqlite;
  }
  std::uint32_t version = bigEndian32(b + 60);
  if (version > static_cast<std::uint32_t>(kSchemaVersion))
    return Header::Newer;
  if (version < 1) return Header::Damaged;
  return Header::Ours;
}

const char* const kUnchanged = "文件未作改动。";

std::string headerMessage(Header h, const std::string& path) {
  switch (h) {
    case Header::Empty:
      return "文件" + inQuotes(path) + "是空文件，不是 DimMark 的尺寸数据库。" +
             kUnchanged;
    case Header::Access:
      return "文件" + inQuotes(path) +
             "是 Access 数据库，不是 DimMark 的尺寸数据库。" + kUnchanged;
    case Header::Foreign:
      return "文件" + inQuotes(path) + "不是 DimMark 的尺寸数据库。" +
             kUnchanged;
    case Header::OtherSqlite:
      return "文件" + inQuotes(path) +
             "是其他程序的 SQLite 数据库，不是 DimMark 的尺寸数据库。" +
             kUnchanged;
    case Header::Newer:
      return "尺寸数据库" + inQuotes(path) +
             "来自较新版本的 DimMark，本程序无法使用。" + kUnchanged;
    case Header::Damaged:
      return "尺寸数据库" + inQuotes(path) + "已损坏，无法使用。" + kUnchanged;
    case Header::Ours:
      break;
  }
  return "";
}

Kind headerKind(Header h) {
  switch (h) {
    case Header::Newer:
      return Kind::Version;
    case Header::Damaged:
      return Kind::Corrupt;
    default:
      return Kind::NotOurs;
  }
}

std::string errnoReason(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
      return "没有权限";
    case EROFS:
      return "所在磁盘是只读的";
    case ENOSPC:
    case EDQUOT:
      return "磁盘空间不足";
    case ENOENT:
    case ENOTDIR:
      return "文件夹不存在";
    case ENAMETOOLONG:
      return "路径太长";
    case EISDIR:
      return "同名的文件夹已存在";
    default:
      return std::strerror(e);
  }
}

bool readAll(int fd, std::string& out, std::size_t limit) {
  char buf[65536];
  while (out.size() < limit) {
    std::size_t want = std::min(sizeof buf, limit - out.size());
    ssize_t n = ::read(fd, buf, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

bool writeAll(int fd, const std::string& data) {
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Refuses what is not one of our databases before the engine opens it.
void checkFile(const std::string& path) {
  struct stat sb {};
  if (::stat(path.c_str(), &sb) != 0) {
    int e = errno;
    if (e == ENOENT || e == ENOTDIR) {
      throw DbError(Kind::NotFound, "找不到尺寸数据库" + inQuotes(path) + "。");
    }
    throw DbError(Kind::Io, "无法访问尺寸数据库" + inQuotes(path) + "：" +
                                errnoReason(e) + "。");
  }
  if (!S_ISREG(sb.st_mode)) {
    throw DbError(Kind::NotOurs,
                  inQuotes(path) + "不是文件，不是 DimMark 的尺寸数据库。");
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int e = errno;
    throw DbError(Kind::Io, "无法读取尺寸数据库" + inQuotes(path) + "：" +
                                errnoReason(e) + "。");
  }
  std::string head;
  bool ok = readAll(fd, head, 100);
  int e = errno;
  ::close(fd);
  if (!ok) {
    throw DbError(Kind::Io, "无法读取尺寸数据库" + inQuotes(path) + "：" +
                                errnoReason(e) + "。");
  }
  Header h = classify(reinterpret_cast<const unsigned char*>(head.data()),
                      head.size());
  if (h != Header::Ours) throw DbError(headerKind(h), headerMessage(h, path));
}

// What the engine's result code means to the user, while doing `action`
// ("打开", "读取", "写入", "提交").
DbError engineError(const std::string& path, sqlite3* db, int rc,
                    const char* action) {
  std::string head = "尺寸数据库" + inQuotes(path) + action + "失败：";
  std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return DbError(Kind::Busy,
                     head +
                         "文件正被其他程序使用，等待 2 秒后仍未释放。"
                         "请关闭占用它的程序后重试。");
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return DbError(Kind::ReadOnly,
                     head + "文件是只读的，或其所在文件夹不允许写入。");
    case SQLITE_CORRUPT:
      return DbError(Kind::Corrupt, head + "文件已损坏。");
    case SQLITE_NOTADB:
      return DbError(Kind::NotOurs,
                     head + "文件不是 DimMark 的尺寸数据库。" + kUnchanged);
    case SQLITE_FULL:
      return DbError(Kind::Io, head + "磁盘空间不足。");
    case SQLITE_CANTOPEN:
      return DbError(Kind::Io, head +
                                   "无法打开文件，或无法在其所在文件夹中创建"
                                   "日志文件（" +
                                   detail + "）。");
    default:
      return DbError(Kind::Io, head + detail + "。");
  }
}

}  // namespace

// ---- connection -----------------------------------------------------------

namespace detail {

struct ConnState {
  enum class Txn { None, Implicit, Explicit };

  std::string path;
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  Txn txn = Txn::None;
  // The recordset whose AddNew began the implicit pass; closing it before
  // Update takes the pass back, so no other Update can commit half of it.
  const Recordset* passOwner = nullptr;
  bool sqlOpen = false;  // BEGIN issued and not yet ended
  bool failed = false;   // a write of this pass failed and was rolled back
  std::string failure;
  std::int64_t firstRowid = std::numeric_limits<std::int64_t>::max();
  // Per rollback, the first number1 it took back; recordsets drop those
  // rows from their copies.
  std::vector<std::int64_t> rollbackFrom;

  ConnState() = default;
  ConnState(const ConnState&) = delete;
  ConnState& operator=(const ConnState&) = delete;
  ~ConnState() { close(); }

  [[noreturn]] void raise(int rc, const char* action) const {
    throw engineError(path, db, rc, action);
  }

  void exec(const char* sql, const char* action) {
    int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) raise(rc, action);
  }

  void beginWrite(const Recordset* who) {
    if (txn == Txn::None) {
      txn = Txn::Implicit;
      passOwner = who;
    }
    if (sqlOpen) return;
    // IMMEDIATE takes the write lock now, so a pass never stalls half-way.
    exec("BEGIN IMMEDIATE", "写入");
    sqlOpen = true;
    firstRowid = std::numeric_limits<std::int64_t>::max();
  }

  void rollback() {
    if (!sqlOpen) return;
    if (db && !sqlite3_get_autocommit(db)) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    sqlOpen = false;
    rollbackFrom.push_back(firstRowid);
  }

  // A write failed inside a pass: nothing of the pass is kept, and the
  // rest of it is refused until Update / CommitTrans ends it.
  void failPass(const std::string& why) {
    rollback();
    if (txn == Txn::None) txn = Txn::Implicit;
    failed = true;
    failure = why;
  }

  void commit() {
    if (sqlOpen) {
      int rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
      if (rc != SQLITE_OK) {
        DbError err = engineError(path, db, rc, "提交");
        rollback();
        endPass();
        throw err;
      }
      sqlOpen = false;
    }
    endPass();
  }

  void endPass() {
    txn = Txn::None;
    passOwner = nullptr;
    failed = false;
  }

  DbError passFailed() const {
    return DbError(Kind::PassFailed,
                   "本次写入尺寸数据库" + inQuotes(path) +
                       "的记录已全部撤销，因为其中一次写入失败：" + failure);
  }

  void close() {
    rollback();
    endPass();
    if (insert) sqlite3_finalize(insert);
    insert = nullptr;
    if (db) sqlite3_close_v2(db);
    db = nullptr;
  }
};

}  // namespace detail

namespace {

using detail::ConnState;

enum class Col { AutoNumber, Long, Text, Single, Bool, Number };

struct Field {
  const char* name;
  Col type;
};

constexpr std::array<Field, Recordset::kFieldCount> kFields{{
    {"number1", Col::AutoNumber},
    {"DIMNUM", Col::Long},
    {"DIMVALUE", Col::Text},
    {"DIMUP", Col::Single},
    {"DIMLOW", Col::Single},
    {"DIMTYPE", Col::Text},
    {"DIMCHECK", Col::Bool},
    {"DIMX", Col::Single},
    {"DIMY", Col::Single},
    {"marknum", Col::Number},
}};

const char* const kSelect =
    "SELECT number1, DIMNUM, DIMVALUE, DIMUP, DIMLOW, DIMTYPE, DIMCHECK, "
    "DIMX, DIMY, marknum FROM dim1 ORDER BY number1";
const char* const kInsert =
    "INSERT INTO dim1 (DIMNUM, DIMVALUE, DIMUP, DIMLOW, DIMTYPE, DIMCHECK, "
    "DIMX, DIMY, marknum) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)";

// A fresh record: empty, zero or False, as the in-memory list starts.
Recordset::Row newRow() {
  return {Value(),   Value(0),     Value(""),   Value(0.0f), Value(0.0f),
          Value(""), Value(false), Value(0.0f), Value(0.0f), Value(0.0)};
}

Value readColumn(sqlite3_stmt* st, int i, Col type) {
  if (sqlite3_column_type(st, i) == SQLITE_NULL) return Value();
  switch (type) {
    case Col::AutoNumber:
    case Col::Long:
      return Value(sqlite3_column_int64(st, i));
    case Col::Text: {
      auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return Value(std::string(
          p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(st, i))));
    }
    case Col::Single:
      return Value(static_cast<float>(sqlite3_column_double(st, i)));
    case Col::Bool:
      return Value(sqlite3_column_int64(st, i) != 0);
    case Col::Number:
      return Value(sqlite3_column_double(st, i));
  }
  return Value();
}

int bindValue(sqlite3_stmt* st, int i, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null:
      return sqlite3_bind_null(st, i);
    case Value::Kind::Bool:
      return sqlite3_bind_int(st, i, v.asBool() ? 1 : 0);
    case Value::Kind::Int:
      return sqlite3_bind_int64(st, i, v.asInt());
    case Value::Kind::Single:
    case Value::Kind::Double:
      return sqlite3_bind_double(st, i, v.asDouble());
    case Value::Kind::Text: {
      std::string s = v.asText();
      return sqlite3_bind_text(st, i, s.data(), static_cast<int>(s.size()),
                               SQLITE_TRANSIENT);
    }
  }
  return SQLITE_MISUSE;
}

// The value as the column keeps it; raises on what it cannot hold.
Value coerce(Col type, const Value& v) {
  if (v.isNull()) return v;
  switch (type) {
    case Col::AutoNumber:
      break;
    case Col::Long:
      return Value(v.asInt());
    case Col::Text:
      return Value(v.asText());
    case Col::Bool:
      return Value(v.asBool());
    case Col::Single: {
      double d = v.asDouble();
      float f = static_cast<float>(d);
      if (!std::isfinite(d) || !std::isfinite(f)) {
        badValue(inQuotes(v.asText()) + "超出了单精度数的范围");
      }
      return Value(f);
    }
    case Col::Number: {
      double d = v.asDouble();
      if (!std::isfinite(d)) badValue(inQuotes(v.asText()) + "不是有限的数值");
      return Value(d);
    }
  }
  return v;
}

// Runs a one-row pragma and gives its first column.
std::string pragmaText(ConnState& s, const char* sql) {
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(s.db, sql, -1, &st, nullptr);
  std::string out;
  if (rc == SQLITE_OK) {
    rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) {
      auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      out = p ? p : "";
      rc = SQLITE_OK;
    } else if (rc == SQLITE_DONE) {
      rc = SQLITE_OK;
    }
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_OK) s.raise(rc, "打开");
  return out;
}

// The header said ours; now the engine confirms it, recovers what a killed
// pass left, and the table must have every column we read and write.
void verify(ConnState& s) {
  if (pragmaText(s, "PRAGMA application_id") !=
      std::to_string(kApplicationId)) {
    throw DbError(Kind::NotOurs, headerMessage(Header::OtherSqlite, s.path));
  }
  if (pragmaText(s, "PRAGMA quick_check(1)") != "ok") {
    throw DbError(Kind::Corrupt, headerMessage(Header::Damaged, s.path));
  }
  sqlite3_stmt* st = nullptr;
  int rc =
      sqlite3_prepare_v2(s.db, "PRAGMA table_info(dim1)", -1, &st, nullptr);
  std::array<bool, Recordset::kFieldCount> seen{};
  while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    std::string_view name = p ? p : "";
    for (std::size_t i = 0; i < kFields.size(); ++i) {
      if (iequals(name, kFields[i].name)) seen[i] = true;
    }
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE && rc != SQLITE_OK) s.raise(rc, "打开");
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (!seen[i]) {
      throw DbError(Kind::Corrupt, "尺寸数据库" + inQuotes(s.path) +
                                       "的表 dim1 缺少字段" +
                                       inQuotes(kFields[i].name) +
                                       "，无法使用。" + kUnchanged);
    }
  }
}

}  // namespace

Connection::Connection() = default;
Connection::~Connection() { Close(); }
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::move(other.state_);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Connection::Open(const std::string& path) {
  Close();
  path_ = path;
  checkFile(path);
  auto s = std::make_shared<ConnState>();
  s->path = path;
  int rc =
      sqlite3_open_v2(path.c_str(), &s->db, SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) s->raise(rc, "打开");
  sqlite3_extended_result_codes(s->db, 1);
  sqlite3_busy_timeout(s->db, kBusyTimeoutMs);
  verify(*s);
  rc = sqlite3_prepare_v3(s->db, kInsert, -1, SQLITE_PREPARE_PERSISTENT,
                          &s->insert, nullptr);
  if (rc != SQLITE_OK) s->raise(rc, "打开");
  state_ = std::move(s);
}

void Connection::Close() {
  if (state_) state_->close();
  state_.reset();
}

bool Connection::IsOpen() const { return state_ && state_->db; }

namespace {

ConnState& openState(const std::shared_ptr<ConnState>& s,
                     const std::string& path) {
  if (!s || !s->db) {
    throw DbError(Kind::NotOpen,
                  path.empty() ? std::string("尺寸数据库未打开。")
                               : "尺寸数据库" + inQuotes(path) + "未打开。");
  }
  return *s;
}

}  // namespace

bool Connection::InTransaction() const {
  return state_ && state_->db &&
         (state_->txn != ConnState::Txn::None || state_->sqlOpen);
}

void Connection::BeginTrans() {
  ConnState& s = openState(state_, path_);
  if (s.txn == ConnState::Txn::Explicit) {
    throw DbError(Kind::Transaction, "尺寸数据库" + inQuotes(path_) +
                                         "已有一个未结束的事务，不能再开始。");
  }
  // Rows an unfinished pass has saved become part of the transaction.
  s.txn = ConnState::Txn::Explicit;
  s.passOwner = nullptr;
}

void Connection::CommitTrans() {
  ConnState& s = openState(state_, path_);
  if (s.txn != ConnState::Txn::Explicit) {
    throw DbError(Kind::Transaction,
                  "尺寸数据库" + inQuotes(path_) + "没有可提交的事务。");
  }
  if (s.failed) {
    DbError err = s.passFailed();
    s.endPass();
    throw err;
  }
  s.commit();
}

void Connection::RollbackTrans() {
  ConnState& s = openState(state_, path_);
  if (s.txn != ConnState::Txn::Explicit) {
    throw DbError(Kind::Transaction,
                  "尺寸数据库" + inQuotes(path_) + "没有可撤销的事务。");
  }
  s.rollback();
  s.endPass();
}

// ---- measurements ---------------------------------------------------------

namespace {

// Made on the first save, so databases from before it keep working and
// dim1 stays exactly as it was. Samples are singles; NULL is not measured.
const char* const kMeasureTable =
    "CREATE TABLE IF NOT EXISTS measure ("
    " position INTEGER PRIMARY KEY CHECK (position >= 1),"
    " samplecount INTEGER NOT NULL CHECK (samplecount BETWEEN 1 AND 5),"
    " sample1 REAL, sample2 REAL, sample3 REAL, sample4 REAL, sample5 REAL,"
    " instrument TEXT NOT NULL DEFAULT ''"
    ") STRICT";

struct Statement {
  sqlite3_stmt* st = nullptr;
  ~Statement() { sqlite3_finalize(st); }
};

bool hasMeasureTable(ConnState& s) {
  Statement q;
  int rc = sqlite3_prepare_v2(
      s.db,
      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'measure'",
      -1, &q.st, nullptr);
  if (rc != SQLITE_OK) s.raise(rc, "读取");
  rc = sqlite3_step(q.st);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) s.raise(rc, "读取");
  return false;
}

void writeMeasurement(ConnState& s, std::int32_t position,
                      const Measurement& m) {
  s.exec(kMeasureTable, "写入");
  Statement q;
  if (!m.measured()) {
    int rc = sqlite3_prepare_v2(s.db, "DELETE FROM measure WHERE position = ?1",
                                -1, &q.st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_int(q.st, 1, position);
    if (rc == SQLITE_OK) rc = sqlite3_step(q.st);
    if (rc != SQLITE_DONE) s.raise(rc, "写入");
    return;
  }
  int rc = sqlite3_prepare_v2(
      s.db,
      "INSERT OR REPLACE INTO measure (position, samplecount, sample1, "
      "sample2, sample3, sample4, sample5, instrument) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
      -1, &q.st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_bind_int(q.st, 1, position);
  if (rc == SQLITE_OK) rc = sqlite3_bind_int(q.st, 2, m.count);
  for (int k = 0; k < 5 && rc == SQLITE_OK; ++k) {
    const auto& v = m.samples[static_cast<std::size_t>(k)];
    rc = v ? sqlite3_bind_double(q.st, 3 + k, static_cast<double>(*v))
           : sqlite3_bind_null(q.st, 3 + k);
  }
  if (rc == SQLITE_OK)
    rc = sqlite3_bind_text(q.st, 8, m.instrument.data(),
                           static_cast<int>(m.instrument.size()),
                           SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.st);
  if (rc != SQLITE_DONE) s.raise(rc, "写入");
}

}  // namespace

void Connection::SaveMeasurement(std::int32_t position, const Measurement& m) {
  ConnState& s = openState(state_, path_);
  if (position < 1) {
    throw DbError(Kind::BadValue, "尺寸数据库" + inQuotes(path_) +
                                      "：测量值的位置" +
                                      std::to_string(position) + "无效。");
  }
  if (m.measured() && (m.count < 1 || m.count > 5)) {
    throw DbError(Kind::BadValue, "尺寸数据库" + inQuotes(path_) + "：样本数" +
                                      std::to_string(m.count) + "无效。");
  }
  for (const auto& v : m.samples) {
    if (v && !std::isfinite(*v)) {
      throw DbError(Kind::BadValue, "尺寸数据库" + inQuotes(path_) +
                                        "：测量值不是有限的数值。");
    }
  }
  if (s.failed) throw s.passFailed();
  if (s.txn != ConnState::Txn::None) {
    // Joins the pass or transaction in hand; its end commits it.
    s.beginWrite(nullptr);
    try {
      writeMeasurement(s, position, m);
    } catch (const DbError& e) {
      s.failPass(e.what());
      throw;
    }
    return;
  }
  s.exec("BEGIN IMMEDIATE", "写入");
  try {
    writeMeasurement(s, position, m);
  } catch (...) {
    sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  int rc = sqlite3_exec(s.db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    DbError err = engineError(path_, s.db, rc, "提交");
    if (!sqlite3_get_autocommit(s.db))
      sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw err;
  }
}

std::map<std::int32_t, Measurement> Connection::LoadMeasurements() {
  ConnState& s = openState(state_, path_);
  std::map<std::int32_t, Measurement> out;
  if (!hasMeasureTable(s)) return out;
  Statement q;
  int rc = sqlite3_prepare_v2(
      s.db,
      "SELECT position, samplecount, sample1, sample2, sample3, sample4, "
      "sample5, instrument FROM measure ORDER BY position",
      -1, &q.st, nullptr);
  if (rc != SQLITE_OK) {
    throw DbError(Kind::Corrupt, "尺寸数据库" + inQuotes(path_) +
                                     "的测量值表已损坏：" +
                                     sqlite3_errmsg(s.db) + "。");
  }
  while ((rc = sqlite3_step(q.st)) == SQLITE_ROW) {
    const std::int64_t position = sqlite3_column_int64(q.st, 0);
    Measurement m;
    const std::int64_t count = sqlite3_column_int64(q.st, 1);
    if (position < 1 || position > std::numeric_limits<std::int32_t>::max() ||
        count < 1 || count > 5)
      continue;
    m.count = static_cast<std::int32_t>(count);
    bool valid = true;
    for (int k = 0; k < 5; ++k) {
      if (sqlite3_column_type(q.st, 2 + k) == SQLITE_NULL) continue;
      const double d = sqlite3_column_double(q.st, 2 + k);
      const auto f = static_cast<float>(d);
      if (!std::isfinite(d) || !std::isfinite(f)) valid = false;
      m.samples[static_cast<std::size_t>(k)] = f;
    }
    auto* text = reinterpret_cast<const char*>(sqlite3_column_text(q.st, 7));
    m.instrument.assign(text ? text : "", static_cast<std::size_t>(
                                              sqlite3_column_bytes(q.st, 7)));
    if (valid && m.measured())
      out[static_cast<std::int32_t>(position)] = std::move(m);
  }
  if (rc != SQLITE_DONE) s.raise(rc, "读取");
  return out;
}

namespace {

bool hasTable(ConnState& s, const char* name) {
  Statement q;
  int rc = sqlite3_prepare_v2(
      s.db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
      -1, &q.st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_bind_text(q.st, 1, name, -1, SQLITE_STATIC);
  if (rc != SQLITE_OK) s.raise(rc, "读取");
  rc = sqlite3_step(q.st);
  if (rc == SQLITE_ROW) return true;
  if (rc != SQLITE_DONE) s.raise(rc, "读取");
  return false;
}

// Runs one statement with up to one integer and two texts bound.
void run(ConnState& s, const char* sql, const char* action,
         std::optional<std::int64_t> n = std::nullopt,
         const std::string* a = nullptr, const std::string* b = nullptr) {
  Statement q;
  int rc = sqlite3_prepare_v2(s.db, sql, -1, &q.st, nullptr);
  int at = 1;
  if (rc == SQLITE_OK && n) rc = sqlite3_bind_int64(q.st, at++, *n);
  for (const std::string* t : {a, b})
    if (rc == SQLITE_OK && t)
      rc = sqlite3_bind_text(q.st, at++, t->data(), static_cast<int>(t->size()),
                             SQLITE_TRANSIENT);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.st);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) s.raise(rc, action);
}

// Everything `write` does is kept, or nothing: a connection without a pass
// or transaction of its own runs it in one of its own.
template <typename F>
void atomically(ConnState& s, const std::string& path, F&& write) {
  if (s.txn != ConnState::Txn::None || s.sqlOpen) {
    throw DbError(Kind::Transaction, "尺寸数据库" + inQuotes(path) +
                                         "正在写入标号，请结束后再试。");
  }
  s.exec("BEGIN IMMEDIATE", "写入");
  try {
    write();
  } catch (...) {
    sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
  int rc = sqlite3_exec(s.db, "COMMIT", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    DbError err = engineError(path, s.db, rc, "提交");
    if (!sqlite3_get_autocommit(s.db))
      sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw err;
  }
}

const char* const kZoneGridTable =
    "CREATE TABLE IF NOT EXISTS zonegrid ("
    " id INTEGER PRIMARY KEY CHECK (id = 1),"
    " columns TEXT NOT NULL, rows TEXT NOT NULL"
    ") STRICT";

}  // namespace

void Connection::DeleteRowsFrom(std::int32_t first) {
  ConnState& s = openState(state_, path_);
  if (first < 1) {
    throw DbError(Kind::BadValue, "尺寸数据库" + inQuotes(path_) + "：位置" +
                                      std::to_string(first) + "无效。");
  }
  std::int64_t cut = std::numeric_limits<std::int64_t>::max();
  atomically(s, path_, [&] {
    Statement q;
    int rc = sqlite3_prepare_v2(
        s.db, "SELECT number1 FROM dim1 ORDER BY number1 LIMIT 1 OFFSET ?1", -1,
        &q.st, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_bind_int64(q.st, 1, first - 1);
    if (rc == SQLITE_OK) rc = sqlite3_step(q.st);
    if (rc == SQLITE_ROW)
      cut = sqlite3_column_int64(q.st, 0);
    else if (rc != SQLITE_DONE)
      s.raise(rc, "读取");
    run(s, "DELETE FROM dim1 WHERE number1 >= ?1", "写入", cut);
    if (hasMeasureTable(s))
      run(s, "DELETE FROM measure WHERE position >= ?1", "写入", first);
    // The rows kept are numbered 1 on as before, and new ones follow them,
    // as in a table that never held the rows given up.
    run(s,
        "UPDATE sqlite_sequence SET seq = (SELECT COALESCE(MAX(number1), 0) "
        "FROM dim1) WHERE name = 'dim1'",
        "写入");
  });
  s.rollbackFrom.push_back(cut);
}

void Connection::SaveZoneGrid(const ZoneGridText& grid) {
  ConnState& s = openState(state_, path_);
  atomically(s, path_, [&] {
    s.exec(kZoneGridTable, "写入");
    run(s,
        "INSERT OR REPLACE INTO zonegrid (id, columns, rows) VALUES (1, ?1, "
        "?2)",
        "写入", std::nullopt, &grid.columns, &grid.rows);
  });
}

std::optional<Connection::ZoneGridText> Connection::LoadZoneGrid() {
  ConnState& s = openState(state_, path_);
  if (!hasTable(s, "zonegrid")) return std::nullopt;
  Statement q;
  int rc = sqlite3_prepare_v2(s.db,
                              "SELECT columns, rows FROM zonegrid WHERE id = 1",
                              -1, &q.st, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_step(q.st);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) s.raise(rc, "读取");
  auto text = [&](int i) {
    auto* p = reinterpret_cast<const char*>(sqlite3_column_text(q.st, i));
    return std::string(p ? p : "",
                       static_cast<std::size_t>(sqlite3_column_bytes(q.st, i)));
  };
  return ZoneGridText{text(0), text(1)};
}

// ---- recordset ------------------------------------------------------------

Recordset::Recordset() = default;
Recordset::~Recordset() { Close(); }

Recordset::Recordset(Recordset&& other) noexcept { *this = std::move(other); }

Recordset& Recordset::operator=(Recordset&& other) noexcept {
  if (this != &other) {
    Close();
    state_ = std::move(other.state_);
    rows_ = std::move(other.rows_);
    pos_ = other.pos_;
    seenRollbacks_ = other.seenRollbacks_;
    pending_ = std::move(other.pending_);
    if (state_ && state_->passOwner == &other) state_->passOwner = this;
    other.Close();
  }
  return *this;
}

void Recordset::fail(DbError::Kind kind, const std::string& what) const {
  std::string where = state_ ? "尺寸数据库" + inQuotes(state_->path)
                             : std::string("尺寸数据库");
  throw DbError(kind, where + "：" + what);
}

ConnState& Recordset::state() const {
  if (!state_) throw DbError(Kind::NotOpen, "尺寸数据库的记录集未打开。");
  return openState(state_, state_->path);
}

bool Recordset::IsOpen() const { return state_ && state_->db; }

void Recordset::Open(Connection& connection, std::string_view source) {
  Close();
  ConnState& s = openState(connection.state_, connection.Path());
  if (!iequals(source, "dim1")) {
    throw DbError(Kind::UnknownTable, "尺寸数据库" + inQuotes(s.path) +
                                          "中没有表" + inQuotes(source) + "。");
  }
  state_ = connection.state_;
  try {
    reload();
  } catch (...) {
    Close();
    throw;
  }
  pos_ = 0;
}

void Recordset::Close() {
  if (state_ && state_->txn == ConnState::Txn::Implicit &&
      state_->passOwner == this) {
    state_->rollback();
    state_->endPass();
  }
  state_.reset();
  rows_.clear();
  pending_.reset();
  pos_ = 0;
  seenRollbacks_ = 0;
}

void Recordset::reload() const {
  ConnState& s = state();
  sqlite3_stmt* st = nullptr;
  int rc = sqlite3_prepare_v2(s.db, kSelect, -1, &st, nullptr);
  std::vector<Row> rows;
  while (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW) {
    Row r;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
      r[i] = readColumn(st, static_cast<int>(i), kFields[i].type);
    }
    rows.push_back(std::move(r));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) s.raise(rc, "读取");
  rows_ = std::move(rows);
  seenRollbacks_ = s.rollbackFrom.size();
}

// Drops the rows that rollbacks since the last look took back.
void Recordset::sync() const {
  ConnState& s = state();
  if (seenRollbacks_ == s.rollbackFrom.size()) return;
  std::int64_t cut = std::numeric_limits<std::int64_t>::max();
  for (std::size_t g = seenRollbacks_; g < s.rollbackFrom.size(); ++g) {
    cut = std::min(cut, s.rollbackFrom[g]);
  }
  seenRollbacks_ = s.rollbackFrom.size();
  auto keep = std::find_if(rows_.begin(), rows_.end(), [cut](const Row& r) {
    return r[0].asDouble() >= static_cast<double>(cut);
  });
  rows_.erase(keep, rows_.end());
  pos_ = std::min(pos_, static_cast<long>(rows_.size()));
}

std::size_t Recordset::fieldIndex(std::string_view field) const {
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    if (iequals(field, kFields[i].name)) return i;
  }
  fail(Kind::UnknownField, "表 dim1 中没有字段" + inQuotes(field) + "。");
}

void Recordset::saveNewRow() {
  ConnState& s = state();
  s.beginWrite(this);
  sqlite3_stmt* st = s.insert;
  int rc = SQLITE_OK;
  for (int i = 1; i < static_cast<int>(kFields.size()) && rc == SQLITE_OK;
       ++i) {
    rc = bindValue(st, i, (*pending_)[static_cast<std::size_t>(i)]);
  }
  if (rc == SQLITE_OK) rc = sqlite3_step(st);
  sqlite3_reset(st);
  sqlite3_clear_bindings(st);
  if (rc != SQLITE_DONE) s.raise(rc, "写入");
  std::int64_t id = sqlite3_last_insert_rowid(s.db);
  s.firstRowid = std::min(s.firstRowid, id);
  Row r = std::move(*pending_);
  pending_.reset();
  r[0] = Value(id);
  rows_.push_back(std::move(r));
  pos_ = static_cast<long>(rows_.size()) - 1;
}

void Recordset::AddNew() {
  sync();
  ConnState& s = state();
  if (s.failed) {
    pending_.reset();
    throw s.passFailed();
  }
  if (pending_) {
    try {
      saveNewRow();
    } catch (const DbError& e) {
      pending_.reset();
      s.failPass(e.what());
      throw;
    }
  }
  pending_ = newRow();
}

void Recordset::Set(std::string_view field, const Value& value) {
  sync();
  std::size_t i = fieldIndex(field);
  if (kFields[i].type == Col::AutoNumber) {
    fail(Kind::BadValue,
         "字段" + inQuotes(kFields[i].name) + "由数据库自动编号，不能写入。");
  }
  if (!pending_) {
    fail(Kind::NoCurrentRow, "没有用 AddNew 新增的记录，字段" +
                                 inQuotes(kFields[i].name) +
                                 "无法写入（已保存的记录不作修改）。");
  }
  try {
    (*pending_)[i] = coerce(kFields[i].type, value);
  } catch (const DbError& e) {
    fail(Kind::BadValue,
         "字段" + inQuotes(kFields[i].name) + "无法取值：" + e.what() + "。");
  }
}

Value Recordset::Get(std::string_view field) const {
  sync();
  std::size_t i = fieldIndex(field);
  if (pending_) return (*pending_)[i];
  if (rows_.empty()) {
    fail(Kind::NoRows,
         "表 dim1 中没有记录，无法读取字段" + inQuotes(kFields[i].name) + "。");
  }
  if (Eof() || Bof()) {
    fail(Kind::NoCurrentRow,
         "当前位置在第一条记录之前或最后一条记录之后，"
         "无法读取字段" +
             inQuotes(kFields[i].name) + "。");
  }
  return rows_[static_cast<std::size_t>(pos_)][i];
}

void Recordset::Update() {
  sync();
  ConnState& s = state();
  if (s.failed) {
    pending_.reset();
    DbError err = s.passFailed();
    if (s.txn == ConnState::Txn::Implicit) s.endPass();
    throw err;
  }
  if (pending_) {
    try {
      saveNewRow();
    } catch (const DbError& e) {
      pending_.reset();
      if (s.txn == ConnState::Txn::Explicit) {
        s.failPass(e.what());
      } else {
        s.rollback();
        s.endPass();
      }
      throw;
    }
  }
  if (s.txn == ConnState::Txn::Implicit) s.commit();
}

void Recordset::MoveFirst() {
  sync();
  if (pending_) Update();
  if (rows_.empty()) fail(Kind::NoRows, "表 dim1 中没有记录。");
  pos_ = 0;
}

void Recordset::MoveLast() {
  sync();
  if (pending_) Update();
  if (rows_.empty()) fail(Kind::NoRows, "表 dim1 中没有记录。");
  pos_ = static_cast<long>(rows_.size()) - 1;
}

void Recordset::MoveNext() { Move(1); }

void Recordset::Move(long n) {
  sync();
  if (pending_) Update();
  if (rows_.empty()) fail(Kind::NoRows, "表 dim1 中没有记录。");
  if ((n >= 0 && Eof()) || (n <= 0 && Bof())) {
    fail(Kind::NoCurrentRow,
         "当前位置在第一条记录之前或最后一条记录之后，"
         "无法再向这个方向移动。");
  }
  long size = static_cast<long>(rows_.size());
  pos_ = std::clamp(pos_ + n, -1L, size);
}

bool Recordset::Eof() const {
  sync();
  return !pending_ &&
         (rows_.empty() || pos_ >= static_cast<long>(rows_.size()));
}

bool Recordset::Bof() const {
  sync();
  return !pending_ && (rows_.empty() || pos_ < 0);
}

long Recordset::RecordCount() const {
  sync();
  return static_cast<long>(rows_.size());
}

// ---- the template ---------------------------------------------------------

namespace {

// Copies of the template left by a copy that was killed: ".part.mdb.part-
// PID-N" of a process that is gone. Those of a running copy stay.
void removeStrayCopies(const std::filesystem::path& dir,
                       const std::string& prefix) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(
           dir.empty() ? std::filesystem::path(".") : dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix)) continue;
    long pid = 0;
    const char* digits = name.c_str() + prefix.size();
    auto [end, err] = std::from_chars(digits, name.c_str() + name.size(), pid);
    if (err != std::errc() || *end != '-' || pid <= 0) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlink(entry.path().c_str());
  }
}

}  // namespace

void copyTemplate(const std::string& templatePath, const std::string& dbPath) {
  namespace fs = std::filesystem;
  std::string bytes;
  {
    int fd = ::open(templatePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      int e = errno;
      if (e == ENOENT || e == ENOTDIR) {
        throw DbError(Kind::Copy, "找不到模板数据库" + inQuotes(templatePath) +
                                      "，无法创建尺寸数据库" +
                                      inQuotes(dbPath) + "。");
      }
      throw DbError(Kind::Copy, "无法读取模板数据库" + inQuotes(templatePath) +
                                    "：" + errnoReason(e) + "。");
    }
    // The template is a few pages; anything this big is not it.
    bool ok = readAll(fd, bytes, 64 << 20);
    int e = errno;
    ::close(fd);
    if (!ok) {
      throw DbError(Kind::Copy, "无法读取模板数据库" + inQuotes(templatePath) +
                                    "：" + errnoReason(e) + "。");
    }
  }
  if (classify(reinterpret_cast<const unsigned char*>(bytes.data()),
               bytes.size()) != Header::Ours) {
    throw DbError(Kind::Copy,
                  "模板数据库" + inQuotes(templatePath) +
                      "不是有效的 DimMark 数据库，无法创建尺寸数据库" +
                      inQuotes(dbPath) + "。");
  }

  struct stat sb {};
  if (::lstat(dbPath.c_str(), &sb) == 0) {
    throw DbError(Kind::Copy,
                  "尺寸数据库" + inQuotes(dbPath) + "已经存在，未被覆盖。");
  }

  // Written under a hidden name and moved into place whole, so that the
  // database path holds either nothing or the complete copy.
  fs::path target(dbPath);
  fs::path dir = target.parent_path();
  std::string dirShown = dir.empty() ? std::string(".") : dir.string();
  auto failure = [&](int e) {
    return DbError(Kind::Copy, "无法在文件夹" + inQuotes(dirShown) +
                                   "中创建尺寸数据库" + inQuotes(dbPath) +
                                   "：" + errnoReason(e) + "。");
  };
  removeStrayCopies(dir, "." + target.filename().string() + ".part-");
  static unsigned counter = 0;
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = (dir / ("." + target.filename().string() + ".part-" +
                  std::to_string(::getpid()) + "-" + std::to_string(++counter)))
              .string();
    fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw failure(errno);
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  int e = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    e = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    throw failure(e);
  }
  int rc = ::renameat2(AT_FDCWD, tmp.c_str(), AT_FDCWD, dbPath.c_str(),
                       RENAME_NOREPLACE);
  if (rc != 0 && (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP)) {
    // Some file systems cannot refuse to replace while renaming; a hard
    // link can, and where even links are missing the check comes first.
    if (::link(tmp.c_str(), dbPath.c_str()) == 0) {
      ::unlink(tmp.c_str());
      rc = 0;
    } else if (errno != EEXIST) {
      if (::lstat(dbPath.c_str(), &sb) == 0) {
        errno = EEXIST;
      } else {
        rc = ::rename(tmp.c_str(), dbPath.c_str());
      }
    }
  }
  if (rc != 0) {
    e = errno;
    ::unlink(tmp.c_str());
    if (e == EEXIST) {
      throw DbError(Kind::Copy,
                    "尺寸数据库" + inQuotes(dbPath) + "已经存在，未被覆盖。");
    }
    throw failure(e);
  }
  int dfd = ::open(dirShown.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);  // the new name survives a power cut too
    ::close(dfd);
  }
}

}  // namespace dimtable
