// Start-up, the main window's load, the banner, the popups and exit, with
// the scripted hosts and desktop.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/program.h"
#include "fakes/fake_cad.h"
#include "fakes/fake_sheet.h"
#include "fakes/temp_dir.h"
#include "forms/scripted_desktop.h"
#include "tolerance/tables.h"

namespace fs = std::filesystem;
using forms::Kind;

namespace {

class Startup : public ::testing::Test {
 protected:
  Startup() : desktop(queue) {
    fs::copy("dimdata", dir / "dimdata", fs::copy_options::recursive);
  }

  // The program as the window starts it: splash, then its first tick.
  app::Program& start(bool withHost = true) {
    auto factory = [this, withHost](const std::string& name) {
      created.push_back(name);
      if (!withHost) throw cadhost::HostError("no host installed");
      return std::static_pointer_cast<cadhost::Application>(host);
    };
    program = std::make_unique<app::Program>(
        desktop, factory,
        [](const std::string&) {
          return std::make_shared<fakes::FakeSheetApplication>();
        },
        dir.path());
    program->run([&] { program->start(); });
    EXPECT_TRUE(program->splash.visible());
    program->run([&] { program->splash.Timer1->tick(); });
    return *program;
  }

  fakes::TempDir dir;
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  std::vector<std::string> created;
  std::unique_ptr<app::Program> program;
};

}  // namespace

TEST_F(Startup, TheSplashBringsUpTheMainWindow) {
  program = nullptr;
  auto& p = start();
  EXPECT_EQ(created, std::vector<std::string>{"AutoCAD.APPLICATION"});
  EXPECT_FALSE(p.ctx.ended);
  EXPECT_FALSE(p.splash.loaded());
  EXPECT_TRUE(p.main.visible());
  EXPECT_FALSE(host->visible);  // shown only once a drawing is opened
  EXPECT_TRUE(desktop.allMessages().empty());
  EXPECT_EQ(p.ctx.cadApp, host);
}

TEST_F(Startup, TheSplashShowsTheCompanyAndStarting) {
  program =
      std::make_unique<app::Program>(desktop, nullptr, nullptr, dir.path());
  program->start();
  EXPECT_EQ(program->splash.Label1->caption(), "DimMark");
  EXPECT_EQ(program->splash.Label2->caption(), "开始启动...");
  EXPECT_EQ(program->splash.Timer1->interval(), 300);
}

TEST_F(Startup, NoHostGivesOneMessageAndNoWindow) {
  auto& p = start(false);
  EXPECT_TRUE(p.ctx.ended);
  ASSERT_EQ(desktop.allMessages().size(), 1u);
  EXPECT_EQ(desktop.allMessages()[0].text,
            "Please confirm you installed it right!");
  EXPECT_EQ(desktop.allMessages()[0].title, "");
  EXPECT_FALSE(p.main.visible());
  EXPECT_FALSE(p.main.loaded());
  EXPECT_FALSE(p.splash.visible());
  // Nothing runs after the end.
  EXPECT_FALSE(p.run([] {}));
}

TEST_F(Startup, LoadReadsTheTablesAndSetsTheDefaults) {
  auto& p = start();
  auto& f = p.main;
  EXPECT_EQ(p.ctx.sizeBoundCount, 5);
  EXPECT_EQ(p.ctx.sizeBounds[5], 1200);
  EXPECT_EQ(p.ctx.tolValues[0], 0.15f);  // plastic is selected at start
  EXPECT_EQ(f.Combo3->list(),
            (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(f.Combo3->listIndex(), -1);
  EXPECT_EQ(f.CSearch1->listCount(), 8);
  EXPECT_EQ(f.CSearch2->list().back(), "9");
  EXPECT_EQ(f.CSearch3->listCount(), 10);
  for (auto* c : {f.CSearch1, f.CSearch2, f.CSearch3})
    EXPECT_EQ(c->listIndex(), 0);
  EXPECT_EQ(f.height(), 735 + 615 + 350);
  EXPECT_EQ(f.marqueeTicks, 0);
  EXPECT_EQ(f.marqueeStep, -15);
  EXPECT_EQ(f.cpkColumn, 2);
  EXPECT_EQ(f.freeNext, 1);
  EXPECT_EQ(f.lastReviewed, 1);
  EXPECT_EQ(f.highlightColor, 1);
  EXPECT_FALSE(f.newDatabase);
  EXPECT_EQ(p.ctx.zoneColumnCount, 8);
  EXPECT_EQ(p.ctx.zoneRowLast, "D");
  EXPECT_EQ(f.Combo2->list(),
            (std::vector<std::string>{"1.红", "2.黄", "3.绿", "4.青", "5.蓝",
                                      "6.紫", "7.黑/白"}));
  EXPECT_EQ(f.Combo2->text(), "1.红");
  EXPECT_EQ(f.Label10->backColor(), 0xFF0000);
}

TEST_F(Startup, AMissingToleranceFileEndsTheProgram) {
  fs::remove(dir / "dimdata/plastic.txt");
  auto& p = start();
  EXPECT_TRUE(p.ctx.ended);
  ASSERT_EQ(desktop.allMessages().size(), 1u);
  EXPECT_EQ(desktop.allMessages()[0].text, "缺少公差文件");
  EXPECT_EQ(desktop.allMessages()[0].title, "System hink ");
  EXPECT_TRUE(host->quit);  // the host started for us is not left behind
}

TEST_F(Startup, ABrokenSizeFileIsNamedAndEndsTheProgram) {
  dir.write("dimdata/div.txt", "6\r\n30\r\nx\r\n");
  auto& p = start();
  EXPECT_TRUE(p.ctx.ended);
  ASSERT_EQ(desktop.allMessages().size(), 1u);
  const auto& text = desktop.allMessages()[0].text;
  EXPECT_NE(text.find("div.txt"), std::string::npos) << text;
  EXPECT_NE(text.find("第 3 行"), std::string::npos) << text;
  EXPECT_FALSE(p.main.visible());
}

TEST_F(Startup, TheMetalTableIsReadWhenMetalIsSelected) {
  // The material is chosen before the load only by the shipped design, so
  // check the reader on a program whose plastic file is missing but whose
  // option says metal.
  auto& p = start();
  p.main.OptMetal->setValue(1);
  EXPECT_EQ(p.main.OptPlastic->value(), 0);
  fs::remove(dir / "dimdata/plastic.txt");
  tolerance::read(p.main);
  EXPECT_EQ(p.ctx.tolValues[0], 0.1f);
  EXPECT_EQ(p.ctx.tolValues[6], 0.5f);
}

TEST_F(Startup, TheBannerTurnsBackEvery652Ticks) {
  auto& p = start();
  auto& f = p.main;
  int left0 = f.Picture1->left();
  for (int i = 0; i < 651; ++i) f.Timer1->tick();
  EXPECT_EQ(f.Picture1->left(), left0 - 15 * 651);
  f.Timer1->tick();  // tick 652 reverses
  EXPECT_EQ(f.marqueeStep, 15);
  EXPECT_EQ(f.marqueeTicks, 0);
  EXPECT_EQ(f.Label3->left(), 9765);
  EXPECT_EQ(f.Picture1->left(), left0 - 15 * 651 + 15);
  for (int i = 0; i < 652; ++i) f.Timer1->tick();
  // After 1304 ticks it is back where it started, heading out again.
  EXPECT_EQ(f.marqueeStep, -15);
  EXPECT_EQ(f.Picture1->left(), left0);
}

TEST_F(Startup, ExitBeforeAnyDrawingQuitsTheHostSilently) {
  auto& p = start();
  EXPECT_FALSE(p.run([&] { p.main.ComExit->userClick(); }));
  EXPECT_TRUE(host->quit);
  EXPECT_TRUE(p.ctx.ended);
  EXPECT_EQ(p.ctx.cadApp, nullptr);
  EXPECT_TRUE(desktop.allMessages().empty());
}

TEST_F(Startup, ExitSkipsAHostThatIsGone) {
  auto& p = start();
  host->quit = true;  // already gone: Quit raises
  auto doc = host->addDocument("/d.dxf");
  p.ctx.cadDoc = doc;
  bool closedShown = false;
  doc->SetClosedHandler([&] { closedShown = true; });
  EXPECT_FALSE(p.run([&] { p.main.unload(); }));
  EXPECT_TRUE(p.ctx.ended);
  EXPECT_EQ(p.ctx.cadDoc, nullptr);
  // Quitting at exit is no news: the closed notification is let go first.
  doc->close();
  EXPECT_FALSE(closedShown);
  EXPECT_TRUE(desktop.allMessages().empty());
}

TEST_F(Startup, ClosedNotificationsReportAndDisable) {
  auto& p = start();
  p.main.ComReview->setEnabled(true);
  p.main.ComFresh->setEnabled(true);
  p.main.AcadDoc_Close();
  p.main.ExcelClose();
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 2u);
  EXPECT_EQ(m[0].text, "System hint !");
  EXPECT_EQ(m[0].title, "Exit AutoCAD!");
  EXPECT_EQ(m[1].text, "System hint!");
  EXPECT_EQ(m[1].title, "Exit Excel!");
  EXPECT_FALSE(p.main.ComReview->enabled());
  EXPECT_FALSE(p.main.ComFresh->enabled());
}

// The marking panel's "一起标号" box is off until the user ticks it, and then
// as they left it at the next start.
TEST_F(Startup, TheCharacteristicsBoxIsAsTheLastRunLeftIt) {
  const std::string key = "marking/characteristics";
  {
    auto& f = start().main;
    EXPECT_EQ(f.CheChars->caption(), "形位公差、粗糙度、技术要求一起标号");
    EXPECT_EQ(f.CheChars->value(), 0);
    EXPECT_FALSE(desktop.setting(key));
    f.FrmSort->setEnabled(true);
    program->run([&] { f.CheChars->userClick(); });
    EXPECT_EQ(f.CheChars->value(), 1);
    EXPECT_EQ(desktop.setting(key), "1");
  }
  program.reset();
  auto& f = start().main;
  EXPECT_EQ(f.CheChars->value(), 1);
  f.FrmSort->setEnabled(true);
  program->run([&] { f.CheChars->userClick(); });
  EXPECT_EQ(desktop.setting(key), "0");
}
