// Numbers and sizes no drawing means: the drawings that broke the reader,
// angles of any size, geometry that is not finite, group codes and files of
// odd lengths. Each loads (what it cannot use set aside and reported) or is
// refused with a message; nothing loops for ever or reads freed memory.
#include <cmath>
#include <limits>
#include <numbers>

#include "cadhost/engine/geometry.h"
#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::HostError;
using cadhost::Point;
using cadhost::engine::Bytes;
using cadhost::engine::Drawing;
constexpr double kPi = std::numbers::pi;

std::string fuzzFixture(const std::string& name) {
  return std::string(DIMMARK_FUZZ_FIXTURES) + "/" + name;
}

Point variable(Opened& o, const char* name) {
  return std::get<Point>(o.doc->GetVariable(name));
}

std::string refusal(const std::string& path) {
  try {
    open(path);
  } catch (const HostError& e) {
    return e.what();
  }
  return "(opened)";
}

TEST(Limits, DrawingsThatBrokeTheReaderLoadOrAreRefused) {
  EXPECT_EQ(refusal(fuzzFixture("asan_stack_use_after_scope_min.dxf")),
            "asan_stack_use_after_scope_min.dxf: line 1: this is not a DXF "
            "drawing (it must begin with a SECTION)");
  EXPECT_EQ(refusal(fuzzFixture("ubsan_groupcode_overflow.dxf")),
            "ubsan_groupcode_overflow.dxf: line 5: '99999999999' is not a DXF "
            "group code");

  struct Case {
    const char* file;
    const char* repair;  // "" for none
    Point min, max;      // the extents
  };
  const Case cases[] = {
      {"hang_arc_end_angle_min.dxf",
       "line 19: the ARC has group code 51 '-1e308', no usable number; it is "
       "left out of the extents and the picture",
       {0, 0, 0},
       {0, 0, 0}},
      {"hang_arc_end_angle_2ent.dxf",
       "the ARC has group code 51",
       {0, 0, 0},
       {10, 5, 0}},
      {"hang_ellipse_end_param_min.dxf",
       "the ELLIPSE has group code 42",
       {0, 0, 0},
       {10, 5, 0}},
      // Attachment -2147483648 is read as the first, top left.
      {"ubsan_mtext_attach_overflow_min.dxf", "", {0, -2.5, 0}, {5.25, 0, 0}},
  };
  for (const Case& c : cases) {
    Opened o = open(fuzzFixture(c.file));
    const auto& repairs = o.engine->repairs();
    if (*c.repair) {
      ASSERT_EQ(repairs.size(), 1u) << c.file;
      EXPECT_NE(repairs[0].find(c.repair), std::string::npos) << repairs[0];
    } else {
      EXPECT_TRUE(repairs.empty()) << c.file;
    }
    EXPECT_EQ(variable(o, "EXTMIN"), c.min) << c.file;
    EXPECT_EQ(variable(o, "EXTMAX"), c.max) << c.file;
    // Every entity still answers what the extraction asks.
    for (int i = 0; i < o.ms().Count(); ++i) {
      auto e = o.ms().Item(i);
      EXPECT_FALSE(e->ObjectName().empty());
      e->Move({0, 0, 0}, {2, 0, 0});
      o.doc->SendCommand("Undo\r\r");
    }
  }
}

TEST(Limits, AnglesAreReducedOnceWhateverTheirSize) {
  using cadhost::engine::reduceAngle;
  using cadhost::engine::reduceDegrees;
  using cadhost::engine::sweepBetween;
  EXPECT_EQ(reduceDegrees(-30), 330);
  EXPECT_EQ(reduceDegrees(720), 0);
  EXPECT_EQ(reduceDegrees(1e20), std::fmod(1e20, 360.0));
  EXPECT_DOUBLE_EQ(reduceAngle(-kPi / 2), 1.5 * kPi);
  EXPECT_LT(reduceAngle(-1e-300), 2 * kPi);  // never a whole turn
  EXPECT_DOUBLE_EQ(sweepBetween(kPi, kPi / 2), 1.5 * kPi);
  EXPECT_DOUBLE_EQ(sweepBetween(1, 1), 2 * kPi);  // a closed curve
  EXPECT_DOUBLE_EQ(sweepBetween(0, 4 * kPi), 2 * kPi);
  EXPECT_TRUE(
      std::isnan(sweepBetween(0, std::numeric_limits<double>::infinity())));
  EXPECT_TRUE(std::isnan(reduceDegrees(std::nan(""))));

  // An arc whose angles are turns away from 30° and 120° has their bounds.
  TempDir dir;
  auto arc = [&](const std::string& from, const std::string& to) {
    std::string text =
        "0\nSECTION\n2\nENTITIES\n0\nARC\n8\n0\n10\n0\n20\n0\n30\n0\n40\n"
        "10\n50\n" +
        from + "\n51\n" + to + "\n0\nENDSEC\n0\nEOF\n";
    Opened o = openText(dir, "arc.dxf", text);
    EXPECT_TRUE(o.engine->repairs().empty()) << from;
    return std::make_pair(variable(o, "EXTMIN"), variable(o, "EXTMAX"));
  };
  auto plain = arc("30", "120");
  auto far = arc(std::to_string(30.0 + 360.0 * 1e11),
                 std::to_string(120.0 - 360.0 * 3e11));
  for (int k = 0; k < 2; ++k) {
    EXPECT_NEAR(far.first[k], plain.first[k], 1e-9);
    EXPECT_NEAR(far.second[k], plain.second[k], 1e-9);
  }
  EXPECT_NEAR(plain.first[0], 10 * std::cos(120 * kPi / 180), 1e-9);
  EXPECT_NEAR(plain.second[1], 10, 1e-9);  // through 90°
}

// Geometry that is not finite or beyond any drawing's size sets its entity
// aside, however deep it lies; other numbers (XDATA) are no geometry. The
// file is saved as it was read.
TEST(Limits, EntitiesWithUnusableNumbersAreSetAsideAndKept) {
  TempDir dir;
  const std::string text =
      "0\nSECTION\n2\nBLOCKS\n"
      "0\nBLOCK\n8\n0\n2\nB\n70\n0\n10\n0\n20\n0\n30\n0\n"
      "0\nCIRCLE\n8\n0\n10\n0\n20\n0\n30\n0\n40\n1e300\n"
      "0\nENDBLK\n8\n0\n"
      "0\nENDSEC\n"
      "0\nSECTION\n2\nENTITIES\n"
      "0\nLINE\n8\n0\n10\n1\n20\n2\n30\n0\n11\n3\n21\n4\n31\n0\n"
      "0\nARC\n8\n0\n10\n0\n20\n0\n30\n0\n40\n5\n50\nnan\n51\n90\n"
      "0\nLWPOLYLINE\n8\n0\n90\n2\n10\n0\n20\n0\n10\n1e16\n20\n0\n"
      "0\nPOLYLINE\n8\n0\n66\n1\n10\n0\n20\n0\n30\n0\n"
      "0\nVERTEX\n8\n0\n10\n-inf\n20\n0\n30\n0\n0\nSEQEND\n8\n0\n"
      "0\nINSERT\n8\n0\n2\nB\n10\n100\n20\n100\n30\n0\n"
      "0\nPOINT\n8\n0\n10\n2\n20\n3\n30\n0\n1001\nAPP\n1040\n1e300\n"
      "0\nENDSEC\n0\nEOF\n";
  Opened o = openText(dir, "bad.dxf", text);
  const auto& repairs = o.engine->repairs();
  ASSERT_EQ(repairs.size(), 4u);
  EXPECT_NE(repairs[0].find("the CIRCLE has group code 40 '1e300'"),
            std::string::npos)
      << repairs[0];
  EXPECT_NE(repairs[1].find("the ARC has group code 50 'nan'"),
            std::string::npos);
  EXPECT_NE(repairs[2].find("the LWPOLYLINE has group code 10 '1e16'"),
            std::string::npos);
  EXPECT_NE(repairs[3].find("the POLYLINE has group code 10 '-inf'"),
            std::string::npos);
  // The line and the point are all there is to measure; the insert of an
  // empty block adds nothing.
  EXPECT_EQ(variable(o, "EXTMIN"), (Point{1, 2, 0}));
  EXPECT_EQ(variable(o, "EXTMAX"), (Point{3, 4, 0}));
  EXPECT_EQ(o.ms().Count(), 6);
  o.engine->saveAs(dir.file("saved.dxf"));
  EXPECT_EQ(readBytes(dir.file("saved.dxf")), text);
}

// Every beginning of a small drawing, from no byte on: files of up to 15
// bytes keep their bytes inside the string, which moves.
TEST(Limits, EveryPrefixOfASmallDrawingLoadsOrIsRefused) {
  const std::string text =
      "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n1\n20\n2\n11\n3\n21\n4\n"
      "0\nENDSEC\n0\nEOF\n";
  for (std::size_t n = 0; n <= text.size(); ++n) {
    try {
      auto d = Drawing::load(Bytes(text.data(), n));
      // What loads, reads: the tags are the file's.
      for (const auto* e : d->modelSpace()) EXPECT_EQ(e->type, "LINE");
      EXPECT_GE(n, text.find("ENDSEC") + 6) << n;
    } catch (const HostError& e) {
      EXPECT_NE(std::string(e.what()), "") << n;
    }
  }
  auto d = Drawing::load(Bytes(text.data(), text.size()));
  ASSERT_EQ(d->modelSpace().size(), 1u);
  EXPECT_EQ(cadhost::engine::point(d->tags(d->modelSpace()[0]->rec), 11),
            (Point{3, 4, 0}));
}

TEST(Limits, GroupCodesBeyondTheTableAreRefused) {
  for (const char* code :
       {"1072", "99999", "99999999999", "184467440737095516160", "-1", "1e3"}) {
    std::string text = "0\nSECTION\n2\nENTITIES\n" + std::string(code) +
                       "\nX\n0\nENDSEC\n0\nEOF\n";
    try {
      Drawing::load(Bytes(text.data(), text.size()));
      ADD_FAILURE() << code << " was taken";
    } catch (const HostError& e) {
      EXPECT_EQ(std::string(e.what()),
                std::string("line 5: '") + code + "' is not a DXF group code");
    }
  }
}

}  // namespace
