// What the renderer draws on: a small set of calls in drawing units. The
// Qt canvas paints them; tests record them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include <QString>

namespace cadhost::viewer {

struct Vec2 {
  double x = 0, y = 0;
};

inline bool operator==(const Vec2& a, const Vec2& b) {
  return a.x == b.x && a.y == b.y;
}

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

struct Pen {
  Rgb color;
  // Line width in drawing units; 0 draws the thinnest line of the device.
  double width = 0;
  // Dash pattern in drawing units: dash, gap, dash, gap... Empty for a
  // continuous line.
  std::span<const double> dashes;
};

// One run of text: one font, one height, one baseline.
struct TextRun {
  QString text;
  Vec2 origin;          // left end of the baseline
  double height = 1;    // height of capitals, in drawing units
  double rotation = 0;  // radians, counter-clockwise
  double widthFactor = 1;
  double oblique = 0;  // radians, slant to the right
  bool bold = false, italic = false;
  bool underline = false, overline = false, strike = false;
  // A TrueType font: its height is that of capitals for every script,
  // so CJK letters stand taller than in the host's big fonts.
  bool trueType = false;
  Rgb color;
};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void line(Vec2 a, Vec2 b, const Pen& pen) = 0;
  // Pairs of points, each pair a segment.
  virtual void lines(std::span<const Vec2> pairs, const Pen& pen) = 0;
  virtual void polyline(std::span<const Vec2> points, bool closed,
                        const Pen& pen) = 0;
  // Circular arc from `start` through `sweep` radians (negative: clockwise).
  virtual void arc(Vec2 center, double radius, double start, double sweep,
                   const Pen& pen) = 0;
  // Filled area of one or more rings; holes by the even-odd rule.
  virtual void polygon(std::span<const std::vector<Vec2>> rings, Rgb fill) = 0;
  virtual void text(const TextRun& run) = 0;
  virtual void point(Vec2 p, Rgb color) = 0;
};

}  // namespace cadhost::viewer
