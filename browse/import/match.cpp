#include "browse/import/match.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <utility>

#include "browse/browser.h"
#include "browse/import/labels.h"
#include "browse/import/text.h"

namespace browse::import {

namespace {

// The panel's captions, in the order of the codes.
constexpr const char* kCaptions[8] = {"游标卡尺", "千分尺", "高度规", "三次元",
                                      "投影仪",   "厚薄规", "半径规", "检具"};

// Other usual names, by the index of their code; English ones are matched
// within the name ("DIGITAL CALIPERS"), Chinese ones whole.
constexpr std::pair<const char*, int> kWords[] = {
    {"caliper", 0},     {"calliper", 0},
    {"vernier", 0},     {"micrometer", 1},
    {"micrometre", 1},  {"height", 2},
    {"cmm", 3},         {"coordinate measuring", 3},
    {"projector", 4},   {"comparator", 4},
    {"feeler", 5},      {"radius gauge", 6},
    {"radius gage", 6}, {"fixture", 7}};
constexpr std::pair<const char*, int> kChineseWords[] = {
    {"卡尺", 0},         {"高度尺", 2}, {"三坐标", 3},
    {"三坐标测量机", 3}, {"塞尺", 5},   {"R规", 6}};

// The panel's caption of an instrument code, or the code itself.
std::string captionOf(const std::string& code) {
  for (std::size_t i = 0; i < 8; ++i)
    if (code == kInstrumentCodes[i]) return kCaptions[i];
  return code;
}

bool isGeometric(Kind k) {
  return k >= Kind::Straightness && k <= Kind::OtherGeometric;
}
bool isSize(Kind k) {
  return k == Kind::Length || k == Kind::Diameter || k == Kind::Radius;
}
bool isProfile(Kind k) {
  return k == Kind::LineProfile || k == Kind::SurfaceProfile;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v == 0 ? 0.0 : v);
  return buf;
}

std::string markText(const MarkRow& r) {
  return std::to_string(r.mark) +
         (r.sub ? "." + std::to_string(r.sub) : std::string());
}

// Why the file's value cannot be the mark's, or nothing. Remarks that do
// not stop the import go to `remarks`.
std::string misfit(const Entry& e, const MarkRow& r, std::string& remarks) {
  const std::string mark = "标号" + markText(r);
  if (r.kind == Kind::Note)
    return "图纸上" + mark + "是技术要求，只记合格/不合格";
  if (kindsContradict(e.kind, r.kind))
    return "文件中是“" + (e.kindName.empty() ? kindTitle(e.kind) : e.kindName) +
           "”，图纸上" + mark + "是" + kindTitle(r.kind);
  // More than the larger of 0.001 and 1% of the mark's tolerance band; the
  // 1E-9 keeps a difference of exactly that much, read from decimal text,
  // on the side of the rule.
  const double allowed = std::max(0.001, 0.01 * (r.up + r.low)) + 1e-9;
  const auto off = [&](double a, double b) {
    return std::fabs(a - b) > allowed;
  };
  if (e.nominal && r.nominal) {
    if (off(*e.nominal, *r.nominal))
      return "名义值不符：文件" + number(*e.nominal) + "，图纸" +
             number(*r.nominal) + "（可能标号错位）";
  } else if (!e.nominal && r.nominal && (e.upperLimit || e.lowerLimit)) {
    const double upper = *r.nominal + r.up, lower = *r.nominal - r.low;
    if ((e.upperLimit && off(*e.upperLimit, upper)) ||
        (e.lowerLimit && off(*e.lowerLimit, lower)))
      return "极限不符：文件" +
             (e.lowerLimit ? number(*e.lowerLimit) : std::string("?")) + "～" +
             (e.upperLimit ? number(*e.upperLimit) : std::string("?")) +
             "，图纸" + number(lower) + "～" + number(upper) +
             "（可能标号错位）";
  } else if ((e.nominal || e.upperLimit || e.lowerLimit) && !r.nominal) {
    remarks += "图纸上的值不是数字，未核对名义值；";
  }
  if ((e.up && off(*e.up, r.up)) || (e.low && off(*e.low, r.low)))
    remarks += "公差不同：文件+" + (e.up ? number(*e.up) : "?") + "/-" +
               (e.low ? number(*e.low) : "?") + "，图纸+" + number(r.up) +
               "/-" + number(r.low) + "；";
  return {};
}

}  // namespace

const char* statusName(Status status) {
  switch (status) {
    case Status::Matched:
      return "matched";
    case Status::Overwrites:
      return "overwrites";
    case Status::Mismatched:
      return "mismatched";
    case Status::Unmatched:
      return "unmatched";
    case Status::BeyondFive:
      return "beyond5";
    case Status::Conflict:
      return "conflict";
    case Status::Unreadable:
      return "unreadable";
  }
  return "unmatched";
}

const char* statusTitle(Status status) {
  switch (status) {
    case Status::Matched:
      return "匹配";
    case Status::Overwrites:
      return "覆盖已录入的值";
    case Status::Mismatched:
      return "不符";
    case Status::Unmatched:
      return "未匹配";
    case Status::BeyondFive:
      return "超出5个样品";
    case Status::Conflict:
      return "重复";
    case Status::Unreadable:
      return "无法读取";
  }
  return "未匹配";
}

std::size_t Review::count(Status status) const {
  return static_cast<std::size_t>(
      std::count_if(items.begin(), items.end(),
                    [&](const ReviewItem& i) { return i.status == status; }));
}

bool kindsContradict(Kind file, Kind mark) {
  if (mark == Kind::Note) return true;
  if (file == Kind::Unknown || mark == Kind::Unknown) return false;
  if (file == Kind::Note) return true;
  if (isSize(file) && isSize(mark)) {
    // A size may be drawn as a linear dimension and measured as a
    // diameter; a radius is never a diameter.
    return (file == Kind::Diameter && mark == Kind::Radius) ||
           (file == Kind::Radius && mark == Kind::Diameter);
  }
  if (isGeometric(file) && isGeometric(mark)) {
    if (file == Kind::OtherGeometric || mark == Kind::OtherGeometric)
      return false;
    if (isProfile(file) && isProfile(mark)) return false;
    return file != mark;
  }
  return file != mark;  // angle, roughness: only their own kind
}

std::optional<std::string> instrumentCode(std::string_view name) {
  const std::string_view trimmed = text::trim(name);
  const std::string lower = text::lower(trimmed);
  if (lower.empty()) return std::nullopt;
  for (int i = 0; i < 8; ++i)
    if (lower == text::lower(kInstrumentCodes[i]) || trimmed == kCaptions[i])
      return kInstrumentCodes[i];
  for (const auto& [word, i] : kChineseWords)
    if (trimmed == word) return kInstrumentCodes[i];
  for (const auto& [word, i] : kWords)
    if (lower.find(word) != std::string::npos) return kInstrumentCodes[i];
  return std::nullopt;
}

Review review(const std::vector<MarkRow>& rows, const ParsedFile& file,
              const MatchOptions& options) {
  if (options.firstSample < 1)
    throw std::invalid_argument("the first sample is 1 or more");
  Review out;
  if (!file.error.empty()) return out;

  std::multimap<int, std::size_t> byMark;
  for (std::size_t r = 0; r < rows.size(); ++r) byMark.emplace(rows[r].mark, r);

  int next = options.firstSample;
  for (std::size_t p = 0; p < file.parts.size(); ++p) {
    const Part& part = file.parts[p];
    const int sample = part.sample ? *part.sample : next++;
    for (std::size_t n = 0; n < part.entries.size(); ++n) {
      const Entry& e = part.entries[n];
      ReviewItem item;
      item.part = p;
      item.entry = n;
      item.label = e.label;
      item.line = e.line;
      item.sample = sample;
      item.value = e.value;
      if (e.instrument.empty()) {
        item.instrument = "CMM";
      } else if (const auto code = instrumentCode(e.instrument)) {
        item.instrument = *code;
      } else {
        item.reason = "量具“" + e.instrument + "”不在八种量具之内；";
      }
      const auto done = [&](Status s, std::string why) {
        item.status = s;
        item.reason = std::move(why);
        out.items.push_back(std::move(item));
      };
      if (!e.value) {
        done(Status::Unreadable, e.refusal);
        continue;
      }
      const auto ref = markOfLabel(e.label);
      if (!ref) {
        done(Status::Unmatched, "“" + e.label + "”不是标号");
        continue;
      }
      std::vector<std::size_t> same, sameMark;
      const auto [from, to] = byMark.equal_range(ref->mark);
      for (auto it = from; it != to; ++it) {
        sameMark.push_back(it->second);
        if (rows[it->second].sub == ref->sub) same.push_back(it->second);
      }
      const std::string mark = "标号" + std::to_string(ref->mark);
      if (same.size() > 1) {
        done(Status::Unmatched, "图纸上" + mark + "不止一行");
        continue;
      }
      if (same.empty()) {
        if (sameMark.empty())
          done(Status::Unmatched, "图纸上没有" + mark);
        else if (ref->sub == 0)
          done(Status::Unmatched,
               mark + "分几行（" + mark + ".1 …），文件须写明是哪一行");
        else
          done(Status::Unmatched,
               mark + "没有第" + std::to_string(ref->sub) + "行");
        continue;
      }
      item.row = same.front();
      std::string remarks;
      const std::string why = misfit(e, rows[*item.row], remarks);
      if (!why.empty()) {
        done(Status::Mismatched, why);
        continue;
      }
      if (sample > 5) {
        done(Status::BeyondFive,
             "只有5个样品，这是第" + std::to_string(sample) + "个");
        continue;
      }
      done(Status::Matched, item.reason + remarks);
    }
  }

  // Two values for one sample of one mark: neither is taken.
  std::map<std::pair<std::size_t, int>, std::vector<std::size_t>> bySlot;
  for (std::size_t i = 0; i < out.items.size(); ++i)
    if (out.items[i].status == Status::Matched)
      bySlot[{*out.items[i].row, out.items[i].sample}].push_back(i);
  for (const auto& [slot, items] : bySlot) {
    if (items.size() < 2) continue;
    std::string where;
    for (std::size_t i : items)
      where +=
          (where.empty() ? "第" : "、") + std::to_string(out.items[i].line);
    for (std::size_t i : items) {
      out.items[i].status = Status::Conflict;
      out.items[i].reason = "标号" + markText(rows[slot.first]) + "的样品" +
                            std::to_string(slot.second) + "有" +
                            std::to_string(items.size()) + "个值（" + where +
                            "行）";
    }
  }

  for (ReviewItem& item : out.items) {
    if (item.status != Status::Matched) continue;
    const MarkRow& row = rows[*item.row];
    // A mark keeps one instrument: the one entered samples were taken
    // with changes for all of them.
    const bool measured = std::any_of(row.entered.begin(), row.entered.end(),
                                      [](const auto& v) { return v; });
    if (measured && !row.instrument.empty() && !item.instrument.empty() &&
        row.instrument != item.instrument)
      item.reason += "仪器将由" + captionOf(row.instrument) + "改为" +
                     captionOf(item.instrument) + "；";
    const auto& before = row.entered[static_cast<std::size_t>(item.sample - 1)];
    if (!before) continue;
    if (static_cast<float>(*item.value) == *before) {
      item.reason += "与已录入的值相同；";
    } else {
      item.status = Status::Overwrites;
      item.previous = before;
      item.reason += "将覆盖已录入的值" + number(*before) + "；";
    }
  }
  // The file's order: a CSV gives its samples' values in any order.
  std::stable_sort(
      out.items.begin(), out.items.end(),
      [](const ReviewItem& a, const ReviewItem& b) { return a.line < b.line; });
  // Remarks end with "；" while they are gathered; the last one is dropped.
  for (ReviewItem& item : out.items)
    if (item.reason.ends_with("；"))
      item.reason.resize(item.reason.size() - std::string_view("；").size());
  return out;
}

}  // namespace browse::import
