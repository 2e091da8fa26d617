// Export of a numbered drawing: a clean vector PDF on the chosen paper, a
// PNG of the chosen width; and dimmark-cli export on top of them.
#include <zlib.h>

#include <QImage>
#include <QPainter>
#include <cstdio>
#include <map>
#include <sstream>

#include "cadhost/viewer/export.h"
#include "cadhost/viewer/qt_canvas.h"
#include "cadhost/viewer/report_pdf.h"
#include "cli/commands.h"
#include "viewer_support.h"

namespace {

using namespace viewertest;
using cadhost::viewer::Scene;

// The page streams of a PDF, inflated.
std::vector<std::string> pdfStreams(const std::string& pdf) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while ((at = pdf.find("stream", at)) != std::string::npos) {
    if (at >= 3 && pdf.compare(at - 3, 3, "end") == 0) {
      at += 6;
      continue;
    }
    std::size_t begin = at + 6;
    if (pdf[begin] == '\r') ++begin;
    if (pdf[begin] == '\n') ++begin;
    std::size_t end = pdf.find("endstream", begin);
    if (end == std::string::npos) break;
    std::string raw = pdf.substr(begin, end - begin);
    z_stream z{};
    std::string inflated;
    if (inflateInit(&z) == Z_OK) {
      z.next_in = reinterpret_cast<Bytef*>(raw.data());
      z.avail_in = static_cast<uInt>(raw.size());
      char buf[65536];
      int rc = Z_OK;
      while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buf);
        z.avail_out = sizeof buf;
        rc = inflate(&z, Z_NO_FLUSH);
        inflated.append(buf, sizeof buf - z.avail_out);
      }
      inflateEnd(&z);
      out.push_back(rc == Z_STREAM_END ? inflated : raw);
    }
    at = end + 9;
  }
  return out;
}

// The first page's size in points.
std::pair<double, double> mediaBox(const std::string& pdf) {
  std::size_t at = pdf.find("/MediaBox [");
  if (at == std::string::npos) return {0, 0};
  double x0 = 0, y0 = 0, w = 0, h = 0;
  std::istringstream in(pdf.substr(at + 11, 80));
  in >> x0 >> y0 >> w >> h;
  return {w, h};
}

// How many lines of the page streams end in this operator.
int operatorCount(const std::string& content, const std::string& op) {
  int n = 0;
  std::istringstream in(content);
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
      line.pop_back();
    if (line.size() > op.size() &&
        line.compare(line.size() - op.size(), op.size(), op) == 0 &&
        line[line.size() - op.size() - 1] == ' ')
      ++n;
  }
  return n;
}

// The part with five balloons, as marking leaves it.
struct Numbered {
  cadhost::ApplicationRef host = cadhost::engine::makeEmbeddedHost();
  std::shared_ptr<cadhost::engine::EngineDocument> doc;
  Scene scene{metrics()};
  Numbered() {
    doc = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(
        host->Open(viewerFixture("part.dxf")));
    auto& ms = doc->GetModelSpace();
    for (int i = 1; i <= 5; ++i) {
      double x = 20.0 + 40 * i;
      ms.AddCircle({x, 190, 0}, 3.5)->SetColor(1);
      ms.AddText(std::to_string(i), {x - 2.8, 188.6, 0}, 3.5)->SetColor(1);
    }
    scene.build(doc->drawing());
  }
};

TEST(Export, PdfIsAVectorDrawingOnTheChosenPaper) {
  Numbered n;
  TempDir dir;
  cadhost::viewer::PdfOptions o;
  o.paper = QPageSize::A3;
  cadhost::viewer::exportPdf(n.scene, dir.file("part.pdf"), o);
  std::string pdf = readBytes(dir.file("part.pdf"));
  ASSERT_EQ(pdf.substr(0, 5), "%PDF-");
  // A3 across: 420 x 297 mm in points.
  auto [w, h] = mediaBox(pdf);
  EXPECT_NEAR(w, 420 / 25.4 * 72, 1);
  EXPECT_NEAR(h, 297 / 25.4 * 72, 1);
  // Lines and curves as path operators, texts as text, no pictures.
  EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);
  std::string content;
  for (const std::string& s : pdfStreams(pdf)) content += s + "\n";
  EXPECT_GT(operatorCount(content, "m") + operatorCount(content, "l"), 200);
  EXPECT_GT(operatorCount(content, "c"), 20);  // curves: circles, arcs
  EXPECT_GT(operatorCount(content, "Tj") + operatorCount(content, "TJ"), 20);
  EXPECT_LT(pdf.size(), 2u * 1024 * 1024);

  // Portrait when asked.
  o.orientation = cadhost::viewer::PdfOptions::Orientation::Portrait;
  o.paper = QPageSize::A4;
  cadhost::viewer::exportPdf(n.scene, dir.file("a4.pdf"), o);
  EXPECT_NEAR(mediaBox(readBytes(dir.file("a4.pdf"))).first, 210 / 25.4 * 72,
              1);
}

// Text of one page of a PDF, as pdftotext lays it out.
std::string pageText(const std::string& pdf, int page) {
  const std::string command = "pdftotext -layout -f " + std::to_string(page) +
                              " -l " + std::to_string(page) + " '" + pdf +
                              "' - 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0) << out;
  return out;
}

TEST(Export, AReportTableRunsOverPagesWithEveryRowOnce) {
  Numbered n;
  TempDir dir;
  cadhost::viewer::PrintedTable t;
  t.title = "检验报告 part.dxf";
  t.header = {"图纸：part.dxf", "零件号：A-100", "图号：DM-17"};
  t.summary = "OK 1　NG 1";
  t.columns = {"标号", "名义尺寸", "判定"};
  t.widths = {1, 2, 1};
  t.toneColumn = 2;
  const int rows = 230;
  for (int i = 1; i <= rows; ++i)
    t.rows.push_back({{"R" + std::to_string(i), std::to_string(i * 1.5),
                       i % 2 ? "OK" : "NG"},
                      i % 2 ? cadhost::viewer::PrintedTable::Tone::Good
                            : cadhost::viewer::PrintedTable::Tone::Bad});
  cadhost::viewer::PdfOptions o;
  o.paper = QPageSize::A4;
  const std::string file = dir.file("report.pdf");
  const int pages = cadhost::viewer::exportReportPdf(n.scene, t, file, o);
  ASSERT_GE(pages, 4);  // the drawing, then the rows over three pages or more
  const std::string pdf = readBytes(file);
  EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);
  // The drawing's page across, the table's upright.
  EXPECT_NE(pdf.find("/MediaBox [0 0 842"), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [0 0 595"), std::string::npos);
  std::map<std::string, int> seen;
  for (int page = 1; page <= pages; ++page) {
    const std::string text = pageText(file, page);
    EXPECT_NE(text.find("第 " + std::to_string(page) + " 页，共 " +
                        std::to_string(pages) + " 页"),
              std::string::npos)
        << page;
    EXPECT_NE(text.find("检验报告 part.dxf"), std::string::npos) << page;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string first;
      words >> first;
      if (page >= 2 && first.size() > 1 && first[0] == 'R') ++seen[first];
    }
    if (page >= 2) {
      EXPECT_NE(text.find("名义尺寸"), std::string::npos) << page;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(rows));
  for (const auto& [row, count] : seen) EXPECT_EQ(count, 1) << row;
  // The header on the first pages only.
  EXPECT_NE(pageText(file, 2).find("零件号：A-100"), std::string::npos);
  EXPECT_EQ(pageText(file, 3).find("零件号"), std::string::npos);
}

TEST(Export, PngOfTheAskedWidthOnWhite) {
  Numbered n;
  TempDir dir;
  cadhost::viewer::exportPng(n.scene, dir.file("part.png"), 1200);
  QImage img(QString::fromStdString(dir.file("part.png")));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.width(), 1200);
  // The drawing's frame is 297 x 210.
  EXPECT_NEAR(img.height(), 1200 * 210.0 / 297.0, 2);
  EXPECT_EQ(img.pixelColor(2, 2), QColor(Qt::white));
  // The balloons are red: some red pixels round the first one.
  cadhost::viewer::View v =
      cadhost::viewer::View::fit(n.scene.extents(), img.width(), img.height());
  Vec2 c = v.toDevice({60, 190});
  int red = 0;
  for (int dx = -20; dx <= 20; ++dx)
    for (int dy = -20; dy <= 20; ++dy) {
      QColor px = img.pixelColor(static_cast<int>(c.x) + dx,
                                 static_cast<int>(c.y) + dy);
      if (px.red() > 200 && px.green() < 80 && px.blue() < 80) ++red;
    }
  EXPECT_GT(red, 20);
  EXPECT_THROW(cadhost::viewer::exportPng(n.scene, dir.file("x.png"), 0),
               std::runtime_error);
  EXPECT_THROW(cadhost::viewer::exportPng(n.scene, "/no/such/dir/x.png", 100),
               std::runtime_error);
}

int runExport(const cli::Args& args, std::string* out, std::string* err) {
  std::ostringstream o, e;
  int rc = cli::exportCommand(args, o, e);
  *out = o.str();
  *err = e.str();
  return rc;
}

TEST(ExportCommand, WritesPngAndPdfAndRefusesWhatItCannotDo) {
  TempDir dir;
  std::string drawing = dir.copy(viewerFixture("part.dxf"), "part.dxf");
  const std::string original = readBytes(drawing);
  std::string out, err;
  EXPECT_EQ(runExport({drawing, "--png", dir.file("p.png"), "--width", "500"},
                      &out, &err),
            0)
      << err;
  EXPECT_EQ(QImage(QString::fromStdString(dir.file("p.png"))).width(), 500);
  EXPECT_EQ(runExport({drawing, "--pdf", dir.file("p.pdf"), "--paper", "a2"},
                      &out, &err),
            0)
      << err;
  EXPECT_EQ(readBytes(dir.file("p.pdf")).substr(0, 5), "%PDF-");

  // A drawing it cannot read.
  std::string broken = engineFixture("broken/bad_number.dxf");
  EXPECT_EQ(runExport({broken, "--png", dir.file("b.png")}, &out, &err), 2);
  EXPECT_NE(err.find("bad_number.dxf"), std::string::npos) << err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.png")));
  EXPECT_EQ(
      runExport({dir.file("none.dxf"), "--pdf", dir.file("n.pdf")}, &out, &err),
      2);
  EXPECT_FALSE(err.empty());
  // Wrong words.
  for (const cli::Args& bad :
       {cli::Args{drawing}, cli::Args{drawing, "--pdf"},
        cli::Args{drawing, "--pdf", "a.pdf", "--png", "a.png"},
        cli::Args{drawing, "--pdf", dir.file("w.pdf"), "--width", "100"},
        cli::Args{drawing, "--png", dir.file("w.png"), "--width", "12px"},
        cli::Args{drawing, "--pdf", dir.file("w.pdf"), "--paper", "B5"}}) {
    EXPECT_EQ(runExport(bad, &out, &err), 2);
    EXPECT_FALSE(err.empty());
  }
  // Never over the drawing itself.
  EXPECT_EQ(runExport({drawing, "--png", drawing}, &out, &err), 2);
  EXPECT_NE(err.find("overwrite"), std::string::npos);
  EXPECT_EQ(readBytes(drawing), original);
}

}  // namespace

namespace {

TEST(Painting, DeepZoomsStillDrawTheCurveUnderTheCursor) {
  // A hundred million pixels per millimetre onto the top of the flange's
  // outer circle (radius 50 about (80, 120)): the circle passes through
  // the middle of the picture as a level line.
  Numbered n;
  for (double scale : {1e3, 1e6, 1e8}) {
    QImage img(400, 300, QImage::Format_RGB32);
    img.fill(Qt::black);
    cadhost::viewer::View v;
    v.center = {80, 170};
    v.scale = scale;
    v.width = 400;
    v.height = 300;
    {
      QPainter p(&img);
      cadhost::viewer::QtCanvas canvas(p, v, metrics());
      cadhost::viewer::Renderer r;
      r.draw(n.scene, v, canvas, {Rgb{0, 0, 0}, Rgb{255, 255, 255}, false});
    }
    int lit = 0;
    for (int x = 0; x < 400; x += 40)
      for (int y = 148; y <= 152; ++y) lit += img.pixelColor(x, y).red() > 100;
    EXPECT_GE(lit, 10) << scale;
    // Nothing else: the picture is black a little way off the line.
    EXPECT_EQ(img.pixelColor(100, 100), QColor(Qt::black)) << scale;
  }
}

}  // namespace
