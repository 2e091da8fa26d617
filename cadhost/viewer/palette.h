// The CAD colour index (ACI): numbers 1 to 255 and their screen colours.
#pragma once

#include "cadhost/viewer/canvas.h"

namespace cadhost::viewer {

// The colour of an index from 1 to 255; 7 is white here, and the renderer
// turns it black on paper. Out-of-range numbers give white.
Rgb aciColor(int index);

// A true colour of group 420 (0x00RRGGBB).
inline Rgb trueColor(long long value) {
  return Rgb{static_cast<std::uint8_t>((value >> 16) & 0xFF),
             static_cast<std::uint8_t>((value >> 8) & 0xFF),
             static_cast<std::uint8_t>(value & 0xFF)};
}

}  // namespace cadhost::viewer
