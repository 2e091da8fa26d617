// The DWG converter's client against a fake converter that misbehaves on
// purpose: every way a child process can fail ends in one clear error, and
// the next conversion works again.
#include "cadhost/dwg/converter.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <thread>

#include "fakes/temp_dir.h"

namespace {

using cadhost::dwg::CancelToken;
using cadhost::dwg::ConversionError;
using cadhost::dwg::Converter;
using cadhost::dwg::ConverterSetup;
using cadhost::dwg::Failure;
using namespace std::chrono_literals;

ConverterSetup fake(const std::string& mode,
                    std::chrono::milliseconds limit = 10s) {
  ConverterSetup s;
  s.command = {"/usr/bin/python3", DIMMARK_FAKE_CONVERTER, mode};
  s.limit = limit;
  s.idle = 0ms;
  return s;
}

struct Drawing {
  fakes::TempDir dir;
  std::string path = dir.file("零件 7.dwg");
  Drawing() { std::ofstream(path, std::ios::binary) << "AC1032 drawing"; }
};

// The failure a conversion ends with, its text checked by the caller.
ConversionError failureOf(Converter& c, const std::string& path,
                          const CancelToken* cancel = nullptr) {
  try {
    c.convert(path, cancel);
  } catch (const ConversionError& e) {
    return e;
  }
  ADD_FAILURE() << "the conversion did not fail";
  return ConversionError(Failure::Garbled, "");
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string replyBody(const std::string& reply) {
  return reply.substr(reply.find(':') + 1);
}

bool processGone(int pid) {
  if (::kill(pid, 0) != 0) return true;
  // A zombie waiting for its new parent is gone as well.
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string s;
  std::getline(stat, s);
  auto close = s.rfind(')');
  return close != std::string::npos && s.size() > close + 2 &&
         s[close + 2] == 'Z';
}

TEST(Converter, ConvertsAndKeepsTheProcessWarm) {
  Drawing d;
  Converter c(fake("ok"));
  EXPECT_FALSE(c.running());
  c.prepare();
  ASSERT_TRUE(c.running());
  int pid = c.pid();
  std::string first = c.convert(d.path, nullptr);
  EXPECT_EQ(replyBody(first), "AC1032 drawing");
  EXPECT_EQ(first.substr(0, first.find(':')), std::to_string(pid));
  // The same process answers the next drawing.
  EXPECT_EQ(c.convert(d.path, nullptr), first);
  EXPECT_EQ(c.pid(), pid);
}

TEST(Converter, FailuresNameTheDrawingAndTheReason) {
  Drawing d;
  struct Case {
    const char* mode;
    Failure kind;
    const char* reason;
  };
  const Case cases[] = {
      {"fail", Failure::Unreadable, "table index is out of bounds"},
      {"crash", Failure::Crashed, "信号 11"},
      {"error-exit", Failure::Crashed, "退出码 5）：fatal: out of memory"},
      {"exit-at-start", Failure::Crashed, "fatal: cannot load the converter"},
      {"garbage", Failure::Garbled, "无法识别"},
      {"short", Failure::Crashed, "提前结束"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.mode);
    Converter c(fake(k.mode));
    ConversionError e = failureOf(c, d.path);
    EXPECT_EQ(e.kind(), k.kind);
    std::string text = e.what();
    EXPECT_TRUE(contains(text, "DWG 图纸“零件 7.dwg”无法转换：")) << text;
    EXPECT_TRUE(contains(text, k.reason)) << text;
    // A converter that failed is not kept.
    EXPECT_FALSE(c.running());
  }
}

TEST(Converter, AHangIsStoppedAtTheLimitWithEverythingItStarted) {
  Drawing d;
  std::string helperFile = d.dir.file("helper");
  ConverterSetup s = fake("group-hang", 700ms);
  s.command.push_back(helperFile);
  Converter c(s);
  auto start = std::chrono::steady_clock::now();
  ConversionError e = failureOf(c, d.path);
  EXPECT_EQ(e.kind(), Failure::TimedOut);
  EXPECT_TRUE(contains(e.what(), "仍未完成，已停止")) << e.what();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_FALSE(c.running());
  int helper = 0;
  std::ifstream(helperFile) >> helper;
  ASSERT_GT(helper, 0);
  for (int i = 0; i < 100 && !processGone(helper); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(processGone(helper)) << helper;
}

TEST(Converter, ACancelStopsTheConversionAtOnce) {
  Drawing d;
  for (const char* mode : {"hang", "slow-start"}) {
    SCOPED_TRACE(mode);
    Converter c(fake(mode, 20s));
    CancelToken token;
    std::thread user([&] {
      std::this_thread::sleep_for(300ms);
      token.cancel();
    });
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(c.convert(d.path, &token), cadhost::Cancelled);
    user.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_FALSE(c.running());
  }
  // A cancel made before the conversion starts holds as well, and a fresh
  // token converts.
  Converter c(fake("ok"));
  CancelToken early;
  early.cancel();
  EXPECT_THROW(c.convert(d.path, &early), cadhost::Cancelled);
  CancelToken fresh;
  EXPECT_EQ(replyBody(c.convert(d.path, &fresh)), "AC1032 drawing");
}

TEST(Converter, ADrawingAskedForWhileTheConverterStartsGoesToAOneShot) {
  Drawing d;
  ConverterSetup s = fake("slow-start");
  s.quickCommand = fake("ok").command;
  Converter c(s);
  c.prepare();
  int warming = c.pid();
  std::string reply = c.convert(d.path, nullptr);
  EXPECT_EQ(replyBody(reply), "AC1032 drawing");
  EXPECT_NE(reply.substr(0, reply.find(':')), std::to_string(warming));
  // The converter being started is kept for the next drawing.
  EXPECT_TRUE(c.running());
  EXPECT_EQ(c.pid(), warming);
}

TEST(Converter, AConverterThatDiedIsReplaced) {
  Drawing d;
  Converter c(fake("ok"));
  c.convert(d.path, nullptr);
  int first = c.pid();
  ::kill(first, SIGKILL);
  for (int i = 0; i < 100 && c.running(); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(c.running());
  std::string reply = c.convert(d.path, nullptr);
  EXPECT_EQ(replyBody(reply), "AC1032 drawing");
  EXPECT_NE(c.pid(), first);
}

TEST(Converter, AFailureLeavesTheNextConversionWorking) {
  Drawing d;
  fakes::TempDir dir;
  // The first start finds the converter broken, the second a good one.
  std::string mode = dir.file("mode");
  std::ofstream(mode) << "crash";
  ConverterSetup s;
  s.command = {"/bin/sh", "-c",
               std::string("exec /usr/bin/python3 ") + DIMMARK_FAKE_CONVERTER +
                   " \"$(cat '" + mode + "')\""};
  s.idle = 0ms;
  Converter c(s);
  EXPECT_EQ(failureOf(c, d.path).kind(), Failure::Crashed);
  std::ofstream(mode, std::ios::trunc) << "ok";
  EXPECT_EQ(replyBody(c.convert(d.path, nullptr)), "AC1032 drawing");
}

TEST(Converter, AnIdleConverterIsLetGo) {
  Drawing d;
  ConverterSetup s = fake("ok");
  s.idle = 300ms;
  Converter c(s);
  c.convert(d.path, nullptr);
  EXPECT_TRUE(c.running());
  for (int i = 0; i < 300 && c.running(); ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(c.running());
  // Asked again, it starts anew.
  EXPECT_EQ(replyBody(c.convert(d.path, nullptr)), "AC1032 drawing");
}

TEST(Converter, AMissingNodeOrConverterFileIsSaid) {
  Drawing d;
  ConverterSetup noNode = fake("ok");
  noNode.command[0] = "dimmark-no-such-node";
  Converter a(noNode);
  ConversionError e = failureOf(a, d.path);
  EXPECT_EQ(e.kind(), Failure::Missing);
  EXPECT_TRUE(contains(e.what(), "找不到 Node.js（dimmark-no-such-node）"))
      << e.what();
  EXPECT_TRUE(contains(e.what(), "零件 7.dwg")) << e.what();

  ConverterSetup noFiles = fake("ok");
  noFiles.needs = {d.dir.file("dwg/convert.mjs")};
  Converter b(noFiles);
  e = failureOf(b, d.path);
  EXPECT_EQ(e.kind(), Failure::Missing);
  EXPECT_TRUE(contains(e.what(), d.dir.file("dwg/convert.mjs"))) << e.what();
  // prepare() says nothing; the conversion does.
  b.prepare();
  EXPECT_FALSE(b.running());
}

}  // namespace
