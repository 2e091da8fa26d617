// The generic binder, offscreen: widgets follow the model, user events reach
// it, popups open where asked.
#include "forms/qt/binder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "forms/qt/qt_desktop.h"

using namespace forms;
using forms::qt::Binder;

namespace {

class Sample : public Form {
 public:
  Sample() : Form("Sample") {}
  Control* frame = nullptr;
  Control* button = nullptr;
  Control* box = nullptr;
  Control* list = nullptr;
  Control* optA = nullptr;
  Control* optB = nullptr;
  Control* menu = nullptr;
  Control* item = nullptr;
  Control* timer = nullptr;
  std::vector<std::string> log;

 protected:
  void build() override {
    setCaption("样本窗口");
    setGeometry(0, 0, 6120, 3350);
    frame = &add(Kind::Frame, "Frame1");
    frame->setCaption("框架");
    frame->setGeometry(150, 300, 4500, 2400);
    button = &add(Kind::CommandButton, "Com1", frame);
    button->setCaption("确定");
    button->setGeometry(150, 300, 1200, 450);
    box = &add(Kind::TextBox, "Text1", frame);
    box->setGeometry(1500, 300, 1500, 375);
    list = &add(Kind::ComboBox, "Combo1", frame);
    list->setGeometry(150, 900, 1500, 375);
    for (const char* s : {"0", "0.0", "0.00"}) list->addItem(s);
    optA = &add(Kind::OptionButton, "OptA", frame);
    optA->setGeometry(150, 1500, 1500, 300);
    optA->setValue(1);
    optB = &add(Kind::OptionButton, "OptB", frame);
    optB->setGeometry(1800, 1500, 1500, 300);
    menu = &add(Kind::Menu, "mnu");
    menu->setVisible(false);
    item = &add(Kind::Menu, "mnuItem", menu);
    item->setCaption("项目");
    timer = &add(Kind::Timer, "Timer1");
    timer->setInterval(10);
    timer->setEnabled(false);
    button->Click = [this] {
      log.push_back("click");
      box->setText("clicked");
      frame->setCaption("已按");
    };
    box->Change = [this] { log.push_back("change " + box->text()); };
    list->Click = [this] {
      log.push_back("list " + std::to_string(list->listIndex()));
    };
    frame->MouseDown = [this](int b, int, float x, float y) {
      log.push_back("down " + std::to_string(b));
      if (b == mouse::kRight) popupMenu(*menu, x, y);
    };
    item->Click = [this] { log.push_back("item"); };
    timer->Timer = [this] {
      log.push_back("tick");
      timer->setEnabled(false);
    };
  }
};

class BinderTest : public ::testing::Test {
 protected:
  BinderTest()
      : binder(forms, [](const std::function<void()>& a) {
          a();
          return true;
        }) {
    forms.add(form);
    form.show();
    binder.refresh();
  }
  template <typename W>
  W* w(Control* c) {
    auto* widget = qobject_cast<W*>(binder.widget(*c));
    EXPECT_NE(widget, nullptr);
    return widget;
  }
  Sample form;
  FormSet forms;
  Binder binder;
};

}  // namespace

TEST_F(BinderTest, BuildsWidgetsInPixelsFromTwips) {
  QWidget* win = binder.window(form);
  ASSERT_NE(win, nullptr);
  EXPECT_TRUE(win->isVisible());
  EXPECT_EQ(win->windowTitle(), QString("样本窗口"));
  EXPECT_EQ(win->size(), QSize((6120 - 120) / 15, (3350 - 350) / 15));
  auto* frame = w<QGroupBox>(form.frame);
  EXPECT_EQ(frame->geometry(), QRect(10, 20, 300, 160));
  EXPECT_EQ(frame->title(), QString("框架"));
  auto* button = w<QPushButton>(form.button);
  EXPECT_EQ(button->parentWidget(), frame);
  EXPECT_EQ(button->geometry(), QRect(10, 20, 80, 30));
  EXPECT_EQ(w<QComboBox>(form.list)->count(), 3);
}

TEST_F(BinderTest, UserEventsReachTheModelAndWidgetsFollowIt) {
  QTest::mouseClick(w<QPushButton>(form.button), Qt::LeftButton);
  EXPECT_EQ(form.log, (std::vector<std::string>{"click", "change clicked"}));
  EXPECT_EQ(w<QLineEdit>(form.box)->text(), QString("clicked"));
  EXPECT_EQ(w<QGroupBox>(form.frame)->title(), QString("已按"));

  form.log.clear();
  auto* edit = w<QLineEdit>(form.box);
  edit->clear();
  QTest::keyClicks(edit, "12");
  EXPECT_EQ(form.box->text(), "12");
  EXPECT_EQ(form.log.back(), "change 12");

  w<QRadioButton>(form.optB)->click();
  EXPECT_EQ(form.optA->value(), 0);
  EXPECT_EQ(form.optB->value(), 1);
  EXPECT_FALSE(w<QRadioButton>(form.optA)->isChecked());

  w<QComboBox>(form.list)->activated(2);
  EXPECT_EQ(form.list->listIndex(), 2);
  EXPECT_EQ(form.log.back(), "list 2");

  // A disabled frame disables its widgets too.
  form.frame->setEnabled(false);
  binder.refresh();
  EXPECT_FALSE(w<QPushButton>(form.button)->isEnabled());
}

TEST_F(BinderTest, RightClickOpensThePopupAndItsItemRuns) {
  QTimer::singleShot(50, [] {
    QWidget* popup = QApplication::activePopupWidget();
    ASSERT_NE(popup, nullptr);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
  });
  QTest::mouseClick(w<QGroupBox>(form.frame), Qt::RightButton, {},
                    QPoint(30, 40));
  EXPECT_EQ(form.log, (std::vector<std::string>{"down 2", "item"}));
  ASSERT_TRUE(form.lastPopup());
  EXPECT_EQ(form.lastPopup()->x, 30 * 15);
  EXPECT_EQ(form.lastPopup()->y, 40 * 15);

  form.log.clear();
  QTest::mouseClick(w<QGroupBox>(form.frame), Qt::LeftButton, {},
                    QPoint(30, 40));
  EXPECT_EQ(form.log, std::vector<std::string>{"down 1"});
}

TEST_F(BinderTest, TimersRunWhileEnabledAndUnloadRemovesTheWindow) {
  form.timer->setEnabled(true);
  binder.refresh();
  QTest::qWait(100);
  EXPECT_EQ(form.log, std::vector<std::string>{"tick"});
  form.unload();
  binder.refresh();
  EXPECT_EQ(binder.window(form), nullptr);
  // A new life of the form gets new widgets.
  form.show();
  binder.refresh();
  ASSERT_NE(binder.window(form), nullptr);
  EXPECT_EQ(w<QLineEdit>(form.box)->text(), QString(""));
}

TEST(QtDesktop, FiltersListPatternsInBothCases) {
  EXPECT_EQ(forms::qt::QtDesktop::qtFilter(
                "图纸|*.dwg;*.dxf|DWG 图纸|*.dwg|DXF 图纸|*.dxf"),
            QString("图纸 (*.dwg *.DWG *.dxf *.DXF);;DWG 图纸 (*.dwg *.DWG);;"
                    "DXF 图纸 (*.dxf *.DXF)"));
  EXPECT_EQ(forms::qt::QtDesktop::qtFilter("*.XLSX|*.XLSX|All|*.*"),
            QString("*.XLSX (*.XLSX *.xlsx);;All (*.*)"));
}

// The application lives in main, so that it goes before the process's own
// teardown.
int main(int argc, char** argv) {
  // The tests need no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return rc;
}

// The keyboard does the job: one Tab stop for a group of options whose
// arrows choose, Enter for the default button unless a handler took it,
// no Tab stop on a box that only shows, the focus where the model asks.
TEST_F(BinderTest, KeyboardChoosesPressesAndFollowsTheModelsFocus) {
  auto* a = w<QRadioButton>(form.optA);
  auto* b = w<QRadioButton>(form.optB);
  EXPECT_TRUE(a->focusPolicy() & Qt::TabFocus);
  EXPECT_FALSE(b->focusPolicy() & Qt::TabFocus);
  QWidget* win = binder.window(form);
  win->activateWindow();
  a->setFocus();
  QTest::keyClick(a, Qt::Key_Right);
  EXPECT_EQ(form.optB->value(), 1);
  EXPECT_EQ(form.optA->value(), 0);
  // The window's focus, whether or not the offscreen window is active.
  EXPECT_EQ(win->focusWidget(), b);
  EXPECT_TRUE(b->focusPolicy() & Qt::TabFocus);
  EXPECT_FALSE(a->focusPolicy() & Qt::TabFocus);
  // Past the last, round to the first.
  QTest::keyClick(b, Qt::Key_Down);
  EXPECT_EQ(form.optA->value(), 1);
  // An assistive tool's Toggle (no click) chooses as well.
  b->toggle();
  EXPECT_EQ(form.optB->value(), 1);
  EXPECT_TRUE(b->isChecked());
  EXPECT_FALSE(a->isChecked());

  form.box->setLocked(true);
  binder.refresh();
  EXPECT_FALSE(w<QLineEdit>(form.box)->focusPolicy() & Qt::TabFocus);
  form.box->setLocked(false);

  // Enter in a box presses the window's default button...
  form.button->setDefault(true);
  binder.refresh();
  form.log.clear();
  auto* edit = w<QLineEdit>(form.box);
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.log.front(), "click");
  // ...unless the box's own handler takes the key, which then asks for
  // the focus elsewhere.
  form.log.clear();
  form.box->KeyPress = [this](int& key) {
    if (key != 13) return;
    key = 0;
    form.log.push_back("enter");
    form.button->SetFocus();
  };
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(form.log, std::vector<std::string>{"enter"});
  EXPECT_EQ(win->focusWidget(), w<QPushButton>(form.button));
  // Enter on a focused button presses that button.
  form.log.clear();
  QTest::keyClick(w<QPushButton>(form.button), Qt::Key_Return);
  EXPECT_EQ(form.log.front(), "click");
}

// A right click reaches the nearest container that listens, through the
// controls that leave it alone, and the window's own last.
TEST_F(BinderTest, RightClickOnAControlOrTheWindowReachesWhoListens) {
  std::vector<std::string> seen;
  form.MouseDown = [&](int b, int, float, float) {
    seen.push_back("form " + std::to_string(b));
  };
  form.frame->MouseDown = [&](int b, int, float x, float y) {
    seen.push_back("frame " + std::to_string(b) + " " +
                   std::to_string(static_cast<int>(x / 15)) + "," +
                   std::to_string(static_cast<int>(y / 15)));
  };
  auto* button = w<QPushButton>(form.button);
  QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 6));
  // The button stands at 10,20 in the frame.
  EXPECT_EQ(seen, std::vector<std::string>{"frame 2 15,26"});
  seen.clear();
  QTest::mouseClick(binder.window(form), Qt::RightButton, {}, QPoint(380, 5));
  EXPECT_EQ(seen, std::vector<std::string>{"form 2"});
}

// A moving picture with buttons standing on it: what it carries slides out
// of sight where the buttons begin, wherever the picture has moved.
TEST(BinderBanner, APictureEndsWhereTheButtonsOnItBegin) {
  class Bannered : public Form {
   public:
    Bannered() : Form("Bannered") {}
    Control* picture = nullptr;

   protected:
    void build() override {
      setGeometry(0, 0, 9795, 3000);
      picture = &add(Kind::PictureBox, "Picture1");
      picture->setGeometry(0, 0, 19530, 615);
      add(Kind::Label, "Label3", picture).setCaption("欢迎使用");
      add(Kind::CommandButton, "ComAbout").setGeometry(5400, 120, 1335, 375);
      add(Kind::CommandButton, "Below").setGeometry(1500, 900, 1335, 375);
    }
  } form;
  FormSet forms;
  forms.add(form);
  Binder binder(forms, [](const std::function<void()>& a) {
    a();
    return true;
  });
  form.show();
  binder.refresh();
  QWidget* picture = binder.widget(*form.picture);
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->mask().boundingRect().right() + 1, 5400 / 15 - 6);
  // Moved 150 px to the left, the picture still ends at the button.
  form.picture->setLeft(-2250);
  binder.refresh();
  EXPECT_EQ(picture->mask().boundingRect().right() + 1, (5400 + 2250) / 15 - 6);
}

TEST_F(BinderTest, ABoxWithoutInputMethodSaysSoToTheInputMethod) {
  auto imEnabled = [](QWidget* w) {
    QInputMethodQueryEvent q(Qt::ImEnabled | Qt::ImHints);
    QCoreApplication::sendEvent(w, &q);
    return q.value(Qt::ImEnabled).toBool();
  };
  auto* edit = w<QLineEdit>(form.box);
  // A line edit answers by itself that it takes one.
  EXPECT_TRUE(imEnabled(edit));
  form.box->setInputMethod(false);
  binder.refresh();
  EXPECT_FALSE(imEnabled(edit));
  // Read-only and back does not turn it on again.
  form.box->setLocked(true);
  binder.refresh();
  form.box->setLocked(false);
  binder.refresh();
  EXPECT_FALSE(imEnabled(edit));
  // Its other answers are still its own.
  QInputMethodQueryEvent hints(Qt::ImHints);
  QCoreApplication::sendEvent(edit, &hints);
  EXPECT_TRUE(hints.value(Qt::ImHints).toInt() & Qt::ImhPreferNumbers);
}
