// dimmark-cli number and extract on a real drawing: what they refuse
// leaves the folder as it was, and the drawing numbers afterwards.
#include <gtest/gtest.h>

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
           {{"--material", ""},
            "extract: --material takes plastic or metal"}}) {
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

}  // namespace
