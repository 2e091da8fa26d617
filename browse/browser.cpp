#include "browse/browser.h"
#include "browse/results.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "forms/basic.h"
#include "forms/errors.h"
#include "intake/reading.h"
#include "model/characteristic.h"
#include "model/form1.h"

namespace browse {

using forms::resumeNext;

namespace {

constexpr const char* kFoundOne = "已经发现一个尺寸，是否继续搜索?";
constexpr const char* kSearchDone = "搜索完毕!";
constexpr const char* kNothingFound = "没有发现!";

// The swatch colours of the highlight list, by index.
constexpr int kSwatches[7] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                              0x0000FF, 0xFF00FF, 0xFFFFFF};

// A note is judged 合格 or 不合格 per sample, in the lists that stand in
// for its number boxes.
bool noteAt(const model::Form1& f, std::int32_t p) {
  return p >= 1 && static_cast<size_t>(p) < f.ctx.dimRecords.size() &&
         model::kindOfType(f.ctx.dimRecords[static_cast<size_t>(p)].type) ==
             model::CharacteristicKind::Note;
}

// The sample controls that fit position p: the result lists for a note,
// the number boxes otherwise, as many as the sample count shows. Nothing
// changes while no list is shown and none is wanted.
void showSampleControls(model::Form1& f, std::int32_t p) {
  const bool note = noteAt(f, p);
  bool listsShown = false;
  for (const auto* c : f.Combo4) listsShown = listsShown || c->visible();
  if (!note && !listsShown) return;
  const int n = f.Combo3->listIndex() + 1;
  for (int k = 1; k <= 5; ++k) {
    const auto i = static_cast<size_t>(k - 1);
    const bool shown = k <= n;
    f.Text7[i]->setVisible(shown && !note);
    f.Combo4[i]->setVisible(shown && note);
  }
}

bool inArrays(const model::Form1& f, std::int32_t p) {
  return p >= 0 && static_cast<size_t>(p) < f.ctx.sampleCounts.size() &&
         static_cast<size_t>(p) < f.ctx.samples.size() &&
         static_cast<size_t>(p) < f.ctx.instrumentCodes.size();
}

std::string trimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

cadhost::EntityRef entityAt(model::Form1& f, std::int32_t position) {
  const auto& r = f.ctx.dimRecords.at(static_cast<size_t>(position));
  // A dimension of a kind that is not read has no entity of its own: its
  // index 0 would name whatever entity comes first.
  if (r.type.empty()) throw cadhost::HostError("no entity for this entry");
  if (!f.ctx.modelSpace) throw cadhost::HostError("no drawing is open");
  return f.ctx.modelSpace->Item(r.entityIndex);
}

}  // namespace

void show(model::Form1& f, std::int32_t p) {
  const auto& r = f.ctx.dimRecords.at(static_cast<size_t>(p));
  f.Text3->setText(r.type);
  f.Text4->setText(r.value);
  f.Text5->setText(forms::SingleText(r.up));
  f.Text6->setText(forms::SingleText(r.low));
}

namespace {

const char* instrumentOf(const model::Form1& f) {
  for (size_t i = 0; i < 8; ++i)
    if (f.Option3[i]->value() != 0) return kInstrumentCodes[i];
  return nullptr;
}

}  // namespace

SampleText readSample(std::string_view text, const ReadOptions& options) {
  SampleText r;
  const Reading read = readReading(text, options);
  if (!read.error.empty()) {
    r.error = read.error;
    return r;
  }
  // A reading fits a single and does not fall to 0 as one.
  if (read.value) r.value = static_cast<float>(*read.value);
  return r;
}

dimtable::Measurement measurementOf(const model::AppContext& ctx,
                                    std::int32_t p) {
  dimtable::Measurement m;
  const auto i = static_cast<size_t>(p);
  if (p < 0 || i >= ctx.sampleCounts.size() || i >= ctx.samples.size() ||
      i >= ctx.instrumentCodes.size())
    return m;
  m.count = std::clamp(ctx.sampleCounts[i], 0, 5);
  for (size_t k = 1; k <= 5; ++k)
    if (static_cast<std::int32_t>(k) <= m.count) {
      m.samples[k - 1] = ctx.samples[i][k];
      if (i < ctx.passed.size()) m.passed[k - 1] = ctx.passed[i][k];
    }
  m.instrument = ctx.instrumentCodes[i];
  if (!m.measured()) m = {};
  return m;
}

void storeMeasurement(model::AppContext& ctx, std::int32_t p,
                      const dimtable::Measurement& m) {
  const auto i = static_cast<size_t>(p);
  if (p < 0 || i >= ctx.sampleCounts.size() || i >= ctx.samples.size() ||
      i >= ctx.instrumentCodes.size())
    return;
  const bool any = m.measured();
  ctx.sampleCounts[i] = any ? m.count : 0;
  ctx.samples[i] = {};
  if (i < ctx.passed.size()) ctx.passed[i] = {};
  bool anyPassed = false;
  for (const auto& r : m.passed) anyPassed = anyPassed || r.has_value();
  if (any && anyPassed && ctx.passed.size() <= i) ctx.passed.resize(i + 1);
  for (size_t k = 1; k <= 5; ++k)
    if (any && static_cast<std::int32_t>(k) <= m.count) {
      ctx.samples[i][k] = m.samples[k - 1];
      if (i < ctx.passed.size()) ctx.passed[i][k] = m.passed[k - 1];
    }
  ctx.instrumentCodes[i] = any ? m.instrument : std::string();
}

void persistMeasurements(model::Form1& f,
                         const std::vector<std::int32_t>& positions) {
  // Only the database of the drawing in hand takes its measurements.
  if (!f.dbConn || !f.dbConn->IsOpen() || f.dbConn->Path() != f.dbPath) return;
  // Positions a failed write left behind go along, so the database catches
  // up as soon as it can be written again.
  std::vector<std::int32_t> all = f.unsavedMeasurements;
  for (std::int32_t p : positions)
    if (std::find(all.begin(), all.end(), p) == all.end()) all.push_back(p);
  if (all.empty()) return;
  dimtable::Connection& db = *f.dbConn;
  try {
    if (all.size() == 1) {
      db.SaveMeasurement(all[0], measurementOf(f.ctx, all[0]));
    } else {
      db.BeginTrans();
      try {
        for (std::int32_t p : all)
          db.SaveMeasurement(p, measurementOf(f.ctx, p));
        db.CommitTrans();
      } catch (...) {
        resumeNext([&] { db.RollbackTrans(); });
        throw;
      }
    }
    f.unsavedMeasurements.clear();
  } catch (const std::exception& e) {
    f.unsavedMeasurements = std::move(all);
    f.ctx.desktop.message(
        std::string("测量值已保留在程序中，但没有写入尺寸数据库：") + e.what(),
        forms::Buttons::Ok, "");
  }
}

std::optional<dimtable::Measurement> panelMeasurement(model::Form1& f,
                                                      std::int32_t mindex,
                                                      std::int32_t samnum,
                                                      std::string* refusal) {
  const std::int32_t n = std::clamp(samnum, 0, 5);
  dimtable::Measurement m;
  m.count = n;
  // A note's results, as chosen; its number boxes hold nothing.
  const bool note = noteAt(f, mindex);
  for (std::int32_t k = 1; k <= n && note; ++k) {
    const int chosen = f.Combo4[static_cast<size_t>(k - 1)]->listIndex();
    if (chosen == 1 || chosen == 2)
      m.passed[static_cast<size_t>(k - 1)] = chosen == 1;
  }
  for (std::int32_t k = 1; k <= n && !note; ++k) {
    const std::string& text = f.Text7[static_cast<size_t>(k - 1)]->text();
    SampleText read = readSample(text);
    if (!read.error.empty()) {
      if (refusal)
        *refusal = "样本" + std::to_string(k) + "：“" + text + "”" + read.error;
      return std::nullopt;
    }
    m.samples[static_cast<size_t>(k - 1)] = read.value;
  }
  if (const char* code = instrumentOf(f))
    m.instrument = code;
  else if (inArrays(f, mindex))
    m.instrument = f.ctx.instrumentCodes[static_cast<size_t>(mindex)];
  if (!m.measured()) m = {};
  return m;
}

bool measinput(model::Form1& f, std::int32_t mindex, std::int32_t samnum) {
  if (mindex < 1 || !inArrays(f, mindex)) return true;
  std::string refusal;
  const auto m = panelMeasurement(f, mindex, samnum, &refusal);
  if (!m) {
    f.ctx.desktop.message(refusal, forms::Buttons::Ok, "");
    return false;
  }
  if (*m == measurementOf(f.ctx, mindex)) return true;
  storeMeasurement(f.ctx, mindex, *m);
  persistMeasurements(f, {mindex});
  showResults(f);
  return true;
}

void meatool(model::Form1& f, std::int32_t mtool) {
  const dimtable::Measurement m = mtool >= 1 && inArrays(f, mtool)
                                      ? measurementOf(f.ctx, mtool)
                                      : dimtable::Measurement{};
  for (size_t k = 0; k < 5; ++k) {
    const auto& v = m.samples[k];
    f.Text7[k]->setText(v ? forms::SingleText(*v) : std::string());
    const auto& passed = m.passed[k];
    const int chosen = !passed ? 0 : *passed ? 1 : 2;
    if (f.Combo4[k]->listIndex() != chosen)
      resumeNext([&] { f.Combo4[k]->setListIndex(chosen); });
  }
  showSampleControls(f, mtool);
  if (!m.measured()) return;
  // Every stored sample shows, so leaving again keeps them all.
  if (f.Combo3->listIndex() != m.count - 1)
    resumeNext([&] { f.Combo3->setListIndex(m.count - 1); });
  for (size_t i = 0; i < 8; ++i)
    if (m.instrument == kInstrumentCodes[i]) f.Option3[i]->setValue(1);
}

bool leaveStep(model::Form1& f) {
  f.currentPosition = f.Combo1->listIndex() + 1;
  f.currentSample = f.Combo3->listIndex() + 1;
  if (f.currentSample == 0) return true;
  return measinput(f, f.currentPosition, f.currentSample);
}

void Combo1_Click(model::Form1& f) {
  if (f.revertingList) return;
  // The list shows the new entry already: the save is for the position
  // still held, the one being left.
  f.currentSample = f.Combo3->listIndex() + 1;
  if (f.currentSample != 0 &&
      !measinput(f, f.currentPosition, f.currentSample)) {
    // A box to correct first: the list goes back to the entry being left.
    f.revertingList = true;
    resumeNext([&] { f.Combo1->setListIndex(f.currentPosition - 1); });
    f.revertingList = false;
    return;
  }
  const std::int32_t left = f.currentPosition;
  f.currentPosition = f.Combo1->listIndex() + 1;
  resumeNext([&] { show(f, f.currentPosition); });
  meatool(f, f.currentPosition);
  // A move from one dimension to another; filling the list is none.
  if (left >= 1) followInDrawing(f);
}

void ComFirst_Click(model::Form1& f) {
  if (!leaveStep(f)) return;
  resumeNext([&] { f.Combo1->setListIndex(0); });
  resumeNext([&] { show(f, 1); });
  meatool(f, 1);
}

void ComProious_Click(model::Form1& f) {
  if (!leaveStep(f)) return;
  if (f.Combo1->listIndex() >= 1) {
    resumeNext([&] { f.Combo1->setListIndex(f.Combo1->listIndex() - 1); });
    f.currentPosition = f.Combo1->listIndex() + 1;
    resumeNext([&] { show(f, f.currentPosition); });
  }
  meatool(f, f.currentPosition);
}

void ComNext_Click(model::Form1& f) {
  if (!leaveStep(f)) return;
  if (f.Combo1->listIndex() + 1 < f.Combo1->listCount()) {
    resumeNext([&] { f.Combo1->setListIndex(f.Combo1->listIndex() + 1); });
    f.currentPosition = f.Combo1->listIndex() + 1;
    resumeNext([&] { show(f, f.currentPosition); });
    meatool(f, f.currentPosition);
  }
}

void ComLast_Click(model::Form1& f) {
  if (!leaveStep(f)) return;
  int last = f.Combo1->listCount() - 1;
  resumeNext([&] { f.Combo1->setListIndex(last); });
  resumeNext([&] { show(f, f.Combo1->listCount()); });
  meatool(f, f.Combo1->listCount());
}

void ComSearch_Click(model::Form1& f) {
  bool left = true;
  resumeNext([&] { left = leaveStep(f); });
  if (!left) return;
  int n = 100 * f.CSearch1->listIndex() + 10 * f.CSearch2->listIndex() +
          f.CSearch3->listIndex();
  if (n > f.ctx.dimCount + 1) return;
  for (int i = 0; i < f.Combo1->listCount(); ++i) {
    // The entry's first three characters, read as the number they begin
    // with: "7--" reads 7, "100" (of mark 1000) reads 100.
    const std::string& entry = f.Combo1->list()[static_cast<size_t>(i)];
    if (forms::Val(entry.substr(0, 3)) == n)
      resumeNext([&] { f.Combo1->setListIndex(i); });
  }
  f.Text2->setText("");
  resumeNext([&] { show(f, f.Combo1->listIndex() + 1); });
  meatool(f, f.Combo1->listIndex() + 1);
}

namespace {

// A dimension by its value as shown; a frame or a roughness value also by
// its tolerance ("0.05" finds "⌖ Ø0.05 Ⓜ | A | B"), with or without the
// diameter sign.
bool valueMatches(const dimtable::DimRecord& r, const std::string& wanted) {
  if (r.value == wanted) return true;
  const auto kind = model::kindOfType(r.type);
  if (kind != model::CharacteristicKind::Gdt &&
      kind != model::CharacteristicKind::Roughness)
    return false;
  if (r.bound == dimtable::Bound::None) return false;
  std::string_view w = wanted;
  for (std::string_view sign :
       {std::string_view(model::kDiameterSign), std::string_view("%%c"),
        std::string_view("%%C")})
    if (w.starts_with(sign)) {
      w.remove_prefix(sign.size());
      break;
    }
  const SampleText read = readSample(w);
  return read.error.empty() && read.value && *read.value == r.up;
}

}  // namespace

void ComFind_Click(model::Form1& f) {
  bool left = true;
  resumeNext([&] { left = leaveStep(f); });
  if (!left) return;
  bool found = false;
  std::string wanted = trimBlanks(f.Text2->text());
  for (std::int32_t i = 1; i <= f.ctx.dimCount; ++i) {
    if (static_cast<size_t>(i) >= f.ctx.dimRecords.size()) break;
    if (!valueMatches(f.ctx.dimRecords[static_cast<size_t>(i)], wanted))
      continue;
    found = true;
    resumeNext([&] { f.Combo1->setListIndex(i - 1); });
    f.currentPosition = f.Combo1->listIndex() + 1;
    f.currentSample = f.Combo3->listIndex() + 1;
    meatool(f, f.currentPosition);
    if (f.ctx.desktop.message(kFoundOne, forms::Buttons::YesNo, "") ==
        forms::Answer::No)
      break;
    resumeNext([&] { show(f, i); });
  }
  f.ctx.desktop.message(found ? kSearchDone : kNothingFound, forms::Buttons::Ok,
                        "");
}

namespace {

// Shows the list's current entry in the drawing, as one change for the
// CAD host's undo: the dimension shown before gets its own colour back,
// this one takes the highlight colour and the drawing's precision, and the
// view is centred on it.
void showInDrawing(model::Form1& f) {
  auto& ctx = f.ctx;
  cadhost::DocumentRef doc = ctx.cadDoc;
  bool grouped = doc && resumeNext([&] { doc->StartUndoMark(); });
  // Only a dimension painted here, in this drawing, gets its colour back:
  // nothing else is recoloured.
  resumeNext([&] {
    if (!f.highlightDoc || f.highlightDoc != ctx.cadDoc) return;
    std::int16_t r = forms::ToInt16(f.lastReviewed);
    entityAt(f, r)->SetColor(f.firstEntityColor);
  });
  cadhost::Point centre{};
  resumeNext([&] {
    const auto& r = ctx.dimRecords.at(static_cast<size_t>(f.currentPosition));
    centre = {static_cast<double>(r.x), static_cast<double>(r.y), 0};
  });
  double height = 100 * f.dimScale;
  std::int32_t p = f.Combo1->listIndex() + 1;
  cadhost::EntityRef e;
  resumeNext([&] { e = entityAt(f, p); });
  auto onEntity = [&](auto&& step) {
    resumeNext([&] {
      if (!e) throw cadhost::HostError("no entity");
      step();
    });
  };
  onEntity([&] { f.firstEntityColor = forms::ToInt16(e->Color()); });
  onEntity([&] {
    e->SetColor(f.highlightColor);
    f.highlightDoc = ctx.cadDoc;
  });
  if (!f.decimalsChosen) {
    resumeNext([&] {
      f.dimDecimals = forms::ToInt32(
          intake::variableNumber(ctx.cadDoc->GetVariable("dimdec")));
    });
  }
  onEntity([&] {
    std::string kind = e->ObjectName();
    for (char& c : kind)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kind == "acdb2lineangulardimension" ||
        kind == "acdb3pointangulardimension")
      e->SetTextPrecision(f.dimDecimals);
    else
      e->SetPrimaryUnitsPrecision(f.dimDecimals);
  });
  onEntity([&] { e->SetTolerancePrecision(f.dimDecimals); });
  if (grouped) resumeNext([&] { doc->EndUndoMark(); });
  resumeNext([&] { ctx.cadDoc->GetApplication().ZoomCenter(centre, height); });
  f.lastReviewed = static_cast<float>(p);
}

}  // namespace

void ComReview_Click(model::Form1& f) {
  auto& ctx = f.ctx;
  resumeNext([&] { ctx.desktop.activateWindow(ctx.cadApp->Caption()); });
  showInDrawing(f);
}

void followInDrawing(model::Form1& f) {
  // Only once the user asked to see the dimensions in this drawing: a walk
  // alone neither edits the drawing nor moves its view.
  if (!f.highlightDoc || f.highlightDoc != f.ctx.cadDoc) return;
  if (f.Combo1->listIndex() + 1 == std::lround(f.lastReviewed)) return;
  // The panel keeps the focus: the CAD window is not brought forward.
  showInDrawing(f);
}

void Combo2_Click(model::Form1& f) {
  int i = f.Combo2->listIndex();
  if (i < 0 || i > 6) return;
  f.highlightColor = static_cast<std::int16_t>(i + 1);
  f.Label10->setBackColor(kSwatches[i]);
  // The dimension on show takes the new colour at once.
  if (!f.highlightDoc || f.highlightDoc != f.ctx.cadDoc) return;
  resumeNext([&] {
    entityAt(f, forms::ToInt16(f.lastReviewed))->SetColor(f.highlightColor);
  });
}

void Combo3_Click(model::Form1& f) {
  if (noteAt(f, f.currentPosition)) {
    for (int k = 1; k <= 5; ++k)
      f.Label13[static_cast<size_t>(k - 1)]->setVisible(
          k <= f.Combo3->listIndex() + 1);
    showSampleControls(f, f.currentPosition);
    return;
  }
  showSampleControls(f, f.currentPosition);
  int n = f.Combo3->listIndex() + 1;
  for (int k = 1; k <= n && k <= 5; ++k) {
    f.Label13[static_cast<size_t>(k - 1)]->setVisible(true);
    f.Text7[static_cast<size_t>(k - 1)]->setVisible(true);
  }
  if (n >= 1 && n <= 5) {
    for (int k = n + 1; k <= 5; ++k) {
      f.Label13[static_cast<size_t>(k - 1)]->setVisible(false);
      f.Text7[static_cast<size_t>(k - 1)]->setVisible(false);
    }
  }
  // The stored count follows when the dimension is left: the boxes then
  // shown are what is kept, so a count chosen by mistake loses nothing yet.
}

}  // namespace browse
