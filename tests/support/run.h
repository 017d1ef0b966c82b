#pragma once

// Runs shell command lines as a user would: what every test that starts a
// program shares.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/files.h"

namespace vx::support {

struct Outcome {
  int status = -1;  // the exit status, -1 when the command did not exit
  std::string out;
  std::string err;
};

// Runs `command` with `input` on its standard input and its two outputs kept
// apart, in files of `scratch` (.stdin, .stdout, .stderr; a folder the caller
// owns): files rather than pipes, so that a daemon the command leaves
// running cannot hold the test up, and a test may read them again.
inline Outcome Shell(const std::string& command, const std::filesystem::path& scratch,
                     const std::string& input = "") {
  const std::filesystem::path in = scratch / ".stdin", out = scratch / ".stdout",
                              err = scratch / ".stderr";
  {
    std::ofstream file(in, std::ios::binary);
    file << input;
    if (!file.good()) {
      ADD_FAILURE() << "cannot write " << in;
      return {};
    }
  }
  const std::string line = "(" + command + ") <" + Quote(in.string()) + " >" + Quote(out.string()) +
                           " 2>" + Quote(err.string());
  const int raw = std::system(line.c_str());
  Outcome r;
  r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

// The same in a scratch folder of its own, removed afterwards: for commands
// whose output files nobody reads again. Write `2>&1` into the command to
// have standard error in `out`.
inline Outcome RunCommand(const std::string& command, const std::string& input = "") {
  char pattern[] = "/tmp/vettrix-run-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "no temporary folder for: " << command;
    return {};
  }
  Outcome r = Shell(command, pattern, input);
  std::error_code ignored;
  std::filesystem::remove_all(pattern, ignored);
  return r;
}

}  // namespace vx::support
