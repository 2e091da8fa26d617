#include "cadhost/dwg/converter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <string_view>

extern char** environ;

namespace cadhost::dwg {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kLogKeep = 2000;
constexpr std::size_t kHeaderMax = 64;

std::string fileNameOf(const std::string& path) {
  return fs::path(path).filename().string();
}

ConversionError failure(Failure kind, const std::string& path,
                        const std::string& reason) {
  return ConversionError(
      kind, "DWG 图纸“" + fileNameOf(path) + "”无法转换：" + reason);
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// A descriptor for the child, above the three standard ones, so that
// dup2 onto 1, 2 or 3 always makes a fresh one without close-on-exec.
int highFd(int fd) {
  int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
  ::close(fd);
  return high;
}

void setNonBlocking(int fd) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

std::string lastLine(const std::string& text) {
  std::size_t end = text.find_last_not_of("\r\n \t");
  if (end == std::string::npos) return {};
  std::size_t begin = text.find_last_of('\n', end);
  begin = begin == std::string::npos ? 0 : begin + 1;
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> nodeCommand(const fs::path& dir,
                                     std::vector<std::string> flags,
                                     bool warm) {
  std::vector<std::string> cmd{"node"};
  for (auto& f : flags) cmd.push_back(std::move(f));
  cmd.push_back((dir / "convert.mjs").string());
  cmd.push_back("--serve");
  if (warm && fs::exists(dir / "warmup.dwg")) {
    cmd.push_back("--warmup");
    cmd.push_back((dir / "warmup.dwg").string());
  }
  return cmd;
}

std::vector<std::string> converterFiles(const fs::path& dir) {
  return {(dir / "convert.mjs").string(),
          (dir / "node_modules/@mlightcad/libredwg-web/wasm/libredwg-web.js")
              .string(),
          (dir / "node_modules/@mlightcad/libredwg-web/wasm/libredwg-web.wasm")
              .string()};
}

}  // namespace

ConverterSetup warmSetup(const fs::path& programDir) {
  fs::path dir = programDir / "dwg";
  ConverterSetup s;
  // The baseline compiler alone: LibreDWG is ready in a fraction of a
  // second and converts nearly as fast as after V8's optimising compile,
  // which costs 20 s and 0.8 GB (4.8 GB on Debian's Node.js 18).
  s.command = nodeCommand(dir, {"--liftoff-only"}, true);
  s.quickCommand = nodeCommand(dir, {"--liftoff-only"}, false);
  s.needs = converterFiles(dir);
  return s;
}

ConverterSetup oneShotSetup(const fs::path& programDir) {
  fs::path dir = programDir / "dwg";
  ConverterSetup s;
  s.command = nodeCommand(dir, {"--liftoff-only"}, false);
  s.needs = converterFiles(dir);
  s.idle = std::chrono::milliseconds(0);
  return s;
}

// ------------------------------------------------------------ cancel

CancelToken::CancelToken() {
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
    throw cadhost::HostError(std::string("pipe: ") + std::strerror(errno));
}

CancelToken::~CancelToken() {
  closeFd(pipe_[0]);
  closeFd(pipe_[1]);
}

void CancelToken::cancel() {
  if (cancelled_.exchange(true)) return;
  char c = 1;
  [[maybe_unused]] auto n = ::write(pipe_[1], &c, 1);
}

// ------------------------------------------------------------ converter

Converter::Converter(ConverterSetup setup) : setup_(std::move(setup)) {
  lastUse_ = Clock::now();
  if (setup_.idle.count() > 0) idler_ = std::thread([this] { idleLoop(); });
}

Converter::~Converter() {
  {
    std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  wake_.notify_all();
  if (idler_.joinable()) idler_.join();
  std::lock_guard lock(mutex_);
  stopLocked();
}

void Converter::startLocked() {
  for (const auto& f : setup_.needs) {
    std::error_code ec;
    if (!fs::exists(f, ec))
      throw ConversionError(Failure::Missing,
                            "缺少 DWG 转换程序的文件 " + f +
                                "（请重新构建或运行 scripts/setup.sh）");
  }
  if (setup_.command.empty())
    throw ConversionError(Failure::Missing, "没有配置 DWG 转换程序");

  int sv[2], lp[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
    throw ConversionError(Failure::Crashed,
                          std::string("socketpair: ") + std::strerror(errno));
  if (::pipe2(lp, O_CLOEXEC) != 0) {
    int err = errno;
    ::close(sv[0]);
    ::close(sv[1]);
    throw ConversionError(Failure::Crashed,
                          std::string("pipe: ") + std::strerror(err));
  }
  int childSock = highFd(sv[1]);
  int childLog = highFd(lp[1]);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&fa, childLog, 1);
  posix_spawn_file_actions_adddup2(&fa, childLog, 2);
  posix_spawn_file_actions_adddup2(&fa, childSock, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group: a stop takes whatever the converter started.
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP |
                                      POSIX_SPAWN_SETSIGMASK |
                                      POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (const auto& a : setup_.command)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  ::close(childSock);
  ::close(childLog);
  if (rc != 0) {
    ::close(sv[0]);
    ::close(lp[0]);
    if (rc == ENOENT)
      throw ConversionError(Failure::Missing,
                            "找不到 Node.js（" + setup_.command[0] +
                                "），转换 DWG 图纸需要它；请安装 Node.js"
                                "（Debian 的 nodejs 软件包）");
    throw ConversionError(
        Failure::Crashed,
        "无法启动转换程序 " + setup_.command[0] + "：" + std::strerror(rc));
  }
  pid_ = pid;
  socket_ = sv[0];
  log_ = lp[0];
  setNonBlocking(socket_);
  setNonBlocking(log_);
  logTail_.clear();
  ready_ = false;
  lastUse_ = Clock::now();
}

void Converter::stopLocked() {
  if (pid_ > 0) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  closeFd(socket_);
  closeFd(log_);
  ready_ = false;
}

void Converter::reapIfDeadLocked() {
  // A conversion under way finds out for itself, with the reason.
  if (pid_ <= 0 || busy_) return;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    // Gone on its own while idle: whatever it left in its group goes too.
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
    closeFd(socket_);
    closeFd(log_);
    ready_ = false;
  }
}

std::string Converter::deathReasonLocked() {
  // The reply channel closed: the process is ending. Give it a moment to
  // end by itself so that its exit status tells why.
  int status = 0;
  pid_t got = 0;
  if (pid_ <= 0) {
    stopLocked();
    return "转换程序不再应答";
  }
  for (int i = 0; i < 200 && got == 0; ++i) {
    got = ::waitpid(pid_, &status, WNOHANG);
    if (got == 0) ::usleep(10000);
  }
  std::string reason;
  if (got == pid_) {
    ::kill(-pid_, SIGKILL);
    pid_ = -1;
    if (WIFSIGNALED(status)) {
      reason =
          "转换程序意外终止（信号 " + std::to_string(WTERMSIG(status)) + "）";
    } else if (WEXITSTATUS(status) == 0) {
      reason = "转换程序没有答完就提前结束了";
    } else {
      reason = "转换程序出错退出（退出码 " +
               std::to_string(WEXITSTATUS(status)) + "）";
    }
  } else {
    reason = "转换程序不再应答";
  }
  // What it said last, often the reason itself.
  if (log_ >= 0) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(log_, buf, sizeof buf)) > 0) logTail_.append(buf, n);
  }
  std::string said = lastLine(logTail_);
  if (!said.empty()) reason += "：" + said;
  stopLocked();
  return reason;
}

void Converter::prepare() {
  std::lock_guard lock(mutex_);
  if (busy_ || quitting_) return;
  reapIfDeadLocked();
  if (pid_ > 0) return;
  try {
    startLocked();
  } catch (const ConversionError&) {
    // Said again, with the drawing's name, when a conversion asks.
  }
  lastUse_ = Clock::now();
  wake_.notify_all();
}

bool Converter::checkReadyLocked() {
  if (ready_ || socket_ < 0) return ready_;
  // "READY\n" comes in one write; anything else is for convert to judge.
  char buf[6];
  ssize_t n = ::recv(socket_, buf, sizeof buf, MSG_PEEK | MSG_DONTWAIT);
  if (n == 6 && std::string_view(buf, 6) == "READY\n") {
    [[maybe_unused]] auto taken = ::recv(socket_, buf, 6, MSG_DONTWAIT);
    ready_ = true;
  }
  return ready_;
}

bool Converter::running() {
  std::lock_guard lock(mutex_);
  reapIfDeadLocked();
  return pid_ > 0;
}

int Converter::pid() {
  std::lock_guard lock(mutex_);
  return pid_;
}

long Converter::peakMemoryKiB() {
  int p = pid();
  if (p <= 0) return 0;
  std::ifstream in("/proc/" + std::to_string(p) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

std::string Converter::convert(const std::string& path,
                               const CancelToken* cancel) {
  const auto deadline = Clock::now() + setup_.limit;
  int sock = -1, log = -1;
  bool ready = false, quick = false;
  {
    std::lock_guard lock(mutex_);
    if (busy_) throw ConversionError(Failure::Crashed, "另一个图纸正在转换");
    reapIfDeadLocked();
    try {
      if (pid_ <= 0) startLocked();
    } catch (const ConversionError& e) {
      throw ConversionError(
          e.kind(), "DWG 图纸“" + fileNameOf(path) + "”无法转换：" + e.what());
    }
    if (!checkReadyLocked() && !setup_.quickCommand.empty()) {
      quick = true;
    } else {
      busy_ = true;
      sock = socket_;
      log = log_;
      ready = ready_;
    }
  }
  if (quick) {
    // This one still starts: a one-shot converter takes the drawing.
    ConverterSetup once;
    once.command = setup_.quickCommand;
    once.needs = setup_.needs;
    once.limit = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - Clock::now());
    once.idle = std::chrono::milliseconds(0);
    Converter oneShot(once);
    return oneShot.convert(path, cancel);
  }

  // Whatever happens below, the converter is free again afterwards; one
  // that failed is gone and is started afresh next time.
  bool keep = false;
  auto finish = [&] {
    std::lock_guard lock(mutex_);
    busy_ = false;
    if (keep)
      ready_ = true;
    else if (pid_ > 0)
      stopLocked();
    lastUse_ = Clock::now();
    wake_.notify_all();
  };

  std::string in;  // bytes read from the socket, not yet taken
  // Waits for the socket (to read, or to write), the log, the cancel and
  // the clock; the log is drained on the way.
  auto wait = [&](short events) {
    for (;;) {
      if (cancel && cancel->cancelled())
        throw cadhost::Cancelled("the conversion was cancelled");
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - Clock::now());
      if (left.count() <= 0)
        throw failure(Failure::TimedOut, path,
                      "转换超过 " +
                          std::to_string(setup_.limit.count() / 1000) +
                          " 秒仍未完成，已停止");
      pollfd fds[3] = {{sock, events, 0}, {log, POLLIN, 0}, {-1, POLLIN, 0}};
      if (cancel) fds[2].fd = cancel->waitFd();
      int n = ::poll(fds, 3,
                     static_cast<int>(std::min<long long>(left.count(), 1000)));
      if (n < 0 && errno != EINTR)
        throw failure(Failure::Crashed, path,
                      std::string("poll: ") + std::strerror(errno));
      if (n <= 0) continue;
      if (fds[1].revents & POLLIN) {
        char buf[4096];
        ssize_t got = ::read(log, buf, sizeof buf);
        if (got > 0) {
          std::lock_guard lock(mutex_);
          logTail_.append(buf, static_cast<size_t>(got));
          if (logTail_.size() > kLogKeep)
            logTail_.erase(0, logTail_.size() - kLogKeep);
        } else if (got == 0) {
          log = -1;  // closed: poll no longer watches it
        }
      } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        log = -1;
      }
      if (fds[0].revents & (events | POLLHUP | POLLERR)) return;
    }
  };
  auto died = [&]() -> ConversionError {
    std::lock_guard lock(mutex_);
    return failure(Failure::Crashed, path, deathReasonLocked());
  };
  // More bytes from the socket into `in`; false at its end.
  auto readMore = [&]() -> bool {
    for (;;) {
      wait(POLLIN);
      char buf[1 << 16];
      ssize_t got = ::read(sock, buf, sizeof buf);
      if (got > 0) {
        in.append(buf, static_cast<size_t>(got));
        return true;
      }
      if (got == 0) return false;
      if (errno != EAGAIN && errno != EINTR) return false;
    }
  };
  auto line = [&]() -> std::string {
    for (;;) {
      std::size_t nl = in.find('\n');
      if (nl != std::string::npos) {
        std::string l = in.substr(0, nl);
        in.erase(0, nl + 1);
        return l;
      }
      if (in.size() > kHeaderMax)
        throw failure(Failure::Garbled, path, "转换程序的回答无法识别");
      if (!readMore()) throw died();
    }
  };
  auto sendAll = [&](const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
      ssize_t n =
          ::send(sock, data.data() + off, data.size() - off, MSG_NOSIGNAL);
      if (n > 0) {
        off += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        wait(POLLOUT);
      } else {
        throw died();
      }
    }
  };

  try {
    if (!ready) {
      std::string hello = line();
      if (hello != "READY")
        throw failure(Failure::Garbled, path, "转换程序的回答无法识别");
    }
    sendAll("CONVERT " + std::to_string(path.size()) + "\n" + path);
    std::string header = line();
    std::size_t space = header.find(' ');
    std::string word = header.substr(0, space);
    std::size_t size = 0;
    bool sized = false;
    if (space != std::string::npos) {
      const char* b = header.data() + space + 1;
      const char* e = header.data() + header.size();
      auto [p, ec] = std::from_chars(b, e, size);
      sized = ec == std::errc() && p == e && b != e;
    }
    if (!sized || (word != "OK" && word != "FAIL") || size > (1ull << 31))
      throw failure(Failure::Garbled, path, "转换程序的回答无法识别");
    if (word == "OK") in.reserve(size);
    while (in.size() < size)
      if (!readMore()) throw died();
    if (in.size() != size)
      throw failure(Failure::Garbled, path, "转换程序的回答无法识别");
    if (word == "FAIL")
      throw failure(Failure::Unreadable, path,
                    "转换程序读不了这个文件（" + in + "）");
    keep = true;
    finish();
    return in;
  } catch (...) {
    finish();
    throw;
  }
}

void Converter::idleLoop() {
  std::unique_lock lock(mutex_);
  while (!quitting_) {
    if (pid_ > 0 && !busy_) {
      auto due = lastUse_ + setup_.idle;
      if (Clock::now() >= due) {
        stopLocked();
        continue;
      }
      wake_.wait_until(lock, due);
    } else {
      wake_.wait(lock);
    }
  }
}

}  // namespace cadhost::dwg
