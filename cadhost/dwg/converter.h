// The DWG converter as a child process: LibreDWG under Node.js turns a DWG
// into DXF bytes. The process is ours alone and may be kept warm between
// drawings; a crash, a hang or garbage from it ends the conversion with a
// ConversionError and never reaches the program. Plain POSIX, no Qt.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cadhost/host.h"

namespace cadhost::dwg {

// How the converter is started.
struct ConverterSetup {
  // The program (looked up on PATH unless it has a slash) and its
  // arguments.
  std::vector<std::string> command;
  // Files that must be there; a missing one fails before anything starts.
  std::vector<std::string> needs;
  // A one-shot converter for a drawing asked for while this one still
  // starts, so that the user need not wait for the start; empty: wait.
  std::vector<std::string> quickCommand;
  // One conversion, the start included, takes at most this long.
  std::chrono::milliseconds limit{60000};
  // A converter unused this long is let go; zero keeps it.
  std::chrono::milliseconds idle{std::chrono::minutes(5)};
};

// The converter beside the programs (dwg/ next to them). The window keeps
// one warm: its WebAssembly is compiled by the optimising tier up front
// (seconds of work, then the fastest conversions) and a small drawing is
// converted at once; a drawing asked for before that is done goes to a
// one-shot converter. A one-shot converter uses the baseline compiler
// alone, which starts in a fraction of a second and converts more slowly.
ConverterSetup warmSetup(const std::filesystem::path& programDir);
ConverterSetup oneShotSetup(const std::filesystem::path& programDir);

enum class Failure {
  Missing,     // no Node.js, or converter files missing
  Unreadable,  // the converter could not read the drawing
  Crashed,     // the process died or exited with an error
  TimedOut,    // no answer within the limit
  Garbled,     // an answer that is not the protocol's
};

// Every failure of a conversion; the text is for the user (Chinese) and
// names the drawing.
class ConversionError : public cadhost::HostError {
 public:
  ConversionError(Failure kind, const std::string& message)
      : cadhost::HostError(message), kind_(kind) {}
  Failure kind() const { return kind_; }

 private:
  Failure kind_;
};

// What a cancel button holds: cancel() from any thread stops the one
// conversion it was given to.
class CancelToken {
 public:
  CancelToken();
  ~CancelToken();
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void cancel();
  bool cancelled() const { return cancelled_.load(); }
  int waitFd() const { return pipe_[0]; }

 private:
  std::atomic<bool> cancelled_{false};
  int pipe_[2] = {-1, -1};
};

class Converter {
 public:
  explicit Converter(ConverterSetup setup);
  ~Converter();
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Starts a converter in the background when none runs; returns at once.
  // A converter that cannot start says so at the next convert.
  void prepare();

  // The DXF of the DWG at path. Blocks until the answer, the limit or a
  // cancel; raises ConversionError, or cadhost::Cancelled for a cancel. A
  // converter that failed in any way is replaced before the next one. One
  // conversion at a time.
  std::string convert(const std::string& path, const CancelToken* cancel);

  // Whether a converter process is alive now, and its id (-1 without one).
  bool running();
  int pid();
  // The highest resident memory of the current converter, in KiB (0 when
  // unknown).
  long peakMemoryKiB();

 private:
  struct Reply;
  void startLocked();
  void stopLocked();
  void reapIfDeadLocked();
  bool checkReadyLocked();
  std::string deathReasonLocked();
  void idleLoop();

  const ConverterSetup setup_;
  std::mutex mutex_;
  std::condition_variable wake_;
  int pid_ = -1;
  int socket_ = -1;  // requests and replies
  int log_ = -1;     // the process's stdout and stderr
  std::string logTail_;
  bool ready_ = false;
  bool busy_ = false;
  bool quitting_ = false;
  std::chrono::steady_clock::time_point lastUse_;
  std::thread idler_;
};

}  // namespace cadhost::dwg
