// The judgement of a dimension against the shipped FAI template's verdict
// column: the same rows, filled as the report fills them, must get the same
// verdict from model::judge, from our evaluator and from LibreOffice.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
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
