#include "intake/annotations.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>

#include "cadhost/engine/plain_text.h"
#include "intake/text_scan.h"
#include "model/characteristic.h"

namespace intake {

namespace {

using scan::lines;
using scan::trim;
using scan::trimFront;

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// A decimal number at the start: "1.6", "3,2", ".8"; a separator counts
// only with a digit after it, so "1.6," ends at the 6.
std::size_t numberLength(std::string_view s) {
  std::size_t k = 0;
  while (k < s.size() && isDigit(s[k])) ++k;
  if (k + 1 < s.size() && (s[k] == '.' || s[k] == ',') && isDigit(s[k + 1])) {
    ++k;
    while (k < s.size() && isDigit(s[k])) ++k;
  }
  return k;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (upper(s[i]) != upper(prefix[i])) return false;
  return true;
}

constexpr std::string_view kRest = "其余";

// ---- notes

// Full-width digits as typed by input methods read as digits.
std::size_t digitAt(std::string_view s, int* value) {
  if (!s.empty() && isDigit(s[0])) {
    *value = s[0] - '0';
    return 1;
  }
  if (s.size() >= 3 && s.starts_with("\xEF\xBC") &&
      static_cast<unsigned char>(s[2]) >= 0x90 &&
      static_cast<unsigned char>(s[2]) <= 0x99) {
    *value = static_cast<unsigned char>(s[2]) - 0x90;
    return 3;
  }
  return 0;
}

enum class Style { Dot, Comma, Paren, RightParen };

struct Marker {
  std::string label;
  int number = 0;
  Style style = Style::Dot;
  std::string_view rest;  // the text after the number
};

std::optional<Marker> readMarker(std::string_view line) {
  std::string_view s = trimFront(line);
  std::string_view start = s;
  bool open = false;
  for (std::string_view p : {"(", "\uFF08"})
    if (s.starts_with(p)) {
      s.remove_prefix(p.size());
      open = true;
      break;
    }
  int number = 0, digits = 0, d = 0;
  while (std::size_t n = digitAt(s, &d)) {
    number = number * 10 + d;
    s.remove_prefix(n);
    if (++digits > 3) return std::nullopt;
  }
  if (digits == 0 || number == 0) return std::nullopt;
  Marker m;
  m.number = number;
  auto closeWith = [&](std::initializer_list<std::string_view> ends,
                       Style style) {
    for (std::string_view e : ends)
      if (s.starts_with(e)) {
        s.remove_prefix(e.size());
        m.style = style;
        return true;
      }
    return false;
  };
  if (open) {
    if (!closeWith({")", "\uFF09"}, Style::Paren)) return std::nullopt;
  } else if (closeWith({".", "\uFF0E"}, Style::Dot)) {
    // "1.6 mm" is a number, not item 1.
    if (!s.empty() && isDigit(s[0])) return std::nullopt;
  } else if (!closeWith({"\u3001"}, Style::Comma) &&
             !closeWith({")", "\uFF09"}, Style::RightParen)) {
    return std::nullopt;
  }
  m.label = std::string(start.substr(0, start.size() - s.size()));
  m.rest = trim(s);
  return m;
}

struct Line {
  std::string_view text;
  int source = 0;
  int line = 0;
};

// Lines of a wrapped item join with a blank between Latin words only.
void appendLine(std::string& to, std::string_view more) {
  if (!to.empty() && !more.empty()) {
    auto last = static_cast<unsigned char>(to.back());
    auto first = static_cast<unsigned char>(more.front());
    if (last < 0x80 && first < 0x80 && last != ' ' &&
        std::string_view(".,;:!?)").find(static_cast<char>(first)) ==
            std::string_view::npos)
      to += ' ';
  }
  to += more;
}

std::vector<NoteItem> itemsOf(const std::vector<Line>& in) {
  std::vector<NoteItem> items;
  std::optional<Style> top;
  int lastTop = 0;
  bool inSublist = false;
  for (const Line& l : in) {
    std::string_view t = trim(l.text);
    if (t.empty()) continue;
    std::optional<Marker> m = readMarker(t);
    bool startsItem = false;
    if (m) {
      if (!top || m->style == *top) {
        startsItem = true;
      } else if (m->number == 1) {
        inSublist = true;  // "(1)" under "1.": part of the item above
      } else if (!inSublist && m->number == lastTop + 1) {
        startsItem = true;  // numbered in another style by mistake
      }
    }
    if (startsItem) {
      if (!top) top = m->style;
      lastTop = m->number;
      inSublist = false;
      NoteItem item;
      item.label = m->label;
      item.number = m->number;
      item.text = std::string(m->rest);
      item.shown = std::string(t);
      item.source = l.source;
      item.line = l.line;
      items.push_back(std::move(item));
    } else if (items.empty() || items.back().number == 0) {
      // Unnumbered lines before any numbered one: a requirement each.
      NoteItem item;
      item.text = std::string(t);
      item.shown = item.text;
      item.source = l.source;
      item.line = l.line;
      items.push_back(std::move(item));
    } else {
      appendLine(items.back().text, t);
      appendLine(items.back().shown, t);
    }
  }
  return items;
}

struct HeadingLine {
  std::size_t index = 0;  // of the line
  std::string heading;
  std::string rest;
};

// The first non-blank line of a text, when it is a heading.
std::optional<HeadingLine> headingOf(const std::vector<std::string_view>& ls) {
  for (std::size_t i = 0; i < ls.size(); ++i) {
    std::string_view t = trim(ls[i]);
    if (t.empty()) continue;
    auto rest = notesHeading(t);
    if (!rest) return std::nullopt;
    HeadingLine h;
    h.index = i;
    h.rest = *rest;
    std::string_view head = t.substr(0, t.size() - rest->size());
    h.heading = std::string(trim(head));
    return h;
  }
  return std::nullopt;
}

}  // namespace

std::string plainText(std::string_view text, bool multiline) {
  return multiline ? cadhost::engine::multilinePlainText(text).text
                   : cadhost::engine::singleLinePlainText(text).text;
}

// ---------------------------------------------------------------- roughness

bool isRestNote(std::string_view plain) {
  return plain.find(kRest) != std::string_view::npos;
}

std::vector<Roughness> roughnessInText(std::string_view s) {
  std::vector<Roughness> out;
  bool rest = isRestNote(s);
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != 'R' || (i > 0 && isAsciiLetter(s[i - 1]))) continue;
    std::string_view after = s.substr(i + 1);
    Roughness r;
    std::size_t j = 0;
    if (startsWithNoCase(after, "max")) {
      r.parameter = "Rmax";
      j = 3;
    } else if (!after.empty() && upper(after[0]) == 'A') {
      r.parameter = "Ra";
      j = 1;
    } else if (!after.empty() && upper(after[0]) == 'Z') {
      r.parameter = "Rz";
      j = 1;
    } else {
      continue;
    }
    // "Ra max 0.8": the value is not to be exceeded anywhere; still an
    // upper limit.
    std::string_view v = after.substr(j);
    if (r.parameter != "Rmax" && startsWithNoCase(trimFront(v), "max"))
      v = trimFront(v).substr(3);
    if (!v.empty() && isAsciiLetter(v[0])) continue;  // "Radius", "Rzeppa"
    v = trimFront(v);
    for (std::string_view sign : {"=", "\u2264", "<", ":", "\uFF1A"})
      if (v.starts_with(sign)) {
        v = trimFront(v.substr(sign.size()));
        break;
      }
    std::size_t k = numberLength(v);
    if (k == 0) continue;
    r.valueText = std::string(v.substr(0, k));
    auto value = model::drawingNumber(r.valueText);
    if (!value) continue;
    r.value = *value;
    // "U Ra 3.2" / "L Ra 0.8": the limit's side, a letter standing alone.
    std::string_view before = trim(s.substr(0, i));
    if (!before.empty() && (before.back() == 'L' || before.back() == 'U') &&
        (before.size() == 1 || !isAsciiLetter(before[before.size() - 2])))
      r.lowerLimit = before.back() == 'L';
    r.rest = rest;
    out.push_back(std::move(r));
    i = static_cast<std::size_t>(v.data() - s.data()) + k - 1;
  }
  return out;
}

std::optional<Roughness> roughnessOfBlock(
    std::string_view blockName, const std::vector<Attribute>& attributes) {
  bool rest =
      std::any_of(attributes.begin(), attributes.end(),
                  [](const Attribute& a) { return isRestNote(a.value); });
  auto finish = [&](Roughness r) {
    r.rest = r.rest || rest;
    return std::optional<Roughness>(std::move(r));
  };
  for (const Attribute& a : attributes) {
    auto found = roughnessInText(a.value);
    if (!found.empty()) return finish(found.front());
  }
  for (const Attribute& a : attributes) {
    std::string tag;
    for (char c : trim(a.tag)) tag += upper(c);
    std::string_view parameter = tag == "RA"     ? "Ra"
                                 : tag == "RZ"   ? "Rz"
                                 : tag == "RMAX" ? "Rmax"
                                                 : "";
    std::string_view value = trim(a.value);
    auto number = model::drawingNumber(value);
    if (parameter.empty() || !number) continue;
    Roughness r;
    r.parameter = std::string(parameter);
    r.valueText = std::string(value);
    r.value = *number;
    return finish(r);
  }
  std::string name;
  for (char c : blockName) name += upper(c);
  bool roughnessBlock = name.find("粗糙度") != std::string::npos ||
                        name.find("ROUGH") != std::string::npos ||
                        name.starts_with("CCD");
  if (!roughnessBlock) return std::nullopt;
  std::optional<Roughness> only;
  for (const Attribute& a : attributes) {
    std::string_view value = trim(a.value);
    auto number = model::drawingNumber(value);
    if (!number) continue;
    if (only) return std::nullopt;  // two numbers: which is the value?
    Roughness r;
    r.valueText = std::string(value);
    r.value = *number;
    only = r;
  }
  if (!only) return std::nullopt;
  return finish(*only);
}

std::string roughnessText(const Roughness& r) {
  std::string out;
  if (r.rest) out += std::string(kRest) + " ";
  if (r.lowerLimit) out += "L ";
  if (!r.parameter.empty()) out += r.parameter + " ";
  return out + r.valueText;
}

// -------------------------------------------------------------------- notes

std::optional<std::string> notesHeading(std::string_view line) {
  // Headings are often spread out ("技 术 要 求"): blanks inside are
  // skipped, Latin letters compared in any case.
  static constexpr std::array<std::string_view, 6> kHeadings = {
      "TECHNICALREQUIREMENTS",
      "TECHNICALREQUIREMENT",
      "技术要求",
      "技術要求",
      "NOTES",
      "NOTE"};
  std::string_view s = trim(line);
  for (std::string_view h : kHeadings) {
    std::string_view rest = s;
    std::size_t k = 0;
    while (k < h.size()) {
      rest = trimFront(rest);
      if (rest.empty() || upper(rest[0]) != h[k]) break;
      rest.remove_prefix(1);
      ++k;
    }
    if (k < h.size()) continue;
    rest = trimFront(rest);
    bool colon = false;
    for (std::string_view c : {":", "\uFF1A"})
      if (rest.starts_with(c)) {
        rest = trimFront(rest.substr(c.size()));
        colon = true;
      }
    // "NOTES ON ASSEMBLY" is no heading; "技术要求：去毛刺" and
    // "技术要求 1.去毛刺" are.
    if (rest.empty() || colon || readMarker(rest)) return std::string(rest);
  }
  return std::nullopt;
}

std::optional<NoteGroup> notesOfText(std::string_view plain) {
  std::vector<std::string_view> ls = lines(plain);
  auto h = headingOf(ls);
  if (!h) return std::nullopt;
  NoteGroup g;
  g.heading = h->heading;
  std::vector<Line> body;
  if (!h->rest.empty())
    body.push_back({std::string_view(h->rest), 0, static_cast<int>(h->index)});
  for (std::size_t i = h->index + 1; i < ls.size(); ++i)
    body.push_back({ls[i], 0, static_cast<int>(i)});
  g.items = itemsOf(body);
  return g;
}

std::vector<NoteGroup> groupNotes(const std::vector<PlacedText>& texts) {
  std::vector<std::vector<std::string_view>> split;
  std::vector<std::optional<HeadingLine>> headings;
  for (const auto& t : texts) {
    split.push_back(lines(t.text));
    headings.push_back(headingOf(split.back()));
  }
  std::vector<std::size_t> order(texts.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) {
                     if (texts[a].y != texts[b].y)
                       return texts[a].y > texts[b].y;
                     return texts[a].x < texts[b].x;
                   });
  std::vector<bool> used(texts.size(), false);
  std::vector<NoteGroup> groups;
  for (std::size_t h : order) {
    if (!headings[h] || used[h]) continue;
    used[h] = true;
    const PlacedText& head = texts[h];
    const HeadingLine& hl = *headings[h];
    NoteGroup g;
    g.heading = hl.heading;
    g.headingSource = static_cast<int>(h);
    g.sources.push_back(static_cast<int>(h));
    std::vector<Line> body;
    int src = static_cast<int>(h);
    if (!hl.rest.empty())
      body.push_back(
          {std::string_view(hl.rest), src, static_cast<int>(hl.index)});
    bool inside = false;
    for (std::size_t i = hl.index + 1; i < split[h].size(); ++i) {
      body.push_back({split[h][i], src, static_cast<int>(i)});
      inside = inside || !trim(split[h][i]).empty();
    }
    // A heading text without lines of its own under the heading (an item
    // beside it may be): the items are the texts under it, each close
    // below the one before, near the heading across.
    std::deque<std::string> joined;  // rows of several texts, kept in place
    if (!inside) {
      double lineHeight = head.height > 0 ? head.height : 1;
      double bottom = head.y;
      std::vector<std::size_t> below;
      for (std::size_t i : order) {
        const PlacedText& t = texts[i];
        double size = std::max(lineHeight, t.height);
        if (used[i] || headings[i] || !(t.y < head.y - 0.3 * size) ||
            std::fabs(t.x - head.x) > 20 * size)
          continue;
        below.push_back(i);
      }
      std::vector<std::vector<std::size_t>> rows;
      double rowY = 0;
      for (std::size_t i : below) {
        const PlacedText& t = texts[i];
        double size = std::max(lineHeight, t.height);
        if (!rows.empty() && std::fabs(t.y - rowY) < 0.5 * size) {
          rows.back().push_back(i);  // beside one another: one line
          continue;
        }
        if (bottom - t.y > 3.0 * size) break;
        rows.push_back({i});
        rowY = t.y;
        std::size_t n = split[i].size();
        bottom = t.y - static_cast<double>(n - 1) * t.height * 5.0 / 3.0;
        lineHeight = t.height > 0 ? t.height : lineHeight;
      }
      for (auto& row : rows) {
        std::sort(row.begin(), row.end(), [&](std::size_t a, std::size_t b) {
          return texts[a].x < texts[b].x;
        });
        for (std::size_t i : row) {
          used[i] = true;
          g.sources.push_back(static_cast<int>(i));
        }
        if (row.size() == 1) {
          std::size_t i = row.front();
          for (std::size_t k = 0; k < split[i].size(); ++k)
            body.push_back(
                {split[i][k], static_cast<int>(i), static_cast<int>(k)});
          continue;
        }
        std::string line;
        for (std::size_t i : row) {
          if (!line.empty()) line += ' ';
          line += trim(texts[i].text);
        }
        joined.push_back(std::move(line));
        body.push_back({joined.back(), static_cast<int>(row.front()), 0});
      }
    }
    g.items = itemsOf(body);
    groups.push_back(std::move(g));
  }
  return groups;
}

}  // namespace intake
