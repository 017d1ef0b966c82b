#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/gdi/raster.h"

using vx::ColorRef;
using vx::Surface;
using namespace vx::gdi;

namespace {

constexpr ColorRef kWhite = 0xFFFFFF;
constexpr ColorRef kRed = 0x0000FF;

// The surface as rows of '.' (still `bg`) and '#' (anything else).
std::string Picture(const Surface& s, ColorRef bg = kWhite) {
  std::string out;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) out += s.at(x, y) == bg ? '.' : '#';
    out += '\n';
  }
  return out;
}

int Count(const Surface& s, ColorRef c) {
  int n = 0;
  for (ColorRef p : s.pixels()) n += p == c;
  return n;
}

}  // namespace

TEST(GdiLine, PaintsStartButNotEndInEveryDirection) {
  // From the centre to the eight compass points and to slanted ends in all
  // octants: the end pixel stays, the start is painted, one pixel per step.
  const Point ends[] = {{6, 0}, {-6, 0}, {0, 6},  {0, -6}, {6, 6},   {-6, -6}, {6, -6}, {-6, 6},
                        {6, 2}, {2, 6},  {-2, 6}, {-6, 2}, {-6, -2}, {-2, -6}, {2, -6}, {6, -2}};
  for (const Point& p : ends) {
    const int e[2] = {p.x, p.y};
    SCOPED_TRACE(std::to_string(e[0]) + "," + std::to_string(e[1]));
    Surface s(15, 15, kWhite);
    Dc dc(s);
    dc.SelectObject(CreatePen(kRed));
    dc.MoveToEx(7, 7);
    dc.LineTo(7 + e[0], 7 + e[1]);
    EXPECT_EQ(s.at(7, 7), kRed);
    EXPECT_EQ(s.at(7 + e[0], 7 + e[1]), kWhite);
    EXPECT_EQ(Count(s, kRed), 6);
    EXPECT_EQ(dc.CurrentPosition(), (Point{7 + e[0], 7 + e[1]}));
  }
}

TEST(GdiLine, ExactHalvesGoToTheSmallerCoordinateBothWays) {
  Surface fwd(5, 3, kWhite);
  DrawLineSegment(fwd, 0, 0, 4, 2, kRed);  // y = 0.5 at x=1, 1.5 at x=3
  EXPECT_EQ(Picture(fwd),
            "##...\n"
            "..##.\n"
            ".....\n");
  Surface back(5, 3, kWhite);
  DrawLineSegment(back, 4, 2, 0, 0, kRed);  // same halves, walked the other way
  // Walked backwards, halves still go to the smaller y: (3, 1.5) -> 1, (1, 0.5) -> 0.
  EXPECT_EQ(Picture(back),
            ".#...\n"
            "..##.\n"
            "....#\n");
}

TEST(GdiLine, FarOutCoordinatesAreClippedWithoutOverflow) {
  Surface s(10, 10, kWhite);
  DrawLineSegment(s, INT_MIN, 3, INT_MAX, 3, kRed);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(s.at(x, 3), kRed) << x;
  EXPECT_EQ(Count(s, kRed), 10);

  Surface d(10, 10, kWhite);
  DrawLineSegment(d, -1000000, -1000000, 1000000, 1000000, kRed);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(d.at(i, i), kRed) << i;
  EXPECT_EQ(Count(d, kRed), 10);

  Surface c(10, 10, kWhite);
  DrawLineSegment(c, INT_MAX, INT_MIN, INT_MIN, INT_MAX, kRed);  // misses or crosses
  DrawLineSegment(c, INT_MIN, INT_MIN, INT_MAX, INT_MIN + 1, kRed);
  DrawLineSegment(c, 5, INT_MIN, 5, INT_MAX, kRed);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(c.at(5, y), kRed) << y;
}

TEST(GdiDc, PenSelectionReturnsTheDisplacedPenAndStaysInForce) {
  Surface s(4, 4, kWhite);
  Dc dc(s);
  EXPECT_EQ(dc.CurrentPen().color, 0u);  // the black pen of a new context
  const Pen first = CreatePen(kRed);
  EXPECT_EQ(dc.SelectObject(first).color, 0u);
  const Pen displaced = dc.SelectObject(CreatePen(0x00FF00));
  EXPECT_EQ(displaced, first);
  DeleteObject(displaced);
  EXPECT_EQ(dc.CurrentPen().color, 0x00FF00u);
  EXPECT_EQ(dc.pen_selections(), 2u);
  dc.MoveToEx(0, 0);
  dc.LineTo(3, 0);
  EXPECT_EQ(s.at(0, 0), 0x00FF00u);
  // The top byte never reaches the pixels.
  dc.SelectObject(CreatePen(0xFF0000FF));
  dc.LineTo(3, 3);
  EXPECT_EQ(s.at(3, 0), kRed);
}

TEST(GdiDc, ColoursAndCurrentPosition) {
  Surface s(1, 1);
  Dc dc(s);
  EXPECT_EQ(dc.GetTextColor(), 0x000000u);
  EXPECT_EQ(dc.GetBkColor(), 0xFFFFFFu);
  EXPECT_EQ(dc.SetBkColor(0x123456), 0xFFFFFFu);
  EXPECT_EQ(dc.SetTextColor(0x654321), 0x000000u);
  EXPECT_EQ(dc.GetBkColor(), 0x123456u);
  EXPECT_EQ(dc.GetTextColor(), 0x654321u);
  Point old;
  dc.MoveToEx(4, 5);
  dc.MoveToEx(-1, 2, &old);
  EXPECT_EQ(old, (Point{4, 5}));
}

TEST(GdiDc, PolygonIsAHollowOutlineWithEveryVertex) {
  Surface s(7, 6, kWhite);
  Dc dc(s);
  dc.SelectObject(CreatePen(kRed));
  dc.MoveToEx(1, 1);
  const Point pts[] = {{0, 0}, {6, 0}, {6, 5}, {0, 5}};
  EXPECT_TRUE(dc.Polygon(pts));
  EXPECT_EQ(Picture(s),
            "#######\n"
            "#.....#\n"
            "#.....#\n"
            "#.....#\n"
            "#.....#\n"
            "#######\n");
  EXPECT_EQ(dc.CurrentPosition(), (Point{1, 1}));  // Polygon leaves it alone
  EXPECT_FALSE(dc.Polygon(std::span<const Point>(pts, 1)));
}

TEST(GdiRects, FillIsHalfOpenAndMirrorsInvertedSpans) {
  Surface s(89, 19, kWhite);
  FillRect(s, {0, 0, 89, 19}, CreateSolidBrush(kRed));
  EXPECT_EQ(Count(s, kRed), 89 * 19);

  Surface m(6, 3, kWhite);
  FillRect(m, {4, 0, 1, 1}, CreateSolidBrush(kRed));  // right < left: x = 2..4
  EXPECT_EQ(Picture(m),
            "..###.\n"
            "......\n"
            "......\n");
  Surface e(6, 3, kWhite);
  FillRect(e, {2, 0, 2, 3}, CreateSolidBrush(kRed));
  EXPECT_EQ(Count(e, kRed), 0);
}

TEST(GdiRects, FrameIsTheRingInsideAndNothingWhenInverted) {
  Surface s(6, 5, kWhite);
  FrameRect(s, {1, 1, 5, 4}, CreateSolidBrush(kRed));
  EXPECT_EQ(Picture(s),
            "......\n"
            ".####.\n"
            ".#..#.\n"
            ".####.\n"
            "......\n");
  Surface inv(6, 5, kWhite);
  FrameRect(inv, {5, 1, 1, 4}, CreateSolidBrush(kRed));
  FrameRect(inv, {1, 4, 5, 1}, CreateSolidBrush(kRed));
  FrameRect(inv, {1, 1, 1, 4}, CreateSolidBrush(kRed));
  EXPECT_EQ(Count(inv, kRed), 0);
}

TEST(GdiRects, FarOutRectanglesClip) {
  Surface s(5, 4, kWhite);
  FillRect(s, {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, CreateSolidBrush(kRed));
  EXPECT_EQ(Count(s, kRed), 20);
  Surface m(5, 4, kWhite);
  FillRect(m, {INT_MAX, INT_MAX, INT_MIN, INT_MIN}, CreateSolidBrush(kRed));  // mirrored
  EXPECT_EQ(Count(m, kRed), 20);
  Surface f(5, 4, kWhite);
  FrameRect(f, {-1000000, 1, 1000000, 3}, CreateSolidBrush(kRed));
  EXPECT_EQ(Picture(f),
            ".....\n"
            "#####\n"
            "#####\n"
            ".....\n");
  Rect r{INT_MAX - 1, 0, INT_MAX, 1};
  OffsetRect(r, 10, 0);  // wraps like the platform instead of overflowing
  InflateRect(r, INT_MAX, 1);
  FillRect(f, r, CreateSolidBrush(0));
}

TEST(GdiPixels, GetPixelOutsideIsInvalidAndSetPixelOutsideIsIgnored) {
  Surface s(3, 2, kWhite);
  SetPixelV(s, 2, 1, kRed);
  SetPixelV(s, 3, 1, kRed);
  SetPixelV(s, -1, 0, kRed);
  EXPECT_EQ(GetPixel(s, 2, 1), kRed);
  EXPECT_EQ(GetPixel(s, 3, 1), kInvalidColor);
  EXPECT_EQ(GetPixel(s, 0, -1), 0xFFFFFFFFu);
  EXPECT_EQ(GetPixel(s, INT_MIN, INT_MAX), kInvalidColor);
  EXPECT_EQ(Count(s, kRed), 1);
}

TEST(GdiFocusRect, IsSelfInverseAndDotted) {
  Surface s(40, 20, 0xC8D0D4);
  FillRect(s, {5, 5, 20, 15}, CreateSolidBrush(kRed));
  const Surface before = s;
  DrawFocusRect(s, {3, 3, 30, 17});
  EXPECT_NE(s.pixels(), before.pixels());
  // Dotted: the top-right pixel is inverted, its neighbour below is not.
  EXPECT_EQ(s.at(29, 3), 0x372F2Bu);
  EXPECT_EQ(s.at(29, 4), 0xC8D0D4u);
  DrawFocusRect(s, {3, 3, 30, 17});
  EXPECT_EQ(s.pixels(), before.pixels());
}

TEST(GdiFocusRect, ThinRingsCancelAndInvertedRectanglesAreNormalised) {
  Surface s(10, 10, kWhite);
  DrawFocusRect(s, {2, 2, 3, 9});  // one pixel wide
  DrawFocusRect(s, {1, 5, 9, 6});  // one pixel high
  DrawFocusRect(s, {4, 4, 4, 4});  // empty
  EXPECT_EQ(Count(s, kWhite), 100);

  Surface a(10, 10, kWhite), b(10, 10, kWhite);
  DrawFocusRect(a, {1, 2, 8, 9});
  DrawFocusRect(b, {8, 9, 1, 2});
  EXPECT_EQ(a.pixels(), b.pixels());
}

TEST(GdiFocusRect, FarOutRingTouchesOnlyVisibleSides) {
  Surface s(10, 10, kWhite);
  DrawFocusRect(s, {INT_MIN, 2, INT_MAX, 7});  // only the top and bottom rows show
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 10; ++x) {
      if (y != 2 && y != 6) {
        EXPECT_EQ(s.at(x, y), kWhite);
      }
    }
  }
  EXPECT_EQ(Count(s, 0), 10);  // every other pixel of two rows
  DrawFocusRect(s, {INT_MIN, 2, INT_MAX, 7});
  EXPECT_EQ(Count(s, kWhite), 100);
}

TEST(GdiGradient, VertexChannelsAndTruncatedSteps) {
  const TriVertex grey = MakeVertex(0, 0, 0x808080);
  EXPECT_EQ(grey.red, 0x8000);
  EXPECT_EQ(grey.green, 0x8000);
  EXPECT_EQ(grey.blue, 0x8000);
  EXPECT_EQ(MakeVertex(0, 0, 0xFF0000).blue, 0xFF00);

  Surface s(4, 2, kWhite);
  ASSERT_TRUE(GradientFill(s, MakeVertex(0, 0, 0), MakeVertex(4, 2, 0xFF0000), 0));
  // blue = (0xFF00 * x / 4) >> 8: the stop colour lies just right of the last column.
  EXPECT_EQ(s.at(0, 0), 0x000000u);
  EXPECT_EQ(s.at(1, 1), 0x3F0000u);
  EXPECT_EQ(s.at(3, 0), 0xBF0000u);
}

TEST(GdiGradient, ReversedVerticesPutTheStopColourFirst) {
  // The reversed orientation hands the stop colour to vertex 0.
  Surface s(3, 6, kWhite);
  ASSERT_TRUE(GradientFill(s, MakeVertex(0, 0, 0xFF0000), MakeVertex(3, 6, 0x000000), 1));
  EXPECT_EQ(s.at(1, 0), 0xFF0000u);
  EXPECT_EQ(s.at(1, 5), 0x2A0000u);  // 0xFF00 - 0xFF00*5/6 = 0x2A80, truncating toward zero
  EXPECT_EQ(s.at(0, 3), s.at(2, 3));
}

TEST(GdiGradient, OtherModesPaintNothingAndFarOutClips) {
  Surface s(5, 5, kWhite);
  EXPECT_FALSE(GradientFill(s, MakeVertex(0, 0, 0), MakeVertex(5, 5, kRed), 2));
  EXPECT_FALSE(GradientFill(s, MakeVertex(0, 0, 0), MakeVertex(5, 5, kRed), -1));
  EXPECT_EQ(Count(s, kWhite), 25);
  EXPECT_TRUE(
      GradientFill(s, MakeVertex(INT_MIN, INT_MIN, 0), MakeVertex(INT_MAX, INT_MAX, kRed), 0));
  EXPECT_TRUE(
      GradientFill(s, MakeVertex(INT_MIN, INT_MIN, 0), MakeVertex(INT_MAX, INT_MAX, kRed), 1));
  EXPECT_EQ(s.at(0, 0), 0x7Fu);  // the middle of the huge span
}

TEST(GdiBlit, BitBltCopiesClipsAndHandlesOverlap) {
  Surface s(6, 6, 0);
  for (int y = 0; y < 6; ++y) {
    for (int x = 0; x < 6; ++x) s.set(x, y, static_cast<ColorRef>(y * 10 + x));
  }
  const Surface before = s;
  BitBlt(s, 1, 1, 5, 5, s, 0, 0);  // overlapping move down-right
  for (int y = 1; y < 6; ++y) {
    for (int x = 1; x < 6; ++x) EXPECT_EQ(s.at(x, y), before.at(x - 1, y - 1));
  }
  Surface t = before;
  BitBlt(t, 0, 0, 5, 5, t, 1, 1);  // overlapping move up-left
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(t.at(x, y), before.at(x + 1, y + 1));
  }
  Surface d(3, 3, kWhite);
  BitBlt(d, -2, -2, INT_MAX, INT_MAX, before, 0, 0);
  EXPECT_EQ(d.at(0, 0), before.at(2, 2));
  BitBlt(d, INT_MAX, INT_MIN, INT_MAX, INT_MAX, before, INT_MIN, INT_MAX);
  EXPECT_EQ(d.at(0, 0), before.at(2, 2));
}

TEST(GdiBlit, StretchShrinksWithAndAndEnlargesByRepeating) {
  Surface src(4, 2, kWhite);
  src.set(0, 0, 0x0000FF);
  src.set(1, 0, 0x00FF00);  // AND of red and green: black
  src.set(2, 1, 0x808080);
  Surface small(2, 1, 0x123456);
  ASSERT_TRUE(StretchBlt(small, 0, 0, 2, 1, src, 0, 0, 4, 2));
  EXPECT_EQ(small.at(0, 0), 0x000000u);
  EXPECT_EQ(small.at(1, 0), 0x808080u);

  Surface big(8, 4, 0);
  ASSERT_TRUE(StretchBlt(big, 0, 0, 8, 4, src, 0, 0, 4, 2));
  EXPECT_EQ(big.at(0, 0), 0x0000FFu);
  EXPECT_EQ(big.at(1, 1), 0x0000FFu);
  EXPECT_EQ(big.at(2, 0), 0x00FF00u);
  EXPECT_EQ(big.at(5, 3), 0x808080u);
  EXPECT_EQ(big.at(6, 3), kWhite);

  // 16 -> 24: target pixel d shows source floor((d + 1/2) * 2 / 3).
  Surface row(16, 1, 0);
  for (int x = 0; x < 16; ++x) row.set(x, 0, static_cast<ColorRef>(x));
  Surface wide(24, 1, kWhite);
  ASSERT_TRUE(StretchBlt(wide, 0, 0, 24, 1, row, 0, 0, 16, 1));
  const ColorRef want[6] = {0, 1, 1, 2, 3, 3};
  for (int d = 0; d < 6; ++d) EXPECT_EQ(wide.at(d, 0), want[d]) << d;
  EXPECT_EQ(wide.at(23, 0), 15u);

  EXPECT_FALSE(StretchBlt(wide, 0, 0, -24, 1, row, 0, 0, 16, 1));
}

TEST(GdiBlit, StretchWithinOneSurfaceAndFarOut) {
  Surface s(8, 2, kWhite);
  s.set(0, 0, kRed);
  ASSERT_TRUE(StretchBlt(s, 2, 0, 4, 2, s, 0, 0, 2, 1));  // reads the unchanged source
  EXPECT_EQ(s.at(2, 0), kRed);
  EXPECT_EQ(s.at(3, 1), kRed);
  EXPECT_EQ(s.at(4, 0), kWhite);

  Surface d(4, 4, 0x111111);
  EXPECT_TRUE(StretchBlt(d, 0, 0, 4, 4, s, 0, 0, INT_MAX, INT_MAX));
  EXPECT_EQ(d.at(0, 0), kRed & kWhite);  // everything ANDs into one visible target pixel
  EXPECT_TRUE(StretchBlt(d, INT_MIN, INT_MIN, INT_MAX, INT_MAX, s, 0, 0, 1, 1));
  EXPECT_TRUE(StretchBlt(d, -1, -1, INT_MAX, INT_MAX, s, INT_MAX, INT_MAX, 3, 3));
}

TEST(GdiDrawState, DisabledPictureIsEmbossedAndKeepsBackground) {
  // Black foreground, white background, one transparent pixel.
  Surface pic(3, 2, kWhite);
  pic.set(0, 0, 0);
  pic.set(1, 0, 0x00FF00);
  pic.set(2, 1, 0);
  Mask transparent(3, 2);
  transparent.set(2, 1, true);

  Surface s(5, 4, 0xC8D0D4);
  DrawStateDisabled(s, 1, 1, 3, 2, pic, &transparent, 0xFFFFFF, 0x808080);
  // Foreground: (0,0) and (1,0) of the picture. Shadow in place, highlight
  // one right and down where the shadow does not cover it.
  EXPECT_EQ(Picture(s, 0xC8D0D4),
            ".....\n"
            ".##..\n"
            "..##.\n"
            ".....\n");
  EXPECT_EQ(s.at(1, 1), 0x808080u);
  EXPECT_EQ(s.at(2, 1), 0x808080u);
  EXPECT_EQ(s.at(2, 2), 0xFFFFFFu);
  EXPECT_EQ(s.at(3, 2), 0xFFFFFFu);

  // As a bitmap, the same pixel is black and so foreground.
  Surface b(5, 4, 0xC8D0D4);
  DrawStateDisabled(b, 1, 1, 0, 0, pic, nullptr, 0xFFFFFF, 0x808080);
  EXPECT_EQ(b.at(3, 2), 0x808080u);
  EXPECT_EQ(b.at(4, 3), 0xFFFFFFu);

  DrawStateDisabled(b, INT_MAX, INT_MIN, 0, 0, pic, nullptr, 0, 0);
  DrawStateDisabled(b, -1, -1, INT_MAX, INT_MAX, pic, nullptr, 0, 0);
  EXPECT_EQ(b.at(0, 0), 0u);
}
