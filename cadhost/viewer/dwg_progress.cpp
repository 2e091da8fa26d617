#include "cadhost/viewer/dwg_progress.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <exception>
#include <thread>

#include "cadhost/viewer/cad_window.h"

namespace cadhost::viewer {

std::string convertWithProgress(dwg::Converter& converter,
                                const std::string& path, CadWindow* cad) {
  dwg::CancelToken token;
  std::string dxf;
  std::exception_ptr failure;
  QEventLoop loop;

  const QString text =
      QStringLiteral("正在转换 DWG 图纸 %1 …")
          .arg(QFileInfo(QString::fromStdString(path)).fileName());
  QWidget* over = QApplication::activeWindow();
  QProgressDialog dialog(text, QStringLiteral("取消"), 0, 0, over);
  dialog.setWindowTitle(QStringLiteral("DimMark"));
  // Modal to the window it covers: the CAD window's own cancel stays
  // usable.
  dialog.setWindowModality(over ? Qt::WindowModal : Qt::ApplicationModal);
  dialog.setMinimumDuration(0);
  dialog.setAutoClose(false);
  dialog.setAutoReset(false);
  QObject::connect(&dialog, &QProgressDialog::canceled,
                   [&token] { token.cancel(); });
  QPointer<CadWindow> window(cad);
  if (window) window->showBusy(text, [&token] { token.cancel(); });

  std::thread worker([&] {
    try {
      dxf = converter.convert(path, &token);
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  dialog.show();
  loop.exec();
  worker.join();
  dialog.hide();
  if (window) window->endBusy();
  if (failure) std::rethrow_exception(failure);
  return dxf;
}

}  // namespace cadhost::viewer
