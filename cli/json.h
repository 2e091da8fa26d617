// A small JSON writer for the tool's one-line outputs.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

class Json {
 public:
  Json& beginObject();
  Json& endObject();
  Json& beginArray();
  Json& endArray();
  Json& key(std::string_view k);

  Json& value(std::string_view s);
  Json& value(const char* s) { return value(std::string_view(s)); }
  Json& value(const std::string& s) { return value(std::string_view(s)); }
  Json& value(bool b);
  Json& value(int v) { return value(static_cast<std::int64_t>(v)); }
  Json& value(std::int64_t v);
  Json& value(float v);   // shortest text of the single
  Json& value(double v);  // shortest text of the double
  Json& null();
  Json& point(const std::array<double, 3>& p);
  Json& raw(std::string_view text);

  template <typename T>
  Json& field(std::string_view k, const T& v) {
    key(k);
    return value(v);
  }

  const std::string& str() const { return out_; }

  static std::string escape(std::string_view s);

 private:
  void comma();
  std::string out_;
  std::vector<bool> first_;
  bool afterKey_ = false;
};

}  // namespace cli
