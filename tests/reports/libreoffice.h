// LibreOffice as the independent judge of the workbooks we write: it opens
// them, computes every formula itself and saves the results.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace libreoffice {

inline std::string quote(const std::string& s) { return "'" + s + "'"; }

// Output and exit status of a shell command.
inline std::pair<int, std::string> shell(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {status, output};
}

// Saves LibreOffice's computation of the files into `out`. Its profile lies
// in `work`, so that the test neither needs nor touches $HOME, and is set
// to recalculate on load: left to itself it would take the results the
// files carry, ours, and a comparison would prove nothing.
inline void computes(const std::filesystem::path& work,
                     const std::vector<std::filesystem::path>& files,
                     const std::filesystem::path& out) {
  auto [found, where] = shell("command -v soffice");
  ASSERT_EQ(found, 0) << "LibreOffice (soffice) is not installed; "
                         "scripts/setup.sh installs libreoffice-calc-nogui";
  std::filesystem::create_directories(work / "profile" / "user");
  std::ofstream(work / "profile" / "user" / "registrymodifications.xcu")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<item oor:path=\"/org.openoffice.Office.Calc/Formula/Load\">"
         "<prop oor:name=\"OOXMLRecalcMode\" oor:op=\"fuse\"><value>0</value>"
         "</prop></item></oor:items>";
  std::string command = "timeout 300 soffice -env:UserInstallation=file://" +
                        (work / "profile").string() +
                        " --headless --calc --convert-to xlsx --outdir " +
                        quote(out.string());
  for (const auto& f : files) command += " " + quote(f.string());
  auto [status, output] = shell(command);
  ASSERT_EQ(status, 0) << output;
}

}  // namespace libreoffice
