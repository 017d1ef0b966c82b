// The button's icon: the greyed copy prepared ahead of time for the disabled
// look (the platform greys onto an opaque background, so the buffer's
// background is filled with the button's own disabled backdrop), and the
// drawing of the picture or of that buffer beside the caption.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <optional>

#include "button/render/painter.h"
#include "platform/base/failure.h"
#include "platform/gdi/raster.h"
#include "platform/host/palette.h"

namespace vx::render {
namespace {

// A stored IconSize is not range-checked, so the edge can be anything. An
// edge beyond this would only allocate a buffer far larger than any screen
// for nothing visible: such an icon is neither prepared nor drawn.
constexpr int kMaxIconEdge = 1024;

// The icon's edge on the button (s = IconSize x 8), or 0 when there is none
// to draw.
int IconEdge(Long icon_size) {
  const std::int64_t s = std::int64_t{icon_size} * 8;
  return (s <= 0 || s > kMaxIconEdge) ? 0 : static_cast<int>(s);
}

bool IsBitmap(const host::Picture& pic) {
  return pic.type() == host::Picture::kBitmap;
}

// The picture's transparency as the greying operation takes it; none for a
// bitmap (drawn opaque) or an icon without a mask.
std::optional<gdi::Mask> TransparencyOf(const host::Picture& pic) {
  const Surface* mask = pic.mask();
  if (IsBitmap(pic) || mask == nullptr) return std::nullopt;
  gdi::Mask m(mask->width(), mask->height());
  for (int y = 0; y < mask->height(); ++y) {
    for (int x = 0; x < mask->width(); ++x) m.set(x, y, mask->at(x, y) != 0);
  }
  return m;
}

// The host's picture painting: `pic` scaled to s x s at (x, y), each target
// pixel showing the source pixel under its centre. Icons keep their
// transparency, bitmaps are opaque.
void PaintPicture(Surface& target, const host::Picture& pic, int x, int y, int s) {
  const Surface& image = pic.image();
  const int sw = image.width();
  const int sh = image.height();
  if (sw <= 0 || sh <= 0) return;
  const Surface* mask = IsBitmap(pic) ? nullptr : pic.mask();
  if (mask != nullptr && (mask->width() != sw || mask->height() != sh)) mask = nullptr;
  // Only the part of the square that lies on the surface costs anything.
  const std::int64_t x0 = std::max<std::int64_t>(0, x);
  const std::int64_t y0 = std::max<std::int64_t>(0, y);
  const std::int64_t x1 = std::min<std::int64_t>(target.width(), std::int64_t{x} + s);
  const std::int64_t y1 = std::min<std::int64_t>(target.height(), std::int64_t{y} + s);
  for (std::int64_t ty = y0; ty < y1; ++ty) {
    const int v = static_cast<int>(((ty - y) * 2 + 1) * sh / (2 * std::int64_t{s}));
    ColorRef* out = target.row(static_cast<int>(ty));
    const ColorRef* in = image.row(v);
    for (std::int64_t tx = x0; tx < x1; ++tx) {
      const int u = static_cast<int>(((tx - x) * 2 + 1) * sw / (2 * std::int64_t{s}));
      if (mask != nullptr && mask->at(u, v) != 0) continue;
      out[tx] = gdi::RgbOf(in[u]);
    }
  }
}

}  // namespace

void Painter::PrepareIcon() {
  button::ButtonState& st = s();
  if (st.HasIcon == kFalse || !st.Icon) return;
  // Preparing the icon reports nothing; on a failure the buffer keeps what
  // it got.
  RunPastFailure([&] {
    const host::Picture& pic = *st.Icon;
    const int edge = IconEdge(st.IconSize);
    if (edge == 0) return;
    const int w = RoundHalfEven(site().screen->HimetricToPixelsX(pic.width_himetric()));
    const int h = RoundHalfEven(site().screen->HimetricToPixelsY(pic.height_himetric()));
    const ColorRef face = static_cast<ColorRef>(st.FaceColor);

    // The greying is done on a scratch surface of the picture's size rather
    // than in the button's top-left corner: on a button smaller than the
    // picture the corner would cut the greyed image, and the buffer would
    // lose the rows or columns that fell off the button.
    Surface scratch(w, h);
    Surface* scratch_target = &scratch;
    DrawRect(0, 0, w, h, st.FaceColor, kFalse, scratch_target);

    ps().pic_icon = Surface(edge, edge);
    Surface* buffer = &ps().pic_icon;
    DrawRect(0, 0, edge, edge, st.FaceColor, kFalse, buffer);

    const std::optional<gdi::Mask> transparent = TransparencyOf(pic);
    gdi::DrawStateDisabled(scratch, 0, 0, w, h, pic.image(), transparent ? &*transparent : nullptr,
                           site().palette->Get(host::COLOR_BTNHIGHLIGHT),
                           site().palette->Get(host::COLOR_BTNSHADOW));
    gdi::StretchBlt(*buffer, 0, 0, edge, edge, scratch, 0, 0, w, h);

    // The disabled backdrop the buffer's background pixels are taken from.
    DrawButton(kTrue);

    const Surface& back = surface();
    for (int x = 0; x < edge; ++x) {
      for (int y = 0; y < edge; ++y) {
        if (buffer->at(x, y) != face) continue;
        // Sampled one pixel right of and below where the buffer is drawn.
        const std::int64_t sx = std::int64_t{st.IconX} + x + 1;
        const std::int64_t sy = std::int64_t{st.IconY} + y + 1;
        // Beyond int the position is outside the surface anyway: invalid.
        const ColorRef c = (sx < 0 || sy < 0 || sx >= back.width() || sy >= back.height())
                               ? gdi::kInvalidColor
                               : gdi::GetPixel(back, static_cast<int>(sx), static_cast<int>(sy));
        if (c != gdi::kInvalidColor && c != face) gdi::SetPixelV(*buffer, x, y, c);
      }
    }
  });
}

void Painter::DrawIcon(Long x, Long y) {
  const button::ButtonState& st = s();
  const int edge = IconEdge(st.IconSize);
  if (edge == 0) return;
  if (st.Enabled != kFalse) {
    if (st.Icon) PaintPicture(surface(), *st.Icon, x, y, edge);
  } else {
    gdi::BitBlt(surface(), x, y, edge, edge, ps().pic_icon, 0, 0);
  }
}

}  // namespace vx::render
