// The embedded spreadsheet host as the report handlers and a window see it.
#include <gtest/gtest.h>

#include <algorithm>

#include "sheethost/embedded/embedded_host.h"
#include "zip_fixture.h"

using sheethost::CellValue;
using sheethost::SheetError;
using sheethost::embedded::EmbeddedSheetApplication;
using sheethost::embedded::EmbeddedWorkbook;

namespace {

template <typename F>
std::string errorOf(F&& f) {
  try {
    f();
  } catch (const SheetError& e) {
    return e.what();
  }
  return "";
}

std::shared_ptr<EmbeddedSheetApplication> newHost() {
  auto app = sheethost::embedded::makeSheetHost()("excel.application");
  return std::dynamic_pointer_cast<EmbeddedSheetApplication>(app);
}

struct Recorder : sheethost::embedded::SheetObserver {
  std::vector<std::string> events;
  void workbookOpened(EmbeddedWorkbook& book) override {
    events.push_back("opened " + book.fileName());
  }
  void cellChanged(EmbeddedWorkbook& book, int sheet, int row,
                   int column) override {
    events.push_back("cell " + book.fileName() + " " + std::to_string(sheet) +
                     " " + std::to_string(row) + "," + std::to_string(column));
  }
  void sheetActivated(EmbeddedWorkbook& book, int sheet) override {
    events.push_back("active " + book.fileName() + " " + std::to_string(sheet));
  }
  void visibilityChanged(bool visible) override {
    events.push_back(visible ? "shown" : "hidden");
  }
};

class SheetHost : public ::testing::Test {
 protected:
  void SetUp() override {
    fixture::BookSpec two;
    two.moreSheets = {{"第二", "<sheetData/>"}};
    fixture::writeWorkbook(dir / "fai.xlsx", two);
    fixture::writeWorkbook(dir / "cpk.xlsx", {});
    std::filesystem::create_directories(dir / "saved");
    fixture::writeWorkbook(dir / "saved" / "FAI.xlsx", {});
  }
  std::string path(const std::string& name) const {
    return (dir / name).string();
  }

  fixture::TempDir dir;
};

}  // namespace

TEST_F(SheetHost, CreateObjectKnowsOnlyTheSpreadsheetClass) {
  std::vector<std::shared_ptr<EmbeddedSheetApplication>> created;
  auto factory = sheethost::embedded::makeSheetHost(
      [&](const auto& app) { created.push_back(app); });
  auto first = factory("excel.application");
  auto second = factory("Excel.Application");
  ASSERT_EQ(created.size(), 2u);
  EXPECT_EQ(created[0], first);
  EXPECT_NE(first, second);
  EXPECT_FALSE(first->Visible());
  EXPECT_NE(errorOf([&] {
              factory("word.application");
            }).find("CreateObject(\"word.application\"): no such class"),
            std::string::npos);
  EXPECT_EQ(created.size(), 2u);
}

TEST_F(SheetHost, OpenRefusesWhatIsNoWorkbookAndNamesTheFile) {
  auto app = newHost();
  const std::string missing = path("nothing.xlsx");
  EXPECT_NE(
      errorOf([&] { app->Open(missing); }).find(missing + ": no such file"),
      std::string::npos);
  fixture::writeFile(dir / "text.xlsx", "plain text");
  EXPECT_NE(errorOf([&] { app->Open(path("text.xlsx")); }).find("text.xlsx"),
            std::string::npos);
  EXPECT_TRUE(app->workbooks().empty());

  // The same file again is the workbook already open; another file of the
  // same name is refused, since names identify the workbooks.
  auto fai = app->Open(path("fai.xlsx"));
  EXPECT_EQ(app->Open(path("fai.xlsx")), fai);
  EXPECT_NE(errorOf([&] {
              app->Open(path("saved/FAI.xlsx"));
            }).find("a workbook named fai.xlsx is already open"),
            std::string::npos);
  EXPECT_EQ(app->workbooks().size(), 1u);
}

TEST_F(SheetHost, SheetsActivationAndCellsBehaveAsTheHandlersRelyOn) {
  auto app = newHost();
  auto book = app->Open(path("fai.xlsx"));
  auto first = book->Worksheets(1);
  EXPECT_EQ(book->Worksheets(1), first);
  EXPECT_EQ(book->ActiveSheet(), first);
  auto second = book->Worksheets(2);
  second->Activate();
  EXPECT_EQ(book->ActiveSheet(), second);
  EXPECT_NE(errorOf([&] { book->Worksheets(3); }).find("has 2 worksheet"),
            std::string::npos);
  EXPECT_NE(errorOf([&] { book->Worksheets(0); }).find("Worksheets(0)"),
            std::string::npos);

  first->SetCell(11, 1, CellValue(3.0));
  first->SetCell(11, 2, CellValue(std::string("A1")));
  first->SetCell(11, 5, CellValue(0.1f));
  first->SetCell(11, 6, CellValue(25.4 - static_cast<double>(0.05f)));
  first->SetCell(11, 7, CellValue(std::string("to be cleared")));
  first->SetCell(11, 7, CellValue());
  EXPECT_EQ(std::get<double>(first->GetCell(11, 1)), 3.0);
  EXPECT_EQ(std::get<std::string>(first->GetCell(11, 2)), "A1");
  // A single is stored as its own shortest text and reads back as 0.1.
  EXPECT_EQ(std::get<double>(first->GetCell(11, 5)), 0.1);
  EXPECT_EQ(std::get<double>(first->GetCell(11, 6)), 25.34999999925494);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(first->GetCell(11, 7)));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(second->GetCell(11, 1)));
  EXPECT_NE(errorOf([&] { first->GetCell(0, 1); }).find("outside the sheet"),
            std::string::npos);
  EXPECT_NE(errorOf([&] {
              first->SetCell(1, 1, CellValue(std::string("\xFF")));
            }).find("UTF-8"),
            std::string::npos);
}

TEST_F(SheetHost, ObserversHearOpeningsChangesAndVisibility) {
  auto app = newHost();
  auto recorder = std::make_shared<Recorder>();
  app->addObserver(recorder);
  {
    auto gone = std::make_shared<Recorder>();
    app->addObserver(gone);
  }
  auto cpk = app->Open(path("cpk.xlsx"));
  auto fai = app->Open(path("fai.xlsx"));
  fai->Worksheets(2)->Activate();
  fai->Worksheets(1)->SetCell(12, 3, CellValue(std::string("卡尺")));
  app->SetVisible(true);
  app->SetVisible(true);
  EXPECT_TRUE(app->Visible());
  EXPECT_EQ(recorder->events,
            (std::vector<std::string>{"opened cpk.xlsx", "opened fai.xlsx",
                                      "active fai.xlsx 2",
                                      "cell fai.xlsx 1 12,3", "shown"}));

  auto faiBook = std::dynamic_pointer_cast<EmbeddedWorkbook>(fai);
  ASSERT_TRUE(faiBook);
  EXPECT_EQ(faiBook->worksheetName(2), "第二");
  EXPECT_EQ(faiBook->activeIndex(), 2);
  EXPECT_EQ(faiBook->sheetContent(1).usedRange().text(), "C12");
}

TEST_F(SheetHost, NothingIsSavedUnlessAskedAndSaveAsFindsBooksByName) {
  const std::string before = fixture::readFile(dir / "fai.xlsx");
  {
    auto app = newHost();
    auto book = app->Open(path("fai.xlsx"));
    book->Worksheets(1)->SetCell(11, 1, CellValue(1.0));
    EXPECT_NE(errorOf([&] {
                app->saveWorkbook("fai.xlsx", path("fai.xlsx"));
              }).find("opened from"),
              std::string::npos);
    EXPECT_NE(errorOf([&] {
                app->saveWorkbook("dim.xlsx", path("out.xlsx"));
              }).find("no open workbook is named dim.xlsx"),
              std::string::npos);
    app->saveWorkbook("FAI.XLSX", path("out.xlsx"));
    app->saveWorkbook(path("fai.xlsx"), path("out2.xlsx"));
    EXPECT_EQ(app->findWorkbook("fai.xlsx"), book);
    EXPECT_EQ(app->findWorkbook("cpk.xlsx"), nullptr);
  }
  EXPECT_EQ(fixture::readFile(dir / "fai.xlsx"), before);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"cpk.xlsx", "fai.xlsx", "out.xlsx",
                                             "out2.xlsx", "saved"}));

  auto app = newHost();
  auto saved = app->Open(path("out.xlsx"));
  EXPECT_EQ(std::get<double>(saved->Worksheets(1)->GetCell(11, 1)), 1.0);
}

TEST_F(SheetHost, ClosingTheWindowRunsTheClosedHandler) {
  auto app = newHost();
  auto recorder = std::make_shared<Recorder>();
  app->addObserver(recorder);
  int closed = 0;
  app->SetClosedHandler([&] { ++closed; });
  app->SetVisible(true);
  app->closeWindow();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(app->Visible());
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"shown", "hidden"}));
  // A handler may replace itself while it runs.
  app->SetClosedHandler([&] {
    ++closed;
    app->SetClosedHandler({});
  });
  app->closeWindow();
  app->closeWindow();
  EXPECT_EQ(closed, 2);
}

TEST_F(SheetHost, SheetsOutliveTheirWorkbookAndInstance) {
  sheethost::WorksheetRef sheet;
  auto recorder = std::make_shared<Recorder>();
  {
    auto app = newHost();
    app->addObserver(recorder);
    sheet = app->Open(path("cpk.xlsx"))->Worksheets(1);
  }
  sheet->SetCell(8, 2, CellValue(std::string("5")));
  sheet->Activate();
  EXPECT_EQ(std::get<std::string>(sheet->GetCell(8, 2)), "5");
  EXPECT_EQ(recorder->events, (std::vector<std::string>{"opened cpk.xlsx"}));
}
