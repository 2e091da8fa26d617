// dimmark-cli import: a measurement file held against a numbered drawing's
// marks, as "导入测量结果…" holds it; the review list as JSON lines, and with
// --apply the matched values written through the window's own store.
#include <cctype>
#include <filesystem>
#include <iostream>

#include "browse/import/match.h"
#include "browse/import_form.h"
#include "cli/commands.h"
#include "cli/json.h"
#include "cli/session.h"

namespace cli {
namespace fs = std::filesystem;

namespace {

const char* kUsage =
    "usage: dimmark-cli import DRAWING FILE [--sample K]\n"
    "                          [--format auto|qif|pcdmis|calypso|csv] "
    "[--apply]\n"
    "  prints one JSON line per value of FILE (its status: matched,\n"
    "  overwrites, mismatched, unmatched, beyond5, conflict, unreadable)\n"
    "  and a summary; writes the matched values only with --apply\n";

struct Refused {
  std::string message;
};

using browse::import::Status;

}  // namespace

int importCommand(const Args& given, std::ostream& out, std::ostream& err) {
  try {
    Args args;
    bool apply = false;
    for (const auto& a : given) {
      if (a == "--apply")
        apply = true;
      else
        args.push_back(a);
    }
    Options o;
    try {
      o = parseOptions(args, {"--sample", "--format"});
    } catch (const std::invalid_argument& e) {
      throw Refused{std::string("import: ") + e.what() + "\n" + kUsage};
    }
    if (o.positional.size() != 2) throw Refused{kUsage};
    const std::string drawing = o.positional[0];
    const std::string file = o.positional[1];
    browse::import::MatchOptions match;
    if (auto k = o.get("--sample")) {
      const auto n = wholeNumber(*k, 1, 5);
      if (!n)
        throw Refused{
            "import: --sample takes the first sample, 1 to 5, not \"" + *k +
            "\""};
      match.firstSample = static_cast<int>(*n);
    }
    auto format = browse::import::Format::Auto;
    if (auto name = o.get("--format")) {
      const auto f = browse::import::formatNamed(*name);
      if (!f)
        throw Refused{
            "import: --format takes auto, qif, pcdmis, calypso or csv, not "
            "\"" +
            *name + "\""};
      format = *f;
    }

    const std::string db = databaseOf(drawing);
    if (const std::string why = notNumbered("import", drawing, db);
        !why.empty())
      throw Refused{why};
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
      throw Refused{"import: no measurement file " + file};
    // Read before the drawing is opened: a file refused as a whole changes
    // nothing anywhere.
    const browse::import::ParsedFile parsed =
        browse::import::parseFile(file, format);
    if (!parsed.error.empty())
      throw Refused{"import: " + file + ": " + parsed.error};

    Session s;
    if (!s.start() || !s.openDrawing(drawing, std::nullopt, "")) {
      err << s.failure() << "\n";
      return 2;
    }
    s.takeMessages();
    auto& f = s.main();
    if (f.newDatabase)
      throw Refused{"import: " + drawing +
                    " has not been numbered (its database " + db +
                    " holds no marks); number it first"};
    s.program().run([&] { f.ComHadmark->userClick(); });
    if (std::string shown = s.takeMessages(); !shown.empty())
      throw Refused{shown};
    if (f.Combo1->listCount() == 0)
      throw Refused{"import: the database " + db + " lists no marks"};

    const browse::DrawingRows rows = browse::drawingRows(f);
    const browse::import::Review review =
        browse::import::review(rows.rows, parsed, match);
    for (const auto& item : review.items) {
      Json j;
      j.beginObject()
          .field("line", item.line)
          .field("label", item.label)
          .key("mark");
      if (item.row && *item.row < rows.rows.size()) {
        const auto& r = rows.rows[*item.row];
        j.value(std::to_string(r.mark) +
                (r.sub ? "." + std::to_string(r.sub) : std::string()));
      } else {
        j.null();
      }
      j.field("sample", item.sample).key("value");
      if (item.value)
        j.value(*item.value);
      else
        j.null();
      j.field("status", browse::import::statusName(item.status));
      j.field("instrument", item.instrument);
      if (item.previous) j.field("previous", *item.previous);
      j.field("reason", item.reason);
      j.endObject();
      out << j.str() << "\n";
    }

    const std::size_t toWrite =
        review.count(Status::Matched) + review.count(Status::Overwrites);
    int written = 0;
    bool ok = true;
    if (apply && toWrite > 0) {
      s.program().run(
          [&] { ok = browse::applyImport(f, rows, review, &written); });
      const std::string shown = s.takeMessages();
      if (!ok || !shown.empty()) throw Refused{"import: " + shown};
    }
    Json j;
    j.beginObject()
        .field("file", file)
        .field("format", browse::import::formatName(parsed.format))
        .field("parts", static_cast<int>(parsed.parts.size()));
    for (Status st : {Status::Matched, Status::Overwrites, Status::Mismatched,
                      Status::Unmatched, Status::BeyondFive, Status::Conflict,
                      Status::Unreadable})
      j.field(browse::import::statusName(st),
              static_cast<int>(review.count(st)));
    j.key("notes").beginArray();
    for (const auto& n : parsed.notes) j.value(n);
    j.endArray();
    j.field("applied", apply && written > 0).field("written", written);
    j.endObject();
    out << j.str() << "\n";

    if (toWrite == 0) {
      err << "import: nothing to import: no value of " << file
          << " fits a mark of " << drawing << " ("
          << review.count(Status::Mismatched) << " mismatched, "
          << review.count(Status::Unmatched) << " unmatched)\n";
      return apply ? 2 : 0;
    }
    if (!apply)
      err << "import: nothing written; --apply writes the " << toWrite
          << " matched values\n";
    return 0;
  } catch (const Refused& r) {
    err << r.message;
    if (r.message.empty() || r.message.back() != '\n') err << "\n";
    return 2;
  }
}

}  // namespace cli
