// dimmark: the program with its windows.
#include <QApplication>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QShortcut>
#include <QTimer>
#include <QTranslator>
#include <clocale>
#include <filesystem>
#include <utility>
#include <vector>

#include "app/gauge_port.h"
#include "app/hosts.h"
#include "app/program.h"
#include "app/sheet_window.h"
#include "app/workspace.h"
#include "cadhost/dwg/converter.h"
#include "forms/qt/binder.h"
#include "forms/qt/qt_desktop.h"
#include "reports/inspection_pdf.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  // Qt takes the user's locale for the C library too; numbers in drawings,
  // databases and workbooks are read with strtod and must keep their ".".
  std::setlocale(LC_NUMERIC, "C");
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
                reports::ReportTarget target;
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
                reports::reportFromWindow(program.main, ask);
              };
              if (binderRef)
                binderRef->act(report);
              else
                program.run(report);
            });
          }),
      dir);
  // How deep the program is in its handlers: a gauge's reading waits
  // until none runs (a message box or a pick holds one open).
  int handlerDepth = 0;
  // The menu bar's items of the model, brought up to date after each step.
  std::function<void()> afterStep;
  forms::qt::Binder binder(program.ctx.forms,
                           [&](const std::function<void()>& a) {
                             ++handlerDepth;
                             const bool alive = program.run(a);
                             --handlerDepth;
                             if (alive && handlerDepth == 0 && afterStep)
                               afterStep();
                             return alive;
                           });
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
  // Keys of the panel: the dimension before and after, the first and the
  // last, wherever the focus is in it.
  const std::pair<QKeySequence, const char*> keys[] = {
      {QKeySequence(Qt::Key_PageDown), "ComNext"},
      {QKeySequence(Qt::Key_PageUp), "ComProious"},
      {QKeySequence(Qt::CTRL | Qt::Key_Home), "ComFirst"},
      {QKeySequence(Qt::CTRL | Qt::Key_End), "ComLast"}};
  for (const auto& [key, name] : keys) {
    auto* shortcut = new QShortcut(key, workspace.panelDock());
    shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &binder,
                     [&binder, &program, name = name] {
                       binder.act([&program, name] {
                         forms::Control* button = program.main.find(name);
                         if (button && button->reachable()) button->userClick();
                       });
                     });
  }
  // A gauge on a serial port types into the sample box that has the
  // focus, or where the continuous order stands.
  app::SerialGauge gauge(
      program.main, [&](const std::function<void()>& a) { binder.act(a); },
      [&] { return handlerDepth > 0; },
      [&] {
        QWidget* focus = QApplication::focusWidget();
        for (int i = 0; i < 5; ++i)
          if (focus &&
              focus ==
                  binder.widget(*program.main.Text7[static_cast<size_t>(i)]))
            return i;
        return -1;
      });
  program.frmGauge.port = &gauge;
  // The measurement popup's own items, in the menu bar too. Their texts
  // and states are the model's, read again whenever the menu opens (the
  // model's menus exist once the main window has loaded).
  QMenu* measure = workspace.addProgramMenu(QStringLiteral("测量"));
  std::vector<std::pair<QAction*, const char*>> measureItems;
  for (const char* name : {"mnuImport", "mnuGauge"}) {
    QAction* a = measure->addAction(QString());
    measureItems.emplace_back(a, name);
    QObject::connect(a, &QAction::triggered, &binder,
                     [&binder, &program, name] {
                       binder.act([&program, name] {
                         forms::Control* item = program.main.find(name);
                         if (item && item->Click) item->Click();
                       });
                     });
  }
  auto showMeasureItems = [&] {
    for (auto [a, name] : measureItems) {
      forms::Control* item = program.main.find(name);
      if (!item) continue;
      a->setText(QString::fromStdString(item->caption()));
      // The import needs a numbered drawing in the panel.
      a->setEnabled(item->enabled() &&
                    (std::string(name) != "mnuImport" ||
                     program.main.FrmInput->effectiveEnabled()));
    }
  };
  QObject::connect(measure, &QMenu::aboutToShow, measure, showMeasureItems);
  afterStep = showMeasureItems;
  program.run([&] { program.start(); });
  binder.refresh();
  showMeasureItems();
  if (program.ctx.ended) return 0;

  // `dimmark DRAWING` opens it as 确定 does, once the panel is up.
  const QStringList args = QCoreApplication::arguments();
  if (args.size() > 1) {
    const QString given = QFileInfo(args.at(1)).absoluteFilePath();
    auto* wait = new QTimer(&qapp);
    wait->setInterval(50);
    QObject::connect(wait, &QTimer::timeout, &qapp, [&, wait, given] {
      if (!program.main.loaded() || !program.main.visible() ||
          program.splash.loaded())
        return;
      wait->stop();
      wait->deleteLater();
      binder.act([&, given] {
        auto& f = program.main;
        if (!QFileInfo(given).isFile()) {
          desktop.message("找不到图纸：" + given.toStdString(),
                          forms::Buttons::Ok, "");
          return;
        }
        // The drawing type the dialog would start with, then the file the
        // dialog would give, then 确定.
        f.Com1->userClick();
        program.form2.Option1->userClick();
        desktop.presetOpenFile = given.toStdString();
        program.form2.Command1->userClick();
        desktop.presetOpenFile.reset();
        if (f.Com2->reachable()) f.Com2->userClick();
      });
    });
    wait->start();
  }
  return QApplication::exec();
}
