// Entities drawn from data beyond their own points: endless lines,
// multilines (their style's elements), meshes, and the graphics that proxy
// entities carry for programs that do not know them.
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "cadhost/engine/dxf_tags.h"
#include "cadhost/engine/geometry.h"
#include "cadhost/viewer/palette.h"
#include "cadhost/viewer/scene_builder.h"

namespace cadhost::viewer {

using engine::Tag;
using engine::Tags;

namespace {

constexpr double kPi = std::numbers::pi;

Vec2 pt(Tags own, int code, Vec2 fallback = {0, 0}) {
  auto p = engine::point(own, code);
  return p ? Vec2{(*p)[0], (*p)[1]} : fallback;
}

double num(const Tag& t) { return engine::parseReal(t.value).value_or(0); }

// The point of a 10/20/30 style group starting at tags[k], if it is one.
bool pointAt(Tags t, std::size_t k, Vec2& out) {
  if (k + 1 >= t.size() || t[k + 1].code != t[k].code + 10) return false;
  out = {num(t[k]), num(t[k + 1])};
  return true;
}

}  // namespace

void Scene::Builder::ray(std::string_view type, Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  Vec2 base = c.xf(pt(own, 10));
  Vec2 dir = c.xf.linear(pt(own, 11, {1, 0}));
  scene.addRay(base, dir, type == "XLINE", s);
}

// ------------------------------------------------------------ multiline

void Scene::Builder::mline(Tags own, const Context& c) {
  Style s;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, s, &l)) return;
  if (!mlineStylesRead) {
    mlineStylesRead = true;
    for (const auto& o : d->objects())
      if (o->type == "MLINESTYLE" && !o->rec.erased) {
        Tags st = engine::ownTags(d->tags(o->rec));
        std::vector<Tag> copy(st.begin(), st.end());
        mlineStyles[o->handle] = copy;
        mlineStyleNames[engine::upperCase(engine::textValue(*d, st, 2))] =
            std::move(copy);
      }
  }
  Tags style;
  if (const Tag* h = engine::findTag(own, 340))
    if (auto handle = engine::parseHandle(h->value)) {
      auto it = mlineStyles.find(*handle);
      if (it != mlineStyles.end()) style = Tags(it->second);
    }
  if (style.empty()) {
    auto it =
        mlineStyleNames.find(engine::upperCase(engine::textValue(*d, own, 2)));
    if (it != mlineStyleNames.end()) style = Tags(it->second);
  }
  // The style's elements in order: colour of each.
  std::vector<int> colors;
  for (const Tag& t : style)
    if (t.code == 49)
      colors.push_back(256);
    else if (t.code == 62 && !colors.empty())
      colors.back() = static_cast<int>(engine::parseInt(t.value).value_or(256));
  long long styleFlags = style.empty() ? 0 : engine::integer(style, 70, 0);

  // Per vertex: the point and its miter; per element at each vertex, the
  // first parameter is the distance along the miter.
  struct Vertex {
    Vec2 at, miter;
    std::vector<double> offsets;
  };
  std::vector<Vertex> vertices;
  for (std::size_t k = 0; k < own.size(); ++k) {
    const Tag& t = own[k];
    if (t.code >= 1000) break;
    Vec2 v;
    if (t.code == 11 && pointAt(own, k, v)) {
      vertices.push_back({v, {0, 1}, {}});
    } else if (t.code == 13 && !vertices.empty() && pointAt(own, k, v)) {
      vertices.back().miter = v;
    } else if (t.code == 74 && !vertices.empty()) {
      // The element's parameters: the first follows the count.
      long long n = engine::parseInt(t.value).value_or(0);
      double offset = 0;
      if (n > 0 && k + 1 < own.size() && own[k + 1].code == 41)
        offset = num(own[k + 1]);
      vertices.back().offsets.push_back(offset);
    }
  }
  if (vertices.size() < 2) return;
  std::size_t elements = vertices[0].offsets.size();
  for (const Vertex& v : vertices)
    elements = std::min(elements, v.offsets.size());
  long long flags = engine::integer(own, 71, 0);
  bool closed = (flags & 2) != 0;
  const Affine& m = c.xf;  // the vertices are in world coordinates
  auto at = [&](const Vertex& v, std::size_t e) {
    return Vec2{v.at.x + v.miter.x * v.offsets[e],
                v.at.y + v.miter.y * v.offsets[e]};
  };
  for (std::size_t e = 0; e < elements; ++e) {
    Style es = s;
    if (e < colors.size() && colors[e] != 256)
      es.color = colorOf(colors[e], c, *l);
    std::vector<Vec2> pts;
    for (const Vertex& v : vertices) pts.push_back(at(v, e));
    polyline(std::move(pts), closed, m, es);
  }
  // Square caps join the outer elements at the ends.
  if (!closed && elements >= 2) {
    if ((styleFlags & 16) && !(flags & 4))
      polyline({at(vertices.front(), 0), at(vertices.front(), elements - 1)},
               false, m, s);
    if ((styleFlags & 256) && !(flags & 8))
      polyline({at(vertices.back(), 0), at(vertices.back(), elements - 1)},
               false, m, s);
  }
}

// ------------------------------------------------------------ mesh

void Scene::Builder::mesh(Tags own, const Context& c) {
  Style s;
  if (!resolve(own, c, s)) return;
  std::vector<Vec2> vertices;
  std::vector<Vec2> edges;
  for (std::size_t k = 0; k < own.size(); ++k) {
    const Tag& t = own[k];
    if (t.code >= 1000) break;
    if (t.code == 92) {
      auto n = engine::parseInt(t.value).value_or(0);
      for (std::size_t i = k + 1; i < own.size() && n > 0; ++i) {
        Vec2 v;
        if (own[i].code == 10 && pointAt(own, i, v)) {
          vertices.push_back(c.xf(v));
          --n;
        } else if (own[i].code != 20 && own[i].code != 30) {
          break;
        }
      }
    } else if (t.code == 93) {
      // Faces: a count, then that many vertex indexes.
      auto size = engine::parseInt(t.value).value_or(0);
      std::vector<long long> list;
      for (std::size_t i = k + 1; i < own.size() && own[i].code == 90 &&
                                  static_cast<long long>(list.size()) < size;
           ++i)
        list.push_back(engine::parseInt(own[i].value).value_or(-1));
      for (std::size_t i = 0; i < list.size();) {
        auto n = static_cast<std::size_t>(std::max<long long>(0, list[i]));
        if (n == 0 || i + 1 + n > list.size()) break;
        for (std::size_t j = 0; j < n; ++j) {
          long long a = list[i + 1 + j], b = list[i + 1 + (j + 1) % n];
          if (a < 0 || b < 0 ||
              static_cast<std::size_t>(a) >= vertices.size() ||
              static_cast<std::size_t>(b) >= vertices.size())
            continue;
          edges.push_back(vertices[static_cast<std::size_t>(a)]);
          edges.push_back(vertices[static_cast<std::size_t>(b)]);
        }
        i += n + 1;
      }
      break;
    }
  }
  scene.addLines(std::move(edges), s);
}

// ------------------------------------------------------------ proxies

namespace {

// The proxy graphics' commands, little-endian.
class Reader {
 public:
  Reader(const std::vector<std::uint8_t>& b, std::size_t from, std::size_t to)
      : b_(b), at_(from), end_(to), start_(from) {}
  bool has(std::size_t n) const { return at_ + n <= end_; }
  std::int32_t i32() {
    if (!has(4)) return fail(), 0;
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | b_[at_ + k];
    at_ += 4;
    return static_cast<std::int32_t>(v);
  }
  double f64() {
    if (!has(8)) return fail(), 0;
    std::uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | b_[at_ + k];
    at_ += 8;
    double d;
    std::memcpy(&d, &v, sizeof d);
    return std::isfinite(d) ? d : 0;
  }
  cadhost::Point p3() {
    double x = f64(), y = f64(), z = f64();
    return {x, y, z};
  }
  // A zero-ended string padded to four bytes: file bytes, or UTF-16
  // turned to UTF-8.
  std::string text(bool wide) {
    std::string raw;
    QString w;
    std::size_t unit = wide ? 2 : 1;
    while (has(unit)) {
      unsigned ch = wide ? (b_[at_] | (b_[at_ + 1] << 8)) : b_[at_];
      at_ += unit;
      if (ch == 0) break;
      if (wide)
        w += QChar(static_cast<char16_t>(ch));
      else
        raw += static_cast<char>(ch);
    }
    while ((at_ - start_) % 4 != 0 && at_ < end_) ++at_;
    return wide ? w.toStdString() : raw;
  }
  bool ok() const { return ok_; }

 private:
  void fail() { ok_ = false; }
  const std::vector<std::uint8_t>& b_;
  std::size_t at_, end_, start_;
  bool ok_ = true;
};

std::vector<std::uint8_t> proxyBytes(Tags own) {
  std::vector<std::uint8_t> out;
  std::size_t k = 0;
  for (; k < own.size(); ++k) {
    if (own[k].code == 100 && k > 0) {
      // Proxy graphics sit in the entity's common part, or a proxy's
      // own, ahead of its data (whose 310s are no graphics).
      std::string_view v = own[k].value;
      if (v.find("AcDbEntity") == std::string_view::npos &&
          v.find("AcDbProxyEntity") == std::string_view::npos)
        return {};
    }
    if ((own[k].code == 92 || own[k].code == 160) && k + 1 < own.size() &&
        own[k + 1].code == 310)
      break;
  }
  for (++k; k < own.size() && own[k].code == 310; ++k) {
    std::string_view hex = own[k].value;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      auto digit = [](char ch) -> int {
        if (ch >= '0' && ch <= '9') return ch - '0';
        if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
        if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
        return -1;
      };
      int hi = digit(hex[i]), lo = digit(hex[i + 1]);
      if (hi < 0 || lo < 0) break;
      out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
  }
  return out;
}

// A 4 x 4 matrix of column vectors applied to the XY plane.
Affine fromMatrix(const double m[16]) {
  return {m[0], m[4], m[1], m[5], m[3], m[7]};
}

Vec2 v2(const cadhost::Point& p) { return {p[0], p[1]}; }

}  // namespace

bool Scene::Builder::proxyGraphics(Tags own, const Context& c) {
  std::vector<std::uint8_t> bytes = proxyBytes(own);
  if (bytes.size() < 8) return false;
  Style base;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, base, &l)) return true;
  Reader head(bytes, 0, bytes.size());
  head.i32();  // total size
  std::int32_t count = head.i32();
  std::size_t at = 8;
  Style s = base;
  bool filled = false;
  std::vector<Affine> stack{c.xf};
  auto setColor = [&](long long aci) {
    s.color = aci < 0 || aci >= 256 ? base.color
                                    : colorOf(static_cast<int>(aci), c, *l);
  };
  for (std::int32_t n = 0; n < count && at + 8 <= bytes.size(); ++n) {
    if (overBudget()) break;
    Reader r(bytes, at, bytes.size());
    std::int32_t size = r.i32(), type = r.i32();
    if (size < 8 || at + static_cast<std::size_t>(size) > bytes.size()) break;
    Reader p(bytes, at + 8, at + static_cast<std::size_t>(size));
    at += static_cast<std::size_t>(size);
    const Affine& m = stack.back();
    switch (type) {
      case 2: {  // circle: centre, radius, normal
        cadhost::Point center = p.p3();
        double radius = p.f64();
        if (p.ok() && radius > 0) arc(v2(center), radius, 0, 2 * kPi, m, s);
        break;
      }
      case 4: {  // arc: centre, radius, normal, start vector, sweep
        cadhost::Point center = p.p3();
        double radius = p.f64();
        cadhost::Point normal = p.p3(), start = p.p3();
        double sweep = p.f64();
        if (!p.ok() || !(radius > 0)) break;
        if (normal[2] < 0) sweep = -sweep;
        arc(v2(center), radius, std::atan2(start[1], start[0]), sweep, m, s);
        break;
      }
      case 3:    // circle through three points
      case 5: {  // arc through three points
        Vec2 a = v2(p.p3()), b = v2(p.p3()), e = v2(p.p3());
        if (!p.ok()) break;
        double dd =
            2 * (a.x * (b.y - e.y) + b.x * (e.y - a.y) + e.x * (a.y - b.y));
        if (std::fabs(dd) < 1e-300) {
          polyline({a, e}, false, m, s);
          break;
        }
        auto sq = [](Vec2 v) { return v.x * v.x + v.y * v.y; };
        Vec2 o{
            (sq(a) * (b.y - e.y) + sq(b) * (e.y - a.y) + sq(e) * (a.y - b.y)) /
                dd,
            (sq(a) * (e.x - b.x) + sq(b) * (a.x - e.x) + sq(e) * (b.x - a.x)) /
                dd};
        double radius = std::hypot(a.x - o.x, a.y - o.y);
        if (type == 3) {
          arc(o, radius, 0, 2 * kPi, m, s);
          break;
        }
        double a0 = std::atan2(a.y - o.y, a.x - o.x);
        double a1 = std::atan2(e.y - o.y, e.x - o.x);
        double am = std::atan2(b.y - o.y, b.x - o.x);
        auto ccw = [](double from, double to) {
          double v = std::fmod(to - from, 2 * kPi);
          return v < 0 ? v + 2 * kPi : v;
        };
        double sweep = ccw(a0, a1);
        if (ccw(a0, am) > sweep)
          sweep -= 2 * kPi;  // the middle point is clockwise
        arc(o, radius, a0, sweep, m, s);
        break;
      }
      case 6:     // polyline
      case 7:     // polygon
      case 32: {  // polyline with a normal
        std::int32_t k = p.i32();
        std::vector<Vec2> pts;
        for (std::int32_t i = 0; i < k && p.has(24); ++i)
          pts.push_back(v2(p.p3()));
        if (type == 7 && filled)
          fill({pts}, m, s);
        else
          polyline(std::move(pts), type == 7, m, s);
        break;
      }
      case 8: {  // mesh: rows by columns of vertices
        std::int32_t rows = p.i32(), cols = p.i32();
        if (rows < 1 || cols < 1 || rows > (1 << 20) || cols > (1 << 20) ||
            !p.has(static_cast<std::size_t>(rows) *
                   static_cast<std::size_t>(cols) * 24))
          break;
        std::vector<Vec2> grid, edges;
        for (std::int32_t i = 0; i < rows * cols; ++i)
          grid.push_back(m(v2(p.p3())));
        auto at2 = [&](std::int32_t i, std::int32_t j) {
          return grid[static_cast<std::size_t>(i * cols + j)];
        };
        for (std::int32_t i = 0; i < rows; ++i)
          for (std::int32_t j = 0; j < cols; ++j) {
            if (j + 1 < cols)
              edges.insert(edges.end(), {at2(i, j), at2(i, j + 1)});
            if (i + 1 < rows)
              edges.insert(edges.end(), {at2(i, j), at2(i + 1, j)});
          }
        scene.addLines(std::move(edges), s);
        break;
      }
      case 9: {  // shell: vertices, then faces as a count and indexes
        std::int32_t nv = p.i32();
        if (nv < 0 || !p.has(static_cast<std::size_t>(nv) * 24)) break;
        std::vector<Vec2> verts, edges;
        for (std::int32_t i = 0; i < nv; ++i) verts.push_back(m(v2(p.p3())));
        std::int32_t entries = p.i32();
        for (std::int32_t i = 0; i < entries && p.ok();) {
          // A negative count starts a hole.
          long long k = std::llabs(static_cast<long long>(p.i32()));
          ++i;
          std::vector<std::int32_t> face;
          for (long long j = 0; j < k && i < entries && p.ok(); ++j, ++i)
            face.push_back(p.i32());
          for (std::size_t j = 0; j < face.size(); ++j) {
            std::int32_t a = face[j], b = face[(j + 1) % face.size()];
            if (a < 0 || b < 0 || a >= nv || b >= nv) continue;
            edges.push_back(verts[static_cast<std::size_t>(a)]);
            edges.push_back(verts[static_cast<std::size_t>(b)]);
          }
        }
        scene.addLines(std::move(edges), s);
        break;
      }
      case 10:  // text: start, normal, direction, height, width, oblique
      case 11:  // text with more options
      case 36:  // the same in UTF-16
      case 38: {
        bool wide = type == 36 || type == 38;
        cadhost::Point start = p.p3();
        p.p3();  // normal
        cadhost::Point dir = p.p3();
        double h = 0, wf = 1, oblique = 0;
        std::string raw;
        if (type == 10 || type == 36) {
          h = p.f64();
          wf = p.f64();
          oblique = p.f64();
          raw = p.text(wide);
        } else {
          raw = p.text(wide);
          p.i32();  // length
          p.i32();  // raw
          h = p.f64();
          wf = p.f64();
          oblique = p.f64();
        }
        if (!p.ok() || !(h > 0) || raw.empty()) break;
        TextRun tr;
        tr.text = QString::fromStdString(wide ? raw : d->text(raw));
        tr.origin = v2(start);
        tr.height = h;
        tr.widthFactor = wf > 0 ? wf : 1;
        tr.oblique = oblique;
        tr.rotation = std::atan2(dir[1], dir[0]);
        run(std::move(tr), m, s);
        break;
      }
      case 12:  // xline and ray: two points
      case 13: {
        cadhost::Point a = p.p3(), b = p.p3();
        if (!p.ok()) break;
        Vec2 wa = m(v2(a)), wb = m(v2(b));
        scene.addRay(wa, {wb.x - wa.x, wb.y - wa.y}, type == 12, s);
        break;
      }
      case 14:  // colour number
        setColor(static_cast<std::uint32_t>(p.i32()));
        break;
      case 20:  // filling on or off
        filled = p.i32() != 0;
        break;
      case 22: {  // colour, true or numbered
        auto v = static_cast<std::uint32_t>(p.i32());
        if ((v >> 24) == 0xC2)
          s.color = {trueColor(v & 0xFFFFFF), ColorRole::Own};
        else if ((v >> 24) == 0xC3)
          setColor(v & 0xFF);
        else if ((v >> 24) == 0xC1)
          setColor(0);
        else
          setColor(256);
        break;
      }
      case 29:  // push a transform
      case 30: {
        double mat[16];
        for (double& v : mat) v = p.f64();
        if (stack.size() < 64)
          stack.push_back(p.ok() ? stack.back() * fromMatrix(mat)
                                 : stack.back());
        break;
      }
      case 31:  // pop it
        if (stack.size() > 1) stack.pop_back();
        break;
      default:
        break;  // attributes we do not show, clips, binary polylines
    }
  }
  return true;
}

}  // namespace cadhost::viewer
