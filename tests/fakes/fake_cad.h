// A scripted CAD host for handler tests: entities with just the properties
// a test gives them (any other member raises HostError, as on the real
// host), and a log of every call.
#pragma once

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cadhost/host.h"

namespace fakes {

using cadhost::HostError;
using cadhost::Point;

struct CallLog {
  std::vector<std::string> calls;
  void add(std::string c) { calls.push_back(std::move(c)); }
  bool has(const std::string& c) const {
    return std::find(calls.begin(), calls.end(), c) != calls.end();
  }
  size_t count(const std::string& prefix) const {
    return static_cast<size_t>(std::count_if(
        calls.begin(), calls.end(),
        [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
  }
};

// The changes Undo can take back, newest last.
using UndoStack = std::vector<std::function<void()>>;

class FakeEntity : public cadhost::Entity {
 public:
  FakeEntity(std::string objectName, CallLog* log, UndoStack* undo = nullptr)
      : objectName_(std::move(objectName)), log_(log), undo_(undo) {}

  // What the test gives the entity.
  std::optional<int> color = 256;
  std::optional<std::string> layer = std::string("0");
  std::optional<Point> centerPoint, insertion, textPosition;
  std::optional<double> radius, measurement, textHeight, upper, lower;
  std::optional<std::string> textString, textOverride;
  std::optional<std::string> blockName;
  std::optional<std::vector<Attribute>> attributes;
  std::optional<int> toleranceDisplay, primaryPrecision, textPrecision,
      tolerancePrecision;
  bool deleted = false;
  bool failAll = false;  // every call raises, as on a closed host
  // Changes raise while reads answer: a host that fails part way.
  bool failChanges = false;
  Point moved{};     // sum of all moves
  double scale = 1;  // product of all scalings

  std::string ObjectName() const override {
    check("ObjectName");
    return objectName_;
  }
  int Color() const override { return get(color, "Color"); }
  void SetColor(int c) override {
    checkChange("Color=");
    log("Color=" + std::to_string(c));
    if (undo_) undo_->push_back([this, was = color] { color = was; });
    color = c;
  }
  std::string Layer() const override { return get(layer, "Layer"); }
  void SetLayer(const std::string& l) override {
    checkChange("Layer=");
    log("Layer=" + l);
    if (undo_) undo_->push_back([this, was = layer] { layer = was; });
    layer = l;
  }
  void Move(const Point& from, const Point& to) override {
    checkChange("Move");
    log("Move");
    if (undo_) undo_->push_back([this, from, to] { shift(to, from); });
    shift(from, to);
  }
  void ScaleEntity(const Point&, double factor) override {
    checkChange("ScaleEntity");
    log("ScaleEntity");
    if (undo_)
      undo_->push_back([this, s = scale, r = radius, h = textHeight] {
        scale = s;
        radius = r;
        textHeight = h;
      });
    scale *= factor;
    if (radius) *radius *= factor;
    if (textHeight && textString) *textHeight *= factor;
  }
  void Delete() override {
    checkChange("Delete");
    log("Delete");
    if (undo_) undo_->push_back([this] { deleted = false; });
    deleted = true;
  }

 private:
  void shift(const Point& from, const Point& to) {
    for (int i = 0; i < 3; ++i) moved[i] += to[i] - from[i];
    if (textPosition)
      for (int i = 0; i < 3; ++i) (*textPosition)[i] += to[i] - from[i];
    if (centerPoint)
      for (int i = 0; i < 3; ++i) (*centerPoint)[i] += to[i] - from[i];
    if (insertion)
      for (int i = 0; i < 3; ++i) (*insertion)[i] += to[i] - from[i];
  }

 public:
  Point center() const override { return get(centerPoint, "center"); }
  double Radius() const override { return get(radius, "Radius"); }
  std::string TextString() const override {
    return get(textString, "TextString");
  }
  Point InsertionPoint() const override {
    return get(insertion, "InsertionPoint");
  }
  double Height() const override {
    if (!textString) return get(std::optional<double>(), "Height");
    return get(textHeight, "Height");
  }
  std::string Name() const override { return get(blockName, "Name"); }
  std::vector<Attribute> GetAttributes() const override {
    return get(attributes, "GetAttributes");
  }
  double Measurement() const override {
    return get(measurement, "Measurement");
  }
  Point TextPosition() const override {
    return get(textPosition, "TextPosition");
  }
  double TextHeight() const override { return get(textHeight, "TextHeight"); }
  std::string TextOverride() const override {
    return get(textOverride, "TextOverride");
  }
  int ToleranceDisplay() const override {
    return get(toleranceDisplay, "ToleranceDisplay");
  }
  double ToleranceUpperLimit() const override {
    return get(upper, "ToleranceUpperLimit");
  }
  double ToleranceLowerLimit() const override {
    return get(lower, "ToleranceLowerLimit");
  }
  int PrimaryUnitsPrecision() const override {
    return get(primaryPrecision, "PrimaryUnitsPrecision");
  }
  void SetPrimaryUnitsPrecision(int d) override {
    set(primaryPrecision, d, "PrimaryUnitsPrecision");
  }
  int TextPrecision() const override {
    return get(textPrecision, "TextPrecision");
  }
  void SetTextPrecision(int d) override {
    set(textPrecision, d, "TextPrecision");
  }
  int TolerancePrecision() const override {
    return get(tolerancePrecision, "TolerancePrecision");
  }
  void SetTolerancePrecision(int d) override {
    set(tolerancePrecision, d, "TolerancePrecision");
  }

 private:
  void check(const char* what) const {
    if (failAll || deleted)
      throw HostError(std::string(what) + ": the entity is gone");
  }
  void checkChange(const char* what) const {
    check(what);
    if (failChanges) throw HostError(std::string(what) + ": refused");
  }
  void log(const std::string& s) const {
    if (log_) log_->add(objectName_ + "." + s);
  }
  template <typename T>
  T get(const std::optional<T>& v, const char* what) const {
    check(what);
    if (!v) throw HostError(std::string(what) + ": no such property");
    return *v;
  }
  void set(std::optional<int>& v, int d, const char* what) {
    check(what);
    if (!v) throw HostError(std::string(what) + ": no such property");
    log(std::string(what) + "=" + std::to_string(d));
    v = d;
  }
  std::string objectName_;
  CallLog* log_;
  UndoStack* undo_;
};

class FakeModelSpace : public cadhost::ModelSpace {
 public:
  explicit FakeModelSpace(CallLog* log) : log_(log) {}
  std::vector<std::shared_ptr<FakeEntity>> items;
  UndoStack undo;
  bool failAdds = false;

  std::shared_ptr<FakeEntity> add(const std::string& objectName) {
    items.push_back(std::make_shared<FakeEntity>(objectName, log_, &undo));
    return items.back();
  }
  int Count() const override { return static_cast<int>(items.size()); }
  cadhost::EntityRef Item(int i) override {
    if (i < 0 || i >= Count()) throw HostError("Item: index out of range");
    return items[static_cast<size_t>(i)];
  }
  cadhost::EntityRef AddCircle(const Point& c, double r) override {
    if (failAdds) throw HostError("AddCircle failed");
    auto e = add("AcDbCircle");
    e->centerPoint = c;
    e->radius = r;
    if (log_) log_->add("AddCircle");
    undo.push_back([e] { e->deleted = true; });
    return e;
  }
  cadhost::EntityRef AddText(const std::string& t, const Point& p,
                             double h) override {
    if (failAdds) throw HostError("AddText failed");
    auto e = add("AcDbText");
    e->textString = t;
    e->insertion = p;
    e->textHeight = h;
    if (log_) log_->add("AddText " + t);
    undo.push_back([e] { e->deleted = true; });
    return e;
  }

 private:
  CallLog* log_;
};

class FakeApplication;

class FakeUtility : public cadhost::Utility {
 public:
  // Picks answered in order; nullopt is the user's Esc (Cancelled), and an
  // empty queue raises as a host that cannot pick does.
  std::vector<std::optional<Point>> picks;
  std::vector<std::string> prompts;
  std::vector<Point> cornerBases;
  // Runs as each pick is asked for, before it is answered.
  std::function<void(const std::string& prompt)> onPick;
  Point GetPoint(const std::optional<Point>&, const std::string& p) override {
    return next(p);
  }
  Point GetCorner(const Point& base, const std::string& p) override {
    cornerBases.push_back(base);
    return next(p);
  }

 private:
  Point next(const std::string& prompt) {
    prompts.push_back(prompt);
    if (onPick) onPick(prompt);
    if (picks.empty()) throw HostError("no pick queued");
    std::optional<Point> p = picks.front();
    picks.erase(picks.begin());
    if (!p) throw cadhost::Cancelled("pick cancelled");
    return *p;
  }
};

class FakeDocument : public cadhost::Document {
 public:
  FakeDocument(FakeApplication& app, CallLog* log)
      : modelSpace(log), app_(app), log_(log) {}

  FakeModelSpace modelSpace;
  FakeUtility utility;
  std::map<std::string, cadhost::Variable> variables{
      {"EXTMIN", Point{0, 0, 0}},
      {"EXTMAX", Point{400, 300, 0}},
      {"DIMDEC", 2.0},
      {"DIMTXT", 2.5},
      {"DIMLFAC", 1.0},
      {"CECOLOR", std::string("bylayer")},
      {"CLAYER", std::string("0")}};
  std::function<void()> closedHandler;
  // The colours shown over entities last (ShowResultColors).
  std::vector<std::pair<cadhost::EntityRef, int>> resultColors;

  cadhost::ModelSpace& GetModelSpace() override { return modelSpace; }
  void ShowResultColors(
      const std::vector<std::pair<cadhost::EntityRef, int>>& c) override {
    resultColors = c;
  }
  cadhost::Variable GetVariable(const std::string& name) override {
    std::string up = name;
    for (char& c : up) c = static_cast<char>(std::toupper(c));
    auto it = variables.find(up);
    if (it == variables.end()) throw HostError("GetVariable: " + name);
    return it->second;
  }
  void PurgeAll() override {
    if (log_) log_->add("PurgeAll");
  }
  void SendCommand(const std::string& c) override {
    if (log_) log_->add("SendCommand " + c);
    if (c != "Undo\r\r") throw HostError("unknown command");
    if (!modelSpace.undo.empty()) {
      modelSpace.undo.back()();
      modelSpace.undo.pop_back();
    }
  }
  // Steps between the marks are joined into one, as the host does.
  void StartUndoMark() override {
    if (log_) log_->add("StartUndoMark");
    if (markDepth_++ == 0) markStart_ = modelSpace.undo.size();
  }
  void EndUndoMark() override {
    if (log_) log_->add("EndUndoMark");
    if (markDepth_ == 0 || --markDepth_ > 0) return;
    auto& u = modelSpace.undo;
    if (u.size() < markStart_ + 2) return;
    fakes::UndoStack steps(u.begin() + static_cast<long>(markStart_), u.end());
    u.erase(u.begin() + static_cast<long>(markStart_), u.end());
    u.push_back([steps] {
      for (auto it = steps.rbegin(); it != steps.rend(); ++it) (*it)();
    });
  }
  cadhost::Utility& GetUtility() override { return utility; }
  cadhost::Application& GetApplication() override;
  void SetClosedHandler(std::function<void()> h) override {
    closedHandler = std::move(h);
  }
  // The user closes the drawing in the host.
  void close() {
    if (closedHandler) closedHandler();
  }
  std::function<void()> undoneHandler;
  void SetUndoneHandler(std::function<void()> h) override {
    undoneHandler = std::move(h);
  }
  // Ctrl+Z in the host's window: the last change taken back, and the
  // program told.
  void userUndo() {
    if (modelSpace.undo.empty()) return;
    modelSpace.undo.back()();
    modelSpace.undo.pop_back();
    if (undoneHandler) undoneHandler();
  }

 private:
  FakeApplication& app_;
  CallLog* log_;
  int markDepth_ = 0;
  size_t markStart_ = 0;
};

class FakeApplication : public cadhost::Application {
 public:
  CallLog log;
  std::map<std::string, std::shared_ptr<FakeDocument>> documents;
  bool visible = false;
  bool quit = false;
  std::string caption = "Fake CAD";
  std::vector<std::pair<Point, double>> zooms;

  // A document that Open(path) will return.
  std::shared_ptr<FakeDocument> addDocument(const std::string& path) {
    auto d = std::make_shared<FakeDocument>(*this, &log);
    documents[path] = d;
    return d;
  }

  std::string Caption() const override {
    alive();
    return caption;
  }
  // Runs first in Open: a test makes opening fail or be cancelled.
  std::function<void(const std::string& path)> beforeOpen;

  cadhost::DocumentRef Open(const std::string& path) override {
    alive();
    log.add("Open " + path);
    if (beforeOpen) beforeOpen(path);
    auto it = documents.find(path);
    if (it == documents.end()) throw HostError("cannot open " + path);
    return it->second;
  }
  bool Visible() const override {
    alive();
    return visible;
  }
  void SetVisible(bool v) override {
    alive();
    visible = v;
  }
  void Quit() override {
    alive();
    log.add("Quit");
    quit = true;
  }
  void ZoomCenter(const Point& c, double h) override {
    alive();
    zooms.emplace_back(c, h);
  }

 private:
  void alive() const {
    if (quit) throw HostError("the host has quit");
  }
};

inline cadhost::Application& FakeDocument::GetApplication() { return app_; }

}  // namespace fakes
