// The keyboard in the measurement panel, and the continuous entry of
// readings.
//
// Without "连续输入", Enter in a sample box goes on to the next sample, and
// from the last one to the next dimension; the samples are kept when the
// dimension is left, as always. With it, each Enter is one reading: it is
// read and stored at once (a refused one stays where it was typed), an NG
// reading rings the bell, and the focus moves on in the order chosen:
// "按尺寸" (samples 1..n of a dimension, then the next dimension) or
// "按样品" (sample k of every dimension, then sample k+1 from the first,
// the sample count growing to 5). Backspace in an empty box goes back one
// step. A gauge on a port (browse/gauge.h) takes the same road.
#pragma once

#include <cstdint>

#include "model/form1.h"

namespace browse {

enum class EntryOrder { ByDimension, BySample };

// Where the choices are kept between runs (forms::Desktop::setting).
inline constexpr const char* kContinuousSetting = "measure/continuous";
inline constexpr const char* kOrderSetting = "measure/order";

// The panel as the user left it in an earlier run; at the main window's
// load.
void loadEntrySettings(model::Form1& f);
// The check box and the order options: the choice is kept.
void CheCont_Click(model::Form1& f);
void orderChosen(model::Form1& f);

EntryOrder entryOrder(const model::Form1& f);

void Text7_KeyPress(model::Form1& f, int index, int& keyAscii);

enum class Entered {
  Stored,   // kept, and the focus moved on (or stayed at the very end)
  Skipped,  // an empty box: nothing stored, the focus moved on
  Refused,  // told to the user; the position stays
};
// Box `index`'s text as one reading in the continuous order: stored for the
// current dimension, then on to the next box of the order.
Entered enterReading(model::Form1& f, int index);
// One step back in the order from box `index` (its dimension's box).
void stepBack(model::Form1& f, int index);

// Sample boxes whose reading lies outside the current dimension's limits
// show red; the others their own colour.
void colourSamples(model::Form1& f);
inline constexpr int kNgBoxColor = 0xFF6060;

}  // namespace browse
