// The program on the scripted CAD host and the real dimension table, with
// a drawing whose dimension texts stand where a test puts them.
#pragma once

#include "dimtable/dimtable.h"
#include "intake_fixture.h"

namespace marking_test {

using namespace intake_test;
using cadhost::Point;

class Numbering : public Intake {
 protected:
  // A drawing whose dimension texts stand at the given points.
  void drawing(const std::vector<std::pair<double, double>>& points,
               double textHeight = 2.5) {
    add("AcDbLine");
    add("AcDbLine");
    int n = 0;
    for (auto [x, y] : points) {
      addDim("AcDbRotatedDimension", 10 + n, x, y, "", 0, 0, 0, textHeight);
      ++n;
    }
    open();
    ASSERT_TRUE(f().newDatabase);
  }

  struct Row {
    int number1, dimnum, marknum;
    std::string value;
  };
  std::vector<Row> rows() {
    dimtable::Connection c;
    c.Open(f().dbPath);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    std::vector<Row> out;
    if (rs.Eof()) return out;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
      out.push_back({rs.Get("number1").asInt(), rs.Get("DIMNUM").asInt(),
                     rs.Get("marknum").asInt(), rs.Get("DIMVALUE").asText()});
    return out;
  }

  // The circles and texts added to the drawing, in the order drawn.
  std::vector<std::shared_ptr<FakeEntity>> added(const char* kind) {
    std::vector<std::shared_ptr<FakeEntity>> out;
    for (auto& e : doc->modelSpace.items)
      if (e->ObjectName() == kind && (e->textHeight || e->radius) &&
          !e->measurement)
        out.push_back(e);
    return out;
  }
  // Those still in the drawing.
  std::vector<std::shared_ptr<FakeEntity>> live(const char* kind) {
    std::vector<std::shared_ptr<FakeEntity>> out;
    for (auto& e : doc->modelSpace.items)
      if (!e->deleted && e->ObjectName() == kind &&
          (e->textHeight || e->radius) && !e->measurement)
        out.push_back(e);
    return out;
  }
  std::vector<std::string> texts() {
    std::vector<std::string> out;
    for (auto& e : live("AcDbText")) out.push_back(*e->textString);
    return out;
  }
  std::vector<int> marknums() {
    std::vector<int> out;
    for (const auto& r : rows()) out.push_back(r.marknum);
    return out;
  }
  // The text X of positions first to last.
  std::vector<float> xs(int first, int last) {
    std::vector<float> out;
    for (int p = first; p <= last; ++p) out.push_back(rec(p).x);
    return out;
  }
};

}  // namespace marking_test
