#include "browse/results.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "browse/browser.h"
#include "forms/errors.h"
#include "model/form1.h"

namespace browse {

bool alive(const cadhost::EntityRef& e) {
  if (!e) return false;
  try {
    e->ObjectName();
    return true;
  } catch (const cadhost::HostError&) {
    return false;
  }
}

namespace {

cadhost::EntityRef drawnAt(const std::vector<cadhost::EntityRef>& v,
                           std::int32_t p) {
  const auto i = static_cast<size_t>(p);
  return i < v.size() && alive(v[i]) ? v[i] : nullptr;
}

// The mark number a text stands for: its leading whole number, as hand
// numbering writes it too ("12", "3A"); none for texts such as "12.5".
std::optional<long> numberOfText(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (text.empty() || text.find('%') != std::string::npos) return std::nullopt;
  size_t i = text[0] == '-' ? 1 : 0;
  size_t digits = i;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9')
    ++digits;
  if (digits == i || digits - i > 6) return std::nullopt;
  if (digits < text.size() && (text[digits] == '.' || text[digits] == ','))
    return std::nullopt;
  return std::stol(text.substr(0, digits));
}

struct Found {
  cadhost::EntityRef entity;
  cadhost::Point at{};
  double radius = 0;  // a circle's radius, a text's height
};

double distance(const cadhost::Point& a, const cadhost::Point& b) {
  return std::hypot(a[0] - b[0], a[1] - b[1]);
}

}  // namespace

std::vector<std::array<cadhost::EntityRef, 2>> locateMarks(
    cadhost::ModelSpace& ms, const std::vector<SoughtMark>& sought) {
  std::vector<std::array<cadhost::EntityRef, 2>> found(sought.size());
  if (sought.empty()) return found;
  std::multimap<long, Found> texts;
  std::vector<Found> circles;
  const int count = ms.Count();
  for (int i = 0; i < count; ++i) {
    forms::resumeNext([&] {
      cadhost::EntityRef e = ms.Item(i);
      const std::string kind = e->ObjectName();
      if (kind == "AcDbCircle") {
        circles.push_back({e, e->center(), e->Radius()});
      } else if (kind == "AcDbText" || kind == "AcDbMText") {
        if (auto number = numberOfText(e->TextString()))
          texts.emplace(*number, Found{e, e->InsertionPoint(), e->Height()});
      }
    });
  }
  std::set<const cadhost::Entity*> taken;
  for (size_t k = 0; k < sought.size(); ++k) {
    const auto number = numberOfText(sought[k].number);
    if (!number) continue;
    const cadhost::Point dim{sought[k].x, sought[k].y, 0};
    auto [from, to] = texts.equal_range(*number);
    std::vector<const Found*> nearest;
    for (auto it = from; it != to; ++it)
      if (!taken.contains(it->second.entity.get()))
        nearest.push_back(&it->second);
    std::sort(nearest.begin(), nearest.end(),
              [&](const Found* a, const Found* b) {
                return distance(a->at, dim) < distance(b->at, dim);
              });
    for (const Found* text : nearest) {
      // The circle around the number: its centre within its radius and a
      // half of the text's corner, and a mark's size, not a hole's.
      const Found* ring = nullptr;
      double ringDistance = std::numeric_limits<double>::max();
      for (const Found& c : circles) {
        const double r = distance(c.at, text->at);
        if (r <= 1.5 * c.radius && c.radius <= 4 * text->radius &&
            r < ringDistance && !taken.contains(c.entity.get())) {
          ring = &c;
          ringDistance = r;
        }
      }
      // A mark is ringed, as every mark drawn here is; a number written
      // by hand may stand alone, but then beside its dimension. Any other
      // text of that number (a grid label, a note) is none.
      if (!ring && distance(text->at, dim) > 10 * text->radius) continue;
      auto& parts = found[k];
      parts[1] = text->entity;
      taken.insert(text->entity.get());
      if (ring) {
        parts[0] = ring->entity;
        taken.insert(ring->entity.get());
      }
      break;
    }
  }
  return found;
}

namespace {

// Looks through model space once per drawing for the marks of its
// numbered positions.
void findMarks(model::Form1& f) {
  f.foundMarksDoc = f.ctx.cadDoc;
  f.foundMarks.clear();
  const std::int32_t n = f.Combo1->listCount();
  f.foundMarks.resize(static_cast<size_t>(n) + 1);
  if (!f.ctx.modelSpace || n == 0) return;
  std::vector<SoughtMark> sought;
  for (std::int32_t p = 1; p <= n; ++p) {
    SoughtMark m{markNumber(f, p), 0, 0};
    if (static_cast<size_t>(p) < f.ctx.dimRecords.size()) {
      const auto& d = f.ctx.dimRecords[static_cast<size_t>(p)];
      m.x = d.x;
      m.y = d.y;
    } else {
      m.number.clear();  // no dimension to stand beside
    }
    sought.push_back(std::move(m));
  }
  auto found = locateMarks(*f.ctx.modelSpace, sought);
  for (size_t k = 0; k < found.size(); ++k) f.foundMarks[k + 1] = found[k];
}

}  // namespace

std::string markNumber(const model::Form1& f, std::int32_t p) {
  if (p < 1 || p > f.Combo1->listCount()) return {};
  const std::string& item = f.Combo1->list()[static_cast<size_t>(p - 1)];
  return item.substr(0, item.find("------"));
}

model::Verdict verdictAt(const model::Form1& f, std::int32_t p) {
  if (p < 1 || static_cast<size_t>(p) >= f.ctx.dimRecords.size())
    return model::Verdict::Unmeasured;
  const auto& d = f.ctx.dimRecords[static_cast<size_t>(p)];
  return model::judge(d.value, d.up, d.low, measurementOf(f.ctx, p));
}

MarkParts marksOf(model::Form1& f, std::int32_t p) {
  MarkParts parts{drawnAt(f.markCircles, p), drawnAt(f.markTexts, p)};
  if (parts.circle || parts.text) return parts;
  if (f.foundMarksDoc != f.ctx.cadDoc ||
      f.foundMarks.size() != static_cast<size_t>(f.Combo1->listCount()) + 1)
    findMarks(f);
  const auto i = static_cast<size_t>(p);
  if (i >= f.foundMarks.size()) return {};
  const auto& [circle, text] = f.foundMarks[i];
  return {alive(circle) ? circle : nullptr, alive(text) ? text : nullptr};
}

std::vector<int> resultColors(model::Form1& f) {
  const std::int32_t n = f.Combo1->listCount();
  std::vector<int> colors(static_cast<size_t>(n) + 1, 0);
  // The position the panel's boxes belong to (the list may show the next
  // one already while the panel is being left).
  const std::int32_t current = f.currentPosition;
  for (std::int32_t p = 1; p <= n; ++p) {
    if (static_cast<size_t>(p) >= f.ctx.dimRecords.size()) break;
    model::Verdict v = verdictAt(f, p);
    if (p == current && f.FrmInput->enabled()) {
      // What is being typed shows at once; a box that is no number yet
      // leaves the stored result.
      const auto& d = f.ctx.dimRecords[static_cast<size_t>(p)];
      if (auto m = panelMeasurement(f, p, f.Combo3->listIndex() + 1, nullptr))
        v = model::judge(d.value, d.up, d.low, *m);
    }
    if (v == model::Verdict::Ok) colors[static_cast<size_t>(p)] = kOkColor;
    if (v == model::Verdict::Ng) colors[static_cast<size_t>(p)] = kNgColor;
  }
  return colors;
}

void showResults(model::Form1& f) {
  if (!f.ctx.cadDoc) return;
  const std::vector<int> byPosition = resultColors(f);
  std::vector<std::pair<cadhost::EntityRef, int>> colors;
  for (size_t p = 1; p < byPosition.size(); ++p) {
    if (byPosition[p] == 0) continue;
    const MarkParts parts = marksOf(f, static_cast<std::int32_t>(p));
    for (const auto& e : {parts.circle, parts.text})
      if (e) colors.emplace_back(e, byPosition[p]);
  }
  forms::resumeNext([&] { f.ctx.cadDoc->ShowResultColors(colors); });
}

}  // namespace browse
