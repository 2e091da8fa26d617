// Multileaders: their leader lines with arrowheads and doglegs, and their
// content, a multiline text or a block with attribute values (balloons).
// The tags are read in order: the context data between
// "CONTEXT_DATA{" and "}", its leaders and leader lines, then the
// entity's own properties.
#include <cmath>
#include <map>

#include "base/text.h"
#include "cadhost/viewer/palette.h"
#include "cadhost/viewer/scene_builder.h"

namespace cadhost::viewer {

using engine::Tag;
using engine::Tags;

namespace {

using base::trimmed;

struct Leader {
  Vec2 connection;
  bool hasConnection = false;
  Vec2 dogleg{1, 0};
  double doglegLength = 0;
  std::vector<std::vector<Vec2>> lines;
};

struct MLeaderData {
  double scale = 1, textHeight = 2.5, arrowSize = 2.5, textWidth = 0;
  double textRotation = 0;
  bool hasText = false, hasBlock = false;
  std::string text;  // raw
  Vec2 textAt, textDir{1, 0};
  int attachment = 1;
  std::uint64_t block = 0;
  Vec2 blockAt, blockScale{1, 1};
  double blockRotation = 0;
  std::vector<Leader> leaders;
  // Entity properties.
  int leaderType = 1;  // 0 none, 1 straight, 2 spline
  long long leaderColor = 0, textColor = 0, blockColor = 0;
  bool dogleg = true;
  std::uint64_t arrowBlock = 0;
  std::map<std::uint64_t, std::string> attributes;  // ATTDEF handle: text
};

double num(const Tag& t) { return engine::parseReal(t.value).value_or(0); }

Vec2 pointAt(Tags own, std::size_t& k) {
  Vec2 p{num(own[k]), 0};
  if (k + 1 < own.size() && own[k + 1].code == own[k].code + 10)
    p.y = num(own[++k]);
  if (k + 1 < own.size() && own[k + 1].code == own[k].code + 10) ++k;  // z
  return p;
}

MLeaderData parse(Tags own) {
  MLeaderData m;
  enum { Entity, Context, InLeader, InLine } where = Entity;
  bool contextSeen = false;
  std::uint64_t pendingAttdef = 0;
  for (std::size_t k = 0; k < own.size(); ++k) {
    const Tag& t = own[k];
    std::string_view v = trimmed(t.value);
    if (t.code >= 1000) break;
    if (t.code == 300 && v == "CONTEXT_DATA{") {
      where = Context;
      contextSeen = true;
      continue;
    }
    if (where == Context && t.code == 302 && v == "LEADER{") {
      where = InLeader;
      m.leaders.emplace_back();
      continue;
    }
    if (where == InLeader && t.code == 304 && v == "LEADER_LINE{") {
      where = InLine;
      m.leaders.back().lines.emplace_back();
      continue;
    }
    if (where == InLine && t.code == 305) {
      where = InLeader;
      continue;
    }
    if (where == InLeader && t.code == 303) {
      where = Context;
      continue;
    }
    if (where == Context && t.code == 301) {
      where = Entity;
      continue;
    }
    switch (where) {
      case InLine:
        if (t.code == 10)
          m.leaders.back().lines.back().push_back(pointAt(own, k));
        break;
      case InLeader: {
        Leader& l = m.leaders.back();
        if (t.code == 10) {
          l.connection = pointAt(own, k);
          l.hasConnection = true;
        } else if (t.code == 11) {
          l.dogleg = pointAt(own, k);
        } else if (t.code == 40) {
          l.doglegLength = num(t);
        }
        break;
      }
      case Context:
        switch (t.code) {
          case 40:
            m.scale = num(t);
            break;
          case 41:
            m.textHeight = num(t);
            break;
          case 140:
            m.arrowSize = num(t);
            break;
          case 290:
            m.hasText = num(t) != 0;
            break;
          case 296:
            m.hasBlock = num(t) != 0;
            break;
          case 304:
            m.text += std::string(t.value);
            break;
          case 12:
            m.textAt = pointAt(own, k);
            break;
          case 13:
            m.textDir = pointAt(own, k);
            break;
          case 42:
            m.textRotation = num(t);
            break;
          case 43:
            m.textWidth = num(t);
            break;
          case 171:
            m.attachment = static_cast<int>(num(t));
            break;
          case 341:
            m.block = engine::parseHandle(v).value_or(0);
            break;
          case 15:
            m.blockAt = pointAt(own, k);
            break;
          case 16:
            m.blockScale = pointAt(own, k);
            break;
          case 46:
            m.blockRotation = num(t);
            break;
          default:
            break;
        }
        break;
      case Entity:
        if (!contextSeen) break;
        switch (t.code) {
          case 170:
            m.leaderType = static_cast<int>(num(t));
            break;
          case 91:
            m.leaderColor = engine::parseInt(v).value_or(0);
            break;
          case 92:
            m.textColor = engine::parseInt(v).value_or(0);
            break;
          case 93:
            m.blockColor = engine::parseInt(v).value_or(0);
            break;
          case 291:
            m.dogleg = num(t) != 0;
            break;
          case 342:
            m.arrowBlock = engine::parseHandle(v).value_or(0);
            break;
          case 330:
            pendingAttdef = engine::parseHandle(v).value_or(0);
            break;
          case 302:
            if (pendingAttdef)
              m.attributes[pendingAttdef] = std::string(t.value);
            pendingAttdef = 0;
            break;
          default:
            break;
        }
        break;
    }
  }
  return m;
}

}  // namespace

// A colour as multileaders store it: the top byte says by layer (0xC0),
// by block (0xC1), true colour (0xC2) or colour number (0xC3).
PrimColor Scene::Builder::rawColor(long long raw, const Style& entity,
                                   const Context& c, const LayerInfo& l) const {
  auto bits = static_cast<std::uint32_t>(raw);
  switch (bits >> 24) {
    case 0xC2:
      return {trueColor(bits & 0xFFFFFF), ColorRole::Own};
    case 0xC3:
      return colorOf(static_cast<int>(bits & 0xFF), c, l);
    case 0xC0:
      return l.color;
    default:
      return entity.color;  // by block: the multileader's own colour
  }
}

void Scene::Builder::mleader(Tags own, const Context& c) {
  Style s;
  const LayerInfo* l = nullptr;
  if (!resolve(own, c, s, &l)) return;
  MLeaderData m = parse(own);
  const Affine& xf = c.xf;
  Style lineStyle = s;
  lineStyle.color = rawColor(m.leaderColor, s, c, *l);
  std::string arrowKind;
  if (m.arrowBlock)
    if (const engine::TableEntry* e = d->entryByHandle(m.arrowBlock))
      arrowKind = e->name;
  if (m.leaderType != 0)
    for (const Leader& leader : m.leaders) {
      for (const auto& line : leader.lines) {
        std::vector<Vec2> pts = line;
        if (leader.hasConnection) pts.push_back(leader.connection);
        if (pts.size() < 2) continue;
        for (Vec2& p : pts) p = xf(p);
        Vec2 dir{pts[0].x - pts[1].x, pts[0].y - pts[1].y};
        arrow(pts[0], dir, m.arrowSize * xf.scale(), arrowKind, lineStyle);
        scene.addPolyline(std::move(pts), false, lineStyle);
      }
      if (m.dogleg && leader.hasConnection && leader.doglegLength > 0) {
        double len = std::hypot(leader.dogleg.x, leader.dogleg.y);
        if (len > 0) {
          Vec2 end{
              leader.connection.x + leader.dogleg.x / len * leader.doglegLength,
              leader.connection.y +
                  leader.dogleg.y / len * leader.doglegLength};
          scene.addLine(xf(leader.connection), xf(end), lineStyle);
        }
      }
    }
  if (m.hasText && !m.text.empty()) {
    Style ts = s;
    ts.color = rawColor(m.textColor, s, c, *l);
    MTextSpec spec;
    spec.content = d->text(m.text);
    spec.height = m.textHeight;
    spec.referenceWidth = m.textWidth;
    spec.attachment = m.attachment;
    double rot = std::hypot(m.textDir.x, m.textDir.y) > 1e-12
                     ? std::atan2(m.textDir.y, m.textDir.x)
                     : m.textRotation;
    mtext(spec, xf * Affine::translate(m.textAt) * Affine::rotate(rot), ts, c,
          *l);
  }
  if (m.hasBlock && m.block && c.depth < 16) {
    const engine::TableEntry* rec = d->entryByHandle(m.block);
    const engine::Block* b = rec ? d->block(rec->name) : nullptr;
    if (!b) return;
    Style bs = s;
    bs.color = rawColor(m.blockColor, s, c, *l);
    Vec2 base{0, 0};
    if (auto p = engine::point(engine::ownTags(d->tags(b->begin)), 10))
      base = {(*p)[0], (*p)[1]};
    Affine bm = xf * Affine::translate(m.blockAt) *
                Affine::rotate(m.blockRotation) *
                Affine::scaling(m.blockScale.x, m.blockScale.y) *
                Affine::translate({-base.x, -base.y});
    Context child = c;
    child.byBlock = bs.color;
    child.parentLayer = l;
    child.dimensionText = nullptr;
    child.dimensionValue = nullptr;
    child.dimensionBlock = false;
    blockRef(*b, bm, child);
    // The attribute values sit where the block's definitions are.
    Context ac = child;
    ac.xf = bm;
    for (const auto& e : b->entities) {
      if (e->rec.erased || e->type != "ATTDEF") continue;
      Tags at = engine::ownTags(d->tags(e->rec));
      const Tag* h = engine::findTag(at, 5);
      auto handle = h ? engine::parseHandle(h->value) : std::nullopt;
      if (!handle) continue;
      auto value = m.attributes.find(*handle);
      if (value == m.attributes.end()) continue;
      text("ATTDEF", at, ac, &value->second);
    }
  }
}

}  // namespace cadhost::viewer
