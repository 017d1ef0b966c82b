#include "platform/host/picture.h"

#include <png.h>

#include <cmath>
#include <cstring>
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
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) {
    throw HostError("cannot read picture \"" + path + "\": " + img.message);
  }
  if (auto problem = gdi::PictureSizeProblem(img.width, img.height); !problem.empty()) {
    png_image_free(&img);
    throw HostError("cannot read picture \"" + path + "\": " + problem);
  }
  const bool has_alpha = (img.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  img.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> rgba(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr)) {
    const std::string msg = img.message;
    png_image_free(&img);
    throw HostError("cannot read picture \"" + path + "\": " + msg);
  }
  const int w = static_cast<int>(img.width);
  const int h = static_cast<int>(img.height);
  Surface image(w, h);
  Surface mask(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const png_byte* p = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
      image.set(x, y, ColorRef{p[0]} | (ColorRef{p[1]} << 8) | (ColorRef{p[2]} << 16));
      mask.set(x, y, p[3] == 0 ? 1 : 0);
    }
  }
  PicturePtr pic = has_alpha
                       ? Picture::FromSurface(std::move(image), Picture::kIcon, std::move(mask))
                       : Picture::FromSurface(std::move(image), Picture::kBitmap);
  pic->set_file(path);
  return pic;
}

}  // namespace vx::host
