// The CAD window offscreen: it follows the host (caption, visibility,
// zoom), takes picks from synthesized mouse and key events, saves,
// exports and closes the drawing from its File menu, takes back changes
// with Ctrl+Z and sets the current layer and colour.
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <fstream>

#include "cadhost/viewer/cad_window.h"
#include "cadhost/viewer/palette.h"
#include "cadhost/viewer/window_host.h"
#include "forms/qt/qt_desktop.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::HostError;
using cadhost::viewer::CadWindow;
using cadhost::viewer::DrawingView;

// A windowed host with a copy of the part drawing open and shown.
struct Shown {
  TempDir dir;
  std::string path = dir.copy(viewerFixture("part.dxf"), "part.dxf");
  cadhost::ApplicationRef host = cadhost::viewer::makeWindowHost();
  CadWindow* window = cadhost::viewer::windowOf(host);
  cadhost::DocumentRef doc;
  std::shared_ptr<cadhost::engine::EngineDocument> engineDoc;
  bool closed = false;

  Shown() {
    doc = host->Open(path);
    engineDoc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(doc);
    doc->SetClosedHandler([this] { closed = true; });
    host->SetVisible(true);
    window->sync();
    // Tests answer every question; an unexpected one fails.
    window->dialogs().confirm = [](const QString& q) {
      ADD_FAILURE() << "unexpected question " << q.toStdString();
      return false;
    };
    window->dialogs().saveChanges = [](const QString& q) {
      ADD_FAILURE() << "unexpected question " << q.toStdString();
      return CadWindow::SaveChoice::Cancel;
    };
    window->dialogs().error = [this](const QString& m) { errors.push_back(m); };
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
  }
  DrawingView* view() const { return window->drawingView(); }
  std::vector<QString> errors;
};

// Runs `f` as soon as the pick's event loop is running.
void whilePicking(std::function<void()> f) {
  QTimer::singleShot(0, std::move(f));
}

TEST(CadWindowHost, FollowsCaptionVisibilityAndZoom) {
  auto host = cadhost::viewer::makeWindowHost();
  CadWindow* w = cadhost::viewer::windowOf(host);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(cadhost::viewer::windowOf(cadhost::engine::makeEmbeddedHost()),
            nullptr);
  w->sync();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->windowTitle().toStdString(), host->Caption());

  TempDir dir;
  host->Open(dir.copy(viewerFixture("part.dxf"), "flange.dxf"));
  host->SetVisible(true);
  // The poll timer brings the window along.
  QTRY_VERIFY(w->isVisible());
  EXPECT_EQ(w->windowTitle().toStdString(), "DimMark CAD - flange.dxf");
  EXPECT_GT(w->scene().livingCount(), 50u);
  // Bringing the host to the front by its caption finds this window.
  forms::qt::QtDesktop desktop("DimMark", dir.file(""));
  EXPECT_TRUE(desktop.activateWindow(host->Caption()));

  // The browser's zoom: centred on the dimension, 100 units high.
  host->ZoomCenter({80, 120, 0}, 100);
  w->sync();
  const auto& v = w->drawingView()->view();
  EXPECT_TRUE(near(v.center, {80, 120}));
  EXPECT_NEAR(v.height / v.scale, 100, 1e-9);
  // The user zooms away; showing the same dimension again brings it back.
  QWheelEvent wheel(
      QPointF(10, 10), w->drawingView()->mapToGlobal(QPointF(10, 10)), QPoint(),
      QPoint(0, -240), Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w->drawingView(), &wheel);
  w->sync();
  EXPECT_FALSE(near(w->drawingView()->view().center, {80, 120}));
  host->ZoomCenter({80, 120, 0}, 100);
  w->sync();
  EXPECT_TRUE(near(w->drawingView()->view().center, {80, 120}));
  EXPECT_NEAR(v.height / w->drawingView()->view().scale, 100, 1e-9);

  host->SetVisible(false);
  QTRY_VERIFY(!w->isVisible());
  host->Quit();
  w->sync();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->document(), nullptr);
}

TEST(CadWindowPicks, PointAndCornerByMouseInDrawingUnits) {
  Shown s;
  auto& picks = s.doc->GetUtility();
  QPoint at(300, 200);
  Vec2 expected = s.view()->view().toDrawing(300, 200);
  whilePicking([&] {
    EXPECT_EQ(s.window->prompt(), QString::fromUtf8("第一点: "));
    EXPECT_EQ(s.view()->pickMode(), DrawingView::PickMode::Point);
    QTest::mouseMove(s.view(), at);
    QTest::mouseClick(s.view(), Qt::LeftButton, {}, at);
  });
  cadhost::Point p = picks.GetPoint(std::nullopt, "第一点: ");
  EXPECT_TRUE(near({p[0], p[1]}, expected, 1e-9));
  EXPECT_EQ(p[2], 0);
  EXPECT_TRUE(s.window->prompt().isEmpty());
  EXPECT_EQ(s.view()->pickMode(), DrawingView::PickMode::None);

  // The corner: a rubber band from the first point to the cursor.
  QPoint to(500, 350);
  Vec2 expected2 = s.view()->view().toDrawing(500, 350);
  bool band = false;
  whilePicking([&] {
    EXPECT_EQ(s.window->prompt(), QString::fromUtf8("对角点: "));
    QTest::mouseMove(s.view(), to);
    QImage shot = s.view()->grab().toImage();
    // Along the band's top edge, halfway from base to cursor.
    for (int x = 390; x < 410; ++x)
      for (int y = 198; y <= 202; ++y)
        if (shot.pixelColor(x, y) == QColor(120, 200, 255)) band = true;
    QTest::mouseClick(s.view(), Qt::LeftButton, {}, to);
  });
  cadhost::Point q = picks.GetCorner(p, "对角点: ");
  EXPECT_TRUE(band);
  EXPECT_TRUE(near({q[0], q[1]}, expected2, 1e-9));
}

TEST(CadWindowPicks, PanningAndZoomingDuringAPickAreInDrawingUnits) {
  Shown s;
  whilePicking([&] {
    const cadhost::viewer::View v0 = s.view()->view();
    // Dragged with the middle button 60 px right and 40 px down: the
    // drawing follows the mouse.
    QTest::mousePress(s.view(), Qt::MiddleButton, {}, QPoint(100, 100));
    QMouseEvent move(QEvent::MouseMove, QPointF(160, 140),
                     s.view()->mapToGlobal(QPointF(160, 140)), Qt::NoButton,
                     Qt::MiddleButton, {});
    QApplication::sendEvent(s.view(), &move);
    QTest::mouseRelease(s.view(), Qt::MiddleButton, {}, QPoint(160, 140));
    EXPECT_TRUE(near(s.view()->view().center,
                     {v0.center.x - 60 / v0.scale, v0.center.y + 40 / v0.scale},
                     1e-9));
    // One notch of the wheel zooms in about the cursor.
    Vec2 under = s.view()->view().toDrawing(400, 300);
    QWheelEvent wheel(
        QPointF(400, 300), s.view()->mapToGlobal(QPointF(400, 300)), QPoint(),
        QPoint(0, 120), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.view(), &wheel);
    EXPECT_TRUE(near(s.view()->view().toDrawing(400, 300), under, 1e-9));
    EXPECT_NEAR(s.view()->view().scale, v0.scale * 1.25, 1e-9);
    QTest::mouseClick(s.view(), Qt::LeftButton, {}, QPoint(400, 300));
  });
  cadhost::Point p = s.doc->GetUtility().GetPoint(std::nullopt, "LOCATION: ");
  EXPECT_TRUE(near({p[0], p[1]}, s.view()->view().toDrawing(400, 300), 1e-9));
}

TEST(CadWindowPicks, EscapeAndCancelsRaiseHostError) {
  Shown s;
  auto& picks = s.doc->GetUtility();
  whilePicking([&] { QTest::keyClick(s.view(), Qt::Key_Escape); });
  EXPECT_THROW(picks.GetPoint(std::nullopt, "FROM POINT: "), HostError);
  EXPECT_TRUE(s.window->prompt().isEmpty());

  // One pick at a time; the second is refused, the first goes on.
  whilePicking([&] {
    EXPECT_THROW(picks.GetPoint(std::nullopt, "TO POINT: "), HostError);
    QTest::mouseClick(s.view(), Qt::LeftButton, {}, QPoint(50, 50));
  });
  EXPECT_NO_THROW(picks.GetPoint(std::nullopt, "FROM POINT: "));

  // The host quits while the user picks.
  whilePicking([&] { s.host->Quit(); });
  EXPECT_THROW(picks.GetPoint(std::nullopt, "LOCATION: "), HostError);
  EXPECT_TRUE(s.closed);
}

// As in the program: the CAD window in the centre of another main window,
// a panel docked beside it, a menu with a shortcut. While a pick is asked
// the view alone takes the mouse; Esc anywhere and a right click in the
// view give it up; closing the outer window waits for the pick to end.
TEST(CadWindowPicks, InsideAnotherWindowTheViewAloneTakesThePick) {
  QMainWindow outer;
  Shown s;
  s.window->setWindowFlags(Qt::Widget);
  outer.setCentralWidget(s.window);
  auto* dock = new QDockWidget(QStringLiteral("面板"), &outer);
  auto* button = new QPushButton(QStringLiteral("自动标号"), dock);
  dock->setWidget(button);
  outer.addDockWidget(Qt::RightDockWidgetArea, dock);
  int pressed = 0, saved = 0;
  QObject::connect(button, &QPushButton::clicked, [&] { ++pressed; });
  QAction* save = outer.menuBar()
                      ->addMenu(QStringLiteral("文件"))
                      ->addAction(QStringLiteral("保存"));
  save->setShortcut(QKeySequence::Save);
  QObject::connect(save, &QAction::triggered, [&] { ++saved; });
  outer.resize(1000, 700);
  outer.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&outer));
  s.window->sync();
  auto& picks = s.doc->GetUtility();

  QPoint at(200, 150);
  whilePicking([&] {
    EXPECT_TRUE(s.view()->isEnabled());
    EXPECT_TRUE(s.view()->isVisible());
    EXPECT_FALSE(button->isEnabled());
    EXPECT_FALSE(outer.menuBar()->isEnabled());
    // The status line keeps the prompt readable.
    EXPECT_TRUE(s.window->statusBar()->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(&outer, Qt::Key_S, Qt::ControlModifier);
    QTest::mouseClick(s.view(), Qt::LeftButton, {}, at);
  });
  Vec2 expected = s.view()->view().toDrawing(at.x(), at.y());
  cadhost::Point p = picks.GetPoint(std::nullopt, "第一点: ");
  EXPECT_TRUE(near({p[0], p[1]}, expected, 1e-9));
  EXPECT_EQ(pressed, 0);
  EXPECT_EQ(saved, 0);
  EXPECT_TRUE(button->isEnabled());
  EXPECT_TRUE(outer.menuBar()->isEnabled());

  // Esc wherever the focus is.
  whilePicking([&] { QTest::keyClick(button, Qt::Key_Escape); });
  EXPECT_THROW(picks.GetPoint(std::nullopt, "LOCATION: "), cadhost::Cancelled);
  // A right click in the drawing.
  whilePicking([&] { QTest::mouseClick(s.view(), Qt::RightButton, {}, at); });
  EXPECT_THROW(picks.GetPoint(std::nullopt, "LOCATION: "), cadhost::Cancelled);
  EXPECT_TRUE(s.window->prompt().isEmpty());
  EXPECT_TRUE(button->isEnabled());

  // Closing the outer window ends the pick first, then closes.
  whilePicking([&] { outer.close(); });
  EXPECT_THROW(picks.GetPoint(std::nullopt, "FROM POINT: "),
               cadhost::Cancelled);
  EXPECT_TRUE(outer.isVisible());
  QTRY_VERIFY(!outer.isVisible());
  // The pick after all that works as the first did.
  outer.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&outer));
  whilePicking([&] { QTest::mouseClick(s.view(), Qt::LeftButton, {}, at); });
  EXPECT_NO_THROW(picks.GetPoint(std::nullopt, "TO POINT: "));
}

TEST(CadWindowPicks, ClosingTheWindowCancelsAndClosesTheDrawing) {
  Shown s;
  whilePicking([&] { s.window->close(); });
  EXPECT_THROW(s.doc->GetUtility().GetPoint(std::nullopt, "第一点: "),
               HostError);
  EXPECT_TRUE(s.closed);  // AcadDoc_Close ran
  EXPECT_TRUE(s.engineDoc->isClosed());
  EXPECT_FALSE(s.window->isVisible());
  EXPECT_FALSE(s.host->Visible());
  // Opening the next drawing shows the window again.
  s.host->Open(s.path);
  s.host->SetVisible(true);
  s.window->sync();
  EXPECT_TRUE(s.window->isVisible());
}

TEST(CadWindowFile, SaveAsksFirstAndWritesOverTheDrawing) {
  Shown s;
  const std::string original = readBytes(s.path);
  s.doc->GetModelSpace().AddCircle({10, 10, 0}, 3);
  s.window->sync();
  EXPECT_TRUE(s.window->modified(*s.engineDoc));

  QString asked;
  s.window->dialogs().confirm = [&](const QString& q) {
    asked = q;
    return false;
  };
  EXPECT_FALSE(s.window->save());
  EXPECT_TRUE(asked.contains(QString::fromStdString(s.path)));
  EXPECT_EQ(readBytes(s.path), original);

  s.window->dialogs().confirm = [](const QString&) { return true; };
  EXPECT_TRUE(s.window->save());
  EXPECT_FALSE(s.window->modified(*s.engineDoc));
  auto again = cadhost::engine::makeEmbeddedHost()->Open(s.path);
  EXPECT_EQ(again->GetModelSpace().Count(), s.doc->GetModelSpace().Count());

  // Save as: a name without extension gets ".dxf"; the window's title
  // follows the new name.
  // The name proposed is never the drawing's own.
  s.window->dialogs().saveFile = [&](const QString&, const QString& filter,
                                     const QString& proposed) {
    EXPECT_TRUE(filter.contains(QStringLiteral("*.dxf")));
    QFileInfo drawing(QString::fromStdString(s.path));
    EXPECT_EQ(proposed, drawing.dir().filePath(drawing.completeBaseName() +
                                               QStringLiteral("-标号.dxf")));
    return std::optional<QString>(QString::fromStdString(s.dir.file("copy")));
  };
  EXPECT_TRUE(s.window->saveAs());
  EXPECT_TRUE(std::filesystem::exists(s.dir.file("copy.dxf")));
  s.window->sync();
  EXPECT_EQ(s.window->windowTitle(), QStringLiteral("DimMark CAD - copy.dxf"));

  // A file that cannot be written: a message, nothing saved.
  s.window->dialogs().saveFile = [&](const QString&, const QString&,
                                     const QString&) {
    return std::optional<QString>(QStringLiteral("/no/such/dir/x.dxf"));
  };
  EXPECT_FALSE(s.window->saveAs());
  ASSERT_EQ(s.errors.size(), 1u);
  EXPECT_TRUE(s.errors[0].contains(QStringLiteral("/no/such/dir/x.dxf")));
}

TEST(CadWindowSave, SaveAsProposesAFreeMarkedNameNeverTheDrawing) {
  TempDir dir;
  auto touch = [&](const char* name) {
    std::ofstream(dir.file(name)) << "0\nEOF\n";
    return QString::fromStdString(dir.file(name));
  };
  using cadhost::viewer::saveAsProposal;
  const QString b1 = touch("b1.dxf");
  EXPECT_EQ(saveAsProposal(b1),
            QString::fromStdString(dir.file("b1-标号.dxf")));
  // The marked copy itself: its suffix is not doubled, and it is not
  // proposed over itself.
  const QString marked = touch("b1-标号.dxf");
  EXPECT_EQ(saveAsProposal(marked),
            QString::fromStdString(dir.file("b1-标号-2.dxf")));
  EXPECT_EQ(saveAsProposal(b1),
            QString::fromStdString(dir.file("b1-标号-2.dxf")));
  touch("b1-标号-2.dxf");
  EXPECT_EQ(saveAsProposal(QString::fromStdString(dir.file("b1-标号-2.dxf"))),
            QString::fromStdString(dir.file("b1-标号-3.dxf")));
}

TEST(CadWindowFile, ClosingAChangedDrawingAsksToSave) {
  Shown s;
  const std::string original = readBytes(s.path);
  s.doc->GetModelSpace().AddText("1", {5, 5, 0}, 3.5);
  int asked = 0;
  s.window->dialogs().saveChanges = [&](const QString& q) {
    ++asked;
    EXPECT_TRUE(q.contains(QStringLiteral("part.dxf")));
    return CadWindow::SaveChoice::Cancel;
  };
  EXPECT_FALSE(s.window->close());
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(s.window->isVisible());
  EXPECT_FALSE(s.engineDoc->isClosed());

  s.window->dialogs().saveChanges = [&](const QString&) {
    ++asked;
    return CadWindow::SaveChoice::Discard;
  };
  EXPECT_TRUE(s.window->close());
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(s.closed);
  EXPECT_EQ(readBytes(s.path), original);
}

TEST(CadWindowFile, QuittingOffersToSaveAChangedDrawing) {
  Shown s;
  const std::string original = readBytes(s.path);
  s.doc->GetModelSpace().AddText("1", {5, 5, 0}, 3.5);
  int asked = 0;
  s.window->dialogs().saveChanges = [&](const QString& q) {
    ++asked;
    EXPECT_TRUE(q.contains(QStringLiteral("part.dxf")));
    return CadWindow::SaveChoice::Save;
  };
  s.host->Quit();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(s.closed);
  EXPECT_NE(readBytes(s.path), original);
}

TEST(CadWindowFile, QuittingAnUnchangedDrawingAsksNothing) {
  Shown s;
  const std::string original = readBytes(s.path);
  s.host->Quit();  // the fixture fails on any question
  EXPECT_EQ(readBytes(s.path), original);
}

TEST(CadWindowFile, ExportsRefuseToOverwriteTheDrawing) {
  Shown s;
  s.window->dialogs().pdfOptions = [] {
    cadhost::viewer::PdfOptions o;
    o.paper = QPageSize::A4;
    return std::optional<cadhost::viewer::PdfOptions>(o);
  };
  s.window->dialogs().pngWidth = [] { return std::optional<int>(640); };
  QString target;
  s.window->dialogs().saveFile = [&](const QString&, const QString&,
                                     const QString& suggested) {
    EXPECT_TRUE(suggested.endsWith(QStringLiteral("part.pdf")) ||
                suggested.endsWith(QStringLiteral("part.png")));
    return std::optional<QString>(target);
  };
  target = QString::fromStdString(s.dir.file("out"));
  EXPECT_TRUE(s.window->exportPdf());
  EXPECT_EQ(readBytes(s.dir.file("out.pdf")).substr(0, 5), "%PDF-");
  target = QString::fromStdString(s.dir.file("out.png"));
  EXPECT_TRUE(s.window->exportPng());
  EXPECT_EQ(QImage(target).width(), 640);

  const std::string original = readBytes(s.path);
  target = QString::fromStdString(s.path);
  EXPECT_FALSE(s.window->exportPng());
  EXPECT_EQ(readBytes(s.path), original);
  EXPECT_EQ(s.errors.size(), 1u);
}

}  // namespace

namespace {

TEST(CadWindowHost, SaysWhatTheLoadRepaired) {
  auto host = cadhost::viewer::makeWindowHost();
  CadWindow* w = cadhost::viewer::windowOf(host);
  host->Open(engineFixture("broken/missing_eof.dxf"));
  host->SetVisible(true);
  w->sync();
  EXPECT_TRUE(w->statusBar()->currentMessage().startsWith(
      QString::fromUtf8("读入时修复了 1 处")))
      << w->statusBar()->currentMessage().toStdString();
  host->Quit();
}

}  // namespace

TEST(CadWindowEdit, CtrlZTakesBackOneGroupOfChangesAndRedrawsAtOnce) {
  Shown s;
  auto& ms = s.doc->GetModelSpace();
  auto circle = ms.AddCircle({10, 10, 0}, 2);
  auto text = ms.AddText("1", {9, 9, 0}, 2.4);
  for (int twice = 0; twice < 2; ++twice) {
    s.doc->StartUndoMark();
    circle->ScaleEntity(circle->center(), 1.25);
    text->ScaleEntity(circle->center(), 1.25);
    s.doc->EndUndoMark();
  }
  s.window->sync();
  EXPECT_DOUBLE_EQ(circle->Radius(), 2 * 1.5625);
  ASSERT_TRUE(s.window->undoAction()->isEnabled());
  EXPECT_EQ(s.window->undoAction()->shortcut(),
            QKeySequence(QKeySequence::Undo));
  const std::uint64_t before = s.engineDoc->revision();
  s.window->activateWindow();
  QTest::keyClick(s.window, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_DOUBLE_EQ(circle->Radius(), 2 * 1.25);
  EXPECT_DOUBLE_EQ(text->Height(), 2.4 * 1.25);
  EXPECT_GT(s.engineDoc->revision(), before);
  // Undo runs out with the drawing as loaded.
  while (s.window->undo()) {
  }
  EXPECT_FALSE(s.window->undoAction()->isEnabled());
  EXPECT_THROW(circle->Radius(), HostError);
  EXPECT_TRUE(s.errors.empty());
}

TEST(CadWindowEdit, NoUndoWhileTheProgramWaitsForAPick) {
  Shown s;
  s.doc->GetModelSpace().AddCircle({10, 10, 0}, 2);
  s.window->sync();
  QWidget other;  // the main window
  other.show();
  whilePicking([&] {
    EXPECT_FALSE(s.window->undo());
    EXPECT_FALSE(s.window->undoAction()->isEnabled());
    // The program's other windows wait with it.
    EXPECT_FALSE(other.isEnabled());
    QTest::keyClick(s.view(), Qt::Key_Escape);
  });
  // The user's Esc is a cancel, told apart from a host that went away.
  EXPECT_THROW(s.doc->GetUtility().GetPoint(std::nullopt, "LOCATION: "),
               cadhost::Cancelled);
  EXPECT_TRUE(other.isEnabled());
  EXPECT_TRUE(s.window->undoAction()->isEnabled());
}

TEST(CadWindowEdit, ThePropertiesBarSetsTheCurrentLayerAndColour) {
  Shown s;
  QComboBox* layers = s.window->layerBox();
  QComboBox* colors = s.window->colorBox();
  EXPECT_EQ(layers->currentText().toStdString(), s.engineDoc->currentLayer());
  const int at = layers->findText(QStringLiteral("标注"));
  ASSERT_GE(at, 0);
  layers->activated(at);
  EXPECT_EQ(s.engineDoc->currentLayer(), "标注");
  EXPECT_EQ(std::get<std::string>(s.doc->GetVariable("CLAYER")), "标注");

  colors->activated(colors->findData(1));
  EXPECT_EQ(std::get<std::string>(s.doc->GetVariable("CECOLOR")), "1");
  EXPECT_EQ(s.doc->GetModelSpace().AddCircle({0, 0, 0}, 1)->Color(), 1);
  // A colour beyond the list is asked for; a cancel changes nothing.
  s.window->dialogs().colorNumber = [] { return std::optional<int>(); };
  colors->activated(colors->findData(-1));
  EXPECT_EQ(s.engineDoc->currentColor(), 1);
  s.window->dialogs().colorNumber = [] { return std::optional<int>(30); };
  colors->activated(colors->findData(-1));
  EXPECT_EQ(s.engineDoc->currentColor(), 30);
  s.window->sync();
  EXPECT_EQ(colors->currentData().toInt(), 30);
  // A layer the drawing lacks is refused with a message.
  EXPECT_FALSE(s.window->setCurrentLayer(QStringLiteral("没有的层")));
  EXPECT_EQ(s.errors.size(), 1u);
  EXPECT_EQ(s.engineDoc->currentLayer(), "标注");
}

namespace {

// Primitives drawn in exactly this colour number.
std::size_t inColor(const cadhost::viewer::Scene& scene, int aci) {
  const auto rgb = cadhost::viewer::aciColor(aci);
  std::size_t n = 0;
  for (const auto& p : scene.prims())
    if (!p.dead && p.color.role == cadhost::viewer::ColorRole::Own &&
        p.color.rgb == rgb)
      ++n;
  return n;
}

TEST(CadWindowResults, MarksShowTheirResultsAsAViewOnly) {
  Shown s;
  // The toggle starts on whatever the last run left in the settings.
  s.window->setResultsShown(true);
  auto& ms = s.doc->GetModelSpace();
  s.doc->StartUndoMark();
  auto circle = ms.AddCircle({10, 10, 0}, 2);
  auto number = ms.AddText("1", {9, 9, 0}, 2.4);
  auto other = ms.AddCircle({40, 10, 0}, 2);
  s.doc->EndUndoMark();
  s.window->sync();
  s.engineDoc->saveAs(s.dir.file("before.dxf"));
  const std::size_t depth = s.engineDoc->undoDepth();
  const std::size_t magentaBefore = inColor(s.window->scene(), 6);

  s.doc->ShowResultColors({{circle, 6}, {number, 6}});
  s.window->sync();
  // The circle and its number, nothing else.
  EXPECT_EQ(inColor(s.window->scene(), 6), magentaBefore + 2);
  // Seen again after the mark is edited (rebuilt in the scene).
  circle->Move({0, 0, 0}, {1, 0, 0});
  s.window->sync();
  EXPECT_EQ(inColor(s.window->scene(), 6), magentaBefore + 2);

  // The View menu's toggle hides and shows them.
  ASSERT_TRUE(s.window->resultsAction()->isCheckable());
  s.window->resultsAction()->trigger();
  EXPECT_FALSE(s.window->resultsShown());
  EXPECT_EQ(inColor(s.window->scene(), 6), magentaBefore);
  s.window->resultsAction()->trigger();
  EXPECT_EQ(inColor(s.window->scene(), 6), magentaBefore + 2);

  // A view: no change to the drawing, none to undo, none in the file. The
  // edit above is the only difference from the file saved before.
  s.doc->SendCommand("Undo\r\r");
  EXPECT_EQ(s.engineDoc->undoDepth(), depth);
  EXPECT_EQ(circle->Color(), other->Color());
  s.engineDoc->saveAs(s.dir.file("after.dxf"));
  EXPECT_EQ(s.dir.read("before.dxf"), s.dir.read("after.dxf"));

  // Colours end with the results: none given, none shown.
  s.doc->ShowResultColors({});
  s.window->sync();
  EXPECT_EQ(inColor(s.window->scene(), 6), magentaBefore);
}

}  // namespace
