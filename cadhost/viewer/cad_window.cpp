#include "cadhost/viewer/cad_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QToolBar>

#include "cadhost/viewer/layer_offer.h"
#include "cadhost/viewer/pick_guard.h"

namespace cadhost::viewer {

namespace {
// The user's Esc, told apart from a window or host that went away.
const QString kPickCancelled = QStringLiteral("the pick was cancelled");
}  // namespace

struct CadWindow::PendingPick {
  QEventLoop loop;
  std::optional<Vec2> result;
  QString reason = kPickCancelled;
};

namespace {

const QString kTitle = QStringLiteral("DimMark CAD");

QString fileNameOf(const std::string& path) {
  return QFileInfo(QString::fromStdString(path)).fileName();
}

bool samePath(const QString& a, const QString& b) {
  QFileInfo fa(a), fb(b);
  if (fa.exists() && fb.exists())
    return fa.canonicalFilePath() == fb.canonicalFilePath();
  return fa.absoluteFilePath() == fb.absoluteFilePath();
}

}  // namespace

CadWindow::CadWindow(std::weak_ptr<engine::EngineApplication> host,
                     QWidget* parent)
    : QMainWindow(parent), host_(std::move(host)), scene_(metrics_) {
  setWindowTitle(kTitle);
  resize(1100, 780);
  // The program's exit quits the host: changed drawings are offered for
  // saving first, so marks are not lost unseen.
  if (auto app = host_.lock()) {
    app->beforeQuit = [this] { offerToSave(); };
    // The program's own saves (before reopening, at exit) go as the File
    // menu's: a DWG's drawing asks where.
    app->saveHook = [this](engine::EngineDocument& doc) {
      auto path = savePath(doc);
      return path && saveDocument(doc, *path);
    };
  }
  view_ = new DrawingView(this);
  view_->setAccessibleName(QStringLiteral("图纸"));
  setCentralWidget(view_);
  prompt_ = new QLabel(this);
  coords_ = new QLabel(this);
  coords_->setMinimumWidth(220);
  statusBar()->addWidget(prompt_, 1);
  busy_ = new QWidget(this);
  auto* busyRow = new QHBoxLayout(busy_);
  busyRow->setContentsMargins(0, 0, 0, 0);
  busyText_ = new QLabel(busy_);
  auto* bar = new QProgressBar(busy_);
  bar->setRange(0, 0);  // busy, no end known
  bar->setMaximumWidth(160);
  auto* stop = new QPushButton(QStringLiteral("取消"), busy_);
  busyRow->addWidget(busyText_);
  busyRow->addWidget(bar);
  busyRow->addWidget(stop);
  connect(stop, &QPushButton::clicked, this, [this] {
    if (busyCancel_) busyCancel_();
  });
  busy_->hide();
  statusBar()->addPermanentWidget(busy_);
  statusBar()->addPermanentWidget(coords_);

  QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
  QAction* save = file->addAction(QStringLiteral("保存"));
  save->setObjectName(QStringLiteral("saveDrawing"));
  save->setShortcut(QKeySequence::Save);
  connect(save, &QAction::triggered, this, [this] { this->save(); });
  QAction* saveAs = file->addAction(QStringLiteral("另存为…"));
  saveAs->setShortcut(QKeySequence::SaveAs);
  connect(saveAs, &QAction::triggered, this, [this] { this->saveAs(); });
  file->addSeparator();
  connect(file->addAction(QStringLiteral("导出 PDF…")), &QAction::triggered,
          this, [this] { exportPdf(); });
  connect(file->addAction(QStringLiteral("导出 PNG…")), &QAction::triggered,
          this, [this] { exportPng(); });
  file->addSeparator();
  // Beside other windows of the program (the workbooks) Ctrl+S saves what
  // has the focus: these keys belong to the drawing while it has it.
  for (QAction* a : {save, saveAs}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
  QAction* close = file->addAction(QStringLiteral("关闭"));
  close->setShortcut(QKeySequence::Close);
  connect(close, &QAction::triggered, this, &QWidget::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("编辑"));
  undo_ = edit->addAction(QStringLiteral("撤消"));
  undo_->setShortcut(QKeySequence::Undo);
  undo_->setEnabled(false);
  connect(undo_, &QAction::triggered, this, [this] { undo(); });
  QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("视图"));
  QAction* extents = viewMenu->addAction(QStringLiteral("缩放到全图"));
  extents->setShortcut(QKeySequence(Qt::Key_Home));
  connect(extents, &QAction::triggered, view_, [this] {
    view_->zoomExtents();
    tellHostTheView();
  });
  viewMenu->addSeparator();
  results_ = viewMenu->addAction(
      QStringLiteral("检验结果（标号显示 OK 绿色、NG 红色）"));
  results_->setCheckable(true);
  resultsShown_ =
      QSettings().value(QStringLiteral("cad/showResults"), true).toBool();
  results_->setChecked(resultsShown_);
  connect(results_, &QAction::toggled, this,
          [this](bool on) { setResultsShown(on); });

  connect(view_, &DrawingView::picked, this, [this](Vec2 p) {
    if (!pending_) return;
    pending_->result = p;
    pending_->loop.quit();
  });
  connect(view_, &DrawingView::cancelled, this,
          [this] { cancelPick(kPickCancelled); });
  connect(view_, &DrawingView::userMovedView, this,
          &CadWindow::tellHostTheView);
  connect(view_, &DrawingView::cursorMoved, this, [this](Vec2 p) {
    coords_->setText(QString::asprintf("%.4f, %.4f", p.x, p.y));
  });

  QToolBar* properties = addToolBar(QStringLiteral("特性"));
  properties->setObjectName(QStringLiteral("properties"));
  properties->setMovable(false);
  properties->addWidget(new QLabel(QStringLiteral(" 当前图层："), this));
  layers_ = new QComboBox(this);
  layers_->setMinimumContentsLength(12);
  layers_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  properties->addWidget(layers_);
  properties->addWidget(new QLabel(QStringLiteral("  当前颜色："), this));
  colors_ = new QComboBox(this);
  properties->addWidget(colors_);
  connect(layers_, QOverload<int>::of(&QComboBox::activated), this,
          [this](int i) { setCurrentLayer(layers_->itemText(i)); });
  connect(colors_, QOverload<int>::of(&QComboBox::activated), this,
          [this](int i) {
            int color = colors_->itemData(i).toInt();
            if (color < 0) {
              auto chosen = dialogs_.colorNumber();
              if (!chosen) {
                syncProperties();
                return;
              }
              color = *chosen;
            }
            setCurrentColor(color);
          });
  syncProperties();

  installDefaultDialogs();
  poll_.setInterval(40);
  connect(&poll_, &QTimer::timeout, this, &CadWindow::sync);
  poll_.start();
}

CadWindow::~CadWindow() {
  if (auto app = host_.lock()) {
    app->beforeQuit = nullptr;
    app->saveHook = nullptr;
  }
  poll_.stop();
  cancelPick(QStringLiteral("the CAD window was closed"));
}

QString CadWindow::prompt() const { return prompt_->text(); }

void CadWindow::showBusy(const QString& text, std::function<void()> cancel) {
  busyText_->setText(text);
  busyCancel_ = std::move(cancel);
  busy_->show();
}

void CadWindow::endBusy() {
  busy_->hide();
  busyCancel_ = nullptr;
}

bool CadWindow::busy() const { return !busy_->isHidden(); }

bool CadWindow::modified(const engine::EngineDocument& doc) const {
  return !doc.isClosed() && !doc.Saved();
}

void CadWindow::sync() {
  auto app = host_.lock();
  if (!app || app->hasQuit()) {
    cancelPick(QStringLiteral("the CAD host is closed"));
    if (doc_) showDocument(nullptr);
    if (isVisible()) hide();
    return;
  }
  QString title = QString::fromStdString(app->Caption());
  if (windowTitle() != title) setWindowTitle(title);
  auto active = app->activeDocument();
  if (active != doc_) {
    showDocument(active);
  } else if (doc_ && doc_->revision() != revision_) {
    revision_ = doc_->revision();
    if (scene_.update(doc_->drawing())) view_->sceneChanged();
    syncProperties();
  }
  if (doc_ && !doc_->isClosed() && doc_->resultsRevision() != resultsRevision_)
    syncResults();
  syncUndo();
  cadhost::Point c = app->viewCenter();
  double h = app->viewHeight();
  if (h > 0 && (c != zoomCenter_ || h != zoomHeight_)) {
    zoomCenter_ = c;
    zoomHeight_ = h;
    if (doc_) view_->zoomCenter({c[0], c[1]}, h);
  }
  if (app->Visible() && !isVisible()) {
    show();
    raise();
  } else if (!app->Visible() && isVisible() && !pending_) {
    hide();
  }
}

void CadWindow::tellHostTheView() {
  // The host knows what its window shows, as the CAD host does; a later
  // ZoomCenter to a place seen before then still moves the view back.
  auto app = host_.lock();
  if (!app || app->hasQuit() || !doc_) return;
  const View& v = view_->view();
  try {
    app->ZoomCenter({v.center.x, v.center.y, 0}, v.height / v.scale);
  } catch (const std::exception&) {
    return;
  }
  zoomCenter_ = app->viewCenter();
  zoomHeight_ = app->viewHeight();
}

void CadWindow::showDocument(std::shared_ptr<engine::EngineDocument> doc) {
  doc_ = std::move(doc);
  if (doc_) {
    revision_ = doc_->revision();
    // Another drawing's result colours are not for this one.
    scene_.setOverlay({});
    scene_.build(doc_->drawing());
    // A zoom asked for before this drawing is not for it.
    if (auto app = host_.lock(); app && !app->hasQuit()) {
      zoomCenter_ = app->viewCenter();
      zoomHeight_ = app->viewHeight();
    }
    view_->setScene(&scene_);
    syncResults();
    // What the engine repaired while reading, for the user to know.
    const auto& repairs = doc_->repairs();
    if (!repairs.empty())
      statusBar()->showMessage(
          QStringLiteral("读入时修复了 %1 处：%2")
              .arg(repairs.size())
              .arg(QString::fromStdString(repairs.front())),
          20000);
    // A drawing of hidden layers alone: asked once the window shows it.
    if (doc_->everyLayerHidden())
      QTimer::singleShot(0, this, [this, shown = std::weak_ptr(doc_)] {
        auto d = shown.lock();
        if (d && d == doc_ && offerToShowLayers(*d, dialogs_.confirm)) {
          sync();
          view_->zoomExtents();
        }
      });
    // The first picture shows everything and needs no index; the first
    // zoom will.
    QTimer::singleShot(200, this, [this] { scene_.ensureIndex(); });
  } else {
    scene_.setOverlay({});
    scene_.reset();
    view_->setScene(nullptr);
  }
  syncProperties();
  syncUndo();
}

void CadWindow::setResultsShown(bool shown) {
  if (results_->isChecked() != shown) {
    results_->setChecked(shown);  // comes back through toggled
    return;
  }
  resultsShown_ = shown;
  QSettings().setValue(QStringLiteral("cad/showResults"), shown);
  syncResults();
}

void CadWindow::syncResults() {
  const bool open = doc_ && !doc_->isClosed();
  resultsRevision_ = open ? doc_->resultsRevision() : 0;
  auto wanted = open && resultsShown_
                    ? doc_->resultColors()
                    : std::unordered_map<const engine::Entity*, int>{};
  if (wanted == scene_.overlay()) return;
  scene_.setOverlay(std::move(wanted));
  view_->sceneChanged();
}

void CadWindow::syncUndo() {
  undo_->setEnabled(doc_ && !doc_->isClosed() && doc_->undoDepth() > 0 &&
                    !pending_);
}

void CadWindow::syncProperties() {
  const bool open = doc_ && !doc_->isClosed();
  layers_->setEnabled(open);
  colors_->setEnabled(open);
  QSignalBlocker blockLayers(layers_), blockColors(colors_);
  layers_->clear();
  colors_->clear();
  if (!open) return;
  for (const auto& name : doc_->layers())
    layers_->addItem(QString::fromStdString(name));
  QString layer = QString::fromStdString(doc_->currentLayer());
  if (layers_->findText(layer, Qt::MatchExactly) < 0) layers_->addItem(layer);
  layers_->setCurrentIndex(layers_->findText(layer, Qt::MatchExactly));

  static const std::pair<int, const char*> kColors[] = {{kColorByLayer, "随层"},
                                                        {kColorByBlock, "随块"},
                                                        {1, "1 红"},
                                                        {2, "2 黄"},
                                                        {3, "3 绿"},
                                                        {4, "4 青"},
                                                        {5, "5 蓝"},
                                                        {6, "6 洋红"},
                                                        {7, "7 白"}};
  const int current = doc_->currentColor();
  bool listed = false;
  for (const auto& [number, name] : kColors) {
    colors_->addItem(QString::fromUtf8(name), number);
    listed = listed || number == current;
  }
  if (!listed) colors_->addItem(QString::number(current), current);
  colors_->addItem(QStringLiteral("其他…"), -1);
  colors_->setCurrentIndex(colors_->findData(current));
}

bool CadWindow::setCurrentLayer(const QString& layer) {
  return changeCurrent([&] { doc_->setCurrentLayer(layer.toStdString()); });
}

bool CadWindow::setCurrentColor(int color) {
  return changeCurrent([&] { doc_->setCurrentColor(color); });
}

bool CadWindow::changeCurrent(const std::function<void()>& change) {
  if (!doc_ || doc_->isClosed()) return false;
  try {
    change();
  } catch (const std::exception& ex) {
    dialogs_.error(QString::fromStdString(ex.what()));
    syncProperties();
    return false;
  }
  sync();
  return true;
}

bool CadWindow::undo() {
  // A pick under way belongs to an operation of the program's; its
  // changes are not the user's to take back yet.
  if (!doc_ || doc_->isClosed() || pending_ || doc_->undoDepth() == 0)
    return false;
  try {
    doc_->undoAsUser();
  } catch (const std::exception& ex) {
    dialogs_.error(QString::fromStdString(ex.what()));
    return false;
  }
  sync();
  return true;
}

cadhost::Point CadWindow::pick(DrawingView::PickMode mode,
                               const cadhost::Point& base,
                               const std::string& prompt) {
  sync();
  auto app = host_.lock();
  if (!app || app->hasQuit()) throw HostError("the CAD host is closed");
  if (!doc_) throw HostError("no drawing is open in the CAD window");
  if (pending_) throw HostError("the CAD window is waiting for another pick");
  app.reset();
  if (!isVisible()) show();
  raise();
  activateWindow();
  PendingPick state;
  pending_ = &state;
  // A passing message would hide the prompt the user must answer.
  statusBar()->clearMessage();
  prompt_->setText(QString::fromStdString(prompt));
  view_->beginPick(mode, {base[0], base[1]});
  // The program waits for the pick, as a caller of the CAD host does:
  // everything but the drawing view waits with it, wherever this window is
  // placed (its own window, or inside another one).
  PickGuard guard(this, view_, [this] { cancelPick(kPickCancelled); });
  undo_->setEnabled(false);
  QPointer<CadWindow> self(this);
  state.loop.exec();
  guard.release();
  if (self) {
    pending_ = nullptr;
    view_->endPick();
    prompt_->clear();
    syncUndo();
  }
  if (!state.result) {
    if (state.reason == kPickCancelled)
      throw Cancelled(state.reason.toStdString());
    throw HostError(state.reason.toStdString());
  }
  return {state.result->x, state.result->y, 0};
}

void CadWindow::cancelPick(const QString& reason) {
  if (!pending_) return;
  PendingPick* p = pending_;
  pending_ = nullptr;
  p->reason = reason;
  p->result.reset();
  p->loop.quit();
}

void CadWindow::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && pending_) {
    cancelPick(kPickCancelled);
    return;
  }
  QMainWindow::keyPressEvent(e);
}

void CadWindow::closeEvent(QCloseEvent* e) {
  auto app = host_.lock();
  if (!app || app->hasQuit()) {
    cancelPick(QStringLiteral("the CAD host is closed"));
    e->accept();
    return;
  }
  // Closing the window closes the host's drawings; the user may keep
  // their changes first.
  auto docs = app->documents();
  for (const auto& d : docs) {
    if (!modified(*d)) continue;
    SaveChoice choice = dialogs_.saveChanges(
        QStringLiteral("是否保存对 %1 的修改？").arg(fileNameOf(d->path())));
    if (choice == SaveChoice::Cancel) {
      e->ignore();
      return;
    }
    if (choice == SaveChoice::Save) {
      auto path = savePath(*d);
      if (!path || !saveDocument(*d, *path)) {
        e->ignore();
        return;
      }
    }
  }
  cancelPick(QStringLiteral("the drawing window was closed"));
  try {
    app->SetVisible(false);
  } catch (const std::exception&) {
  }
  for (const auto& d : docs) {
    try {
      d->close();  // its closed handler tells the program
    } catch (const std::exception&) {
    }
  }
  showDocument(nullptr);
  e->accept();
}

void CadWindow::offerToSave() {
  auto app = host_.lock();
  if (!app) return;
  for (const auto& d : app->documents()) {
    if (d->isClosed() || !modified(*d)) continue;
    // Exit goes on whatever the answer; a cancel keeps nothing.
    if (dialogs_.saveChanges(QStringLiteral("退出前是否保存对 %1 的修改？")
                                 .arg(fileNameOf(d->path()))) ==
        SaveChoice::Save)
      if (auto path = savePath(*d)) saveDocument(*d, *path);
  }
}

bool CadWindow::saveDocument(engine::EngineDocument& doc, const QString& path) {
  try {
    doc.saveAs(path.toStdString());
  } catch (const std::exception& ex) {
    dialogs_.error(QString::fromStdString(ex.what()));
    return false;
  }
  statusBar()->showMessage(QStringLiteral("已保存 %1").arg(path), 5000);
  return true;
}

QString CadWindow::proposedPath(const engine::EngineDocument& doc) const {
  QFileInfo drawing(QString::fromStdString(doc.path()));
  if (!doc.fromDwg()) return drawing.filePath();
  return drawing.dir().filePath(drawing.completeBaseName() +
                                QStringLiteral(".dxf"));
}

std::optional<QString> CadWindow::savePath(const engine::EngineDocument& doc) {
  if (!doc.fromDwg()) return QString::fromStdString(doc.path());
  auto path =
      dialogs_.saveFile(QStringLiteral("保存为 DXF"),
                        QStringLiteral("DXF 图形 (*.dxf)"), proposedPath(doc));
  if (!path || path->isEmpty()) return std::nullopt;
  QString p = *path;
  if (QFileInfo(p).suffix().isEmpty()) p += QStringLiteral(".dxf");
  return p;
}

bool CadWindow::save() {
  if (!doc_ || doc_->isClosed()) return false;
  // A DWG is never written: its drawing goes to a DXF the user names.
  if (doc_->fromDwg()) {
    auto path = savePath(*doc_);
    return path && saveDocument(*doc_, *path);
  }
  QString path = QString::fromStdString(doc_->path());
  if (!dialogs_.confirm(
          QStringLiteral("将图形保存到 %1？原文件将被覆盖。").arg(path)))
    return false;
  return saveDocument(*doc_, path);
}

QString saveAsProposal(const QString& drawingPath) {
  // "<name>-标号.dxf" beside the drawing; a drawing that is such a copy
  // already gets the next free "<name>-标号-N.dxf", never itself.
  static const QRegularExpression marked(QStringLiteral("-标号(-\\d+)?$"));
  const QFileInfo drawing(drawingPath);
  QString base = drawing.completeBaseName();
  base.remove(marked);
  const QDir dir = drawing.dir();
  QString proposal = dir.filePath(base + QStringLiteral("-标号.dxf"));
  for (int n = 2; n < 1000 && (samePath(proposal, drawing.filePath()) ||
                               QFileInfo::exists(proposal));
       ++n)
    proposal = dir.filePath(base + QStringLiteral("-标号-%1.dxf").arg(n));
  return proposal;
}

bool CadWindow::saveAs() {
  if (!doc_ || doc_->isClosed()) return false;
  // Never the drawing itself: one Enter must not write over the original.
  QFileInfo drawing(QString::fromStdString(doc_->path()));
  auto path = dialogs_.saveFile(QStringLiteral("另存为"),
                                QStringLiteral("DXF 图形 (*.dxf)"),
                                saveAsProposal(drawing.filePath()));
  if (!path || path->isEmpty()) return false;
  QString p = *path;
  if (QFileInfo(p).suffix().isEmpty()) p += QStringLiteral(".dxf");
  return saveDocument(*doc_, p);
}

std::optional<QString> CadWindow::exportPath(const QString& title,
                                             const QString& filter,
                                             const QString& suffix) {
  QFileInfo drawing(QString::fromStdString(doc_->path()));
  auto path = dialogs_.saveFile(
      title, filter,
      drawing.dir().filePath(drawing.completeBaseName() + suffix));
  if (!path || path->isEmpty()) return std::nullopt;
  QString p = *path;
  if (QFileInfo(p).suffix().isEmpty()) p += suffix;
  if (samePath(p, drawing.filePath())) {
    dialogs_.error(QStringLiteral("导出文件不能覆盖图形文件本身：%1").arg(p));
    return std::nullopt;
  }
  return p;
}

bool CadWindow::exportPdf() {
  if (!doc_ || doc_->isClosed()) return false;
  auto options = dialogs_.pdfOptions();
  if (!options) return false;
  auto path = exportPath(QStringLiteral("导出 PDF"),
                         QStringLiteral("PDF (*.pdf)"), QStringLiteral(".pdf"));
  if (!path) return false;
  try {
    viewer::exportPdf(scene_, path->toStdString(), *options);
  } catch (const std::exception& ex) {
    dialogs_.error(QString::fromStdString(ex.what()));
    return false;
  }
  statusBar()->showMessage(QStringLiteral("已导出 %1").arg(*path), 5000);
  return true;
}

bool CadWindow::exportPng() {
  if (!doc_ || doc_->isClosed()) return false;
  auto width = dialogs_.pngWidth();
  if (!width) return false;
  auto path = exportPath(QStringLiteral("导出 PNG"),
                         QStringLiteral("PNG (*.png)"), QStringLiteral(".png"));
  if (!path) return false;
  try {
    viewer::exportPng(scene_, path->toStdString(), *width);
  } catch (const std::exception& ex) {
    dialogs_.error(QString::fromStdString(ex.what()));
    return false;
  }
  statusBar()->showMessage(QStringLiteral("已导出 %1").arg(*path), 5000);
  return true;
}

void CadWindow::installDefaultDialogs() {
  dialogs_.confirm = [this](const QString& q) {
    return QMessageBox::question(this, kTitle, q,
                                 QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  };
  dialogs_.saveChanges = [this](const QString& q) {
    QMessageBox box(QMessageBox::Question, kTitle, q, QMessageBox::NoButton,
                    this);
    QPushButton* yes =
        box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* no =
        box.addButton(QStringLiteral("不保存"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.exec();
    if (box.clickedButton() == yes) return SaveChoice::Save;
    if (box.clickedButton() == no) return SaveChoice::Discard;
    return SaveChoice::Cancel;
  };
  dialogs_.saveFile = [this](const QString& title, const QString& filter,
                             const QString& path) -> std::optional<QString> {
    QString chosen = QFileDialog::getSaveFileName(this, title, path, filter);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
  };
  dialogs_.pdfOptions = [this]() -> std::optional<PdfOptions> {
    QDialog dlg(this);
    dlg.setWindowTitle(QStringLiteral("导出 PDF"));
    auto* form = new QFormLayout(&dlg);
    auto* paper = new QComboBox(&dlg);
    for (const char* n : {"A4", "A3", "A2", "A1", "A0"})
      paper->addItem(QString::fromLatin1(n));
    paper->setCurrentIndex(1);
    auto* orientation = new QComboBox(&dlg);
    orientation->addItems({QStringLiteral("自动"), QStringLiteral("横向"),
                           QStringLiteral("纵向")});
    form->addRow(QStringLiteral("图纸："), paper);
    form->addRow(QStringLiteral("方向："), orientation);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    PdfOptions o;
    bool ok = false;
    o.paper = paperByName(paper->currentText(), &ok);
    o.orientation =
        static_cast<PdfOptions::Orientation>(orientation->currentIndex());
    return o;
  };
  dialogs_.pngWidth = [this]() -> std::optional<int> {
    bool ok = false;
    int w = QInputDialog::getInt(this, QStringLiteral("导出 PNG"),
                                 QStringLiteral("图像宽度（像素）："), 2000,
                                 100, 20000, 100, &ok);
    if (!ok) return std::nullopt;
    return w;
  };
  dialogs_.colorNumber = [this]() -> std::optional<int> {
    bool ok = false;
    int c = QInputDialog::getInt(this, QStringLiteral("当前颜色"),
                                 QStringLiteral("颜色号（1 到 255）："), 8, 1,
                                 255, 1, &ok);
    if (!ok) return std::nullopt;
    return c;
  };
  dialogs_.error = [this](const QString& message) {
    QMessageBox::warning(this, kTitle, message);
  };
}

}  // namespace cadhost::viewer
