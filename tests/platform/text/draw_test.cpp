// Text output on a real surface: where the ink lands for each turn, the
// transparent background, underline and strike-out bars, clipping.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

#include "platform/gdi/surface.h"
#include "platform/text/font.h"

namespace vx::text {
namespace {

constexpr ColorRef kBack = 0x00C8D0D4;
constexpr ColorRef kInk = 0x00102030;
const char kCaption[] = "Check Source";

Font Times(int escapement = 0, std::uint8_t quality = NONANTIALIASED_QUALITY,
           bool underline = false, bool strike = false) {
  LogFont lf;
  lf.lfHeight = -11;
  lf.lfEscapement = escapement;
  lf.lfQuality = quality;
  lf.lfUnderline = underline;
  lf.lfStrikeOut = strike;
  lf.SetFaceName("Times New Roman");
  return CreateFontIndirect(lf);
}

struct Box {
  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;  // inclusive
  bool empty() const { return left > right; }
};

Box InkBox(const Surface& s, ColorRef back) {
  Box b;
  for (int y = 0; y < s.height(); ++y) {
    for (int x = 0; x < s.width(); ++x) {
      if (s.at(x, y) == back) continue;
      b.left = std::min(b.left, x), b.right = std::max(b.right, x);
      b.top = std::min(b.top, y), b.bottom = std::max(b.bottom, y);
    }
  }
  return b;
}

TEST(TextOutTest, HorizontalInkSitsInTheCellOnTheBaseline) {
  Surface s(100, 40, kBack);
  Font f = Times();
  const TextMetrics m = GetTextMetrics(f);
  EXPECT_EQ(TextOut(s, f, 10, 5, kCaption, kInk), 62);
  const Box b = InkBox(s, kBack);
  ASSERT_FALSE(b.empty());
  EXPECT_GE(b.left, 10);
  EXPECT_LT(b.right, 10 + 62);
  EXPECT_GE(b.top, 5);
  // No descenders: the lowest ink is the row just above the baseline.
  EXPECT_EQ(b.bottom, 5 + m.tmAscent - 1);
}

TEST(TextOutTest, TurnedTextIsTheHorizontalCellTurnedAboutTheReferencePoint) {
  for (std::uint8_t quality : {NONANTIALIASED_QUALITY, DEFAULT_QUALITY}) {
    Surface flat(120, 120, kBack);
    TextOut(flat, Times(0, quality), 20, 30, kCaption, kInk);
    const int cx = 62, cy = 12;
    // Cell pixel (i, j) lands at: 900 -> (x + j, y - 1 - i); 2700 ->
    // (x - 1 - j, y + i); 1800 -> (x - 1 - i, y - 1 - j).
    struct Case {
      int esc, x, y;
      int sx(int i, int j) const {
        return esc == 900 ? x + j : esc == 2700 ? x - 1 - j : x - 1 - i;
      }
      int sy(int i, int j) const {
        return esc == 900 ? y - 1 - i : esc == 2700 ? y + i : y - 1 - j;
      }
    };
    for (Case c : {Case{900, 40, 100}, Case{2700, 60, 10}, Case{1800, 100, 90}}) {
      SCOPED_TRACE(testing::Message() << "escapement " << c.esc << " quality " << int(quality));
      Surface turned(120, 120, kBack);
      Font f = Times(c.esc, quality);
      EXPECT_EQ(f.escapement(), c.esc);
      EXPECT_EQ(TextOut(turned, f, c.x, c.y, kCaption, kInk), cx);
      int changed = 0;
      for (int j = -2; j < cy + 2; ++j) {
        for (int i = -2; i < cx + 2; ++i) {
          ASSERT_EQ(turned.at(c.sx(i, j), c.sy(i, j)), flat.at(20 + i, 30 + j)) << i << "," << j;
          changed += turned.at(c.sx(i, j), c.sy(i, j)) != kBack;
        }
      }
      // Nothing outside the turned cell (and its margin) was touched.
      int total = 0;
      for (ColorRef p : turned.pixels()) total += p != kBack;
      EXPECT_EQ(total, changed);
      EXPECT_GT(total, 50);
    }
  }
}

TEST(TextOutTest, VerticalUpLineFromTheBottomLeftOfItsBox) {
  // A caption laid out to run up from (7, 70) occupies columns 7..18 and
  // rows 8..69.
  Surface s(30, 100, kBack);
  TextOut(s, Times(900), 7, 70, kCaption, kInk);
  const Box b = InkBox(s, kBack);
  EXPECT_GE(b.left, 7);
  EXPECT_LE(b.right, 7 + 12 - 1);
  EXPECT_GE(b.top, 70 - 62);
  EXPECT_LE(b.bottom, 69);
  EXPECT_EQ(b.left, 7 + 12 - 10);  // the baseline side faces x + ascent
}

TEST(TextOutTest, BackgroundIsTransparent) {
  // A checkered background: every pixel is either left alone or blended
  // between its own colour and the ink.
  Surface plain(100, 20);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 100; ++x) plain.set(x, y, (x + y) % 2 ? 0x00FFFFFF : 0x000000FF);
  for (std::uint8_t quality : {NONANTIALIASED_QUALITY, DEFAULT_QUALITY}) {
    Surface s = plain;
    TextOut(s, Times(0, quality), 3, 4, kCaption, 0xFF00FF00);  // top byte ignored
    int inked = 0, partial = 0;
    for (int y = 0; y < 20; ++y) {
      for (int x = 0; x < 100; ++x) {
        const ColorRef was = plain.at(x, y), now = s.at(x, y);
        if (now == was) continue;
        ++inked;
        ASSERT_EQ(now >> 24, 0u);
        if (now == 0x0000FF00) continue;
        ++partial;
        for (int shift : {0, 8, 16}) {
          const int a = (was >> shift) & 0xFF, b = (now >> shift) & 0xFF,
                    ink = (0xFF00 >> shift) & 0xFF;
          EXPECT_TRUE((a <= b && b <= ink) || (ink <= b && b <= a)) << x << "," << y;
        }
        if (x < 3 || x >= 3 + 62 || y < 4 || y >= 4 + 12) ADD_FAILURE() << "ink outside the cell";
      }
    }
    EXPECT_GT(inked, 50);
    if (quality == NONANTIALIASED_QUALITY) {
      EXPECT_EQ(partial, 0);
    }
  }
}

// Rows (of the cell) on which a bar adds fully inked pixels across the
// whole advance.
std::vector<int> BarRows(const Font& plain, const Font& barred) {
  Surface a(80, 20, kBack), b(80, 20, kBack);
  TextOut(a, plain, 4, 3, kCaption, kInk);
  TextOut(b, barred, 4, 3, kCaption, kInk);
  std::vector<int> rows;
  for (int y = 0; y < 20; ++y) {
    bool differs = false, full = true;
    for (int x = 0; x < 80; ++x) {
      if (a.at(x, y) != b.at(x, y)) differs = true;
      const bool inside = x >= 4 && x < 4 + 62;
      if (inside && b.at(x, y) != kInk) full = false;
      if (!inside && b.at(x, y) != a.at(x, y)) full = false;
    }
    if (differs) {
      EXPECT_TRUE(full) << "row " << y;
      rows.push_back(y - 3);
    }
  }
  return rows;
}

TEST(TextOutTest, UnderlineAndStrikeOutRowsFromTheFontMetrics) {
  // Liberation Serif at 11 pixels: underline top 123/2048 em below the
  // baseline -> 1 pixel, thickness 100/2048 -> 1; strike-out top 420/2048
  // above it -> 2 pixels, thickness 1.
  EXPECT_EQ(BarRows(Times(), Times(0, NONANTIALIASED_QUALITY, true)), std::vector<int>{11});
  EXPECT_EQ(BarRows(Times(), Times(0, NONANTIALIASED_QUALITY, false, true)), std::vector<int>{8});

  // Turned with the text: the underline of a VerticalUp line is column x + 11.
  Surface s(30, 80, kBack);
  TextOut(s, Times(900, NONANTIALIASED_QUALITY, true), 5, 70, kCaption, kInk);
  for (int y = 70 - 62; y < 70; ++y) EXPECT_EQ(s.at(5 + 11, y), kInk) << y;
  EXPECT_EQ(s.at(5 + 11, 70), kBack);
  EXPECT_EQ(s.at(5 + 11, 70 - 63), kBack);
}

TEST(TextOutTest, OutputOutsideTheSurfaceIsClipped) {
  Surface s(20, 10, kBack);
  Font under = Times(0, DEFAULT_QUALITY, true, true);
  TextOut(s, under, -30, -4, kCaption, kInk);
  TextOut(s, under, INT_MAX - 3, INT_MIN + 2, kCaption, kInk);
  TextOut(s, Times(900, DEFAULT_QUALITY, true), INT_MIN, INT_MAX, kCaption, kInk);
  TextOut(s, Times(2700, DEFAULT_QUALITY, true), 25, -70, kCaption, kInk);
  for (ColorRef p : s.pixels()) EXPECT_EQ(p >> 24, 0u);
  Surface none;
  EXPECT_EQ(TextOut(none, under, 0, 0, kCaption, kInk), 62);
  EXPECT_EQ(TextOut(s, Font{}, 0, 0, kCaption, kInk), 0);
}

TEST(TextOutTest, TwoThreadsShareTheCacheSafely) {
  // Different sizes of one face share a FreeType face: a thread using the
  // wrong size at the wrong moment would measure or draw wrongly.
  auto work = [](int height, TextExtent* extent, Surface* out) {
    LogFont lf;
    lf.lfHeight = height;
    lf.SetFaceName("Times New Roman");
    for (int i = 0; i < 300; ++i) {
      Font f = CreateFontIndirect(lf);
      const TextExtent e = MeasureText(f, i % 2 ? kCaption : "Another caption");
      if (i % 2) *extent = e;
      *out = Surface(120, 40, kBack);
      TextOut(*out, f, 2, 2, kCaption, kInk);
      DeleteObject(f);
    }
  };
  TextExtent small_extent, large_extent;
  Surface small, large;
  std::thread a(work, -11, &small_extent, &small);
  std::thread b(work, -23, &large_extent, &large);
  a.join();
  b.join();
  Surface expected(120, 40, kBack);
  TextOut(expected, Times(0, DEFAULT_QUALITY), 2, 2, kCaption, kInk);
  EXPECT_EQ(small_extent, (TextExtent{62, 12}));
  EXPECT_EQ(small.pixels(), expected.pixels());
  EXPECT_GT(large_extent.cx, 2 * 62 - 10);
}

}  // namespace
}  // namespace vx::text
