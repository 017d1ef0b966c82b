// Holds a SARIF log to the published 2.1.0 schema, through Debian's
// python3-jsonschema (tests/app/validate_sarif.py). The validator's messages
// go to a file in `scratch`, and come out in the failure.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/files.h"

namespace vx::clitest {

inline void ExpectValidSarif(const std::filesystem::path& log,
                             const std::filesystem::path& scratch) {
  namespace fs = std::filesystem;
  const fs::path schema = fs::path(VETTRIX_SOURCE_DIR) / "tests/app/data/sarif-schema-2.1.0.json";
  const fs::path validator = fs::path(VETTRIX_SOURCE_DIR) / "tests/app/validate_sarif.py";
  ASSERT_TRUE(fs::exists(schema)) << schema;
  const fs::path messages = scratch / "validation.txt";
  const std::string cmd = std::string(VETTRIX_PYTHON) + " " + support::Quote(validator.string()) +
                          " " + support::Quote(schema.string()) + " " +
                          support::Quote(log.string()) + " 2>" + support::Quote(messages.string());
  const int raw = std::system(cmd.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  ASSERT_NE(WEXITSTATUS(raw), 3) << "the validator is missing: " << support::ReadFile(messages);
  ASSERT_EQ(WEXITSTATUS(raw), 0) << support::ReadFile(messages);
}

}  // namespace vx::clitest
