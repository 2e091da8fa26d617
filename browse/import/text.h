// Small text helpers the import formats share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace browse::import::text {

std::string_view trim(std::string_view s);
std::string lower(std::string_view s);
// The file's lines without their CR/LF, after a UTF-8 byte order mark.
std::vector<std::string_view> lines(std::string_view bytes);
std::vector<std::string_view> split(std::string_view line, char separator);
// CSV fields: a field in double quotes may hold the separator, and "" in
// it stands for one quote.
std::vector<std::string> csvFields(std::string_view line, char separator);
// Whitespace-separated words with the column each starts at.
struct Word {
  std::string_view text;
  std::size_t at = 0;
};
std::vector<Word> words(std::string_view line);
bool startsWithNoCase(std::string_view s, std::string_view prefix);

}  // namespace browse::import::text
