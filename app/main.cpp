// dimmark: the program with its windows.
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QTranslator>
#include <filesystem>

#include "app/hosts.h"
#include "app/inspection_pdf.h"
#include "app/program.h"
#include "app/sheet_window.h"
#include "app/workspace.h"
#include "cadhost/dwg/converter.h"
#include "forms/qt/binder.h"
#include "forms/qt/qt_desktop.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName("DimMark");
  // Qt's own dialogs and buttons speak the program's language.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);
  for (const char* family : {"WenQuanYi Micro Hei", "Noto Sans CJK SC"}) {
    if (QFontDatabase::families().contains(family)) {
      QFont f(family);
      f.setPointSize(9);
      QApplication::setFont(f);
      break;
    }
  }
  std::filesystem::path dir =
      QCoreApplication::applicationDirPath().toStdString();
  forms::qt::QtDesktop desktop("DimMark", (dir / "samples").string());
  // One converter for DWG drawings, started as the user heads for a
  // drawing so that it is warm by the time one opens.
  cadhost::dwg::Converter dwgConverter(cadhost::dwg::warmSetup(dir));
  desktop.beforeOpenFile = [&](const forms::OpenFileRequest& req) {
    QString filter = QString::fromStdString(req.filter).toLower();
    if (filter.contains(QStringLiteral(".dwg"))) dwgConverter.prepare();
  };
  // One window holds the drawing, the panel and the workbooks.
  app::Workspace workspace;
  // The sheet windows report their closing through the binder, which is
  // made after the program.
  forms::qt::Binder* binderRef = nullptr;
  app::Program program(
      desktop,
      app::windowCadHost(dwgConverter,
                         [&](QMainWindow* w) { workspace.adoptDrawing(w); }),
      app::windowSheetHost(
          [&](const std::function<void()>& a) {
            if (binderRef)
              binderRef->act(a);
            else
              a();
          },
          [&](app::SheetWindow* w) {
            workspace.adoptSheets(w);
            // The inspection report beside the workbooks it sums up.
            w->addReportAction(QStringLiteral("检验报告 PDF…"), [&, w] {
              // The paper goes with the file type chosen: A3 first.
              auto ask = [w](const std::string& proposed) {
                const char* papers[] = {"A3", "A4", "A2", "A1", "A0"};
                QStringList filters;
                for (const char* p : papers)
                  filters << QStringLiteral("PDF，%1 图纸 (*.pdf)")
                                 .arg(QLatin1String(p));
                QString chosen = filters.front();
                QString path = QFileDialog::getSaveFileName(
                    w, QStringLiteral("保存检验报告"),
                    QString::fromStdString(proposed),
                    filters.join(QStringLiteral(";;")), &chosen);
                app::ReportTarget target;
                if (path.isEmpty()) return target;
                if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
                  path += QLatin1String(".pdf");
                target.path = path.toStdString();
                const auto at = filters.indexOf(chosen);
                bool ok = false;
                target.options.paper = cadhost::viewer::paperByName(
                    QLatin1String(papers[at < 0 ? 0 : at]), &ok);
                return target;
              };
              auto report = [&, ask] {
                app::reportFromWindow(program.main, ask);
              };
              if (binderRef)
                binderRef->act(report);
              else
                program.run(report);
            });
          }),
      dir);
  forms::qt::Binder binder(
      program.ctx.forms,
      [&](const std::function<void()>& a) { return program.run(a); });
  binderRef = &binder;
  binder.placeWindow = [&](forms::Form& form, QWidget* window) {
    if (&form != &program.main) return false;
    workspace.adoptPanel(window);
    return true;
  };
  desktop.beforeModal = [&] { binder.refresh(); };
  program.frmAbout.launch = [](const std::string& tool) {
    return QProcess::startDetached(QString::fromStdString(tool), {});
  };
  program.run([&] { program.start(); });
  binder.refresh();
  if (program.ctx.ended) return 0;
  return QApplication::exec();
}
