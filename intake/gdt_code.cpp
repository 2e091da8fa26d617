#include "intake/gdt_code.h"

#include <string>
#include <vector>

#include "cadhost/engine/plain_text.h"
#include "intake/text_scan.h"

// The letters of the GD&T font and the compartment layout follow public
// descriptions of the CAD host's frames: the font's shape file (gdt.shp),
// the DXF reference's TOLERANCE group 1, the host's developer guide
// example "{\Fgdt;j}%%v{\Fgdt;n}0.001%%v%%v%%v%%v" (symbol, two tolerance
// compartments, three datums) and the DimFormatCode table of DotNetARX
// (github.com/zhengmaoch/DotNetARX). The letters themselves are read by
// cadhost::engine::multilinePlainText.

namespace intake {

namespace {

using model::DatumRef;
using model::Frame;
using model::FrameRow;
using model::Modifier;
using model::ToleranceValue;
using model::Zone;
using scan::blankLength;
using scan::charLength;
using scan::trim;
using scan::trimFront;

// The diameter signs writers use: Ø (also what %%c and the font's n
// give), ø, ⌀, ∅. Returns the sign's length.
std::size_t diameterSign(std::string_view s) {
  for (std::string_view sign : {"\u00D8", "\u00F8", "\u2300", "\u2205"})
    if (s.starts_with(sign)) return sign.size();
  return 0;
}

bool isNumberChar(char c) {
  return (c >= '0' && c <= '9') || c == '.' || c == ',';
}

std::size_t numberLength(std::string_view s) {
  std::size_t k = 0;
  while (k < s.size() && isNumberChar(s[k])) ++k;
  return k;
}

// Circled letters after a value or a datum, blanks between allowed. The
// projected zone's sign may carry its height ("Ⓟ12"), into *height.
bool readModifiers(std::string_view s, std::vector<Modifier>& out,
                   std::optional<std::string>* height) {
  for (s = trimFront(s); !s.empty(); s = trimFront(s)) {
    std::size_t n = charLength(s);
    auto m = model::modifierOfSymbol(s.substr(0, n));
    if (!m) return false;
    out.push_back(*m);
    s.remove_prefix(n);
    if (*m == Modifier::ProjectedZone && height) {
      s = trimFront(s);
      std::size_t k = numberLength(s);
      if (k > 0 && !model::drawingNumber(s.substr(0, k))) return false;
      *height = std::string(s.substr(0, k));
      s.remove_prefix(k);
    }
  }
  return true;
}

struct ReadTolerance {
  ToleranceValue value;
  std::optional<std::string> projectedHeight;
};

// "Ø0.05Ⓜ", "SØ 0.1", ".00125", "0,05 Ⓛ", "0.1Ⓟ12".
std::optional<ReadTolerance> readTolerance(std::string_view cell) {
  std::string_view s = trim(cell);
  ReadTolerance r;
  if (s.starts_with('S') && diameterSign(s.substr(1))) {
    r.value.zone = Zone::SphericalDiameter;
    s.remove_prefix(1 + diameterSign(s.substr(1)));
  } else if (std::size_t n = diameterSign(s)) {
    r.value.zone = Zone::Diameter;
    s.remove_prefix(n);
  }
  s = trimFront(s);
  std::size_t k = numberLength(s);
  r.value.value = model::drawingNumber(s.substr(0, k));
  if (!r.value.value) return std::nullopt;
  r.value.text = std::string(s.substr(0, k));
  if (!readModifiers(s.substr(k), r.value.modifiers, &r.projectedHeight))
    return std::nullopt;
  return r;
}

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

// Datum letters: "A", "A1" (a target), "A-B" (a common datum).
bool datumLetters(std::string_view s) {
  if (s.empty() || !isUpper(s.front()) || s.back() == '-') return false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '-' && s[i + 1] == '-') return false;
    if (!isUpper(c) && !(c >= '0' && c <= '9') && c != '-') return false;
  }
  return true;
}

std::optional<DatumRef> readDatum(std::string_view cell) {
  std::string_view s = trim(cell);
  DatumRef d;
  std::size_t k = 0;
  while (k < s.size() &&
         (isUpper(s[k]) || (s[k] >= '0' && s[k] <= '9') || s[k] == '-'))
    ++k;
  d.letters = std::string(s.substr(0, k));
  if (d.letters.empty() ? k != s.size() : !datumLetters(d.letters))
    return std::nullopt;
  if (!readModifiers(s.substr(k), d.modifiers, nullptr)) return std::nullopt;
  if (d.letters.empty() && !d.modifiers.empty()) return std::nullopt;
  return d;
}

// One row from its compartments. Compartments that do not read as what
// their place holds are noted; the row keeps what did read.
FrameRow readRow(std::vector<std::string> cells, Frame& frame) {
  for (auto& c : cells) c = std::string(trim(c));
  while (!cells.empty() && cells.back().empty()) cells.pop_back();
  FrameRow row;
  row.cells = cells;
  auto fail = [&](std::string_view what) {
    row.understood = false;
    frame.notUnderstood.emplace_back(what);
  };
  if (cells.empty()) {
    fail("");
    return row;
  }
  if (!cells[0].empty()) {
    row.symbol = model::geometricOfSymbol(cells[0]);
    if (!row.symbol) fail(cells[0]);
  }
  if (cells.size() < 2 || cells[1].empty()) {
    fail(cells.size() < 2 ? cells[0] : cells[1]);
    return row;
  }
  if (auto t = readTolerance(cells[1])) {
    row.tolerance = t->value;
    if (t->projectedHeight && !frame.projected) {
      model::ProjectedZone z;
      z.heightText = *t->projectedHeight;
      z.height = model::drawingNumber(z.heightText);
      frame.projected = z;
    }
  } else {
    fail(cells[1]);
  }
  // The host always writes the second tolerance compartment, mostly empty;
  // others leave it out and go on with the datums. A datum never reads as
  // a number, so the third compartment tells which.
  std::size_t next = 2;
  if (cells.size() > 2) {
    if (cells[2].empty()) {
      next = 3;
    } else if (auto t = readTolerance(cells[2])) {
      row.secondTolerance = t->value;
      next = 3;
    }
  }
  for (std::size_t i = next; i < cells.size(); ++i) {
    if (row.datums.size() == 3) {
      fail(cells[i]);
      continue;
    }
    if (auto d = readDatum(cells[i]))
      row.datums.push_back(*d);
    else
      fail(cells[i]);
  }
  return row;
}

bool hasBoxSeparator(std::string_view line) {
  for (std::size_t i = 0; i + 2 < line.size(); ++i)
    if (line[i] == '%' && line[i + 1] == '%' &&
        (line[i + 2] == 'v' || line[i + 2] == 'V'))
      return true;
  return false;
}

std::vector<std::string> splitBoxes(std::string_view line) {
  std::vector<std::string> cells(1);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (i + 2 < line.size() && line[i] == '%' && line[i + 1] == '%' &&
        (line[i + 2] == 'v' || line[i + 2] == 'V')) {
      cells.emplace_back();
      i += 2;
      continue;
    }
    cells.back() += line[i];
  }
  return cells;
}

std::string_view projectedSign() {
  return model::symbolOf(Modifier::ProjectedZone);
}

// A line of its own holding the projected zone: "12Ⓟ", "Ⓟ12", "Ⓟ".
void readProjectedLine(std::string_view line, Frame& frame) {
  std::size_t at = line.find(projectedSign());
  std::string_view before = trim(line.substr(0, at));
  std::string_view after = trim(line.substr(at + projectedSign().size()));
  model::ProjectedZone z;
  z.heightText = std::string(before.empty() ? after : before);
  z.height = model::drawingNumber(z.heightText);
  bool readable =
      (before.empty() || after.empty()) && (z.heightText.empty() || z.height);
  if (frame.projected || !readable) {
    frame.notUnderstood.emplace_back(line);
    return;
  }
  frame.projected = z;
}

// A datum identifier shown with the frame: "A", or "-A-" in the old style.
bool readIdentifier(std::string_view line, Frame& frame) {
  std::string_view s = line;
  if (s.size() > 2 && s.front() == '-' && s.back() == '-')
    s = s.substr(1, s.size() - 2);
  if (!frame.datumIdentifier.empty() || !datumLetters(s)) return false;
  frame.datumIdentifier = std::string(s);
  return true;
}

// Compartments of a frame typed without %%v: "|" between them, or blanks
// with each modifier belonging to what precedes it.
std::vector<std::string> typedCells(std::string_view line) {
  std::vector<std::string> cells;
  if (line.find('|') != std::string_view::npos) {
    cells.emplace_back();
    for (char c : line) {
      if (c == '|')
        cells.emplace_back();
      else
        cells.back() += c;
    }
    return cells;
  }
  // The symbol may touch what follows it ("⌖Ø0.05").
  std::size_t n = charLength(line);
  cells.emplace_back(line.substr(0, n));
  std::string_view s = line.substr(n);
  bool pendingSign = false;  // a lone Ø before its value
  while (!(s = trimFront(s)).empty()) {
    std::size_t k = 0;
    while (k < s.size() && blankLength(s.substr(k)) == 0)
      k += charLength(s.substr(k));
    std::string_view token = s.substr(0, k);
    s.remove_prefix(k);
    bool modifier = model::modifierOfSymbol(token).has_value();
    if ((modifier || pendingSign) && cells.size() > 1) {
      cells.back() += ' ';
      cells.back() += token;
    } else {
      cells.emplace_back(token);
    }
    pendingSign = diameterSign(token) == token.size() ||
                  (token.size() > 1 && token[0] == 'S' &&
                   diameterSign(token.substr(1)) == token.size() - 1);
  }
  return cells;
}

bool startsWithSymbol(std::string_view line) {
  return model::geometricOfSymbol(line.substr(0, charLength(line))).has_value();
}

}  // namespace

Frame decodeToleranceText(std::string_view text) {
  Frame frame;
  frame.raw = std::string(text);
  cadhost::engine::PlainText plain = cadhost::engine::multilinePlainText(text);
  frame.notUnderstood = plain.unknown;
  for (std::string_view full : scan::lines(plain.text)) {
    std::string_view line = trim(full);
    if (line.empty()) continue;
    if (hasBoxSeparator(line) || frame.rows.empty()) {
      frame.rows.push_back(readRow(splitBoxes(line), frame));
    } else if (line.find(projectedSign()) != std::string_view::npos) {
      readProjectedLine(line, frame);
    } else if (!readIdentifier(line, frame)) {
      frame.notUnderstood.emplace_back(line);
    }
  }
  if (frame.rows.empty()) frame.notUnderstood.emplace_back(text);
  return frame;
}

std::optional<Frame> decodeMTextFrame(std::string_view content) {
  cadhost::engine::PlainText plain =
      cadhost::engine::multilinePlainText(content);
  if (hasBoxSeparator(plain.text)) {
    Frame f = decodeToleranceText(content);
    if (f.rows.empty() || !f.rows.front().symbol) return std::nullopt;
    return f;
  }
  Frame frame;
  frame.raw = std::string(content);
  frame.notUnderstood = plain.unknown;
  for (std::string_view full : scan::lines(plain.text)) {
    std::string_view line = trim(full);
    if (line.empty()) continue;
    if (startsWithSymbol(line))
      frame.rows.push_back(readRow(typedCells(line), frame));
    else if (!frame.rows.empty() &&
             line.find(projectedSign()) != std::string_view::npos)
      readProjectedLine(line, frame);
    else
      frame.notUnderstood.emplace_back(line);
  }
  // A symbol alone ("∠30°") does not make a frame: its first row must hold
  // a tolerance value.
  if (frame.rows.empty() || !frame.rows.front().tolerance.value)
    return std::nullopt;
  return frame;
}

}  // namespace intake
