#include "browse/gauge.h"

#include <charconv>

#include "base/utf8.h"
#include "browse/browser.h"
#include "browse/entry_keys.h"
#include "forms/desktop.h"
#include "model/form1.h"

namespace browse {

namespace {

std::optional<int> wholeNumber(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size())
    return std::nullopt;
  return v;
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ';'; }

// The code points of a line, each as its bytes.
std::vector<std::string_view> characters(std::string_view line) {
  std::vector<std::string_view> out;
  for (std::size_t i = 0; i < line.size();) {
    std::size_t n = base::utf8Length(line, i);
    if (n == 0) n = 1;  // a broken byte is a character of its own
    out.push_back(line.substr(i, n));
    i += n;
  }
  return out;
}

}  // namespace

std::string modeName(ReadingPart::Mode mode) {
  switch (mode) {
    case ReadingPart::Mode::Field:
      return "field";
    case ReadingPart::Mode::Columns:
      return "columns";
    case ReadingPart::Mode::Line:
      break;
  }
  return "line";
}

std::string whereText(const ReadingPart& part) {
  switch (part.mode) {
    case ReadingPart::Mode::Field:
      return std::to_string(part.field);
    case ReadingPart::Mode::Columns:
      return std::to_string(part.from) + "-" +
             (part.to ? std::to_string(part.to) : std::string());
    case ReadingPart::Mode::Line:
      break;
  }
  return {};
}

std::optional<ReadingPart> readingPartOf(std::string_view mode,
                                         std::string_view where) {
  ReadingPart p;
  if (mode == "line") return p;
  if (mode == "field") {
    const auto n = wholeNumber(where);
    if (!n || *n == 0 || *n < -99 || *n > 99) return std::nullopt;
    p.mode = ReadingPart::Mode::Field;
    p.field = *n;
    return p;
  }
  if (mode != "columns") return std::nullopt;
  const auto dash = where.find('-');
  const auto from = wholeNumber(where.substr(0, dash));
  std::optional<int> to = 0;
  if (dash != std::string_view::npos) {
    std::string_view rest = where.substr(dash + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    to = rest.empty() ? std::optional<int>(0) : wholeNumber(rest);
  }
  if (!from || !to || *from < 1 ||
      *from > static_cast<int>(LineSplitter::kLongest) || *to < 0 ||
      (*to != 0 && *to < *from) ||
      *to > static_cast<int>(LineSplitter::kLongest))
    return std::nullopt;
  p.mode = ReadingPart::Mode::Columns;
  p.from = *from;
  p.to = *to;
  return p;
}

std::optional<std::string> partOfLine(std::string_view line,
                                      const ReadingPart& part) {
  switch (part.mode) {
    case ReadingPart::Mode::Line:
      return std::string(line);
    case ReadingPart::Mode::Field: {
      std::vector<std::string_view> fields;
      for (std::size_t i = 0; i < line.size();) {
        while (i < line.size() && isSeparator(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !isSeparator(line[i])) ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
      }
      const int n = static_cast<int>(fields.size());
      const int at = part.field > 0 ? part.field - 1 : n + part.field;
      if (at < 0 || at >= n) return std::nullopt;
      return std::string(fields[static_cast<std::size_t>(at)]);
    }
    case ReadingPart::Mode::Columns: {
      const auto chars = characters(line);
      if (part.from < 1 || static_cast<std::size_t>(part.from) > chars.size())
        return std::nullopt;
      const std::size_t end =
          part.to == 0
              ? chars.size()
              : std::min(chars.size(), static_cast<std::size_t>(part.to));
      std::string out;
      for (std::size_t i = static_cast<std::size_t>(part.from) - 1; i < end;
           ++i)
        out += chars[i];
      return out;
    }
  }
  return std::nullopt;
}

GaugeSettings loadGaugeSettings(forms::Desktop& d) {
  GaugeSettings s;
  const auto get = [&](const char* key) {
    return d.setting(key).value_or(std::string());
  };
  s.port = get("measure/gauge/port");
  if (const auto baud = wholeNumber(get("measure/gauge/baud"));
      baud && *baud > 0)
    s.baud = *baud;
  if (const auto bits = wholeNumber(get("measure/gauge/dataBits"));
      bits && *bits >= 5 && *bits <= 8)
    s.dataBits = *bits;
  const std::string parity = get("measure/gauge/parity");
  if (parity == "even") s.parity = GaugeSettings::Parity::Even;
  if (parity == "odd") s.parity = GaugeSettings::Parity::Odd;
  const std::string stop = get("measure/gauge/stopBits");
  if (stop == "1.5") s.stopBits = GaugeSettings::StopBits::OneAndHalf;
  if (stop == "2") s.stopBits = GaugeSettings::StopBits::Two;
  if (const auto part = readingPartOf(get("measure/gauge/partMode"),
                                      get("measure/gauge/partWhere")))
    s.part = *part;
  return s;
}

void saveGaugeSettings(forms::Desktop& d, const GaugeSettings& s) {
  d.setSetting("measure/gauge/port", s.port);
  d.setSetting("measure/gauge/baud", std::to_string(s.baud));
  d.setSetting("measure/gauge/dataBits", std::to_string(s.dataBits));
  d.setSetting("measure/gauge/parity",
               s.parity == GaugeSettings::Parity::Even  ? "even"
               : s.parity == GaugeSettings::Parity::Odd ? "odd"
                                                        : "none");
  d.setSetting("measure/gauge/stopBits",
               s.stopBits == GaugeSettings::StopBits::OneAndHalf ? "1.5"
               : s.stopBits == GaugeSettings::StopBits::Two      ? "2"
                                                                 : "1");
  d.setSetting("measure/gauge/partMode", modeName(s.part.mode));
  d.setSetting("measure/gauge/partWhere", whereText(s.part));
}

void LineSplitter::feed(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == '\r' || c == '\n') {
      // CR LF ends one line, not two.
      const bool second = c == '\n' && afterCr_;
      afterCr_ = c == '\r';
      if (second) continue;
      if (!partial_.empty() || overlong_)
        lines_.push_back({std::move(partial_), overlong_});
      partial_.clear();
      overlong_ = false;
      continue;
    }
    afterCr_ = false;
    if (partial_.size() < kLongest)
      partial_ += c;
    else
      overlong_ = true;
  }
}

std::vector<LineSplitter::Line> LineSplitter::take() {
  std::vector<Line> out;
  out.swap(lines_);
  return out;
}

void LineSplitter::clear() {
  lines_.clear();
  partial_.clear();
  overlong_ = false;
  afterCr_ = false;
}

std::string shownLine(std::string_view line) {
  std::string out;
  int shown = 0;
  for (std::size_t i = 0; i < line.size();) {
    if (++shown > 40) {
      out += "…";
      break;
    }
    std::uint32_t cp = 0;
    const std::size_t n = base::utf8Length(line, i, &cp);
    if (n == 0 || cp < 0x20 || cp == 0x7F) {
      out += '?';
      i += n == 0 ? 1 : n;
      continue;
    }
    out.append(line.substr(i, n));
    i += n;
  }
  return out;
}

void GaugeFeed::bytes(model::Form1& f, std::string_view data, int focusedBox,
                      const ReadingPart& part) {
  lines_.feed(data);
  // The box that had the focus when the bytes came takes the first
  // reading only: each reading moves the entry on, and the next one goes
  // where that left it, not where the focus stood before the batch.
  for (const auto& l : lines_.take()) {
    line(f, l.text, l.overlong, focusedBox, part);
    focusedBox = -1;
  }
}

void GaugeFeed::line(model::Form1& f, std::string_view text, bool overlong,
                     int focusedBox, const ReadingPart& part) {
  auto garbage = [&](const std::string& why) {
    if (garbageTold_) return;
    garbageTold_ = true;
    f.ctx.desktop.message("量具端口收到的“" + shownLine(text) + "”" + why +
                              "，没有输入，位置不变。此后的无效数据不再提示，"
                              "直到收到下一个读数。",
                          forms::Buttons::Ok, "");
  };
  if (overlong) {
    garbage("超过" + std::to_string(LineSplitter::kLongest) +
            "个字符，不是读数");
    return;
  }
  const auto reading = partOfLine(text, part);
  if (!reading) {
    garbage(part.mode == ReadingPart::Mode::Field
                ? "没有第" + std::to_string(part.field) + "个字段"
                : "没有第" + std::to_string(part.from) + "个字符");
    return;
  }
  const SampleText read = readSample(*reading);
  if (!read.error.empty()) {
    garbage("中的“" + shownLine(*reading) + "”" + read.error);
    return;
  }
  if (!read.value) return;  // blanks: nothing was measured
  if (!f.FrmInput->reachable() || f.Combo1->listCount() == 0) {
    if (!nowhereTold_)
      f.ctx.desktop.message("量具读数“" + shownLine(*reading) +
                                "”没有输入：请先打开图纸并标号，"
                                "测量值面板才能输入。",
                            forms::Buttons::Ok, "");
    nowhereTold_ = true;
    return;
  }
  nowhereTold_ = false;
  garbageTold_ = false;
  int box = focusedBox >= 0 && focusedBox < 5 ? focusedBox : f.entryBox;
  if (box < 0 || box >= 5) box = 0;
  f.Text7[static_cast<std::size_t>(box)]->setText(*reading);
  if (enterReading(f, box) == Entered::Stored) ++entered_;
}

void GaugeFeed::lost(model::Form1& f, const std::string& port,
                     const std::string& why) {
  std::string text = "量具端口“" + port + "”断开了";
  if (!why.empty()) text += "（" + why + "）";
  text += "。已输入的读数都已保存";
  if (!lines_.pending().empty())
    text += "；最后半行“" + shownLine(lines_.pending()) + "”不完整，没有输入";
  text += "。";
  lines_.clear();
  f.ctx.desktop.message(text, forms::Buttons::Ok, "");
}

void GaugeFeed::reset() {
  lines_.clear();
  garbageTold_ = false;
  nowhereTold_ = false;
}

}  // namespace browse
