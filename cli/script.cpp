#include "cli/script.h"

#include <fstream>
#include <functional>
#include <sstream>

#include "app/program.h"
#include "cli/json.h"
#include "cli/state.h"
#include "forms/basic.h"
#include "forms/scripted_desktop.h"
#include "intake/dimtable.h"
#include "reports/xlsx/cellref.h"
#include "reports/xlsx/workbook.h"

namespace cli {
namespace {

// A line the script cannot run: exit 2.
struct BadLine {
  std::string message;
};

// Picks answered from the script's queue.
class ScriptedPicks : public cadhost::PickSource {
 public:
  // Shares the queue: the host may outlive the script's run.
  explicit ScriptedPicks(std::shared_ptr<forms::AnswerQueue> q)
      : queue_(std::move(q)) {}
  // Called with the prompt each time a pick is asked for, before it is
  // answered: lets a script see what a run has stored at that moment.
  std::function<void(const std::string&)> onAsk;
  cadhost::Point pickPoint(const std::string& prompt) override {
    asked(prompt);
    return take("point pick \"" + prompt + "\"");
  }
  cadhost::Point pickCorner(const cadhost::Point&,
                            const std::string& prompt) override {
    asked(prompt);
    return take("corner pick \"" + prompt + "\"");
  }

 private:
  void asked(const std::string& prompt) {
    if (onAsk) onAsk(prompt);
  }
  cadhost::Point take(const std::string& question) {
    using T = forms::QueuedAnswer::Type;
    const forms::QueuedAnswer* next = queue_->peek();
    if (next && next->type == T::Point) {
      auto a = queue_->pop();
      return {a.x, a.y, 0};
    }
    if (next && next->type == T::Escape) {
      queue_->pop();
      throw cadhost::Cancelled("pick cancelled");
    }
    throw forms::Unanswered{
        question + (next ? " (next answer is " + next->describe() + ")" : "")};
  }
  std::shared_ptr<forms::AnswerQueue> queue_;
};

double number(const std::string& word) {
  auto v = forms::ParseNumber(word);
  if (!v) throw BadLine{"not a number: " + word};
  return *v;
}

// FORM.CONTROL[.PROPERTY]; CONTROL may carry an index: Text7(0).
struct Address {
  std::string form, control, property;
  int index = -1;
};

Address parseAddress(const std::string& word, bool withProperty) {
  Address a;
  auto dot = word.find('.');
  if (dot == std::string::npos) throw BadLine{"expected FORM.CONTROL: " + word};
  a.form = word.substr(0, dot);
  std::string rest = word.substr(dot + 1);
  if (withProperty) {
    auto last = rest.rfind('.');
    if (last == std::string::npos)
      throw BadLine{"expected FORM.CONTROL.PROPERTY: " + word};
    a.property = rest.substr(last + 1);
    rest = rest.substr(0, last);
  }
  auto paren = rest.find('(');
  if (paren != std::string::npos) {
    if (rest.back() != ')') throw BadLine{"bad control index: " + word};
    a.index = static_cast<int>(
        number(rest.substr(paren + 1, rest.size() - paren - 2)));
    rest = rest.substr(0, paren);
  }
  a.control = rest;
  return a;
}

class Runner {
 public:
  Runner(const std::filesystem::path& programDir, const ScriptHosts& hosts,
         std::ostream& out, std::ostream& err)
      : hosts_(hosts),
        out_(out),
        err_(err),
        queue_(std::make_shared<forms::AnswerQueue>()),
        desktop_(*queue_) {
    picks_ = std::make_shared<ScriptedPicks>(queue_);
    auto cad = [this](const std::string& className) {
      if (!hosts_.cad) throw cadhost::HostError("no CAD host");
      createdHost_ = hosts_.cad(className, picks_);
      return createdHost_;
    };
    program_ = std::make_unique<app::Program>(desktop_, cad, hosts_.sheets,
                                              programDir);
  }

  // The trace writes to this runner's stream; picks asked once the script
  // is over go untraced.
  ~Runner() { picks_->onAsk = nullptr; }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  void runLine(const std::vector<std::string>& w) {
    const std::string& cmd = w[0];
    if (cmd == "answer") return answer(w);
    startIfNeeded();
    if (cmd == "dump") return dump(w);
    if (program_->ctx.ended) throw BadLine{"the program has ended"};
    for (forms::Form* f : program_->ctx.forms.all()) f->clearLastPopup();
    if (cmd == "click") {
      need(w, 2);
      forms::Control& c = control(parseAddress(w[1], false));
      act(
          c, [&] { return c.userClick(); }, "click");
    } else if (cmd == "set") {
      need(w, w.size() >= 2 && w[1] == "cell" ? 5 : 3);
      set(w);
    } else if (cmd == "rightclick") {
      need(w, 4);
      forms::Control& c = control(parseAddress(w[1], false));
      float x = static_cast<float>(number(w[2]));
      float y = static_cast<float>(number(w[3]));
      act(
          c, [&] { return c.userMouseDown(forms::mouse::kRight, 0, x, y); },
          "right click");
    } else if (cmd == "leftclick") {
      need(w, 4);
      forms::Control& c = control(parseAddress(w[1], false));
      float x = static_cast<float>(number(w[2]));
      float y = static_cast<float>(number(w[3]));
      act(
          c, [&] { return c.userMouseDown(forms::mouse::kLeft, 0, x, y); },
          "left click");
    } else if (cmd == "key") {
      need(w, 3);
      forms::Control& c = control(parseAddress(w[1], false));
      int code = static_cast<int>(number(w[2]));
      act(
          c,
          [&] {
            if (!c.reachable()) return false;
            c.userKeyPress(code);
            return true;
          },
          "key press");
    } else if (cmd == "leave") {
      need(w, 2);
      forms::Control& c = control(parseAddress(w[1], false));
      act(
          c, [&] { return c.userLeave(); }, "leaving");
    } else if (cmd == "tick") {
      tick(w);
    } else if (cmd == "save") {
      save(w);
    } else if (cmd == "undo") {
      undo(w);
    } else if (cmd == "current") {
      current(w);
    } else if (cmd == "trace") {
      trace(w);
    } else {
      throw BadLine{"unknown command: " + cmd};
    }
  }

  void finish() { startIfNeeded(); }

 private:
  static void need(const std::vector<std::string>& w, size_t n) {
    if (w.size() < n) throw BadLine{"too few words for " + w[0]};
    if (w.size() > n) throw BadLine{"too many words for " + w[0]};
  }

  // The program starts at the first line that is not an answer, so answers
  // for the start-up's questions can be queued ahead.
  void startIfNeeded() {
    if (started_) return;
    started_ = true;
    program_->run([&] { program_->start(); });
    program_->run([&] {
      if (program_->splash.loaded()) program_->splash.Timer1->tick();
    });
  }

  template <typename F>
  void act(forms::Control& c, F&& f, const char* what) {
    bool done = true;
    program_->run([&] { done = f(); });
    if (!done)
      err_ << "note: " << c.form()->name() << "." << c.displayName()
           << " cannot be reached (disabled or hidden): the " << what
           << " does nothing\n";
  }

  forms::Form& form(const std::string& name) {
    forms::Form* f = program_->ctx.forms.find(name);
    if (!f) throw BadLine{"unknown form: " + name};
    return *f;
  }

  forms::Control& control(const Address& a) {
    forms::Form& f = form(a.form);
    forms::Control* c = f.find(a.control, a.index);
    if (!c) {
      // Forms not loaded have no controls yet.
      if (!f.loaded())
        throw BadLine{"form " + a.form + " is not loaded: " + a.control};
      throw BadLine{"unknown control: " + a.form + "." + a.control +
                    (a.index >= 0 ? "(" + std::to_string(a.index) + ")" : "")};
    }
    return *c;
  }

  // BOOK [SHEET!]A1: the workbook by its name, the cell of the named or
  // the active sheet.
  struct CellAt {
    std::shared_ptr<reports::embedded::EmbeddedWorkbook> book;
    int sheet = 1;
    int row = 0, column = 0;
    std::string name;
  };
  CellAt cellAt(const std::string& bookName, const std::string& address) {
    CellAt at;
    at.book = hosts_.workbook ? hosts_.workbook(bookName) : nullptr;
    if (!at.book) throw BadLine{"no workbook " + bookName + " is open"};
    std::string cell = address;
    at.sheet = at.book->activeIndex();
    if (auto bang = address.rfind('!'); bang != std::string::npos) {
      const std::string sheetName = address.substr(0, bang);
      cell = address.substr(bang + 1);
      at.sheet = 0;
      for (int i = 1; i <= at.book->worksheetCount(); ++i)
        if (at.book->worksheetName(i) == sheetName) at.sheet = i;
      if (at.sheet == 0) throw BadLine{bookName + " has no sheet " + sheetName};
    }
    auto ref = xlsx::parseCellRef(cell);
    if (!ref) throw BadLine{"not a cell: " + address};
    at.row = ref->row;
    at.column = ref->column;
    at.name = at.book->worksheetName(at.sheet) + "!" + cell;
    return at;
  }

  void dumpCell(const std::string& bookName, const std::string& address,
                Json& j) {
    const CellAt at = cellAt(bookName, address);
    const xlsx::Sheet& sheet = at.book->sheetContent(at.sheet);
    j.beginObject().field("workbook", bookName).field("cell", at.name);
    j.key("value");
    // The value the program computes, formulas included.
    const xlsx::Computed v = sheet.computed(at.row, at.column);
    if (const auto* d = std::get_if<double>(&v))
      j.value(*d);
    else if (const auto* t = std::get_if<std::string>(&v))
      j.value(*t);
    else if (const auto* b = std::get_if<bool>(&v))
      j.value(*b);
    else if (const auto* e = std::get_if<xlsx::ErrorValue>(&v))
      j.value(xlsx::errorText(*e));
    else
      j.null();
    j.field("text", sheet.displayText(at.row, at.column));
    const std::string formula = sheet.formula(at.row, at.column);
    if (!formula.empty()) j.field("formula", "=" + formula);
    j.endObject();
  }

  // Typing into a cell of the sheet window.
  void typeCell(const std::string& bookName, const std::string& address,
                const std::string& text) {
    const CellAt at = cellAt(bookName, address);
    program_->run([&] {
      try {
        at.book->typeCell(at.sheet, at.row, at.column, text);
      } catch (const reports::SheetError& e) {
        err_ << "note: " << at.name << ": " << e.what() << "\n";
      }
    });
  }

  void set(const std::vector<std::string>& w) {
    if (w[1] == "cell") return typeCell(w[2], w[3], w[4]);
    Address a = parseAddress(w[1], true);
    forms::Control& c = control(a);
    const std::string& v = w[2];
    using forms::Kind;
    if (a.property == "Text" &&
        (c.kind() == Kind::TextBox || c.kind() == Kind::ComboBox)) {
      act(
          c, [&] { return c.userType(v); }, "typing");
    } else if (a.property == "ListIndex" && c.kind() == Kind::ComboBox) {
      int i = static_cast<int>(number(v));
      if (i < -1 || i >= c.listCount())
        throw BadLine{"no list entry " + v + " in " + w[1]};
      act(
          c, [&] { return c.userSelect(i); }, "selection");
    } else if (a.property == "Value" &&
               (c.kind() == Kind::CheckBox || c.kind() == Kind::OptionButton)) {
      int i = static_cast<int>(number(v));
      if (v == "True" || v == "true") i = 1;
      act(
          c, [&] { return c.userSetValue(i); }, "setting");
    } else {
      throw BadLine{"unknown property: " + w[1]};
    }
  }

  void tick(const std::vector<std::string>& w) {
    if (w.size() < 2 || w.size() > 3) throw BadLine{"tick FORM.TIMER [N]"};
    forms::Control& c = control(parseAddress(w[1], false));
    if (c.kind() != forms::Kind::Timer) throw BadLine{w[1] + " is not a timer"};
    long n = w.size() == 3 ? static_cast<long>(number(w[2])) : 1;
    for (long i = 0; i < n; ++i) {
      if (!c.form()->loaded() || !c.enabled() || c.interval() <= 0) {
        err_ << "note: " << w[1] << " is not running: the tick does nothing\n";
        return;
      }
      if (!program_->run([&] { c.tick(); })) return;
    }
  }

  void answer(const std::vector<std::string>& w) {
    using T = forms::QueuedAnswer::Type;
    if (w.size() < 2) throw BadLine{"answer what?"};
    forms::QueuedAnswer a;
    const std::string& k = w[1];
    if (k == "ok" || k == "yes" || k == "no" || k == "cancel" ||
        k == "escape" || k == "save" || k == "discard") {
      need(w, 2);
      a.type = k == "ok"        ? T::Ok
               : k == "yes"     ? T::Yes
               : k == "no"      ? T::No
               : k == "cancel"  ? T::Cancel
               : k == "save"    ? T::Save
               : k == "discard" ? T::Discard
                                : T::Escape;
    } else if (k == "file") {
      need(w, 3);
      a.type = T::File;
      a.path = w[2];
    } else if (k == "point") {
      need(w, 4);
      a.type = T::Point;
      a.x = number(w[2]);
      a.y = number(w[3]);
    } else {
      throw BadLine{"unknown answer: " + k};
    }
    queue_->push(a);
  }

  void dump(const std::vector<std::string>& w) {
    need(w, w.size() >= 2 && w[1] == "cell"   ? 4
            : w.size() >= 2 && w[1] == "file" ? 3
                                              : 2);
    Json j;
    const std::string& what = w[1];
    if (what == "messages") {
      j.beginObject().key("messages").beginArray();
      for (const auto& m : desktop_.takeMessages()) {
        j.beginObject()
            .field("text", m.text)
            .field("title", m.title)
            .field("buttons", forms::ButtonsName(m.buttons))
            .field("answer", forms::AnswerName(m.answer))
            .endObject();
      }
      j.endArray().endObject();
    } else if (what == "state") {
      dumpState(*program_, hostState(), j);
    } else if (what == "cell") {
      dumpCell(w[2], w[3], j);
    } else if (what == "marks") {
      dumpMarks(program_->main, j);
    } else if (what == "results") {
      dumpResults(program_->main, j);
    } else if (what == "file") {
      // A data file the program wrote, as bytes (CR LF shows as \r\n).
      std::ifstream in(w[2], std::ios::binary);
      if (!in) throw BadLine{"dump file: cannot read " + w[2]};
      std::string text((std::istreambuf_iterator<char>(in)), {});
      j.beginObject().field("file", w[2]).field("text", text).endObject();
    } else if (what.find('.') == std::string::npos) {
      dumpForm(form(what), j);
    } else {
      dumpControl(control(parseAddress(what, false)), j);
    }
    out_ << j.str() << "\n";
  }

  std::string hostState() const {
    if (!createdHost_) return "none";
    try {
      (void)createdHost_->Caption();
      return "running";
    } catch (const std::exception&) {
      return "quit";
    }
  }

  void save(const std::vector<std::string>& w) {
    if (w.size() >= 2 && w[1] == "drawing") {
      need(w, 3);
      if (!program_->ctx.cadDoc) throw BadLine{"no drawing is open"};
      if (!hosts_.saveDrawing) throw BadLine{"the CAD host cannot save"};
      hosts_.saveDrawing(*program_->ctx.cadDoc, w[2]);
    } else if (w.size() >= 2 && w[1] == "workbook") {
      need(w, 4);
      if (!hosts_.saveWorkbook)
        throw BadLine{"the spreadsheet host cannot save"};
      hosts_.saveWorkbook(w[2], w[3]);
    } else {
      throw BadLine{"save drawing PATH | save workbook NAME PATH"};
    }
  }

  // Ctrl+Z in the CAD window.
  void undo(const std::vector<std::string>& w) {
    if (w.size() != 2 || w[1] != "drawing") throw BadLine{"undo drawing"};
    if (!program_->ctx.cadDoc) throw BadLine{"no drawing is open"};
    if (!hosts_.undoDrawing) throw BadLine{"the CAD host cannot undo"};
    hosts_.undoDrawing(*program_->ctx.cadDoc);
  }

  // The current layer or colour, chosen in the CAD window.
  void current(const std::vector<std::string>& w) {
    if (w.size() != 3 || (w[1] != "layer" && w[1] != "colour"))
      throw BadLine{"current layer NAME | current colour N"};
    if (!program_->ctx.cadDoc) throw BadLine{"no drawing is open"};
    if (!hosts_.setCurrent) throw BadLine{"the CAD host has no current layer"};
    hosts_.setCurrent(*program_->ctx.cadDoc, w[1], w[2]);
  }

  // From here on, each pick asked for prints the prompt and the numbers
  // of the rows the drawing's table holds at that moment.
  void trace(const std::vector<std::string>& w) {
    if (w.size() != 2 || w[1] != "picks") throw BadLine{"trace picks"};
    picks_->onAsk = [this](const std::string& prompt) {
      Json j;
      j.beginObject().field("pick", prompt).key("rows");
      try {
        std::vector<double> numbers = storedNumbers();
        j.beginArray();
        for (double n : numbers) j.value(n);
        j.endArray();
      } catch (const intake::DbError& e) {
        // The trace only looks: a table it cannot read is told, not fatal.
        j.null().field("tableError", std::string(e.what()));
      }
      j.endObject();
      out_ << j.str() << "\n";
    };
  }

  // The marknum of each row of dim1, read through a connection of our own
  // so that only what the table has stored shows.
  std::vector<double> storedNumbers() const {
    std::vector<double> numbers;
    const std::string& path = program_->main.dbPath;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec)) return numbers;
    intake::Connection conn;
    conn.Open(path);
    intake::Recordset rs;
    rs.Open(conn, "dim1");
    for (; !rs.Eof(); rs.MoveNext())
      numbers.push_back(rs.Get("marknum").asDouble());
    return numbers;
  }

  const ScriptHosts& hosts_;
  std::ostream& out_;
  std::ostream& err_;
  std::shared_ptr<forms::AnswerQueue> queue_;
  forms::ScriptedDesktop desktop_;
  std::shared_ptr<ScriptedPicks> picks_;
  cadhost::ApplicationRef createdHost_;
  std::unique_ptr<app::Program> program_;
  bool started_ = false;
};

}  // namespace

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#') break;
    std::string w;
    if (c == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '\\' && i < line.size()) {
          w += line[i++];
        } else if (d == '"') {
          closed = true;
          break;
        } else {
          w += d;
        }
      }
      if (!closed) throw BadLine{"unclosed quote"};
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' &&
             line[i] != '\r')
        w += line[i++];
    }
    words.push_back(w);
  }
  return words;
}

int runScript(std::istream& in, const std::string& scriptName,
              const std::filesystem::path& programDir, const ScriptHosts& hosts,
              std::ostream& out, std::ostream& err) {
  Runner runner(programDir, hosts, out, err);
  std::string line;
  int lineNo = 0;
  try {
    while (std::getline(in, line)) {
      ++lineNo;
      std::vector<std::string> words;
      try {
        words = splitWords(line);
      } catch (const BadLine& b) {
        err << scriptName << ":" << lineNo << ": " << b.message << "\n";
        return 2;
      }
      if (words.empty()) continue;
      try {
        runner.runLine(words);
      } catch (const BadLine& b) {
        err << scriptName << ":" << lineNo << ": " << b.message << "\n";
        return 2;
      } catch (const cadhost::HostError& e) {
        err << scriptName << ":" << lineNo << ": " << e.what() << "\n";
        return 2;
      } catch (const reports::SheetError& e) {
        err << scriptName << ":" << lineNo << ": " << e.what() << "\n";
        return 2;
      }
    }
    runner.finish();
  } catch (const forms::Unanswered& u) {
    err << scriptName << ":" << lineNo << ": no answer queued for the "
        << u.question << "\n";
    return 3;
  }
  return 0;
}

}  // namespace cli
