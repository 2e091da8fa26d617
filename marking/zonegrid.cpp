#include "marking/zonegrid.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <system_error>
#include <tuple>

#include "forms/desktop.h"
#include "intake/dimtable.h"
#include "marking/marking.h"
#include "model/context.h"
#include "model/form1.h"

namespace marking {
namespace {

// The code point at pos and its length in bytes. A byte that does not start
// a well-formed sequence stands for itself, so every text has a code.
std::int32_t decodeAt(std::string_view s, size_t pos, size_t& length) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(pos);
  length = 1;
  size_t need = 0;
  std::int32_t code = lead;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    code = lead & 0x07;
  } else {
    return lead;
  }
  if (pos + need >= s.size()) return lead;
  for (size_t i = 1; i <= need; ++i) {
    const unsigned char c = byte(pos + i);
    if ((c & 0xC0) != 0x80) return lead;
    code = (code << 6) | (c & 0x3F);
  }
  // Overlong forms and surrogates are not characters.
  if ((need == 2 && code < 0x800) || (need == 3 && code < 0x10000) ||
      code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return lead;
  length = need + 1;
  return code;
}

// The first and the last character of a text, as substrings.
std::string_view firstChar(std::string_view s) {
  size_t n = 0;
  decodeAt(s, 0, n);
  return s.substr(0, n);
}

std::string_view lastChar(std::string_view s) {
  // A character is at most four bytes; take the one that ends the text.
  for (size_t back = std::min<size_t>(4, s.size()); back >= 1; --back) {
    const size_t pos = s.size() - back;
    size_t n = 0;
    decodeAt(s, pos, n);
    if (n == back) return s.substr(pos);
  }
  return s.substr(s.size() - 1);
}

std::string encode(std::int32_t code) {
  std::string out;
  const auto c = static_cast<std::uint32_t>(code);
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// A label character. Codes that name no printable character (a point far
// outside the extents, a degenerate grid) show as "?" rather than putting
// control characters or broken text into a workbook.
std::string labelChar(double code) {
  if (!(code >= 0x20 && code <= 0x10FFFF)) return "?";
  const auto c = static_cast<std::int32_t>(code);
  if ((c >= 0x7F && c <= 0x9F) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE ||
      c == 0xFFFF)
    return "?";
  return encode(c);
}

// code(first) + Fix(offset / size). A zero size (extents without width)
// puts every point in the first cell instead of dividing by zero.
double axisCode(const std::string& first, double offset, float size) {
  double steps = 0;
  if (size != 0) {
    const double q = offset / static_cast<double>(size);
    steps = std::isfinite(q) ? std::trunc(q) : q;
  }
  if (std::isnan(steps)) steps = 0;
  return static_cast<double>(labelCode(first)) + steps;
}

bool fitsInt16(std::int32_t v) {
  return v >= std::numeric_limits<std::int16_t>::min() &&
         v <= std::numeric_limits<std::int16_t>::max();
}

}  // namespace

std::int32_t labelCode(std::string_view text) {
  if (text.empty()) return 0;
  size_t n = 0;
  return decodeAt(text, 0, n);
}

std::int32_t labelCount(std::int32_t first, std::int32_t last) {
  return first < last ? last - first + 1 : last - first - 1;
}

float zoneSize(double extMin, double extMax, std::int32_t count) {
  if (count == 0) return 0;
  return static_cast<float>((extMax - extMin) / static_cast<double>(count));
}

std::string zoneLabel(const model::AppContext& ctx,
                      const cadhost::Point& extMin, float width, float height,
                      float x, float y) {
  const double column =
      axisCode(ctx.zoneColumnFirst, static_cast<double>(x) - extMin[0], width);
  const double row =
      axisCode(ctx.zoneRowFirst, static_cast<double>(y) - extMin[1], height);
  return labelChar(row) + labelChar(column);
}

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
  intake::Connection own;
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
    a.first = std::string(firstChar(a.text));
    a.last = std::string(lastChar(a.text));
    a.count = labelCount(labelCode(a.first), labelCode(a.last));
    if (!fitsInt16(a.count))
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
  intake::Connection::ZoneGridText grid{kDefaultColumns, kDefaultRows};
  std::string problem;
  try {
    withDatabase(f, [&](intake::Connection& c) {
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
      withDatabase(main_, [&](intake::Connection& c) {
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
