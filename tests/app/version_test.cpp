// Both programs tell the version the CMake project was given, vettrix also
// the libcurl it runs with; a subcommand's --version stays its own option.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "app/version.h"

namespace {

struct Outcome {
  int status = -1;
  std::string out;  // standard output alone
};

Outcome Program(const std::string& name, const std::string& args) {
  const std::string exe = std::string(VETTRIX_BIN_DIR) + "/" + name;
  Outcome r;
  FILE* pipe = popen((exe + " " + args + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) {
    ADD_FAILURE() << "cannot start " << exe;
    return r;
  }
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
  const int status = pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

const std::string kVersion = VETTRIX_CMAKE_VERSION;

TEST(Version, VettrixTellsTheProjectAndTheLibcurlInUse) {
  const Outcome r = Program("vettrix", "--version");
  EXPECT_EQ(r.status, 0);
  const std::string curl = curl_version_info(CURLVERSION_NOW)->version;
  EXPECT_EQ(r.out, "vettrix " + kVersion + "\nlibcurl " + curl + "\n");
  EXPECT_EQ(vx::app::ProjectVersion(), kVersion);
  EXPECT_EQ(vx::app::VersionLine(), "Vettrix " + kVersion + " with libcurl " + curl);
}

TEST(Version, TorvelbuttonTellsTheProjectVersion) {
  const Outcome r = Program("torvelbutton", "--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "torvelbutton " + kVersion + "\n");
}

TEST(Version, AfterASubcommandVersionIsThePlatformVersion) {
  // Not the project version: the platform version the button detects.
  Outcome r = Program("torvelbutton", "props --version 5.1.2600 --json");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find("torvelbutton " + kVersion), std::string::npos);
  EXPECT_EQ(Program("torvelbutton", "props --version").status, 64);
  EXPECT_EQ(Program("torvelbutton", "render --version x -o /dev/null").status, 64);
}

TEST(Version, HelpOffersVersion) {
  for (const char* program : {"vettrix", "torvelbutton"}) {
    const Outcome r = Program(program, "--help");
    EXPECT_EQ(r.status, 0) << program;
    EXPECT_NE(r.out.find("--version"), std::string::npos) << program;
  }
}

}  // namespace
