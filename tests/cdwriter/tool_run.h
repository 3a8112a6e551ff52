// Runs the tools that read discs and archives back (xorriso, isoinfo, the LZH tool, 7-Zip) for
// the tests of the disc writer and of the program around it.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

namespace cdwriter::test {

// Runs a command through the shell; its exit status and what it printed, errors included.
inline std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, {}};
  std::array<char, 4096> buffer{};
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
    output.append(buffer.data(), n);
  }
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// A path as one shell word (the tests' paths hold no single quote).
inline std::string shellQuoted(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

}  // namespace cdwriter::test
