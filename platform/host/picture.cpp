#include "platform/host/picture.h"

#include <cmath>
#include <vector>

#include "platform/gdi/image_io.h"
#include "platform/host/services.h"

namespace vx::host {

namespace {
constexpr double kHimetricPerInch = 2540.0;
constexpr double kPixelsPerInch = 96.0;
}  // namespace

int PixelsToHimetric(int pixels) {
  return static_cast<int>(std::lround(pixels * kHimetricPerInch / kPixelsPerInch));
}

double HimetricToPixels(double himetric) {
  return himetric * kPixelsPerInch / kHimetricPerInch;
}

Picture::Picture(Surface image, int type, std::optional<Surface> mask)
    : image_(std::move(image)),
      type_(type),
      mask_(std::move(mask)),
      width_himetric_(PixelsToHimetric(image_.width())),
      height_himetric_(PixelsToHimetric(image_.height())) {}

PicturePtr LoadPicturePng(const std::string& path) {
  gdi::PngPixels png;
  std::string error;
  if (!gdi::ReadPngPixels(path, png, &error)) {
    throw HostError("cannot read picture \"" + path + "\": " + error);
  }
  const int w = png.width;
  const int h = png.height;
  Surface image(w, h);
  Surface mask(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &png.rgba[(static_cast<std::size_t>(y) * w + x) * 4];
      image.set(x, y, ColorRef{p[0]} | (ColorRef{p[1]} << 8) | (ColorRef{p[2]} << 16));
      mask.set(x, y, p[3] == 0 ? 1 : 0);
    }
  }
  PicturePtr pic = png.has_alpha
                       ? Picture::FromSurface(std::move(image), Picture::kIcon, std::move(mask))
                       : Picture::FromSurface(std::move(image), Picture::kBitmap);
  pic->set_file(path);
  return pic;
}

}  // namespace vx::host
