// The CAD host's window: the drawing the host has open, its title the
// host's Caption, a status line with the pick prompt, and the File menu
// from which the user (never DimMark) saves and exports the drawing.
//
// The engine has no change notifications, so the window polls it: the
// caption, the visibility, the open documents, their revisions and the
// view asked for by ZoomCenter.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/drawing_view.h"
#include "cadhost/viewer/export.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"

class QAction;
class QComboBox;
class QEventLoop;
class QLabel;

namespace cadhost::viewer {

// What Save As proposes for the drawing at `drawingPath`.
QString saveAsProposal(const QString& drawingPath);

class CadWindow : public QMainWindow {
  Q_OBJECT

 public:
  // What the window asks the user. The defaults show Qt dialogs; tests
  // put in answers.
  enum class SaveChoice { Save, Discard, Cancel };
  struct Dialogs {
    std::function<bool(const QString& question)> confirm;
    std::function<SaveChoice(const QString& question)> saveChanges;
    std::function<std::optional<QString>(
        const QString& title, const QString& filter, const QString& path)>
        saveFile;
    std::function<std::optional<PdfOptions>()> pdfOptions;
    std::function<std::optional<int>()> pngWidth;
    // A colour number (1 to 255) beyond the ones listed.
    std::function<std::optional<int>()> colorNumber;
    std::function<void(const QString& message)> error;
  };

  explicit CadWindow(std::weak_ptr<engine::EngineApplication> host,
                     QWidget* parent = nullptr);
  ~CadWindow() override;

  // Brings the window in line with the host. The poll timer calls it;
  // picks call it first.
  void sync();

  // Blocks in a nested event loop until the user clicks in the drawing;
  // Esc, closing the window or the host going away raise HostError.
  cadhost::Point pick(DrawingView::PickMode mode, const cadhost::Point& base,
                      const std::string& prompt);

  // The File menu's actions; false when nothing was written. A drawing
  // opened from DWG is saved as DXF where the user says, "<name>.dxf"
  // beside the DWG proposed.
  bool save();
  bool saveAs();
  // Asks, for each changed drawing, whether to save it; the host calls it
  // when it quits.
  void offerToSave();
  bool exportPdf();
  bool exportPng();
  // Edit > Undo (Ctrl+Z): takes back the drawing's last change, a whole
  // group of marks edited at once included; false when there was none.
  bool undo();
  // The properties bar: the layer and colour new entities take. A layer
  // the drawing lacks, or a colour outside 0 to 256, is refused with a
  // message and changes nothing.
  bool setCurrentLayer(const QString& layer);
  bool setCurrentColor(int color);

  // The status line while a drawing is converted: what, a busy bar and a
  // cancel button that calls `cancel`.
  void showBusy(const QString& text, std::function<void()> cancel);
  void endBusy();
  bool busy() const;

  // View > 检验结果: the marks in their results' colours, or in their
  // own. A view only: the drawing is not changed.
  void setResultsShown(bool shown);
  bool resultsShown() const { return resultsShown_; }
  QAction* resultsAction() const { return results_; }

  Dialogs& dialogs() { return dialogs_; }
  QAction* undoAction() const { return undo_; }
  QComboBox* layerBox() const { return layers_; }
  QComboBox* colorBox() const { return colors_; }
  DrawingView* drawingView() const { return view_; }
  const Scene& scene() const { return scene_; }
  QString prompt() const;
  std::shared_ptr<engine::EngineDocument> document() const { return doc_; }
  bool modified(const engine::EngineDocument& doc) const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  // One change of the current layer or colour; refused ones are said and
  // the bar shows what holds.
  bool changeCurrent(const std::function<void()>& change);
  struct PendingPick;

  void showDocument(std::shared_ptr<engine::EngineDocument> doc);
  void tellHostTheView();
  void cancelPick(const QString& reason);
  bool saveDocument(engine::EngineDocument& doc, const QString& path);
  // Where a save of the drawing goes: its own file, or for one opened
  // from DWG the DXF the user chooses; nothing when they cancel.
  std::optional<QString> savePath(const engine::EngineDocument& doc);
  QString proposedPath(const engine::EngineDocument& doc) const;
  std::optional<QString> exportPath(const QString& title, const QString& filter,
                                    const QString& suffix);
  void installDefaultDialogs();
  void syncUndo();
  void syncProperties();
  // Puts the document's result colours on the scene, or takes them off.
  void syncResults();

  std::weak_ptr<engine::EngineApplication> host_;
  FontMetrics metrics_;
  Scene scene_;
  DrawingView* view_ = nullptr;
  QLabel* prompt_ = nullptr;
  QLabel* coords_ = nullptr;
  QAction* undo_ = nullptr;
  QAction* results_ = nullptr;
  bool resultsShown_ = true;
  std::uint64_t resultsRevision_ = 0;
  QComboBox* layers_ = nullptr;
  QComboBox* colors_ = nullptr;
  QWidget* busy_ = nullptr;  // label, bar and cancel button
  QLabel* busyText_ = nullptr;
  std::function<void()> busyCancel_;
  QTimer poll_;
  Dialogs dialogs_;

  std::shared_ptr<engine::EngineDocument> doc_;
  std::uint64_t revision_ = 0;
  cadhost::Point zoomCenter_{0, 0, 0};
  double zoomHeight_ = 0;
  // The revision each document was last saved at; 0 is as loaded.
  PendingPick* pending_ = nullptr;
};

}  // namespace cadhost::viewer
