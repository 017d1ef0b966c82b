#pragma once

// Runs the built vettrix through the shell, as a user would, in a folder of
// its own: what the command-line tests share.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/run.h"

namespace vx::clitest {

namespace fs = std::filesystem;

// Writes a file, making its folders.
inline void WriteFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good()) << p;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string line; std::getline(s, line);) lines.push_back(line);
  return lines;
}

inline std::vector<nlohmann::json> JsonLines(const std::string& text) {
  std::vector<nlohmann::json> out;
  for (const auto& line : Lines(text)) out.push_back(nlohmann::json::parse(line));
  return out;
}

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;

  std::vector<std::string> OutLines() const { return Lines(out); }
  std::vector<nlohmann::json> JsonLines() const { return clitest::JsonLines(out); }
};

class VettrixRun : public ::testing::Test {
 protected:
  void SetUp() override {
    binary_ = fs::path(VETTRIX_BIN_DIR) / "vettrix";
    ASSERT_TRUE(fs::exists(binary_)) << "vettrix not built at " << binary_;
    char pattern[] = "/tmp/vettrix-run-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path Page(const std::string& name, const std::string& bytes) {
    const fs::path p = dir_ / name;
    WriteFile(p, bytes);
    return p;
  }

  // Runs inside the test's folder, where relative names are the test's own;
  // loopback requests must not go through a proxy the environment names.
  std::string Prefix(const char* exec = "") const {
    return "cd " + support::Quote(dir_.string()) + " && " + exec +
           "env -u http_proxy -u HTTP_PROXY -u https_proxy -u HTTPS_PROXY -u ALL_PROXY "
           "-u all_proxy ";
  }

  std::string Command(const std::vector<std::string>& args) const {
    std::string cmd = support::Quote(binary_.string());
    for (const auto& a : args) cmd.append(" ").append(support::Quote(a));  // GCC 12 -Wrestrict
    return cmd;
  }

  RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    support::Outcome ran = support::Shell(Prefix() + Command(args), dir_, input);
    return {ran.status, std::move(ran.out), std::move(ran.err)};
  }

  fs::path binary_;
  fs::path dir_;
};

}  // namespace vx::clitest
