// The desktop with real dialogs.
#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "forms/desktop.h"

namespace forms::qt {

class QtDesktop : public Desktop {
 public:
  // appTitle is the title of messages that give none; startDir is where
  // the open-file dialog starts when it has no file name yet.
  QtDesktop(std::string appTitle, std::string startDir);

  Answer message(const std::string& text, Buttons buttons,
                 const std::string& title) override;
  std::optional<std::string> openFile(const OpenFileRequest& req) override;
  bool activateWindow(const std::string& title) override;
  bool startProgram(const std::string& path) override;
  void beep() override;
  // In the program's QSettings, beside the CAD window's choices.
  std::optional<std::string> setting(const std::string& key) override;
  void setSetting(const std::string& key, const std::string& value) override;

  // Called before a modal dialog opens, so the windows show the state the
  // running handler has reached.
  std::function<void()> beforeModal;
  // Called as the open-file dialog opens, before the user chooses: the
  // program may prepare for what the dialog is for.
  std::function<void(const OpenFileRequest&)> beforeOpenFile;

  // The file the next open-file request is answered with, without a
  // dialog: a drawing named on the command line.
  std::optional<std::string> presetOpenFile;

  // "Drawings|*.DXF;*.DWG|All|*.*" as the Qt dialog writes it, each
  // pattern in both cases.
  static QString qtFilter(const std::string& filter);

 private:
  std::string appTitle_;
  std::string startDir_;
};

}  // namespace forms::qt
