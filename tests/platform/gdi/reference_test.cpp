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
#include "platform/gdi/script.h"
#include "tests/data/reference_data.h"

namespace fs = std::filesystem;

namespace {

const fs::path kPrimitives = vx::testdata::ReferenceDir() / "primitives";

std::string Hex(vx::ColorRef c) {
  std::ostringstream s;
  s << "0x" << std::hex << c;
  return s.str();
}

// Empty when equal; otherwise the size mismatch or the first few differing
// pixels and the count.
std::string DiffSurfaces(const vx::Surface& got, const vx::Surface& want) {
  if (got.width() != want.width() || got.height() != want.height()) {
    return "size " + std::to_string(got.width()) + "x" + std::to_string(got.height()) + ", want " +
           std::to_string(want.width()) + "x" + std::to_string(want.height());
  }
  std::string detail;
  int count = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) {
      if (got.at(x, y) == want.at(x, y)) continue;
      if (++count <= 5) {
        detail += " (" + std::to_string(x) + "," + std::to_string(y) + ") got " +
                  Hex(got.at(x, y)) + " want " + Hex(want.at(x, y)) + ";";
      }
    }
  }
  return count == 0 ? "" : std::to_string(count) + " pixels differ:" + detail;
}

std::string DiffMasks(const vx::gdi::Mask& got, const vx::gdi::Mask& want) {
  if (got.width() != want.width() || got.height() != want.height()) return "size differs";
  std::string detail;
  int count = 0;
  for (int y = 0; y < got.height(); ++y) {
    for (int x = 0; x < got.width(); ++x) {
      if (got.at(x, y) == want.at(x, y)) continue;
      if (++count <= 5) {
        detail += " (" + std::to_string(x) + "," + std::to_string(y) + ") got " +
                  (got.at(x, y) ? "in" : "out") + ";";
      }
    }
  }
  return count == 0 ? "" : std::to_string(count) + " mask bits differ:" + detail;
}

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
    EXPECT_EQ(DiffSurfaces(out.canvas, want), "") << "canvas";
    ++compared;

    for (const auto& [name, picture] : out.pictures) {
      ASSERT_TRUE(vx::testdata::ReadPicture(kPrimitives / name, want, &error)) << error;
      EXPECT_EQ(DiffSurfaces(picture, want), "") << name;
      ++compared;
    }
    for (const auto& [name, mask] : out.masks) {
      vx::gdi::Mask want_mask;
      ASSERT_TRUE(vx::testdata::ReadMask(kPrimitives / name, want_mask, &error)) << error;
      EXPECT_EQ(DiffMasks(mask, want_mask), "") << name;
      ++compared;
    }
  }
  RecordProperty("compared", compared);
}
