#include "browse/browser.h"

#include <cctype>

#include "app/form1.h"
#include "forms/basic.h"
#include "forms/errors.h"
#include "intake/reading.h"

namespace browse {

using forms::resumeNext;

namespace {

constexpr const char* kFoundOne = "已经发现一个尺寸，是否继续搜索?";
constexpr const char* kSearchDone = "搜索完毕!";
constexpr const char* kNothingFound = "没有发现!";

// The swatch colours of the highlight list, by index.
constexpr int kSwatches[7] = {0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                              0x0000FF, 0xFF00FF, 0xFFFFFF};

bool inArrays(const app::Form1& f, std::int32_t p) {
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

cadhost::EntityRef entityAt(app::Form1& f, std::int32_t position) {
  const auto& r = f.ctx.dimRecords.at(static_cast<size_t>(position));
  // A dimension of a kind that is not read has no entity of its own: its
  // index 0 would name whatever entity comes first.
  if (r.type.empty()) throw cadhost::HostError("no entity for this entry");
  if (!f.ctx.modelSpace) throw cadhost::HostError("no drawing is open");
  return f.ctx.modelSpace->Item(r.entityIndex);
}

}  // namespace

void show(app::Form1& f, std::int32_t p) {
  const auto& r = f.ctx.dimRecords.at(static_cast<size_t>(p));
  f.Text3->setText(r.type);
  f.Text4->setText(r.value);
  f.Text5->setText(forms::SingleText(r.up));
  f.Text6->setText(forms::SingleText(r.low));
}

void measinput(app::Form1& f, std::int32_t mindex, std::int32_t samnum) {
  if (!inArrays(f, mindex)) return;
  auto& ctx = f.ctx;
  auto m = static_cast<size_t>(mindex);
  ctx.sampleCounts[m] = samnum;
  for (std::int32_t k = 1; k <= samnum && k <= 5; ++k)
    ctx.samples[m][static_cast<size_t>(k)] = static_cast<float>(
        forms::Val(f.Text7[static_cast<size_t>(k - 1)]->text()));
  for (int i = 0; i < 8; ++i) {
    if (f.Option3[static_cast<size_t>(i)]->value() != 0) {
      ctx.instrumentCodes[m] = kInstrumentCodes[i];
      break;
    }
  }
}

void meatool(app::Form1& f, std::int32_t mtool) {
  if (!inArrays(f, mtool)) return;
  auto& ctx = f.ctx;
  auto m = static_cast<size_t>(mtool);
  std::int32_t n = ctx.sampleCounts[m];
  for (std::int32_t k = 1; k <= n && k <= 5; ++k)
    f.Text7[static_cast<size_t>(k - 1)]->setText(
        forms::SingleText(ctx.samples[m][static_cast<size_t>(k)]));
  if (n != 0) {
    for (int i = 0; i < 8; ++i)
      if (ctx.instrumentCodes[m] == kInstrumentCodes[i])
        f.Option3[static_cast<size_t>(i)]->setValue(1);
  }
}

void leaveStep(app::Form1& f) {
  f.currentPosition = f.Combo1->listIndex() + 1;
  f.currentSample = f.Combo3->listIndex() + 1;
  if (f.currentSample != 0) measinput(f, f.currentPosition, f.currentSample);
}

void Combo1_Click(app::Form1& f) {
  // The list shows the new entry already: the save is for the position
  // still held, the one being left.
  f.currentSample = f.Combo3->listIndex() + 1;
  if (f.currentSample != 0) measinput(f, f.currentPosition, f.currentSample);
  f.currentPosition = f.Combo1->listIndex() + 1;
  resumeNext([&] { show(f, f.currentPosition); });
  meatool(f, f.currentPosition);
}

void ComFirst_Click(app::Form1& f) {
  leaveStep(f);
  resumeNext([&] { f.Combo1->setListIndex(0); });
  resumeNext([&] { show(f, 1); });
  meatool(f, 1);
}

void ComProious_Click(app::Form1& f) {
  leaveStep(f);
  if (f.Combo1->listIndex() >= 1) {
    resumeNext([&] { f.Combo1->setListIndex(f.Combo1->listIndex() - 1); });
    f.currentPosition = f.Combo1->listIndex() + 1;
    resumeNext([&] { show(f, f.currentPosition); });
  }
  meatool(f, f.currentPosition);
}

void ComNext_Click(app::Form1& f) {
  leaveStep(f);
  if (f.Combo1->listIndex() + 1 < f.Combo1->listCount()) {
    resumeNext([&] { f.Combo1->setListIndex(f.Combo1->listIndex() + 1); });
    f.currentPosition = f.Combo1->listIndex() + 1;
    resumeNext([&] { show(f, f.currentPosition); });
    meatool(f, f.currentPosition);
  }
}

void ComLast_Click(app::Form1& f) {
  leaveStep(f);
  int last = f.Combo1->listCount() - 1;
  resumeNext([&] { f.Combo1->setListIndex(last); });
  resumeNext([&] { show(f, f.Combo1->listCount()); });
  meatool(f, f.Combo1->listCount());
}

void ComSearch_Click(app::Form1& f) {
  resumeNext([&] { leaveStep(f); });
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

void ComFind_Click(app::Form1& f) {
  resumeNext([&] { leaveStep(f); });
  bool found = false;
  std::string wanted = trimBlanks(f.Text2->text());
  for (std::int32_t i = 1; i <= f.ctx.dimCount; ++i) {
    if (static_cast<size_t>(i) >= f.ctx.dimRecords.size()) break;
    if (f.ctx.dimRecords[static_cast<size_t>(i)].value != wanted) continue;
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

void ComReview_Click(app::Form1& f) {
  auto& ctx = f.ctx;
  resumeNext([&] { ctx.desktop.activateWindow(ctx.cadApp->Caption()); });
  resumeNext([&] {
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
  onEntity([&] { e->SetColor(f.highlightColor); });
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
    if (kind == "acdb2lineangulardimension")
      e->SetTextPrecision(f.dimDecimals);
    else
      e->SetPrimaryUnitsPrecision(f.dimDecimals);
  });
  onEntity([&] { e->SetTolerancePrecision(f.dimDecimals); });
  resumeNext([&] { ctx.cadDoc->GetApplication().ZoomCenter(centre, height); });
  f.lastReviewed = static_cast<float>(p);
}

void Combo2_Click(app::Form1& f) {
  int i = f.Combo2->listIndex();
  if (i < 0 || i > 6) return;
  f.highlightColor = static_cast<std::int16_t>(i + 1);
  f.Label10->setBackColor(kSwatches[i]);
}

void Combo3_Click(app::Form1& f) {
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
  std::int32_t current = f.Combo1->listIndex() + 1;
  if (inArrays(f, current))
    f.ctx.sampleCounts[static_cast<size_t>(current)] = n;
}

}  // namespace browse
