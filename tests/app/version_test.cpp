// Both programs tell the version the CMake project was given, vettrix also
// the libcurl it runs with; a subcommand's --version stays its own option.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "app/version.h"

#include "tests/support/run.h"

namespace {

using vx::support::Outcome;

Outcome Program(const std::string& name, const std::string& args) {
  return vx::support::RunCommand(std::string(VETTRIX_BIN_DIR) + "/" + name + " " + args +
                                 " 2>/dev/null");
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
