#pragma once

#include <cstdint>
#include <vector>

namespace vx {

// A colour as the drawing code sees it: 0x00BBGGRR (red in the low byte).
using ColorRef = std::uint32_t;

// A 32-bit pixel surface. Each pixel holds a ColorRef; the top byte is kept 0
// by every drawing operation. Rows run top to bottom, x to the right.
class Surface {
 public:
  Surface() = default;
  Surface(int width, int height, ColorRef fill = 0)
      : width_(width > 0 ? width : 0),
        height_(height > 0 ? height : 0),
        pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), fill) {}

  int width() const { return width_; }
  int height() const { return height_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  ColorRef* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  const ColorRef* row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  ColorRef at(int x, int y) const { return row(y)[x]; }
  void set(int x, int y, ColorRef c) { row(y)[x] = c; }

  // Unchecked access above; these ignore positions outside the surface.
  void put(int x, int y, ColorRef c) {
    if (contains(x, y)) set(x, y, c);
  }

  const std::vector<ColorRef>& pixels() const { return pixels_; }
  std::vector<ColorRef>& pixels() { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<ColorRef> pixels_;
};

}  // namespace vx
