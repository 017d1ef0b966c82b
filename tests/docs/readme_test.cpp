// The README as a newcomer reads it: its quick start prints what it says it
// prints, usage comes before packaging and test data, and its pictures are
// the ones scripts/screenshots.sh makes from the built programs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/run.h"

namespace {

namespace fs = std::filesystem;
using vx::support::Quote;
using vx::support::ReadFile;

const fs::path kSource = VETTRIX_SOURCE_DIR;
const fs::path kBuild = VETTRIX_BUILD_DIR;
const fs::path kBin = VETTRIX_BIN_DIR;

using vx::support::Outcome;
using vx::support::Shell;

class Readme : public ::testing::Test {
 protected:
  void SetUp() override {
    readme_ = ReadFile(kSource / "README.md");
    ASSERT_FALSE(readme_.empty()) << "README.md missing in " << kSource;
    char pattern[] = "/tmp/vettrix-readme-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::size_t Section(const std::string& title) const {
    return readme_.find("\n## " + title + "\n");
  }

  std::string readme_;
  fs::path dir_;
};

// Width and height from a PNG's header; {0, 0} when it is none.
std::pair<std::uint32_t, std::uint32_t> PngSize(const fs::path& file) {
  const std::string bytes = ReadFile(file);
  if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0) return {0, 0};
  auto word = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  return {word(16), word(20)};
}

TEST_F(Readme, QuickStartComesFirstAndPrintsWhatItSays) {
  const std::size_t quick = Section("Quick start");
  ASSERT_NE(quick, std::string::npos);
  for (const char* later : {"Set up, build and run", "Install from the packages",
                            "Reference data in the tests", "Layout"}) {
    EXPECT_LT(quick, Section(later)) << later;
  }
  EXPECT_LT(Section("Command line"), Section("Install from the packages"));
  EXPECT_LT(Section("The window"), Section("Reference data in the tests"));

  // The command as the quick start gives it, run from the project folder
  // with the build's program; its output stands there line for line.
  const std::string command = "    build/bin/vettrix check samples/sample.html\n";
  ASSERT_NE(readme_.find(command, quick), std::string::npos);
  const Outcome run = Shell("cd " + Quote(kSource.string()) + " && " +
                                Quote((kBin / "vettrix").string()) + " check samples/sample.html",
                            dir_);
  EXPECT_EQ(run.status, 1) << run.err;  // the README says: 1, something found
  ASSERT_FALSE(run.out.empty());
  std::string block;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) block += "    " + line + "\n";
  const std::size_t shown = readme_.find(block, quick);
  EXPECT_NE(shown, std::string::npos) << "the quick start does not show\n" << block;
  EXPECT_LT(shown, Section("Set up, build and run"));
  EXPECT_NE(readme_.find("0 nothing found, 1 something found", quick), std::string::npos);
}

TEST_F(Readme, PicturesAreTheOnesTheScreenshotScriptMakes) {
  const fs::path script = kSource / "scripts/screenshots.sh";
  ASSERT_TRUE(fs::exists(script)) << script;
  std::set<std::string> pictures;
  const std::regex image(R"(!\[[^\]]*\]\(docs/([A-Za-z0-9_.-]+\.png)\))");
  for (auto it = std::sregex_iterator(readme_.begin(), readme_.end(), image);
       it != std::sregex_iterator(); ++it) {
    pictures.insert((*it)[1]);
  }
  ASSERT_FALSE(pictures.empty());
  EXPECT_TRUE(pictures.count("window.png"));
  const fs::path out = dir_ / "pictures";
  const Outcome made = Shell("BUILD_DIR=" + Quote(kBuild.string()) + " bash " +
                                 Quote(script.string()) + " " + Quote(out.string()),
                             dir_);
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  for (const std::string& picture : pictures) {
    SCOPED_TRACE(picture);
    ASSERT_TRUE(fs::exists(out / picture)) << "the script does not make it";
    // The committed picture is of the program as it is: the same size (the
    // pixels hold times and fonts that differ from machine to machine).
    EXPECT_EQ(PngSize(kSource / "docs" / picture), PngSize(out / picture));
    EXPECT_NE(PngSize(out / picture).first, 0u);
  }
  // The window's picture shows the status line under the form.
  EXPECT_EQ(PngSize(out / "window.png"), (std::pair<std::uint32_t, std::uint32_t>{598, 510 + 22}));
}

}  // namespace
