#include <sqlite3.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <random>

#include "dimtable_fixture.h"
#include "fakes/unprivileged.h"

namespace dimtable_test {
namespace {

using dimtable::Connection;
using dimtable::DbError;
using dimtable::Recordset;
using dimtable::Value;
using Kind = DbError::Kind;

TEST_F(DimTableTest, TemplateIsAnEmptyTableThatNumbersFromOne) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  EXPECT_TRUE(rs.Eof());
  EXPECT_TRUE(rs.Bof());
  EXPECT_EQ(rs.RecordCount(), 0);
  // The loader takes the row count from the last row; with none it must
  // be able to tell instead of reading garbage.
  expectDbError([&] { rs.MoveLast(); }, Kind::NoRows, db_, "没有记录");
  expectDbError([&] { rs.MoveFirst(); }, Kind::NoRows, db_);
  expectDbError([&] { rs.Get("number1"); }, Kind::NoRows, db_);

  writePass(rs, 1, 1);
  EXPECT_EQ(rs.Get("number1").asInt(), 1);
  EXPECT_EQ(readBytes(kTemplate).substr(0, 16),
            std::string("SQLite format 3\0", 16));
}

TEST_F(DimTableTest, RowsRoundTripExactly) {
  struct Row {
    int num;
    std::string value;
    float up, low;
    std::string type;
    bool check;
    float x, y;
    Value mark;
  };
  const std::vector<Row> rows = {
      {0, "25.40", 0.1f, 0.05f, "正交尺寸", false, 10.1f, 20.2f, Value(1)},
      {32767, "Φ12 H7", 1e-7f, FLT_MAX, "直径尺寸", true, -0.3f, 1e30f,
       Value(32767)},
      {std::numeric_limits<int>::max(), "",
       std::numeric_limits<float>::denorm_min(), 0, "绝对坐标尺寸", false,
       123456.78f, -7.0f, Value(12.0)},
      {-1, "R5～6 中文文本", 0.333333f, 2.5e-3f, "", true, 0, 0, Value(2.5)},
  };
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    for (const Row& r : rows) {
      rs.AddNew();
      rs.Set("DIMNUM", r.num);
      rs.Set("DIMVALUE", r.value);
      rs.Set("DIMUP", r.up);
      rs.Set("DIMLOW", r.low);
      rs.Set("DIMTYPE", r.type);
      rs.Set("DIMCHECK", r.check);
      rs.Set("DIMX", r.x);
      rs.Set("DIMY", r.y);
      rs.Set("marknum", r.mark);
    }
    rs.Update();
  }
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  ASSERT_EQ(rs.RecordCount(), static_cast<long>(rows.size()));
  rs.MoveFirst();
  for (std::size_t i = 0; i < rows.size(); ++i, rs.MoveNext()) {
    const Row& r = rows[i];
    SCOPED_TRACE(i);
    EXPECT_EQ(rs.Get("number1").asInt(), static_cast<int>(i + 1));
    EXPECT_EQ(rs.Get("DIMNUM").asInt(), r.num);
    EXPECT_EQ(rs.Get("DIMVALUE").asText(), r.value);
    EXPECT_EQ(rs.Get("DIMUP"), Value(r.up));
    EXPECT_EQ(rs.Get("DIMLOW"), Value(r.low));
    EXPECT_EQ(rs.Get("DIMTYPE").asText(), r.type);
    EXPECT_EQ(rs.Get("DIMCHECK"), Value(r.check));
    EXPECT_EQ(rs.Get("DIMX"), Value(r.x));
    EXPECT_EQ(rs.Get("DIMY"), Value(r.y));
    EXPECT_EQ(rs.Get("marknum").asDouble(), r.mark.asDouble());
  }
  EXPECT_TRUE(rs.Eof());
  rs.MoveFirst();
  // The browse list shows the mark number as decimal text.
  EXPECT_EQ(rs.Get("marknum").asText(), "1");
  EXPECT_EQ(rs.Get("DIMUP").asText(), "0.1");
}

TEST_F(DimTableTest, FieldsAreFoundInAnyCaseAndUnknownOnesRaise) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "DIM1");
  rs.AddNew();
  rs.Set("dimvalue", "8");
  rs.Set("MARKNUM", 4);
  EXPECT_EQ(rs.Get("DimValue").asText(), "8");
  EXPECT_EQ(rs.Get("marknum").asInt(), 4);
  expectDbError([&] { rs.Set("DIMZ", 1); }, Kind::UnknownField, db_);
  expectDbError([&] { rs.Get("value"); }, Kind::UnknownField, db_);
  expectDbError(
      [&] {
        Recordset r2;
        r2.Open(c, "dim2");
      },
      Kind::UnknownTable, db_);
}

TEST_F(DimTableTest, SetConvertsToTheColumnOrRaises) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  rs.AddNew();
  rs.Set("DIMNUM", 2.5);  // halves to even, as the platform rounds
  EXPECT_EQ(rs.Get("DIMNUM").asInt(), 2);
  rs.Set("DIMNUM", "3.5");
  EXPECT_EQ(rs.Get("DIMNUM").asInt(), 4);
  rs.Set("DIMUP", 0.1);  // a double is kept as the single it becomes
  EXPECT_EQ(rs.Get("DIMUP"), Value(0.1f));
  rs.Set("DIMVALUE", 12.5f);
  EXPECT_EQ(rs.Get("DIMVALUE"), Value("12.5"));
  rs.Set("DIMCHECK", -1);
  EXPECT_EQ(rs.Get("DIMCHECK"), Value(true));

  for (const Value& bad :
       {Value("abc"), Value(1e39), Value(std::nan("")), Value("")}) {
    expectDbError([&] { rs.Set("DIMLOW", bad); }, Kind::BadValue, db_);
  }
  expectDbError([&] { rs.Set("DIMNUM", 3e9); }, Kind::BadValue, db_);
  expectDbError([&] { rs.Set("number1", 9); }, Kind::BadValue, db_);
  EXPECT_EQ(rs.Get("DIMLOW"), Value(0.0f)) << "a refused value changes nothing";
  rs.Update();
  // Stored rows are never rewritten.
  expectDbError([&] { rs.Set("DIMVALUE", "9"); }, Kind::NoCurrentRow, db_);
  EXPECT_EQ(countRows(db_), 1);
}

TEST(DimValue, ConvertsAsThePlatform) {
  EXPECT_EQ(Value(6.0f).asText(), "6");
  EXPECT_EQ(Value(12.50f).asText(), "12.5");
  EXPECT_EQ(Value(true).asText(), "True");
  EXPECT_EQ(Value().asText(), "");
  EXPECT_EQ(Value(-2.5).asInt(), -2);
  EXPECT_EQ(Value(3.5f).asInt(), 4);
  EXPECT_EQ(Value(true).asInt(), -1);
  EXPECT_EQ(Value(" 25.40 ").asDouble(), 25.4);
  EXPECT_TRUE(Value("True").asBool());
  EXPECT_FALSE(Value("0").asBool());
  EXPECT_THROW(Value("R5").asDouble(), DbError);
  EXPECT_THROW(Value("nan").asDouble(), DbError);
  EXPECT_THROW(Value(std::int64_t{1} << 40).asInt(), DbError);
}

TEST_F(DimTableTest, WalksRowsInNumberOrder) {
  Connection c;
  c.Open(db_);
  {
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 5, 7);
  }
  Recordset rs;
  rs.Open(c, "dim1");
  EXPECT_FALSE(rs.Bof());
  EXPECT_EQ(rs.Get("number1").asInt(), 1) << "opened on the first row";
  rs.MoveLast();
  EXPECT_EQ(rs.Get("number1").asInt(), 5);
  rs.MoveFirst();
  for (int i = 0; i < 5; ++i) {
    ASSERT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Get("marknum").asText(), std::to_string(7 + i));
    rs.MoveNext();
  }
  EXPECT_TRUE(rs.Eof());
  EXPECT_FALSE(rs.Bof());
  expectDbError([&] { rs.Get("DIMNUM"); }, Kind::NoCurrentRow, db_);
  expectDbError([&] { rs.MoveNext(); }, Kind::NoCurrentRow, db_);

  rs.MoveFirst();
  rs.Move(3);  // as the CPK report reaches row p
  EXPECT_EQ(rs.Get("number1").asInt(), 4);
  rs.Move(-10);
  EXPECT_TRUE(rs.Bof());
  expectDbError([&] { rs.Get("DIMNUM"); }, Kind::NoCurrentRow, db_);
  rs.Move(2);
  EXPECT_EQ(rs.Get("number1").asInt(), 2);
  rs.Move(10);
  EXPECT_TRUE(rs.Eof());
}

TEST_F(DimTableTest, PassIsSavedWholeAtUpdateAndNotBefore) {
  Connection writer;
  writer.Open(db_);
  Recordset rs;
  rs.Open(writer, "dim1");
  rs.AddNew();
  rs.Set("marknum", 1);
  rs.AddNew();  // saves row 1, inside the pass
  rs.Set("marknum", 2);
  rs.AddNew();
  rs.Set("marknum", 3);
  EXPECT_EQ(rs.RecordCount(), 2);
  EXPECT_EQ(countRows(db_), 0) << "another reader sees none of the pass";

  // A reader that has its rows must not keep the writer from committing.
  Connection reader;
  reader.Open(db_);
  Recordset seen;
  seen.Open(reader, "dim1");
  rs.Update();
  EXPECT_EQ(countRows(db_), 3);
  EXPECT_EQ(rs.Get("number1").asInt(), 3);

  // Free marking: one Update per row, appended after the earlier rows.
  Recordset again;
  again.Open(writer, "dim1");
  again.AddNew();
  again.Set("marknum", 4);
  again.Update();
  EXPECT_EQ(again.Get("number1").asInt(), 4);
  EXPECT_EQ(countRows(db_), 4);
}

TEST_F(DimTableTest, ExplicitTransactionCommitsOnlyAtCommitTrans) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  expectDbError([&] { c.CommitTrans(); }, Kind::Transaction, db_);
  c.BeginTrans();
  expectDbError([&] { c.BeginTrans(); }, Kind::Transaction, db_);
  for (int i = 0; i < 2; ++i) {
    rs.AddNew();
    rs.Update();
  }
  EXPECT_EQ(countRows(db_), 0);
  c.CommitTrans();
  EXPECT_EQ(countRows(db_), 2);

  c.BeginTrans();
  writePass(rs, 3, 1);
  EXPECT_EQ(rs.RecordCount(), 5);
  c.RollbackTrans();
  EXPECT_EQ(rs.RecordCount(), 2) << "rolled back rows leave the recordset";
  EXPECT_TRUE(rs.Eof());
  // Numbers taken back are given again: number1 stays 1..n without gaps.
  rs.AddNew();
  rs.Update();
  EXPECT_EQ(rs.Get("number1").asInt(), 3);
  EXPECT_EQ(countRows(db_), 3);
}

TEST_F(DimTableTest, ClosingInTheMiddleOfAPassKeepsOnlyCommittedRows) {
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 2, 1);
    rs.AddNew();
    rs.AddNew();
    rs.AddNew();
    c.Close();
    expectDbError([&] { rs.AddNew(); }, Kind::NotOpen, db_);
  }
  {
    Connection c;
    c.Open(db_);
    c.BeginTrans();
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 2, 3);
  }  // destroyed without CommitTrans
  EXPECT_EQ(countRows(db_), 2);

  // A recordset dropped in the middle of its pass takes its rows with it:
  // the next recordset's Update must not commit them.
  Connection c;
  c.Open(db_);
  {
    Recordset abandoned;
    abandoned.Open(c, "dim1");
    abandoned.AddNew();
    abandoned.Set("marknum", 99);
    abandoned.AddNew();
    Recordset moved = std::move(abandoned);  // the pass goes with it
    moved.AddNew();
  }
  Recordset rs;
  rs.Open(c, "dim1");
  writePass(rs, 1, 3);
  EXPECT_EQ(rs.Get("number1").asInt(), 3);
  EXPECT_EQ(countRows(db_), 3);
}

// Files at the database path that are not ours: refused, byte for byte
// unchanged, no journal left beside them.
TEST_F(DimTableTest, ForeignOrDamagedFilesAreRefusedAndLeftAsTheyWere) {
  // A database of ours with enough rows to span several pages.
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 400, 1);
  }
  const std::string ours = readBytes(db_);
  ASSERT_GT(ours.size(), 8u * 4096);

  std::string random(5000, '\0');
  std::mt19937 gen(7);
  for (char& ch : random) ch = static_cast<char>(gen());
  std::string access(4096, '\0');
  access.replace(0, 19, std::string("\0\1\0\0Standard Jet DB", 19));
  std::string damaged = ours;
  damaged.replace(4096, 200, std::string(200, '\xA5'));
  std::string newer = ours;
  newer[63] = 2;

  const std::string other = (dir_ / "other.db").string();
  {
    sqlite3* db = nullptr;
    sqlite3_open(other.c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE dim1(number1 INTEGER PRIMARY KEY, DIMNUM)",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
  }
  const struct {
    const char* name;
    std::string bytes;
    Kind kind;
    const char* phrase = "";
  } cases[] = {
      {"empty", "", Kind::NotOurs, "空文件"},
      {"random", random, Kind::NotOurs},
      {"access", access, Kind::NotOurs, "Access"},
      {"other sqlite", readBytes(other), Kind::NotOurs, "其他程序"},
      {"damaged page", damaged, Kind::Corrupt, "损坏"},
      {"truncated", ours.substr(0, 3 * 4096), Kind::Corrupt, "损坏"},
      {"newer version", newer, Kind::Version},
  };
  const std::string path = (dir_ / "b.mdb").string();
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    writeBytes(path, k.bytes);
    expectDbError(
        [&] {
          Connection c;
          c.Open(path);
        },
        k.kind, path);
    EXPECT_EQ(readBytes(path), k.bytes);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  }
  const std::string missing = (dir_ / "none.mdb").string();
  expectDbError(
      [&] {
        Connection c;
        c.Open(missing);
      },
      Kind::NotFound, missing);
  EXPECT_FALSE(std::filesystem::exists(missing));
  expectDbError(
      [&] {
        Connection c;
        c.Open(dir_.string());
      },
      Kind::NotOurs, dir_.string());
}

TEST_F(DimTableTest, TemplateCopyIsWholeOrNothing) {
  if (!fakes::asUnprivilegedUser()) return;
  EXPECT_EQ(readBytes(db_), readBytes(kTemplate));
  auto entries = [&] {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir_)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  };
  const auto before = entries();

  // An existing database is never replaced.
  writeBytes(db_, "numbered before");
  expectDbError([&] { dimtable::copyTemplate(kTemplate, db_); }, Kind::Copy,
                db_);
  EXPECT_EQ(readBytes(db_), "numbered before");

  const std::string target = (dir_ / "new.mdb").string();
  const std::string missing = (dir_ / "no-template.mdb").string();
  expectDbError([&] { dimtable::copyTemplate(missing, target); }, Kind::Copy,
                missing);
  const std::string foreign = (dir_ / "foreign.mdb").string();
  writeBytes(foreign, "not a template");
  expectDbError([&] { dimtable::copyTemplate(foreign, target); }, Kind::Copy,
                foreign);
  std::filesystem::remove(foreign);
  const std::string noFolder = (dir_ / "gone" / "x.mdb").string();
  expectDbError([&] { dimtable::copyTemplate(kTemplate, noFolder); },
                Kind::Copy, noFolder);
  EXPECT_EQ(entries(), before) << "no half-made file, no temporary left";

  std::filesystem::permissions(dir_, std::filesystem::perms::owner_read |
                                         std::filesystem::perms::owner_exec);
  expectDbError([&] { dimtable::copyTemplate(kTemplate, target); }, Kind::Copy,
                target);
  std::filesystem::permissions(dir_, std::filesystem::perms::owner_all);
  EXPECT_EQ(entries(), before);
}

// A numbered drawing on a read-only share still loads; a write is refused
// with the reason and the file stays as it was.
TEST_F(DimTableTest, ReadOnlyDatabaseLoadsButRefusesWrites) {
  if (!fakes::asUnprivilegedUser()) return;
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 2, 1);
  }
  const std::string before = readBytes(db_);
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read);
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  rs.MoveLast();
  EXPECT_EQ(rs.Get("number1").asInt(), 2);
  rs.AddNew();
  expectDbError([&] { rs.Update(); }, Kind::ReadOnly, db_, "只读");
  c.Close();
  EXPECT_EQ(readBytes(db_), before);
}

}  // namespace
}  // namespace dimtable_test
