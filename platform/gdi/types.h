#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/surface.h"

namespace vx::gdi {

// What GetPixel answers for a position outside the surface.
inline constexpr ColorRef kInvalidColor = 0xFFFFFFFFu;

// Only the low 24 bits of a colour reach the pixels; the top byte stays 0.
inline constexpr ColorRef RgbOf(ColorRef c) {
  return c & 0x00FFFFFFu;
}

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// Half-open: x from left to right - 1, y from top to bottom - 1.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Both wrap on overflow instead of invoking undefined behaviour, as the
// platform's 32-bit arithmetic does.
inline int WrapAdd(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline int WrapSub(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

inline void InflateRect(Rect& r, int dx, int dy) {
  r.left = WrapSub(r.left, dx);
  r.top = WrapSub(r.top, dy);
  r.right = WrapAdd(r.right, dx);
  r.bottom = WrapAdd(r.bottom, dy);
}

inline void OffsetRect(Rect& r, int dx, int dy) {
  r.left = WrapAdd(r.left, dx);
  r.top = WrapAdd(r.top, dy);
  r.right = WrapAdd(r.right, dx);
  r.bottom = WrapAdd(r.bottom, dy);
}

// Drawing objects are plain values: creating and deleting one per drawing
// step costs nothing, and there is no handle that could leak.
struct Pen {
  ColorRef color = 0;  // a solid pen one pixel wide
  friend bool operator==(const Pen&, const Pen&) = default;
};
struct Brush {
  ColorRef color = 0;  // a solid brush
  friend bool operator==(const Brush&, const Brush&) = default;
};

inline Pen CreatePen(ColorRef color) {
  return Pen{RgbOf(color)};
}
inline Brush CreateSolidBrush(ColorRef color) {
  return Brush{RgbOf(color)};
}
inline void DeleteObject(Pen) {}
inline void DeleteObject(Brush) {}

// A W x H field of booleans: region masks, icon transparency masks.
class Mask {
 public:
  Mask() = default;
  Mask(int width, int height, bool value = false)
      : width_(width > 0 ? width : 0),
        height_(height > 0 ? height : 0),
        bits_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), value) {}

  int width() const { return width_; }
  int height() const { return height_; }
  bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  bool at(int x, int y) const { return bits_[Index(x, y)] != 0; }
  void set(int x, int y, bool v) { bits_[Index(x, y)] = v ? 1 : 0; }
  // False outside the mask.
  bool get(int x, int y) const { return contains(x, y) && at(x, y); }

  friend bool operator==(const Mask&, const Mask&) = default;

 private:
  std::size_t Index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> bits_;
};

// An icon: colour pixels plus the transparency mask (true = transparent; the
// colour under a transparent pixel is black by convention).
struct Icon {
  Surface color;
  Mask transparent;
};

}  // namespace vx::gdi
