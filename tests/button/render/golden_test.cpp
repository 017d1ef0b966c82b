// Captioned buttons drawn by `torvelbutton render` against golden pictures
// that were checked by eye: every pixel, and the transparency outside the
// window region. The cases (and regenerate.sh, which redraws them) are in
// golden/cases.txt.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "tests/support/run.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = fs::path(VETTRIX_SOURCE_DIR) / "tests" / "button" / "render" / "golden";
const fs::path kTool = fs::path(VETTRIX_BIN_DIR) / "torvelbutton";

struct GoldenCase {
  std::string name;
  std::string args;  // shell words, with $ROOT and $GOLDEN
};

std::vector<GoldenCase> LoadCases() {
  std::ifstream in(kGoldenDir / "cases.txt");
  std::vector<GoldenCase> cases;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const auto space = line.find(' ');
    cases.push_back({line.substr(0, space), space == std::string::npos ? "" : line.substr(space)});
  }
  return cases;
}

// Runs the tool through the shell, as regenerate.sh does; "" on success.
std::string Render(const GoldenCase& c, const fs::path& out) {
  const std::string command = "ROOT='" VETTRIX_SOURCE_DIR "'; GOLDEN='" + kGoldenDir.string() +
                              "'; '" + kTool.string() + "' render " + c.args + " -o '" +
                              out.string() + "' 2>&1";
  const vx::support::Outcome r = vx::support::RunCommand(command);
  if (r.status != 0) return "the tool failed: " + r.out;
  return "";
}

TEST(GoldenButtons, EveryCaseMatchesItsPicture) {
  ASSERT_TRUE(fs::exists(kTool)) << "torvelbutton is not built: " << kTool;
  const std::vector<GoldenCase> cases = LoadCases();
  ASSERT_GE(cases.size(), 5u) << "no golden cases in " << kGoldenDir / "cases.txt";

  const fs::path scratch = fs::temp_directory_path() / ("vx_golden_" + std::to_string(getpid()));
  fs::create_directories(scratch);
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path golden = kGoldenDir / (c.name + ".png");
    ASSERT_TRUE(fs::exists(golden)) << "golden picture missing: " << golden;
    const fs::path drawn_file = scratch / (c.name + ".png");
    const std::string failure = Render(c, drawn_file);
    ASSERT_EQ(failure, "");

    vx::Surface want, got;
    vx::gdi::Mask want_clear, got_clear;
    std::string error;
    ASSERT_TRUE(vx::gdi::ReadPng(golden.string(), want, &want_clear, &error)) << error;
    ASSERT_TRUE(vx::gdi::ReadPng(drawn_file.string(), got, &got_clear, &error)) << error;
    ASSERT_EQ(got.width(), want.width());
    ASSERT_EQ(got.height(), want.height());
    EXPECT_TRUE(got_clear == want_clear) << "the transparent area differs";
    int wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < want.height(); ++y) {
      for (int x = 0; x < want.width(); ++x) {
        if (want_clear.at(x, y)) continue;  // outside the window: no colour to speak of
        if (got.at(x, y) != want.at(x, y) && wrong++ == 0) {
          first << "first at (" << x << "," << y << "): 0x" << std::hex << got.at(x, y)
                << ", want 0x" << want.at(x, y);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << wrong << " pixels differ; " << first.str() << "; the drawing is in "
                        << drawn_file;
    if (wrong == 0) fs::remove(drawn_file);
  }
  std::error_code ignored;
  fs::remove(scratch, ignored);  // kept (non-empty) when a case failed
}

}  // namespace
