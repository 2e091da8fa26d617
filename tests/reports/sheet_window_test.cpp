// The sheet window of the program's own spreadsheet host, driven by the
// report handlers, without a display.
#include "app/sheet_window.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QStatusBar>
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
  // Formulas show their results: limits, and no verdict before a sample.
  EXPECT_EQ(shown(1, 11, 12), "10.2");
  EXPECT_EQ(shown(1, 11, 13), "10.05");
  EXPECT_EQ(shown(1, 11, 16), "");

  // A refresh shows at once.
  auto* model = w->model(1, 0);
  int changed = 0;
  QObject::connect(model, &QAbstractItemModel::dataChanged,
                   [&changed] { ++changed; });
  ctx().instrumentCodes[2] = "CMM";
  ctx().sampleCounts[2] = 2;
  ctx().samples[2] = {std::nullopt, 10.02f,       9.98f,
                      std::nullopt, std::nullopt, std::nullopt};
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_GE(changed, 3);
  EXPECT_EQ(shown(1, 12, 3), "CMM");
  EXPECT_EQ(shown(1, 12, 8), "9.98");
  // 9.98 lies below 10.2 - 0.05: NG, in the template's red.
  EXPECT_EQ(shown(1, 12, 16), "NG");
  const QModelIndex verdict = model->index(11, 15);
  EXPECT_EQ(model->data(verdict, Qt::BackgroundRole).value<QBrush>().color(),
            QColor(0xFF, 0xC7, 0xCE));
  EXPECT_EQ(model->data(verdict, Qt::ForegroundRole).value<QBrush>().color(),
            QColor(0x9C, 0x00, 0x06));
  EXPECT_TRUE(model->data(verdict, Qt::FontRole).value<QFont>().bold());
  // Within its limits: OK, without the red.
  ctx().samples[2] = {std::nullopt, 10.21f,       10.19f,
                      std::nullopt, std::nullopt, std::nullopt};
  ASSERT_TRUE(f().ComFresh->userClick());
  EXPECT_EQ(shown(1, 12, 16), "OK");
  EXPECT_NE(model->data(verdict, Qt::BackgroundRole).value<QBrush>().color(),
            QColor(0xFF, 0xC7, 0xCE));

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

TEST_F(SheetWindowTest, ASecondReportTakesTheWindowOverAfterAsking) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window(0);
  ASSERT_TRUE(w);
  // Filled and not saved: the user is asked first, and may keep it.
  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::No));
  ASSERT_TRUE(f().ComOK->userClick());
  auto m = desktop.takeMessages();
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].buttons, forms::Buttons::YesNo);
  EXPECT_NE(m[0].text.find("没保存"), std::string::npos) << m[0].text;
  EXPECT_EQ(made.size(), 1u);
  EXPECT_EQ(window(0), w);

  queue.push(forms::QueuedAnswer::of(forms::QueuedAnswer::Type::Yes));
  ASSERT_TRUE(f().ComOK->userClick());
  EXPECT_EQ(desktop.takeMessages().size(), 1u);
  ASSERT_EQ(made.size(), 2u);
  // One window, now showing the new report; the old instance is gone.
  EXPECT_EQ(window(1), w);
  EXPECT_EQ(windows->window(), w);
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->books()->count(), 2);
  EXPECT_TRUE(made[0].expired());
  EXPECT_EQ(w->currentBook(), instance(1)->findWorkbook("fai.xlsx"));

  // Saved, a third report replaces it without a question.
  fs::create_directories(dir / "out");
  for (const char* name : {"fai.xlsx", "cpk.xlsx"})
    instance(1)->saveWorkbook(name, (dir / "out" / name).string());
  ASSERT_TRUE(f().ComOK->userClick());
  for (const auto& msg : desktop.takeMessages()) ADD_FAILURE() << msg.text;
  EXPECT_EQ(made.size(), 3u);
  EXPECT_EQ(window(2), w);
}

TEST_F(SheetWindowTest, TheUserTypesWhereTheProgramDoesNotWrite) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window();
  ASSERT_TRUE(w);
  auto* model = w->model(1, 0);
  auto at = [&](int row, int column) {
    return model->index(row - 1, column - 1);
  };
  // The header's part number beside "零件号:" (B3), a number in the header.
  ASSERT_TRUE(model->flags(at(3, 2)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model->setData(at(3, 2), QString("P-0042 支架"), Qt::EditRole));
  EXPECT_TRUE(model->setData(at(4, 10), QString("12"), Qt::EditRole));
  EXPECT_TRUE(model->setData(at(4, 14), QString("007"), Qt::EditRole));
  EXPECT_EQ(shown(1, 3, 2), "P-0042 支架");
  // The program's cells and the formulas refuse, with the reason shown.
  for (auto [row, column] : {std::pair{11, 1}, {12, 7}, {11, 3}, {11, 16}}) {
    EXPECT_FALSE(model->flags(at(row, column)) & Qt::ItemIsEditable)
        << row << "," << column;
    EXPECT_FALSE(model->setData(at(row, column), QString("9"), Qt::EditRole));
  }
  EXPECT_EQ(shown(1, 11, 1), "1");
  EXPECT_FALSE(w->currentBook()->Saved());

  // Saved, what was typed is in the file: text stays text, "007" too.
  const auto out = (dir / "typed.xlsx").string();
  QString why;
  ASSERT_TRUE(w->saveCurrentAs(QString::fromStdString(out), &why))
      << why.toStdString();
  auto saved = xlsx::Workbook::open(out);
  EXPECT_EQ(saved.sheet(0).value(3, 2),
            xlsx::Value(std::string("P-0042 支架")));
  EXPECT_EQ(saved.sheet(0).value(4, 10), xlsx::Value(12.0));
  EXPECT_EQ(saved.sheet(0).value(4, 14), xlsx::Value(std::string("007")));
  EXPECT_TRUE(w->currentBook()->Saved());
  EXPECT_EQ(runs, 7);  // every typing ran through the program
}

TEST_F(SheetWindowTest, SavingProposesTheDrawingsFolderAndThenSavesInPlace) {
  writeMarks(2);
  load();
  ASSERT_TRUE(f().ComOK->userClick());
  app::SheetWindow* w = window();
  ASSERT_TRUE(w);
  QStringList asked;
  QString answer;
  w->askSavePath = [&](const QString& start) {
    asked << start;
    return answer;
  };
  QStringList opened;
  w->openFile = [&](const QString& path) {
    opened << path;
    return true;
  };
  const QString faiName =
      QString::fromStdString((dir / "work/part7-FAI.xlsx").string());
  EXPECT_EQ(w->proposedPath(), faiName);
  // Ctrl+S before any save asks where; a cancel writes nothing.
  w->save();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_EQ(asked[0], faiName);
  EXPECT_FALSE(fs::exists(dir / "work/part7-FAI.xlsx"));
  answer = faiName;
  w->save();
  ASSERT_TRUE(fs::exists(dir / "work/part7-FAI.xlsx"));
  EXPECT_EQ(w->statusBar()->currentMessage(), "已保存 " + faiName);
  // Then Ctrl+S saves there again without asking. A cell typed after the
  // save: the status line no longer says saved.
  auto* model = w->model(1, 0);
  ASSERT_TRUE(model->setData(model->index(2, 1), QString("P-7"), Qt::EditRole));
  QCoreApplication::processEvents();
  EXPECT_TRUE(w->statusBar()->currentMessage().startsWith("有没保存的修改"))
      << w->statusBar()->currentMessage().toStdString();
  w->save();
  EXPECT_EQ(w->statusBar()->currentMessage(), "已保存 " + faiName);
  EXPECT_EQ(asked.size(), 2);
  EXPECT_EQ(
      xlsx::Workbook::open(dir / "work/part7-FAI.xlsx").sheet(0).value(3, 2),
      xlsx::Value(std::string("P-7")));
  // Opening in the desktop's program hands over the saved file.
  w->openExternally();
  EXPECT_EQ(opened, QStringList{faiName});

  // The CPK workbook is proposed beside it; unsaved, opening saves first.
  w->books()->setCurrentIndex(0);
  EXPECT_EQ(w->proposedPath(),
            QString::fromStdString((dir / "work/part7-CPK.xlsx").string()));
  answer.clear();
  w->openExternally();
  EXPECT_EQ(opened.size(), 1);  // the save was cancelled: nothing opened
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
