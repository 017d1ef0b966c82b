#pragma once

// Runs the built torvelbutton as a process, as scripts use it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct ToolRun {
  int status = -1;
  std::string out;  // stdout and stderr together
};

ToolRun Tool(const std::string& args) {
  const std::string exe = VETTRIX_BIN_DIR "/torvelbutton";
  if (!std::filesystem::exists(exe)) {
    ADD_FAILURE() << "tool not built: " << exe;
    return {};
  }
  ToolRun r;
  FILE* pipe = popen((exe + " " + args + " 2>&1").c_str(), "r");
  if (!pipe) {
    ADD_FAILURE() << "cannot start " << exe;
    return r;
  }
  char buf[4096];
  std::size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace
