// Characteristics and notes' results beside dim1: kept by position in
// tables of their own, made on the first write, so that dim1 keeps its
// columns and older databases open as they are.
#include <sqlite3.h>

#include "dimtable_fixture.h"

namespace dimtable_test {
namespace {

using dimtable::Bound;
using dimtable::Characteristic;
using dimtable::Connection;
using dimtable::Measurement;
using dimtable::Recordset;
using Kind = dimtable::DbError::Kind;

// The tables and dim1's column count, read past our own code.
struct Schema {
  std::vector<std::string> tables;
  int dim1Columns = 0;
};

Schema schemaOf(const std::string& path) {
  Schema s;
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  sqlite3_stmt* q = nullptr;
  sqlite3_prepare_v2(
      db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name",
      -1, &q, nullptr);
  while (sqlite3_step(q) == SQLITE_ROW)
    s.tables.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(q, 0)));
  sqlite3_finalize(q);
  sqlite3_prepare_v2(db, "SELECT count(*) FROM pragma_table_info('dim1')", -1,
                     &q, nullptr);
  if (sqlite3_step(q) == SQLITE_ROW) s.dim1Columns = sqlite3_column_int(q, 0);
  sqlite3_finalize(q);
  sqlite3_close(db);
  return s;
}

bool hasTable(const Schema& s, const std::string& name) {
  return std::find(s.tables.begin(), s.tables.end(), name) != s.tables.end();
}

void addRow(Recordset& rs, const std::string& type, const std::string& value,
            float up, double mark) {
  rs.AddNew();
  rs.Set("DIMNUM", 1);
  rs.Set("DIMVALUE", value);
  rs.Set("DIMUP", up);
  rs.Set("DIMLOW", 0.0f);
  rs.Set("DIMTYPE", type);
  rs.Set("DIMCHECK", false);
  rs.Set("DIMX", 1.0f);
  rs.Set("DIMY", 2.0f);
  rs.Set("marknum", mark);
}

TEST_F(DimTableTest,
       CharacteristicsGoBesideDim1AndOlderDatabasesStayAsTheyAre) {
  const Schema before = schemaOf(db_);
  ASSERT_GT(before.dim1Columns, 0);
  {
    // Dimensions only: nothing new is made, and reading makes nothing.
    Connection c;
    c.Open(db_);
    EXPECT_TRUE(c.LoadCharacteristics().empty());
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 2, 1);
  }
  EXPECT_EQ(schemaOf(db_).tables, before.tables);

  const Characteristic first{"形位公差", "位置度", 1, Bound::Upper,
                             "{\\Fgdt;j}%%v{\\Fgdt;n}0.5^J{\\Fgdt;j}%%v0.1"};
  const Characteristic second{"形位公差", "位置度", 2, Bound::Upper, first.raw};
  const Characteristic ra{"粗糙度", "", 0, Bound::Lower, "L Ra 0.8"};
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    addRow(rs, "形位公差/位置度", "⌖ Ø0.5 | A", 0.5f, 3.1);
    rs.SetCharacteristic(first);
    addRow(rs, "形位公差/位置度", "⌖ Ø0.1 | A", 0.1f, 3.2);
    rs.SetCharacteristic(second);
    addRow(rs, "正交尺寸", "12", 0.1f, 4);  // a dimension: no entry
    addRow(rs, "粗糙度", "L Ra 0.8", 0.8f, 5);
    rs.SetCharacteristic(ra);
    rs.Update();
    // Only a row being added takes one, and only a frame's rows 0 to 2.
    expectDbError([&] { rs.SetCharacteristic(ra); }, Kind::NoCurrentRow, "",
                  "AddNew");
    rs.AddNew();
    Characteristic bad = ra;
    bad.frameRow = 3;
    expectDbError([&] { rs.SetCharacteristic(bad); }, Kind::BadValue, "");
    // Left unsaved: the recordset closes without Update.
  }
  const Schema after = schemaOf(db_);
  EXPECT_EQ(after.dim1Columns, before.dim1Columns);
  EXPECT_TRUE(hasTable(after, "characteristic"));

  Connection c;
  c.Open(db_);
  auto got = c.LoadCharacteristics();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got.at(3), first);
  EXPECT_EQ(got.at(4), second);
  EXPECT_EQ(got.count(5), 0u);
  EXPECT_EQ(got.at(6), ra);

  // Giving up the numbering from the frame on takes its entries too.
  c.DeleteRowsFrom(4);
  got = c.LoadCharacteristics();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got.at(3), first);
}

TEST_F(DimTableTest, NotesResultsRoundTripWithoutNumbers) {
  {
    Connection c;
    c.Open(db_);
    Recordset rs;
    rs.Open(c, "dim1");
    writePass(rs, 3, 1);
  }
  Measurement note;
  note.count = 3;
  note.passed = {true, false, std::nullopt, std::nullopt, std::nullopt};
  note.instrument = "AG";
  Measurement dimension;
  dimension.count = 1;
  dimension.samples[0] = 2.5f;
  {
    Connection c;
    c.Open(db_);
    // A result is a measurement: without one the position stays unmeasured.
    c.SaveMeasurement(2, note);
    c.SaveMeasurement(3, dimension);
  }
  {
    Connection c;
    c.Open(db_);
    auto got = c.LoadMeasurements();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got.at(2), note);
    // No number was invented for a result.
    for (const auto& s : got.at(2).samples) EXPECT_FALSE(s);
    EXPECT_EQ(got.at(3), dimension);
    // Taking the results back leaves nothing of them.
    Measurement cleared;
    c.SaveMeasurement(2, cleared);
    got = c.LoadMeasurements();
    EXPECT_EQ(got.count(2), 0u);
    EXPECT_EQ(got.at(3), dimension);
    c.SaveMeasurement(2, note);
    c.DeleteRowsFrom(2);
    EXPECT_TRUE(c.LoadMeasurements().empty());
  }
}

}  // namespace
}  // namespace dimtable_test
