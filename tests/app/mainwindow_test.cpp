// The main window as designed: panels, captions, initial states, menus and
// their popups.
#include <gtest/gtest.h>

#include "app/program.h"
#include "fakes/fake_cad.h"
#include "forms/scripted_desktop.h"

using forms::Kind;

namespace {

class MainWindow : public ::testing::Test {
 protected:
  MainWindow()
      : desktop(queue),
        program(
            desktop,
            [this](const std::string&) {
              return std::static_pointer_cast<cadhost::Application>(host);
            },
            nullptr, ".") {
    program.start();
    program.splash.Timer1->tick();
  }
  forms::Control& c(const char* name, int index = -1) {
    forms::Control* found = program.main.find(name, index);
    EXPECT_NE(found, nullptr) << name;
    return *found;
  }
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  app::Program program;
};

struct Panel {
  const char* name;
  const char* caption;
  int left, top, width, height;
  bool enabled;
};

}  // namespace

TEST_F(MainWindow, PanelsStandWhereTheyAreDesigned) {
  for (const Panel& p :
       {Panel{"Frame2", "打开AutoCAD文件", 0, 600, 9615, 735, true},
        Panel{"FrmSort", "标号", 0, 1320, 9615, 735, false},
        Panel{"FrmDimen", "尺寸浏览", 0, 2040, 5655, 4935, false},
        Panel{"FrmInput", "输入测量值", 5760, 2040, 3855, 4935, false},
        Panel{"Picture1", "", 0, 0, 19530, 615, true}}) {
    auto& ctl = c(p.name);
    EXPECT_EQ(ctl.caption(), p.caption) << p.name;
    EXPECT_EQ(ctl.left(), p.left) << p.name;
    EXPECT_EQ(ctl.top(), p.top) << p.name;
    EXPECT_EQ(ctl.width(), p.width) << p.name;
    EXPECT_EQ(ctl.height(), p.height) << p.name;
    EXPECT_EQ(ctl.enabled(), p.enabled) << p.name;
    EXPECT_TRUE(ctl.visible()) << p.name;
  }
  EXPECT_EQ(c("Label3").caption(), "欢迎使用");
  int lefts[] = {5400, 6960, 8400};
  const char* names[] = {"ComAbout", "ComHELP", "ComExit"};
  const char* captions[] = {"关于", "帮助", "退出系统"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(c(names[i]).left(), lefts[i]);
    EXPECT_EQ(c(names[i]).top(), 120);
    EXPECT_EQ(c(names[i]).caption(), captions[i]);
    EXPECT_EQ(c(names[i]).container(), &program.main);
  }
  EXPECT_EQ(c("Timer1").interval(), 50);
}

TEST_F(MainWindow, ControlsCarryTheirCaptionsAndInitialStates) {
  struct Expect {
    const char* name;
    int index;
    const char* caption;
    const char* container;
  };
  for (const Expect& e : {
           Expect{"Label1", -1, "文件位置：", "Frame2"},
           {"Com1", -1, "浏览", "Frame2"},
           {"OptPlastic", -1, "塑胶件", "Frame2"},
           {"OptMetal", -1, "铁件", "Frame2"},
           {"ComToler", -1, "公差编辑", "Frame2"},
           {"Com2", -1, "确定", "Frame2"},
           {"Label4", -1, "起始号：", "FrmSort"},
           {"OptRighttoleft", -1, "从左到右", "FrmSort"},
           {"OptToptobot", -1, "从下到上", "FrmSort"},
           {"ComLdefine", -1, "位置定义", "FrmSort"},
           {"comSort", -1, "自动标号", "FrmSort"},
           {"ComPart", -1, "分区标号", "FrmSort"},
           {"ComFree", -1, "自由标号", "FrmSort"},
           {"ComHadmark", -1, "已经标号", "FrmSort"},
           {"Label2", -1, "尺寸值：", "Frame1"},
           {"ComFind", -1, "查询", "Frame1"},
           {"Label18", -1, "尺寸编号：", "Frame3"},
           {"ComSearch", -1, "查询", "Frame3"},
           {"ComFirst", -1, "1号尺寸", "FrmDimen"},
           {"ComProious", -1, "前一尺寸", "FrmDimen"},
           {"ComNext", -1, "后一尺寸", "FrmDimen"},
           {"ComLast", -1, "最后尺寸", "FrmDimen"},
           {"Label5", -1, "尺寸类型：", "FrmDimen"},
           {"Label6", -1, "尺寸值：", "FrmDimen"},
           {"Label7", -1, "上公差：", "FrmDimen"},
           {"Label8", -1, "下公差：", "FrmDimen"},
           {"Label9", -1, "编号：", "FrmDimen"},
           {"ComReview", -1, "浏览", "FrmDimen"},
           {"CheFIRST", -1, "FAI首次", "FrmDimen"},
           {"ComOK", -1, "创建 FAI", "FrmDimen"},
           {"Label19", -1, "样本数：", "FrmInput"},
           {"Label11", -1, "测量值", "FrmInput"},
           {"Label12", -1, "测量仪器", "FrmInput"},
           {"ComFresh", -1, "刷新", "FrmInput"},
           {"ComCPK", -1, "创建 CPK", "FrmInput"},
       }) {
    auto& ctl = c(e.name, e.index);
    EXPECT_EQ(ctl.caption(), e.caption) << e.name;
    EXPECT_EQ(ctl.container()->name(), e.container) << e.name;
  }
  // Initial states.
  EXPECT_EQ(c("OptPlastic").value(), 1);
  EXPECT_EQ(c("OptMetal").value(), 0);
  EXPECT_FALSE(c("Com2").enabled());
  EXPECT_TRUE(c("Text1").locked());
  EXPECT_EQ(c("Text8").text(), "1");
  EXPECT_EQ(c("OptRighttoleft").value(), 1);
  EXPECT_EQ(c("CheFIRST").value(), 1);
  EXPECT_FALSE(c("ComOK").enabled());
  EXPECT_FALSE(c("ComFresh").enabled());
  EXPECT_FALSE(c("ComCPK").enabled());
  for (const char* box : {"Text3", "Text4", "Text5", "Text6"})
    EXPECT_TRUE(c(box).locked()) << box;
  const char* instruments[] = {"游标卡尺", "千分尺", "高度规", "三次元",
                               "投影仪",   "厚薄规", "半径规", "检具"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(c("Option3", i).caption(), instruments[i]);
    EXPECT_EQ(c("Option3", i).value(), i == 0 ? 1 : 0);
  }
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(c("Label13", i).caption(), "样本" + std::to_string(i + 1));
    EXPECT_EQ(c("Label13", i).visible(), i == 0);
    EXPECT_EQ(c("Text7", i).visible(), i == 0);
  }
}

TEST_F(MainWindow, MenusAreHiddenAndTheirItemsAsDesigned) {
  auto& f = program.main;
  for (auto* m : {f.mnu1, f.mnuMARK, f.mnuFILE}) EXPECT_FALSE(m->visible());
  EXPECT_EQ(f.mnu1->caption(), "SKIP");
  EXPECT_EQ(f.mnuMARK->caption(), "标号");
  EXPECT_EQ(f.mnuFILE->caption(), "文件菜单");
  std::vector<std::string> items;
  for (auto* i : f.mnu1->children()) items.push_back(i->caption());
  EXPECT_EQ(items, (std::vector<std::string>{
                       "一号尺寸", "前一尺寸", "下一尺寸", "最末尺寸",
                       "浏览尺寸", "创建FAI报表", "刷新FAI报表", "创建CPK报表",
                       "导入测量结果…", "量具端口…"}));
  EXPECT_FALSE(f.mnuFresh->enabled());
  EXPECT_FALSE(f.mnuCPK->enabled());
  EXPECT_EQ(f.mnuMARK->children().size(), 10u);
  EXPECT_EQ(f.mnuMARK->children()[4]->caption(), "撤消标号");
  EXPECT_EQ(f.mnuFILE->children().size(), 10u);
  EXPECT_EQ(f.mnuFILE->children()[9]->caption(), "退出系统");
}

TEST_F(MainWindow, RightClickOpensThePopupWhereThePointerIs) {
  auto& f = program.main;
  std::vector<std::string> shown;
  f.popupHandler = [&](forms::Control& m, float x, float y) {
    shown.push_back(m.name() + " " + std::to_string(int(x)) + " " +
                    std::to_string(int(y)));
  };
  // Disabled frames take no mouse.
  EXPECT_FALSE(f.FrmSort->userMouseDown(forms::mouse::kRight, 0, 500, 300));
  f.FrmSort->setEnabled(true);
  f.FrmInput->setEnabled(true);
  f.FrmSort->userMouseDown(forms::mouse::kLeft, 0, 500, 300);
  EXPECT_TRUE(shown.empty());
  f.FrmSort->userMouseDown(forms::mouse::kRight, 0, 500, 300);
  f.FrmInput->userMouseDown(forms::mouse::kRight, 0, 100, 200);
  f.FrmInput->userMouseDown(forms::mouse::kMiddle, 0, 100, 200);
  EXPECT_EQ(shown,
            (std::vector<std::string>{"mnuMARK 500 1620", "mnu1 5860 2240"}));
}

TEST_F(MainWindow, ForwardingItemsRunTheirButtonsWhateverTheButtonsState) {
  auto& f = program.main;
  std::vector<std::string> ran;
  struct Pair {
    forms::Control* item;
    forms::Control* button;
  };
  std::vector<Pair> pairs = {
      {f.mnufirst, f.ComFirst},   {f.mnuPr, f.ComProious},
      {f.mnuNext, f.ComNext},     {f.mnuLast, f.ComLast},
      {f.mnuReviw, f.ComReview},  {f.mnuFAI, f.ComOK},
      {f.mnuFresh, f.ComFresh},   {f.mnuCPK, f.ComCPK},
      {f.mnuAutomark, f.comSort}, {f.mnuPartmark, f.ComPart},
      {f.mnuFreemark, f.ComFree}, {f.mnuHadmark, f.ComHadmark}};
  for (auto& p : pairs) {
    std::string name = p.button->name();
    p.button->Click = [&ran, name] { ran.push_back(name); };
    p.button->setEnabled(false);
  }
  for (auto& p : pairs) {
    p.item->setEnabled(true);
    p.item->userClick();
  }
  ASSERT_EQ(ran.size(), pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i)
    EXPECT_EQ(ran[i], pairs[i].button->name());
  // A disabled item is all that guards them.
  ran.clear();
  f.mnuFresh->setEnabled(false);
  EXPECT_FALSE(f.mnuFresh->userClick());
  EXPECT_TRUE(ran.empty());
}

TEST_F(MainWindow, FileMenuItemsDoNothing) {
  auto& f = program.main;
  for (auto* item : f.mnuFILE->children()) {
    EXPECT_FALSE(static_cast<bool>(item->Click)) << item->name();
    EXPECT_TRUE(item->userClick());
  }
  EXPECT_FALSE(program.ctx.ended);
  EXPECT_TRUE(desktop.allMessages().empty());
}
