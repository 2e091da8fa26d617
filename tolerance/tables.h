// The size-range file and the per-material tolerance files of dimdata/.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace model {
class Form1;
}  // namespace model

namespace tolerance {

// A table file that cannot be used; the message names the file and line.
class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kSizeFile = "div.txt";
inline constexpr const char* kPlasticFile = "plastic.txt";
inline constexpr const char* kMetalFile = "metal.txt";

// Reads 1 to 7 bounds; count is the index of the last one read.
void readSizeBounds(const std::filesystem::path& file,
                    std::array<float, 7>& bounds, std::int32_t& count);
// Reads the first 7 lines; lines beyond are ignored.
void readTolerances(const std::filesystem::path& file,
                    std::array<float, 7>& values);

// Writers with CR LF lines. The bounds file gets entries 0 to 5 as the
// shortest text of each single; the tolerance file the seven texts as typed.
// Both replace the file in one step, so a failed write loses nothing.
void writeSizeBounds(const std::filesystem::path& file,
                     const std::array<float, 7>& bounds);
void writeTolerances(const std::filesystem::path& file,
                     const std::array<std::string, 7>& texts);
// Both at once: either both files are replaced or neither is.
void writeTables(const std::filesystem::path& sizeFile,
                 const std::array<float, 7>& bounds,
                 const std::filesystem::path& toleranceFile,
                 const std::array<std::string, 7>& texts);

// The main window's `read`: the bounds, then the table of the material
// selected now. A missing table file ends the program after its message;
// any other fault raises TableError.
void read(model::Form1& f);

// A material chosen in the file frame brings its own table: metal parts get
// metal tolerances. A table that cannot be read is reported and the
// tolerances in use stay.
void materialChanged(model::Form1& f);

}  // namespace tolerance
