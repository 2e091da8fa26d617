// dimmark-cli number and extract on a real drawing: what they refuse
// leaves the folder as it was, and the drawing numbers afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "cli/commands.h"
#include "fakes/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class NumberCli : public ::testing::Test {
 protected:
  NumberCli() {
    fs::copy_file(fs::path(DIMMARK_FIXTURES) / "dims_r2018.dxf", drawing);
  }

  int run(int (*command)(const cli::Args&, std::ostream&, std::ostream&),
          const cli::Args& args) {
    std::ostringstream o, e;
    const int rc = command(args, o, e);
    out = o.str();
    err = e.str();
    return rc;
  }
  int number(cli::Args extra) {
    extra.insert(extra.begin(), drawing);
    return run(cli::numberCommand, extra);
  }

  std::set<std::string> files() const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir.path()))
      names.insert(fs::relative(e.path(), dir.path()).string());
    return names;
  }

  fakes::TempDir dir;
  std::string drawing = (dir / "part.dxf").string();
  std::string marked = (dir / "marked.dxf").string();
  std::string out, err;
};

TEST_F(NumberCli, BadOptionsAreRefusedNamingOptionAndText) {
  const std::string original = dir.read("part.dxf");
  struct Case {
    cli::Args args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{"--start", "abc"}, "--start takes a whole number"},
      {{"--start", "1.5"}, "not \"1.5\""},
      {{"--start", "32768"}, "not \"32768\""},
      {{"--start", "99999999999999999999"}, "not \"99999999999999999999\""},
      {{"--start", ""}, "--start takes"},
      {{"--decimals", "5"}, "--decimals takes 0 to 4, not \"5\""},
      {{"--decimals", " 2"}, "not \" 2\""},
      {{"--order", "rtl"}, "--order takes ltr or btt, not \"rtl\""},
      {{"--material", "wood"}, "--material takes plastic or metal"},
      {{"--start", "1", "--start", "2"}, "--start is given twice"},
      {{"--bogus", "1"}, "unknown option --bogus"},
      {{"--characteristics", "frames"},
       "--characteristics takes all or dimensions, not \"frames\""},
  };
  for (const Case& k : cases) {
    cli::Args args = k.args;
    args.insert(args.end(), {"--save-as", marked});
    EXPECT_EQ(number(args), 2) << k.message;
    EXPECT_NE(err.find(k.message), std::string::npos)
        << "expected " << k.message << ", got " << err;
    EXPECT_EQ(files(), std::set<std::string>{"part.dxf"}) << k.message;
  }
  for (const Case& k : std::vector<Case>{
           {{"--decimals", "x"}, "extract: --decimals takes 0 to 4"},
           {{"--material", ""}, "extract: --material takes plastic or metal"},
           {{"--characteristics", "All"},
            "extract: --characteristics takes all or dimensions"}}) {
    cli::Args args = k.args;
    args.insert(args.begin(), drawing);
    EXPECT_EQ(run(cli::extractCommand, args), 2) << k.message;
    EXPECT_NE(err.find(k.message), std::string::npos) << err;
    EXPECT_EQ(files(), std::set<std::string>{"part.dxf"}) << k.message;
  }
  EXPECT_EQ(dir.read("part.dxf"), original);
}

// Where the marked drawing cannot go, or would not open again, nothing is
// numbered; nor when the pass itself is refused. The drawing then numbers.
TEST_F(NumberCli, ARefusedSaveOrPassLeavesTheDrawingToNumberAgain) {
  const std::vector<std::pair<cli::Args, std::string>> cases = {
      {{"--save-as", (dir / "none/marked.dxf").string()},
       "the folder " + (dir / "none").string() + " does not exist"},
      {{"--save-as", (dir / "marked.txt").string()},
       "--save-as takes a file name ending in .dxf"},
      {{"--save-as", (dir / "marked").string()}, "ending in .dxf"},
      {{"--save-as", (dir / "part.mdb").string()}, "is the drawing's database"},
      // The second mark would be 32768.
      {{"--start", "32767", "--save-as", marked}, "起始号 32767 超出范围"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(number(args), 2) << message;
    EXPECT_NE(err.find(message), std::string::npos) << err;
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(files(), std::set<std::string>{"part.dxf"}) << err;
  }
  ASSERT_EQ(
      number({"--start", "5", "--save-as", (dir / "MARKED.DXF").string()}), 0)
      << err;
  EXPECT_EQ(out.substr(0, out.find("------")), "5");
  // The marked drawing takes a copy of the database, as Save As gives it.
  EXPECT_EQ(files(), (std::set<std::string>{"part.dxf", "part.mdb",
                                            "MARKED.DXF", "MARKED.mdb"}));
  EXPECT_EQ(number({"--save-as", marked}), 2);
  EXPECT_NE(err.find("该图档已经标号"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(marked));
}

// Frames, roughness and notes are listed only when asked for; a composite
// frame gives two entries of one entity, each with its own tolerance.
TEST_F(NumberCli, ExtractListsCharacteristicsOnlyWhenAsked) {
  const std::string drawing2 = (dir / "frames.dxf").string();
  fs::copy_file(fs::path(DIMMARK_FIXTURES) / "characteristics_r2010.dxf",
                drawing2);
  auto lines = [&] {
    std::vector<std::string> entries;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);)
      if (l.starts_with("{\"position\"")) entries.push_back(l);
    return entries;
  };
  ASSERT_EQ(run(cli::extractCommand, {drawing2}), 0) << err;
  const auto plain = lines();
  for (const auto& l : plain)
    EXPECT_EQ(l.find("形位公差"), std::string::npos) << l;
  fs::remove(dir / "frames.mdb");
  ASSERT_EQ(
      run(cli::extractCommand, {drawing2, "--characteristics", "dimensions"}),
      0)
      << err;
  EXPECT_EQ(lines(), plain);
  fs::remove(dir / "frames.mdb");

  ASSERT_EQ(run(cli::extractCommand, {drawing2, "--characteristics", "all"}), 0)
      << err;
  const auto all = lines();
  // The dimensions first, as without the option; the characteristics after.
  ASSERT_GT(all.size(), plain.size());
  int frames = 0, roughness = 0, notes = 0;
  for (const auto& l : all) {
    frames += l.find("\"type\":\"形位公差") != std::string::npos;
    roughness += l.find("\"type\":\"粗糙度\"") != std::string::npos;
    notes += l.find("\"type\":\"技术要求\"") != std::string::npos;
  }
  EXPECT_EQ(frames, 31);  // 29 frames, two of them composite
  EXPECT_EQ(roughness, 12);
  EXPECT_EQ(notes, 15);
  const auto composite = std::find_if(all.begin(), all.end(), [](auto& l) {
    return l.find("\"value\":\"⌖ Ø0.5 Ⓜ | A | B | C\"") != std::string::npos;
  });
  ASSERT_NE(composite, all.end());
  ASSERT_NE(composite + 1, all.end());
  EXPECT_NE(composite->find("\"up\":0.5,\"low\":0,"), std::string::npos)
      << *composite;
  EXPECT_NE((composite + 1)->find("\"value\":\"⌖ Ø0.1 Ⓜ | A\",\"up\":0.1,"),
            std::string::npos)
      << *(composite + 1);
  const auto entity = [](const std::string& l) {
    return l.substr(l.find("\"entityIndex\""));
  };
  EXPECT_EQ(entity(*composite), entity(*(composite + 1)));
}

}  // namespace
