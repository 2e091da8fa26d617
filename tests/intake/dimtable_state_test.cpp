// Giving a numbering up from a position on, and the zone grid kept with
// the drawing.
#include "dimtable_fixture.h"

using namespace dimtable_test;
using intake::Connection;
using intake::DbError;
using intake::Measurement;
using intake::Recordset;

namespace {

Measurement measured(float v) {
  Measurement m;
  m.count = 1;
  m.samples[0] = v;
  m.instrument = "DC";
  return m;
}

std::vector<int> marknums(Recordset& rs) {
  std::vector<int> out;
  if (rs.RecordCount() == 0) return out;
  for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
    out.push_back(rs.Get("marknum").asInt());
  return out;
}

}  // namespace

TEST_F(DimTableTest, ANumberingIsGivenUpFromAPositionOn) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  writePass(rs, 5, 1);
  for (int p : {2, 4, 5}) c.SaveMeasurement(p, measured(static_cast<float>(p)));

  c.DeleteRowsFrom(4);
  // The recordset held open sees the rows go.
  EXPECT_EQ(marknums(rs), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(c.LoadMeasurements().size(), 1u);
  EXPECT_TRUE(c.LoadMeasurements().contains(2));
  // Rows that follow are numbered on from the rows kept.
  writePass(rs, 1, 4);
  rs.MoveLast();
  EXPECT_EQ(rs.Get("number1").asInt(), 4);

  // Beyond the rows: nothing to give up.
  c.DeleteRowsFrom(9);
  EXPECT_EQ(countRows(db_), 4);

  // All of it: the table is as the template was, numbered from 1 again.
  c.DeleteRowsFrom(1);
  EXPECT_EQ(countRows(db_), 0);
  EXPECT_TRUE(c.LoadMeasurements().empty());
  Recordset fresh;
  fresh.Open(c, "dim1");
  writePass(fresh, 2, 1);
  fresh.MoveFirst();
  EXPECT_EQ(fresh.Get("number1").asInt(), 1);
}

TEST_F(DimTableTest, GivingUpIsRefusedInsideAPassAndChangesNothing) {
  Connection c;
  c.Open(db_);
  Recordset rs;
  rs.Open(c, "dim1");
  writePass(rs, 3, 1);
  c.SaveMeasurement(3, measured(1));
  c.BeginTrans();
  expectDbError([&] { c.DeleteRowsFrom(1); }, DbError::Kind::Transaction, db_);
  c.RollbackTrans();
  expectDbError([&] { c.DeleteRowsFrom(0); }, DbError::Kind::BadValue, db_);
  EXPECT_EQ(countRows(db_), 3);
  EXPECT_EQ(c.LoadMeasurements().size(), 1u);
}

TEST_F(DimTableTest, TheZoneGridIsKeptInATableOfItsOwn) {
  Connection c;
  c.Open(db_);
  // A database from before the grid was kept has none.
  EXPECT_FALSE(c.LoadZoneGrid());
  c.SaveZoneGrid({"A-H", "1-6"});
  EXPECT_EQ(c.LoadZoneGrid(), (Connection::ZoneGridText{"A-H", "1-6"}));
  c.SaveZoneGrid({"甲-丁", "A-D"});
  c.Close();
  Connection again;
  again.Open(db_);
  EXPECT_EQ(again.LoadZoneGrid(), (Connection::ZoneGridText{"甲-丁", "A-D"}));
  EXPECT_EQ(countRows(db_), 0);  // dim1 untouched
  // Giving up a numbering keeps the grid.
  again.DeleteRowsFrom(1);
  EXPECT_TRUE(again.LoadZoneGrid());
}
