#include <gtest/gtest.h>

#include <string>

#include "tests/support/script.h"

using namespace vx::gdi;

TEST(GdiScript, RunsOperationsAndCollectsDumps) {
  ScriptOutput out;
  std::string error;
  ASSERT_TRUE(
      RunScript("# comment\n"
                "canvas 4 3 0xFFFFFF\n"
                "pen 0x0000FF   # red\n"
                "moveto 0 1\n"
                "lineto 4 1\n"
                "buffer 2 0x00FF00\n"
                "stretchblt 0 0 2 2 0 0 4 3\n"
                "dump_buffer b.ppm\n"
                "rgn_rect 2 2 0 0\n"  // inverted corners are swapped
                "rgn_diff 1 0 2 1\n"
                "rgn_dump r.pbm\n"
                "setpixel -1 2 0\n"
                "dump c.ppm\n",
                out, &error))
      << error;
  EXPECT_EQ(out.canvas.at(3, 1), 0x0000FFu);
  ASSERT_EQ(out.pictures.size(), 2u);
  EXPECT_EQ(out.pictures[0].first, "b.ppm");
  // 3 rows onto 2: row 0 alone, then rows 1 and 2 ANDed (the red line survives).
  EXPECT_EQ(out.pictures[0].second.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(out.pictures[0].second.at(1, 1), 0x0000FFu);
  ASSERT_EQ(out.masks.size(), 1u);
  EXPECT_EQ(out.masks[0].second.width(), 4);
  EXPECT_FALSE(out.masks[0].second.at(1, 0));
  EXPECT_TRUE(out.masks[0].second.at(1, 1));
  EXPECT_FALSE(out.masks[0].second.at(2, 1));
}

TEST(GdiScript, MalformedLinesNameTheLine) {
  const char* const bad[] = {
      "canvas 4 4 0\nfrobnicate 1\n",
      "pen 1\n",
      "canvas 4 4 0\nlineto 1\n",
      "canvas 4 4 zz\n",
      "canvas 1 1 0\nblt_buffer 0 0\n",
      "canvas 4 4 0\npolygon 1 2 3\n",
      "canvas 99999 2 0\n",
      "canvas 4 4 0\ndrawstate_disabled picture 0 0 16 16\n",
  };
  for (const char* script : bad) {
    ScriptOutput out;
    std::string error;
    EXPECT_FALSE(RunScript(script, out, &error)) << script;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
}

TEST(GdiScript, TestPictureHasItsTransparentCorners) {
  const Icon& pic = ScriptTestPicture();
  ASSERT_EQ(pic.color.width(), 16);
  EXPECT_TRUE(pic.transparent.at(0, 0));
  EXPECT_FALSE(pic.transparent.at(2, 0));
  EXPECT_EQ(pic.color.at(3, 2), 0x0000FFu);   // R
  EXPECT_EQ(pic.color.at(10, 9), 0xC8D0D4u);  // F
  EXPECT_EQ(pic.color.at(0, 0), 0x000000u);   // transparent pixels are black
}
