// Whole buttons against the reference pixels: every case of
// gdi-reference/buttons is built on a headless host, drawn, and compared
// pixel for pixel, together with its window region and its state record.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/button/render/reference_case.h"
#include "tests/data/reference_data.h"

namespace vx::render {
namespace {

namespace fs = std::filesystem;

const fs::path kCaseDir = testdata::ReferenceDir() / "buttons";

using reference::Case;

// "" when the case matches, else what differs first.
std::string Compare(const Case& c) {
  const reference::Verdict v = reference::Judge(kCaseDir, c);
  if (!v.missing.empty()) return v.missing;
  std::string why;
  if (!v.pixels.empty()) why += v.pixels + "; ";
  if (!v.region.empty()) why += v.region + "; ";
  return why + v.state;
}

std::vector<Case> LoadCases() {
  return reference::LoadCases(kCaseDir);
}

class ButtonReference : public ::testing::TestWithParam<int> {};

TEST_P(ButtonReference, EveryCaseOfTheLookMatches) {
  const int type = GetParam();
  const std::vector<Case> all = LoadCases();
  ASSERT_FALSE(all.empty()) << "no reference cases in " << kCaseDir;
  int checked = 0;
  int failed = 0;
  std::ostringstream report;
  for (const Case& c : all) {
    if (c.Get("type", 2) != type) continue;
    ++checked;
    const std::string why = Compare(c);
    if (!why.empty() && failed++ < 12) report << "  " << c.name << ": " << why << "\n";
  }
  EXPECT_EQ(failed, 0) << failed << " of " << checked << " cases differ:\n" << report.str();
}

INSTANTIATE_TEST_SUITE_P(Looks, ButtonReference, ::testing::Values(0, 1, 2, 3, 4, 5, 6, 7, 8, 9),
                         [](const auto& info) { return "Type" + std::to_string(info.param); });

TEST(ButtonReferenceData, EveryLookHasCases) {
  ASSERT_TRUE(fs::exists(kCaseDir / "cases.txt")) << "reference data missing: " << kCaseDir;
  std::map<long, int> per_type;
  for (const Case& c : LoadCases()) ++per_type[c.Get("type", 2)];
  for (long t = 1; t <= 8; ++t) EXPECT_GT(per_type[t], 0) << "no cases for type " << t;
}

}  // namespace
}  // namespace vx::render
