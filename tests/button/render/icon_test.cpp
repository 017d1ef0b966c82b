// The button's icon: the greyed buffer prepared for the disabled look (scaled,
// background taken from the real backdrop) and the drawing of the picture or
// the buffer on the button.

#include <gtest/gtest.h>

#include <memory>

#include "platform/gdi/raster.h"
#include "tests/support/button_rig.h"

namespace vx::render {
namespace {

using Json = host::JsonPropertyBag::Json;

constexpr ColorRef kWhite = 0xFFFFFF;
constexpr ColorRef kBlack = 0x000000;
constexpr ColorRef kHighlight = 0xFFFFFF;  // classic BTNHIGHLIGHT
constexpr ColorRef kShadow = 0x808080;     // classic BTNSHADOW

// An n x n picture, white (the greying's background) except a black square
// [lo, hi) x [lo, hi). As an icon, everything outside the square may instead
// be marked transparent (and black underneath, as icons keep it).
host::PicturePtr SquarePicture(int n, int lo, int hi, int type, bool transparent_outside = false) {
  Surface image(n, n, transparent_outside ? kBlack : kWhite);
  Surface mask(n, n, transparent_outside ? 1 : 0);
  for (int y = lo; y < hi; ++y) {
    for (int x = lo; x < hi; ++x) {
      image.set(x, y, kBlack);
      mask.set(x, y, 0);
    }
  }
  if (type == host::Picture::kBitmap) return host::Picture::FromSurface(image, type);
  return host::Picture::FromSurface(image, type, mask);
}

// A shown button with an empty caption, so that the icon sits centred.
struct IconButton : support::ButtonRig {
  explicit IconButton(Json stored, int w = 60, int h = 40) : ButtonRig(w, h) {
    Json set = {{"btype", 2}, {"tx", ""}, {"iconsize", 2}};
    if (stored.is_object()) set.update(stored);
    Restore(set);
  }

  const Surface& buffer() { return ps().pic_icon; }
  ColorRef face() { return static_cast<ColorRef>(st().FaceColor); }
  // The backdrop pixel a buffer pixel's background is sampled from: the
  // disabled look without caption and icon, one pixel right and down.
  ColorRef Sample(int x, int y) {
    if (backdrop.width() == 0) {
      const Surface shown = surface();
      button->DrawButton(kTrue);
      backdrop = surface();
      surface() = shown;
    }
    return gdi::GetPixel(backdrop, st().IconX + x + 1, st().IconY + y + 1);
  }
  Surface backdrop;
};

TEST(IconPrepare, ShrinksAndEnlargesTheGreyedPictureIntoTheBuffer) {
  // 32 -> 16: each buffer pixel ANDs a 2 x 2 block, so the greyed square
  // [8, 24) becomes [4, 12) and the white highlight edge vanishes into the
  // face colour beside it (and so into the backdrop).
  IconButton shrink(Json{{"iconsize", 2}});
  shrink.button->SetIcon(SquarePicture(32, 8, 24, host::Picture::kBitmap));
  ASSERT_EQ(shrink.buffer().width(), 16);
  ASSERT_EQ(shrink.buffer().height(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool square = x >= 4 && x < 12 && y >= 4 && y < 12;
      const ColorRef want = square ? kShadow : shrink.Sample(x, y);
      ASSERT_EQ(shrink.buffer().at(x, y), want) << x << "," << y;
    }
  }

  // 16 -> 32: pixels repeat, the highlight edge one pixel right and down
  // becomes two wide.
  IconButton enlarge(Json{{"iconsize", 4}});
  enlarge.button->SetIcon(SquarePicture(16, 4, 12, host::Picture::kBitmap));
  const Surface& buf = enlarge.buffer();
  ASSERT_EQ(buf.width(), 32);
  EXPECT_EQ(buf.at(8, 8), kShadow);
  EXPECT_EQ(buf.at(23, 23), kShadow);
  EXPECT_EQ(buf.at(24, 12), kHighlight);
  EXPECT_EQ(buf.at(25, 25), kHighlight);
  EXPECT_EQ(buf.at(12, 25), kHighlight);
  EXPECT_EQ(buf.at(26, 26), enlarge.Sample(26, 26));
  EXPECT_EQ(buf.at(7, 7), enlarge.Sample(7, 7));
}

TEST(IconPrepare, IconsKeepTheirTransparencyBitmapsDoNot) {
  // The same black-on-black picture: as an icon only the unmasked square is
  // greyed; as a bitmap every (non-white) pixel is.
  IconButton icon(Json::object());
  icon.button->SetIcon(SquarePicture(16, 6, 10, host::Picture::kIcon, true));
  EXPECT_EQ(icon.buffer().at(6, 6), kShadow);
  EXPECT_EQ(icon.buffer().at(2, 2), icon.Sample(2, 2));

  IconButton bitmap(Json::object());
  Surface black(16, 16, kBlack);
  bitmap.button->SetIcon(host::Picture::FromSurface(black, host::Picture::kBitmap));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) ASSERT_EQ(bitmap.buffer().at(x, y), kShadow) << x << "," << y;
  }
}

TEST(IconPrepare, BackgroundIsTheBackdropOneRightAndBelow) {
  // A gradient from black to blue: the buffer's background repeats the
  // surface under it, shifted by one pixel, and so varies along x.
  IconButton g(Json{{"coltype", 5}, {"gstart", 0}, {"gstop", 0xFF0000}, {"gstyle", 0}}, 80, 30);
  ASSERT_EQ(g.st().ColorScheme, button::CustomGradient);
  g.button->SetIcon(SquarePicture(16, 6, 10, host::Picture::kIcon, true));
  const Surface& buf = g.buffer();
  ASSERT_EQ(buf.width(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      if (x >= 6 && x < 11 && y >= 6 && y < 11) continue;  // the greyed square and its edge
      ASSERT_EQ(buf.at(x, y), g.Sample(x, y)) << x << "," << y;
    }
  }
  EXPECT_NE(buf.at(0, 0), buf.at(15, 0));
  EXPECT_NE(buf.at(0, 0), g.face());

  // Disabled, the button shows the buffer unchanged at the icon position.
  g.button->SetEnabled(kFalse);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      ASSERT_EQ(g.surface().at(g.st().IconX + x, g.st().IconY + y), buf.at(x, y)) << x << "," << y;
    }
  }
}

TEST(IconPrepare, GreyedPixelInTheFaceColourCountsAsBackground) {
  // With the shadow colour equal to the face colour, the greyed square can
  // no longer be told from the background: it takes the gradient too.
  IconButton g(Json{{"coltype", 5}}, 80, 30);
  g.host.container().palette().Set(host::COLOR_BTNSHADOW, g.face());
  g.button->SetIcon(SquarePicture(16, 6, 10, host::Picture::kIcon, true));
  EXPECT_EQ(g.buffer().at(7, 7), g.Sample(7, 7));
  EXPECT_NE(g.buffer().at(7, 7), g.face());
}

TEST(IconPrepare, WithoutAnIconNothingChanges) {
  IconButton b(Json::object());
  const Surface before = b.surface();
  b.painter->state().pic_icon = Surface(3, 3, 0x123456);
  b.button->PrepareIcon();
  EXPECT_EQ(b.surface().pixels(), before.pixels());
  EXPECT_EQ(b.buffer().width(), 3);
  EXPECT_EQ(b.buffer().at(1, 1), 0x123456u);
  b.button->RefreshButton();
  EXPECT_EQ(b.surface().pixels(), before.pixels());
}

TEST(IconPrepare, PictureLargerThanTheButtonIsGreyedWhole) {
  // 32 x 32 on a 19-pixel-high button: the whole picture reaches the buffer,
  // not just the rows that would fit on the button.
  IconButton b(Json{{"btype", 4}}, 89, 19);
  Surface black(32, 32, kBlack);
  b.button->SetIcon(host::Picture::FromSurface(black, host::Picture::kBitmap));
  ASSERT_EQ(b.buffer().width(), 16);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) ASSERT_EQ(b.buffer().at(x, y), kShadow) << x << "," << y;
  }
}

TEST(IconPrepare, AbsurdStoredIconSizeDrawsNoIcon) {
  for (long size : {0L, -3L, 100000L, 2147483647L}) {
    IconButton b(Json{{"iconsize", size}});
    b.button->SetIcon(SquarePicture(16, 4, 12, host::Picture::kBitmap));
    IconButton plain(Json{{"iconsize", size}});
    EXPECT_EQ(b.surface().pixels(), plain.surface().pixels()) << size;
    b.button->SetEnabled(kFalse);
    plain.button->SetEnabled(kFalse);
    EXPECT_EQ(b.surface().pixels(), plain.surface().pixels()) << size;
  }
}

TEST(IconDraw, EnabledPaintsThePictureScaledWithItsTransparency) {
  // 8 x 8 icon enlarged to 16 x 16: each source pixel covers 2 x 2.
  Surface image(8, 8);
  Surface mask(8, 8, 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) image.set(x, y, static_cast<ColorRef>(0x010203 * (x + 8 * y)));
  }
  mask.set(0, 0, 1);
  IconButton b(Json::object());
  b.button->SetIcon(host::Picture::FromSurface(image, host::Picture::kIcon, mask));
  const int ix = b.st().IconX;
  const int iy = b.st().IconY;
  EXPECT_EQ(b.surface().at(ix + 5, iy + 9), image.at(2, 4));
  EXPECT_EQ(b.surface().at(ix + 15, iy + 15), image.at(7, 7));
  EXPECT_EQ(b.surface().at(ix + 1, iy + 1), b.face());  // transparent: the face shows
  EXPECT_EQ(b.surface().at(ix + 16, iy + 16), b.face());

  // A bitmap ignores any transparency: drawn opaque.
  IconButton bm(Json::object());
  bm.button->SetIcon(host::Picture::FromSurface(image, host::Picture::kBitmap, mask));
  EXPECT_EQ(bm.surface().at(bm.st().IconX, bm.st().IconY), image.at(0, 0));

  // Pressed, a Classic3D button moves its icon one pixel right and down.
  b.st().VisualState = button::Pressed;
  b.button->DrawButton(kFalse);
  EXPECT_EQ(b.surface().at(ix + 6, iy + 10), image.at(2, 4));
  EXPECT_EQ(b.surface().at(ix + 16, iy + 16), image.at(7, 7));
}

}  // namespace
}  // namespace vx::render
