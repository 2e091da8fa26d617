// Reading feature control frames from the text the drawing holds: a
// TOLERANCE entity's code string, or a frame typed as multiline text.
//
// The code string is the CAD host's: compartments separated by %%v, rows
// by ^J (a line break), symbols as letters of the GD&T font
// ("{\Fgdt;j}%%v{\Fgdt;n}0.05{\Fgdt;m}%%vA%%vB"). A row's compartments are
// symbol | tolerance 1 | tolerance 2 | datum 1 | datum 2 | datum 3; a line
// with only a height and Ⓟ is the projected tolerance zone, a line with only
// a letter the datum identifier. Frames written by other programs with
// Unicode symbols, %%c for the diameter, or without the empty second
// tolerance compartment read the same.
#pragma once

#include <optional>
#include <string_view>

#include "model/characteristic.h"

namespace intake {

// The frame of a TOLERANCE entity's text (group 1, as the drawing's codec
// decodes it). Never fails: what cannot be decoded is listed in the frame's
// notUnderstood and shown as written, and the raw text is kept.
model::Frame decodeToleranceText(std::string_view text);

// A frame typed as multiline text: rows that begin with a geometrical
// symbol and hold a tolerance value, compartments separated by %%v, "|" or
// blanks ("{\Fgdt;j} %%c0.1{\Fgdt;m} A B"). Empty when the text is not a
// frame.
std::optional<model::Frame> decodeMTextFrame(std::string_view content);

}  // namespace intake
