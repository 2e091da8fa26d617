// The drawing area of the CAD window: shows a scene, pans with the middle
// button, zooms with the wheel about the cursor, and takes point and
// corner picks with a crosshair and a rubber band.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "cadhost/viewer/renderer.h"
#include "cadhost/viewer/scene.h"

namespace cadhost::viewer {

class DrawingView : public QWidget {
  Q_OBJECT

 public:
  enum class PickMode { None, Point, Corner };

  explicit DrawingView(QWidget* parent = nullptr);

  // The scene to show; null shows an empty sheet. The view keeps no
  // ownership.
  void setScene(const Scene* scene);
  // The scene's primitives changed: draw again, same view.
  void sceneChanged();

  void zoomExtents();
  // Centres the view on a point, `height` drawing units from top to
  // bottom.
  void zoomCenter(Vec2 center, double height);
  const View& view() const { return view_; }
  void setView(const View& v);

  void beginPick(PickMode mode, Vec2 base = {});
  void endPick();
  PickMode pickMode() const { return mode_; }

  // Renders now if a render is due (tests, and the first picture).
  void renderNow();
  const QImage& image() const { return image_; }

 signals:
  void picked(cadhost::viewer::Vec2 point);
  void cancelled();
  void cursorMoved(cadhost::viewer::Vec2 point);
  // The user panned or zoomed (not the program).
  void userMovedView();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  void scheduleRender(bool byUser = false);
  void viewChanged(bool byUser = false);

  const Scene* scene_ = nullptr;
  Renderer renderer_;
  View view_;
  bool fitted_ = false;  // the view was set for this scene
  bool fitPending_ = false;
  QImage image_;
  View imageView_;  // what image_ shows
  bool imageValid_ = false;
  QTimer renderTimer_;
  double lastRenderMs_ = 0;  // how long the last picture took

  PickMode mode_ = PickMode::None;
  Vec2 base_;
  std::optional<QPointF> cursor_;
  bool panning_ = false;
  QPointF panFrom_;
};

}  // namespace cadhost::viewer
