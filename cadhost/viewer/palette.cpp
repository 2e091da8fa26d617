#include "cadhost/viewer/palette.h"

#include <array>
#include <cmath>

namespace cadhost::viewer {

namespace {

// Indexes 10 to 249 run through 24 hues in steps of 15 degrees; within a
// hue the last digit picks one of five brightnesses, full or half
// saturated. 250 to 255 are greys.
std::array<Rgb, 256> makePalette() {
  std::array<Rgb, 256> p{};
  const Rgb basic[10] = {{0, 0, 0},      {255, 0, 0},     {255, 255, 0},
                         {0, 255, 0},    {0, 255, 255},   {0, 0, 255},
                         {255, 0, 255},  {255, 255, 255}, {128, 128, 128},
                         {192, 192, 192}};
  for (int i = 0; i < 10; ++i) p[static_cast<std::size_t>(i)] = basic[i];
  const double values[5] = {255, 204, 153, 127, 76};
  for (int i = 10; i < 250; ++i) {
    double hue = ((i - 10) / 10) * 15.0;
    int shade = i % 10;
    double v = values[shade / 2];
    double s = shade % 2 == 0 ? 1.0 : 0.5;
    double c = v * s;
    double h = hue / 60.0;
    double x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1));
    double r = 0, g = 0, b = 0;
    if (h < 1) {
      r = c, g = x;
    } else if (h < 2) {
      r = x, g = c;
    } else if (h < 3) {
      g = c, b = x;
    } else if (h < 4) {
      g = x, b = c;
    } else if (h < 5) {
      r = x, b = c;
    } else {
      r = c, b = x;
    }
    double m = v - c;
    auto q = [](double t) {
      return static_cast<std::uint8_t>(std::lround(std::fmin(255, t)));
    };
    p[static_cast<std::size_t>(i)] = {q(r + m), q(g + m), q(b + m)};
  }
  const std::uint8_t greys[6] = {51, 91, 132, 173, 214, 255};
  for (int i = 0; i < 6; ++i)
    p[static_cast<std::size_t>(250 + i)] = {greys[i], greys[i], greys[i]};
  return p;
}

}  // namespace

Rgb aciColor(int index) {
  static const std::array<Rgb, 256> palette = makePalette();
  if (index < 1 || index > 255) return {255, 255, 255};
  return palette[static_cast<std::size_t>(index)];
}

}  // namespace cadhost::viewer
