#pragma once

// What the tests that run programs through the shell share: quoting a word
// for the command line and reading back the files the programs wrote.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vx::support {

// `s` as one word of a POSIX shell command line: in single quotes, each
// quote inside written as '\''.
inline std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// The bytes of a file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace vx::support
