// dimmark-cli export: the drawing as a PDF or a PNG, headless, through the
// window's own renderer.
#include <QFileInfo>
#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/export.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"
#include "cli/commands.h"
#include "cli/drawing_host.h"

namespace cli {

namespace {

const char* kExportUsage =
    "usage: dimmark-cli export DRAWING (--pdf OUT.pdf | --png OUT.png) "
    "[--width PX] [--paper A4|A3|A2|A1|A0]\n";

// Qt's notes about the session it runs in are no news on a command line.
void quietQtNotes(QtMsgType type, const QMessageLogContext&,
                  const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg ||
      message.startsWith(QLatin1String("QStandardPaths:")))
    return;
  std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}

}  // namespace

PaintingApplication::PaintingApplication() {
  if (QCoreApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "dimmark-cli";
  static char* argv[] = {name, nullptr};
  qInstallMessageHandler(quietQtNotes);
  app_ = std::make_unique<QGuiApplication>(argc, argv);
  // Qt takes the user's locale for the C library too; numbers are read
  // with strtod and must keep their ".".
  std::setlocale(LC_NUMERIC, "C");
}

PaintingApplication::~PaintingApplication() = default;

int exportCommand(const Args& args, std::ostream& out, std::ostream& err) {
  std::string drawing, pdf, png, paper;
  int width = 2000;
  bool widthGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    if (a == "--pdf" || a == "--png" || a == "--paper") {
      std::string& into = a == "--pdf" ? pdf : a == "--png" ? png : paper;
      if (!into.empty() || !value(into)) {
        err << kExportUsage;
        return 2;
      }
    } else if (a == "--width") {
      std::string w;
      if (widthGiven || !value(w)) {
        err << kExportUsage;
        return 2;
      }
      char* end = nullptr;
      long v = std::strtol(w.c_str(), &end, 10);
      if (w.empty() || *end != '\0' || v < 16 || v > 20000) {
        err << "export: --width takes a whole number of pixels from 16 to "
               "20000, not \""
            << w << "\"\n";
        return 2;
      }
      width = static_cast<int>(v);
      widthGiven = true;
    } else if (drawing.empty() && !a.starts_with("--")) {
      drawing = a;
    } else {
      err << kExportUsage;
      return 2;
    }
  }
  if (drawing.empty() || pdf.empty() == png.empty()) {
    err << kExportUsage;
    return 2;
  }
  if (widthGiven && png.empty()) {
    err << "--width is for --png only\n";
    return 2;
  }
  if (!paper.empty() && pdf.empty()) {
    err << "--paper is for --pdf only\n";
    return 2;
  }
  const std::string& target = pdf.empty() ? png : pdf;
  if (samePath(target, drawing)) {
    err << "the output would overwrite the drawing " << drawing << "\n";
    return 2;
  }
  cadhost::viewer::PdfOptions options;
  if (!paper.empty()) {
    bool ok = false;
    options.paper =
        cadhost::viewer::paperByName(QString::fromStdString(paper), &ok);
    if (!ok) {
      err << "export: --paper takes A4, A3, A2, A1 or A0, not \"" << paper
          << "\"\n";
      return 2;
    }
  }

  PaintingApplication painting;
  try {
    auto host = drawingHost();
    auto doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        host->Open(drawing));
    if (!doc) throw cadhost::HostError("cannot read " + drawing);
    cadhost::viewer::FontMetrics metrics;
    cadhost::viewer::Scene scene(metrics);
    scene.build(doc->drawing());
    if (!pdf.empty()) {
      cadhost::viewer::exportPdf(scene, pdf, options);
      out << pdf << "\n";
    } else {
      cadhost::viewer::exportPng(scene, png, width);
      out << png << "\n";
    }
    host->Quit();
  } catch (const std::exception& e) {
    err << e.what() << "\n";
    return 2;
  }
  return 0;
}

}  // namespace cli
