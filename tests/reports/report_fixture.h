// The program on the scripted CAD host and desktop with a drawing that was
// numbered before: its table lies beside it, and "已经标号" loads it. The
// spreadsheet host is the scripted one or the program's own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "app/program.h"
#include "fakes/fake_cad.h"
#include "fakes/fake_sheet.h"
#include "fakes/temp_dir.h"
#include "forms/scripted_desktop.h"
#include "intake/dimtable.h"
#include "reports/embedded/embedded_host.h"

namespace report_test {

namespace fs = std::filesystem;

// One row of dim1 as a numbering writes it.
struct TableRow {
  int mark;
  std::string value;
  float up = 0.1f;
  float low = 0.1f;
  float x = 0;
  float y = 0;
  std::string type = "正交尺寸";
  int entity = 2;
};

class Reports : public ::testing::Test {
 protected:
  // With a factory of its own the test brings its own spreadsheet host.
  explicit Reports(bool embedded = false, reports::SheetFactory own = {})
      : desktop(queue) {
    fs::copy("dimdata", dir / "dimdata", fs::copy_options::recursive);
    drawing = (dir / "work/part7.dxf").string();
    dbPath = (dir / "work/part7.mdb").string();
    dir.write("work/part7.dxf", "0\nEOF\n");
    doc = host->addDocument(drawing);
    doc->modelSpace.add("AcDbLine");
    doc->modelSpace.add("AcDbLine");
    reports::SheetFactory sheets = std::move(own);
    if (!sheets && embedded) {
      sheets = reports::embedded::makeSheetHost(
          [this](const auto& app) { embeddedApps.push_back(app); });
    } else if (!sheets) {
      sheets = [this](const std::string& cls) -> reports::SheetApplicationRef {
        if (cls != "excel.application")
          throw reports::SheetError("no class " + cls);
        fakeApps.push_back(std::make_shared<fakes::FakeSheetApplication>());
        return fakeApps.back();
      };
    }
    program = std::make_unique<app::Program>(
        desktop,
        [this](const std::string&) {
          return std::static_pointer_cast<cadhost::Application>(host);
        },
        sheets, dir.path());
    program->start();
    program->splash.Timer1->tick();
  }

  model::Form1& f() { return program->main; }
  model::AppContext& ctx() { return program->ctx; }

  // The table of a drawing numbered before, rows in mark order.
  void writeTable(const std::vector<TableRow>& rows) {
    intake::copyTemplate((dir / "dimdata/dimen.mdb").string(), dbPath);
    intake::Connection c;
    c.Open(dbPath);
    intake::Recordset rs;
    rs.Open(c, "dim1");
    for (const TableRow& r : rows) {
      rs.AddNew();
      rs.Set("DIMNUM", r.entity);
      rs.Set("DIMVALUE", r.value);
      rs.Set("DIMUP", r.up);
      rs.Set("DIMLOW", r.low);
      rs.Set("DIMTYPE", r.type);
      rs.Set("DIMCHECK", false);
      rs.Set("DIMX", r.x);
      rs.Set("DIMY", r.y);
      rs.Set("marknum", r.mark);
    }
    rs.Update();
    c.Close();
    if (!marksInDrawing) return;
    for (const TableRow& r : rows) drawMark(r.mark, r.x, r.y);
  }

  // A drawing numbered before holds its marks: a number ringed beside its
  // dimension's text, as a numbering draws it.
  bool marksInDrawing = true;
  void drawMark(int mark, float x, float y) {
    auto circle = doc->modelSpace.add("AcDbCircle");
    circle->centerPoint = cadhost::Point{x - 7.5, y + 1.25, 0};
    circle->radius = 2.5;
    auto text = doc->modelSpace.add("AcDbText");
    text->textString = std::to_string(mark);
    text->insertion = cadhost::Point{x - 9.5, y + 0.25, 0};
    text->textHeight = 3;
  }

  // Marks 1..n with values "10.n", text positions spread over the extents.
  void writeMarks(int n) {
    std::vector<TableRow> rows;
    for (int i = 1; i <= n; ++i)
      rows.push_back({i, "10." + std::to_string(i), 0.1f, 0.05f,
                      static_cast<float>(i * 10), 20});
    writeTable(rows);
  }

  // "浏览", the file type window, the dialog, "确定".
  void open() {
    f().Com1->userClick();
    program->form2.Option1->userClick();
    queue.push(forms::QueuedAnswer::file(drawing));
    program->form2.Command1->userClick();
    f().Com2->userClick();
  }

  // Opens the known drawing and loads it with "已经标号".
  void load() {
    open();
    ASSERT_FALSE(f().newDatabase);
    ASSERT_TRUE(f().ComHadmark->userClick());
    ASSERT_TRUE(messages().empty());
  }

  std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const auto& m : desktop.takeMessages()) out.push_back(m.text);
    return out;
  }

  fakes::TempDir dir;
  std::string drawing;
  std::string dbPath;
  forms::AnswerQueue queue;
  forms::ScriptedDesktop desktop;
  std::shared_ptr<fakes::FakeApplication> host =
      std::make_shared<fakes::FakeApplication>();
  std::shared_ptr<fakes::FakeDocument> doc;
  std::vector<std::shared_ptr<fakes::FakeSheetApplication>> fakeApps;
  std::vector<std::weak_ptr<reports::embedded::EmbeddedSheetApplication>>
      embeddedApps;
  std::unique_ptr<app::Program> program;
};

class EmbeddedReports : public Reports {
 protected:
  EmbeddedReports() : Reports(true) {}

  std::shared_ptr<reports::embedded::EmbeddedSheetApplication> app() {
    return std::dynamic_pointer_cast<
        reports::embedded::EmbeddedSheetApplication>(f().excelApp);
  }
};

}  // namespace report_test
