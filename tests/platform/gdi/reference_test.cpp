// Replays every drawing script of the reference data and compares each
// pixel of the canvas, of every dump and of every region mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gdi/image_io.h"
#include "tests/data/reference_data.h"
#include "tests/support/script.h"
#include "tests/support/surface_diff.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPrimitives = vx::testdata::ReferenceDir() / "primitives";

}  // namespace

TEST(GdiReference, EveryPrimitiveScriptMatchesPixelForPixel) {
  ASSERT_TRUE(fs::is_directory(kPrimitives))
      << "reference folder missing: " << kPrimitives.string();
  std::vector<fs::path> scripts;
  for (const auto& entry : fs::directory_iterator(kPrimitives)) {
    if (entry.path().extension() == ".gdi") scripts.push_back(entry.path());
  }
  std::sort(scripts.begin(), scripts.end());
  ASSERT_FALSE(scripts.empty()) << "no .gdi scripts in " << kPrimitives.string();

  int compared = 0;
  for (const fs::path& script : scripts) {
    SCOPED_TRACE(script.filename().string());
    std::ifstream in(script);
    std::stringstream text;
    text << in.rdbuf();
    vx::gdi::ScriptOutput out;
    std::string error;
    ASSERT_TRUE(vx::gdi::RunScript(text.str(), out, &error)) << error;

    vx::Surface want;
    fs::path expected = script;
    expected.replace_extension(".ppm");
    ASSERT_TRUE(vx::testdata::ReadPicture(expected, want, &error)) << error;
    EXPECT_EQ(vx::support::DiffSurfaces(out.canvas, want), "") << "canvas";
    ++compared;

    for (const auto& [name, picture] : out.pictures) {
      ASSERT_TRUE(vx::testdata::ReadPicture(kPrimitives / name, want, &error)) << error;
      EXPECT_EQ(vx::support::DiffSurfaces(picture, want), "") << name;
      ++compared;
    }
    for (const auto& [name, mask] : out.masks) {
      vx::gdi::Mask want_mask;
      ASSERT_TRUE(vx::testdata::ReadMask(kPrimitives / name, want_mask, &error)) << error;
      EXPECT_EQ(vx::support::DiffMasks(mask, want_mask), "") << name;
      ++compared;
    }
  }
  RecordProperty("compared", compared);
}
