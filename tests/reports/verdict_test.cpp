// The judgement of a dimension against the shipped FAI template's verdict
// column: the same rows, filled as the report fills them, must get the same
// verdict from model::judge, from our evaluator and from LibreOffice.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "libreoffice.h"
#include "model/verdict.h"
#include "sheethost/xlsx/workbook.h"
#include "sheethost/zip_fixture.h"

namespace {

using model::Verdict;

struct Case {
  std::string nominal;
  float up = 0, low = 0;
  dimtable::Measurement m;
};

Case make(std::string nominal, float up, float low, std::vector<float> samples,
          int count = -1) {
  Case c{std::move(nominal), up, low, {}};
  c.m.count = count < 0 ? static_cast<int>(samples.size()) : count;
  for (std::size_t k = 0; k < samples.size() && k < 5; ++k)
    c.m.samples[k] = samples[k];
  return c;
}

// Boundaries and texts picked by hand, then a sweep around the limits of
// nominal values and deviations as drawings have them.
std::vector<Case> cases() {
  std::vector<Case> out = {
      make("15", 0.3f, 0.3f, {15.3f}),    // on the upper limit
      make("15", 0.3f, 0.3f, {14.7f}),    // on the lower limit
      make("15", 0.3f, 0.3f, {15.301f}),  // just above
      make("15", 0.3f, 0.3f, {14.699f}),  // just below
      make("25.4", 0.05f, 0.05f, {25.35f, 25.45f}),
      make("80", 0, 0, {80}),  // no tolerance: only 80
      make("80", 0, 0, {80.001f}),
      make("-5", 0.1f, 0.2f, {-5.2f, -4.9f}),  // negative nominal
      make("30", 0.021f, 0, {30.021f, 30}),
      make("30", 0.021f, 0, {29.999f}),
      make("10", 0.1f, 0.1f, {}),       // not measured
      make("10", 0.1f, 0.1f, {10}, 0),  // a value beyond the count
      make("10", 0.1f, 0.1f, {10.0f, 10.5f}, 1),
      make("C5", 0.1f, 0.1f, {5}),  // a text: no limits
      make("%%c10", 0.1f, 0.1f, {10}),
      make(" 1,250.5 ", 0.5f, 0.5f, {1251}),  // VALUE reads separators
      make("1,25", 0.5f, 0.5f, {1.25f}),
      make("", 0.1f, 0.1f, {0}),
      make("0", 0.1f, 0.1f, {0}),  // a 0 sample is a sample
  };
  const char* nominals[] = {"6", "12.5", "45.25", "120", "0.8", "300.125"};
  const float deviations[] = {0.05f, 0.1f, 0.15f, 0.3f, 0.021f, 0.013f};
  const double offsets[] = {0, 1e-4, -1e-4, 1e-3, -1e-3, 0.01};
  for (const char* n : nominals)
    for (float up : deviations)
      for (double off : offsets) {
        const float low = up / 2;
        const double v = std::stod(n);
        out.push_back(make(n, up, low,
                           {static_cast<float>(v + up + off),
                            static_cast<float>(v - low + off)}));
        out.push_back(make(n, up, low, {static_cast<float>(v - low - off)}));
      }
  return out;
}

// The verdict column's text for a judgement: blank for none.
std::string columnText(Verdict v) {
  if (v == Verdict::Ok) return "OK";
  if (v == Verdict::Ng) return "NG";
  return "";
}

std::string text(const xlsx::Computed& v) {
  if (const auto* s = std::get_if<std::string>(&v)) return *s;
  if (std::holds_alternative<std::monostate>(v)) return "";
  return "<not a text>";
}

// Rows as the report writes them: mark, zone, nominal text, deviations
// and samples as singles, the samples beyond the count left empty.
void fill(xlsx::Sheet& sheet, const std::vector<Case>& all) {
  for (std::size_t i = 0; i < all.size(); ++i) {
    const int r = static_cast<int>(i) + 11;
    const Case& c = all[i];
    sheet.setNumber(r, 1, static_cast<double>(i + 1));
    sheet.setText(r, 2, "A1");
    sheet.setText(r, 4, c.nominal);
    sheet.setNumber(r, 5, c.up);
    sheet.setNumber(r, 6, c.low);
    for (int k = 0; k < 5; ++k)
      if (k < c.m.count && c.m.samples[static_cast<std::size_t>(k)])
        sheet.setNumber(r, 7 + k, *c.m.samples[static_cast<std::size_t>(k)]);
  }
}

TEST(Verdict, TheJudgementIsTheFaiVerdictColumn) {
  const auto all = cases();
  ASSERT_LT(all.size(), 1000u);  // the template's formula rows
  xlsx::Workbook fai = xlsx::Workbook::open("dimdata/fai.xlsx");
  fill(fai.sheet(0), all);
  int ok = 0, ng = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Case& c = all[i];
    const Verdict v = model::judge(c.nominal, c.up, c.low, c.m);
    ok += v == Verdict::Ok;
    ng += v == Verdict::Ng;
    EXPECT_EQ(text(fai.sheet(0).computed(static_cast<int>(i) + 11, 16)),
              columnText(v))
        << "row " << i + 11 << ": " << c.nominal;
  }
  // The sweep reaches both sides of the limits.
  EXPECT_GT(ok, 40);
  EXPECT_GT(ng, 40);

  // And LibreOffice, computing the same rows itself, agrees.
  fixture::TempDir dir;
  fai.save(dir.path() / "fai.xlsx");
  libreoffice::computes(dir.path(), {dir.path() / "fai.xlsx"},
                        dir.path() / "computed");
  if (HasFatalFailure()) return;
  xlsx::Workbook theirs =
      xlsx::Workbook::open(dir.path() / "computed" / "fai.xlsx");
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Case& c = all[i];
    const xlsx::Value value =
        theirs.sheet(0).value(static_cast<int>(i) + 11, 16);
    const auto* got = std::get_if<std::string>(&value);
    EXPECT_EQ(got ? *got : std::string(),
              columnText(model::judge(c.nominal, c.up, c.low, c.m)))
        << "row " << i + 11 << ": " << c.nominal;
  }
}

// A frame row, a roughness value or a note as the list holds it.
dimtable::DimRecord characteristic(std::string type, std::string value,
                                   float up, dimtable::Bound bound) {
  dimtable::DimRecord r;
  r.type = std::move(type);
  r.value = std::move(value);
  r.up = up;
  r.bound = bound;
  return r;
}

struct Judged {
  dimtable::DimRecord r;
  dimtable::Measurement m;
};

Judged numeric(const dimtable::DimRecord& r, std::vector<float> samples) {
  Judged j{r, {}};
  j.m.count = static_cast<int>(samples.size());
  for (std::size_t k = 0; k < samples.size(); ++k) j.m.samples[k] = samples[k];
  return j;
}

Judged results(const dimtable::DimRecord& r,
               std::vector<std::optional<bool>> passed, int count = -1) {
  Judged j{r, {}};
  j.m.count = count < 0 ? static_cast<int>(passed.size()) : count;
  for (std::size_t k = 0; k < passed.size(); ++k) j.m.passed[k] = passed[k];
  return j;
}

// Frames and roughness from 0 to their value (a lower-limit roughness from
// its value up), notes by their results: the rule, our evaluator computing
// the row's formulas, and LibreOffice agree, inside, on and outside.
TEST(Verdict, CharacteristicsByTheirKind) {
  using dimtable::Bound;
  const auto position = characteristic("形位公差/位置度", "⌖ Ø0.05 Ⓜ | A | B",
                                       0.05f, Bound::Upper);
  const auto flatness =
      characteristic("形位公差/平面度", "⏥ 0.02", 0.02f, Bound::Upper);
  const auto ra = characteristic("粗糙度", "Ra 1.6", 1.6f, Bound::Upper);
  const auto lowerRa = characteristic("粗糙度", "L Ra 0.8", 0.8f, Bound::Lower);
  const auto unread = characteristic("形位公差", "x | 0.1 | A", 0, Bound::None);
  const auto note = characteristic("技术要求", "2. 去毛刺", 0, Bound::None);
  const std::vector<std::pair<Judged, Verdict>> all = {
      {numeric(position, {0.03f}), Verdict::Ok},
      {numeric(position, {0.05f}), Verdict::Ok},  // on the tolerance
      {numeric(position, {0.0f}), Verdict::Ok},   // on 0
      {numeric(position, {0.0501f}), Verdict::Ng},
      {numeric(position, {-0.001f}), Verdict::Ng},  // below 0
      {numeric(position, {0.01f, 0.06f}), Verdict::Ng},
      {numeric(flatness, {0.02f, 0.019f}), Verdict::Ok},
      {numeric(ra, {1.6f}), Verdict::Ok},
      {numeric(ra, {1.61f}), Verdict::Ng},
      {numeric(lowerRa, {0.8f}), Verdict::Ok},
      {numeric(lowerRa, {12.5f}), Verdict::Ok},
      {numeric(lowerRa, {0.79f}), Verdict::Ng},
      {numeric(unread, {0.05f}), Verdict::NoLimits},
      {numeric(position, {}), Verdict::Unmeasured},
      {results(note, {true, true}), Verdict::Ok},
      {results(note, {true, false, true}), Verdict::Ng},
      {results(note, {std::nullopt, false}), Verdict::Ng},
      {results(note, {true, false}, 1), Verdict::Ok},  // beyond the count
      {results(note, {}), Verdict::Unmeasured},
  };
  xlsx::Workbook fai = xlsx::Workbook::open("dimdata/fai.xlsx");
  xlsx::Sheet& sheet = fai.sheet(0);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const auto& [j, want] = all[i];
    const int row = static_cast<int>(i) + 11;
    EXPECT_EQ(model::judge(j.r, j.m), want) << "row " << row;
    // As the report fills the row.
    sheet.setNumber(row, 1, static_cast<double>(i + 1));
    sheet.setText(row, 4, j.r.value);
    sheet.setNumber(row, 5, j.r.up);
    sheet.setNumber(row, 6, j.r.low);
    for (int k = 0; k < j.m.count; ++k) {
      const auto ks = static_cast<std::size_t>(k);
      if (j.m.samples[ks]) sheet.setNumber(row, 7 + k, *j.m.samples[ks]);
      if (j.m.passed[ks])
        sheet.setText(row, 7 + k, *j.m.passed[ks] ? "合格" : "不合格");
    }
    auto formulas = model::faiFormulas(j.r, row);
    ASSERT_TRUE(formulas) << "row " << row;
    for (const auto& [column, formula] :
         {std::pair{12, formulas->upper}, std::pair{13, formulas->lower},
          std::pair{16, formulas->verdict}})
      if (!formula.empty()) sheet.setFormula(row, column, formula);
  }
  // A dimension keeps the template's formulas.
  EXPECT_FALSE(model::faiFormulas(dimtable::DimRecord{}, 11));
  for (std::size_t i = 0; i < all.size(); ++i)
    EXPECT_EQ(text(sheet.computed(static_cast<int>(i) + 11, 16)),
              columnText(all[i].second))
        << "row " << i + 11;

  fixture::TempDir dir;
  fai.save(dir.path() / "fai.xlsx");
  libreoffice::computes(dir.path(), {dir.path() / "fai.xlsx"},
                        dir.path() / "computed");
  if (HasFatalFailure()) return;
  xlsx::Workbook theirs =
      xlsx::Workbook::open(dir.path() / "computed" / "fai.xlsx");
  for (std::size_t i = 0; i < all.size(); ++i) {
    const xlsx::Value value =
        theirs.sheet(0).value(static_cast<int>(i) + 11, 16);
    const auto* got = std::get_if<std::string>(&value);
    EXPECT_EQ(got ? *got : std::string(), columnText(all[i].second))
        << "row " << i + 11;
  }
}

TEST(Verdict, NamesAndLimits) {
  const auto m = make("15", 0.3f, 0.3f, {15.2f}).m;
  EXPECT_EQ(model::judge("15", 0.3f, 0.3f, m), Verdict::Ok);
  EXPECT_EQ(model::judge("%%c15", 0.3f, 0.3f, m), Verdict::NoLimits);
  EXPECT_EQ(model::judge("15", 0.3f, 0.3f, {}), Verdict::Unmeasured);
  auto limits = model::limitsOf("25.4", 0.05f, 0.05f);
  ASSERT_TRUE(limits);
  // The deviations as their cells hold them: 25.45, not 25.4500000007...
  EXPECT_NEAR(limits->upper, 25.45, 1e-12);
  EXPECT_NEAR(limits->lower, 25.35, 1e-12);
  EXPECT_FALSE(model::limitsOf("R5", 0.1f, 0.1f));
  EXPECT_STREQ(model::verdictText(Verdict::Ng), "NG");
  EXPECT_STREQ(model::verdictText(Verdict::Unmeasured), "未测");
}

}  // namespace
