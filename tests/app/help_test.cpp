// The help window shows the pages of the data folder, every link of which
// leads somewhere; the About window says what the program is.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>
#include <set>

#include "app/program.h"
#include "fakes/fake_cad.h"
#include "fakes/temp_dir.h"
#include "forms/scripted_desktop.h"

namespace fs = std::filesystem;

namespace {

class Help : public ::testing::Test {
 protected:
  Help()
      : desktop(queue),
        program(
            desktop,
            [this](const std::string&) {
              return std::static_pointer_cast<cadhost::Application>(host);
            },
            nullptr, fs::current_path()) {
    program.start();
    program.splash.Timer1->tick();
  }
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  app::Program program;
};

std::string read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST_F(Help, TheHelpWindowOpensItsStartPageAndFollowsTheResizeRule) {
  program.main.ComHELP->userClick();
  auto& help = program.frmHelp;
  ASSERT_TRUE(help.loaded() && help.visible());
  EXPECT_EQ(help.caption(), "尺寸帮助");
  EXPECT_TRUE(help.sizable);
  const fs::path start = help.WebBrowser1->text();
  EXPECT_EQ(start, fs::current_path() / "dimdata/DIMENHELP.files/frame.htm");
  EXPECT_TRUE(fs::is_regular_file(start));
  EXPECT_EQ(help.WebBrowser1->top(), 0);
  EXPECT_EQ(help.WebBrowser1->width(), help.width() - 200);
  EXPECT_EQ(help.WebBrowser1->height(), help.height() - 400);

  help.resizeTo(5000, 3000);
  EXPECT_EQ(help.WebBrowser1->width(), 4800);
  EXPECT_EQ(help.WebBrowser1->height(), 2600);
  help.resizeTo(150, 300);  // too small: the view keeps its size
  EXPECT_EQ(help.WebBrowser1->width(), 4800);
  EXPECT_EQ(help.WebBrowser1->height(), 2600);
  // A second click shows the same window.
  help.hide();
  program.main.ComHELP->userClick();
  EXPECT_TRUE(help.visible());
  EXPECT_EQ(help.WebBrowser1->width(), 4800);
}

TEST_F(Help, EveryLinkAndPictureOfTheHelpPagesExists) {
  const fs::path pages = fs::current_path() / "dimdata/DIMENHELP.files";
  const std::regex ref(R"re((?:href|src)="([^"#]*)(#[^"]*)?")re");
  std::set<fs::path> reached;
  int links = 0;
  for (const auto& entry : fs::directory_iterator(pages)) {
    if (entry.path().extension() != ".htm") continue;
    const std::string html = read(entry.path());
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos)
        << entry.path();
    for (std::sregex_iterator it(html.begin(), html.end(), ref), end; it != end;
         ++it) {
      const std::string target = (*it)[1];
      if (target.empty() || target.rfind("http", 0) == 0) continue;
      ++links;
      const fs::path to = pages / target;
      EXPECT_TRUE(fs::exists(to)) << entry.path().filename() << " → " << target;
      reached.insert(to.lexically_normal());
    }
  }
  EXPECT_GT(links, 20);
  // Every page is reached from some page.
  for (const auto& entry : fs::directory_iterator(pages)) {
    if (entry.path().extension() != ".htm" ||
        entry.path().filename() == "frame.htm")
      continue;
    EXPECT_TRUE(reached.count(entry.path().lexically_normal()))
        << entry.path().filename();
  }
}

TEST_F(Help, TheAboutWindowShowsTheVersionAndWhatTheProgramDoes) {
  program.main.ComAbout->userClick();
  auto& about = program.frmAbout;
  ASSERT_TRUE(about.visible());
  EXPECT_EQ(about.caption(), "关于");
  EXPECT_EQ(about.lblVersion->caption(), "版本：V1.0");
  const std::string& text = about.Text1->text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
  EXPECT_EQ(
      text.rfind("介绍：用于统计，查询AutoCAD图档中的标注尺寸及公差\r\n", 0),
      0u);
  EXPECT_NE(text.find("\r\n选定尺寸的CPK报表。"), std::string::npos);
  EXPECT_FALSE(about.Text1->userType("x"));  // read, not edited
  about.cmdOK->userClick();
  EXPECT_FALSE(about.loaded());
}

TEST_F(Help, SystemInformationStartsTheDesktopsToolOrSaysItIsMissing) {
  program.main.ComAbout->userClick();
  auto& about = program.frmAbout;
  std::vector<std::string> started;
  about.launch = [&](const std::string& tool) {
    started.push_back(tool);
    return true;
  };
  fakes::TempDir bin;
  bin.write("gnome-system-monitor", "#!/bin/sh\n");
  bin.write("hardinfo", "not executable");
  ::chmod((bin / "gnome-system-monitor").c_str(), 0755);
  ::chmod((bin / "hardinfo").c_str(), 0644);
  const std::string path = "/nonexistent:" + bin.path().string();
  EXPECT_EQ(app::findSysInfoTool(path),
            (bin / "gnome-system-monitor").string());
  EXPECT_EQ(app::findSysInfoTool("/nonexistent"), "");

  // None on this PATH: the message, nothing started.
  const char* old = std::getenv("PATH");
  const std::string saved = old ? old : "";
  ::setenv("PATH", "/nonexistent", 1);
  about.cmdSysInfo->userClick();
  ::setenv("PATH", path.c_str(), 1);
  about.cmdSysInfo->userClick();
  ::setenv("PATH", saved.c_str(), 1);
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "此时系统信息不可用");
  EXPECT_EQ(started,
            std::vector<std::string>{(bin / "gnome-system-monitor").string()});
}
