// The CAD host as the main window drives it: application, document, model
// space and entities. Every failure (a property the entity lacks, a
// cancelled pick, a closed host, an unreadable drawing) raises HostError,
// which handlers catch where they skip failing steps.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace cadhost {

class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The user stopped an operation under way (a drawing's conversion): nothing
// changed and no message is due.
class Cancelled : public HostError {
 public:
  using HostError::HostError;
};

// X, Y, Z in drawing units, as the host passes points.
using Point = std::array<double, 3>;

// What GetVariable answers: a number, a text or a point.
using Variable = std::variant<double, std::string, Point>;

// Colour numbers as the host counts them.
inline constexpr int kColorByBlock = 0;
inline constexpr int kColorByLayer = 256;

// One model-space entity. A member the entity's kind lacks raises HostError,
// as late binding does on the original host; so does any call on an entity
// that was deleted.
class Entity {
 public:
  virtual ~Entity() = default;

  virtual std::string ObjectName() const = 0;
  virtual int Color() const = 0;
  virtual void SetColor(int color) = 0;
  virtual std::string Layer() const = 0;
  virtual void SetLayer(const std::string& layer) = 0;
  virtual void Move(const Point& from, const Point& to) = 0;
  virtual void ScaleEntity(const Point& base, double factor) = 0;
  virtual void Delete() = 0;

  // Circles.
  virtual Point center() const = 0;
  virtual double Radius() const = 0;

  // Texts and multiline texts; TextString and InsertionPoint also of a
  // feature control frame (AcDbFcf: its code string), InsertionPoint also of
  // a block reference.
  virtual std::string TextString() const = 0;
  virtual Point InsertionPoint() const = 0;
  virtual double Height() const = 0;

  // Block references: the block's name and the attributes they carry, in
  // their order (GetAttributes of the original host).
  struct Attribute {
    std::string TagString;
    std::string TextString;
  };
  virtual std::string Name() const = 0;
  virtual std::vector<Attribute> GetAttributes() const = 0;

  // Dimensions.
  virtual double Measurement() const = 0;
  virtual Point TextPosition() const = 0;
  virtual double TextHeight() const = 0;
  virtual std::string TextOverride() const = 0;
  virtual int ToleranceDisplay() const = 0;
  virtual double ToleranceUpperLimit() const = 0;
  virtual double ToleranceLowerLimit() const = 0;
  virtual int PrimaryUnitsPrecision() const = 0;
  virtual void SetPrimaryUnitsPrecision(int decimals) = 0;
  virtual int TextPrecision() const = 0;
  virtual void SetTextPrecision(int decimals) = 0;
  virtual int TolerancePrecision() const = 0;
  virtual void SetTolerancePrecision(int decimals) = 0;
};

using EntityRef = std::shared_ptr<Entity>;

// The model space collection: indexes from 0 in file order, stable while the
// drawing is open; deleting an item moves later items up.
class ModelSpace {
 public:
  virtual ~ModelSpace() = default;
  virtual int Count() const = 0;
  virtual EntityRef Item(int index) = 0;
  virtual EntityRef AddCircle(const Point& center, double radius) = 0;
  virtual EntityRef AddText(const std::string& text, const Point& insertion,
                            double height) = 0;
};

// Interactive picks in the host's window. Both block until the user picks;
// a cancel (Esc, window closed) or a headless host raises HostError.
class Utility {
 public:
  virtual ~Utility() = default;
  virtual Point GetPoint(const std::optional<Point>& base,
                         const std::string& prompt) = 0;
  virtual Point GetCorner(const Point& base, const std::string& prompt) = 0;
};

// Where the embedded host's picks come from: its window, or a script's
// queue. Both calls block until the user picks and raise HostError on a
// cancel.
class PickSource {
 public:
  virtual ~PickSource() = default;
  virtual Point pickPoint(const std::string& prompt) = 0;
  virtual Point pickCorner(const Point& base, const std::string& prompt) = 0;
};

class Application;

class Document {
 public:
  virtual ~Document() = default;
  virtual ModelSpace& GetModelSpace() = 0;
  // Names are case-insensitive: EXTMAX, EXTMIN, dimdec, dimtxt, dimlfac,
  // CECOLOR, CLAYER.
  virtual Variable GetVariable(const std::string& name) = 0;
  virtual void PurgeAll() = 0;
  // Only "Undo\r\r" is understood; it takes back the last change.
  virtual void SendCommand(const std::string& command) = 0;
  // Every change between the two marks is one change for Undo, as one
  // command of the user's is. Marks nest; the outermost pair counts.
  virtual void StartUndoMark() = 0;
  virtual void EndUndoMark() = 0;
  virtual Utility& GetUtility() = 0;
  virtual Application& GetApplication() = 0;
  // Called once when the document is closed in the host.
  virtual void SetClosedHandler(std::function<void()> handler) = 0;

  // Saved: no change since the drawing was opened or last saved. FullName:
  // the file it was opened from or saved to. Save: writes it where it
  // belongs, asking the user where a host must (a drawing from DWG); false
  // when nothing was written. Close: closes it, changes unsaved or not.
  virtual bool Saved() const { return true; }
  // What the document holds now counts as unchanged: the program's own
  // reading of a drawing (purging it, setting precisions) is no work of the
  // user's to ask about.
  virtual void MarkSaved() {}
  virtual std::string FullName() const { return {}; }
  virtual bool Save() { return false; }
  virtual void Close() {}
  // Colours shown over entities in the host's window and its exports,
  // never part of the drawing: no change, nothing saved, nothing to undo
  // (the inspection results on the marks). Each call replaces the whole
  // set; an empty one shows the drawing as it is.
  virtual void ShowResultColors(
      const std::vector<std::pair<EntityRef, int>>& /*colors*/) {}
  // Called after the document was saved under another name (the user's
  // Save As), with that name: the program follows its drawing there.
  virtual void SetSavedAsHandler(
      std::function<void(const std::string& path)> /*handler*/) {}
  // Called after the user took back a change in the host's window (its
  // Undo), so the program can follow what the drawing now holds. The
  // program's own SendCommand("Undo\r\r") does not call it.
  virtual void SetUndoneHandler(std::function<void()> /*handler*/) {}
};

using DocumentRef = std::shared_ptr<Document>;

class Application {
 public:
  virtual ~Application() = default;
  virtual std::string Caption() const = 0;
  // Documents.Open
  virtual DocumentRef Open(const std::string& path) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void Quit() = 0;
  virtual void ZoomCenter(const Point& center, double height) = 0;
};

using ApplicationRef = std::shared_ptr<Application>;

// Creates the host by its automation class name; raises HostError when no
// usable host exists.
using HostFactory = std::function<ApplicationRef(const std::string& className)>;

}  // namespace cadhost
