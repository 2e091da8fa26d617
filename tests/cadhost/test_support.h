// Helpers of the drawing engine's tests: fixture paths, files, a small JSON
// reader for the fixtures' expected values.
#pragma once

#include <gtest/gtest.h>

#include "fakes/temp_dir.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cadhost/engine/embedded_host.h"

namespace enginetest {

inline std::string fixture(const std::string& name) {
  return std::string(DIMMARK_DXF_FIXTURES) + "/" + name;
}

inline std::string readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

using TempDir = fakes::TempDir;

// A host with one drawing open.
struct Opened {
  cadhost::ApplicationRef app;
  cadhost::DocumentRef doc;
  std::shared_ptr<cadhost::engine::EngineDocument> engine;
  cadhost::ModelSpace& ms() { return doc->GetModelSpace(); }
};

inline Opened open(const std::string& path,
                   std::shared_ptr<cadhost::PickSource> picks = nullptr) {
  Opened o;
  o.app = cadhost::engine::makeEmbeddedHost(std::move(picks));
  o.doc = o.app->Open(path);
  o.engine = std::dynamic_pointer_cast<cadhost::engine::EngineDocument>(o.doc);
  return o;
}

// Writes DXF text (lines joined by "\n") to a file and opens it.
inline Opened openText(const TempDir& dir, const std::string& name,
                       const std::string& text) {
  writeBytes(dir.file(name), text);
  return open(dir.file(name));
}

struct Json {
  enum Type { Null, Bool, Number, String, Array, Object } type = Null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> array;
  std::vector<std::pair<std::string, Json>> object;

  const Json* get(const std::string& key) const {
    for (const auto& [k, v] : object)
      if (k == key) return &v;
    return nullptr;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view s) : s_(s) {}
  Json value() {
    space();
    Json j;
    if (at('{')) {
      j.type = Json::Object;
      ++i_;
      space();
      if (at('}')) return ++i_, j;
      for (;;) {
        space();
        std::string key = str();
        space();
        expect(':');
        j.object.emplace_back(key, value());
        space();
        if (at(',')) {
          ++i_;
          continue;
        }
        expect('}');
        return j;
      }
    }
    if (at('[')) {
      j.type = Json::Array;
      ++i_;
      space();
      if (at(']')) return ++i_, j;
      for (;;) {
        j.array.push_back(value());
        space();
        if (at(',')) {
          ++i_;
          continue;
        }
        expect(']');
        return j;
      }
    }
    if (at('"')) {
      j.type = Json::String;
      j.string = str();
      return j;
    }
    if (s_.substr(i_, 4) == "true")
      return i_ += 4, j.type = Json::Bool, j.boolean = true, j;
    if (s_.substr(i_, 5) == "false") return i_ += 5, j.type = Json::Bool, j;
    if (s_.substr(i_, 4) == "null") return i_ += 4, j;
    j.type = Json::Number;
    auto [p, ec] =
        std::from_chars(s_.data() + i_, s_.data() + s_.size(), j.number);
    if (ec != std::errc()) throw std::runtime_error("bad JSON number");
    i_ = static_cast<std::size_t>(p - s_.data());
    return j;
  }

 private:
  bool at(char c) const { return i_ < s_.size() && s_[i_] == c; }
  void space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' ||
                              s_[i_] == '\r' || s_[i_] == '\t'))
      ++i_;
  }
  void expect(char c) {
    if (!at(c)) throw std::runtime_error(std::string("JSON: expected ") + c);
    ++i_;
  }
  void utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  std::string str() {
    expect('"');
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = s_[i_++];
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          unsigned cp = 0;
          std::from_chars(s_.data() + i_, s_.data() + i_ + 4, cp, 16);
          i_ += 4;
          utf8(out, cp);
          break;
        }
        default:
          out += e;
      }
    }
    expect('"');
    return out;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

inline Json parseJson(std::string_view text) {
  return JsonReader(text).value();
}

// Lines of DXF text: code/value pairs in the usual layout.
inline std::string dxf(
    std::initializer_list<std::pair<int, std::string>> tags) {
  std::string out;
  for (const auto& [code, value] : tags) {
    std::string c = std::to_string(code);
    if (c.size() < 3) out += std::string(3 - c.size(), ' ');
    out += c + "\n" + value + "\n";
  }
  return out;
}

}  // namespace enginetest
