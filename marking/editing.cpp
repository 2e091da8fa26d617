// The marking menu's edits of the marks drawn: colour, layer, move, size,
// delete. Each is one change for the CAD host's undo, and one that fails
// part way is taken back whole; marks the user erased are passed over.
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "marking/marking.h"
#include "marking/marks.h"
#include "model/form1.h"

namespace marking {
namespace {

using forms::resumeNext;

constexpr const char* kNotConcrete =
    "请选择具体的层名或具体的颜色，不可绑定层或块！";
constexpr const char* kHostFailed = "程序发生错误，可能是AutoCAD 已经关闭！";

void say(model::Form1& f, const std::string& text) {
  f.ctx.desktop.message(text, forms::Buttons::Ok, "");
}

// A system variable as text, numbers without a fraction as whole numbers.
std::string variableText(const cadhost::Variable& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (const auto* d = std::get_if<double>(&v)) return forms::DoubleText(*d);
  throw cadhost::HostError("the variable is a point");
}

cadhost::Entity* entityAt(std::vector<cadhost::EntityRef>& list, int p) {
  if (p < 0 || static_cast<size_t>(p) >= list.size()) return nullptr;
  return list[static_cast<size_t>(p)].get();
}

struct Mark {
  cadhost::Entity* circle;  // null where drawing it failed, or erased
  cadhost::Entity* text;
};

// The drawing still answers: an entity that does not was erased from it.
bool drawingOpen(model::Form1& f) {
  return f.ctx.cadDoc &&
         resumeNext([&] { (void)f.ctx.cadDoc->GetModelSpace(); });
}

bool erased(cadhost::Entity* e) {
  return e && !resumeNext([&] { (void)e->ObjectName(); });
}

// Runs `change` on the marks of positions 1 to markedCount as one change
// for the CAD host's undo. `change` counts the host's changes it made; when
// one fails, those made so far are taken back and the reason returned.
// Parts the user erased are left out, so one erased mark does not stop
// the edit of the others; `what` names the edit in the note of them.
template <typename F>
std::optional<std::string> eachMark(model::Form1& f, const char* what,
                                    F&& change) {
  int changed = 0;
  std::optional<std::string> failure;
  std::vector<int> skipped;
  int marks = 0;
  // A closed drawing answers nothing: that is a failure, not erased marks.
  const bool open = drawingOpen(f);
  {
    UndoMark oneStep(f);
    for (int p = 1; p <= f.markedCount && !failure; ++p) {
      f.loopIndex = p;
      Mark m{entityAt(f.markCircles, p), entityAt(f.markTexts, p)};
      if (m.circle || m.text) ++marks;
      const bool circleGone = open && erased(m.circle);
      const bool textGone = open && erased(m.text);
      if (circleGone || textGone) {
        skipped.push_back(p);
        if (circleGone) m.circle = nullptr;
        if (textGone) m.text = nullptr;
      }
      try {
        change(m, changed);
      } catch (const std::exception& e) {
        failure = "第 " + std::to_string(p) + " 个标号：" + e.what();
      }
    }
  }
  if (failure && changed > 0)
    resumeNext([&] { f.ctx.cadDoc->SendCommand("Undo\r\r"); });
  if (!failure && static_cast<int>(skipped.size()) == marks && marks > 0) {
    say(f, std::string(what) + "：" + std::to_string(marks) +
               " 个标号都已从图中删除，没有可改的标号。");
  } else if (!failure && !skipped.empty()) {
    std::string list;
    for (std::size_t i = 0; i < skipped.size() && i < 10; ++i)
      list += (i ? "、" : "") + std::to_string(skipped[i]);
    if (skipped.size() > 10) list += "……";
    say(f, std::string(what) + "：跳过了已从图中删除的 " +
               std::to_string(skipped.size()) + " 个标号（第 " + list +
               " 个），其余标号已完成。");
  }
  return failure;
}

// Both parts of each mark, circle first.
template <typename F>
std::optional<std::string> eachEntity(model::Form1& f, const char* what,
                                      F&& change) {
  return eachMark(f, what, [&](const Mark& m, int& changed) {
    for (cadhost::Entity* e : {m.circle, m.text}) {
      if (!e) continue;
      change(*e);
      ++changed;
    }
  });
}

void scaleMarks(model::Form1& f, double factor, const char* what) {
  auto failure = eachMark(f, what, [&](const Mark& m, int& changed) {
    // Without its circle a mark has no centre to scale about.
    if (!m.circle) return;
    // The text is scaled about the circle's centre, so it stays inside.
    m.circle->ScaleEntity(m.circle->center(), factor);
    ++changed;
    if (!m.text) return;
    m.text->ScaleEntity(m.circle->center(), factor);
    ++changed;
  });
  if (failure) say(f, kHostFailed);
}

// True when the drawing is open and not one mark of the list is left in
// it: a second undo, or marks the user took back in the CAD window.
bool marksAllGone(model::Form1& f) {
  if (!drawingOpen(f)) return false;
  for (int p = 1; p <= f.markedCount; ++p)
    for (cadhost::Entity* e :
         {entityAt(f.markCircles, p), entityAt(f.markTexts, p)})
      if (e && resumeNext([&] { (void)e->ObjectName(); })) return false;
  return true;
}

}  // namespace

void mnuColor_Click(model::Form1& f) {
  auto& doc = f.ctx.cadDoc;
  std::string c;
  try {
    if (!doc) throw cadhost::HostError("没有打开的图纸");
    c = variableText(doc->GetVariable("CECOLOR"));
  } catch (const std::exception& e) {
    say(f, std::string("设置颜色失败，标号没有改变：") + e.what());
    return;
  }
  if (c == "byblock" || c == "bylayer") {
    say(f, kNotConcrete);
    return;
  }
  // The host takes the colour's text as its number.
  const auto number = forms::ParseNumber(c);
  if (!number || *number != std::trunc(*number) || std::fabs(*number) > 1e6) {
    say(f, "设置颜色失败，标号没有改变：当前颜色“" + c + "”不是颜色号");
    return;
  }
  const int color = static_cast<int>(*number);
  auto failure =
      eachEntity(f, "设置颜色", [&](cadhost::Entity& e) { e.SetColor(color); });
  if (failure) say(f, "设置颜色失败，标号没有改变。\n" + *failure);
}

void mnuLayout_Click(model::Form1& f) {
  auto& doc = f.ctx.cadDoc;
  std::string layer;
  try {
    if (!doc) throw cadhost::HostError("没有打开的图纸");
    layer = variableText(doc->GetVariable("CLAYER"));
  } catch (const std::exception& e) {
    say(f, std::string("设置图层失败，标号没有改变：") + e.what());
    return;
  }
  auto failure =
      eachEntity(f, "设置图层", [&](cadhost::Entity& e) { e.SetLayer(layer); });
  if (failure) say(f, "设置图层失败，标号没有改变。\n" + *failure);
}

void mnuMovemark_Click(model::Form1& f) {
  auto& doc = f.ctx.cadDoc;
  showCadWindow(f);
  cadhost::Point from{}, to{};
  try {
    if (!doc) throw cadhost::HostError("没有打开的图纸");
    cadhost::Utility& picks = doc->GetUtility();
    from = picks.GetPoint(std::nullopt, "FROM POINT: ");
    to = picks.GetPoint(std::nullopt, "TO POINT: ");
  } catch (const cadhost::Cancelled&) {
    return;  // the user's Esc: nothing moves, and they know why
  } catch (const std::exception& e) {
    say(f, std::string("移动标号失败，标号没有移动：") + e.what());
    return;
  }
  auto failure =
      eachEntity(f, "移动标号", [&](cadhost::Entity& e) { e.Move(from, to); });
  if (failure) say(f, "移动标号失败，标号没有移动。\n" + *failure);
}

void mnuScalemax_Click(model::Form1& f) { scaleMarks(f, 1.25, "放大标号"); }

void mnuScalemin_Click(model::Form1& f) { scaleMarks(f, 0.8, "缩小标号"); }

void mnuUndo_Click(model::Form1& f) {
  if (!marksAllGone(f)) {
    auto failure =
        eachEntity(f, "撤消标号", [](cadhost::Entity& e) { e.Delete(); });
    if (failure) {
      say(f, kHostFailed);
      return;
    }
  }
  // The rows, markedCount and the numbering state stay: the table keeps
  // what was numbered.
  f.Combo1->clear();
  f.setHeight(f.Frame2->height() + f.Picture1->height() + 350 +
              f.FrmSort->height());
}

}  // namespace marking
