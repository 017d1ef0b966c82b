#pragma once

// Runs the built torvelbutton as a process, as scripts use it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/run.h"

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
  const vx::support::Ran ran = vx::support::RunCommand(exe + " " + args + " 2>&1");
  return ToolRun{ran.status, ran.out};
}

}  // namespace
