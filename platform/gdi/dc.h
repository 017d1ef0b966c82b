#pragma once

#include <cstdint>
#include <span>

#include "platform/gdi/raster.h"
#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

namespace vx::gdi {

// A device context over a Surface: the selected pen, the current position
// for line drawing, the text and background colours. The fill of Polygon is
// hollow. Cheap to create; holds no pixels of its own.
class Dc {
 public:
  explicit Dc(Surface& surface) : surface_(&surface) {}

  Surface& surface() const { return *surface_; }

  // Selects `pen` and returns the pen it displaces, which the caller deletes.
  Pen SelectObject(Pen pen) {
    ++pen_selections_;
    Pen old = pen_;
    pen_ = pen;
    return old;
  }
  // The pen in force for line drawing; a new context has the black pen.
  Pen CurrentPen() const { return pen_; }
  // How many times a pen was selected: lets callers check a drawing step's
  // pen traffic.
  std::uint64_t pen_selections() const { return pen_selections_; }

  // Both return the previous colour. A new context has black text on white.
  ColorRef SetTextColor(ColorRef c) { return Exchange(text_color_, RgbOf(c)); }
  ColorRef GetTextColor() const { return text_color_; }
  ColorRef SetBkColor(ColorRef c) { return Exchange(bk_color_, RgbOf(c)); }
  ColorRef GetBkColor() const { return bk_color_; }

  // Moves the current position; the old one goes to `old` when given.
  void MoveToEx(int x, int y, Point* old = nullptr) {
    if (old != nullptr) *old = position_;
    position_ = Point{x, y};
  }
  Point CurrentPosition() const { return position_; }

  // Draws from the current position up to (x, y) without the end point in the
  // selected pen, then makes (x, y) the current position.
  void LineTo(int x, int y) {
    DrawLineSegment(*surface_, position_.x, position_.y, x, y, pen_.color);
    position_ = Point{x, y};
  }

  // The closed outline through all points, every vertex painted; the inside
  // keeps its pixels. Does not move the current position. Fewer than two
  // points draw nothing (and return false), as the platform refuses them.
  bool Polygon(std::span<const Point> points);

  // The stateless operations, on this context's surface.
  void FillRect(const Rect& r, Brush b) { gdi::FillRect(*surface_, r, b); }
  void FrameRect(const Rect& r, Brush b) { gdi::FrameRect(*surface_, r, b); }
  void SetPixelV(int x, int y, ColorRef c) { gdi::SetPixelV(*surface_, x, y, c); }
  ColorRef GetPixel(int x, int y) const { return gdi::GetPixel(*surface_, x, y); }
  void DrawFocusRect(const Rect& r) { gdi::DrawFocusRect(*surface_, r); }

 private:
  static ColorRef Exchange(ColorRef& slot, ColorRef value) {
    ColorRef old = slot;
    slot = value;
    return old;
  }

  Surface* surface_;
  Pen pen_{0};
  Point position_{};
  ColorRef text_color_ = 0x000000;
  ColorRef bk_color_ = 0xFFFFFF;
  std::uint64_t pen_selections_ = 0;
};

}  // namespace vx::gdi
