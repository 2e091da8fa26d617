#include "cadhost/viewer/drawing_view.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

#include "cadhost/viewer/qt_canvas.h"

namespace cadhost::viewer {

namespace {

const RenderStyle kScreen;

bool sameView(const View& a, const View& b) {
  return a.center == b.center && a.scale == b.scale && a.width == b.width &&
         a.height == b.height;
}

}  // namespace

DrawingView::DrawingView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
  setCursor(Qt::CrossCursor);
  renderTimer_.setSingleShot(true);
  connect(&renderTimer_, &QTimer::timeout, this, [this] {
    renderNow();
    update();
  });
  view_.width = width();
  view_.height = height();
}

void DrawingView::setScene(const Scene* scene) {
  scene_ = scene;
  imageValid_ = false;
  zoomExtents();
}

void DrawingView::sceneChanged() {
  imageValid_ = false;
  scheduleRender();
  update();
}

void DrawingView::zoomExtents() {
  Box ext = scene_ ? scene_->extents() : Box{};
  view_ = View::fit(ext, width(), height());
  fitPending_ = true;  // and again at each new size, until moved
  viewChanged();
}

void DrawingView::zoomCenter(Vec2 center, double height) {
  if (!(height > 0) || !std::isfinite(height)) return;
  view_.width = width();
  view_.height = this->height();
  view_.center = center;
  view_.scale = view_.height / height;
  fitPending_ = false;
  viewChanged();
}

void DrawingView::setView(const View& v) {
  view_ = v;
  view_.width = width();
  view_.height = height();
  fitPending_ = false;
  viewChanged();
}

void DrawingView::viewChanged(bool byUser) {
  scheduleRender(byUser);
  update();
}

void DrawingView::scheduleRender(bool byUser) {
  // While the user drags or turns the wheel over a picture that takes a
  // while to draw, the last picture follows the mouse and the new one is
  // drawn when the mouse rests.
  if (byUser && lastRenderMs_ > 25) {
    renderTimer_.start(80);
    return;
  }
  if (!renderTimer_.isActive()) renderTimer_.start(0);
}

void DrawingView::renderNow() {
  renderTimer_.stop();
  QElapsedTimer clock;
  clock.start();
  const double dpr = devicePixelRatioF();
  View v = view_;
  v.width = width() * dpr;
  v.height = height() * dpr;
  v.scale = view_.scale * dpr;
  QSize size(std::max(1, static_cast<int>(v.width)),
             std::max(1, static_cast<int>(v.height)));
  if (image_.size() != size) image_ = QImage(size, QImage::Format_RGB32);
  image_.setDevicePixelRatio(dpr);
  image_.fill(
      QColor(kScreen.background.r, kScreen.background.g, kScreen.background.b));
  if (scene_) {
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QtCanvas canvas(p, v, scene_->metrics());
    renderer_.draw(*scene_, v, canvas, kScreen);
  }
  imageView_ = view_;
  imageValid_ = true;
  lastRenderMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void DrawingView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(kScreen.background.r, kScreen.background.g,
                            kScreen.background.b));
  if (imageValid_) {
    if (sameView(imageView_, view_)) {
      p.drawImage(QPointF(0, 0), image_);
    } else {
      // The last picture moved and scaled into place until the new one
      // is ready.
      double k = view_.scale / imageView_.scale;
      Vec2 corner = view_.toDevice(imageView_.toDrawing(0, 0));
      QRectF target(corner.x, corner.y, imageView_.width * k,
                    imageView_.height * k);
      p.drawImage(target, image_);
      scheduleRender();
    }
  } else {
    scheduleRender();
  }
  if (mode_ != PickMode::None && cursor_) {
    QPen pen(QColor(230, 230, 230));
    pen.setCosmetic(true);
    p.setPen(pen);
    const QPointF c = *cursor_;
    p.drawLine(QPointF(0, c.y()), QPointF(width(), c.y()));
    p.drawLine(QPointF(c.x(), 0), QPointF(c.x(), height()));
    p.drawRect(QRectF(c.x() - 4, c.y() - 4, 8, 8));
    if (mode_ == PickMode::Corner) {
      Vec2 b = view_.toDevice(base_);
      QPen band(QColor(120, 200, 255));
      band.setStyle(Qt::DashLine);
      band.setCosmetic(true);
      p.setPen(band);
      p.setBrush(QColor(120, 200, 255, 40));
      p.drawRect(QRectF(QPointF(b.x, b.y), c).normalized());
    }
  }
}

void DrawingView::resizeEvent(QResizeEvent*) {
  if (fitPending_) {
    // A whole drawing nobody has moved since stays whole: a dock that
    // comes or goes beside the view fits it again.
    Box ext = scene_ ? scene_->extents() : Box{};
    view_ = View::fit(ext, width(), height());
  } else {
    // The centre and the scale stay; more or less of the drawing shows.
    view_.width = width();
    view_.height = height();
  }
  imageValid_ = false;
  viewChanged();
}

void DrawingView::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::MiddleButton) {
    panning_ = true;
    panFrom_ = e->position();
    fitPending_ = false;
    return;
  }
  if (e->button() == Qt::LeftButton && mode_ != PickMode::None) {
    QPointF at = e->position();
    emit picked(view_.toDrawing(at.x(), at.y()));
  }
}

void DrawingView::mouseMoveEvent(QMouseEvent* e) {
  QPointF at = e->position();
  if (panning_) {
    QPointF d = at - panFrom_;
    panFrom_ = at;
    view_.center.x -= d.x() / view_.scale;
    view_.center.y += d.y() / view_.scale;
    viewChanged(true);
    emit userMovedView();
  }
  cursor_ = at;
  if (mode_ != PickMode::None) update();
  emit cursorMoved(view_.toDrawing(at.x(), at.y()));
}

void DrawingView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::MiddleButton) panning_ = false;
}

void DrawingView::mouseDoubleClickEvent(QMouseEvent* e) {
  // A double click of the wheel shows everything, as in CAD programs.
  if (e->button() == Qt::MiddleButton) {
    zoomExtents();
    fitPending_ = false;
    emit userMovedView();
    return;
  }
  mousePressEvent(e);
}

void DrawingView::wheelEvent(QWheelEvent* e) {
  double steps = e->angleDelta().y() / 120.0;
  if (steps == 0) return;
  QPointF at = e->position();
  Vec2 anchor = view_.toDrawing(at.x(), at.y());
  double scale = std::clamp(view_.scale * std::pow(1.25, steps), 1e-12, 1e12);
  view_.scale = scale;
  // The point under the cursor stays under it.
  view_.center.x = anchor.x - (at.x() - view_.width / 2) / scale;
  view_.center.y = anchor.y + (at.y() - view_.height / 2) / scale;
  fitPending_ = false;
  viewChanged(true);
  emit userMovedView();
}

void DrawingView::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && mode_ != PickMode::None) {
    emit cancelled();
    return;
  }
  QWidget::keyPressEvent(e);
}

void DrawingView::leaveEvent(QEvent*) {
  cursor_.reset();
  if (mode_ != PickMode::None) update();
}

void DrawingView::beginPick(PickMode mode, Vec2 base) {
  mode_ = mode;
  base_ = base;
  setCursor(Qt::BlankCursor);
  QPoint at = mapFromGlobal(QCursor::pos());
  if (rect().contains(at)) cursor_ = QPointF(at);
  setFocus();
  update();
}

void DrawingView::endPick() {
  mode_ = PickMode::None;
  setCursor(Qt::CrossCursor);
  update();
}

}  // namespace cadhost::viewer
