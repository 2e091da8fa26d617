// DXF tags: a group code and its value text, read from ASCII or binary DXF.
// Values stay text (the file's own bytes for ASCII), so a file written back
// from unchanged tags is the file that was read.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cadhost::engine {

// How a group code's value is stored in binary DXF and validated on load.
enum class ValueType : std::uint8_t {
  String,
  Real,
  Int16,
  Int32,
  Int64,
  Bool,
  Handle,
  Binary
};
ValueType valueType(int code);
inline bool isNumeric(ValueType t) {
  return t == ValueType::Real || t == ValueType::Int16 ||
         t == ValueType::Int32 || t == ValueType::Int64 || t == ValueType::Bool;
}

// Large buffers (a drawing's bytes, its tags) come in huge pages where the
// system offers them: page faults of small pages cost more than the parse.
void* allocateBig(std::size_t bytes);
void releaseBig(void* p, std::size_t bytes);

template <typename T>
struct BigAllocator {
  using value_type = T;
  BigAllocator() = default;
  template <typename U>
  BigAllocator(const BigAllocator<U>&) {}
  T* allocate(std::size_t n) {
    return static_cast<T*>(allocateBig(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) { releaseBig(p, n * sizeof(T)); }
  friend bool operator==(const BigAllocator&, const BigAllocator&) {
    return true;
  }
};

using Bytes =
    std::basic_string<char, std::char_traits<char>, BigAllocator<char>>;

// The whole file; raises HostError naming the path when it cannot be read.
Bytes readFileBytes(const std::string& path);

struct Tag {
  int code = 0;
  // Index of this tag in the loaded file, -1 for a tag the engine made.
  // The writer copies tags with an origin byte for byte.
  std::int32_t origin = -1;
  std::string_view value;
};

using Tags = std::span<const Tag>;

// Number text as DXF writes it: blanks around, an optional '+'.
std::optional<double> parseReal(std::string_view text);
std::optional<long long> parseInt(std::string_view text);
std::optional<std::uint64_t> parseHandle(std::string_view text);
// Shortest text that reads back as the same double; integral values keep a
// ".0" as DXF writers do.
std::string formatReal(double value);
std::string formatHandle(std::uint64_t handle);

// Stable storage for value texts the engine makes (edits, binary values).
class Arena {
 public:
  std::string_view store(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

// A whole file as tags. Tag i occupies bytes [offsets[i], offsets[i+1]).
// The tags are views into `bytes`, whose characters move with the string
// when it is short, so a TagFile stays where it was read.
struct TagFile {
  TagFile() = default;
  TagFile(const TagFile&) = delete;
  TagFile& operator=(const TagFile&) = delete;

  Bytes bytes;
  std::vector<Tag, BigAllocator<Tag>> tags;
  std::vector<std::uint32_t, BigAllocator<std::uint32_t>> offsets;
  bool binary = false;
  bool binaryShortCodes = false;  // R12 binary: one-byte group codes
  std::string eol = "\r\n";
  char lineBreak = '\n';  // what ends a line, for line numbers
  bool padCodes = true;   // group codes right-aligned in three columns
  std::shared_ptr<Arena> arena = std::make_shared<Arena>();

  // "line N" for ASCII, "byte N" for binary: where tag i starts.
  std::string where(std::size_t tagIndex) const;
  std::string whereOffset(std::size_t byteOffset) const;
};

// Splits a file into tags, checking group codes and numeric values, into
// a fresh `into`. Raises HostError naming the line and the reason.
void readTags(TagFile& into, Bytes bytes);

inline bool isBinaryDxf(std::string_view bytes) {
  return bytes.starts_with(
      std::string_view("AutoCAD Binary DXF\r\n\x1a\0", 22));
}

// Text of tags in the file's format: ASCII code and value lines, or binary.
void appendTag(Bytes& out, const TagFile& file, int code,
               std::string_view value);

}  // namespace cadhost::engine
