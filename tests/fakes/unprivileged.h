// Permission tests mean nothing to root, who writes anywhere. Run as root
// (as CI does), such a test runs itself again as an unprivileged user and
// takes that run's result as its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fakes {

// True where the test body should run now: as an ordinary user. As root it
// runs the current test as "nobody" in a child and gives false.
inline bool asUnprivilegedUser() {
  if (::geteuid() != 0) return true;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter =
      std::string(info->test_suite_name()) + "." + info->name();
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) {
    ADD_FAILURE() << "cannot find the test program: " << ec.message();
    return false;
  }
  const std::string command =
      "setpriv --reuid=65534 --regid=65534 --clear-groups --reset-env '" +
      exe.string() + "' --gtest_filter='" + filter + "' >&2";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "the test failed when run as an unprivileged user (" << command << ")";
  return false;
}

}  // namespace fakes
