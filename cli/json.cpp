#include "cli/json.h"

#include <charconv>
#include <cmath>

namespace cli {

void Json::comma() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (!first_.empty()) {
    if (!first_.back()) out_ += ',';
    first_.back() = false;
  }
}

Json& Json::beginObject() {
  comma();
  out_ += '{';
  first_.push_back(true);
  return *this;
}

Json& Json::endObject() {
  out_ += '}';
  first_.pop_back();
  return *this;
}

Json& Json::beginArray() {
  comma();
  out_ += '[';
  first_.push_back(true);
  return *this;
}

Json& Json::endArray() {
  out_ += ']';
  first_.pop_back();
  return *this;
}

Json& Json::key(std::string_view k) {
  comma();
  out_ += escape(k);
  out_ += ':';
  afterKey_ = true;
  return *this;
}

std::string Json::escape(std::string_view s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        r += "\\\"";
        break;
      case '\\':
        r += "\\\\";
        break;
      case '\n':
        r += "\\n";
        break;
      case '\r':
        r += "\\r";
        break;
      case '\t':
        r += "\\t";
        break;
      default:
        if (c < 0x20) {
          static const char* hex = "0123456789abcdef";
          r += "\\u00";
          r += hex[c >> 4];
          r += hex[c & 15];
        } else {
          r += static_cast<char>(c);
        }
    }
  }
  r += '"';
  return r;
}

Json& Json::value(std::string_view s) {
  comma();
  out_ += escape(s);
  return *this;
}

Json& Json::value(bool b) {
  comma();
  out_ += b ? "true" : "false";
  return *this;
}

Json& Json::value(std::int64_t v) {
  comma();
  out_ += std::to_string(v);
  return *this;
}

Json& Json::value(float v) {
  if (!std::isfinite(v)) return null();
  comma();
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out_.append(buf, r.ptr);
  return *this;
}

Json& Json::value(double v) {
  if (!std::isfinite(v)) return null();
  comma();
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out_.append(buf, r.ptr);
  return *this;
}

Json& Json::null() {
  comma();
  out_ += "null";
  return *this;
}

Json& Json::point(const std::array<double, 3>& p) {
  beginArray();
  for (double d : p) value(d);
  return endArray();
}

Json& Json::raw(std::string_view text) {
  comma();
  out_ += text;
  return *this;
}

}  // namespace cli
