// The sheet window of the program's own spreadsheet host, driven by the
// report handlers, without a display.
#include "app/sheet_window.h"

#include <QApplication>
#include <QTabWidget>

#include "report_fixture.h"
#include "reports/xlsx/workbook.h"

using namespace report_test;

namespace {

using reports::embedded::EmbeddedSheetApplication;

// Made before the program, whose spreadsheet host it watches.
struct Windows {
  int runs = 0;
  std::shared_ptr<app::SheetWindows> windows =
      std::make_shared<app::SheetWindows>(
          [this](const std::function<void()>& action) {
            ++runs;
            action();
          });
  std::vector<std::weak_ptr<EmbeddedSheetApplication>> made;
  reports::SheetFactory factory() {
    return reports::embedded::makeSheetHost([this](const auto& app) {
      made.push_back(app);
      windows->attach(app);
    });
  }
};

class SheetWindowTest : public Windows, public Reports {
 protected:
  SheetWindowTest() : Reports(false, factory()) {}

  std::shared_ptr<EmbeddedSheetApplication> instance(size_t i = 0) {
    return made.at(i).lock();
  }
  app::SheetWindow* window(size_t i = 0) {
    auto a = instance(i);
    return a ? windows->windowOf(*a) : nullptr;
  }
  QString shown(int book, int row, int column) {
    auto* m = window()->model(book, 0);
    return m->data(m->index(row - 1, column - 1), Qt::DisplayRole).toString();
  }
};

TEST_F(SheetWindowTest, TheReportFillsTheWindowAsItWritesCells) {
  writeMarks(3);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window();
  ASSERT_TRUE(w);
  EXPECT_TRUE(w->isVisible());
  // The CPK template opened first; the FAI sheet is the one in front.
  ASSERT_EQ(w->books()->count(), 2);
  EXPECT_EQ(w->books()->tabText(0), "cpk.xlsx");
  EXPECT_EQ(w->books()->tabText(1), "fai.xlsx");
  EXPECT_EQ(w->books()->currentIndex(), 1);
  EXPECT_EQ(w->currentBook()->fileName(), "fai.xlsx");
  EXPECT_EQ(shown(1, 11, 1), "1");
  EXPECT_EQ(shown(1, 11, 4), "10.1");
  EXPECT_EQ(shown(1, 13, 6), "0.05");
  EXPECT_EQ(shown(1, 10, 1), "标号");
  // A check whose result only the spreadsheet program computes.
  EXPECT_TRUE(shown(1, 11, 16).startsWith("=IF("));

  // A refresh shows at once.
  auto* model = w->model(1, 0);
  int changed = 0;
  QObject::connect(model, &QAbstractItemModel::dataChanged,
                   [&changed] { ++changed; });
  ctx().instrumentCodes[2] = "CMM";
  ctx().sampleCounts[2] = 2;
  ctx().samples[2] = {0, 10.02f, 9.98f, 0, 0, 0};
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_GE(changed, 3);
  EXPECT_EQ(shown(1, 12, 3), "CMM");
  EXPECT_EQ(shown(1, 12, 8), "9.98");

  // "创建 CPK" brings the CPK workbook to the front.
  f().currentPosition = 3;
  ASSERT_TRUE(f().ComCPK->userClick());
  EXPECT_EQ(w->books()->currentIndex(), 0);
  EXPECT_EQ(shown(0, 8, 2), "3");
  EXPECT_EQ(shown(0, 10, 2), "10.3");
}

TEST_F(SheetWindowTest, SaveAsWritesOnlyWhereTheUserSays) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window();
  ASSERT_TRUE(w);
  const std::string before = dir.read("dimdata/fai.xlsx");
  QString why;
  const auto target = dir / "reports/part7 FAI";
  fs::create_directories(dir / "reports");
  ASSERT_TRUE(w->saveCurrentAs(QString::fromStdString(target.string()), &why))
      << why.toStdString();
  auto saved = xlsx::Workbook::open(target.string() + ".xlsx");
  EXPECT_EQ(saved.sheet(0).value(12, 4), xlsx::Value(std::string("10.2")));
  EXPECT_EQ(dir.read("dimdata/fai.xlsx"), before);

  // A folder that cannot take it: the reason, and no file.
  EXPECT_FALSE(w->saveCurrentAs(
      QString::fromStdString((dir / "no/such/x.xlsx").string()), &why));
  EXPECT_FALSE(why.isEmpty());
  EXPECT_FALSE(fs::exists(dir / "no"));
  // Nothing else was written along the way.
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir / "reports"))
    files += e.is_regular_file();
  EXPECT_EQ(files, 1u);
}

TEST_F(SheetWindowTest, ClosingTheWindowIsTheHostsClosedNotification) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window();
  ASSERT_TRUE(w);
  int asked = 0;
  bool discard = false;
  w->confirmDiscard = [&] {
    ++asked;
    return discard;
  };
  // Filled but never saved: the user is asked, and may keep the window.
  w->close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(w->isVisible());
  EXPECT_TRUE(f().ComFresh->enabled());
  EXPECT_EQ(runs, 0);

  discard = true;
  w->close();
  EXPECT_EQ(runs, 1);
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].text, "System hint!");
  EXPECT_EQ(m[0].title, "Exit Excel!");
  EXPECT_FALSE(f().ComFresh->enabled());
  EXPECT_FALSE(instance()->Visible());
  EXPECT_EQ(window(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

  // The refresh then refuses instead of writing into the unseen workbook.
  ASSERT_TRUE(f().mnuFresh->userClick());
  EXPECT_EQ(messages(),
            std::vector<std::string>{"FAI报表已经关闭，请重新创建 FAI！"});
}

TEST_F(SheetWindowTest, AnEarlierReportKeepsItsWindowUntilTheUserClosesIt) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_TRUE(f().ComOK->userClick());
  ASSERT_EQ(made.size(), 2u);
  // The program let the first instance go; its window still holds it.
  app::SheetWindow* first = window(0);
  ASSERT_TRUE(first);
  ASSERT_TRUE(window(1));
  EXPECT_TRUE(first->isVisible());
  first->confirmDiscard = [] { return true; };
  first->close();
  // Only the report in hand tells the main window of its closing.
  EXPECT_TRUE(messages().empty());
  EXPECT_TRUE(f().ComFresh->enabled());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(made[0].expired());
  EXPECT_FALSE(made[1].expired());
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return rc;
}
