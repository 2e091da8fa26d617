// The scenario runner, driven with the scripted CAD host.
#include "cli/script.h"

#include <gtest/gtest.h>

#include <sstream>

#include "fakes/fake_cad.h"
#include "fakes/temp_dir.h"
#include "forms/scripted_desktop.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int code = 0;
  std::vector<std::string> lines;  // stdout, one per line
  std::string err;
};

class Script : public ::testing::Test {
 protected:
  Script() {
    fs::copy("dimdata", dir / "dimdata", fs::copy_options::recursive);
  }

  Outcome run(const std::string& text) {
    cli::ScriptHosts hosts;
    if (withHost)
      hosts.cad = [this](const std::string&,
                         std::shared_ptr<cadhost::PickSource> source) {
        picks = source;
        return std::static_pointer_cast<cadhost::Application>(host);
      };
    std::istringstream in(text);
    std::ostringstream out, err;
    Outcome r;
    r.code = cli::runScript(in, "t.dms", dir.path(), hosts, out, err);
    std::istringstream lines(out.str());
    for (std::string l; std::getline(lines, l);) r.lines.push_back(l);
    r.err = err.str();
    return r;
  }

  static bool has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
  }

  fakes::TempDir dir;
  bool withHost = true;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  std::shared_ptr<cadhost::PickSource> picks;
};

}  // namespace

TEST(SplitWords, QuotesCommentsAndEscapes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(cli::splitWords("set Form1.Text7(0).Text \"1.02\""),
            (V{"set", "Form1.Text7(0).Text", "1.02"}));
  EXPECT_EQ(cli::splitWords("  answer file \"/a b/c.dxf\"  # the drawing"),
            (V{"answer", "file", "/a b/c.dxf"}));
  EXPECT_EQ(cli::splitWords("set X.Y.Text \"say \\\"hi\\\" # not a comment\""),
            (V{"set", "X.Y.Text", "say \"hi\" # not a comment"}));
  EXPECT_EQ(cli::splitWords("set X.Y.Text \"\""), (V{"set", "X.Y.Text", ""}));
  EXPECT_TRUE(cli::splitWords("# only a comment").empty());
  EXPECT_TRUE(cli::splitWords("\t \r").empty());
}

TEST_F(Script, DumpsShowTheMainWindowAtStart) {
  Outcome r =
      run("dump Form1\n"
          "dump Form1.Com2\n"
          "dump Form1.Text7(0)\n"
          "dump Form1.CSearch1\n"
          "dump FrmDimen\n");
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_EQ(r.lines.size(), 5u);
  EXPECT_TRUE(has(r.lines[0], "\"Visible\":true,\"Height\":1700"))
      << r.lines[0];
  EXPECT_TRUE(has(r.lines[0], "\"Popup\":null"));
  EXPECT_TRUE(has(r.lines[1], "\"name\":\"Com2\"")) << r.lines[1];
  EXPECT_TRUE(has(r.lines[1], "\"Caption\":\"确定\",\"Enabled\":false"));
  EXPECT_TRUE(has(r.lines[2], "\"name\":\"Text7(0)\"")) << r.lines[2];
  EXPECT_TRUE(
      has(r.lines[3], "\"ListIndex\":0,\"ListCount\":8,\"List\":[\"0\""))
      << r.lines[3];
  // The splash is gone once the main window is up.
  EXPECT_TRUE(has(r.lines[4], "\"Visible\":false")) << r.lines[4];
  EXPECT_TRUE(has(r.lines[4], "\"Loaded\":false")) << r.lines[4];
}

TEST_F(Script, TimersTickAndStateShowsTheBanner) {
  Outcome r = run("tick Form1.Timer1 652\ndump state\ndump Form1.Label3\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.lines[0], "\"marqueeTicks\":0,\"marqueeStep\":15"))
      << r.lines[0];
  EXPECT_TRUE(has(r.lines[0], "\"tolValues\":[0.15,0.3,0.45,0.7,1.1,1.6,1]"));
  EXPECT_TRUE(has(r.lines[0], "\"sizeBounds\":[6,30,120,300,600,1200,0]"));
  EXPECT_TRUE(has(r.lines[0], "\"cpkColumn\":2"));
  EXPECT_TRUE(has(r.lines[0], "\"cadHost\":\"running\""));
  EXPECT_TRUE(has(r.lines[1], "\"Left\":9765")) << r.lines[1];
}

TEST_F(Script, ExitQuitsTheHostAndEndsTheProgram) {
  Outcome r = run("click Form1.ComExit\ndump state\ndump messages\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(host->quit);
  EXPECT_TRUE(has(r.lines[0], "\"ended\":true,\"cadHost\":\"quit\""))
      << r.lines[0];
  EXPECT_EQ(r.lines[1], "{\"messages\":[]}");

  // Nothing can be done once the program has ended.
  host = std::make_shared<fakes::FakeApplication>();
  r = run("click Form1.ComExit\nclick Form1.Com1\n");
  EXPECT_EQ(r.code, 2);
  EXPECT_TRUE(has(r.err, "t.dms:2: the program has ended")) << r.err;
}

TEST_F(Script, WithoutAHostTheOneMessageIsShown) {
  withHost = false;
  Outcome r = run("dump messages\ndump state\ndump Form1\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.lines[0],
            "{\"messages\":[{\"text\":\"Please confirm you installed it "
            "right!\",\"title\":\"\",\"buttons\":\"ok\",\"answer\":\"ok\"}]}");
  EXPECT_TRUE(has(r.lines[1], "\"ended\":true")) << r.lines[1];
  EXPECT_TRUE(has(r.lines[2], "\"Visible\":false")) << r.lines[2];
}

TEST_F(Script, UnreachableControlsIgnoreTheUser) {
  Outcome r =
      run("click Form1.Com2\n"
          "set Form1.Text1.Text \"/tmp/x.dxf\"\n"
          "rightclick Form1.FrmSort 100 200\n"
          "dump Form1.Text1\n"
          "dump Form1\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.err, "Form1.Com2 cannot be reached")) << r.err;
  EXPECT_TRUE(has(r.err, "Form1.Text1 cannot be reached")) << r.err;
  EXPECT_TRUE(has(r.lines[0], "\"Text\":\"\"")) << r.lines[0];
  EXPECT_TRUE(has(r.lines[1], "\"Popup\":null")) << r.lines[1];
}

TEST_F(Script, OptionButtonsAndListsAsTheUserSetsThem) {
  Outcome r =
      run("click Form1.OptMetal\n"
          "set Form1.Text8.Text 10\n"
          "dump Form1.OptPlastic\n"
          "dump Form1.OptMetal\n"
          "dump Form1.Text8\n");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(has(r.lines[0], "\"Value\":false")) << r.lines[0];
  EXPECT_TRUE(has(r.lines[1], "\"Value\":true")) << r.lines[1];
  // Text8 sits in the disabled marking frame: typing does not reach it.
  EXPECT_TRUE(has(r.lines[2], "\"Text\":\"1\"")) << r.lines[2];
}

TEST_F(Script, BadLinesEndTheScriptWithTheirLineNumber) {
  struct Case {
    const char* script;
    const char* message;
  };
  for (const Case& c : {
           Case{"dump Form1\nfrobnicate\n",
                "t.dms:2: unknown command: frobnicate"},
           {"click Form1.NoSuchButton\n",
            "t.dms:1: unknown control: Form1.NoSuchButton"},
           {"click Nowhere.Com1\n", "t.dms:1: unknown form: Nowhere"},
           {"set Form1.Text8.Colour 3\n",
            "t.dms:1: unknown property: Form1.Text8.Colour"},
           {"set Form1.Combo3.ListIndex 9\n", "t.dms:1: no list entry 9"},
           {"\n\nanswer maybe\n", "t.dms:3: unknown answer: maybe"},
           {"tick Form1.Com1\n", "t.dms:1: Form1.Com1 is not a timer"},
           {"click Form1.Text7(x)\n", "t.dms:1: not a number: x"},
           {"dump \"Form1\n", "t.dms:1: unclosed quote"},
           {"trace marks\n", "t.dms:1: trace picks"},
       }) {
    host = std::make_shared<fakes::FakeApplication>();
    Outcome r = run(c.script);
    EXPECT_EQ(r.code, 2) << c.script;
    EXPECT_TRUE(has(r.err, c.message)) << c.script << " -> " << r.err;
  }
}

TEST_F(Script, PicksComeFromTheQueueAndAMissingAnswerEndsWithExit3) {
  Outcome r = run("answer point 10 20\nanswer escape\ndump state\n");
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(picks);
  // Answers not taken by the script's own run stay in the queue.
  auto p = picks->pickPoint("第一点: ");
  EXPECT_EQ(p[0], 10);
  EXPECT_EQ(p[1], 20);
  EXPECT_THROW(picks->pickCorner(p, "对角点: "), cadhost::HostError);
  try {
    picks->pickPoint("LOCATION: ");
    ADD_FAILURE() << "an empty queue must not answer";
  } catch (const forms::Unanswered& u) {
    EXPECT_TRUE(has(u.question, "LOCATION: ")) << u.question;
  }
}

TEST_F(Script,
       ATracedPickShowsItsPromptBeforeItIsAnsweredAndOnlyWhileTheScriptRuns) {
  Outcome r = run("answer point 10 20\ntrace picks\n");
  ASSERT_EQ(r.code, 0) << r.err;
  ASSERT_TRUE(picks);
  // Nothing asked yet, nothing traced.
  EXPECT_TRUE(r.lines.empty());
  // Asked after the script's end: answered, and the trace, whose stream is
  // gone, stays silent.
  auto p = picks->pickPoint("第一点: ");
  EXPECT_EQ(p[0], 10);
}
