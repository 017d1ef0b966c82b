// The three smoothing choices on a real surface: where standard smoothing
// draws grey (the gasp ranges of the fonts the program ships with), that
// smoothing off never does and Full always does, the width measured from
// outlines, the turned origins, the bars as polygons at a quarter turn and
// raster faces that are never turned.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/gdi/surface.h"
#include "platform/text/font.h"

namespace vx::text {
namespace {

constexpr ColorRef kBack = 0x00FFFFFF;
constexpr ColorRef kInk = 0x00000000;

Font Make(std::string_view face, int height, Smoothing smoothing, int escapement = 0,
          bool underline = false) {
  LogFont lf;
  lf.lfHeight = height;
  lf.lfEscapement = escapement;
  lf.lfUnderline = underline ? 1 : 0;
  lf.SetFaceName(face);
  return CreateFontIndirect(lf, smoothing);
}

Surface Draw(const Font& f, int x, int y, std::string_view text, int w = 200, int h = 200) {
  Surface s(w, h, kBack);
  TextOut(s, f, x, y, text, kInk);
  return s;
}

// True when some pixel is neither the background nor the ink.
bool HasGrey(const Surface& s) {
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (s.at(x, y) != kBack && s.at(x, y) != kInk) return true;
    }
  }
  return false;
}

int Count(const Surface& s, ColorRef c) {
  int n = 0;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) n += s.at(x, y) == c;
  }
  return n;
}

TEST(StandardSmoothing, GreyFromTheSizeTheGaspTableNames) {
  // The first grey size of each face (ppem); one pixel smaller is solid.
  struct Face {
    const char* name;
    int first_grey;
  };
  for (const Face& f : {Face{"Arial", 18}, Face{"Arial Bold", 11}, Face{"Times New Roman Bold", 14},
                        Face{"Times New Roman Italic", 21}, Face{"Tahoma", 17}}) {
    SCOPED_TRACE(f.name);
    EXPECT_FALSE(
        HasGrey(Draw(Make(f.name, -(f.first_grey - 1), Smoothing::Standard), 5, 5, "Wag Sox")));
    EXPECT_TRUE(HasGrey(Draw(Make(f.name, -f.first_grey, Smoothing::Standard), 5, 5, "Wag Sox")));
  }
  // A synthesised slant is always grey, even where the face is solid.
  EXPECT_TRUE(HasGrey(Draw(Make("Tahoma Italic", -11, Smoothing::Standard), 5, 5, "Wag Sox")));
}

TEST(StandardSmoothing, OffIsSolidAtEverySizeAndFullGreyAtEverySize) {
  for (int ppem : {11, 24, 40}) {
    SCOPED_TRACE(ppem);
    EXPECT_FALSE(HasGrey(Draw(Make("Arial", -ppem, Smoothing::Off), 5, 5, "Wag Sox")));
    EXPECT_TRUE(HasGrey(Draw(Make("Arial", -ppem, Smoothing::Full), 5, 5, "Wag Sox")));
  }
  // Smoothing changes the pixels, not the cell.
  EXPECT_EQ(GetTextMetrics(Make("Arial", -24, Smoothing::Off)).tmHeight,
            GetTextMetrics(Make("Arial", -24, Smoothing::Full)).tmHeight);
}

TEST(StandardSmoothing, WidthsComeFromTheOutlinesNotTheEmbeddedBitmaps) {
  // Tahoma's embedded bitmaps advance "Cancel" by 38 pixels at a 13-pixel
  // em; its outlines by 40, which is what the platform measures.
  EXPECT_EQ(MeasureText(Make("Tahoma", -13, Smoothing::Full), "Cancel").cx, 38);
  EXPECT_EQ(MeasureText(Make("Tahoma", -13, Smoothing::Standard), "Cancel").cx, 40);
  EXPECT_EQ(MeasureText(Make("Tahoma", -13, Smoothing::Off), "Cancel").cx, 40);
  EXPECT_EQ(MeasureText(Make("Tahoma", -13, Smoothing::Standard), "").cx, 0);
}

TEST(StandardSmoothing, TurnedOriginsLieAsThePlatformRoundsThem) {
  // At 2700 the origin is Y + ascent * cos 270 truncated, and cos 270 is
  // -1.8e-16 in double: at Y = 10 the sum stays below 10 and the pen starts
  // a row higher; at Y = 0 it truncates to 0, and at Y = 80 the term is lost
  // in rounding. So from 0 the ink moves 9 rows to Y = 10 and 80 more to 80.
  const Font down = Make("Arial", -16, Smoothing::Standard, 2700);
  const Surface at0 = Draw(down, 100, 0, "Hello", 120, 200);
  const Surface at10 = Draw(down, 100, 10, "Hello", 120, 200);
  const Surface at80 = Draw(down, 100, 80, "Hello", 120, 200);
  ASSERT_GT(Count(at0, kInk), 0);
  int moved9 = 0, moved80 = 0;
  for (int y = 0; y + 80 < 200; ++y) {
    for (int x = 0; x < 120; ++x) {
      moved9 += at0.at(x, y) != at10.at(x, y + 9);
      moved80 += at0.at(x, y) != at80.at(x, y + 80);
    }
  }
  EXPECT_EQ(moved9, 0);
  EXPECT_EQ(moved80, 0);
}

TEST(StandardSmoothing, UnderlineAtAQuarterTurnIsTheTurnedBar) {
  // Spaces draw no ink: all that shows is the bar, as long as the measured
  // width and as thick as the post table says, upright or turned.
  const std::string spaces = "     ";
  const Font flat = Make("Arial", -16, Smoothing::Standard, 0, true);
  const int width = MeasureText(flat, spaces).cx;
  ASSERT_GT(width, 0);
  const int flat_ink = Count(Draw(flat, 20, 20, spaces), kInk);
  EXPECT_EQ(flat_ink % width, 0);
  const Surface up = Draw(Make("Arial", -16, Smoothing::Standard, 900, true), 20, 150, spaces);
  EXPECT_EQ(Count(up, kInk), flat_ink);
  // Turned, it is a column band below the origin row, reaching up W rows.
  int top = 200, bottom = -1;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) {
      if (up.at(x, y) == kInk) top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  EXPECT_EQ(bottom - top + 1, width);
  EXPECT_EQ(bottom, 149);
}

TEST(StandardSmoothing, RasterFacesAreNeverTurned) {
  const Surface flat = Draw(Make("MS Sans Serif", -11, Smoothing::Standard), 20, 100, "Wag");
  const Surface up = Draw(Make("MS Sans Serif", -11, Smoothing::Standard, 900), 20, 100, "Wag");
  ASSERT_GT(Count(flat, kInk), 0);
  EXPECT_EQ(Count(flat, kInk), Count(up, kInk));
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 200; ++x) ASSERT_EQ(flat.at(x, y), up.at(x, y)) << x << "," << y;
  }
  // Full turns them, as it always did.
  const Surface full = Draw(Make("MS Sans Serif", -11, Smoothing::Full, 900), 20, 100, "Wag");
  EXPECT_NE(Count(full, kInk), 0);
  bool same = true;
  for (int y = 0; y < 200 && same; ++y) {
    for (int x = 0; x < 200 && same; ++x) same = flat.at(x, y) == full.at(x, y);
  }
  EXPECT_FALSE(same);
}

}  // namespace
}  // namespace vx::text
