#pragma once

// Runs the built torvelbutton as a process, as scripts use it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/run.h"

namespace {

using ToolRun = vx::support::Outcome;  // out: standard output and error together

ToolRun Tool(const std::string& args) {
  const std::string exe = VETTRIX_BIN_DIR "/torvelbutton";
  if (!std::filesystem::exists(exe)) {
    ADD_FAILURE() << "tool not built: " << exe;
    return {};
  }
  return vx::support::RunCommand(exe + " " + args + " 2>&1");
}

}  // namespace
