// The zone grid: the window that defines the labels of the drawing's columns
// and rows, and the label of a point that the reports print as its location.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cadhost/host.h"
#include "forms/form.h"

namespace model {
struct AppContext;
class Form1;
}  // namespace model

namespace marking {

// "尺寸位置定义窗口". Its buttons only hide it, so the boxes keep what the user
// typed last. The grid confirmed is kept in the open drawing's database.
class Frmlocation : public forms::Form {
 public:
  explicit Frmlocation(model::Form1& main);

  forms::Control* Label1 = nullptr;
  forms::Control* txtLtor = nullptr;
  forms::Control* Label2 = nullptr;
  forms::Control* txtLtou = nullptr;
  forms::Control* ComOk = nullptr;
  forms::Control* ComCancel = nullptr;

  void ComOk_Click();
  void ComCancel_Click();

 protected:
  void build() override;

 private:
  model::Form1& main_;
  model::AppContext& ctx_;
};

// The grid of two label texts ("1-8", "A-D") becomes the one in use; the
// message that refuses them (nothing changes then) when they give none.
std::optional<std::string> setGrid(model::AppContext& ctx,
                                   const std::string& columns,
                                   const std::string& rows);

// The grid of the drawing just opened: the one stored in its database, or
// the default 1-8, A-D for a drawing without one. The window's boxes show
// it.
void loadDrawingGrid(model::Form1& f);

// The character code of a label: the first code point of a UTF-8 text
// (a stray byte counts as its own value). 0 for an empty text.
std::int32_t labelCode(std::string_view text);

// The label count of "first…last": b - a + 1 when a < b, else b - a - 1.
std::int32_t labelCount(std::int32_t first, std::int32_t last);

// Column width (or row height) of the grid over one axis of the extents;
// negative when the labels run downwards.
float zoneSize(double extMin, double extMax, std::int32_t count);

// Row character followed by column character, e.g. "C3", for the point
// (x, y). width and height come from zoneSize.
std::string zoneLabel(const model::AppContext& ctx,
                      const cadhost::Point& extMin, float width, float height,
                      float x, float y);

}  // namespace marking
