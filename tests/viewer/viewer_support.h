// Helpers of the viewer's tests: small DXF drawings written in place, a
// canvas that records what is drawn, fixture paths.
#pragma once

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"

#include <QString>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cadhost/engine/drawing.h"
#include "cadhost/engine/embedded_host.h"
#include "cadhost/viewer/canvas.h"
#include "cadhost/viewer/renderer.h"
#include "cadhost/viewer/scene.h"
#include "cadhost/viewer/text_layout.h"

namespace viewertest {

using cadhost::viewer::Rgb;
using cadhost::viewer::Vec2;

inline std::string engineFixture(const std::string& name) {
  return std::string(DIMMARK_DXF_FIXTURES) + "/" + name;
}
inline std::string viewerFixture(const std::string& name) {
  return std::string(DIMMARK_VIEWER_FIXTURES) + "/" + name;
}

// A DXF file of R12 tags: tables, blocks and entities written by hand.
class Dxf {
 public:
  // AC1009 is R12 in its code page; AC1021 on are UTF-8.
  explicit Dxf(std::string version = "AC1009") : version_(std::move(version)) {}

  Dxf& tag(int code, const std::string& value) {
    *out_ << code << "\n" << value << "\n";
    return *this;
  }
  Dxf& tag(int code, double value) {
    std::ostringstream s;
    s.precision(17);
    s << value;
    return tag(code, s.str());
  }
  Dxf& point(int code, double x, double y) {
    return tag(code, x).tag(code + 10, y).tag(code + 20, 0.0);
  }
  // A header variable with one value.
  Dxf& header(const std::string& var, int code, const std::string& value) {
    header_ << "9\n" << var << "\n" << code << "\n" << value << "\n";
    return *this;
  }
  // LAYER entries: name, colour (negative: off), frozen.
  Dxf& layer(const std::string& name, int color, bool frozen = false,
             const std::string& linetype = "CONTINUOUS") {
    layers_ << "0\nLAYER\n2\n"
            << name << "\n70\n"
            << (frozen ? 1 : 0) << "\n62\n"
            << color << "\n6\n"
            << linetype << "\n";
    return *this;
  }
  Dxf& linetype(const std::string& name, const std::vector<double>& dashes) {
    double total = 0;
    for (double d : dashes) total += std::fabs(d);
    ltypes_ << "0\nLTYPE\n2\n"
            << name << "\n70\n0\n3\n\n72\n65\n73\n"
            << dashes.size() << "\n40\n"
            << total << "\n";
    for (double d : dashes) ltypes_ << "49\n" << d << "\n";
    return *this;
  }
  // Starts a block; entities go into it until endBlock().
  Dxf& block(const std::string& name, double bx = 0, double by = 0) {
    out_ = &blocks_;
    blocks_ << "0\nBLOCK\n8\n0\n2\n"
            << name << "\n70\n0\n10\n"
            << bx << "\n20\n"
            << by << "\n30\n0\n3\n"
            << name << "\n";
    return *this;
  }
  Dxf& endBlock() {
    blocks_ << "0\nENDBLK\n8\n0\n";
    out_ = &body_;
    return *this;
  }
  Dxf& entity(const std::string& type, const std::string& layer = "0") {
    return tag(0, type).tag(8, layer);
  }
  Dxf& line(double x0, double y0, double x1, double y1,
            const std::string& layer = "0", int color = 256) {
    entity("LINE", layer);
    if (color != 256) tag(62, std::to_string(color));
    return point(10, x0, y0).point(11, x1, y1);
  }

  std::string str() const {
    std::ostringstream out;
    out << "0\nSECTION\n2\nHEADER\n9\n$ACADVER\n1\n"
        << version_ << "\n"
        << header_.str() << "0\nENDSEC\n"
        << "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLTYPE\n70\n2\n"
        << "0\nLTYPE\n2\nCONTINUOUS\n70\n0\n3\nSolid\n72\n65\n73\n0\n40\n0\n"
        << ltypes_.str() << "0\nENDTAB\n0\nTABLE\n2\nLAYER\n70\n1\n"
        << "0\nLAYER\n2\n0\n70\n0\n62\n7\n6\nCONTINUOUS\n"
        << layers_.str() << "0\nENDTAB\n0\nENDSEC\n0\nSECTION\n2\nBLOCKS\n"
        << blocks_.str() << "0\nENDSEC\n0\nSECTION\n2\nENTITIES\n"
        << body_.str() << "0\nENDSEC\n0\nEOF\n";
    return out.str();
  }

 private:
  std::ostringstream body_, blocks_, layers_, ltypes_, header_;
  std::ostringstream* out_ = &body_;
  std::string version_;
};

inline std::unique_ptr<cadhost::engine::Drawing> load(const Dxf& dxf) {
  std::string text = dxf.str();
  return cadhost::engine::Drawing::load(
      cadhost::engine::Bytes(text.begin(), text.end()));
}

// One call of the renderer on the canvas.
struct Call {
  enum Kind { Line, Lines, Polyline, Arc, Polygon, Text, Point } kind = Line;
  std::vector<Vec2> points;  // lines, polylines, rings (flattened), centre
  Rgb color;
  bool closed = false;
  double radius = 0, start = 0, sweep = 0, width = 0;
  std::size_t rings = 0;
  std::vector<double> dashes;
  cadhost::viewer::TextRun run;
};

class RecordingCanvas : public cadhost::viewer::Canvas {
 public:
  std::vector<Call> calls;

  void line(Vec2 a, Vec2 b, const cadhost::viewer::Pen& pen) override {
    push(Call::Line, {a, b}, pen);
  }
  void lines(std::span<const Vec2> pairs,
             const cadhost::viewer::Pen& pen) override {
    push(Call::Lines, {pairs.begin(), pairs.end()}, pen);
  }
  void polyline(std::span<const Vec2> points, bool closed,
                const cadhost::viewer::Pen& pen) override {
    push(Call::Polyline, {points.begin(), points.end()}, pen).closed = closed;
  }
  void arc(Vec2 center, double radius, double start, double sweep,
           const cadhost::viewer::Pen& pen) override {
    Call& c = push(Call::Arc, {center}, pen);
    c.radius = radius;
    c.start = start;
    c.sweep = sweep;
  }
  void polygon(std::span<const std::vector<Vec2>> rings, Rgb fill) override {
    Call c;
    c.kind = Call::Polygon;
    c.color = fill;
    for (const auto& r : rings)
      c.points.insert(c.points.end(), r.begin(), r.end());
    c.rings = rings.size();
    calls.push_back(c);
  }
  void text(const cadhost::viewer::TextRun& run) override {
    Call c;
    c.kind = Call::Text;
    c.points = {run.origin};
    c.color = run.color;
    c.run = run;
    calls.push_back(c);
  }
  void point(Vec2 p, Rgb color) override {
    Call c;
    c.kind = Call::Point;
    c.points = {p};
    c.color = color;
    calls.push_back(c);
  }

  std::vector<const Call*> of(Call::Kind k) const {
    std::vector<const Call*> out;
    for (const Call& c : calls)
      if (c.kind == k) out.push_back(&c);
    return out;
  }
  // Text runs whose text contains `part`.
  std::vector<const Call*> texts(const QString& part) const {
    std::vector<const Call*> out;
    for (const Call& c : calls)
      if (c.kind == Call::Text && c.run.text.contains(part)) out.push_back(&c);
    return out;
  }

 private:
  Call& push(Call::Kind k, std::vector<Vec2> pts,
             const cadhost::viewer::Pen& pen) {
    Call c;
    c.kind = k;
    c.points = std::move(pts);
    c.color = pen.color;
    c.width = pen.width;
    c.dashes.assign(pen.dashes.begin(), pen.dashes.end());
    calls.push_back(std::move(c));
    return calls.back();
  }
};

// The metrics every test shares (they need the GUI application).
inline const cadhost::viewer::FontMetrics& metrics() {
  static cadhost::viewer::FontMetrics m;
  return m;
}

// Everything of the scene, drawn on a screen of 1000 x 1000 pixels that
// shows the whole box.
inline RecordingCanvas drawAll(const cadhost::viewer::Scene& scene,
                               const cadhost::viewer::RenderStyle& style = {},
                               cadhost::viewer::Box box = {}) {
  if (box.empty()) box = scene.extents();
  cadhost::viewer::View view =
      cadhost::viewer::View::fit(box, 1000, 1000, 0.05);
  RecordingCanvas canvas;
  cadhost::viewer::Renderer renderer;
  renderer.draw(scene, view, canvas, style);
  return canvas;
}

inline bool near(Vec2 a, Vec2 b, double tol = 1e-6) {
  return std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol;
}

const Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kYellow{255, 255, 0},
    kGreen{0, 255, 0}, kCyan{0, 255, 255}, kBlue{0, 0, 255},
    kMagenta{255, 0, 255}, kBlack{0, 0, 0};

using TempDir = fakes::TempDir;

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace viewertest
