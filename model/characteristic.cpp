#include "model/characteristic.h"

#include <array>
#include <charconv>
#include <cmath>

namespace model {

namespace {

// Symbols of Unicode's Miscellaneous Technical block where it has one
// (⏤ ⏥ ⌭ ⌒ ⌓ ⌖ ⌯ ⌰); the usual signs of other blocks for the rest.
constexpr std::array<GeometricInfo, 14> kGeometric = {{
    {Geometric::Straightness, "直线度", "\u23E4"},
    {Geometric::Flatness, "平面度", "\u23E5"},
    {Geometric::Circularity, "圆度", "\u25CB"},
    {Geometric::Cylindricity, "圆柱度", "\u232D"},
    {Geometric::LineProfile, "线轮廓度", "\u2312"},
    {Geometric::SurfaceProfile, "面轮廓度", "\u2313"},
    {Geometric::Parallelism, "平行度", "\u2225"},
    {Geometric::Perpendicularity, "垂直度", "\u27C2"},
    {Geometric::Angularity, "倾斜度", "\u2220"},
    {Geometric::Position, "位置度", "\u2316"},
    {Geometric::Concentricity, "同轴度（同心度）", "\u25CE"},
    {Geometric::Symmetry, "对称度", "\u232F"},
    {Geometric::CircularRunout, "圆跳动", "\u2197"},
    {Geometric::TotalRunout, "全跳动", "\u2330"},
}};

struct LookAlike {
  std::string_view symbol;
  Geometric id;
};
constexpr std::array<LookAlike, 5> kLookAlikes = {{
    {"\u22A5", Geometric::Perpendicularity},  // ⊥ up tack
    {"\u2295", Geometric::Position},          // ⊕ circled plus
    {"\u2261", Geometric::Symmetry},          // ≡ identical to
    {"\u25B1", Geometric::Flatness},          // ▱ parallelogram
    {"\u25EF", Geometric::Circularity},       // ◯ large circle
}};

constexpr std::array<std::string_view, 7> kModifiers = {
    "\u24C2", "\u24C1", "\u24C8", "\u24C5", "\u24BB", "\u24C9", "\u24CA"};

constexpr std::string_view kTypeSeparator = "/";

void appendModifiers(std::string& out, const std::vector<Modifier>& mods,
                     bool skipProjected) {
  for (Modifier m : mods) {
    if (skipProjected && m == Modifier::ProjectedZone) continue;
    out += ' ';
    out += symbolOf(m);
  }
}

std::string toleranceShown(const ToleranceValue& t, const Frame* projected) {
  std::string out;
  if (t.zone == Zone::Diameter) out += kDiameterSign;
  if (t.zone == Zone::SphericalDiameter) {
    out += 'S';
    out += kDiameterSign;
  }
  out += t.text;
  appendModifiers(out, t.modifiers, projected != nullptr);
  if (projected) {
    out += ' ';
    out += symbolOf(Modifier::ProjectedZone);
    out += projected->projected->heightText;
  }
  return out;
}

std::string datumShown(const DatumRef& d) {
  std::string out = d.letters;
  appendModifiers(out, d.modifiers, false);
  return out;
}

}  // namespace

std::span<const GeometricInfo> geometricCharacteristics() { return kGeometric; }

const GeometricInfo& infoOf(Geometric g) {
  return kGeometric[static_cast<std::size_t>(g)];
}

std::optional<Geometric> geometricOfSymbol(std::string_view symbol) {
  for (const auto& g : kGeometric)
    if (g.symbol == symbol) return g.id;
  for (const auto& l : kLookAlikes)
    if (l.symbol == symbol) return l.id;
  return std::nullopt;
}

std::optional<Geometric> geometricOfName(std::string_view name) {
  for (const auto& g : kGeometric)
    if (g.name == name) return g.id;
  if (name == "同轴度" || name == "同心度") return Geometric::Concentricity;
  return std::nullopt;
}

std::string gdtType(Geometric g) {
  std::string out(kGdtKind);
  out += kTypeSeparator;
  out += infoOf(g).name;
  return out;
}

CharacteristicKind kindOfType(std::string_view type) {
  if (type == kRoughnessKind) return CharacteristicKind::Roughness;
  if (type == kNoteKind) return CharacteristicKind::Note;
  if (type.starts_with(kGdtKind)) {
    std::string_view rest = type.substr(kGdtKind.size());
    if (rest.empty() || rest.starts_with(kTypeSeparator))
      return CharacteristicKind::Gdt;
  }
  return CharacteristicKind::Dimension;
}

std::optional<Geometric> gdtSubtypeOf(std::string_view type) {
  if (kindOfType(type) != CharacteristicKind::Gdt) return std::nullopt;
  std::string_view rest = type.substr(kGdtKind.size());
  if (rest.empty()) return std::nullopt;
  return geometricOfName(rest.substr(kTypeSeparator.size()));
}

std::string_view symbolOf(Modifier m) {
  return kModifiers[static_cast<std::size_t>(m)];
}

std::optional<Modifier> modifierOfSymbol(std::string_view symbol) {
  for (std::size_t i = 0; i < kModifiers.size(); ++i)
    if (kModifiers[i] == symbol) return static_cast<Modifier>(i);
  return std::nullopt;
}

std::optional<Geometric> Frame::symbolOf(std::size_t row) const {
  if (row >= rows.size()) return std::nullopt;
  if (rows[row].symbol) return rows[row].symbol;
  if (row > 0) return rows.front().symbol;
  return std::nullopt;
}

std::string toleranceText(const ToleranceValue& t) {
  return toleranceShown(t, nullptr);
}

std::string rowText(const Frame& frame, std::size_t row) {
  if (row >= frame.rows.size()) return {};
  const FrameRow& r = frame.rows[row];
  std::string out;
  if (!r.understood) {
    // Shown as the drawing writes it, compartment by compartment.
    for (std::size_t i = 0; i < r.cells.size(); ++i) {
      if (i > 0) out += " | ";
      out += r.cells[i];
    }
    return out;
  }
  if (auto g = frame.symbolOf(row)) {
    out += infoOf(*g).symbol;
    out += ' ';
  }
  bool projected = row == 0 && frame.projected.has_value();
  out += toleranceShown(r.tolerance, projected ? &frame : nullptr);
  if (r.secondTolerance) {
    out += " | ";
    out += toleranceShown(*r.secondTolerance, nullptr);
  }
  for (const DatumRef& d : r.datums) {
    out += " | ";
    out += datumShown(d);
  }
  return out;
}

std::string frameText(const Frame& frame) {
  std::string out;
  for (std::size_t i = 0; i < frame.rows.size(); ++i) {
    if (i > 0) out += " / ";
    out += rowText(frame, i);
  }
  return out;
}

std::optional<double> drawingNumber(std::string_view text) {
  std::string digits;
  bool point = false, any = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits += c;
      any = true;
    } else if ((c == '.' || c == ',') && !point) {
      if (digits.empty()) digits += '0';
      digits += '.';
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!any) return std::nullopt;
  double v = 0;
  auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (ec != std::errc() || end != digits.data() + digits.size() ||
      !std::isfinite(v))
    return std::nullopt;
  return v;
}

}  // namespace model
