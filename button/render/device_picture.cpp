#include "button/render/device_picture.h"

#include <algorithm>
#include <cstring>

namespace vx::render {

const text::Font& DeviceFont::For(const text::LogFont& lf) {
  if (!have_ || std::memcmp(&lf, &made_, sizeof lf) != 0) {
    text::DeleteObject(font_);
    font_ = text::CreateFontIndirect(lf);
    made_ = lf;
    have_ = true;
  }
  return font_;
}

void DrawDevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale,
                       Surface& out, DeviceFont& font) {
  const int k = std::clamp(scale, 1, kMaxDeviceScale);
  if (out.width() != logical.width() * k || out.height() != logical.height() * k) {
    out = Surface(logical.width() * k, logical.height() * k);
  }
  for (int y = 0; y < logical.height(); ++y) {
    const ColorRef* src = logical.row(y);
    ColorRef* first = out.row(y * k);
    if (k == 2) {  // the common dense screen, in a loop the compiler unrolls
      for (int x = 0; x < logical.width(); ++x) first[2 * x] = first[2 * x + 1] = src[x];
    } else {
      for (int x = 0; x < logical.width(); ++x) std::fill_n(first + x * k, k, src[x]);
    }
    for (int r = 1; r < k; ++r) std::copy_n(first, out.width(), out.row(y * k + r));
  }
  for (const CaptionText& c : captions) {
    text::LogFont lf = c.font;
    lf.lfHeight = CaptionFontHeight(c.points, c.twips_per_pixel_y / k);
    text::TextOut(out, font.For(lf), c.x * k, c.y * k, c.text, c.color);
  }
}

Surface DevicePicture(const Surface& logical, std::span<const CaptionText> captions, int scale) {
  Surface out;
  DeviceFont font;
  DrawDevicePicture(logical, captions, scale, out, font);
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
