// dimmark-cli report: loads a numbered drawing as "已经标号" does, fills the
// FAI workbook (and, when asked, enters samples and adds CPK columns) with
// the window's own handlers, and saves the workbooks.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "browse/browser.h"
#include "cadhost/viewer/export.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/session.h"
#include "dimtable/dimtable.h"
#include "forms/basic.h"
#include "model/characteristic.h"
#include "reports/inspection_pdf.h"
#include "sheethost/embedded/embedded_host.h"

namespace cli {
namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: dimmark-cli report DRAWING (--fai OUT.xlsx | --pdf OUT.pdf | "
    "both)\n"
    "                          [--samples FILE.csv] [--paper A4|A3|A2|A1|A0]\n"
    "                          [--cpk OUT.xlsx --cpk-marks 3,7,9] "
    "[--grid 1-8,A-D]\n"
    "                          [--characteristics all|dimensions]\n"
    "  FILE.csv: one line per dimension: mark number, instrument code\n"
    "  (DC MIC HG CMM PG TG RG AG), one to five samples; a first line that\n"
    "  holds no number at all is a heading. A composite frame's rows are\n"
    "  marks n.1 and n.2; a note's samples are 合格 or 不合格\n";

// A failure with the message for stderr.
struct Refused {
  std::string message;
};

std::string trim(std::string s) {
  const char* blanks = " \t\r\n";
  s.erase(0, s.find_first_not_of(blanks));
  s.erase(s.find_last_not_of(blanks) + 1);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
    s = s.substr(1, s.size() - 2);
  return s;
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(trim(part));
  if (!s.empty() && s.back() == sep) parts.emplace_back();
  return parts;
}

// A mark number: a whole number the 32-bit counters hold, or n.1 and n.2
// for the rows of a composite frame.
std::optional<double> markNumber(const std::string& text) {
  auto n = forms::ParseNumber(text);
  // The range first: a cast of 1e40 would be undefined.
  if (!n || !(*n >= -2e9 && *n <= 2e9)) return std::nullopt;
  if (*n == std::trunc(*n)) return *n;
  const auto dot = text.find('.');
  if (dot == std::string::npos || dot + 2 != text.size() ||
      (text.back() != '1' && text.back() != '2'))
    return std::nullopt;
  return *n;
}

std::string markText(double mark) { return forms::DoubleText(mark); }

// A note's result as a sample field.
bool isResult(const std::string& field) {
  return field == dimtable::kPassed || field == dimtable::kFailed;
}

struct Measured {
  double mark = 0;
  int instrument = 0;  // Option3 index
  std::vector<std::string> samples;
  int line = 0;
};

// A field reads as a number when the measurement panel would take it as
// one, or refuse it only for its size.
bool holdsNumber(const std::string& field) {
  const browse::SampleText t = browse::readSample(field, browse::kFileNumber);
  return t.value.has_value() || (!field.empty() && t.error == "超出范围");
}

std::vector<Measured> readSamples(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Refused{"report: cannot read " + path};
  std::vector<Measured> rows;
  std::string line;
  int lineNo = 0;
  bool first = true;  // the first line with anything in it
  while (std::getline(in, line)) {
    ++lineNo;
    if (lineNo == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    const std::string where = path + ":" + std::to_string(lineNo) + ": ";
    if (trim(line).empty() || trim(line)[0] == '#') continue;
    auto fields = split(line, ',');
    while (!fields.empty() && fields.back().empty()) fields.pop_back();
    const bool heading =
        first && std::none_of(fields.begin(), fields.end(), holdsNumber);
    first = false;
    if (heading) continue;
    if (fields.empty()) throw Refused{where + "a line of empty fields"};
    auto field = [&](size_t i) {
      return where + "field " + std::to_string(i + 1) + ": ";
    };
    Measured m;
    m.line = lineNo;
    auto mark = markNumber(fields[0]);
    if (!mark)
      throw Refused{field(0) + "\"" + fields[0] +
                    "\" is not a mark number (a whole number, or n.1 and "
                    "n.2 for the rows of a composite frame)"};
    m.mark = *mark;
    if (fields.size() < 3 || fields.size() > 7)
      throw Refused{where +
                    "expected a mark number, an instrument code and one to "
                    "five samples, found " +
                    std::to_string(fields.size()) + " fields"};
    m.instrument = -1;
    for (int i = 0; i < 8; ++i)
      if (fields[1] == browse::kInstrumentCodes[i]) m.instrument = i;
    if (m.instrument < 0)
      throw Refused{field(1) + "unknown instrument code \"" + fields[1] +
                    "\" (DC MIC HG CMM PG TG RG AG)"};
    for (size_t i = 2; i < fields.size(); ++i) {
      // The measurement panel's own rule, so nothing is refused late.
      const browse::SampleText t =
          browse::readSample(fields[i], browse::kFileNumber);
      if (fields[i].empty())
        throw Refused{field(i) + "sample " + std::to_string(i - 1) +
                      " is empty"};
      if (!t.value && !isResult(fields[i]))
        throw Refused{field(i) + "sample \"" + fields[i] + "\" " +
                      (t.error == "超出范围"
                           ? "is beyond what a measurement can hold"
                           : "is not a number")};
      m.samples.push_back(fields[i]);
    }
    rows.push_back(std::move(m));
  }
  return rows;
}

std::vector<double> readMarks(const std::string& list) {
  std::vector<double> marks;
  for (const auto& part : split(list, ',')) {
    auto m = markNumber(part);
    if (!m)
      throw Refused{
          "report: --cpk-marks takes mark numbers such as 3,7,9, "
          "not \"" +
          list + "\""};
    // Each dimension takes one CPK column, as "创建 CPK" adds it once.
    if (std::find(marks.begin(), marks.end(), *m) != marks.end())
      throw Refused{"report: --cpk-marks names mark " + markText(*m) +
                    " twice; each mark takes one CPK column"};
    marks.push_back(*m);
  }
  if (marks.empty() || marks.size() > 15)
    throw Refused{"report: --cpk-marks takes one to fifteen marks, not \"" +
                  list + "\""};
  return marks;
}

class Job {
 public:
  explicit Job(Session& s) : s_(s), f_(s.main()) {}

  // One user action; a message shown on the way ends the job.
  template <typename F>
  void act(const std::string& what, F&& action) {
    bool reached = true;
    s_.program().run([&] { reached = action(); });
    std::string shown = s_.takeMessages();
    if (!shown.empty()) throw Refused{shown};
    if (!reached)
      throw Refused{"report: " + what + " cannot be reached (disabled)"};
  }

  // The browse list entry of a mark: its text begins with the number.
  int entryOf(double mark) const {
    const auto& list = f_.Combo1->list();
    for (size_t i = 0; i < list.size(); ++i)
      if (list[i].find("------") != std::string::npos &&
          forms::Val(list[i]) == mark)
        return static_cast<int>(i);
    for (const auto& entry : list)
      if (forms::Val(entry) == mark + 0.1)
        throw Refused{"report: mark " + markText(mark) +
                      " is a composite frame: its rows are marks " +
                      markText(mark) + ".1 and " + markText(mark) + ".2"};
    throw Refused{"report: the drawing has no mark " + markText(mark)};
  }

  // Whether the list's entry is a note, judged 合格 or 不合格.
  bool noteAt(int entry) const {
    const auto& d = f_.ctx.dimRecords;
    const auto p = static_cast<size_t>(entry) + 1;
    return p < d.size() &&
           model::kindOfType(d[p].type) == model::CharacteristicKind::Note;
  }

 private:
  Session& s_;
  model::Form1& f_;
};

}  // namespace

int reportCommand(const Args& args, std::ostream& out, std::ostream& err) {
  try {
    Options o;
    try {
      o = parseOptions(args, {"--fai", "--pdf", "--paper", "--samples", "--cpk",
                              "--cpk-marks", "--grid", "--characteristics"});
    } catch (const std::invalid_argument& e) {
      throw Refused{std::string("report: ") + e.what() + "\n" + kUsage};
    }
    auto faiOut = o.get("--fai");
    auto pdfOut = o.get("--pdf");
    if (o.positional.size() != 1 || (!faiOut && !pdfOut)) throw Refused{kUsage};
    cadhost::viewer::PdfOptions paper;
    if (auto name = o.get("--paper")) {
      if (!pdfOut) throw Refused{"report: --paper is for --pdf only"};
      bool ok = false;
      paper.paper =
          cadhost::viewer::paperByName(QString::fromStdString(*name), &ok);
      if (!ok)
        throw Refused{"report: --paper takes A4, A3, A2, A1 or A0, not \"" +
                      *name + "\""};
    }
    const std::string drawing = o.positional[0];
    auto cpkOut = o.get("--cpk");
    auto cpkList = o.get("--cpk-marks");
    if (cpkOut.has_value() != cpkList.has_value())
      throw Refused{"report: --cpk and --cpk-marks go together"};
    bool characteristics = false;
    {
      std::ostringstream why;
      if (!characteristicsOption(o, "report", characteristics, why))
        throw Refused{why.str()};
    }
    std::vector<double> cpkMarks;
    if (cpkList) cpkMarks = readMarks(*cpkList);
    std::optional<std::pair<std::string, std::string>> grid;
    if (auto g = o.get("--grid")) {
      // Each axis its first and last label: one character, a dash, one
      // character (the zone window refuses the ones it cannot count).
      auto axis = [](const std::string& a) {
        auto label = [&](std::size_t at) -> std::size_t {
          if (at >= a.size()) return 0;
          const auto c = static_cast<unsigned char>(a[at]);
          if (c <= ' ' || c == ',' || c == '-' || c == 0x7F) return 0;
          std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
          for (std::size_t k = 1; k < n; ++k)
            if (at + k >= a.size() ||
                (static_cast<unsigned char>(a[at + k]) & 0xC0) != 0x80)
              return 0;
          return n;
        };
        std::size_t first = label(0);
        if (first == 0 || first >= a.size() || a[first] != '-') return false;
        std::size_t last = label(first + 1);
        return last != 0 && first + 1 + last == a.size();
      };
      auto comma = g->find(',');
      if (comma == std::string::npos || !axis(g->substr(0, comma)) ||
          !axis(g->substr(comma + 1)))
        throw Refused{
            "report: --grid takes COLUMNS,ROWS such as 1-8,A-D, not \"" + *g +
            "\""};
      grid = {g->substr(0, comma), g->substr(comma + 1)};
    }
    std::vector<Measured> measured;
    if (auto csv = o.get("--samples")) measured = readSamples(*csv);

    const std::string db = databaseOf(drawing);
    std::vector<std::string> outputs;
    for (const auto& p : {faiOut, cpkOut, pdfOut}) {
      if (!p) continue;
      if (samePath(*p, drawing) || samePath(*p, db))
        throw Refused{"report: " + *p + " is the drawing or its database"};
      for (const auto& earlier : outputs)
        if (samePath(*p, earlier))
          throw Refused{"report: each output needs its own file, not " + *p +
                        " twice"};
      outputs.push_back(*p);
    }
    if (const std::string why = notNumbered("report", drawing, db);
        !why.empty())
      throw Refused{why};

    Session s;
    s.characteristics = characteristics;
    if (!s.start() || !s.openDrawing(drawing, std::nullopt, "")) {
      err << s.failure() << "\n";
      return 2;
    }
    s.takeMessages();
    auto& f = s.main();
    // A database without rows counts as none: nothing was numbered.
    if (f.newDatabase)
      throw Refused{"report: " + drawing +
                    " has not been numbered (its database " + db +
                    " holds no marks); number it first"};
    Job job(s);
    job.act("已经标号", [&] { return f.ComHadmark->userClick(); });
    if (f.Combo1->listCount() == 0)
      throw Refused{"report: the database " + db + " lists no marks"};
    // Every mark asked for exists before anything is written.
    for (const auto& m : measured) job.entryOf(m.mark);
    for (double m : cpkMarks) job.entryOf(m);
    // Each sample as its row takes it: a number, or a note's result.
    for (const auto& m : measured) {
      const bool note = job.noteAt(job.entryOf(m.mark));
      for (const auto& sample : m.samples)
        if (isResult(sample) != note)
          throw Refused{"report: line " + std::to_string(m.line) + ": mark " +
                        markText(m.mark) +
                        (note ? " is a note: its samples are 合格 or 不合格, "
                                "not \"" +
                                    sample + "\""
                              : " takes numbers, not \"" + sample + "\"")};
    }

    if (grid) {
      auto& w = s.program().frmlocation;
      job.act("位置定义", [&] { return f.ComLdefine->userClick(); });
      job.act("the column labels",
              [&] { return w.txtLtor->userType(grid->first); });
      job.act("the row labels",
              [&] { return w.txtLtou->userType(grid->second); });
      job.act("确认", [&] { return w.ComOk->userClick(); });
    }

    job.act("FAI首次", [&] { return f.CheFIRST->userSetValue(1); });
    job.act("创建 FAI", [&] { return f.ComOK->userClick(); });
    auto app = std::dynamic_pointer_cast<
        sheethost::embedded::EmbeddedSheetApplication>(f.excelApp);
    if (!app || !f.faiBook) throw Refused{"report: no FAI workbook was made"};

    if (!measured.empty()) {
      // Nothing chosen in the sample count first: the dimension the load
      // put on display is not saved with empty samples when it is left.
      job.act("the sample count", [&] { return f.Combo3->userSelect(-1); });
      for (const auto& m : measured) {
        const int entry = job.entryOf(m.mark);
        const auto n = static_cast<int>(m.samples.size());
        job.act("the browse list", [&] { return f.Combo1->userSelect(entry); });
        job.act("the sample count",
                [&] { return f.Combo3->userSelect(n - 1); });
        for (int i = 0; i < n; ++i) {
          const std::string& sample = m.samples[static_cast<size_t>(i)];
          if (isResult(sample))
            job.act("result list", [&] {
              return f.Combo4[static_cast<size_t>(i)]->userSelect(
                  sample == dimtable::kPassed ? 1 : 2);
            });
          else
            job.act("sample box", [&] {
              return f.Text7[static_cast<size_t>(i)]->userType(sample);
            });
        }
        job.act("the instrument", [&] {
          return f.Option3[static_cast<size_t>(m.instrument)]->userClick();
        });
      }
      job.act("刷新", [&] { return f.ComFresh->userClick(); });
    }

    for (double m : cpkMarks) {
      const int entry = job.entryOf(m);
      job.act("the browse list", [&] { return f.Combo1->userSelect(entry); });
      job.act("创建 CPK", [&] { return f.ComCPK->userClick(); });
    }

    try {
      if (faiOut) app->saveWorkbook("fai.xlsx", *faiOut);
      if (cpkOut) app->saveWorkbook("cpk.xlsx", *cpkOut);
    } catch (const sheethost::SheetError& e) {
      throw Refused{std::string("report: ") + e.what()};
    }
    std::optional<reports::InspectionPdf> pdf;
    if (pdfOut) {
      PaintingApplication painting;
      try {
        pdf = reports::writeInspectionPdf(f, *pdfOut, paper);
        if (pdf->marksFound == 0)
          err << "report: " << drawing
              << " holds none of its marks, so the drawing's page shows no "
                 "results; report the marked drawing (number --save-as "
                 "gives it its own database)\n";
      } catch (const std::runtime_error& e) {
        throw Refused{std::string("report: ") + e.what()};
      }
    }

    Json j;
    j.beginObject();
    if (faiOut) j.field("fai", *faiOut);
    j.field("rows", f.Combo1->listCount())
        .field("measured", static_cast<int>(measured.size()));
    if (cpkOut)
      j.field("cpk", *cpkOut)
          .field("cpkColumns", static_cast<int>(cpkMarks.size()));
    if (pdf)
      j.field("pdf", *pdfOut)
          .field("pages", pdf->pages)
          .field("ok", pdf->report.ok)
          .field("ng", pdf->report.ng)
          .field("unmeasured", pdf->report.unmeasured)
          .field("noLimits", pdf->report.noLimits);
    j.field("grid", s.program().ctx.zoneColumnFirst + "-" +
                        s.program().ctx.zoneColumnLast + "," +
                        s.program().ctx.zoneRowFirst + "-" +
                        s.program().ctx.zoneRowLast);
    j.endObject();
    out << j.str() << "\n";
    return 0;
  } catch (const Refused& r) {
    err << r.message;
    if (r.message.empty() || r.message.back() != '\n') err << "\n";
    return 2;
  }
}

}  // namespace cli
