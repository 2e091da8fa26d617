// DWG drawings in the CAD window: saved as DXF beside the DWG, never over
// it; and the conversion shown while it runs, with a cancel that stops it.
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <fstream>

#include "cadhost/viewer/cad_window.h"
#include "cadhost/viewer/dwg_progress.h"
#include "cadhost/viewer/window_host.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::CadWindow;

TEST(CadWindowDwg, ADrawingFromDwgIsSavedAsDxfBesideIt) {
  TempDir dir;
  std::string dwg = dir.file("零件 7.dwg");
  std::ofstream(dwg, std::ios::binary) << "AC1032 drawing";
  auto host = cadhost::viewer::makeWindowHost();
  auto engine =
      std::dynamic_pointer_cast<cadhost::engine::EngineApplication>(host);
  std::string dxf = readBytes(viewerFixture("part.dxf"));
  engine->dwgToDxf = [&](const std::string&) { return dxf; };
  CadWindow* window = cadhost::viewer::windowOf(host);
  auto doc = host->Open(dwg);
  host->SetVisible(true);
  window->sync();
  window->dialogs().confirm = [](const QString& q) {
    ADD_FAILURE() << "asked to write over " << q.toStdString();
    return true;
  };

  // "保存" asks where, proposing the DXF beside the DWG; a cancel writes
  // nothing.
  QString proposed;
  std::optional<QString> answer;
  window->dialogs().saveFile = [&](const QString&, const QString& filter,
                                   const QString& path) {
    EXPECT_TRUE(filter.contains(QStringLiteral("*.dxf")));
    proposed = path;
    return answer;
  };
  EXPECT_FALSE(window->save());
  EXPECT_EQ(proposed, QString::fromStdString(dir.file("零件 7.dxf")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("零件 7.dxf")));

  answer = proposed;
  doc->GetModelSpace().AddCircle({10, 10, 0}, 3);
  EXPECT_TRUE(window->save());
  EXPECT_EQ(readBytes(dwg), "AC1032 drawing");
  auto saved =
      cadhost::engine::makeEmbeddedHost()->Open(dir.file("零件 7.dxf"));
  EXPECT_EQ(saved->GetModelSpace().Count(), doc->GetModelSpace().Count());
  // From now on the drawing is that DXF's.
  window->sync();
  EXPECT_EQ(window->windowTitle(), QStringLiteral("DimMark CAD - 零件 7.dxf"));
}

TEST(CadWindowDwg, TheConversionShowsAndItsCancelStopsIt) {
  TempDir dir;
  std::string dwg = dir.file("part.dwg");
  std::ofstream(dwg, std::ios::binary) << "AC1032 drawing";
  cadhost::dwg::ConverterSetup setup;
  setup.command = {"/usr/bin/python3", DIMMARK_FAKE_CONVERTER, "hang"};
  setup.idle = std::chrono::milliseconds(0);
  cadhost::dwg::Converter converter(setup);
  auto host = cadhost::viewer::makeWindowHost();
  CadWindow* window = cadhost::viewer::windowOf(host);
  window->show();

  bool dialogShown = false;
  QTimer::singleShot(300, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QProgressDialog*>(w))
        dialogShown = d->isVisible() && d->labelText().contains("part.dwg");
    EXPECT_TRUE(window->busy());
    // The cancel button of the CAD window's status line.
    for (auto* b : window->statusBar()->findChildren<QPushButton*>())
      if (b->text() == QStringLiteral("取消")) b->click();
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(cadhost::viewer::convertWithProgress(converter, dwg, window),
               cadhost::Cancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_TRUE(dialogShown);
  EXPECT_FALSE(window->busy());
  EXPECT_FALSE(converter.running());
}

}  // namespace
