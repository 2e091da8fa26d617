#include "marking/drawing_state.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "browse/browser.h"
#include "browse/results.h"
#include "dimtable/dimtable.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "intake/opening.h"
#include "marking/marks.h"
#include "marking/zonegrid.h"
#include "model/form1.h"

namespace marking {
namespace fs = std::filesystem;
using forms::resumeNext;

namespace {

void say(model::Form1& f, const std::string& text) {
  f.ctx.desktop.message(text, forms::Buttons::Ok, "");
}

std::string fileName(const std::string& path) {
  return fs::path(path).filename().string();
}

cadhost::EntityRef drawnAt(const std::vector<cadhost::EntityRef>& v,
                           std::int32_t p) {
  const auto i = static_cast<size_t>(p);
  return i < v.size() ? v[i] : nullptr;
}

// The panel shows the file and marking frames only, as before numbering.
void foldPanel(model::Form1& f) {
  f.setHeight(f.Frame2->height() + f.Picture1->height() + 350 +
              f.FrmSort->height());
}

// For a DWG whose marked drawing went to a DXF of the same name.
std::string savedAsHint(const std::string& drawing) {
  fs::path p(drawing);
  std::string ext = p.extension().string();
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".dwg") return {};
  std::error_code ec;
  for (const char* dxf : {".dxf", ".DXF"}) {
    fs::path beside = p;
    beside.replace_extension(dxf);
    if (fs::is_regular_file(beside, ec))
      return "（如同名的“" + beside.filename().string() + "”）";
  }
  return {};
}

// A numbered database whose drawing holds none of its marks: told, and
// the drawing read afresh when the user wants it numbered again.
void checkMarksOnOpening(model::Form1& f) {
  auto& ctx = f.ctx;
  if (f.newDatabase || !ctx.cadDoc || !ctx.modelSpace) return;
  std::vector<browse::SoughtMark> sought;
  size_t measured = 0;
  try {
    dimtable::Connection c;
    c.Open(f.dbPath);
    dimtable::Recordset rs;
    rs.Open(c, "dim1");
    if (rs.RecordCount() == 0) return;
    for (rs.MoveFirst(); !rs.Eof(); rs.MoveNext())
      sought.push_back({rs.Get("marknum").asText(), rs.Get("DIMX").asDouble(),
                        rs.Get("DIMY").asDouble()});
    measured = c.LoadMeasurements().size();
  } catch (const std::exception&) {
    return;  // "已经标号" tells what is wrong with the table
  }
  try {
    if (ctx.modelSpace->Count() == 0) return;
  } catch (const std::exception&) {
    return;  // a drawing that cannot be looked through is not judged
  }
  for (const auto& parts : browse::locateMarks(*ctx.modelSpace, sought))
    if (parts[0] || parts[1]) return;

  std::string question =
      "图纸“" + fileName(f.drawingPath) + "”的尺寸数据库“" +
      fileName(f.dbPath) + "”记录了 " + std::to_string(sought.size()) +
      " 个标号，但图纸中一个也没有找到。可能是标号时程序被中断，标号没有保存"
      "到图纸中；也可能标号后的图纸另存为了别的文件" +
      savedAsHint(f.drawingPath) +
      "。\n是否重新标号？\n选“是”：放弃数据库中的"
      "标号记录";
  if (measured > 0)
    question += "和已输入的 " + std::to_string(measured) + " 个尺寸的测量值";
  question +=
      "，图纸按新图纸读入，可以重新标号。\n选“否”：保持不变，可按“已经标号”"
      "载入记录。";
  if (ctx.desktop.message(question, forms::Buttons::YesNo, "") !=
      forms::Answer::Yes)
    return;
  try {
    dimtable::Connection c;
    c.Open(f.dbPath);
    c.DeleteRowsFrom(1);
  } catch (const std::exception& e) {
    say(f, std::string("标号记录没有放弃，尺寸数据库保持不变：") + e.what());
    return;
  }
  try {
    intake::readAsNew(f);
  } catch (const std::exception& e) {
    say(f,
        std::string("AutoCAD启动出现错误！请检查AutoCAD系统！\n") + e.what());
  }
}

// The marks of this run's numbering, if every numbered position has one
// drawn (adopted marks, or a numbering loaded from before, have none).
bool drawnThisRun(const model::Form1& f) {
  if (!f.newDatabase || f.markedCount <= 0) return false;
  for (std::int32_t p = 1; p <= f.markedCount; ++p)
    if (!drawnAt(f.markCircles, p) && !drawnAt(f.markTexts, p)) return false;
  return true;
}

bool markAlive(const model::Form1& f, std::int32_t p) {
  return browse::alive(drawnAt(f.markCircles, p)) ||
         browse::alive(drawnAt(f.markTexts, p));
}

// The browse list and panels back for the marks in the drawing.
void showPanel(model::Form1& f) {
  if (!f.dimRs) openTable(f);
  if (!f.dimRs) return;
  after(f);
  // The user is at work in the drawing: the focus stays where it is.
  f.takeFocusRequest();
  f.comSort->setEnabled(false);
  f.ComHadmark->setEnabled(false);
}

}  // namespace

void drawingOpened(model::Form1& f) {
  loadDrawingGrid(f);
  checkMarksOnOpening(f);
}

bool giveUpNumbering(model::Form1& f, std::int32_t first) {
  auto& ctx = f.ctx;
  const std::int32_t last = f.markedCount;
  try {
    if (f.dbConn && f.dbConn->IsOpen() && f.dbConn->Path() == f.dbPath) {
      f.dbConn->DeleteRowsFrom(first);
    } else {
      auto conn = std::make_shared<dimtable::Connection>();
      conn->Open(f.dbPath);
      conn->DeleteRowsFrom(first);
      f.dbConn = std::move(conn);
    }
  } catch (const std::exception& e) {
    say(f,
        std::string("标号记录没有从尺寸数据库中删除，保持不变：") + e.what());
    return false;
  }
  // The recordset reads the table as it is now.
  f.dimRs.reset();
  resumeNext([&] {
    auto rs = std::make_shared<dimtable::Recordset>();
    rs->Open(*f.dbConn, "dim1");
    f.dimRs = std::move(rs);
  });
  for (std::int32_t p = first; p <= last; ++p) {
    browse::storeMeasurement(ctx, p, {});
    for (auto* marks : {&f.markCircles, &f.markTexts})
      if (static_cast<size_t>(p) < marks->size())
        (*marks)[static_cast<size_t>(p)].reset();
  }
  std::erase_if(f.unsavedMeasurements,
                [first](std::int32_t p) { return p >= first; });
  f.numberedRows = std::max(0, f.numberedRows - (last - first + 1));
  f.markedCount = static_cast<std::int16_t>(first - 1);
  // Zone and free marking go on from the first position given back.
  f.freeNext = static_cast<std::int16_t>(first);
  f.zoneGroupStart = static_cast<std::int16_t>(first);
  f.zoneMarkedCount = static_cast<std::int16_t>(first - 1);
  for (forms::Control* c : {f.ComPart, f.ComFree}) c->setEnabled(true);
  if (f.markedCount > 0) {
    showPanel(f);
  } else {
    f.Combo1->clear();
    f.currentPosition = 0;
    foldPanel(f);
    f.FrmDimen->setEnabled(false);
    f.ComReview->setEnabled(false);
    f.FrmInput->setEnabled(false);
    for (forms::Control* c : {f.comSort, f.ComHadmark, f.mnuAutomark,
                              f.mnuPartmark, f.mnuFreemark, f.mnuHadmark})
      c->setEnabled(true);
  }
  browse::showResults(f);
  return true;
}

void drawingUndone(model::Form1& f) {
  try {
    if (!drawnThisRun(f)) return;
    const std::int32_t n = f.markedCount;
    std::int32_t kept = 0;
    for (std::int32_t p = n; p >= 1 && kept == 0; --p)
      if (markAlive(f, p)) kept = p;
    const bool listed = f.Combo1->listCount() > 0;
    if (kept == n) {
      // "撤消标号" taken back: the marks are there, and so is the panel.
      if (!listed) showPanel(f);
      return;
    }
    // Marks taken off by "撤消标号" keep their rows, as it says.
    if (!listed) return;
    const std::int32_t first = kept + 1;
    std::int32_t measured = 0;
    for (std::int32_t p = first; p <= n; ++p)
      if (browse::measurementOf(f.ctx, p).measured()) ++measured;
    if (measured > 0) {
      const std::string from = browse::markNumber(f, first);
      const std::string to = browse::markNumber(f, n);
      const std::string range = first == n
                                    ? "第 " + from + " 号标号"
                                    : "第 " + from + " 至 " + to + " 号标号";
      const std::string question =
          "撤消后，" + range +
          "已不在图纸中，它们的记录仍在尺寸数据库中，其中 " +
          std::to_string(measured) +
          " 个尺寸已输入测量值。\n是否放弃这些标号，以便重新标号？放弃后这些"
          "测量值将被删除。";
      if (f.ctx.desktop.message(question, forms::Buttons::YesNo, "") !=
          forms::Answer::Yes)
        return;
    }
    giveUpNumbering(f, first);
  } catch (const std::exception& e) {
    // Nothing of the undo itself is taken back: it is the user's.
    say(f, std::string("程序错误：") + e.what());
  }
}

}  // namespace marking
