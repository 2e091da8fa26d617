#include "cadhost/viewer/text_layout.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace cadhost::viewer {

namespace {

constexpr double kReferencePixels = 100;

bool isCjk(char32_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
         (c >= 0x20000 && c <= 0x3FFFF);
}

}  // namespace

bool hasCjk(const QString& s) {
  for (char32_t c : s.toUcs4())
    if (isCjk(c)) return true;
  return false;
}

FontMetrics::FontMetrics() {
  const QStringList families = QFontDatabase::families();
  for (const char* f : {"WenQuanYi Micro Hei", "Noto Sans CJK SC"})
    if (families.contains(QString::fromUtf8(f))) {
      font_ = QFont(QString::fromUtf8(f));
      break;
    }
  font_.setPixelSize(static_cast<int>(kReferencePixels));
  font_.setKerning(false);
  QFontMetricsF m(font_);
  if (m.capHeight() > 1) capRatio_ = m.capHeight() / kReferencePixels;
  QRectF ink = m.tightBoundingRect(QString::fromUtf8("中"));
  if (ink.height() > 1) cjkRatio_ = ink.height() / kReferencePixels;
  descent_ = m.descent() / kReferencePixels / capRatio_;
  bmp_.assign(65536, std::numeric_limits<float>::quiet_NaN());
}

double FontMetrics::emPerCap(const QString& s, bool trueType) const {
  return !trueType && hasCjk(s) ? 1.0 / cjkRatio_ : 1.0 / capRatio_;
}

double FontMetrics::advance(char32_t c) const {
  if (c < 65536) {
    float& a = bmp_[c];
    if (std::isnan(a)) {
      QFontMetricsF m(font_);
      a = static_cast<float>(
          m.horizontalAdvance(QString(QChar(static_cast<char16_t>(c)))) /
          kReferencePixels);
    }
    return a;
  }
  auto it = other_.find(c);
  if (it != other_.end()) return it->second;
  QFontMetricsF m(font_);
  auto a = static_cast<float>(m.horizontalAdvance(QString::fromUcs4(&c, 1)) /
                              kReferencePixels);
  other_.emplace(c, a);
  return a;
}

double FontMetrics::width(const QString& s, bool trueType) const {
  double em = 0;
  for (char32_t c : s.toUcs4()) em += advance(c);
  return em * emPerCap(s, trueType);
}

// ------------------------------------------------------------ %% codes

namespace {

// Resolves one %% code at s[i] (after the two percent signs); returns the
// characters it stands for and advances i. Toggles come back as 'u', 'o',
// 'k' in *toggle.
QString percentCode(const QString& s, qsizetype& i, char* toggle) {
  *toggle = 0;
  if (i >= s.size()) return QStringLiteral("%%");
  QChar c = s[i].toLower();
  if (c == 'c') {
    ++i;
    return QString(QChar(0x00D8));
  }
  if (c == 'd') {
    ++i;
    return QString(QChar(0x00B0));
  }
  if (c == 'p') {
    ++i;
    return QString(QChar(0x00B1));
  }
  if (c == '%') {
    ++i;
    return QStringLiteral("%");
  }
  if (c == 'u' || c == 'o' || c == 'k') {
    *toggle = static_cast<char>(c.unicode());
    ++i;
    return {};
  }
  if (c.isDigit()) {
    int code = 0, n = 0;
    while (i < s.size() && n < 3 && s[i].isDigit()) {
      code = code * 10 + s[i].digitValue();
      ++i;
      ++n;
    }
    // The CAD host's fonts keep three signs below 130 where the code page
    // has none.
    if (code == 127) return QString(QChar(0x00B0));
    if (code == 128) return QString(QChar(0x00B1));
    if (code == 129) return QString(QChar(0x00D8));
    return QString(QChar(static_cast<char16_t>(code)));
  }
  return QStringLiteral("%%");
}

}  // namespace

std::vector<TextPiece> decodeSingleLine(const std::string& utf8) {
  QString s = QString::fromUtf8(utf8);
  std::vector<TextPiece> out(1);
  for (qsizetype i = 0; i < s.size();) {
    if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      i += 2;
      char toggle = 0;
      QString r = percentCode(s, i, &toggle);
      if (toggle) {
        TextPiece next = out.back();
        next.text.clear();
        if (toggle == 'u') next.underline = !next.underline;
        if (toggle == 'o') next.overline = !next.overline;
        if (toggle == 'k') next.strike = !next.strike;
        if (out.back().text.isEmpty())
          out.back() = next;
        else
          out.push_back(next);
      } else {
        out.back().text += r;
      }
      continue;
    }
    out.back().text += s[i];
    ++i;
  }
  if (out.size() > 1 && out.back().text.isEmpty()) out.pop_back();
  return out;
}

// ------------------------------------------------------------ MTEXT

namespace {

struct Format {
  double height = 1;
  double widthFactor = 1;
  double oblique = 0;
  double tracking = 1;
  bool bold = false, italic = false;
  bool underline = false, overline = false, strike = false;
  bool trueType = false;
  int aci = -1;
  std::optional<Rgb> rgb;
};

struct Item {
  enum Kind { Char, Stack, Break } kind = Char;
  char32_t ch = 0;
  QString top, bottom;
  char stackType = '^';
  Format fmt;
};

double parseNumber(const QString& s, bool* relative) {
  QString t = s.trimmed();
  *relative = t.endsWith('x') || t.endsWith('X');
  if (*relative) t.chop(1);
  bool ok = false;
  double v = t.toDouble(&ok);
  return ok && std::isfinite(v) ? v : std::numeric_limits<double>::quiet_NaN();
}

// Reads up to the ';' that ends a format code; the cursor ends after it.
QString untilSemicolon(const QString& s, qsizetype& i) {
  QString out;
  while (i < s.size() && s[i] != ';') {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == ';') {
      out += ';';
      i += 2;
      continue;
    }
    out += s[i];
    ++i;
  }
  if (i < s.size()) ++i;
  return out;
}

QString resolvePercents(const QString& s) {
  QString out;
  for (qsizetype i = 0; i < s.size();) {
    if (s[i] == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      i += 2;
      char toggle = 0;
      out += percentCode(s, i, &toggle);
      continue;
    }
    out += s[i++];
  }
  return out;
}

std::vector<Item> parseMText(const QString& s, const Format& base) {
  std::vector<Item> items;
  std::vector<Format> stack;
  Format f = base;
  auto addChars = [&](const QString& text) {
    for (char32_t c : text.toUcs4()) {
      Item it;
      it.ch = c;
      it.fmt = f;
      items.push_back(it);
    }
  };
  auto addBreak = [&] {
    Item it;
    it.kind = Item::Break;
    it.fmt = f;
    items.push_back(it);
  };
  for (qsizetype i = 0; i < s.size();) {
    QChar c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      QChar code = s[i + 1];
      i += 2;
      bool rel = false;
      switch (code.unicode()) {
        case 'P':
        case 'N':
        case 'X':
          addBreak();
          break;
        case '~':
          addChars(QString(QChar(0x00A0)));
          break;
        case '\\':
        case '{':
        case '}':
          addChars(QString(code));
          break;
        case 'H': {
          double v = parseNumber(untilSemicolon(s, i), &rel);
          if (v > 0) f.height = rel ? f.height * v : v;
          break;
        }
        case 'W': {
          double v = parseNumber(untilSemicolon(s, i), &rel);
          if (v > 0) f.widthFactor = rel ? f.widthFactor * v : v;
          break;
        }
        case 'Q': {
          double v = parseNumber(untilSemicolon(s, i), &rel);
          if (std::isfinite(v)) f.oblique = v * std::numbers::pi / 180;
          break;
        }
        case 'T': {
          double v = parseNumber(untilSemicolon(s, i), &rel);
          if (v > 0) f.tracking = v;
          break;
        }
        case 'C': {
          double v = parseNumber(untilSemicolon(s, i), &rel);
          if (v >= 0 && v <= 256) {
            f.aci = static_cast<int>(v);
            f.rgb.reset();
          }
          break;
        }
        case 'c': {
          bool ok = false;
          long long v = untilSemicolon(s, i).trimmed().toLongLong(&ok);
          if (ok)
            f.rgb = Rgb{static_cast<std::uint8_t>((v >> 16) & 0xFF),
                        static_cast<std::uint8_t>((v >> 8) & 0xFF),
                        static_cast<std::uint8_t>(v & 0xFF)};
          break;
        }
        case 'f':
        case 'F': {
          const QStringList parts = untilSemicolon(s, i).split('|');
          // \f names a TrueType font, \F a shape font; a name we lack
          // still keeps its kind of sizing.
          f.trueType = code.unicode() == 'f';
          for (const QString& p : parts) {
            if (p == QLatin1String("b1")) f.bold = true;
            if (p == QLatin1String("b0")) f.bold = false;
            if (p == QLatin1String("i1")) f.italic = true;
            if (p == QLatin1String("i0")) f.italic = false;
          }
          break;
        }
        case 'L':
          f.underline = true;
          break;
        case 'l':
          f.underline = false;
          break;
        case 'O':
          f.overline = true;
          break;
        case 'o':
          f.overline = false;
          break;
        case 'K':
          f.strike = true;
          break;
        case 'k':
          f.strike = false;
          break;
        case 'S': {
          QString body = untilSemicolon(s, i);
          Item it;
          it.kind = Item::Stack;
          it.fmt = f;
          qsizetype split = -1;
          for (qsizetype k = 0; k < body.size(); ++k) {
            if (body[k] == '\\' && k + 1 < body.size()) {
              ++k;
              continue;
            }
            if (body[k] == '^' || body[k] == '/' || body[k] == '#') {
              split = k;
              break;
            }
          }
          auto unescape = [](QString t) {
            t.replace(QLatin1String("\\^"), QLatin1String("^"));
            t.replace(QLatin1String("\\/"), QLatin1String("/"));
            t.replace(QLatin1String("\\#"), QLatin1String("#"));
            return resolvePercents(t);
          };
          if (split < 0) {
            addChars(unescape(body));
            break;
          }
          it.top = unescape(body.left(split));
          it.bottom = unescape(body.mid(split + 1));
          it.stackType = static_cast<char>(body[split].unicode());
          items.push_back(it);
          break;
        }
        case 'A':
        case 'p':
        case 'U':
        case 'M':
          untilSemicolon(s, i);
          break;
        default:
          break;  // an unknown code: drop its letter
      }
      continue;
    }
    if (c == '{') {
      stack.push_back(f);
      ++i;
      continue;
    }
    if (c == '}') {
      if (!stack.empty()) {
        f = stack.back();
        stack.pop_back();
      }
      ++i;
      continue;
    }
    if (c == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      i += 2;
      char toggle = 0;
      QString r = percentCode(s, i, &toggle);
      if (toggle == 'u') f.underline = !f.underline;
      if (toggle == 'o') f.overline = !f.overline;
      if (toggle == 'k') f.strike = !f.strike;
      addChars(r);
      continue;
    }
    if (c == '^' && i + 1 < s.size() &&
        (s[i + 1] == 'I' || s[i + 1] == 'J' || s[i + 1] == 'M')) {
      if (s[i + 1] == 'I') addChars(QStringLiteral("    "));
      if (s[i + 1] == 'J') addBreak();
      i += 2;
      continue;
    }
    if (c == '\n') {
      addBreak();
      ++i;
      continue;
    }
    if (c == '\r') {
      ++i;
      continue;
    }
    if (c == '\t') {
      addChars(QStringLiteral("    "));
      ++i;
      continue;
    }
    if (c.isHighSurrogate() && i + 1 < s.size()) {
      addChars(s.mid(i, 2));
      i += 2;
      continue;
    }
    addChars(QString(c));
    ++i;
  }
  return items;
}

bool sameLook(const Format& a, const Format& b) {
  return a.height == b.height && a.widthFactor == b.widthFactor &&
         a.oblique == b.oblique && a.tracking == b.tracking &&
         a.bold == b.bold && a.italic == b.italic &&
         a.underline == b.underline && a.overline == b.overline &&
         a.strike == b.strike && a.trueType == b.trueType && a.aci == b.aci &&
         a.rgb == b.rgb;
}

// The parts of a stack keep the height in force and sit one above the
// other, this fraction of it apart.
constexpr double kStackGap = 0.2;

struct Placed {
  const Item* item;
  double x = 0, width = 0;
};

double itemWidth(const Item& it, const FontMetrics& m) {
  const Format& f = it.fmt;
  if (it.kind == Item::Char) {
    QString s = QString::fromUcs4(&it.ch, 1);
    if (it.ch == 0x00A0) s = QStringLiteral(" ");
    return m.width(s, f.trueType) * f.height * f.widthFactor * f.tracking;
  }
  if (it.kind == Item::Stack) {
    double wt = m.width(it.top) * f.height * f.widthFactor;
    double wb = m.width(it.bottom) * f.height * f.widthFactor;
    if (it.stackType == '#')
      return wt + wb + m.width(QStringLiteral("/")) * f.height * f.widthFactor;
    return std::max(wt, wb);
  }
  return 0;
}

double itemCap(const Item& it) {
  if (it.kind == Item::Stack && it.stackType != '#')
    return it.fmt.height * (2 + kStackGap) - it.fmt.height * 0.1;
  return it.fmt.height;
}

bool breakableAfter(const Item& it) {
  return it.kind == Item::Char && (it.ch == ' ' || isCjk(it.ch));
}

}  // namespace

MTextLayout layoutMText(const MTextSpec& spec, const FontMetrics& m) {
  MTextLayout out;
  Format base;
  base.height = spec.height > 0 ? spec.height : 1;
  base.widthFactor = spec.widthFactor > 0 ? spec.widthFactor : 1;
  base.trueType = spec.trueType;
  std::vector<Item> items = parseMText(QString::fromUtf8(spec.content), base);

  // Lines of placed items, wrapped at the reference width.
  std::vector<std::vector<Placed>> lines(1);
  double x = 0;
  const double wrap =
      spec.referenceWidth > 0 ? spec.referenceWidth * 1.0001 : 0;
  std::size_t lastBreak = 0;  // index in the line after a break chance
  for (const Item& it : items) {
    if (it.kind == Item::Break) {
      lines.emplace_back();
      x = 0;
      lastBreak = 0;
      continue;
    }
    double w = itemWidth(it, m);
    bool isSpace = it.kind == Item::Char && (it.ch == ' ' || it.ch == 0x00A0);
    auto& line = lines.back();
    bool canBreak = isCjk(it.ch) || lastBreak > 0;
    if (wrap > 0 && !line.empty() && !isSpace && canBreak && x + w > wrap) {
      // Carry the unfinished word to a new line, or break right here
      // before a CJK character or when the word fills the line.
      std::size_t cut = isCjk(it.ch) ? line.size() : lastBreak;
      std::vector<Placed> carried(line.begin() + static_cast<long>(cut),
                                  line.end());
      line.resize(cut);
      while (!line.empty() && line.back().item->kind == Item::Char &&
             line.back().item->ch == ' ')
        line.pop_back();
      lines.emplace_back();
      double nx = 0;
      for (Placed p : carried) {
        p.x = nx;
        nx += p.width;
        lines.back().push_back(p);
      }
      x = nx;
      lastBreak = 0;
    }
    lines.back().push_back({&it, x, w});
    x += w;
    if (breakableAfter(it)) lastBreak = lines.back().size();
  }

  // Line widths and heights.
  std::vector<double> widths, caps;
  double frameWidth = 0;
  for (auto& line : lines) {
    double w = 0, cap = 0;
    for (const Placed& p : line) {
      w = std::max(w, p.x + p.width);
      cap = std::max(cap, itemCap(*p.item));
    }
    // Trailing spaces do not count for alignment.
    for (auto it = line.rbegin(); it != line.rend(); ++it) {
      if (it->item->kind == Item::Char &&
          (it->item->ch == ' ' || it->item->ch == 0x00A0))
        w = it->x;
      else
        break;
    }
    if (cap == 0) cap = base.height;
    widths.push_back(w);
    caps.push_back(cap);
    frameWidth = std::max(frameWidth, w);
  }
  if (spec.referenceWidth > 0) frameWidth = spec.referenceWidth;
  const double spacing =
      (spec.lineSpacing > 0 ? spec.lineSpacing : 1.0) * 5.0 / 3.0;
  std::vector<double> baselines;
  double y = -caps[0];
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (l > 0) y -= spacing * std::max(base.height, caps[l]);
    baselines.push_back(y);
  }
  const double totalHeight = -baselines.back();
  int attach =
      spec.attachment >= 1 && spec.attachment <= 9 ? spec.attachment : 1;
  int column = (attach - 1) % 3, row = (attach - 1) / 3;
  double dx = column == 0 ? 0 : column == 1 ? -frameWidth / 2 : -frameWidth;
  double dy = row == 0 ? 0 : row == 1 ? totalHeight / 2 : totalHeight;

  for (std::size_t l = 0; l < lines.size(); ++l) {
    double lx = dx + (column == 0   ? 0
                      : column == 1 ? (frameWidth - widths[l]) / 2
                                    : frameWidth - widths[l]);
    double by = baselines[l] + dy;
    const auto& line = lines[l];
    for (std::size_t k = 0; k < line.size();) {
      const Item& it = *line[k].item;
      if (it.kind == Item::Stack) {
        const Format& f = it.fmt;
        auto part = [&](const QString& text, double px, double py) {
          if (text.trimmed().isEmpty()) return;
          LaidRun r;
          r.run.text = text;
          r.run.origin = {px, py};
          r.run.height = f.height;
          r.run.widthFactor = f.widthFactor;
          r.run.oblique = f.oblique;
          r.run.bold = f.bold;
          r.run.italic = f.italic;
          r.aci = f.aci;
          r.rgb = f.rgb;
          out.box.add(Vec2{px, py - f.height * m.descent()});
          out.box.add(Vec2{px + m.width(text) * f.height * f.widthFactor,
                           py + f.height});
          out.runs.push_back(std::move(r));
        };
        double x0 = lx + line[k].x;
        double wt = m.width(it.top) * f.height * f.widthFactor;
        double wb = m.width(it.bottom) * f.height * f.widthFactor;
        if (it.stackType == '#') {
          part(it.top + QStringLiteral("/") + it.bottom, x0, by);
        } else {
          double w = std::max(wt, wb);
          bool centred = it.stackType == '/';
          double low = by - f.height * 0.1;
          double high = low + f.height * (1 + kStackGap);
          part(it.top, x0 + (centred ? (w - wt) / 2 : 0), high);
          part(it.bottom, x0 + (centred ? (w - wb) / 2 : 0), low);
          if (it.stackType == '/') {
            double ym = low + f.height * (1 + kStackGap / 2);
            out.rules.push_back({Vec2{x0, ym}, Vec2{x0 + w, ym}});
          }
        }
        ++k;
        continue;
      }
      // A run of characters with one look.
      std::size_t e = k;
      QString text;
      while (e < line.size() && line[e].item->kind == Item::Char &&
             sameLook(line[e].item->fmt, it.fmt)) {
        char32_t ch = line[e].item->ch;
        text += ch == 0x00A0 ? QString(QChar(' ')) : QString::fromUcs4(&ch, 1);
        ++e;
      }
      const Format& f = it.fmt;
      double x0 = lx + line[k].x;
      double x1 = lx + line[e - 1].x + line[e - 1].width;
      if (!text.trimmed().isEmpty() || f.underline || f.overline) {
        LaidRun r;
        r.run.text = text;
        r.run.origin = {x0, by};
        r.run.height = f.height;
        r.run.widthFactor = f.widthFactor * f.tracking;
        r.run.oblique = f.oblique;
        r.run.bold = f.bold;
        r.run.italic = f.italic;
        r.run.underline = f.underline;
        r.run.overline = f.overline;
        r.run.strike = f.strike;
        r.run.trueType = f.trueType;
        r.aci = f.aci;
        r.rgb = f.rgb;
        out.box.add(Vec2{x0, by - f.height * m.descent()});
        out.box.add(Vec2{x1, by + f.height});
        out.runs.push_back(std::move(r));
      }
      k = e;
    }
  }
  return out;
}

}  // namespace cadhost::viewer
