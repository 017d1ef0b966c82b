#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/gdi/surface.h"

namespace vx::host {

// A host picture: an image with a type (1 = bitmap; anything else is drawn as
// an icon, with its transparency mask) and a natural size, kept both in pixels
// and in HIMETRIC units (0.01 mm) as the toolkit reports it.
class Picture {
 public:
  static constexpr int kBitmap = 1;
  static constexpr int kIcon = 3;

  // `mask`, when given, has the image's size; a non-zero pixel is transparent.
  Picture(Surface image, int type, std::optional<Surface> mask = std::nullopt);

  static std::shared_ptr<Picture> FromSurface(Surface image, int type = kBitmap,
                                              std::optional<Surface> mask = std::nullopt) {
    return std::make_shared<Picture>(std::move(image), type, std::move(mask));
  }

  int type() const { return type_; }
  int width() const { return image_.width(); }
  int height() const { return image_.height(); }
  int width_himetric() const { return width_himetric_; }
  int height_himetric() const { return height_himetric_; }
  const Surface& image() const { return image_; }
  const Surface* mask() const { return mask_ ? &*mask_ : nullptr; }

  // The file the picture came from, if any: a stored property set refers to a
  // picture by this name.
  const std::string& file() const { return file_; }
  void set_file(std::string f) { file_ = std::move(f); }

 private:
  Surface image_;
  int type_;
  std::optional<Surface> mask_;
  int width_himetric_;
  int height_himetric_;
  std::string file_;
};

using PicturePtr = std::shared_ptr<Picture>;

// Pixels at the host's 96 pixels per inch to HIMETRIC and back, rounded.
int PixelsToHimetric(int pixels);
double HimetricToPixels(double himetric);

// Loads a PNG file. An image with an alpha channel becomes an icon whose mask
// marks the fully transparent pixels; one without becomes a bitmap. Throws
// HostError (services.h) naming the file when it cannot be read.
PicturePtr LoadPicturePng(const std::string& path);

}  // namespace vx::host
