#include "sheethost/xlsx/styles.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string_view>

#include "sheethost/xlsx/numfmt.h"
#include "sheethost/xlsx/xml.h"

namespace xlsx {

namespace {

// The legacy palette that indexed colours refer to when the file brings
// none of its own.
constexpr std::uint32_t kDefaultPalette[64] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF,
    0x00FFFF, 0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
    0xFF00FF, 0x00FFFF, 0x800000, 0x008000, 0x000080, 0x808000, 0x800080,
    0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00,
    0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF,
    0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99, 0x3366FF,
    0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399,
    0x333333};

std::optional<std::uint32_t> hexColor(std::string_view text) {
  // "FF9C0006" (alpha first, which cells ignore) or "9C0006".
  if (text.size() == 8) text.remove_prefix(2);
  if (text.size() != 6) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// A tint lightens (> 0) or darkens (< 0) a colour's luminance.
std::uint32_t applyTint(std::uint32_t rgb, double tint) {
  if (tint == 0) return rgb;
  double c[3] = {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                 (rgb & 0xFF) / 255.0};
  const double hi = std::max({c[0], c[1], c[2]});
  const double lo = std::min({c[0], c[1], c[2]});
  double h = 0, s = 0, l = (hi + lo) / 2;
  if (hi != lo) {
    const double d = hi - lo;
    s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
    if (hi == c[0])
      h = (c[1] - c[2]) / d + (c[1] < c[2] ? 6 : 0);
    else if (hi == c[1])
      h = (c[2] - c[0]) / d + 2;
    else
      h = (c[0] - c[1]) / d + 4;
    h /= 6;
  }
  l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
  auto channel = [&](double t) {
    const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
    const double p = 2 * l - q;
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
  };
  const double out[3] = {channel(h + 1.0 / 3), channel(h),
                         channel(h - 1.0 / 3)};
  std::uint32_t result = 0;
  for (double v : out)
    result = result * 256 + static_cast<std::uint32_t>(
                                std::lround(std::clamp(v, 0.0, 1.0) * 255));
  return result;
}

bool flagOn(const pugi::xml_node& node) {
  // <b/> is on; <b val="0"/> is off.
  const pugi::xml_attribute val = node.attribute("val");
  if (!val) return true;
  const std::string_view v = val.value();
  return v != "0" && v != "false";
}

std::vector<pugi::xml_node> childrenNamed(const pugi::xml_node& node,
                                          std::string_view name) {
  std::vector<pugi::xml_node> nodes;
  for (pugi::xml_node child : node.children())
    if (localName(child) == name) nodes.push_back(child);
  return nodes;
}

}  // namespace

std::optional<std::uint32_t> Styles::color(const pugi::xml_node& node) const {
  if (!node) return std::nullopt;
  std::optional<std::uint32_t> rgb;
  if (pugi::xml_attribute a = node.attribute("rgb")) {
    rgb = hexColor(a.value());
  } else if (pugi::xml_attribute t = node.attribute("theme")) {
    const int i = t.as_int(-1);
    if (i >= 0 && static_cast<std::size_t>(i) < theme_.size())
      rgb = theme_[static_cast<std::size_t>(i)];
  } else if (pugi::xml_attribute x = node.attribute("indexed")) {
    // 64 and above are the system's own colours: automatic.
    const int i = x.as_int(-1);
    if (i >= 0 && static_cast<std::size_t>(i) < indexed_.size())
      rgb = indexed_[static_cast<std::size_t>(i)];
  }
  if (rgb) rgb = applyTint(*rgb, node.attribute("tint").as_double(0));
  return rgb;
}

void Styles::read(const pugi::xml_document& styles,
                  const pugi::xml_document& theme) {
  // The scheme lists dark 1, light 1, dark 2, light 2, ...; colour indexes
  // take the first two pairs the other way round.
  std::vector<std::uint32_t> scheme;
  const pugi::xml_node elements =
      childByLocalName(theme.document_element(), "themeElements");
  for (pugi::xml_node c : childByLocalName(elements, "clrScheme").children()) {
    std::uint32_t rgb = 0;
    for (pugi::xml_node v : c.children()) {
      const std::string_view kind = localName(v);
      if (kind == "srgbClr")
        rgb = hexColor(v.attribute("val").value()).value_or(0);
      else if (kind == "sysClr")
        rgb = hexColor(v.attribute("lastClr").value()).value_or(0);
    }
    scheme.push_back(rgb);
  }
  if (scheme.size() >= 4) {
    std::swap(scheme[0], scheme[1]);
    std::swap(scheme[2], scheme[3]);
  }
  theme_ = scheme;

  const pugi::xml_node root = styles.document_element();
  indexed_.assign(std::begin(kDefaultPalette), std::end(kDefaultPalette));
  const pugi::xml_node palette =
      childByLocalName(childByLocalName(root, "colors"), "indexedColors");
  if (palette) {
    indexed_.clear();
    for (pugi::xml_node c : childrenNamed(palette, "rgbColor"))
      indexed_.push_back(hexColor(c.attribute("rgb").value()).value_or(0));
  }

  std::map<int, std::string> numberFormats;
  for (pugi::xml_node f :
       childrenNamed(childByLocalName(root, "numFmts"), "numFmt"))
    numberFormats[f.attribute("numFmtId").as_int(-1)] =
        f.attribute("formatCode").value();

  struct Font {
    std::optional<std::uint32_t> color;
    bool bold = false;
  };
  std::vector<Font> fonts;
  for (pugi::xml_node f :
       childrenNamed(childByLocalName(root, "fonts"), "font")) {
    Font font;
    font.color = color(childByLocalName(f, "color"));
    if (pugi::xml_node b = childByLocalName(f, "b")) font.bold = flagOn(b);
    fonts.push_back(font);
  }

  std::vector<std::optional<std::uint32_t>> fills;
  for (pugi::xml_node f :
       childrenNamed(childByLocalName(root, "fills"), "fill")) {
    const pugi::xml_node p = childByLocalName(f, "patternFill");
    const std::string_view pattern = p.attribute("patternType").value();
    if (!p || pattern.empty() || pattern == "none")
      fills.push_back(std::nullopt);
    else
      fills.push_back(color(childByLocalName(p, "fgColor")));
  }

  formats_.clear();
  for (pugi::xml_node xf :
       childrenNamed(childByLocalName(root, "cellXfs"), "xf")) {
    CellFormat format;
    const int font = xf.attribute("fontId").as_int(0);
    if (font >= 0 && static_cast<std::size_t>(font) < fonts.size()) {
      format.fontColor = fonts[static_cast<std::size_t>(font)].color;
      format.bold = fonts[static_cast<std::size_t>(font)].bold;
    }
    const int fill = xf.attribute("fillId").as_int(0);
    if (fill >= 0 && static_cast<std::size_t>(fill) < fills.size())
      format.fillColor = fills[static_cast<std::size_t>(fill)];
    const pugi::xml_node alignment = childByLocalName(xf, "alignment");
    format.horizontal = alignment.attribute("horizontal").as_string("general");
    const int id = xf.attribute("numFmtId").as_int(0);
    auto custom = numberFormats.find(id);
    format.numberFormat = custom != numberFormats.end()
                              ? custom->second
                              : std::string(builtinFormat(id));
    if (format.numberFormat.empty()) format.numberFormat = "General";
    formats_.push_back(std::move(format));
  }

  differentials_.clear();
  for (pugi::xml_node dxf :
       childrenNamed(childByLocalName(root, "dxfs"), "dxf")) {
    Differential d;
    if (pugi::xml_node font = childByLocalName(dxf, "font")) {
      d.fontColor = color(childByLocalName(font, "color"));
      if (pugi::xml_node b = childByLocalName(font, "b")) d.bold = flagOn(b);
    }
    // A differential fill gives its colour as the background one; some
    // writers put it in the foreground.
    if (pugi::xml_node p =
            childByLocalName(childByLocalName(dxf, "fill"), "patternFill")) {
      if (std::string_view(p.attribute("patternType").value()) != "none") {
        d.fillColor = color(childByLocalName(p, "bgColor"));
        if (!d.fillColor) d.fillColor = color(childByLocalName(p, "fgColor"));
      }
    }
    differentials_.push_back(d);
  }
}

CellFormat Styles::format(int index) const {
  if (index >= 0 && static_cast<std::size_t>(index) < formats_.size())
    return formats_[static_cast<std::size_t>(index)];
  CellFormat plain;
  plain.horizontal = "general";
  plain.numberFormat = "General";
  return plain;
}

Differential Styles::differential(int index) const {
  if (index >= 0 && static_cast<std::size_t>(index) < differentials_.size())
    return differentials_[static_cast<std::size_t>(index)];
  return {};
}

}  // namespace xlsx
