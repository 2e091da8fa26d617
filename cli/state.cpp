#include "cli/state.h"

#include "app/program.h"
#include "browse/results.h"
#include "forms/form.h"

namespace cli {

using forms::Kind;

void dumpControl(const forms::Control& c, Json& j) {
  Kind k = c.kind();
  j.beginObject().field("name", c.displayName());
  j.field("kind", forms::KindName(k));
  bool hasCaption = k == Kind::Form || k == Kind::Frame || k == Kind::Label ||
                    k == Kind::CommandButton || k == Kind::CheckBox ||
                    k == Kind::OptionButton || k == Kind::Menu;
  if (hasCaption) j.field("Caption", c.caption());
  if (k == Kind::TextBox || k == Kind::ComboBox) j.field("Text", c.text());
  j.field("Enabled", c.enabled());
  j.field("Visible", c.visible());
  if (k == Kind::CheckBox) j.field("Value", c.value());
  if (k == Kind::OptionButton) j.field("Value", c.value() != 0);
  if (k == Kind::ComboBox) {
    j.field("ListIndex", c.listIndex());
    j.field("ListCount", c.listCount());
    j.key("List").beginArray();
    for (const auto& item : c.list()) j.value(item);
    j.endArray();
  }
  if (k == Kind::Timer) j.field("Interval", c.interval());
  if ((k == Kind::Label || k == Kind::PictureBox) && c.backColor() >= 0) {
    int rgb = c.backColor();
    j.key("BackColor").beginArray();
    j.value((rgb >> 16) & 255).value((rgb >> 8) & 255).value(rgb & 255);
    j.endArray();
  }
  if (k == Kind::CommonDialog) {
    const auto& d = static_cast<const forms::CommonDialog&>(c);
    j.field("Filter", d.Filter).field("DialogTitle", d.DialogTitle);
    j.field("FileName", d.FileName);
  }
  if (k != Kind::Menu && k != Kind::Timer && k != Kind::CommonDialog) {
    j.field("Left", c.left()).field("Top", c.top());
    j.field("Width", c.width()).field("Height", c.height());
  }
  j.endObject();
}

void dumpForm(const forms::Form& f, Json& j) {
  j.beginObject().field("name", f.name());
  j.field("Caption", f.caption());
  j.field("Visible", f.visible());
  j.field("Height", f.height());
  j.field("Loaded", f.loaded());
  j.key("Popup");
  if (f.lastPopup()) {
    j.beginObject()
        .field("menu", f.lastPopup()->menu)
        .field("x", f.lastPopup()->x)
        .field("y", f.lastPopup()->y)
        .endObject();
  } else {
    j.null();
  }
  j.endObject();
}

namespace {

void dimRecord(const dimtable::DimRecord& r, Json& j) {
  j.beginObject()
      .field("value", r.value)
      .field("x", r.x)
      .field("y", r.y)
      .field("up", r.up)
      .field("low", r.low)
      .field("check", static_cast<int>(r.check))
      .field("type", r.type)
      .field("entityIndex", static_cast<std::int64_t>(r.entityIndex))
      .field("markText", r.markText);
  // A characteristic's own fields, on characteristics only.
  if (r.frameRow != 0) j.field("frameRow", static_cast<int>(r.frameRow));
  if (r.bound != dimtable::Bound::None)
    j.field("bound", r.bound == dimtable::Bound::Upper ? "upper" : "lower");
  if (!r.raw.empty()) j.field("raw", r.raw);
  j.endObject();
}

template <typename T, size_t N>
void floats(const std::array<T, N>& a, Json& j) {
  j.beginArray();
  for (T v : a) j.value(v);
  j.endArray();
}

// Samples not measured are null.
template <size_t N>
void floats(const std::array<std::optional<float>, N>& a, Json& j) {
  j.beginArray();
  for (const auto& v : a) {
    if (v)
      j.value(*v);
    else
      j.null();
  }
  j.endArray();
}

}  // namespace

void dumpState(app::Program& p, const std::string& hostState, Json& j) {
  const model::AppContext& c = p.ctx;
  const model::Form1& f = p.main;
  j.beginObject();
  j.field("ended", c.ended);
  j.field("cadHost", hostState);
  j.field("cadDoc", c.cadDoc != nullptr);
  j.field("dbConn", f.dbConn != nullptr);
  j.field("excelApp", f.excelApp != nullptr);

  j.field("dimCount", static_cast<std::int64_t>(c.dimCount));
  j.field("textNext", static_cast<std::int64_t>(c.textNext));
  j.field("markedCount", static_cast<int>(f.markedCount));
  j.field("newDatabase", f.newDatabase);
  j.field("dbPath", f.dbPath);
  j.field("drawingPath", f.drawingPath);
  j.field("dimDecimals", static_cast<std::int64_t>(f.dimDecimals));
  j.field("decimalsChosen", f.decimalsChosen);
  j.key("extMin").point(f.extMin);
  j.key("extMax").point(f.extMax);
  j.field("dimScale", f.dimScale);
  j.field("textHeight", f.textHeight);
  j.field("firstEntityColor", static_cast<int>(f.firstEntityColor));
  j.field("lastEntityIndex", static_cast<int>(f.lastEntityIndex));
  j.field("entityIndex", static_cast<int>(f.entityIndex));
  j.field("entityType", f.entityType);
  j.key("entityPoint").point(f.entityPoint);
  j.field("markBase", static_cast<int>(f.markBase));
  j.field("markTextHeight", f.markTextHeight);
  j.field("loopIndex", static_cast<std::int64_t>(f.loopIndex));
  j.field("currentPosition", static_cast<std::int64_t>(f.currentPosition));
  j.field("currentSample", static_cast<std::int64_t>(f.currentSample));
  j.field("highlightColor", static_cast<int>(f.highlightColor));
  j.field("lastReviewed", f.lastReviewed);
  j.field("freeNext", static_cast<int>(f.freeNext));
  j.field("freeCurrent", static_cast<int>(f.freeCurrent));
  j.key("pickedPoint").point(f.pickedPoint);
  j.field("nearestPosition", static_cast<int>(f.nearestPosition));
  j.field("nearestDistance", f.nearestDistance);
  j.field("numberedRows", static_cast<std::int64_t>(f.numberedRows));
  j.field("zoneGroupStart", static_cast<int>(f.zoneGroupStart));
  j.field("zoneMarkedCount", static_cast<int>(f.zoneMarkedCount));
  j.field("adoptNext", static_cast<std::int64_t>(f.adoptNext));
  j.field("cpkColumn", static_cast<int>(f.cpkColumn));
  j.field("zoneWidth", f.zoneWidth);
  j.field("zoneHeight", f.zoneHeight);
  j.field("marqueeTicks", static_cast<std::int64_t>(f.marqueeTicks));
  j.field("marqueeStep", static_cast<std::int64_t>(f.marqueeStep));

  j.key("sizeBounds");
  floats(c.sizeBounds, j);
  j.field("sizeBoundCount", static_cast<std::int64_t>(c.sizeBoundCount));
  j.key("tolValues");
  floats(c.tolValues, j);
  j.field("zoneColumnFirst", c.zoneColumnFirst);
  j.field("zoneColumnLast", c.zoneColumnLast);
  j.field("zoneColumnCount", static_cast<std::int64_t>(c.zoneColumnCount));
  j.field("zoneRowFirst", c.zoneRowFirst);
  j.field("zoneRowLast", c.zoneRowLast);
  j.field("zoneRowCount", static_cast<std::int64_t>(c.zoneRowCount));

  j.key("dimRecords").beginArray();
  for (const auto& r : c.dimRecords) dimRecord(r, j);
  j.endArray();
  j.key("textRecords").beginArray();
  for (const auto& t : c.textRecords) {
    j.beginObject()
        .field("text", t.text)
        .field("x", t.x)
        .field("y", t.y)
        .field("entityIndex", static_cast<std::int64_t>(t.entityIndex))
        .endObject();
  }
  j.endArray();
  j.key("adoptedRecords").beginArray();
  for (const auto& r : c.adoptedRecords) dimRecord(r, j);
  j.endArray();
  j.key("markCircles").beginArray();
  for (const auto& e : f.markCircles) j.value(e != nullptr);
  j.endArray();
  j.key("markTexts").beginArray();
  for (const auto& e : f.markTexts) j.value(e != nullptr);
  j.endArray();
  j.key("sampleCounts").beginArray();
  for (auto n : c.sampleCounts) j.value(static_cast<std::int64_t>(n));
  j.endArray();
  j.key("samples").beginArray();
  for (const auto& s : c.samples) floats(s, j);
  j.endArray();
  j.key("instrumentCodes").beginArray();
  for (const auto& s : c.instrumentCodes) j.value(s);
  j.endArray();
  // Notes' results, once there are any: 合格, 不合格 or null per sample.
  bool anyPassed = false;
  for (const auto& r : c.passed)
    for (const auto& v : r) anyPassed = anyPassed || v.has_value();
  if (anyPassed) {
    j.key("passed").beginArray();
    for (const auto& r : c.passed) {
      j.beginArray();
      for (const auto& v : r) {
        if (v)
          j.value(std::string(*v ? dimtable::kPassed : dimtable::kFailed));
        else
          j.null();
      }
      j.endArray();
    }
    j.endArray();
  }
  j.endObject();
}

namespace {

// One part of a mark, or null when it is not in the drawing.
void markPart(const cadhost::EntityRef& e, bool circle, Json& j) {
  if (!e) {
    j.null();
    return;
  }
  Json part;
  try {
    part.beginObject();
    if (circle) {
      part.key("center").point(e->center());
      part.field("radius", e->Radius());
    } else {
      part.field("text", e->TextString());
      part.key("insertion").point(e->InsertionPoint());
      part.field("height", e->Height());
    }
    part.field("color", e->Color()).field("layer", e->Layer()).endObject();
  } catch (const std::exception&) {
    j.null();
    return;
  }
  j.raw(part.str());
}

}  // namespace

void dumpMarks(const model::Form1& f, Json& j) {
  j.beginObject().field("markedCount", static_cast<int>(f.markedCount));
  j.key("marks").beginArray();
  for (int p = 1; p <= f.markedCount; ++p) {
    const auto at = static_cast<size_t>(p);
    j.beginObject().field("position", p).key("circle");
    markPart(at < f.markCircles.size() ? f.markCircles[at] : nullptr, true, j);
    j.key("text");
    markPart(at < f.markTexts.size() ? f.markTexts[at] : nullptr, false, j);
    j.endObject();
  }
  j.endArray().endObject();
}

void dumpResults(model::Form1& f, Json& j) {
  const std::vector<int> colors = browse::resultColors(f);
  j.beginObject().key("results").beginArray();
  for (size_t p = 1; p < colors.size(); ++p) {
    const auto position = static_cast<std::int32_t>(p);
    const browse::MarkParts parts = browse::marksOf(f, position);
    j.beginObject()
        .field("mark", browse::markNumber(f, position))
        .field("verdict", model::verdictText(browse::verdictAt(f, position)))
        .field("shown", colors[p] == browse::kOkColor   ? "green"
                        : colors[p] == browse::kNgColor ? "red"
                                                        : "own")
        .field("markFound", parts.circle != nullptr || parts.text != nullptr)
        .endObject();
  }
  j.endArray().endObject();
}

}  // namespace cli
