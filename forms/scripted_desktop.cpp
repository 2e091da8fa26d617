#include "forms/scripted_desktop.h"

#include "forms/basic.h"

namespace forms {

std::string QueuedAnswer::describe() const {
  switch (type) {
    case Type::Ok:
      return "ok";
    case Type::Yes:
      return "yes";
    case Type::No:
      return "no";
    case Type::File:
      return "file " + path;
    case Type::Cancel:
      return "cancel";
    case Type::Point:
      return "point " + DoubleText(x) + " " + DoubleText(y);
    case Type::Escape:
      return "escape";
    case Type::Save:
      return "save";
    case Type::Discard:
      return "discard";
  }
  return "?";
}

QueuedAnswer AnswerQueue::pop() {
  QueuedAnswer a = std::move(items_.front());
  items_.pop_front();
  return a;
}

Answer ScriptedDesktop::message(const std::string& text, Buttons buttons,
                                const std::string& title) {
  using T = QueuedAnswer::Type;
  MessageRecord rec{text, title, buttons, Answer::Ok};
  const QueuedAnswer* next = queue_.peek();
  if (buttons == Buttons::Ok) {
    // A message with one button asks nothing; a queued "ok" is taken.
    if (next && next->type == T::Ok) queue_.pop();
    rec.answer = Answer::Ok;
  } else if (buttons == Buttons::YesNo && next &&
             (next->type == T::Yes || next->type == T::No)) {
    rec.answer = queue_.pop().type == T::Yes ? Answer::Yes : Answer::No;
  } else if (buttons == Buttons::SaveDiscardCancel && next &&
             (next->type == T::Save || next->type == T::Discard ||
              next->type == T::Cancel)) {
    const T t = queue_.pop().type;
    rec.answer = t == T::Save      ? Answer::Save
                 : t == T::Discard ? Answer::Discard
                                   : Answer::Cancel;
  } else if (policy_ == Policy::Lenient) {
    // Nobody to ask: keep what is there rather than lose it.
    rec.answer =
        buttons == Buttons::SaveDiscardCancel ? Answer::Cancel : Answer::No;
  } else {
    throw Unanswered{
        std::string(buttons == Buttons::YesNo ? "yes/no"
                                              : "save/discard/cancel") +
        " question \"" + text + "\"" +
        (next ? " (next answer is " + next->describe() + ")" : "")};
  }
  if (echo) {
    *echo << (title.empty() ? "" : title + ": ") << text;
    if (buttons != Buttons::Ok) *echo << " [" << AnswerName(rec.answer) << "]";
    *echo << "\n";
  }
  all_.push_back(rec);
  return rec.answer;
}

std::optional<std::string> ScriptedDesktop::openFile(
    const OpenFileRequest& req) {
  using T = QueuedAnswer::Type;
  dialogs_.push_back(req);
  const QueuedAnswer* next = queue_.peek();
  if (next && next->type == T::File) return queue_.pop().path;
  if (next && next->type == T::Cancel) {
    queue_.pop();
    return std::nullopt;
  }
  if (policy_ == Policy::Lenient) return defaultFile;
  throw Unanswered{"file dialog \"" + req.title + "\"" +
                   (next ? " (next answer is " + next->describe() + ")" : "")};
}

bool ScriptedDesktop::activateWindow(const std::string& title) {
  activations_.push_back(title);
  return windowExists ? windowExists(title) : true;
}

bool ScriptedDesktop::startProgram(const std::string& path) {
  programs_.push_back(path);
  return true;
}

std::optional<std::string> ScriptedDesktop::setting(const std::string& key) {
  auto it = settings_.find(key);
  if (it == settings_.end()) return std::nullopt;
  return it->second;
}

void ScriptedDesktop::setSetting(const std::string& key,
                                 const std::string& value) {
  settings_[key] = value;
}

std::vector<MessageRecord> ScriptedDesktop::takeMessages() {
  std::vector<MessageRecord> out(all_.begin() + static_cast<long>(taken_),
                                 all_.end());
  taken_ = all_.size();
  return out;
}

}  // namespace forms
