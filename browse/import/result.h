// Measurement results read from a file (a CMM report, a table, a CSV), in
// one neutral form for every format: per measured part, the values the file
// gives, each with the label the file names it by and what the file says of
// it besides. Nothing here knows the drawing; browse/import/match.h holds
// the file against the marks.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace browse::import {

// What a characteristic is, as far as a file or a mark tells it.
enum class Kind {
  Unknown,  // not named, or named in words we do not know
  Length,   // linear size, distance, coordinate, arc length
  Diameter,
  Radius,
  Angle,
  Straightness,
  Flatness,
  Circularity,
  Cylindricity,
  LineProfile,
  SurfaceProfile,
  Parallelism,
  Perpendicularity,
  Angularity,
  Position,
  Concentricity,  // also coaxiality
  Symmetry,
  CircularRunout,
  TotalRunout,
  OtherGeometric,  // a geometric tolerance of none of the kinds above
  Roughness,
  Note,  // a technical requirement: judged 合格 / 不合格, never a number
};

// The kind a name means: the CMM's words (English, as the formats write
// them: "Diameter", "TRUE POSITION", "DistanceBetween", "Roundness"), the
// drawing's kind names ("直径尺寸", "正交尺寸") and the Chinese names of
// the geometric characteristics ("平面度", "位置度").
Kind kindFromName(std::string_view name);
// The Chinese name of a kind, for the review list.
const char* kindTitle(Kind kind);

struct Entry {
  std::string label;  // as the file names the characteristic
  // The value; nothing when the file's text is refused (see refusal).
  std::optional<double> value;
  std::string refusal;  // why the value is not taken
  // What the file says of the characteristic, where it says it. Deviations
  // as the drawing keeps them: upper signed, lower as a magnitude below the
  // nominal (a lower limit above the nominal is a negative low).
  std::optional<double> nominal;
  std::optional<double> up;
  std::optional<double> low;
  // Limits given without a nominal.
  std::optional<double> upperLimit;
  std::optional<double> lowerLimit;
  std::string kindName;  // the file's own word for the kind
  Kind kind = Kind::Unknown;
  std::string instrument;  // the file's name for the instrument, if any
  std::string axis;        // the report's axis (X, D, TP …), if any
  int line = 0;            // where the file holds the value, from 1
};

// One measured part: a sample of every characteristic it gives.
struct Part {
  std::string name;  // serial number or the file's name for the part
  // The sample number the file gives the part (a CSV's sample column);
  // nothing when the parts are numbered in file order.
  std::optional<int> sample;
  int line = 0;
  std::vector<Entry> entries;
};

enum class Format { Auto, Qif, PcDmis, Calypso, Csv };

struct ParsedFile {
  Format format = Format::Auto;
  // Set when the file as a whole is refused; nothing is to be imported.
  std::string error;
  std::vector<Part> parts;
  // What the review should say about the file as a whole.
  std::vector<std::string> notes;
};

// "auto", "qif", "pcdmis", "calypso", "csv".
std::optional<Format> formatNamed(std::string_view name);
const char* formatName(Format format);
// The format a file's bytes are in, never Auto: QIF for a QIFDocument, a
// PC-DMIS report for "DIM name=" blocks, a table for a tab-separated file,
// else the plain CSV.
Format detectFormat(std::string_view bytes);

// Reads a file's bytes as the given format (Auto: as detected).
ParsedFile parse(std::string_view bytes, Format format = Format::Auto);
// The same for a file on disk; a file that cannot be read is an error.
ParsedFile parseFile(const std::string& path, Format format = Format::Auto);

}  // namespace browse::import
