// A gauge on a serial port: its settings, the lines it sends, and each
// reading entered as Enter enters a typed one (browse/entry_keys.h), into
// the sample box that has the focus and on in the order chosen. The port
// itself is the window's (app/); everything here is plain C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace forms {
class Desktop;
}  // namespace forms
namespace model {
class Form1;
}  // namespace model

namespace browse {

// Which part of a line is the reading.
struct ReadingPart {
  enum class Mode {
    Line,     // the whole line ("+012.345 mm")
    Field,    // a field between blanks, tabs or ";": 2, or -1 the last
    Columns,  // characters from..to, from 1 ("01A+00012.345": 4-)
  };
  Mode mode = Mode::Line;
  int field = 1;
  int from = 1;
  int to = 0;  // 0: to the end of the line
  friend bool operator==(const ReadingPart&, const ReadingPart&) = default;
};

// "" for the whole line, "2" or "-1" for a field, "4-13" or "4-" for
// columns: what the settings window types and the settings keep.
std::optional<ReadingPart> readingPartOf(std::string_view mode,
                                         std::string_view where);
std::string modeName(ReadingPart::Mode mode);  // "line", "field", "columns"
std::string whereText(const ReadingPart& part);

// The reading part of one line, or nothing when the line has no such part.
std::optional<std::string> partOfLine(std::string_view line,
                                      const ReadingPart& part);

struct GaugeSettings {
  enum class Parity { None, Even, Odd };
  enum class StopBits { One, OneAndHalf, Two };
  std::string port;  // "/dev/ttyUSB0"
  int baud = 9600;
  int dataBits = 8;
  Parity parity = Parity::None;
  StopBits stopBits = StopBits::One;
  ReadingPart part;
  friend bool operator==(const GaugeSettings&, const GaugeSettings&) = default;
};

// Kept between runs under "measure/gauge/…"; what was never kept, or no longer
// reads, takes the default.
GaugeSettings loadGaugeSettings(forms::Desktop& desktop);
void saveGaugeSettings(forms::Desktop& desktop, const GaugeSettings& s);

// The lines of a byte stream: each ends at CR, LF or CR LF. A line longer
// than any reading is cut off and comes out as garbage (an overlong line),
// so that a port sending noise without line ends cannot fill memory.
class LineSplitter {
 public:
  static constexpr std::size_t kLongest = 256;
  struct Line {
    std::string text;
    bool overlong = false;
  };
  void feed(std::string_view bytes);
  // The lines complete so far, oldest first; empty lines are dropped.
  std::vector<Line> take();
  // What came after the last line end.
  const std::string& pending() const { return partial_; }
  void clear();

 private:
  std::vector<Line> lines_;
  std::string partial_;
  bool overlong_ = false;
  bool afterCr_ = false;
};

// The lines of one connection of the port, entered into the main window.
class GaugeFeed {
 public:
  // The bytes as they came; each complete line is entered at once. The
  // focused box is the sample box (0 to 4) that has the keyboard focus, or
  // -1 when none has: the reading then goes where the order stands.
  void bytes(model::Form1& f, std::string_view data, int focusedBox,
             const ReadingPart& part);
  // One line (without its end), as bytes() enters it.
  void line(model::Form1& f, std::string_view text, bool overlong,
            int focusedBox, const ReadingPart& part);
  // The port is gone (unplugged, closed by the system): told once, with
  // what was left of a line; the readings entered stay stored.
  void lost(model::Form1& f, const std::string& port, const std::string& why);
  // A new connection.
  void reset();

  int entered() const { return entered_; }

 private:
  LineSplitter lines_;
  // Set after a line that is no reading was told of: the ones after it are
  // not, until a reading gets through.
  bool garbageTold_ = false;
  bool nowhereTold_ = false;
  int entered_ = 0;
};

// The serial port a gauge is plugged into, as the window's program has it
// (Qt Serial Port); the command line has none.
class GaugePort {
 public:
  virtual ~GaugePort() = default;
  // The ports the system lists ("/dev/ttyUSB0").
  virtual std::vector<std::string> available() = 0;
  // Opens the port of these settings, closing the one open; empty when it
  // opened, else why not.
  virtual std::string open(const GaugeSettings& settings) = 0;
  virtual void close() = 0;
  // The port open now; empty when none is.
  virtual std::string openName() const = 0;
};

// Shown bytes of a line in a message: control characters and broken UTF-8
// as "?", cut at 40 characters.
std::string shownLine(std::string_view line);

}  // namespace browse
