// Draws the part of a scene that a view shows onto a canvas, in draw
// order, skipping what is too small to see.
#pragma once

#include <cstdint>
#include <vector>

#include "cadhost/viewer/canvas.h"
#include "cadhost/viewer/scene.h"

namespace cadhost::viewer {

// Which part of the drawing lands where on a device of width x height
// pixels: `center` in the middle, `scale` pixels per drawing unit, y up.
struct View {
  Vec2 center;
  double scale = 1;
  double width = 1, height = 1;

  Vec2 toDevice(Vec2 p) const {
    return {width / 2 + (p.x - center.x) * scale,
            height / 2 - (p.y - center.y) * scale};
  }
  Vec2 toDrawing(double px, double py) const {
    return {center.x + (px - width / 2) / scale,
            center.y - (py - height / 2) / scale};
  }
  Box visible() const {
    Box b;
    b.add(toDrawing(0, 0));
    b.add(toDrawing(width, height));
    return b;
  }
  // The whole box with a margin (a share of the device), centred.
  static View fit(const Box& box, double width, double height,
                  double margin = 0.03);
};

struct RenderStyle {
  Rgb background{33, 40, 48};
  Rgb foreground{255, 255, 255};  // colour 7
  bool plotOnly = false;          // leave out layers that do not plot
  // Paper: white sheet, colour 7 black, non-plotting layers left out.
  static RenderStyle paper() {
    return {Rgb{255, 255, 255}, Rgb{0, 0, 0}, true};
  }
};

class Renderer {
 public:
  // Draws every living primitive of the scene that touches the view.
  void draw(const Scene& scene, const View& view, Canvas& canvas,
            const RenderStyle& style);
  // Primitives drawn by the last draw, and those of them shown as dots.
  std::size_t drawn() const { return drawn_; }

 private:
  std::vector<std::uint32_t> visible_;
  std::size_t drawn_ = 0;
};

}  // namespace cadhost::viewer
