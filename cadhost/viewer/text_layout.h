// Text as the CAD host shows it: the font and its metrics, the %% codes of
// single-line text, and the format codes, wrapping and alignment of
// multiline text.
#pragma once

#include <QFont>
#include <QString>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cadhost/viewer/canvas.h"
#include "cadhost/viewer/spatial_index.h"

namespace cadhost::viewer {

struct PrimColor;

// One font for every text style: drawings name SHX and TrueType fonts
// that we do not have, and CJK text needs a CJK font.
class FontMetrics {
 public:
  FontMetrics();
  const QFont& font() const { return font_; }
  // The font's pixel size for a text of cap height 1. Text holding CJK
  // characters is sized by them, as the CAD host's big fonts are.
  double emPerCap(const QString& s, bool trueType = false) const;
  // Advance width at cap height 1 and width factor 1.
  double width(const QString& s, bool trueType = false) const;
  // Depth of descenders below the baseline, per cap height.
  double descent() const { return descent_; }

 private:
  double advance(char32_t c) const;
  QFont font_;
  double capRatio_ = 0.7;  // cap height per pixel size
  double cjkRatio_ = 0.9;  // CJK glyph height per pixel size
  double descent_ = 0.3;
  mutable std::vector<float> bmp_;  // advances per em, filled on demand
  mutable std::unordered_map<char32_t, float> other_;
};

bool hasCjk(const QString& s);

// Single-line text with its %%c, %%d, %%p, %%nnn codes resolved; %%u,
// %%o and %%k toggle lines, so the text comes in pieces.
struct TextPiece {
  QString text;
  bool underline = false, overline = false, strike = false;
};
std::vector<TextPiece> decodeSingleLine(const std::string& utf8);

// Multiline text laid out in its own frame: origin at the insertion
// point, x along the text direction, before rotation.
struct MTextSpec {
  std::string content;  // UTF-8 with format codes
  double height = 1;
  double referenceWidth = 0;  // 0: no wrapping
  int attachment = 1;         // 1 top left ... 9 bottom right
  double lineSpacing = 1;
  double widthFactor = 1;
  bool trueType = false;  // the style's font, until a font switch
};

struct LaidRun {
  TextRun run;   // origin in the frame; colour unset
  int aci = -1;  // a colour set inside the text: 1..255, 0 by block, 256
                 // by layer, -1 none
  std::optional<Rgb> rgb;
};
struct MTextLayout {
  std::vector<LaidRun> runs;
  std::vector<std::pair<Vec2, Vec2>> rules;  // fraction bars
  Box box;                                   // in the frame
};
MTextLayout layoutMText(const MTextSpec& spec, const FontMetrics& metrics);

}  // namespace cadhost::viewer
