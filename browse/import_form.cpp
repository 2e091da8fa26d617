#include "browse/import_form.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "browse/browser.h"
#include "browse/results.h"
#include "forms/basic.h"
#include "forms/desktop.h"
#include "forms/errors.h"
#include "model/characteristic.h"
#include "model/form1.h"
#include "model/verdict.h"
#include "sheethost/xlsx/formula.h"

namespace browse {

using forms::Kind;
using import::Status;

namespace {

constexpr const char* kMeasurementFilter =
    "测量结果|*.qif;*.xml;*.txt;*.csv;*.tsv|QIF 结果|*.qif;*.xml|"
    "PC-DMIS 报告|*.txt;*.csv|表格文件|*.txt;*.tsv|CSV 文件|*.csv|"
    "所有文件|*.*";

bool writes(Status s) {
  return s == Status::Matched || s == Status::Overwrites;
}

std::string markText(const import::MarkRow& r) {
  return std::to_string(r.mark) +
         (r.sub ? "." + std::to_string(r.sub) : std::string());
}

}  // namespace

DrawingRows drawingRows(const model::Form1& f) {
  DrawingRows out;
  const auto& ctx = f.ctx;
  for (std::int32_t p = 1; p <= f.Combo1->listCount(); ++p) {
    if (static_cast<std::size_t>(p) >= ctx.dimRecords.size()) break;
    // "12", or "12.1" for row 1 of a composite frame's mark 12; an entry
    // with no such number names no mark a file can.
    const std::string label = markNumber(f, p);
    const auto dot = label.find('.');
    const auto whole = forms::ParseNumber(label.substr(0, dot));
    const auto row = dot == std::string::npos
                         ? std::optional<double>(0)
                         : forms::ParseNumber(label.substr(dot + 1));
    const auto isWhole = [](const std::optional<double>& v) {
      return v && *v >= 0 && *v < 1e6 &&
             *v == static_cast<double>(static_cast<int>(*v));
    };
    if (!isWhole(whole) || !isWhole(row) || *whole < 1) continue;
    const auto& d = ctx.dimRecords[static_cast<std::size_t>(p)];
    import::MarkRow r;
    r.mark = static_cast<int>(*whole);
    r.sub = static_cast<int>(*row);
    r.kind = import::kindFromName(d.type);
    // A frame's or a roughness value's row is a nominal of 0 with the
    // tolerance above it, whatever its text shows.
    const auto kind = model::kindOfType(d.type);
    const bool characteristic = kind == model::CharacteristicKind::Gdt ||
                                kind == model::CharacteristicKind::Roughness;
    r.nominal = characteristic ? std::optional<double>(0.0)
                               : xlsx::formula::valueNumber(d.value);
    r.up = model::cellDouble(d.up);
    r.low = characteristic ? 0.0 : model::cellDouble(d.low);
    const dimtable::Measurement stored = measurementOf(ctx, p);
    r.entered = stored.samples;
    r.instrument = stored.instrument;
    out.rows.push_back(r);
    out.positions.push_back(p);
  }
  return out;
}

std::map<std::int32_t, dimtable::Measurement> importedMeasurements(
    const model::Form1& f, const DrawingRows& rows,
    const import::Review& review) {
  std::map<std::int32_t, dimtable::Measurement> out;
  for (const auto& item : review.items) {
    if (!writes(item.status) || !item.row || !item.value || item.sample < 1 ||
        item.sample > 5 || *item.row >= rows.positions.size())
      continue;
    const std::int32_t p = rows.positions[*item.row];
    auto it = out.find(p);
    if (it == out.end()) it = out.emplace(p, measurementOf(f.ctx, p)).first;
    dimtable::Measurement& m = it->second;
    m.count = std::max(m.count, item.sample);
    m.samples[static_cast<std::size_t>(item.sample - 1)] =
        static_cast<float>(*item.value);
    if (!item.instrument.empty()) m.instrument = item.instrument;
  }
  return out;
}

bool applyImport(model::Form1& f, const DrawingRows& rows,
                 const import::Review& review, int* written) {
  const auto measurements = importedMeasurements(f, rows, review);
  int values = 0;
  for (const auto& item : review.items)
    if (writes(item.status)) ++values;
  if (written) *written = 0;
  if (measurements.empty()) return true;
  // The database first, all or nothing: a refused write leaves the program
  // and the file as they were.
  if (f.dbConn && f.dbConn->IsOpen() && f.dbConn->Path() == f.dbPath) {
    dimtable::Connection& db = *f.dbConn;
    try {
      db.BeginTrans();
      try {
        for (const auto& [p, m] : measurements) db.SaveMeasurement(p, m);
        db.CommitTrans();
      } catch (...) {
        forms::resumeNext([&] { db.RollbackTrans(); });
        throw;
      }
    } catch (const std::exception& e) {
      f.ctx.desktop.message(
          std::string("测量结果没有导入，图纸的尺寸数据库写不进去：") +
              e.what() + "\n程序和数据库中的测量值都没有改动。",
          forms::Buttons::Ok, "");
      return false;
    }
  }
  for (const auto& [p, m] : measurements) {
    storeMeasurement(f.ctx, p, m);
    auto& pending = f.unsavedMeasurements;
    pending.erase(std::remove(pending.begin(), pending.end(), p),
                  pending.end());
  }
  // The panel shows what its dimension holds now.
  meatool(f, f.Combo1->listIndex() + 1);
  showResults(f);
  if (written) *written = values;
  return true;
}

std::string reviewLine(const import::Review& review, std::size_t i,
                       const DrawingRows& rows) {
  const import::ReviewItem& item = review.items.at(i);
  std::string line = "第" + std::to_string(item.line) + "行  " + item.label;
  if (item.row && *item.row < rows.rows.size())
    line += " → 标号" + markText(rows.rows[*item.row]);
  line += "  样品" + std::to_string(item.sample);
  if (item.value)
    line += "：" + forms::SingleText(static_cast<float>(*item.value));
  line += "  【" + std::string(import::statusTitle(item.status)) + "】";
  if (!item.reason.empty()) line += "  " + item.reason;
  return line;
}

std::string reviewCounts(const import::Review& review) {
  std::string out;
  for (Status s : {Status::Matched, Status::Overwrites, Status::Mismatched,
                   Status::Unmatched, Status::BeyondFive, Status::Conflict,
                   Status::Unreadable}) {
    const auto n = review.count(s);
    const bool always = s == Status::Matched || s == Status::Mismatched ||
                        s == Status::Unmatched || s == Status::BeyondFive;
    if (!n && !always) continue;
    if (!out.empty()) out += "，";
    out += std::string(import::statusTitle(s)) + " " + std::to_string(n);
  }
  const auto toWrite =
      review.count(Status::Matched) + review.count(Status::Overwrites);
  if (toWrite == 0)
    out += "。没有与图纸相符的测量值，不会导入任何值。";
  else
    out += "。将写入 " + std::to_string(toWrite) + " 个值。";
  return out;
}

FrmImport::FrmImport(model::Form1& main)
    : forms::Form("FrmImport"), main_(main) {}

void FrmImport::build() {
  setCaption("导入测量结果");
  setGeometry(0, 0, 10500, 7600);
  lblFile = &add(Kind::Label, "lblFile");
  lblFile->setGeometry(240, 200, 9900, 255);
  Label1 = &add(Kind::Label, "Label1");
  Label1->setCaption("从第几个样品起：");
  Label1->setGeometry(240, 600, 1800, 255);
  cboSample = &add(Kind::ComboBox, "cboSample");
  cboSample->setGeometry(2100, 540, 900, 315);
  lblCounts = &add(Kind::Label, "lblCounts");
  lblCounts->setMultiLine(true);
  lblCounts->setGeometry(240, 960, 9900, 540);
  txtReview = &add(Kind::TextBox, "txtReview");
  txtReview->setMultiLine(true);
  txtReview->setLocked(true);
  txtReview->setGeometry(240, 1560, 9900, 4700);
  ComApply = &add(Kind::CommandButton, "ComApply");
  ComApply->setCaption("导入");
  ComApply->setGeometry(6900, 6450, 1500, 420);
  ComCancel = &add(Kind::CommandButton, "ComCancel");
  ComCancel->setCaption("取消");
  ComCancel->setGeometry(8640, 6450, 1500, 420);
  ComCancel->setCancel(true);
  Load = [this] {
    for (int k = 1; k <= 5; ++k) cboSample->addItem(std::to_string(k));
    cboSample->setListIndex(0);
  };
  cboSample->Click = [this] { cboSample_Click(); };
  ComApply->Click = [this] { ComApply_Click(); };
  ComCancel->Click = [this] { hide(); };
}

void FrmImport::showFile(const std::string& path, import::ParsedFile parsed) {
  load();
  path_ = path;
  parsed_ = std::move(parsed);
  lblFile->setCaption("文件：" + path + "（" +
                      import::formatName(parsed_.format) + "，" +
                      std::to_string(parsed_.parts.size()) + " 个零件）");
  reviewAgain();
  show();
}

void FrmImport::reviewAgain() {
  rows_ = drawingRows(main_);
  import::MatchOptions options;
  options.firstSample = std::max(1, cboSample->listIndex() + 1);
  review_ = import::review(rows_.rows, parsed_, options);
  std::string text;
  for (const auto& note : parsed_.notes) text += "注意：" + note + "\n";
  for (std::size_t i = 0; i < review_.items.size(); ++i)
    text += reviewLine(review_, i, rows_) + "\n";
  txtReview->setText(text);
  lblCounts->setCaption(reviewCounts(review_));
  ComApply->setEnabled(
      review_.count(Status::Matched) + review_.count(Status::Overwrites) > 0);
}

void FrmImport::cboSample_Click() {
  if (!path_.empty()) reviewAgain();
}

void FrmImport::ComApply_Click() {
  // What the panel holds is stored first, so the list speaks of it.
  if (!leaveStep(main_)) return;
  const std::string before = txtReview->text();
  reviewAgain();
  if (txtReview->text() != before) {
    main_.ctx.desktop.message(
        "图纸或已录入的测量值在此期间有变化，导入清单已经更新，请再核对一次。",
        forms::Buttons::Ok, "");
    return;
  }
  int written = 0;
  if (!applyImport(main_, rows_, review_, &written)) return;
  hide();
  main_.ctx.desktop.message("已导入 " + std::to_string(written) + " 个测量值。",
                            forms::Buttons::Ok, "");
}

void mnuImport_Click(model::Form1& f) {
  auto& desktop = f.ctx.desktop;
  if (f.Combo1->listCount() == 0) {
    desktop.message("请先打开图纸并标号，再导入测量结果。", forms::Buttons::Ok,
                    "");
    return;
  }
  // The panel's own entry first: the review compares with what is stored.
  if (!leaveStep(f)) return;
  forms::OpenFileRequest req;
  req.filter = kMeasurementFilter;
  req.title = "导入测量结果";
  req.initialDir = std::filesystem::path(f.drawingPath).parent_path().string();
  const auto path = desktop.openFile(req);
  if (!path) return;
  import::ParsedFile parsed = import::parseFile(*path);
  if (!parsed.error.empty()) {
    desktop.message("“" + std::filesystem::path(*path).filename().string() +
                        "”不能导入：" + parsed.error,
                    forms::Buttons::Ok, "");
    return;
  }
  if (auto* w = dynamic_cast<FrmImport*>(f.ctx.forms.find("FrmImport")))
    w->showFile(*path, std::move(parsed));
}

}  // namespace browse
