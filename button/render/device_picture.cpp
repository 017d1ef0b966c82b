#include "button/render/device_picture.h"

#include <algorithm>
#include <cstring>

namespace vx::render {

Surface DevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale) {
  const int k = std::clamp(scale, 1, kMaxDeviceScale);
  Surface out(logical.width() * k, logical.height() * k);
  for (int y = 0; y < logical.height(); ++y) {
    const ColorRef* src = logical.row(y);
    ColorRef* first = out.row(y * k);
    for (int x = 0; x < logical.width(); ++x) std::fill_n(first + x * k, k, src[x]);
    for (int r = 1; r < k; ++r) std::copy_n(first, out.width(), out.row(y * k + r));
  }
  // The passes of a caption share one font: made once, not once a pass.
  text::Font font;
  text::LogFont made{};
  bool have = false;
  for (const CaptionText& c : captions) {
    text::LogFont lf = c.font;
    lf.lfHeight = CaptionFontHeight(c.points, c.twips_per_pixel_y / k);
    if (!have || std::memcmp(&lf, &made, sizeof lf) != 0) {
      text::DeleteObject(font);
      font = text::CreateFontIndirect(lf);
      made = lf;
      have = true;
    }
    text::TextOut(out, font, c.x * k, c.y * k, c.text, c.color);
  }
  text::DeleteObject(font);
  return out;
}

gdi::Mask ScaleMask(const gdi::Mask& mask, int scale) {
  const int k = std::clamp(scale, 1, kMaxDeviceScale);
  gdi::Mask out(mask.width() * k, mask.height() * k);
  for (int y = 0; y < out.height(); ++y) {
    for (int x = 0; x < out.width(); ++x) out.set(x, y, mask.at(x / k, y / k));
  }
  return out;
}

}  // namespace vx::render
