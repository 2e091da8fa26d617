// Broken drawings: refused with the line and the reason, or repaired and
// reported; never a crash, whatever part of a file is missing.
#include <random>

#include "test_support.h"

namespace {

using namespace enginetest;
using cadhost::HostError;

std::string openError(const std::string& path) {
  try {
    open(path);
  } catch (const HostError& e) {
    return e.what();
  }
  return "(opened)";
}

TEST(Broken, FilesAreRefusedWithLineAndReason) {
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"truncated.dxf",
       "truncated.dxf: line 39: the file ends inside the ENTITIES section "
       "(ENDSEC missing; the file is truncated)"},
      {"garbled_code.dxf",
       "garbled_code.dxf: line 29: '1O' is not a DXF group code"},
      {"bad_number.dxf",
       "bad_number.dxf: line 29: group code 10 needs a number, found 'abc'"},
      {"missing_endsec.dxf",
       "missing_endsec.dxf: line 59: the ENTITIES section (line 15) has no "
       "ENDSEC"},
      {"no_entities.dxf",
       "no_entities.dxf: line 15: the drawing has no ENTITIES section"},
      {"not_dxf.dxf",
       "not_dxf.dxf: line 1: this is not a DXF drawing (it begins with "
       "'Hello, this is not a drawing.')"},
      {"block_without_endblk.dxf",
       "block_without_endblk.dxf: line 5: the block B1 has no ENDBLK"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(openError(fixture(std::string("broken/") + c.file)), c.message);
  EXPECT_NE(openError("/nonexistent/part.dxf")
                .find("cannot open /nonexistent/part.dxf"),
            std::string::npos);
}

TEST(Broken, AMissingEofIsRepairedAndWrittenOnSave) {
  TempDir dir;
  Opened o = open(fixture("broken/missing_eof.dxf"));
  ASSERT_EQ(o.engine->repairs().size(), 1u);
  EXPECT_NE(o.engine->repairs()[0].find("no EOF marker"), std::string::npos);
  EXPECT_EQ(o.ms().Count(), 2);
  o.engine->saveAs(dir.file("fixed.dxf"));
  EXPECT_EQ(readBytes(dir.file("fixed.dxf")),
            readBytes(fixture("broken/valid_r2000.dxf")));
}

TEST(Broken, MissingHandlesAndHandseedAreRepaired) {
  TempDir dir;
  Opened o = open(fixture("broken/missing_handles.dxf"));
  const auto& repairs = o.engine->repairs();
  ASSERT_EQ(repairs.size(), 2u);
  EXPECT_EQ(repairs[0],
            "line 15: 2 records had no handle; new handles were given");
  EXPECT_EQ(repairs[1], "the header has no $HANDSEED; it is set to 3");
  o.ms().AddCircle({0, 0, 0}, 1);
  o.engine->saveAs(dir.file("fixed.dxf"));
  Opened again = open(dir.file("fixed.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());
  EXPECT_EQ(again.ms().Count(), 3);
  EXPECT_EQ(again.engine->drawing().handseed(), 4u);
}

TEST(Broken, AReusedHandleIsRepairedNotRefused) {
  // The circle at line 43 took the line's handle 21.
  TempDir dir;
  Opened o = open(fixture("broken/duplicate_handles.dxf"));
  ASSERT_EQ(o.engine->repairs().size(), 1u);
  EXPECT_EQ(o.engine->repairs()[0],
            "line 43: 1 record reused a handle; it got a new handle");
  ASSERT_EQ(o.ms().Count(), 2);
  EXPECT_EQ(o.ms().Item(0)->ObjectName(), "AcDbLine");
  EXPECT_EQ(o.ms().Item(1)->ObjectName(), "AcDbCircle");
  o.engine->saveAs(dir.file("fixed.dxf"));
  std::string saved = readBytes(dir.file("fixed.dxf"));
  // The line keeps 21, the circle has the next free handle.
  EXPECT_NE(saved.find("LINE\n  5\n21\n"), std::string::npos);
  EXPECT_NE(saved.find("CIRCLE\n  5\n30\n"), std::string::npos);
  Opened again = open(dir.file("fixed.dxf"));
  EXPECT_TRUE(again.engine->repairs().empty());
  EXPECT_EQ(again.ms().Count(), 2);
}

TEST(Broken, AStaleHandseedIsRaised) {
  TempDir dir;
  std::string text = readBytes(fixture("broken/valid_r2000.dxf"));
  const std::string seed = "$HANDSEED\n  5\n30";
  text.replace(text.find(seed), seed.size(), "$HANDSEED\n  5\n21");
  Opened o = openText(dir, "stale.dxf", text);
  ASSERT_EQ(o.engine->repairs().size(), 1u);
  EXPECT_EQ(
      o.engine->repairs()[0],
      "$HANDSEED 21 was not above the largest handle; it is raised to 22");
}

// Every cut of a real drawing either loads or is refused with a message.
TEST(Broken, CutsAndGarbageNeverCrash) {
  TempDir dir;
  for (const char* name : {"dims_r2018.dxf", "dims_r2018_bin.dxf",
                           "dims_r12_gbk_bin.dxf", "dims_r2000_gbk_crlf.dxf"}) {
    std::string bytes = readBytes(fixture(name));
    std::mt19937 random(7);
    for (int k = 0; k < 40; ++k) {
      std::string damaged = bytes;
      if (k % 2 == 0) {
        damaged.resize(random() % bytes.size());
      } else {
        for (int n = 0; n < 3; ++n)
          damaged[random() % damaged.size()] = static_cast<char>(random());
      }
      writeBytes(dir.file("d.dxf"), damaged);
      try {
        Opened o = open(dir.file("d.dxf"));
        // What loads must also answer: walk it as the extraction does.
        auto& ms = o.ms();
        for (int i = 0; i < ms.Count(); ++i) {
          auto e = ms.Item(i);
          try {
            e->ObjectName();
            e->Measurement();
            e->TextPosition();
            e->ToleranceDisplay();
            e->TextHeight();
          } catch (const HostError&) {
          }
        }
        o.doc->GetVariable("EXTMAX");
      } catch (const HostError& e) {
        EXPECT_GT(std::string(e.what()).size(), 10u);
      }
    }
  }
}

}  // namespace
