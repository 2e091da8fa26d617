// Surface roughness and technical notes read from the drawing's texts.
//
// Roughness: "Ra 1.6", "Ra1.6", "Rz 6,3", "Rmax 12.5", in a TEXT or MTEXT
// beside the symbol or as an attribute of a roughness block; the value is
// an upper limit in micrometres unless written as a lower one ("L Ra 0.8").
// "其余" marks the note for every surface not marked otherwise.
//
// Notes: a group headed 技术要求, "TECHNICAL REQUIREMENTS" or "NOTES" whose
// numbered items ("1." "1、" "（1）" "(1)" "1)") are one requirement each,
// in one multiline text or in several texts one under the other. An item
// that runs over several lines stays one item.
//
// Texts come in as plain text (plainText below strips the CAD host's
// codes).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace intake {

// The text of a TEXT/ATTRIB (single line) or MTEXT (multiline) as read:
// codes gone, paragraphs as '\n'.
std::string plainText(std::string_view text, bool multiline);

// ---- surface roughness

struct Roughness {
  // "Ra", "Rz" or "Rmax"; empty when a roughness block gives the value
  // alone.
  std::string parameter;
  std::string valueText;    // as written: "1.6", "3,2"
  double value = 0;         // micrometres
  bool lowerLimit = false;  // "L Ra 0.8"; otherwise an upper limit
  bool rest = false;        // the "其余" note
};

// Every roughness value a text states, in its order. A text that says
// "其余" gives values marked rest.
std::vector<Roughness> roughnessInText(std::string_view plain);
// True when the text is (or holds) the "其余" note.
bool isRestNote(std::string_view plain);

struct Attribute {
  std::string tag;
  std::string value;  // plain text
};
// The roughness a block reference with attributes states: an attribute
// value that names its parameter ("Ra 1.6"), an attribute whose tag names
// it (RA = "1.6"), or, in a block named as a roughness symbol (粗糙度,
// ROUGH..., CCD...), its one numeric attribute. Empty otherwise.
std::optional<Roughness> roughnessOfBlock(
    std::string_view blockName, const std::vector<Attribute>& attributes);

// As the drawing shows it: "Ra 1.6", "L Ra 0.8", "其余 Rz 6.3", "1.6".
std::string roughnessText(const Roughness& r);

// ---- technical notes

struct NoteItem {
  std::string label;  // the number as written: "1.", "（1）"; empty if none
  int number = 0;     // its value; 0 when unnumbered
  std::string text;   // the requirement without its number, lines joined
  std::string shown;  // label and text as the drawing shows them
  // Where it starts: the index of its text in the caller's list (0 for a
  // single text) and its line there.
  int source = 0;
  int line = 0;
};

struct NoteGroup {
  std::string heading;  // as written: "技 术 要 求：", "NOTES:"
  int headingSource = 0;
  std::vector<NoteItem> items;
  // Every text the group took, its heading's first (groupNotes).
  std::vector<int> sources;
};

// When the line is a notes heading: what follows the heading on the same
// line ("技术要求：1.去毛刺" gives "1.去毛刺"), possibly empty.
std::optional<std::string> notesHeading(std::string_view line);

// The notes of one text whose first non-blank line is a heading; empty
// when it has none.
std::optional<NoteGroup> notesOfText(std::string_view plain);

// Texts where the drawing places them: the insertion point and height of a
// TEXT (baseline) or MTEXT (top line).
struct PlacedText {
  std::string text;  // plain, lines as '\n'
  double x = 0, y = 0;
  double height = 0;
};

// Every note group among the texts: a heading, then the texts below it,
// near it across and each close under the one before. A text belongs to
// one group at most; items' source is the index into texts.
std::vector<NoteGroup> groupNotes(const std::vector<PlacedText>& texts);

}  // namespace intake
