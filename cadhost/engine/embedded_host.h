// The embedded CAD host: the host interface of cadhost/host.h answered by
// our own DXF engine, headless. The viewer window supplies picks through a
// PickSource and shows the drawing of an EngineDocument.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "cadhost/engine/drawing.h"
#include "cadhost/host.h"

namespace cadhost::engine {

struct DocState;
class EngineApplication;

// One open drawing. Reach it from a cadhost::DocumentRef with
// std::dynamic_pointer_cast<EngineDocument>.
class EngineDocument : public cadhost::Document,
                       public std::enable_shared_from_this<EngineDocument> {
 public:
  EngineDocument(std::shared_ptr<DocState> state,
                 std::weak_ptr<EngineApplication> app);
  ~EngineDocument() override;

  // Writes the drawing as DXF in its own version, encoding and line
  // endings; the document then belongs to that path. Nothing is written
  // when it fails (HostError).
  void saveAs(const std::string& path);
  // Closes the drawing; the closed handler runs once. Later calls on the
  // document and its entities raise HostError.
  void close();
  bool isClosed() const;
  const std::string& path() const;
  // Loaded from a DWG drawing through the host's converter: until it is
  // saved as DXF it belongs to no file it may be written to.
  bool fromDwg() const;
  // The loaded drawing with every change made so far (see drawing.h).
  const Drawing& drawing() const;
  // What the load repaired, for the user to read.
  const std::vector<std::string>& repairs() const;
  // Raised by every change and undo, so a window knows when to redraw.
  std::uint64_t revision() const;
  std::size_t undoDepth() const;
  // The user's Undo in the host's window: takes back the last change as
  // SendCommand("Undo\r\r") does, then tells the undone handler. False
  // when there was nothing to take back.
  bool undoAsUser();

  // The layer and colour new entities take ($CLAYER, $CECOLOR), as the
  // user sets them in the host's window. The layer must be one of the
  // drawing's; colours run from 0 (by block) to 256 (by layer). Neither is
  // a change Undo takes back.
  std::string currentLayer() const;
  int currentColor() const;
  void setCurrentLayer(const std::string& layer);
  void setCurrentColor(int color);
  // The drawing's layer names, "0" always among them.
  std::vector<std::string> layers() const;
  // Every layer off or frozen: nothing of the drawing shows.
  bool everyLayerHidden() const;
  // Turns every layer on and thaws it; returns how many changed. A view
  // the user chose: no step of Undo, and no change that asks to be saved,
  // yet a save writes the layers as shown.
  int showAllLayers();

  // cadhost::Document
  ModelSpace& GetModelSpace() override;
  Variable GetVariable(const std::string& name) override;
  void PurgeAll() override;
  void SendCommand(const std::string& command) override;
  void StartUndoMark() override;
  void EndUndoMark() override;
  Utility& GetUtility() override;
  Application& GetApplication() override;
  void SetClosedHandler(std::function<void()> handler) override;
  bool Saved() const override;
  void MarkSaved() override;
  std::string FullName() const override;
  // Through the application's saveHook when there is one (a window asks
  // where a DWG's drawing goes); else a DXF is written where it lies and a
  // drawing from DWG raises HostError.
  bool Save() override;
  void Close() override;
  void SetSavedAsHandler(
      std::function<void(const std::string& path)> handler) override;
  void SetUndoneHandler(std::function<void()> handler) override;
  void ShowResultColors(
      const std::vector<std::pair<EntityRef, int>>& colors) override;

  // The colours shown over entities, by entity, and a count raised at
  // each change of them, for a window to follow.
  const std::unordered_map<const Entity*, int>& resultColors() const;
  std::uint64_t resultsRevision() const;

 private:
  class Space;
  class Picks;
  std::shared_ptr<DocState> state_;
  std::weak_ptr<EngineApplication> app_;
  std::unique_ptr<Space> space_;
  std::unique_ptr<Picks> picks_;
};

class EngineApplication
    : public cadhost::Application,
      public std::enable_shared_from_this<EngineApplication> {
 public:
  explicit EngineApplication(std::shared_ptr<PickSource> picks);
  ~EngineApplication() override;

  // "DimMark CAD - part.dxf" for the drawing opened last, "DimMark CAD"
  // without one.
  std::string Caption() const override;
  // Loads a DXF drawing, or a DWG through dwgToDxf; a broken file raises
  // HostError. The document of a DWG keeps the DWG's path.
  DocumentRef Open(const std::string& path) override;
  bool Visible() const override;
  void SetVisible(bool visible) override;
  // Closes every open drawing; every later call raises HostError.
  void Quit() override;
  void ZoomCenter(const Point& center, double height) override;

  // For the window: the view asked for last, the open drawings, the pick
  // source.
  Point viewCenter() const { return viewCenter_; }
  double viewHeight() const { return viewHeight_; }
  std::shared_ptr<EngineDocument> activeDocument() const;
  std::vector<std::shared_ptr<EngineDocument>> documents() const;
  void setPickSource(std::shared_ptr<PickSource> picks);
  PickSource* pickSource() const { return picks_.get(); }
  bool hasQuit() const { return quit_; }
  // Runs first when Quit is called, while the drawings are still open, so
  // a window can offer to save them.
  std::function<void()> beforeQuit;
  // Saves a drawing as the window does (asking where for a DWG's); false
  // when nothing was written.
  std::function<bool(EngineDocument&)> saveHook;
  // Turns a DWG drawing into DXF bytes; raises HostError, or Cancelled
  // when the user stops it. The programs set it to their converter;
  // without it a DWG is refused.
  std::function<std::string(const std::string& dwgPath)> dwgToDxf;

 private:
  friend class EngineDocument;
  void checkRunning() const;
  void forget(const EngineDocument* doc);

  std::shared_ptr<PickSource> picks_;
  std::vector<std::shared_ptr<EngineDocument>> documents_;  // open ones
  bool visible_ = false;
  bool quit_ = false;
  Point viewCenter_{0, 0, 0};
  double viewHeight_ = 0;
};

// Raises HostError with the reason when EngineDocument::saveAs could not
// write to this path (a DWG name, a folder, a folder that is missing or
// not writable); a stray temporary file of an interrupted save is removed.
void checkSaveTarget(const std::string& path);

cadhost::ApplicationRef makeEmbeddedHost(
    std::shared_ptr<cadhost::PickSource> picks = nullptr);

// The class name the host gives an entity (AcDbLine, AcDbRotatedDimension).
std::string objectNameOf(const Drawing& d, const Entity& e);

}  // namespace cadhost::engine
