#include "browse/entry_keys.h"

#include <algorithm>

#include "browse/browser.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "model/characteristic.h"
#include "model/verdict.h"

namespace browse {

namespace {

constexpr int kEnter = 13;
constexpr int kBackspace = 8;
constexpr int kBoxes = 5;

bool continuous(const model::Form1& f) { return f.CheCont->value() == 1; }

// The position the panel shows: the list's entry.
std::int32_t panelPosition(const model::Form1& f) {
  return f.Combo1->listIndex() + 1;
}

// The samples shown: Combo3's choice (none chosen counts as none).
int shownCount(const model::Form1& f) {
  return std::max(0, f.Combo3->listIndex() + 1);
}

// A note takes 合格 or 不合格 from its lists, never a reading.
bool noteAt(const model::Form1& f, std::int32_t p) {
  return p >= 1 && static_cast<size_t>(p) < f.ctx.dimRecords.size() &&
         model::kindOfType(f.ctx.dimRecords[static_cast<size_t>(p)].type) ==
             model::CharacteristicKind::Note;
}

// The nearest position after (before) p that takes readings, or 0.
std::int32_t nextReadable(const model::Form1& f, std::int32_t p) {
  for (std::int32_t q = p + 1; q <= f.Combo1->listCount(); ++q)
    if (!noteAt(f, q)) return q;
  return 0;
}
std::int32_t previousReadable(const model::Form1& f, std::int32_t p) {
  for (std::int32_t q = p - 1; q >= 1; --q)
    if (!noteAt(f, q)) return q;
  return 0;
}

void focusBox(model::Form1& f, int index) {
  f.entryBox = index;
  const auto i = static_cast<size_t>(index);
  if (noteAt(f, f.Combo1->listIndex() + 1))
    f.Combo4[i]->SetFocus();
  else
    f.Text7[i]->SetFocus();
}

// At least k boxes shown, so that sample k can be typed.
void showAtLeast(model::Form1& f, int k) {
  if (shownCount(f) < k)
    forms::resumeNext([&] { f.Combo3->setListIndex(std::min(k, kBoxes) - 1); });
}

// To position p through the list, as a choice in it is made: the panel is
// saved for the dimension left and shows the one reached, and the drawing
// follows. False when the move was refused (a box to correct first).
bool moveTo(model::Form1& f, std::int32_t p) {
  if (p < 1 || p > f.Combo1->listCount()) return false;
  if (panelPosition(f) == p && f.currentPosition == p) return true;
  forms::resumeNext([&] { f.Combo1->setListIndex(p - 1); });
  return f.currentPosition == p && panelPosition(f) == p;
}

bool ngReading(const model::Form1& f, std::int32_t p, float value) {
  if (p < 1 || static_cast<size_t>(p) >= f.ctx.dimRecords.size()) return false;
  const auto& r = f.ctx.dimRecords[static_cast<size_t>(p)];
  dimtable::Measurement one;
  one.count = 1;
  one.samples[0] = value;
  return model::judge(r, one) == model::Verdict::Ng;
}

// On from box `index` of the current dimension, in the order chosen. At
// the very end the focus stays where it is.
void advance(model::Form1& f, int index) {
  const std::int32_t p = panelPosition(f);
  if (entryOrder(f) == EntryOrder::ByDimension) {
    if (index + 1 < shownCount(f)) {
      focusBox(f, index + 1);
    } else if (const auto q = nextReadable(f, p); q && moveTo(f, q)) {
      focusBox(f, 0);
    } else {
      focusBox(f, index);
    }
    return;
  }
  if (const auto q = nextReadable(f, p)) {
    if (moveTo(f, q)) showAtLeast(f, index + 1);
    focusBox(f, index);
    return;
  }
  if (const auto first = nextReadable(f, 0);
      index + 1 < kBoxes && first && moveTo(f, first)) {
    showAtLeast(f, index + 2);
    focusBox(f, index + 1);
    return;
  }
  focusBox(f, index);
}

}  // namespace

void loadEntrySettings(model::Form1& f) {
  auto& desktop = f.ctx.desktop;
  if (desktop.setting(kContinuousSetting) == "1") f.CheCont->setValue(1);
  if (desktop.setting(kOrderSetting) == "sample") f.OptBySample->setValue(1);
}

void CheCont_Click(model::Form1& f) {
  f.ctx.desktop.setSetting(kContinuousSetting, continuous(f) ? "1" : "0");
}

void orderChosen(model::Form1& f) {
  f.ctx.desktop.setSetting(kOrderSetting, entryOrder(f) == EntryOrder::BySample
                                              ? "sample"
                                              : "dimension");
}

EntryOrder entryOrder(const model::Form1& f) {
  return f.OptBySample->value() != 0 ? EntryOrder::BySample
                                     : EntryOrder::ByDimension;
}

Entered enterReading(model::Form1& f, int index) {
  if (index < 0 || index >= kBoxes || f.Combo1->listCount() == 0)
    return Entered::Refused;
  forms::Control* box = f.Text7[static_cast<size_t>(index)];
  f.entryBox = index;
  const std::string typed = box->text();
  const SampleText read = readSample(typed);
  if (!read.error.empty()) {
    f.ctx.desktop.message(
        "样本" + std::to_string(index + 1) + "：“" + typed + "”" + read.error,
        forms::Buttons::Ok, "");
    focusBox(f, index);
    return Entered::Refused;
  }
  const std::int32_t p = panelPosition(f);
  f.currentPosition = p;
  if (read.value) {
    showAtLeast(f, index + 1);
    // The box shows what is kept: "１２。５mm" becomes 12.5.
    const std::string kept = forms::SingleText(*read.value);
    if (kept != typed) box->setText(kept);
    if (!measinput(f, p, shownCount(f))) {
      focusBox(f, index);
      return Entered::Refused;
    }
    if (ngReading(f, p, *read.value)) f.ctx.desktop.beep();
  }
  advance(f, index);
  return read.value ? Entered::Stored : Entered::Skipped;
}

void stepBack(model::Form1& f, int index) {
  const std::int32_t p = panelPosition(f);
  if (entryOrder(f) == EntryOrder::ByDimension) {
    if (index > 0)
      focusBox(f, index - 1);
    else if (const auto q = previousReadable(f, p); q && moveTo(f, q))
      focusBox(f, std::max(0, shownCount(f) - 1));
    return;
  }
  if (const auto q = previousReadable(f, p)) {
    if (moveTo(f, q)) {
      showAtLeast(f, index + 1);
      focusBox(f, index);
    }
  } else if (const auto lastReadable =
                 previousReadable(f, f.Combo1->listCount() + 1);
             index > 0 && lastReadable && moveTo(f, lastReadable)) {
    showAtLeast(f, index);
    focusBox(f, index - 1);
  }
}

void Text7_KeyPress(model::Form1& f, int index, int& keyAscii) {
  if (index < 0 || index >= kBoxes) return;
  f.entryBox = index;
  if (keyAscii == kBackspace && continuous(f) &&
      f.Text7[static_cast<size_t>(index)]->text().empty()) {
    keyAscii = 0;
    stepBack(f, index);
    return;
  }
  if (keyAscii != kEnter) return;
  keyAscii = 0;
  if (continuous(f)) {
    enterReading(f, index);
    return;
  }
  for (int i = index + 1; i < kBoxes; ++i)
    if (f.Text7[static_cast<size_t>(i)]->reachable()) {
      focusBox(f, i);
      return;
    }
  // The last sample of this dimension: on to the next one, whose first
  // sample takes the next reading. On the last dimension the focus stays.
  if (!f.ComNext->reachable() || f.currentPosition >= f.Combo1->listCount())
    return;
  const auto before = f.currentPosition;
  f.ComNext->userClick();
  if (f.currentPosition != before) focusBox(f, 0);
}

void colourSamples(model::Form1& f) {
  const std::int32_t p = panelPosition(f);
  for (forms::Control* box : f.Text7) {
    const SampleText read = readSample(box->text());
    box->setBackColor(read.value && ngReading(f, p, *read.value) ? kNgBoxColor
                                                                 : -1);
  }
}

}  // namespace browse
