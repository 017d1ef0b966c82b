#pragma once

// Runs a shell command as a user would and collects what it prints on
// standard output (redirect standard error in the command to keep it too).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace vx::support {

struct Ran {
  int status = -1;  // the exit status, -1 when the command did not exit
  std::string out;
};

inline Ran RunCommand(const std::string& command) {
  Ran r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot start: " << command;
    return r;
  }
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace vx::support
