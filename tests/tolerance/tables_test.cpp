#include "tolerance/tables.h"

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"
#include "fakes/unprivileged.h"

using namespace tolerance;
using fakes::TempDir;

namespace {

std::string messageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const TableError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(SizeBounds, ReadsUpToSevenLines) {
  TempDir d;
  d.write("div.txt", "6\r\n30\r\n120\r\n300\r\n600\r\n1200\r\n");
  std::array<float, 7> b{};
  std::int32_t count = -5;
  readSizeBounds(d / "div.txt", b, count);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(b[0], 6);
  EXPECT_EQ(b[5], 1200);
  EXPECT_EQ(b[6], 0);

  // Seven lines, LF endings, a byte-order mark and blanks around are fine.
  d.write("div.txt", "\xEF\xBB\xBF 0.5\n1\n2\n3\n4\n5\n6.25 ");
  readSizeBounds(d / "div.txt", b, count);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(b[0], 0.5f);
  EXPECT_EQ(b[6], 6.25f);
}

TEST(SizeBounds, BadFilesNameTheFileAndLine) {
  TempDir d;
  std::array<float, 7> b{};
  b[0] = 42;
  std::int32_t count = 3;
  auto msg = messageOf([&] { readSizeBounds(d / "div.txt", b, count); });
  EXPECT_NE(msg.find("div.txt"), std::string::npos) << msg;

  d.write("div.txt", "6\r\n30\r\nabc\r\n300\r\n");
  msg = messageOf([&] { readSizeBounds(d / "div.txt", b, count); });
  EXPECT_NE(msg.find("第 3 行"), std::string::npos) << msg;
  EXPECT_NE(msg.find("abc"), std::string::npos) << msg;

  d.write("div.txt", "1\n2\n3\n4\n5\n6\n7\n8\n");
  msg = messageOf([&] { readSizeBounds(d / "div.txt", b, count); });
  EXPECT_NE(msg.find("第 8 行"), std::string::npos) << msg;

  d.write("div.txt", "1\n\n3\n");
  msg = messageOf([&] { readSizeBounds(d / "div.txt", b, count); });
  EXPECT_NE(msg.find("第 2 行"), std::string::npos) << msg;

  d.write("div.txt", "");
  EXPECT_THROW(readSizeBounds(d / "div.txt", b, count), TableError);
  // A refused file changes nothing.
  EXPECT_EQ(b[0], 42);
  EXPECT_EQ(count, 3);
}

TEST(Tolerances, SevenLinesAreReadAndMoreIgnored) {
  TempDir d;
  d.write("metal.txt",
          "0.1\r\n0.2\r\n0.3\r\n0.5\r\n0.8\r\n1.2\r\n0.5\r\n99\r\nx\r\n");
  std::array<float, 7> t{};
  readTolerances(d / "metal.txt", t);
  EXPECT_EQ(t[0], 0.1f);
  EXPECT_EQ(t[5], 1.2f);
  EXPECT_EQ(t[6], 0.5f);

  d.write("short.txt", "0.1\r\n0.2\r\n");
  auto msg = messageOf([&] { readTolerances(d / "short.txt", t); });
  EXPECT_NE(msg.find("short.txt"), std::string::npos);
  EXPECT_NE(msg.find("第 3 行"), std::string::npos) << msg;
  d.write("bad.txt", "0.1\n0.2\n0.3\n0.5\n0.8\n1,2x\n0.5\n");
  msg = messageOf([&] { readTolerances(d / "bad.txt", t); });
  EXPECT_NE(msg.find("第 6 行"), std::string::npos) << msg;
  EXPECT_EQ(t[0], 0.1f);
}

TEST(Writers, WriteCrLfLinesAsTheReaderExpects) {
  TempDir d;
  std::array<float, 7> b{6, 30, 120, 300.5f, 600, 1200, 77};
  writeSizeBounds(d / "div.txt", b);
  EXPECT_EQ(d.read("div.txt"), "6\r\n30\r\n120\r\n300.5\r\n600\r\n1200\r\n");
  std::array<float, 7> back{};
  std::int32_t count = 0;
  readSizeBounds(d / "div.txt", back, count);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(back[3], 300.5f);
  EXPECT_EQ(back[6], 0);

  // Texts go out exactly as typed.
  writeTolerances(d / "plastic.txt",
                  {"0.05", " 0.1", "0.3", "1,000", "0.8", "1.2", "0.5"});
  EXPECT_EQ(d.read("plastic.txt"),
            "0.05\r\n 0.1\r\n0.3\r\n1,000\r\n0.8\r\n1.2\r\n0.5\r\n");
  std::array<float, 7> t{};
  readTolerances(d / "plastic.txt", t);
  EXPECT_EQ(t[0], 0.05f);
  EXPECT_EQ(t[3], 1000);
}

TEST(Writers, AFolderThatCannotBeWrittenLosesNothing) {
  if (!fakes::asUnprivilegedUser()) return;
  TempDir d;
  d.write("div.txt", "1\r\n");
  std::filesystem::permissions(
      d.path(),
      std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_THROW(writeSizeBounds(d / "div.txt", {}), TableError);
  EXPECT_EQ(d.read("div.txt"), "1\r\n");
}

TEST(ShippedTables, AreReadable) {
  // The tests run beside the copied data folder.
  std::array<float, 7> b{}, metal{}, plastic{};
  std::int32_t count = 0;
  readSizeBounds("dimdata/div.txt", b, count);
  readTolerances("dimdata/metal.txt", metal);
  readTolerances("dimdata/plastic.txt", plastic);
  EXPECT_EQ(count, 5);
  EXPECT_EQ((std::array<float, 7>{6, 30, 120, 300, 600, 1200, 0}), b);
  EXPECT_EQ((std::array<float, 7>{0.1f, 0.2f, 0.3f, 0.5f, 0.8f, 1.2f, 0.5f}),
            metal);
  for (size_t i = 0; i < 7; ++i) EXPECT_GE(plastic[i], metal[i]) << i;
}
