#include "marking/zonegrid.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>
#include <tuple>

#include "dimtable/dimtable.h"
#include "forms/desktop.h"
#include "marking/marking.h"
#include "model/context.h"
#include "model/form1.h"
#include "model/zones.h"

namespace marking {

namespace {

constexpr const char* kDefaultColumns = "1-8";
constexpr const char* kDefaultRows = "A-D";

// The database of the drawing in hand, through the connection the program
// holds on it when there is one.
template <typename F>
void withDatabase(model::Form1& f, F&& use) {
  if (f.dbConn && f.dbConn->IsOpen() && f.dbConn->Path() == f.dbPath) {
    use(*f.dbConn);
    return;
  }
  dimtable::Connection own;
  own.Open(f.dbPath);
  use(own);
}

}  // namespace

std::optional<std::string> setGrid(model::AppContext& ctx,
                                   const std::string& columns,
                                   const std::string& rows) {
  struct Axis {
    const std::string& text;
    const char* emptyMessage;
    std::string first, last;
    std::int32_t count = 0;
  };
  Axis axes[2] = {{columns, "请输入从左到右的位置标签(例如 1-8)！", {}, {}, 0},
                  {rows, "请输入从下到上的位置标签(例如 A-D)！", {}, {}, 0}};
  // Both texts are checked before either half of the grid changes.
  for (Axis& a : axes) {
    if (a.text.empty()) return std::string(a.emptyMessage);
    a.first = std::string(model::firstChar(a.text));
    a.last = std::string(model::lastChar(a.text));
    a.count =
        model::labelCount(model::labelCode(a.first), model::labelCode(a.last));
    if (!model::fitsInt16(a.count))
      return a.text + " 的标签超出范围，请使用单字节字符！";
  }
  ctx.zoneColumnText = columns;
  ctx.zoneRowText = rows;
  ctx.zoneColumnFirst = axes[0].first;
  ctx.zoneColumnLast = axes[0].last;
  ctx.zoneColumnCount = axes[0].count;
  ctx.zoneRowFirst = axes[1].first;
  ctx.zoneRowLast = axes[1].last;
  ctx.zoneRowCount = axes[1].count;
  return std::nullopt;
}

void loadDrawingGrid(model::Form1& f) {
  auto& ctx = f.ctx;
  dimtable::Connection::ZoneGridText grid{kDefaultColumns, kDefaultRows};
  std::string problem;
  try {
    withDatabase(f, [&](dimtable::Connection& c) {
      if (auto stored = c.LoadZoneGrid()) grid = *stored;
    });
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (auto refusal = setGrid(ctx, grid.columns, grid.rows)) {
    problem = "“" + grid.columns + "”、“" + grid.rows + "”：" + *refusal;
    setGrid(ctx, kDefaultColumns, kDefaultRows);
  }
  if (auto* w = dynamic_cast<Frmlocation*>(ctx.forms.find("Frmlocation"));
      w && w->loaded()) {
    w->txtLtor->setText(ctx.zoneColumnText);
    w->txtLtou->setText(ctx.zoneRowText);
  }
  if (!problem.empty())
    ctx.desktop.message(
        "图纸的尺寸位置定义无法读取，现用默认的 1-8、A-D：" + problem,
        forms::Buttons::Ok, "");
}

Frmlocation::Frmlocation(model::Form1& main)
    : forms::Form("Frmlocation"), main_(main), ctx_(main.ctx) {}

void Frmlocation::build() {
  using forms::Kind;
  setCaption("尺寸位置定义窗口");
  setGeometry(0, 0, 4800, 2400);
  Label1 = &add(Kind::Label, "Label1");
  Label1->setCaption("从左到右(eg:A-H):");
  Label1->setGeometry(240, 300, 2000, 255);
  txtLtor = &add(Kind::TextBox, "txtLtor");
  txtLtor->setText(ctx_.zoneColumnText);
  txtLtor->setGeometry(2300, 240, 2000, 315);
  Label2 = &add(Kind::Label, "Label2");
  Label2->setCaption("从下到上(eg:A-H):");
  Label2->setGeometry(240, 840, 2000, 255);
  txtLtou = &add(Kind::TextBox, "txtLtou");
  txtLtou->setText(ctx_.zoneRowText);
  txtLtou->setGeometry(2300, 780, 2000, 315);
  ComOk = &add(Kind::CommandButton, "ComOk");
  ComOk->setCaption("确认");
  ComOk->setGeometry(840, 1440, 1200, 420);
  ComCancel = &add(Kind::CommandButton, "ComCancel");
  ComCancel->setCaption("取消");
  ComCancel->setGeometry(2640, 1440, 1200, 420);
  ComOk->Click = [this] { ComOk_Click(); };
  ComCancel->Click = [this] { ComCancel_Click(); };
}

void Frmlocation::ComOk_Click() {
  const std::string columns = txtLtor->text();
  const std::string rows = txtLtou->text();
  // A refused text, or a database that does not take the grid, leaves the
  // grid in use as it was.
  model::AppContext& ctx = ctx_;
  const auto before =
      std::make_tuple(ctx.zoneColumnText, ctx.zoneRowText, ctx.zoneColumnFirst,
                      ctx.zoneColumnLast, ctx.zoneColumnCount, ctx.zoneRowFirst,
                      ctx.zoneRowLast, ctx.zoneRowCount);
  if (auto refusal = setGrid(ctx, columns, rows)) {
    ctx.desktop.message(*refusal, forms::Buttons::Ok, "");
    return;
  }
  // Kept with the drawing, so every report of it, in this run or a later
  // one, places its dimensions on the same grid.
  std::error_code ec;
  if (!main_.dbPath.empty() && std::filesystem::exists(main_.dbPath, ec)) {
    try {
      withDatabase(main_, [&](dimtable::Connection& c) {
        c.SaveZoneGrid({columns, rows});
      });
    } catch (const std::exception& e) {
      std::tie(ctx.zoneColumnText, ctx.zoneRowText, ctx.zoneColumnFirst,
               ctx.zoneColumnLast, ctx.zoneColumnCount, ctx.zoneRowFirst,
               ctx.zoneRowLast, ctx.zoneRowCount) = before;
      ctx.desktop.message(
          std::string(
              "尺寸位置定义没有改变：它不能保存到图纸的尺寸数据库中。") +
              e.what(),
          forms::Buttons::Ok, "");
      return;
    }
  }
  hide();
}

void Frmlocation::ComCancel_Click() { hide(); }

void ComLdefine_Click(model::Form1& f) {
  if (forms::Form* w = f.ctx.forms.find("Frmlocation")) w->show();
}

}  // namespace marking
