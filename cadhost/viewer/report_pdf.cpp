#include "cadhost/viewer/report_pdf.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "cadhost/viewer/qt_canvas.h"
#include "cadhost/viewer/text_layout.h"

namespace cadhost::viewer {

namespace {

constexpr int kResolution = 1200;

QString q(const std::string& s) { return QString::fromStdString(s); }

double mm(double v) { return v / 25.4 * kResolution; }

QFont fontOf(const Scene& scene, double points, bool bold = false) {
  QFont f = scene.metrics().font();
  f.setPointSizeF(points);
  f.setBold(bold);
  f.setUnderline(false);
  f.setItalic(false);
  return f;
}

struct Colors {
  QColor fill, text;
};

Colors toneColors(PrintedTable::Tone tone) {
  switch (tone) {
    case PrintedTable::Tone::Good:
      return {QColor(226, 239, 218), QColor(0, 110, 0)};
    case PrintedTable::Tone::Bad:
      return {QColor(255, 199, 206), QColor(156, 0, 6)};
    case PrintedTable::Tone::Muted:
      return {QColor(), QColor(110, 110, 110)};
    case PrintedTable::Tone::Plain:
      break;
  }
  return {QColor(), Qt::black};
}

// What every page carries: the title at the top, its number at the foot.
// Returns the room left between them. Without a painter it only measures.
QRectF frame(QPainter* p, QPaintDevice* device, const Scene& scene,
             const QRectF& page, const PrintedTable& t, int number, int total) {
  const QFont titleFont = fontOf(scene, 12, true);
  const QFont footFont = fontOf(scene, 8);
  const QRectF title(page.left(), page.top(), page.width(),
                     QFontMetricsF(titleFont, device).height());
  const double footHeight = QFontMetricsF(footFont, device).height();
  const QRectF foot(page.left(), page.bottom() - footHeight, page.width(),
                    footHeight);
  if (p) {
    p->setPen(Qt::black);
    p->setFont(titleFont);
    p->drawText(title, Qt::AlignLeft | Qt::AlignVCenter, q(t.title));
    p->setFont(footFont);
    p->drawText(foot, Qt::AlignHCenter | Qt::AlignVCenter,
                QStringLiteral("第 %1 页，共 %2 页").arg(number).arg(total));
  }
  const double gap = mm(2);
  return QRectF(page.left(), title.bottom() + gap, page.width(),
                foot.top() - gap - (title.bottom() + gap));
}

// The header cells and the counts, flowing left to right; returns the
// height used. Without a painter it only measures.
double headerBlock(QPainter* p, QPaintDevice* device, const Scene& scene,
                   const QRectF& room, const PrintedTable& t) {
  const QFont plain = fontOf(scene, 9);
  const QFontMetricsF m(plain, device);
  if (p) {
    p->setPen(Qt::black);
    p->setFont(plain);
  }
  const double line = m.height() * 1.3;
  double x = room.left(), y = room.top();
  const double gap = mm(6);
  for (const auto& h : t.header) {
    const QString text = q(h);
    const double w = m.horizontalAdvance(text);
    if (x > room.left() && x + w > room.right()) {
      x = room.left();
      y += line;
    }
    if (p) p->drawText(QPointF(x, y + m.ascent()), text);
    x += w + gap;
  }
  if (!t.header.empty()) y += line;
  if (!t.summary.empty()) {
    const QFont bold = fontOf(scene, 10, true);
    const QFontMetricsF b(bold, device);
    if (p) {
      p->setFont(bold);
      p->drawText(QPointF(room.left(), y + b.ascent()), q(t.summary));
    }
    y += b.height() * 1.3;
  }
  return y - room.top();
}

void drawingPage(QPainter& p, const Scene& scene, const QRectF& room,
                 const PrintedTable& t) {
  double top = room.top() + headerBlock(&p, p.device(), scene, room, t);
  double bottom = room.bottom();
  if (!t.legend.empty()) {
    p.setFont(fontOf(scene, 8));
    const QFontMetricsF m(p.font(), p.device());
    bottom -= m.height() * 1.3;
    p.setPen(Qt::black);
    p.drawText(QPointF(room.left(), bottom + m.height() * 1.3 - m.descent()),
               q(t.legend));
  }
  const QRectF area(room.left(), top, room.width(),
                    std::max(1.0, bottom - top));
  p.setPen(QPen(QColor(160, 160, 160), mm(0.25)));
  p.setBrush(Qt::NoBrush);
  p.drawRect(area);

  const QRectF inner = area.adjusted(mm(2), mm(2), -mm(2), -mm(2));
  const Box ext = scene.extents(true);
  View view = View::fit(ext, inner.width(), inner.height(), 0);
  p.save();
  p.setClipRect(inner);
  p.translate(inner.topLeft());
  // The thinnest line of a plot: 0.18 mm.
  QtCanvas canvas(p, view, scene.metrics(), mm(0.18));
  Renderer renderer;
  renderer.draw(scene, view, canvas, RenderStyle::paper());
  p.restore();
}

struct TableLayout {
  std::vector<double> columnX;  // left edge of each column, then the end
  double rowHeight = 0;
  double headingHeight = 0;
};

TableLayout layoutTable(const PrintedTable& t, const QRectF& room,
                        const QFontMetricsF& m) {
  TableLayout l;
  const std::size_t n = t.columns.size();
  std::vector<double> widths(n, 1.0);
  for (std::size_t i = 0; i < n && i < t.widths.size(); ++i)
    widths[i] = std::max(0.1, t.widths[i]);
  const double sum = std::accumulate(widths.begin(), widths.end(), 0.0);
  double x = room.left();
  for (double w : widths) {
    l.columnX.push_back(x);
    x += room.width() * w / sum;
  }
  l.columnX.push_back(room.right());
  l.rowHeight = m.height() * 1.6;
  l.headingHeight = m.height() * 1.9;
  return l;
}

void cell(QPainter& p, const QRectF& r, const QString& text,
          const QFontMetricsF& m, const QColor& fill, const QColor& ink) {
  if (fill.isValid()) p.fillRect(r, fill);
  p.setPen(QPen(QColor(90, 90, 90), mm(0.15)));
  p.drawRect(r);
  p.setPen(ink);
  const QRectF inside = r.adjusted(mm(0.8), 0, -mm(0.8), 0);
  p.drawText(inside, Qt::AlignCenter,
             m.elidedText(text, Qt::ElideRight, inside.width()));
}

void headingRow(QPainter& p, const PrintedTable& t, const TableLayout& l,
                double y, const QFontMetricsF& m) {
  for (std::size_t c = 0; c < t.columns.size(); ++c)
    cell(p,
         QRectF(l.columnX[c], y, l.columnX[c + 1] - l.columnX[c],
                l.headingHeight),
         q(t.columns[c]), m, QColor(217, 225, 242), Qt::black);
}

}  // namespace

int exportReportPdf(const Scene& scene, const PrintedTable& table,
                    const std::string& path, const PdfOptions& options) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly))
    throw std::runtime_error("cannot write " + path + ": " +
                             file.errorString().toStdString());
  const QMarginsF margins(options.marginMm, options.marginMm, options.marginMm,
                          options.marginMm);
  const QPageLayout drawingLayout(QPageSize(options.paper),
                                  QPageLayout::Landscape, margins,
                                  QPageLayout::Millimeter);
  const QPageLayout tableLayout(QPageSize(options.paper), QPageLayout::Portrait,
                                margins, QPageLayout::Millimeter);
  int pages = 0;
  {
    QPdfWriter writer(&file);
    writer.setResolution(kResolution);
    writer.setCreator(QStringLiteral("DimMark"));
    writer.setTitle(q(table.title));
    writer.setPageLayout(drawingLayout);
    QPainter p;
    if (!p.begin(&writer)) {
      file.cancelWriting();
      throw std::runtime_error("cannot write " + path);
    }
    p.setRenderHint(QPainter::Antialiasing);

    // How many rows a table page takes, the first one below the header.
    const QRectF tablePage = tableLayout.paintRectPixels(kResolution);
    const QFont bodyFont = fontOf(scene, 8);
    const QFontMetricsF body(bodyFont, &writer);
    const QRectF tableRoom0(0, 0, tablePage.width(), tablePage.height());
    const double framed =
        frame(nullptr, &writer, scene, tableRoom0, table, 0, 0).height();
    const TableLayout layout = layoutTable(table, tableRoom0, body);
    // The first table page repeats the header block above the rows.
    const double firstHeader =
        headerBlock(nullptr, &writer, scene, tableRoom0, table) + mm(2);
    auto rowsFitting = [&](double room) {
      return std::max(1, static_cast<int>((room - layout.headingHeight) /
                                          layout.rowHeight));
    };
    const int firstRows = rowsFitting(framed - firstHeader);
    const int otherRows = rowsFitting(framed);
    const int rows = static_cast<int>(table.rows.size());
    int tablePages = 1;
    if (rows > firstRows)
      tablePages += (rows - firstRows + otherRows - 1) / otherRows;
    const int total = 1 + tablePages;

    // The drawing.
    QRectF page = drawingLayout.paintRectPixels(kResolution);
    page.moveTo(0, 0);
    drawingPage(p, scene, frame(&p, &writer, scene, page, table, 1, total),
                table);
    pages = 1;

    // The table.
    int next = 0;
    for (int t = 0; t < tablePages; ++t) {
      writer.setPageLayout(tableLayout);
      if (!writer.newPage()) {
        p.end();
        file.cancelWriting();
        throw std::runtime_error("cannot write " + path);
      }
      ++pages;
      QRectF room = frame(&p, &writer, scene, tableRoom0, table, pages, total);
      double y = room.top();
      if (t == 0) y += headerBlock(&p, &writer, scene, room, table) + mm(2);
      p.setFont(fontOf(scene, 8, true));
      headingRow(p, table, layout, y, QFontMetricsF(p.font(), p.device()));
      y += layout.headingHeight;
      p.setFont(bodyFont);
      const int take = t == 0 ? firstRows : otherRows;
      for (int r = 0; r < take && next < rows; ++r, ++next) {
        const auto& row = table.rows[static_cast<std::size_t>(next)];
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
          const QString text =
              c < row.cells.size() ? q(row.cells[c]) : QString();
          Colors colors = toneColors(PrintedTable::Tone::Plain);
          if (static_cast<int>(c) == table.toneColumn)
            colors = toneColors(row.tone);
          cell(p,
               QRectF(layout.columnX[c], y,
                      layout.columnX[c + 1] - layout.columnX[c],
                      layout.rowHeight),
               text, body, colors.fill, colors.text);
        }
        y += layout.rowHeight;
      }
    }
    p.end();
  }
  if (!file.commit())
    throw std::runtime_error("cannot write " + path + ": " +
                             file.errorString().toStdString());
  return pages;
}

}  // namespace cadhost::viewer
