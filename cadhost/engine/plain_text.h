// Text as a reader sees it: the CAD host's %% codes and multiline format
// codes resolved or dropped, and the letters of the GD&T symbol font as the
// symbols it draws. The characters a drawing shows, not how they look; the
// viewer lays text out itself (cadhost/viewer/text_layout.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cadhost::engine {

struct PlainText {
  std::string text;  // UTF-8; lines end at '\n'
  // Codes read past without being understood ("\\Z", "\\Famgdt;"), so a
  // caller that must understand everything can tell.
  std::vector<std::string> unknown;
};

// Single-line text (TEXT, ATTRIB) as decoded by the drawing's codec:
// %%c %%d %%p %%% and %%nnn resolved, the %%u %%o %%k toggles dropped, any
// other %% code kept as written. symbolFont: the text's style uses the
// GD&T symbol font, so its letters are symbols.
PlainText singleLinePlainText(std::string_view text, bool symbolFont = false);

// Multiline text (MTEXT content, a TOLERANCE's text): \P, \N, \X and ^J end
// a line, ^I is a tab, \~ a blank; formatting codes and braces go; \S
// stacks become "top/bottom"; %% codes as in single-line text; characters
// in the GD&T font (\Fgdt; or its TrueType twin \fAIGDT;) become their
// symbols until the font changes or the brace group ends.
PlainText multilinePlainText(std::string_view content, bool symbolFont = false);

// The symbol the GD&T font draws for a character, as UTF-8; empty for the
// characters it draws as text (capitals, digits, signs).
std::string_view gdtFontSymbol(char c);

}  // namespace cadhost::engine
