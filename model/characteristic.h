// The characteristics of a drawing beside its dimensions: geometrical
// tolerances (feature control frames), surface roughness and technical
// notes. Their kinds as the dimension table stores them, the fourteen
// geometrical characteristics with their names and symbols, and a frame as
// the drawing states it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace model {

// The kind names a row stores, beside the dimension kinds ("正交尺寸", ...).
inline constexpr std::string_view kGdtKind = "形位公差";
inline constexpr std::string_view kRoughnessKind = "粗糙度";
inline constexpr std::string_view kNoteKind = "技术要求";

// The fourteen geometrical characteristics.
enum class Geometric : std::uint8_t {
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
  Concentricity,
  Symmetry,
  CircularRunout,
  TotalRunout,
};

struct GeometricInfo {
  Geometric id;
  std::string_view name;    // "位置度"
  std::string_view symbol;  // "⌖", UTF-8
};

// All fourteen, in the order of the enumeration.
std::span<const GeometricInfo> geometricCharacteristics();
const GeometricInfo& infoOf(Geometric g);
// By its symbol. Besides ours, the look-alikes other programs write: ⊥ for
// perpendicularity, ⊕ for position, ≡ for symmetry, ▱ for flatness, ◯ for
// circularity.
std::optional<Geometric> geometricOfSymbol(std::string_view symbol);
// By its name; "同轴度" and "同心度" alone name concentricity too.
std::optional<Geometric> geometricOfName(std::string_view name);

enum class CharacteristicKind { Dimension, Gdt, Roughness, Note };

// The type text of a frame's row: the kind and its subtype,
// "形位公差/位置度".
std::string gdtType(Geometric g);
// The kind of a stored type text; every text that is none of ours is a
// dimension's kind.
CharacteristicKind kindOfType(std::string_view type);
// The subtype of a "形位公差/..." type text.
std::optional<Geometric> gdtSubtypeOf(std::string_view type);

// Modifiers of a tolerance or a datum, each a circled letter.
enum class Modifier : std::uint8_t {
  MaximumMaterial,   // Ⓜ
  LeastMaterial,     // Ⓛ
  RegardlessOfSize,  // Ⓢ
  ProjectedZone,     // Ⓟ
  FreeState,         // Ⓕ
  TangentPlane,      // Ⓣ
  Unilateral,        // Ⓤ
};
std::string_view symbolOf(Modifier m);
std::optional<Modifier> modifierOfSymbol(std::string_view symbol);

// The diameter sign shown before a cylindrical zone's width.
inline constexpr std::string_view kDiameterSign = "\u00D8";  // Ø

// The shape of the tolerance zone, as the sign before the value says.
enum class Zone : std::uint8_t { Width, Diameter, SphericalDiameter };

// One tolerance compartment: "Ø0.05 Ⓜ".
struct ToleranceValue {
  Zone zone = Zone::Width;
  std::string text;             // the value as written: "0.05", ".00125"
  std::optional<double> value;  // the same as a number, when it is one
  std::vector<Modifier> modifiers;
};

// One datum compartment: "A", "A-B", "B Ⓜ". Empty letters: a compartment
// left blank between two filled ones.
struct DatumRef {
  std::string letters;
  std::vector<Modifier> modifiers;
};

// One row of a frame.
struct FrameRow {
  // Empty when the row has no symbol; the second row of a composite frame
  // then shares the first row's.
  std::optional<Geometric> symbol;
  ToleranceValue tolerance;
  std::optional<ToleranceValue> secondTolerance;
  std::vector<DatumRef> datums;  // up to three: primary, secondary, tertiary
  // The row's compartments as plain text, each as the drawing shows it.
  std::vector<std::string> cells;
  // False when a compartment could not be read as what its place holds;
  // the row is then shown from its cells.
  bool understood = true;
};

struct ProjectedZone {
  std::string heightText;  // "12"; empty when only the sign is given
  std::optional<double> height;
};

// A feature control frame.
struct Frame {
  std::vector<FrameRow> rows;  // one; two for a composite frame
  std::optional<ProjectedZone> projected;
  std::string datumIdentifier;  // a datum letter shown with the frame
  std::string raw;              // the text as the drawing holds it
  // What could not be decoded: unknown codes and unreadable compartments,
  // each as written. The frame is kept, shown as far as it was read.
  std::vector<std::string> notUnderstood;

  bool understood() const { return notUnderstood.empty(); }
  bool composite() const { return rows.size() > 1; }
  // The row's symbol, or the first row's when the row has none.
  std::optional<Geometric> symbolOf(std::size_t row) const;
};

// A tolerance compartment as shown: "Ø0.05 Ⓜ".
std::string toleranceText(const ToleranceValue& t);
// One row as the drawing shows it: "⌖ Ø0.05 Ⓜ | A | B"; the projected zone
// follows the first row's tolerance ("Ø0.05 Ⓜ Ⓟ12").
std::string rowText(const Frame& frame, std::size_t row);
// The whole frame: its rows joined by " / ".
std::string frameText(const Frame& frame);

// A number as drawings write it: "0.05", ".05", "0,05" (a decimal comma),
// nothing else around it.
std::optional<double> drawingNumber(std::string_view text);

}  // namespace model
