#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/gdi/region.h"

using namespace vx::gdi;

namespace {

std::string Picture(const Mask& m) {
  std::string out;
  for (int y = 0; y < m.height(); ++y) {
    for (int x = 0; x < m.width(); ++x) out += m.at(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

// Every pixel of a w x h area agrees between PtInRegion, the mask and the
// rectangle list.
void ExpectConsistent(const Region& r, int w, int h) {
  const Mask m = r.ToMask(w, h);
  Mask from_rects(w, h);
  for (const Rect& rc : r.Rects()) {
    for (int y = rc.top; y < rc.bottom; ++y) {
      for (int x = rc.left; x < rc.right; ++x) {
        ASSERT_FALSE(from_rects.get(x, y)) << "rectangles overlap at " << x << "," << y;
        if (from_rects.contains(x, y)) from_rects.set(x, y, true);
      }
    }
  }
  EXPECT_EQ(m, from_rects);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) ASSERT_EQ(PtInRegion(r, x, y), m.at(x, y)) << x << "," << y;
  }
}

}  // namespace

TEST(GdiRegion, RectangleIsHalfOpenAndNormalised) {
  const Region r = CreateRectRgn(1, 1, 4, 3);
  EXPECT_TRUE(PtInRegion(r, 1, 1));
  EXPECT_TRUE(PtInRegion(r, 3, 2));
  EXPECT_FALSE(PtInRegion(r, 4, 2));
  EXPECT_FALSE(PtInRegion(r, 3, 3));
  EXPECT_EQ(r.Bounds(), (Rect{1, 1, 4, 3}));
  EXPECT_EQ(CreateRectRgn(4, 3, 1, 1), r);
  EXPECT_TRUE(CreateRectRgn(2, 0, 2, 5).empty());
}

TEST(GdiRegion, DiffRemovesCornerPixelsInAnyOrder) {
  // The rounded corners of a 6 x 4 window: three pixels at each corner.
  Region r = CreateRectRgn(0, 0, 6, 4);
  const Rect cuts[] = {{0, 0, 2, 1}, {0, 3, 2, 4}, {4, 0, 6, 1}, {4, 3, 6, 4},
                       {0, 1, 1, 2}, {0, 2, 1, 3}, {5, 1, 6, 2}, {5, 2, 6, 3}};
  for (const Rect& c : cuts) {
    EXPECT_NE(CombineRgn(r, r, Region::FromRect(c), RegionOp::kDiff), kNullRegion);
  }
  EXPECT_EQ(Picture(r.ToMask(6, 4)),
            "..##..\n"
            ".####.\n"
            ".####.\n"
            "..##..\n");
  ExpectConsistent(r, 6, 4);

  Region reversed = CreateRectRgn(0, 0, 6, 4);
  for (int i = 7; i >= 0; --i)
    CombineRgn(reversed, reversed, Region::FromRect(cuts[i]), RegionOp::kDiff);
  EXPECT_EQ(reversed, r);
  EXPECT_EQ(r.Rects().size(), 3u);  // one band per distinct row pattern
}

TEST(GdiRegion, CombineReportsTheKindOfResult) {
  Region out;
  const Region a = CreateRectRgn(0, 0, 4, 4);
  EXPECT_EQ(CombineRgn(out, a, a, RegionOp::kDiff), kNullRegion);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(CombineRgn(out, a, CreateRectRgn(2, 0, 6, 4), RegionOp::kOr), kSimpleRegion);
  EXPECT_EQ(out, CreateRectRgn(0, 0, 6, 4));
  EXPECT_EQ(CombineRgn(out, a, CreateRectRgn(1, 1, 2, 2), RegionOp::kDiff), kComplexRegion);
  EXPECT_EQ(CombineRgn(out, a, CreateRectRgn(2, 2, 6, 6), RegionOp::kAnd), kSimpleRegion);
  EXPECT_EQ(out, CreateRectRgn(2, 2, 4, 4));
  EXPECT_EQ(CombineRgn(out, a, CreateRectRgn(2, 0, 6, 4), RegionOp::kXor), kComplexRegion);
  EXPECT_EQ(Picture(out.ToMask(6, 1)), "##..##\n");
}

TEST(GdiRegion, SegmentPolygonTakesEdgesAtTheRowTop) {
  // LeftSegment of a 100 x 30 button: (0,0), (0,30), (100,30), (82,0).
  const Point pts[] = {{0, 0}, {0, 30}, {100, 30}, {82, 0}};
  const Region r = CreatePolygonRgn(pts, FillMode::kWinding);
  EXPECT_EQ(r.Bounds(), (Rect{0, 0, 100, 30}));
  EXPECT_TRUE(PtInRegion(r, 81, 0));
  EXPECT_FALSE(PtInRegion(r, 82, 0));
  // Row 1: the edge is at 82.6, so the row runs to 82 inclusive.
  EXPECT_TRUE(PtInRegion(r, 82, 1));
  EXPECT_FALSE(PtInRegion(r, 83, 1));
  EXPECT_TRUE(PtInRegion(r, 99, 29));
  EXPECT_FALSE(PtInRegion(r, 0, 30));
  ExpectConsistent(r, 101, 31);
}

TEST(GdiRegion, WindingFillsOverlapsThatAlternateLeavesOut) {
  // Two overlapping squares walked the same way round.
  const Point pts[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0},
                       {2, 0}, {6, 0}, {6, 4}, {2, 4}, {2, 0}};
  const Region winding = CreatePolygonRgn(pts, FillMode::kWinding);
  const Region alternate = CreatePolygonRgn(pts, FillMode::kAlternate);
  EXPECT_EQ(Picture(winding.ToMask(6, 1)), "######\n");
  EXPECT_EQ(Picture(alternate.ToMask(6, 1)), "##..##\n");
  ExpectConsistent(winding, 7, 5);
  ExpectConsistent(alternate, 7, 5);
  EXPECT_TRUE(CreatePolygonRgn(std::span<const Point>(pts, 2), FillMode::kWinding).empty());
}

TEST(GdiRegion, FarOutShapesAreCutAtTheWindowCoordinateLimit) {
  const Region huge = CreateRectRgn(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_TRUE(PtInRegion(huge, 0, 0));
  EXPECT_TRUE(PtInRegion(huge, Region::kLimit - 1, -Region::kLimit));
  EXPECT_FALSE(PtInRegion(huge, INT_MAX, 0));

  const Point pts[] = {
      {INT_MIN, INT_MIN}, {INT_MAX, INT_MIN + 7}, {INT_MAX, INT_MAX}, {INT_MIN + 3, INT_MAX}};
  const Region poly = CreatePolygonRgn(pts, FillMode::kWinding);
  EXPECT_TRUE(PtInRegion(poly, 0, 0));
  EXPECT_FALSE(PtInRegion(poly, INT_MIN, 0));
  Region diff;
  CombineRgn(diff, poly, CreateRectRgn(-5, -5, 5, 5), RegionOp::kDiff);
  EXPECT_FALSE(PtInRegion(diff, 0, 0));
  EXPECT_TRUE(PtInRegion(diff, 5, 0));
}
