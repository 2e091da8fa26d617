#include "reports/inspection_pdf.h"

#include <filesystem>
#include <stdexcept>

#include "browse/browser.h"
#include "browse/results.h"
#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/report_pdf.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"
#include "forms/desktop.h"
#include "model/form1.h"

namespace reports {

namespace {

using cadhost::viewer::PrintedTable;

PrintedTable::Tone toneOf(model::Verdict v) {
  switch (v) {
    case model::Verdict::Ok:
      return PrintedTable::Tone::Good;
    case model::Verdict::Ng:
      return PrintedTable::Tone::Bad;
    case model::Verdict::Unmeasured:
    case model::Verdict::NoLimits:
      break;
  }
  return PrintedTable::Tone::Muted;
}

PrintedTable tableOf(const reports::InspectionReport& r) {
  PrintedTable t;
  t.title = "检验报告  " + r.drawing;
  t.header.push_back("图纸：" + r.drawing);
  for (const auto& [label, value] : r.header)
    t.header.push_back(label + "：" + value);
  t.summary = "OK " + std::to_string(r.ok) + "　　NG " + std::to_string(r.ng) +
              "　　未测 " + std::to_string(r.unmeasured);
  if (r.noLimits > 0) t.summary += "　　无法判定 " + std::to_string(r.noLimits);
  t.summary += "　　（共 " + std::to_string(r.rows.size()) + " 个尺寸）";
  t.legend = "标号颜色：绿色为 OK，红色为 NG，原色为未测";
  t.columns = {"标号",  "区域",  "名义尺寸", "上限",  "下限", "样品1",
               "样品2", "样品3", "样品4",    "样品5", "量具", "判定"};
  t.widths = {6, 6, 11, 10, 10, 9, 9, 9, 9, 9, 7, 9};
  t.toneColumn = 11;
  for (const auto& row : r.rows) {
    PrintedTable::Row out;
    out.cells = {row.mark, row.zone, row.nominal, row.upper, row.lower};
    for (const auto& s : row.samples) out.cells.push_back(s);
    out.cells.push_back(row.instrument);
    out.cells.push_back(model::verdictText(row.verdict));
    out.tone = toneOf(row.verdict);
    t.rows.push_back(std::move(out));
  }
  return t;
}

}  // namespace

std::string proposedReportPath(const model::Form1& f) {
  if (f.drawingPath.empty()) return "检验报告.pdf";
  std::filesystem::path p(f.drawingPath);
  return (p.parent_path() / (p.stem().string() + "-检验报告.pdf")).string();
}

InspectionPdf writeInspectionPdf(model::Form1& f, const std::string& path,
                                 const cadhost::viewer::PdfOptions& options) {
  auto doc =
      std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(f.ctx.cadDoc);
  if (!doc || doc->isClosed()) throw std::runtime_error("没有打开的图纸");
  if (f.Combo1->listCount() == 0)
    throw std::runtime_error("图纸还没有标号，没有可以报告的尺寸");
  InspectionPdf out;
  out.report = reports::inspectionReport(f);
  // The marks' colours from what is stored, as the table has it.
  browse::showResults(f);
  for (std::int32_t p = 1; p <= f.Combo1->listCount(); ++p) {
    const browse::MarkParts parts = browse::marksOf(f, p);
    if (parts.circle || parts.text) ++out.marksFound;
  }
  cadhost::viewer::FontMetrics metrics;
  cadhost::viewer::Scene scene(metrics);
  scene.setOverlay(doc->resultColors());
  scene.build(doc->drawing());
  try {
    out.pages = cadhost::viewer::exportReportPdf(scene, tableOf(out.report),
                                                 path, options);
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("检验报告没有写成：" + std::string(e.what()));
  }
  return out;
}

void reportFromWindow(
    model::Form1& f,
    const std::function<ReportTarget(const std::string& proposed)>& ask) {
  auto say = [&](const std::string& text) {
    f.ctx.desktop.message(text, forms::Buttons::Ok, "");
  };
  if (f.Combo1->listCount() == 0) {
    say("图纸还没有标号，没有可以报告的尺寸。请先标号，或用“已经标号”载入。");
    return;
  }
  if (!browse::leaveStep(f)) return;
  const ReportTarget target = ask(proposedReportPath(f));
  const std::string& path = target.path;
  if (path.empty()) return;
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const std::string& own : {f.drawingPath, f.dbPath})
    if (!own.empty() && fs::equivalent(path, own, ec)) {
      say("检验报告不能写在图纸或它的数据库上：" + path);
      return;
    }
  try {
    const InspectionPdf pdf = writeInspectionPdf(f, path, target.options);
    const auto& r = pdf.report;
    say("检验报告已保存：" + path + "\n共 " + std::to_string(pdf.pages) +
        " 页；OK " + std::to_string(r.ok) + "，NG " + std::to_string(r.ng) +
        "，未测 " + std::to_string(r.unmeasured) +
        (r.noLimits ? "，无法判定 " + std::to_string(r.noLimits) : "") + "。" +
        (pdf.marksFound == 0
             ? "\n图纸中没有找到标号，第一页的图上没有结果颜色。"
             : ""));
  } catch (const std::exception& e) {
    say(e.what());
  }
}

}  // namespace reports
