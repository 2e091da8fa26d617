#include "forms/qt/qt_desktop.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QWidget>

namespace forms::qt {

QtDesktop::QtDesktop(std::string appTitle, std::string startDir)
    : appTitle_(std::move(appTitle)), startDir_(std::move(startDir)) {}

Answer QtDesktop::message(const std::string& text, Buttons buttons,
                          const std::string& title) {
  if (beforeModal) beforeModal();
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(QString::fromStdString(title.empty() ? appTitle_ : title));
  box.setText(QString::fromStdString(text));
  if (buttons == Buttons::YesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setIcon(QMessageBox::Question);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }
  if (buttons == Buttons::SaveDiscardCancel) {
    QPushButton* save = box.addButton("保存", QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton("不保存", QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton("取消", QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.setIcon(QMessageBox::Warning);
    box.exec();
    if (box.clickedButton() == save) return Answer::Save;
    if (box.clickedButton() == discard) return Answer::Discard;
    return Answer::Cancel;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return Answer::Ok;
}

QString QtDesktop::qtFilter(const std::string& filter) {
  QStringList parts = QString::fromStdString(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      QString t = p.trimmed();
      for (const QString& v : {t, t.toLower(), t.toUpper()})
        if (!patterns.contains(v)) patterns << v;
    }
    out << QString("%1 (%2)").arg(parts[i], patterns.join(' '));
  }
  if (parts.size() == 1 && !parts[0].isEmpty()) out << parts[0];
  return out.join(";;");
}

std::optional<std::string> QtDesktop::openFile(const OpenFileRequest& req) {
  if (beforeOpenFile) beforeOpenFile(req);
  if (presetOpenFile) {
    std::optional<std::string> given;
    given.swap(presetOpenFile);
    return given;
  }
  if (beforeModal) beforeModal();
  QString dir = QString::fromStdString(!req.initialDir.empty() ? req.initialDir
                                                               : startDir_);
  if (!req.fileName.empty()) {
    QFileInfo fi(QString::fromStdString(req.fileName));
    if (fi.dir().exists()) dir = fi.absoluteFilePath();
  }
  QString chosen = QFileDialog::getOpenFileName(
      QApplication::activeWindow(), QString::fromStdString(req.title), dir,
      qtFilter(req.filter));
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.toStdString();
}

bool QtDesktop::activateWindow(const std::string& title) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->windowTitle() == QString::fromStdString(title)) {
      w->raise();
      w->activateWindow();
      return true;
    }
  }
  return false;
}

bool QtDesktop::startProgram(const std::string& path) {
  return QProcess::startDetached(QString::fromStdString(path), {});
}

void QtDesktop::beep() { QApplication::beep(); }

std::optional<std::string> QtDesktop::setting(const std::string& key) {
  const QVariant v = QSettings().value(QString::fromStdString(key));
  if (!v.isValid()) return std::nullopt;
  return v.toString().toStdString();
}

void QtDesktop::setSetting(const std::string& key, const std::string& value) {
  QSettings().setValue(QString::fromStdString(key),
                       QString::fromStdString(value));
}

}  // namespace forms::qt
