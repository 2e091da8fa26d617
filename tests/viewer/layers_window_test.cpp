// Drawings whose layers hide everything, in the CAD window: a DWG shows its
// layers as the DWG has them; a drawing whose every layer is off says so
// and shows them when the user asks, as a view; layers really off stay off.
#include <QAction>
#include <QTest>
#include <filesystem>

#include "cadhost/dwg/converter.h"
#include "cadhost/viewer/cad_window.h"
#include "cadhost/viewer/window_host.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::CadWindow;

// Pixels of the drawing view that are not its background.
int ink(CadWindow* w) {
  w->drawingView()->renderNow();
  QImage shot = w->drawingView()->grab().toImage();
  const QRgb paper = shot.pixel(0, 0);
  int n = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) n += shot.pixel(x, y) != paper;
  return n;
}

// A window host showing a copy of the drawing; every question is recorded
// and answered `yes`.
struct Shown {
  TempDir dir;
  cadhost::ApplicationRef host = cadhost::viewer::makeWindowHost();
  CadWindow* window = cadhost::viewer::windowOf(host);
  std::shared_ptr<cadhost::engine::EngineDocument> doc;
  std::vector<QString> asked;
  bool yes = true;

  explicit Shown(const std::string& fixture, const std::string& name) {
    window->dialogs().confirm = [this](const QString& q) {
      asked.push_back(q);
      return yes;
    };
    window->resize(800, 600);
    std::string path = dir.copy(fixture, name);
    doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        host->Open(path));
    host->SetVisible(true);
    window->sync();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);  // the question comes once the drawing shows
  }
};

TEST(CadWindowLayers, EveryLayerOffIsSaidAndYesShowsThem) {
  Shown s(engineFixture("layers_all_off.dxf"), "part.dxf");
  ASSERT_EQ(s.asked.size(), 1u);
  EXPECT_TRUE(s.asked[0].contains(QStringLiteral("“part.dxf”")));
  EXPECT_TRUE(s.asked[0].contains(QStringLiteral("全部关闭或冻结")));
  // The picture has ink, fitted to it, and nothing asks to be saved or
  // taken back.
  EXPECT_GT(ink(s.window), 500);
  EXPECT_FALSE(s.window->modified(*s.doc));
  EXPECT_FALSE(s.window->undoAction()->isEnabled());
  EXPECT_FALSE(s.doc->everyLayerHidden());
  EXPECT_EQ(readBytes(s.doc->path()),
            readBytes(engineFixture("layers_all_off.dxf")));
}

TEST(CadWindowLayers, NoKeepsTheDrawingAsItIs) {
  TempDir dir;
  auto host = cadhost::viewer::makeWindowHost();
  CadWindow* window = cadhost::viewer::windowOf(host);
  int questions = 0;
  window->dialogs().confirm = [&](const QString&) {
    ++questions;
    return false;
  };
  window->resize(800, 600);
  auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
      host->Open(dir.copy(engineFixture("layers_all_off.dxf"), "part.dxf")));
  host->SetVisible(true);
  window->sync();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  QTRY_COMPARE(questions, 1);
  QTest::qWait(50);
  EXPECT_EQ(questions, 1);  // once
  EXPECT_TRUE(doc->everyLayerHidden());
  EXPECT_EQ(ink(window), 0);
  EXPECT_EQ(doc->revision(), 0u);
}

TEST(CadWindowLayers, LayersReallyOffStayOffAndNothingIsAsked) {
  Shown s(engineFixture("layers_some_off.dxf"), "part.dxf");
  EXPECT_TRUE(s.asked.empty());
  EXPECT_GT(ink(s.window), 200);
  // The note on the layer that is off is not drawn, nor counted for the
  // view: the part fills it.
  RecordingCanvas c = drawAll(s.window->scene());
  EXPECT_TRUE(c.texts(QStringLiteral("NOTE")).empty());
  EXPECT_LT(s.window->scene().extents().x1, 200);
  EXPECT_TRUE(s.doc->repairs().empty());
}

// The fixtures of tests/fixtures/dwg through the converter beside the
// programs: each shows ink, with no question asked.
TEST(CadWindowLayers, DwgDrawingsShowTheirInk) {
  cadhost::dwg::Converter converter(
      cadhost::dwg::oneShotSetup(std::filesystem::current_path()));
  for (const char* name : {"sample_2000.dwg", "example_r14.dwg"}) {
    TempDir dir;
    auto host = cadhost::viewer::makeWindowHost();
    auto engine =
        std::dynamic_pointer_cast<cadhost::engine::EngineApplication>(host);
    engine->dwgToDxf = [&](const std::string& p) {
      return converter.convert(p, nullptr);
    };
    CadWindow* window = cadhost::viewer::windowOf(host);
    std::vector<QString> asked;
    window->dialogs().confirm = [&](const QString& q) {
      asked.push_back(q);
      return false;
    };
    window->resize(800, 600);
    auto doc =
        std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(host->Open(
            dir.copy(std::string(DIMMARK_DWG_FIXTURES) + "/" + name, name)));
    host->SetVisible(true);
    window->sync();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QTest::qWait(50);
    EXPECT_TRUE(asked.empty()) << name;
    EXPECT_GT(ink(window), 200) << name;
    // The mend is said in the status line, as the load's other repairs.
    ASSERT_FALSE(doc->repairs().empty()) << name;
    EXPECT_NE(doc->repairs()[0].find("are on in the DWG"), std::string::npos)
        << doc->repairs()[0];
  }
}

}  // namespace
