#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/form.h"
#include "forms/scripted_desktop.h"

using namespace forms;

namespace {

// A small form of the kind the program is made of.
class Panel : public Form {
 public:
  Panel() : Form("Panel") {}
  Control* frame = nullptr;
  Control* list = nullptr;
  Control* button = nullptr;
  Control* optA = nullptr;
  Control* optB = nullptr;
  Control* other = nullptr;  // an option button in another container
  Control* box = nullptr;
  Control* menu = nullptr;
  Control* item = nullptr;
  int builds = 0;
  std::vector<std::string> events;

 protected:
  void build() override {
    ++builds;
    frame = &add(Kind::Frame, "Frame1");
    list = &add(Kind::ComboBox, "Combo1", frame);
    button = &add(Kind::CommandButton, "Com1", frame);
    optA = &add(Kind::OptionButton, "Opt", frame, 0);
    optB = &add(Kind::OptionButton, "Opt", frame, 1);
    other = &add(Kind::OptionButton, "Other");
    box = &add(Kind::TextBox, "Text1");
    menu = &add(Kind::Menu, "mnu");
    menu->setVisible(false);
    item = &add(Kind::Menu, "mnuItem", menu);
    for (const char* s : {"a", "b", "c"}) list->addItem(s);
    list->Click = [this] {
      events.push_back("Combo1_Click " + std::to_string(list->listIndex()));
    };
    button->Click = [this] {
      events.push_back("Com1 before");
      list->setListIndex(2);  // runs Combo1_Click nested, at once
      events.push_back("Com1 after " + list->text());
    };
    optA->Click = [this] { events.push_back("OptA"); };
    optB->Click = [this] { events.push_back("OptB"); };
    box->Change = [this] { events.push_back("Change " + box->text()); };
    item->Click = [this] { events.push_back("item"); };
  }
};

}  // namespace

TEST(Controls, SettingListIndexRunsClickNestedAndAtOnce) {
  Panel p;
  p.show();
  p.button->userClick();
  EXPECT_EQ(p.events, (std::vector<std::string>{"Com1 before", "Combo1_Click 2",
                                                "Com1 after c"}));
  // The same index again still runs Click.
  p.events.clear();
  p.list->setListIndex(2);
  EXPECT_EQ(p.events, std::vector<std::string>{"Combo1_Click 2"});
}

TEST(Controls, AnIndexOutsideTheListIsRefused) {
  Panel p;
  p.show();
  p.list->setListIndex(1);
  p.events.clear();
  EXPECT_THROW(p.list->setListIndex(3), PropertyError);
  EXPECT_THROW(p.list->setListIndex(-2), PropertyError);
  EXPECT_EQ(p.list->listIndex(), 1);
  EXPECT_TRUE(p.events.empty());
  p.list->clear();
  EXPECT_THROW(p.list->setListIndex(0), PropertyError);
  EXPECT_EQ(p.list->listIndex(), -1);
  EXPECT_EQ(p.list->text(), "");
}

TEST(Controls, OptionButtonsAreExclusiveWithinTheirContainer) {
  Panel p;
  p.show();
  p.other->setValue(1);
  p.optA->setValue(1);
  EXPECT_EQ(p.events, std::vector<std::string>{"OptA"});
  p.optB->userClick();
  EXPECT_EQ(p.optA->value(), 0);
  EXPECT_EQ(p.optB->value(), 1);
  // Another container keeps its own choice.
  EXPECT_EQ(p.other->value(), 1);
  // Selecting the selected one again runs no second Click from code.
  p.events.clear();
  p.optB->setValue(1);
  EXPECT_TRUE(p.events.empty());
}

TEST(Controls, ADisabledContainerDisablesWhatItHolds) {
  Panel p;
  p.show();
  p.frame->setEnabled(false);
  EXPECT_TRUE(p.button->enabled());
  EXPECT_FALSE(p.button->effectiveEnabled());
  EXPECT_FALSE(p.button->userClick());
  EXPECT_FALSE(p.list->userSelect(1));
  EXPECT_TRUE(p.events.empty());
  // Code can still set what the user cannot reach.
  p.list->setListIndex(1);
  EXPECT_EQ(p.events.size(), 1u);
  p.frame->setEnabled(true);
  EXPECT_TRUE(p.button->userClick());
}

TEST(Controls, TextChangeRunsChangeOnlyOnARealChange) {
  Panel p;
  p.show();
  p.box->userType("1.02");
  p.box->setText("1.02");
  EXPECT_EQ(p.events, std::vector<std::string>{"Change 1.02"});
  p.box->setLocked(true);
  EXPECT_FALSE(p.box->userType("x"));
  EXPECT_EQ(p.box->text(), "1.02");
}

TEST(Controls, PopupMenuItemsAreReachableThroughTheirHiddenMenu) {
  Panel p;
  p.show();
  EXPECT_FALSE(p.menu->reachable());
  EXPECT_TRUE(p.item->userClick());
  p.item->setEnabled(false);
  EXPECT_FALSE(p.item->userClick());
  p.item->setEnabled(true);
  p.menu->setEnabled(false);
  EXPECT_FALSE(p.item->userClick());
  EXPECT_EQ(p.events, std::vector<std::string>{"item"});

  std::string shown;
  p.popupHandler = [&](Control& m, float x, float y) {
    shown = m.name() + " " + std::to_string(static_cast<int>(x)) + "," +
            std::to_string(static_cast<int>(y));
  };
  p.popupMenu(*p.menu, 300, 1500);
  EXPECT_EQ(shown, "mnu 300,1500");
  ASSERT_TRUE(p.lastPopup());
  EXPECT_EQ(p.lastPopup()->menu, "mnu");
}

TEST(Forms, UnloadEndsALifeAndHideKeepsIt) {
  Panel p;
  int loads = 0, unloads = 0;
  p.Load = [&] { ++loads; };
  p.Unload = [&] { ++unloads; };
  p.show();
  p.box->setText("typed");
  p.hide();
  p.show();
  EXPECT_EQ(p.builds, 1);
  EXPECT_EQ(p.box->text(), "typed");
  p.unload();
  EXPECT_FALSE(p.loaded());
  EXPECT_FALSE(p.visible());
  EXPECT_FALSE(p.button->reachable());
  p.show();
  EXPECT_EQ(p.builds, 2);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(p.box->text(), "");
  EXPECT_EQ(p.find("Opt", 1), p.optB);
  EXPECT_EQ(p.find("Opt"), nullptr);
}

TEST(Forms, ResizeRunsWhenTheHeightChanges) {
  Panel p;
  int resizes = 0;
  p.Resize = [&] { ++resizes; };
  p.show();
  p.setHeight(1700);
  p.setHeight(1700);
  p.setHeight(2435);
  EXPECT_EQ(resizes, 2);
}

TEST(ScriptedDesktop, RecordsMessagesAndAnswersFromTheQueue) {
  AnswerQueue q;
  ScriptedDesktop d(q);
  q.push(QueuedAnswer::of(QueuedAnswer::Type::Yes));
  EXPECT_EQ(d.message("go on?", Buttons::YesNo, ""), Answer::Yes);
  // One-button messages need no answer, and take a queued "ok".
  q.push(QueuedAnswer::of(QueuedAnswer::Type::Ok));
  EXPECT_EQ(d.message("done", Buttons::Ok, "T"), Answer::Ok);
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(d.message("again", Buttons::Ok, ""), Answer::Ok);
  auto m = d.takeMessages();
  ASSERT_EQ(m.size(), 3u);
  EXPECT_EQ(m[1].title, "T");
  EXPECT_TRUE(d.takeMessages().empty());

  // A question whose answer is missing or of the wrong kind is reported.
  EXPECT_THROW(d.message("sure?", Buttons::YesNo, ""), Unanswered);
  q.push(QueuedAnswer::file("/x.dxf"));
  EXPECT_THROW(d.message("sure?", Buttons::YesNo, ""), Unanswered);
  EXPECT_EQ(d.openFile({"*.DXF", "OPEN FILE", "", ""}), "/x.dxf");
  q.push(QueuedAnswer::of(QueuedAnswer::Type::Cancel));
  EXPECT_EQ(d.openFile({}), std::nullopt);
  EXPECT_THROW(d.openFile({}), Unanswered);
}

TEST(ScriptedDesktop, LenientPolicyAnswersNoAndCancels) {
  AnswerQueue q;
  ScriptedDesktop d(q, ScriptedDesktop::Policy::Lenient);
  EXPECT_EQ(d.message("go on?", Buttons::YesNo, ""), Answer::No);
  EXPECT_EQ(d.openFile({}), std::nullopt);
  d.defaultFile = "/a.dxf";
  EXPECT_EQ(d.openFile({}), "/a.dxf");
}

TEST(CommonDialog, ACancelKeepsTheFileName) {
  AnswerQueue q;
  ScriptedDesktop d(q);
  Form f("F");
  CommonDialog& dlg = f.addDialog("Cdlg1");
  dlg.Filter = "*.DXF|*.DXF";
  q.push(QueuedAnswer::file("/d/part.dxf"));
  EXPECT_TRUE(dlg.ShowOpen(d));
  q.push(QueuedAnswer::of(QueuedAnswer::Type::Cancel));
  EXPECT_FALSE(dlg.ShowOpen(d));
  EXPECT_EQ(dlg.FileName, "/d/part.dxf");
  EXPECT_EQ(d.dialogs().back().fileName, "/d/part.dxf");
  EXPECT_EQ(d.dialogs().front().filter, "*.DXF|*.DXF");
}
