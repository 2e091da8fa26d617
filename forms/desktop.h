// What handlers ask of the desktop: message boxes, the open-file dialog,
// bringing a window to the front, starting a program, the bell, and the
// few choices the program keeps between runs.
#pragma once

#include <optional>
#include <string>

namespace forms {

// SaveDiscardCancel asks about unsaved changes: 保存 / 不保存 / 取消.
enum class Buttons { Ok, YesNo, SaveDiscardCancel };
enum class Answer { Ok, Yes, No, Save, Discard, Cancel };

struct OpenFileRequest {
  std::string filter;  // "Description|pattern;pattern|..."
  std::string title;
  std::string fileName;  // the dialog's current FileName
  std::string initialDir;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  // An empty title means the program's own title.
  virtual Answer message(const std::string& text, Buttons buttons,
                         const std::string& title) = 0;
  // The chosen path, or nothing when the user cancels.
  virtual std::optional<std::string> openFile(const OpenFileRequest& req) = 0;
  // Brings the window with this title to the front; false when none.
  virtual bool activateWindow(const std::string& title) = 0;
  virtual bool startProgram(const std::string& path) = 0;
  // The desktop's bell: a sound that needs no answer.
  virtual void beep() = 0;
  // A choice kept between runs, by key ("measure/order"); nothing when
  // none was kept.
  virtual std::optional<std::string> setting(const std::string& key) = 0;
  virtual void setSetting(const std::string& key, const std::string& value) = 0;
};

const char* ButtonsName(Buttons b);
const char* AnswerName(Answer a);

}  // namespace forms
