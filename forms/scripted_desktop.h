// A desktop without windows: it records every message and answers from a
// queue. Tests and the command-line tool use it; the queue also feeds the
// picks of the CAD host (see ScriptedPicks in the app).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "forms/desktop.h"

namespace forms {

struct QueuedAnswer {
  enum class Type { Ok, Yes, No, File, Cancel, Point, Escape, Save, Discard };
  Type type = Type::Ok;
  std::string path;     // File
  double x = 0, y = 0;  // Point
  std::string describe() const;

  static QueuedAnswer of(Type t) {
    QueuedAnswer a;
    a.type = t;
    return a;
  }
  static QueuedAnswer file(std::string p) {
    QueuedAnswer a = of(Type::File);
    a.path = std::move(p);
    return a;
  }
  static QueuedAnswer point(double px, double py) {
    QueuedAnswer a = of(Type::Point);
    a.x = px;
    a.y = py;
    return a;
  }
};

// A question that found no fitting answer. Not an std::exception, so
// handlers that skip failed steps let it pass.
struct Unanswered {
  std::string question;
};

class AnswerQueue {
 public:
  void push(QueuedAnswer a) { items_.push_back(std::move(a)); }
  bool empty() const { return items_.empty(); }
  const QueuedAnswer* peek() const {
    return items_.empty() ? nullptr : &items_.front();
  }
  QueuedAnswer pop();
  size_t size() const { return items_.size(); }

 private:
  std::deque<QueuedAnswer> items_;
};

struct MessageRecord {
  std::string text;
  std::string title;
  Buttons buttons = Buttons::Ok;
  Answer answer = Answer::Ok;
};

class ScriptedDesktop : public Desktop {
 public:
  // Strict: a question without a fitting queued answer raises Unanswered.
  // Lenient: Yes/No is answered No, a file dialog is cancelled (or returns
  // defaultFile when set).
  enum class Policy { Strict, Lenient };

  explicit ScriptedDesktop(AnswerQueue& queue, Policy policy = Policy::Strict)
      : queue_(queue), policy_(policy) {}

  Answer message(const std::string& text, Buttons buttons,
                 const std::string& title) override;
  std::optional<std::string> openFile(const OpenFileRequest& req) override;
  bool activateWindow(const std::string& title) override;
  bool startProgram(const std::string& path) override;
  void beep() override { ++beeps_; }
  // Kept in memory: a scripted run starts with none.
  std::optional<std::string> setting(const std::string& key) override;
  void setSetting(const std::string& key, const std::string& value) override;

  // Bells rung since the desktop was made.
  int beeps() const { return beeps_; }

  // Messages since the last takeMessages().
  std::vector<MessageRecord> takeMessages();
  const std::vector<MessageRecord>& allMessages() const { return all_; }
  const std::vector<OpenFileRequest>& dialogs() const { return dialogs_; }
  const std::vector<std::string>& activations() const { return activations_; }
  const std::vector<std::string>& programs() const { return programs_; }

  // Windows that activateWindow() finds.
  std::function<bool(const std::string& title)> windowExists;
  std::optional<std::string> defaultFile;
  // Where messages are echoed as they appear (the CLI's stderr), if set.
  std::ostream* echo = nullptr;

 private:
  AnswerQueue& queue_;
  Policy policy_;
  std::vector<MessageRecord> all_;
  size_t taken_ = 0;
  std::vector<OpenFileRequest> dialogs_;
  std::vector<std::string> activations_;
  std::vector<std::string> programs_;
  int beeps_ = 0;
  std::map<std::string, std::string> settings_;
};

}  // namespace forms
