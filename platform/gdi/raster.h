#pragma once

#include <cstdint>

#include "platform/gdi/surface.h"
#include "platform/gdi/types.h"

// Stateless raster operations with the pixel conventions of the Windows
// drawing services. Every operation clips to the surface; any int coordinate
// is safe, and the work done is bounded by the pixels actually touched.
namespace vx::gdi {

// Paints x = left..right-1, y = top..bottom-1. An inverted span paints its
// mirror: right < left gives right+1..left (likewise for top and bottom).
void FillRect(Surface& s, const Rect& r, Brush brush);

// The one-pixel ring just inside r; an empty or inverted rectangle paints nothing.
void FrameRect(Surface& s, const Rect& r, Brush brush);

void SetPixelV(Surface& s, int x, int y, ColorRef color);

// kInvalidColor outside the surface.
ColorRef GetPixel(const Surface& s, int x, int y);

// A line from (x0, y0) up to (x1, y1): start painted, end not. Along the
// longer axis every step paints one pixel; the other coordinate is the exact
// one rounded to nearest, halves toward the smaller coordinate.
void DrawLineSegment(Surface& s, int x0, int y0, int x1, int y1, ColorRef color);

// Inverts (RGB complement) every other pixel of the ring just inside r,
// counted from the top-right pixel clockwise. Self-inverse.
void DrawFocusRect(Surface& s, const Rect& r);

// One vertex of a gradient: 16-bit channels (8-bit value x 256).
struct TriVertex {
  int x = 0;
  int y = 0;
  std::uint16_t red = 0;
  std::uint16_t green = 0;
  std::uint16_t blue = 0;
  std::uint16_t alpha = 0;
};

// The vertex for an 0x00BBGGRR colour: each channel in the high byte.
TriVertex MakeVertex(int x, int y, ColorRef color);

inline constexpr int kGradientFillRectH = 0;
inline constexpr int kGradientFillRectV = 1;

// GradientFill of the single rectangle spanned by the two vertices. Each
// channel is (c0 + (c1 - c0) * k / n) >> 8 with k the distance from the
// vertex nearer the origin, n the extent, the division truncating: the far
// vertex's colour lies just outside the rectangle. Returns false (and paints
// nothing) for a mode other than horizontal (0) or vertical (1).
bool GradientFill(Surface& s, const TriVertex& v0, const TriVertex& v1, int mode);

// SRCCOPY of a w x h block; source and destination may be the same surface
// and may overlap.
void BitBlt(Surface& dst, int dx, int dy, int w, int h, const Surface& src, int sx, int sy);

// SRCCOPY with scaling in the device context's default stretch mode
// (BLACKONWHITE): shrinking ANDs together all source pixels that fall on one
// target pixel, enlarging repeats pixels. A source pixel s falls on target
// pixel floor((s + 1/2) * dw / sw) (pixel centres mapped); when enlarging,
// target pixel d shows source pixel floor((d + 1/2) * sw / dw). Negative or
// zero extents draw nothing (no mirroring). Returns false when nothing could
// be drawn for that reason.
bool StretchBlt(Surface& dst, int dx, int dy, int dw, int dh, const Surface& src, int sx, int sy,
                int sw, int sh);

// DrawStateA with DSS_DISABLED: the picture embossed. Pure white and
// transparent pixels are background; every other pixel is drawn in
// `highlight` one pixel right and down, then in `shadow` in place.
// Background pixels leave the surface untouched. The picture is drawn at its
// natural size, cut to cx x cy when those are positive (the platform does not
// scale here). `transparent` (may be null: a bitmap) marks icon transparency.
void DrawStateDisabled(Surface& s, int x, int y, int cx, int cy, const Surface& picture,
                       const Mask* transparent, ColorRef highlight, ColorRef shadow);

inline void DrawStateDisabled(Surface& s, int x, int y, int cx, int cy, const Icon& icon,
                              ColorRef highlight, ColorRef shadow) {
  DrawStateDisabled(s, x, y, cx, cy, icon.color, &icon.transparent, highlight, shadow);
}

}  // namespace vx::gdi
